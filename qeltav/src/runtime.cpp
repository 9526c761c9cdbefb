// Code log, guarded heap, line-buffer pool, clock, warnings, init and terminate.
#include "internal.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/mman.h>
#include <unordered_map>
#include <unordered_set>

int tavSysFlags = 0;
uint32_t tavWarningBits = 0;

// ---- code log ----------------------------------------------------------------
namespace {
constexpr int kLogMax = 1024;
uint16_t g_log[kLogMax];
int g_logSize = 0;
}  // namespace

int tavLogInit(void) {
  std::memset(g_log, 0, sizeof g_log);
  g_logSize = 0;
  return 0;
}
void tavLogReset(void) { g_logSize = 0; }
void tavLog(uint16_t code) {
  if (g_logSize < kLogMax) g_log[g_logSize++] = code;
}
void tavUnlog(int n) {
  if (n < 1) return;
  g_logSize = n >= g_logSize ? 0 : g_logSize - n;
}
int tavGetLogSize(void) { return g_logSize; }
uint16_t tavGetLog(int i) { return (i < 0 || i >= g_logSize) ? 0 : g_log[i]; }
void tavLogPrint(void) {
  if (g_logSize == 0) return;
  std::printf("LOG:");
  for (int i = 0; i < g_logSize; ++i) std::printf("%4d%s", g_log[i], (i + 1) % 8 == 0 ? "\n" : "  ");
  std::printf("\n");
  g_logSize = 0;
}

// ---- guarded heap ------------------------------------------------------------
// A checked block: a 32-byte header (keeps the caller area 16-byte aligned), the caller's
// bytes and a 4-byte end mark. Live blocks are also kept in a registry so that the check
// never reads memory that is not one of our headers.
namespace {
constexpr uint32_t kMarkLive = 0x789ABCDE;
constexpr uint32_t kMarkFreed = 0x89ABCDEF;
struct Hdr {
  Hdr *next;
  Hdr *prev;
  int64_t size;
  uint32_t pad;
  uint32_t mark;
};
static_assert(sizeof(Hdr) == 32);

Hdr *g_head = nullptr;
long long g_liveCount = 0, g_total = 0, g_highTotal = 0, g_largest = 0;
uintptr_t g_low = 0, g_high = 0;
// Blocks handed out while heap checking was off and not yet freed: checking switched on at run
// time ("-STheap") meets them without a header and gives them back as they came.
std::unordered_set<void *> *g_plain = nullptr;
std::unordered_set<void *> *g_live = nullptr;   // caller addresses of checked blocks
std::unordered_map<void *, int64_t> *g_freed = nullptr;  // freed checked blocks and their sizes, until reused

std::unordered_set<void *> &liveSet() {
  if (!g_live) g_live = new std::unordered_set<void *>();
  return *g_live;
}
std::unordered_set<void *> &plainSet() {
  if (!g_plain) g_plain = new std::unordered_set<void *>();
  return *g_plain;
}
std::unordered_map<void *, int64_t> &freedSet() {
  if (!g_freed) g_freed = new std::unordered_map<void *, int64_t>();
  return *g_freed;
}
inline Hdr *hdrOf(void *p) { return reinterpret_cast<Hdr *>(static_cast<char *>(p) - sizeof(Hdr)); }
inline void *userOf(Hdr *h) { return reinterpret_cast<char *>(h) + sizeof(Hdr); }
inline uint32_t endMark(Hdr *h) {
  uint32_t m;
  std::memcpy(&m, static_cast<char *>(userOf(h)) + h->size, 4);
  return m;
}
inline bool outOfRange(const void *p) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  return a < g_low || a > g_high;
}
inline unsigned lo32(uintptr_t v) { return static_cast<unsigned>(v); }
inline unsigned long long ull(const void *p) { return reinterpret_cast<uintptr_t>(p); }

int corruption(int code) {
  tavLog(static_cast<uint16_t>(code));
  if (tavSysFlags & TAV_SYS_HEAPEXIT) {
    tavLogPrint();
    std::fflush(stdout);
    std::exit(1);
  }
  return -1;
}
}  // namespace

namespace {
// A block from the system allocator: pages of the ordinary size unless the system gives larger
// ones of its own accord. Asking for huge pages (MADV_HUGEPAGE) makes the kernel compact memory
// at fault time once its free huge pages run out, which costs more than the pages save.
void *systemAlloc(size_t n) { return std::malloc(n); }
}  // namespace

void *tavMemAlloc(int size) {
  if (size < 1) {
    tavLog(463);
    return nullptr;
  }
  if (!(tavSysFlags & TAV_SYS_HEAPCHECK)) {
    void *p = systemAlloc(static_cast<size_t>(size));
    if (p) plainSet().insert(p);
    return p;
  }
  Hdr *h = static_cast<Hdr *>(systemAlloc(sizeof(Hdr) + static_cast<size_t>(size) + 4));
  if (!h) return nullptr;
  ++g_liveCount;
  if (size > g_largest) g_largest = size;
  g_total += size;
  if (g_total > g_highTotal) g_highTotal = g_total;
  h->next = g_head;
  h->prev = nullptr;
  if (g_head) g_head->prev = h;
  g_head = h;
  h->size = size;
  h->pad = 0;
  h->mark = kMarkLive;
  void *user = userOf(h);
  uintptr_t ha = reinterpret_cast<uintptr_t>(h), ua = reinterpret_cast<uintptr_t>(user);
  if (g_low == 0 && g_high == 0) {
    g_low = ha;
    g_high = ua;
  } else if (ha < g_low) {
    g_low = ha;
  } else if (ua > g_high) {
    g_high = ua;
  }
  uint32_t m = kMarkLive;
  std::memcpy(static_cast<char *>(user) + size, &m, 4);
  liveSet().insert(user);
  freedSet().erase(user);
  if (tavSysFlags & TAV_SYS_HEAPTRACE)
    std::printf("> HEAP ALLOC:       %10d (0x%08x) bytes at %10llu (0x%08x), now %4lld allocations of %10lld bytes, highest total %10lld\n",
                size, size, ull(user), lo32(ua), g_liveCount, g_total, g_highTotal);
  return user;
}

int memCheckBlock(void *p) {
  if (!(tavSysFlags & TAV_SYS_HEAPCHECK)) return 0;
  const bool print = tavSysFlags & TAV_SYS_HEAPPRINT;
  auto bounds = [&](const char *what, const void *q, int code) {
    if (print)
      std::printf("> HEAP CORRUPTION: %s %10llu (0x%08x), is out of bounds (%10llu (0x%08x) to %10llu (0x%08x))\n", what,
                  ull(q), lo32(ull(q)), static_cast<unsigned long long>(g_low), lo32(g_low),
                  static_cast<unsigned long long>(g_high), lo32(g_high));
    return corruption(code);
  };
  auto block = [&](int64_t size, const char *what, int code) {
    const int sz = static_cast<int>(size);
    if (print) std::printf("> HEAP CORRUPTION: %10d (0x%08x) bytes at %10llu (0x%08x), %s\n", sz, sz, ull(p), lo32(ull(p)), what);
    return corruption(code);
  };
  auto mark = [&](int64_t size, uint32_t m, const char *what, int code) {
    const int sz = static_cast<int>(size);
    if (print)
      std::printf("> HEAP CORRUPTION: %10d (0x%08x) bytes at %10llu (0x%08x), %10u (0x%08x) %s\n", sz, sz, ull(p),
                  lo32(ull(p)), m, m, what);
    return corruption(code);
  };
  if (outOfRange(p)) return bounds("pointer", p, 276);
  // Only a header of ours is read; of a freed block what its free left is remembered (links
  // cleared, the freed mark, its size). Anything else has no header to test.
  const bool live = g_live && g_live->count(p);
  Hdr freedView{};
  const Hdr *h = nullptr;
  if (live) {
    h = hdrOf(p);
  } else if (g_freed) {
    auto it = g_freed->find(p);
    if (it != g_freed->end()) {
      freedView.size = it->second;
      freedView.mark = kMarkFreed;
      h = &freedView;
    }
  }
  if (h) {
    if (h->next && outOfRange(h->next)) return bounds("next pointer", h->next, 280);
    if (h->prev && outOfRange(h->prev)) return bounds("prev pointer", h->prev, 281);
    if (h->mark == kMarkFreed) return mark(h->size, h->mark, "marked as already freed", 382);
    if (h->size < 0 || h->size > g_largest) return block(h->size, "size is out of bounds", 383);
    if (h->mark != kMarkLive) return mark(h->size, h->mark, "found instead of mark at start", 384);
    const uint32_t em = endMark(const_cast<Hdr *>(h));
    if (em != kMarkLive) return mark(h->size, em, "found instead of mark at end", 385);
  }
  if (!live) return block(0, "not found in allocation list", 386);
  return 0;
}

int tavMemFree(void *p) {
  if (!p) return 0;
  if (!(tavSysFlags & TAV_SYS_HEAPCHECK)) {
    // A checked block allocated before checking was switched off keeps its header.
    if (g_live && g_live->count(p)) {
      tavSysFlags |= TAV_SYS_HEAPCHECK;
      int r = tavMemFree(p);
      tavSysFlags &= ~TAV_SYS_HEAPCHECK;
      return r;
    }
    std::free(p);
    if (g_plain) g_plain->erase(p);
    return 0;
  }
  // A block from before checking began carries no header: it goes back as it came.
  if (g_plain && g_plain->erase(p)) {
    std::free(p);
    return 0;
  }
  if (memCheckBlock(p) != 0) {
    tavLog(454);
    return -1;
  }
  Hdr *h = hdrOf(p);
  if (h->next) h->next->prev = h->prev;
  if (h->prev) h->prev->next = h->next;
  else g_head = h->next;
  h->next = h->prev = nullptr;
  h->mark = kMarkFreed;
  --g_liveCount;
  g_total -= h->size;
  int sz = static_cast<int>(h->size);
  g_live->erase(p);
  // remembered to name a second free as such; bounded, so long runs do not grow it
  if (freedSet().size() >= (1u << 16)) freedSet().clear();
  freedSet()[p] = h->size;
  if (tavSysFlags & TAV_SYS_HEAPTRACE)
    std::printf("> HEAP FREE:        %10d (0x%08x) bytes at %10llu (0x%08x), now %4lld allocations of %10lld bytes, highest total %10lld\n",
                sz, sz, ull(p), lo32(ull(p)), g_liveCount, g_total, g_highTotal);
  std::free(h);
  return 0;
}

int tavMemCheckAtTermination(int quiet) {
  if (!(tavSysFlags & TAV_SYS_HEAPCHECK)) return 0;
  if (quiet == 0) {
    if (!g_head && g_liveCount == 0 && g_total == 0) return 0;
    if (tavSysFlags & TAV_SYS_HEAPLEAK)
      std::printf("> HEAP MEMORY LEAK: %4lld allocations of %10lld bytes were not freed\n", g_liveCount, g_total);
  }
  while (g_head) {
    if (tavMemFree(userOf(g_head)) != 0) {
      tavLog(387);
      return -1;
    }
  }
  if ((g_liveCount != 0 || g_total != 0) && (tavSysFlags & TAV_SYS_HEAPPRINT))
    std::printf("> HEAP CORRUPTION: %4lld allocations of %10lld bytes remain after freeing list\n", g_liveCount, g_total);
  return 0;
}

// ---- fills and copies ----------------------------------------------------------
void memFill8(void *p, int count, int v) {
  if (count > 0) std::memset(p, v & 0xFF, static_cast<size_t>(count));
}
void memFill16(void *p, int count, int v) {
  uint16_t x = static_cast<uint16_t>(v);
  auto *d = static_cast<unsigned char *>(p);
  for (int i = 0; i < count; ++i) std::memcpy(d + 2 * i, &x, 2);
}
void memFill24(void *p, int count, int v) {
  auto *d = static_cast<unsigned char *>(p);
  unsigned char b0 = v & 0xFF, b1 = (v >> 8) & 0xFF, b2 = (v >> 16) & 0xFF;
  for (int i = 0; i < count; ++i) {
    d[3 * i] = b0;
    d[3 * i + 1] = b1;
    d[3 * i + 2] = b2;
  }
}
void memFill32(void *p, int count, int v) {
  uint32_t x = static_cast<uint32_t>(v);
  auto *d = static_cast<unsigned char *>(p);
  for (int i = 0; i < count; ++i) std::memcpy(d + 4 * i, &x, 4);
}
void memCopy8(const void *src, void *dst, int count) {
  if (count > 0) std::memmove(dst, src, static_cast<size_t>(count));
}
void memCopy24(const void *src, void *dst, int count) {
  if (count > 0) std::memmove(dst, src, 3 * static_cast<size_t>(count));
}
int strEndsWith(const char *text, const char *suffix) {
  if (!text || !suffix) return 0;
  size_t t = std::strlen(text), s = std::strlen(suffix);
  return s <= t && std::memcmp(text + t - s, suffix, s) == 0;
}

// ---- integer square root -------------------------------------------------------
namespace {
struct SqrtTable {
  unsigned char t[1024];
  SqrtTable() {
    for (int i = 0; i < 1024; ++i) {
      int r = 0;
      while ((r + 1) * (r + 1) <= i) ++r;
      // round to nearest: r or r + 1
      t[i] = static_cast<unsigned char>((i - r * r) > (r * r + 2 * r + 1 - i) ? r + 1 : r);
    }
  }
} g_sqrt;
}  // namespace

int isqrtFast(int v) {
  if (v < 1) return 0;
  if (v < 1024) return g_sqrt.t[v];
  if (v >= 2147441941) return 46341;
  int d = 0;
  long long p = 1;
  while (v >= p) {
    p *= 4;
    ++d;
  }
  int s = d - 5;
  return g_sqrt.t[v >> (2 * s)] << s;
}

// ---- line-buffer pool ------------------------------------------------------------
namespace {
struct PoolBuf {
  PoolBuf *next;
  PoolBuf *prev;
};
constexpr int kLine = TAV_LINE_MAX;
PoolBuf *g_free = nullptr, *g_used = nullptr;
int g_freeCount = 0, g_usedCount = 0;

void unlink(PoolBuf *&head, PoolBuf *b) {
  if (b->next) b->next->prev = b->prev;
  if (b->prev) b->prev->next = b->next;
  else head = b->next;
  b->next = b->prev = nullptr;
}
void pushHead(PoolBuf *&head, PoolBuf *b) {
  b->prev = nullptr;
  b->next = head;
  if (head) head->prev = b;
  head = b;
}
}  // namespace

void *linePoolGet(int size) {
  if (!lineFits(size)) return nullptr;
  PoolBuf *b = g_free;
  if (b) {
    unlink(g_free, b);
    --g_freeCount;
  } else {
    b = static_cast<PoolBuf *>(tavMemAlloc(kLine + static_cast<int>(sizeof(PoolBuf))));
    if (!b) {
      tavLog(320);
      return nullptr;
    }
    b->next = b->prev = nullptr;
  }
  pushHead(g_used, b);
  ++g_usedCount;
  return b;
}

bool lineFits(int64_t bytes) {
  if (bytes <= kLine) return true;
  tavLog(319);
  return false;
}

int linePoolPut(void *buffer) {
  if (!buffer) return 0;
  auto *b = static_cast<PoolBuf *>(buffer);
  unlink(g_used, b);
  --g_usedCount;
  pushHead(g_free, b);
  ++g_freeCount;
  return 0;
}

void linePoolFree() {
  for (PoolBuf *b = g_free; b;) {
    PoolBuf *n = b->next;
    if (tavMemFree(b) != 0) tavLog(467);
    b = n;
  }
  for (PoolBuf *b = g_used; b;) {
    PoolBuf *n = b->next;
    tavLog(331);
    if (tavMemFree(b) != 0) tavLog(468);
    b = n;
  }
  g_free = g_used = nullptr;
  g_freeCount = g_usedCount = 0;
}
int linePoolFreeCount() { return g_freeCount; }
int linePoolUsedCount() { return g_usedCount; }

// ---- clock, random, warnings -------------------------------------------------------
namespace {
long long nowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
const long long g_loadNs = nowNs();
unsigned long g_rand = 1;
}  // namespace

int tavTime(void) { return static_cast<int>((nowNs() - g_loadNs) / 1000000LL); }
int tavTicksPerSecond(void) { return 1000; }
int tavRand() {
  g_rand = g_rand * 1103515245UL + 12345UL;
  return static_cast<int>((g_rand / 65536UL) % 32768UL);
}

void warnSet(uint32_t bits) { tavWarningBits |= bits; }
void warnClear() { tavWarningBits = 0; }
void warnReport() {
  for (int n = 0; n < 32; ++n)
    if (tavWarningBits & (1u << n)) tavLog(static_cast<uint16_t>(3300 + n));
  tavWarningBits = 0;
}

// ---- init and terminate --------------------------------------------------------------
int tavInit(int flags) {
  tavSysFlags = flags;
  tavLogInit();
  imageListClear();
  imageRecordInit(&tavNullRecord);
  warnClear();
  colorSpacesInit();
  return 0;
}

int tavTerminate(int quiet) {
  warnReport();
  linePoolFree();
  // Records still held by the caller may be freed by the leak check below; the list must
  // not keep pointing at them.
  imageListClear();
  tavMemCheckAtTermination(quiet);
  tavLogPrint();
  timerReport();
  std::fflush(stdout);
  return 0;
}
