// PNM and raw image files: sequential, one page a file.
#include "internal.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A stream's buffer holds what is expected through it, between these bounds: large enough
// to keep system calls few, small enough to stay in the cache.
constexpr int64_t kStreamMin = 1 << 14, kStreamMax = 1 << 18;

// Gives a new stream a buffer of its own (kept until the stream is closed). Its pages are
// mapped in one call: touching fresh pages one by one costs a fault each.
void streamBuffer(FILE *fp, char **buf, size_t *size, int64_t expect) {
  if (!*buf) {
    int64_t n = expect < kStreamMin ? kStreamMin : expect > kStreamMax ? kStreamMax : expect;
    n = (n + 4095) & ~int64_t{4095};
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;
#endif
    void *p = mmap(nullptr, static_cast<size_t>(n), PROT_READ | PROT_WRITE, flags, -1, 0);
    if (p == MAP_FAILED) return;  // the stream keeps its own buffer
    *buf = static_cast<char *>(p);
    *size = static_cast<size_t>(n);
  }
  std::setvbuf(fp, *buf, _IOFBF, *size);
}
void streamBufferFree(char **buf, size_t *size) {
  if (*buf) munmap(*buf, *size);
  *buf = nullptr;
  *size = 0;
}
// Bytes a file holds now, for sizing an input's buffer.
int64_t streamFileSize(FILE *fp) {
  struct stat st;
  return fstat(fileno(fp), &st) == 0 ? static_cast<int64_t>(st.st_size) : kStreamMax;
}
// Joins two texts into a new block from the library's heap; NULL when there is no memory.
char *textJoin(const char *a, size_t na, const char *b) {
  const size_t nb = std::strlen(b);
  char *t = static_cast<char *>(tavMemAlloc(static_cast<int>(na + nb + 1)));
  if (!t) return nullptr;
  std::memcpy(t, a, na);
  std::memcpy(t + na, b, nb + 1);
  return t;
}
// Length of a path's folder part, its last "/" included (0 for a name without one).
size_t folderLength(const char *path) {
  const char *slash = std::strrchr(path, '/');
  return slash ? static_cast<size_t>(slash - path) + 1 : 0;
}

// The file a name leads to, symbolic links followed (each relative one from its own folder);
// NULL when there is no memory or the links go round.
char *linkTarget(const char *name) {
  char *path = textJoin(name, std::strlen(name), "");
  for (int hops = 0; path; ++hops) {
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char link[PATH_MAX];
    const ssize_t n = hops < 40 ? readlink(path, link, sizeof link - 1) : -1;
    char *next = nullptr;
    if (n > 0) {
      link[n] = '\0';
      next = textJoin(path, link[0] == '/' ? 0 : folderLength(path), link);
    }
    tavMemFree(path);
    path = next;
  }
  return nullptr;
}

// Temporary files being written, for tavRemovePartialOutputs, which may run in a signal handler.
std::atomic<const char *> g_partial[TAV_MAX_OPEN_OUTPUTS];
bool partialAdd(const char *tmp) {
  for (auto &slot : g_partial) {
    const char *none = nullptr;
    if (slot.compare_exchange_strong(none, tmp)) return true;
  }
  return false;
}
void partialRemove(const char *tmp) {
  for (auto &slot : g_partial) {
    const char *was = tmp;
    if (slot.compare_exchange_strong(was, nullptr)) return;
  }
}

// Makes the temporary file tmp, registered for tavRemovePartialOutputs. Signals are held off
// from the registration to the file's creation, so a handler never meets a temporary it does
// not know. -1 when there is no room to register it (log 5050) or the file cannot be made.
int partialCreate(const char *tmp) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  int fd = -1;
  if (!partialAdd(tmp)) {
    tavLog(5050);
    errno = EMFILE;
  } else {
    fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
      const int e = errno;
      partialRemove(tmp);
      errno = e;
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return fd;
}

// An output file is written under a short temporary name in the folder of the file it makes (a
// symbolic link leads to its target's folder) and renamed over that file when it is closed
// complete, so a failed transfer never leaves a file under the output's name. An existing file's
// owner (where permitted) passes to its replacement, and its mode, set-user-ID and set-group-ID
// bits included, when the replacement is renamed into place; a new file gets the mode that fopen
// gives. A name that is there and is no regular file (a device, a pipe) is written directly.
// *tmpName holds the temporary name and, behind its NUL, the file it replaces.
FILE *outputCreate(const char *name, char **tmpName) {
  *tmpName = nullptr;
  struct stat st;
  const bool exists = stat(name, &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return std::fopen(name, "wb");
  char *target = linkTarget(name);
  if (!target) return nullptr;
  static unsigned g_tmpCounter = 0;
  const size_t dir = folderLength(target), n = dir + 40 + std::strlen(target) + 1;
  char *tmp = static_cast<char *>(tavMemAlloc(static_cast<int>(n)));
  for (int attempt = 0; tmp && attempt < 100; ++attempt) {
    const int len = std::snprintf(tmp, n, "%.*s.tav%ld.%u", static_cast<int>(dir), target,
                                  static_cast<long>(getpid()), ++g_tmpCounter);
    int fd = partialCreate(tmp);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    if (exists) {
      // no wider access while it is written than the file it replaces allows
      if (fchown(fd, st.st_uid, st.st_gid) != 0) (void)!fchown(fd, static_cast<uid_t>(-1), st.st_gid);
      (void)!fchmod(fd, st.st_mode & 0777);
    }
    FILE *fp = fdopen(fd, "wb");
    if (!fp) {
      close(fd);
      unlink(tmp);
      partialRemove(tmp);
      break;
    }
    std::strcpy(tmp + len + 1, target);
    tavMemFree(target);
    *tmpName = tmp;
    return fp;
  }
  if (tmp) tavMemFree(tmp);
  tavMemFree(target);
  return nullptr;
}
// Closes an output file: kept in place, or (abandoned, or the close failed) removed. The file
// kept takes the mode of the file it replaces after its last write (a write clears the
// set-user-ID and set-group-ID bits). Returns 0, or -1 when the close or the rename failed.
int outputFinish(FILE *fp, char **tmpName, bool keep) {
  char *tmp = *tmpName;
  int r = 0;
  if (tmp && keep) {
    const char *target = tmp + std::strlen(tmp) + 1;
    struct stat st;
    if (std::fflush(fp) != 0) r = -1;
    else if (stat(target, &st) == 0 && S_ISREG(st.st_mode)) (void)!fchmod(fileno(fp), st.st_mode & 07777);
  }
  if (std::fclose(fp) != 0) r = -1;
  if (tmp) {
    if (keep && r == 0 && std::rename(tmp, tmp + std::strlen(tmp) + 1) != 0) r = -1;
    if (!keep || r != 0) unlink(tmp);
    partialRemove(tmp);
    tavMemFree(tmp);
    *tmpName = nullptr;
  }
  return r;
}

inline PnmImage *P(tavImage *im) { return static_cast<PnmImage *>(im); }
inline RawImage *R(tavImage *im) { return static_cast<RawImage *>(im); }
char **pathSlot(tavImage *im) { return im->subtype == SUB_PNM ? &P(im)->path : &R(im)->path; }
// The file an image reads or writes.
const char *filePath(tavImage *im) {
  const char *path = *pathSlot(im);
  return path ? path : im->name;
}

// Reads size bytes of an open regular file from offset into dst, past the stream's buffer and
// leaving its position as it was; 0, or -1 when the file does not hold them all now.
int fileReadRange(FILE *fp, int64_t offset, int64_t size, unsigned char *dst) {
  const int fd = fileno(fp);
  struct stat st;
  if (offset < 0 || size < 1 || fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  while (size > 0) {
    const ssize_t n = pread(fd, dst, static_cast<size_t>(size), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    dst += n;
    offset += n;
    size -= n;
  }
  return 0;
}

bool isWs(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Skips white space and comments; returns the next character, left unread.
int skipWsComments(FILE *fp) {
  for (;;) {
    int c = std::fgetc(fp);
    if (c == '#') {
      while ((c = std::fgetc(fp)) != EOF && c != '\n') {
      }
      continue;
    }
    if (isWs(c)) continue;
    if (c != EOF) std::ungetc(c, fp);
    return c;
  }
}

// Reads a run of decimal digits; 0, or -1 when there is none or it overflows.
int readNumber(FILE *fp, long *out, int *next) {
  int c = std::fgetc(fp);
  if (c < '0' || c > '9') {
    if (c != EOF) std::ungetc(c, fp);
    return -1;
  }
  long v = 0;
  while (c >= '0' && c <= '9') {
    v = v * 10 + (c - '0');
    if (v > INT32_MAX) return -1;
    c = std::fgetc(fp);
  }
  *next = c;
  *out = v;
  return 0;
}

int kindOfMagic(int c0, int c1) {
  if (c0 != 'P' || c1 < '1' || c1 > '6') return 0;
  return c1 - '0';
}
int depthOfKind(int kind) {
  switch (kind) {
    case 1: case 4: return 1;
    case 2: case 5: return 8;
    default: return 24;
  }
}
int formatOfKind(int kind) { return 2 + ((kind - 1) % 3) + 1; }  // 3 PBM, 4 PGM, 5 PPM

// ---- PNM class -------------------------------------------------------------------
int pnmInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &pnmClass;
  im->subtype = SUB_PNM;
  im->fileFormat.v = 2;
  im->fileFormat.st = 0;
  im->photo.v = 2;
  PnmImage *p = P(im);
  p->rawbits = {1, 0, 1};
  p->lastLine = -1;
  p->fp = nullptr;
  p->kind = 0;
  p->maxval = 255;
  p->started = 0;
  p->iobuf = nullptr;
  p->iobufSize = 0;
  p->path = nullptr;
  p->tmpName = nullptr;
  return 0;
}

tavImage *pnmCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(PnmImage)));
  if (!im) {
    tavLog(5001);
    return nullptr;
  }
  pnmInit(im);
  return im;
}

int fileOpenMode(tavImage *im, int mode, int notListed, int both, int neither, int noMem) {
  if (!imageListContains(im)) {
    tavLog(static_cast<uint16_t>(notListed));
    return -1;
  }
  attrRestoreRequested(im);
  if ((mode & 3) == 3) {
    tavLog(static_cast<uint16_t>(both));
    return -1;
  }
  if ((mode & 3) == 0) {
    tavLog(static_cast<uint16_t>(neither));
    return -1;
  }
  char **path = pathSlot(im);
  if (!*path && im->name && !(*path = textJoin(im->name, std::strlen(im->name), ""))) {
    tavLog(static_cast<uint16_t>(noMem));
    return -1;
  }
  im->flags = (mode & 3) | IM_COMPLETE;
  return 0;
}

int pnmOpen(tavImage *im, int mode) {
  PnmImage *p = P(im);
  if (attrPinned(p->rawbits)) p->rawbits.v = p->rawbits.req;
  return fileOpenMode(im, mode, 5004, 5005, 5006, 5001);
}

// Bytes of one file line of a binary input (2-byte samples above maxval 255).
int64_t pnmFileLineBytes(int kind, int64_t width, int maxval) {
  if (kind == 1 || kind == 4) return (width + 7) / 8;
  int64_t ch = (kind == 3 || kind == 6) ? 3 : 1;
  return width * ch * (maxval > 255 ? 2 : 1);
}

// Whether a regular file holds fewer bytes behind its header than the lines it declares need.
// Plain samples follow the header's separator: a PBM sample takes a character, a PGM or PPM
// sample one and a separator.
bool pnmFileTooShort(FILE *fp, int kind, int64_t w, int64_t h, int maxval) {
  struct stat st;
  const long here = std::ftell(fp);
  if (here < 0 || fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int64_t left = static_cast<int64_t>(st.st_size) - here;
  if (kind >= 4) return h > left / pnmFileLineBytes(kind, w, maxval);
  if (kind == 1) return left < 1 || h > (left - 1) / w;
  return h > left / (2 * w * (kind == 3 ? 3 : 1));
}

int pnmStartInput(PnmImage *p) {
  if (!p->fp) {
    p->fp = std::fopen(filePath(p), "rb");
    if (!p->fp) {
      tavLog(5007);
      return -1;
    }
    streamBuffer(p->fp, &p->iobuf, &p->iobufSize, streamFileSize(p->fp));
  } else if (std::fseek(p->fp, 0, SEEK_SET) != 0) {
    tavLog(5019);
    return -1;
  }
  FILE *fp = p->fp;
  if (std::fgetc(fp) != 'P') {
    tavLog(5008);
    return -1;
  }
  int d = std::fgetc(fp);
  if (d < '1' || d > '6') {
    tavLog(5009);
    return -1;
  }
  int kind = d - '0';
  const bool raw = kind >= 4;
  const int nums = (kind == 1 || kind == 4) ? 2 : 3;
  long v[3] = {0, 0, 255};
  for (int i = 0; i < nums; ++i) {
    skipWsComments(fp);
    int next = 0;
    if (readNumber(fp, &v[i], &next) != 0) {
      tavLog(5010);
      return -1;
    }
    if (i == nums - 1 && raw) {
      if (!isWs(next)) {
        tavLog(5013);
        return -1;
      }
    } else if (next != EOF) {
      std::ungetc(next, fp);
    }
  }
  if (v[0] < 1 || v[1] < 1) {
    tavLog(5023);
    return -1;
  }
  if (nums == 3 && (v[2] < 1 || v[2] > 65535)) {
    tavLog(5041);
    return -1;
  }
  p->kind = kind;
  p->maxval = static_cast<int>(v[2]);
  if (!(p->align.st & ST_FIXED)) p->align.v = 1;
  attrKnow(p->fileFormat, formatOfKind(kind));
  attrKnow(p->photo, kind == 1 || kind == 4 ? 4 : (kind == 2 || kind == 5) ? 3 : 5);
  if (!(p->rawbits.st & ST_FIXED)) p->rawbits.v = raw ? 1 : 0;
  p->rawbits.st |= ST_KNOWN;
  int depth = depthOfKind(kind);
  if (lineBytes64(v[0], depth, 1) < 0 || lineBytes64(v[0], depth, 1) * 2 > INT32_MAX) {
    tavLog(5023);
    return -1;
  }
  // nothing is reserved for lines that are not there
  if (pnmFileTooShort(fp, kind, v[0], v[1], p->maxval)) {
    tavLog(5049);
    return -1;
  }
  attrSetSize(p, static_cast<int>(v[0]), static_cast<int>(v[1]), depth);
  p->linebytes = lineBytes(p->width.v, p->depth.v, p->align.v);
  if (p->linebytes < 1) {
    tavLog(5023);
    return -1;
  }
  int64_t need = pnmFileLineBytes(kind, p->width.v, p->maxval);
  if (need < p->linebytes) need = p->linebytes;
  if (imageDataAlloc(p, need) != 0) {
    tavLog(5023);
    return -1;
  }
  return 0;
}

int pnmStartOutput(PnmImage *p) {
  int d = p->depth.v, kind, photo;
  switch (d) {
    case 1: kind = 3; photo = 4; break;
    case 8: case 16: case 32: kind = 4; photo = 3; d = 8; break;
    case 24: kind = 5; photo = 5; break;
    default: tavLog(5043); return -1;
  }
  if (p->sign.v) {
    tavLog(5029);
    return -1;
  }
  attrKnow(p->depth, d);
  if (!(p->align.st & ST_FIXED)) p->align.v = 1;
  attrKnow(p->fileFormat, kind);
  attrKnow(p->photo, photo);
  p->linebytes = lineBytes(p->width.v, p->depth.v, 1);
  if (p->linebytes < 1 || p->height.v < 1) {
    tavLog(5043);
    return -1;
  }
  // scratch: one padded line, or one text line of the plain variant
  int64_t need = p->rawbits.v ? p->linebytes : static_cast<int64_t>(p->width.v) * 13 + 2;
  if (imageDataAlloc(p, need) != 0) {
    tavLog(5043);
    return -1;
  }
  p->started = 1;
  p->abandoned = 0;
  return 0;
}

int pnmStart(tavImage *im) {
  PnmImage *p = P(im);
  int r = (im->flags & IM_READ) ? pnmStartInput(p) : pnmStartOutput(p);
  p->lastLine = -1;
  return r;
}

int pnmStop(tavImage *im) {
  PnmImage *p = P(im);
  if ((im->flags & IM_WRITE) && p->fp && std::fflush(p->fp) != 0) {
    tavLog(5046);
    return -1;
  }
  return 0;
}

int pnmFlush(tavImage *im) {
  PnmImage *p = P(im);
  if (!(im->flags & IM_WRITE)) {
    tavLog(5027);
    return -1;
  }
  if (p->fp && std::fflush(p->fp) != 0) {
    tavLog(5046);
    return -1;
  }
  return 0;
}

// A sample of a file whose maximum value is above 255, scaled to 8 bits with rounding.
inline unsigned char wideSample(long v, int maxval) {
  if (v > maxval) v = maxval;
  return static_cast<unsigned char>((v * 255 + maxval / 2) / maxval);
}

// Reads one plain sample (a run of digits) after white space and comments.
int plainSample(FILE *fp, int maxval, unsigned char *out) {
  skipWsComments(fp);
  long v;
  int next;
  if (readNumber(fp, &v, &next) != 0) return -1;
  if (next != EOF) std::ungetc(next, fp);
  *out = maxval > 255 ? wideSample(v, maxval) : static_cast<unsigned char>(v > 255 ? 255 : v);
  return 0;
}

// Reads one file line into dst (width pixels in the image's layout).
int pnmReadFileLine(PnmImage *p, unsigned char *dst) {
  FILE *fp = p->fp;
  const int w = p->width.v;
  if (p->kind >= 4) {
    if (p->maxval > 255 && p->kind != 4) {
      size_t n = static_cast<size_t>(pnmFileLineBytes(p->kind, p->width.v, p->maxval));
      // 2-byte samples, high byte first: read into the back of dst's own buffer
      auto *scratch = static_cast<unsigned char *>(p->dataAddr.v);
      if (std::fread(scratch, 1, n, fp) != n) {
        tavLog(5035);
        return -1;
      }
      for (size_t i = 0; i < n / 2; ++i) dst[i] = wideSample(scratch[2 * i] << 8 | scratch[2 * i + 1], p->maxval);
      return 0;
    }
    size_t n = static_cast<size_t>(p->linebytes);
    if (std::fread(dst, 1, n, fp) != n) {
      tavLog(5035);
      return -1;
    }
    return 0;
  }
  if (p->kind == 1) {
    std::memset(dst, 0, static_cast<size_t>(p->linebytes));
    for (int x = 0; x < w; ++x) {
      int c = skipWsComments(fp);
      c = std::fgetc(fp);
      if (c != '0' && c != '1') {
        tavLog(5003);
        return -1;
      }
      if (c == '1') dst[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    }
    return 0;
  }
  int samples = w * (p->kind == 3 ? 3 : 1);
  for (int i = 0; i < samples; ++i)
    if (plainSample(fp, p->maxval, dst + i) != 0) {
      tavLog(5010);
      return -1;
    }
  return 0;
}

int pnmReadLine(tavImage *im, void *buf, int x, int y, int count) {
  PnmImage *p = P(im);
  if (!(im->flags & IM_READ)) {
    tavLog(5038);
    return -1;
  }
  if (x != 0) {
    tavLog(5034);
    return -1;
  }
  if (y <= p->lastLine || y >= im->height.v || !p->fp) {
    tavLog(5033);
    return -1;
  }
  auto *own = static_cast<unsigned char *>(im->dataAddr.v);
  // Each file line is read whole; straight into the caller's buffer when it holds one.
  const bool direct = count >= im->width.v && !(p->maxval > 255 && p->kind >= 5);
  for (int L = p->lastLine + 1; L <= y; ++L) {
    unsigned char *dst = (L == y && direct) ? static_cast<unsigned char *>(buf) : own;
    if (p->maxval > 255 && p->kind >= 5 && dst == own) {
      // the wide read uses own as scratch; decode into the caller's buffer or a pool line
      void *pb = linePoolGet(im->linebytes);
      if (!pb) return -1;
      int r = pnmReadFileLine(p, lineSpace(pb));
      if (r == 0 && L == y) natReadLineFrom(lineSpace(pb), im, buf, 0, count);
      linePoolPut(pb);
      if (r != 0) return -1;
      p->lastLine = L;
      continue;
    }
    if (pnmReadFileLine(p, dst) != 0) return -1;
    p->lastLine = L;
  }
  if (direct) {
    if (count > im->width.v) fillRun(buf, im->width.v, count, im->depth.v, fillPixelValue(im));
  } else if (!(p->maxval > 255 && p->kind >= 5)) {
    natReadLineFrom(own, im, buf, 0, count);
  }
  if (p->kind < 4) {
    // after a plain line: white space, line ends and comments up to the next sample
    skipWsComments(p->fp);
  }
  return 0;
}

int pnmWriteHeader(PnmImage *p) {
  int f = p->fileFormat.v;
  if (f < 3 || f > 5) {
    tavLog(5042);
    return -1;
  }
  char digit = static_cast<char>('0' + (f - 2) + (p->rawbits.v ? 3 : 0));
  if (std::fprintf(p->fp, "P%c\n%d %d\n", digit, p->width.v, p->height.v) < 0) {
    tavLog(5011);
    return -1;
  }
  if (f != 3 && std::fprintf(p->fp, "%d\n", 255) < 0) {
    tavLog(5012);
    return -1;
  }
  return 0;
}


// "%3d" of every byte value, for plain lines.
struct Dec3 {
  char t[256][3];
  constexpr Dec3() : t() {
    for (int v = 0; v < 256; ++v) {
      t[v][0] = v >= 100 ? static_cast<char>('0' + v / 100) : ' ';
      t[v][1] = v >= 10 ? static_cast<char>('0' + v / 10 % 10) : ' ';
      t[v][2] = static_cast<char>('0' + v % 10);
    }
  }
};
constexpr Dec3 kDec3;

// Formats one plain text line of width pixels from a line in the image's layout.
size_t plainLine(const unsigned char *src, int w, int d, char *out) {
  char *t = out;
  for (int i = 0; i < w; ++i) {
    const bool last = i == w - 1;
    if (d == 1) {
      *t++ = ((src[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
      *t++ = last ? '\n' : ' ';
    } else if (d == 8) {
      std::memcpy(t, kDec3.t[src[i]], 3);
      t += 3;
      *t++ = last ? '\n' : ' ';
    } else {
      for (int c = 0; c < 3; ++c) {
        std::memcpy(t, kDec3.t[src[3 * i + c]], 3);
        t += 3;
        if (c < 2) *t++ = ' ';
      }
      if (last) {
        *t++ = '\n';
      } else {
        *t++ = ' ';
        *t++ = ' ';
      }
    }
  }
  return static_cast<size_t>(t - out);
}

int pnmWriteLine(tavImage *im, const void *buf, int x, int y, int count) {
  PnmImage *p = P(im);
  if (!(im->flags & IM_WRITE)) {
    tavLog(5031);
    return -1;
  }
  if (x != 0) {
    tavLog(5030);
    return -1;
  }
  if (y != p->lastLine + 1 || y >= im->height.v || !p->started) {
    tavLog(5028);
    return -1;
  }
  if (y == 0) {
    if (!p->fp) {
      if (fileIsOpenInput(filePath(p))) {
        tavLog(5048);
        return -1;
      }
      p->fp = outputCreate(filePath(p), &p->tmpName);
      if (!p->fp) {
        tavLog(5025);
        return -1;
      }
      // plain lines take up to 13 characters a pixel
      const int64_t lineOut = p->rawbits.v ? static_cast<int64_t>(p->linebytes) : static_cast<int64_t>(im->width.v) * 13 + 1;
      streamBuffer(p->fp, &p->iobuf, &p->iobufSize, lineOut * p->height.v + 32);
    }
    if (pnmWriteHeader(p) != 0) {
      tavLog(5045);
      return -1;
    }
  }
  const int w = im->width.v, d = im->depth.v;
  const auto *src = static_cast<const unsigned char *>(buf);
  auto *own = static_cast<unsigned char *>(im->dataAddr.v);
  if (count < w) {
    // pad a short line with the fill to the file's width
    if (p->rawbits.v) {
      natWriteLineTo(own, im, buf, count);
      src = own;
    } else {
      void *pb = linePoolGet(im->linebytes);
      if (!pb) return -1;
      natWriteLineTo(lineSpace(pb), im, buf, count);
      int r = 0;
      // write from the padded copy below
      unsigned char *line = lineSpace(pb);
      size_t n = plainLine(line, w, d, reinterpret_cast<char *>(own));
      if (std::fwrite(own, 1, n, p->fp) != n) r = -1;
      linePoolPut(pb);
      if (r != 0) {
        tavLog(5002);
        return -1;
      }
      p->lastLine = y;
      return 0;
    }
  }
  if (p->rawbits.v) {
    size_t n = static_cast<size_t>(im->linebytes);
    if (d == 1 && (w & 7) && src != own) {
      // the bits behind the last pixel are written as 0
      std::memcpy(own, src, n);
      src = own;
    }
    if (d == 1 && (w & 7)) own[n - 1] &= static_cast<unsigned char>(0xFF << (8 - (w & 7)));
    if (std::fwrite(src, 1, n, p->fp) != n) {
      tavLog(5002);
      return -1;
    }
  } else {
    size_t n = plainLine(src, w, d, reinterpret_cast<char *>(own));
    if (std::fwrite(own, 1, n, p->fp) != n) {
      tavLog(5002);
      return -1;
    }
  }
  p->lastLine = y;
  return 0;
}

int pnmClose(tavImage *im) {
  PnmImage *p = P(im);
  int r = 0;
  const bool output = im->flags & IM_WRITE;
  if (output && !im->abandoned && p->started && p->lastLine + 1 < im->height.v) {
    if (imageFillLinesFrom(im, p->lastLine + 1) != 0) {
      tavLog(5032);
      r = -1;
    }
  }
  if (p->fp) {
    if (!output) {
      std::fclose(p->fp);
    } else if (outputFinish(p->fp, &p->tmpName, r == 0 && !im->abandoned) != 0) {
      tavLog(5047);
      r = -1;
    }
    p->fp = nullptr;
  }
  streamBufferFree(&p->iobuf, &p->iobufSize);
  p->started = 0;
  return r;
}

int pnmReadPixel(tavImage *, int, int) { tavLog(5036); return -1; }
int pnmWritePixel(tavImage *, int, int, int) { tavLog(5037); return -1; }
void *pnmGetPixelAddr(tavImage *, int, int) { tavLog(5022); return nullptr; }
int pnmSelectPage(tavImage *im, int page) {
  if (page < 0) {
    tavLog(5040);
    return -1;
  }
  if (page > 0) return 1;
  im->page = 0;
  return 0;
}

int fileDestroy(tavImage *im) {
  if (!im) return 0;
  // the close is idempotent; a file left open is closed here at the latest, while its path lives
  imageClose(im);
  char **path = pathSlot(im);
  if (*path && tavMemFree(*path) == 0) *path = nullptr;
  return imageDestroyDefault(im);
}

// ---- raw class -------------------------------------------------------------------------
int rawInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &rawClass;
  im->subtype = SUB_RAW;
  im->fileFormat.v = 1;
  im->fileFormat.st = 0;
  im->photo.v = 2;
  RawImage *r = R(im);
  r->offset = {0, 0, 0};
  r->fp = nullptr;
  r->lastLine = -1;
  r->iobuf = nullptr;
  r->iobufSize = 0;
  r->path = nullptr;
  r->tmpName = nullptr;
  return 0;
}

tavImage *rawCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(RawImage)));
  if (!im) {
    tavLog(5180);
    return nullptr;
  }
  rawInit(im);
  return im;
}

int rawOpen(tavImage *im, int mode) {
  RawImage *r = R(im);
  if (attrPinned(r->offset)) r->offset.v = r->offset.req;
  return fileOpenMode(im, mode, 5187, 5185, 5181, 5180);
}

int rawStart(tavImage *im) {
  RawImage *r = R(im);
  if (!(im->width.st & ST_KNOWN) || im->width.v < 1) {
    tavLog(5188);
    return -1;
  }
  if (!(im->height.st & ST_KNOWN) || im->height.v < 1) {
    tavLog(5179);
    return -1;
  }
  if (!(im->depth.st & ST_KNOWN) || im->depth.v < 1 || im->depth.v > 32) {
    tavLog(5178);
    return -1;
  }
  if (!attrPinned(im->photo)) im->photo.v = im->depth.v == 24 ? 5 : 3;
  im->photo.st |= ST_KNOWN;
  im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  if (im->linebytes < 1 || imageDataAlloc(im, im->linebytes) != 0) {
    tavLog(5188);
    return -1;
  }
  // a second pass over an input starts again at the offset
  if ((im->flags & IM_READ) && r->fp && std::fseek(r->fp, static_cast<long>(r->offset.v), SEEK_SET) != 0) {
    tavLog(5190);
    return -1;
  }
  r->lastLine = -1;
  im->abandoned = 0;
  return 0;
}

int rawStop(tavImage *im) {
  RawImage *r = R(im);
  if ((im->flags & IM_WRITE) && r->fp && std::fflush(r->fp) != 0) {
    tavLog(5170);
    return -1;
  }
  return 0;
}

// Opens a raw input's file at its offset, before its first line; 0, or the code of the failure.
int rawOpenInput(RawImage *r) {
  r->fp = std::fopen(filePath(r), "rb");
  if (!r->fp) return 5177;
  streamBuffer(r->fp, &r->iobuf, &r->iobufSize, streamFileSize(r->fp));
  return std::fseek(r->fp, static_cast<long>(r->offset.v), SEEK_SET) != 0 ? 5190 : 0;
}

int rawReadLine(tavImage *im, void *buf, int x, int y, int count) {
  RawImage *r = R(im);
  if (!(im->flags & IM_READ)) {
    tavLog(5192);
    return -1;
  }
  if (x != 0) {
    tavLog(5193);
    return -1;
  }
  if (y <= r->lastLine || y >= im->height.v) {
    tavLog(5194);
    return -1;
  }
  if (!r->fp) {
    if (const int code = rawOpenInput(r)) {
      tavLog(static_cast<uint16_t>(code));
      tavLog(5199);
      return -1;
    }
  }
  const size_t n = static_cast<size_t>(im->linebytes);
  // straight into the caller's line only when its count pixels span the file line's bytes
  const bool direct = count >= im->width.v && lineBytes(count, im->depth.v, 1) >= im->linebytes;
  auto *own = static_cast<unsigned char *>(im->dataAddr.v);
  for (int L = r->lastLine + 1; L <= y; ++L) {
    unsigned char *dst = (L == y && direct) ? static_cast<unsigned char *>(buf) : own;
    if (std::fread(dst, 1, n, r->fp) != n) {
      tavLog(5186);
      return -1;
    }
    r->lastLine = L;
  }
  if (direct) {
    if (count > im->width.v) fillRun(buf, im->width.v, count, im->depth.v, fillPixelValue(im));
  } else {
    natReadLineFrom(own, im, buf, 0, count);
  }
  return 0;
}

int rawWriteLine(tavImage *im, const void *buf, int x, int y, int count) {
  RawImage *r = R(im);
  if (!(im->flags & IM_WRITE)) {
    tavLog(5195);
    return -1;
  }
  if (x != 0) {
    tavLog(5196);
    return -1;
  }
  if (y != r->lastLine + 1 || y >= im->height.v) {
    tavLog(5197);
    return -1;
  }
  if (y == 0 && !r->fp) {
    if (fileIsOpenInput(filePath(im))) {
      tavLog(5169);
      return -1;
    }
    r->fp = outputCreate(filePath(im), &r->tmpName);
    if (r->fp) streamBuffer(r->fp, &r->iobuf, &r->iobufSize, static_cast<int64_t>(im->linebytes) * im->height.v);
    if (!r->fp) {
      tavLog(5182);
      tavLog(5171);
      return -1;
    }
  }
  const auto *src = static_cast<const unsigned char *>(buf);
  // a short line, or one whose alignment adds bytes the caller's line need not hold
  if (count < im->width.v || lineBytes(im->width.v, im->depth.v, 1) < im->linebytes) {
    auto *own = static_cast<unsigned char *>(im->dataAddr.v);
    natWriteLineTo(own, im, buf, count < im->width.v ? count : im->width.v);
    src = own;
  }
  const size_t n = static_cast<size_t>(im->linebytes);
  if (std::fwrite(src, 1, n, r->fp) != n) {
    tavLog(5198);
    return -1;
  }
  r->lastLine = y;
  return 0;
}

int rawClose(tavImage *im) {
  RawImage *r = R(im);
  int res = 0;
  if (r->fp) {
    if (!(im->flags & IM_WRITE)) {
      std::fclose(r->fp);
    } else if (outputFinish(r->fp, &r->tmpName, !im->abandoned) != 0) {
      tavLog(5170);
      res = -1;
    }
    r->fp = nullptr;
  }
  streamBufferFree(&r->iobuf, &r->iobufSize);
  return res;
}

int rawReadPixel(tavImage *, int, int) { tavLog(5183); return -1; }
int rawWritePixel(tavImage *, int, int, int) { tavLog(5184); return -1; }
void *rawGetPixelAddr(tavImage *, int, int) { tavLog(5189); return nullptr; }
int rawSelectPage(tavImage *im, int page) {
  if (page < 0) {
    tavLog(5191);
    return -1;
  }
  if (page > 0) return 1;
  im->page = 0;
  return 0;
}
}  // namespace

const tavClass pnmClass = {pnmCreate,     fileDestroy,   pnmInit,      configFromTemplate, pnmOpen,
                           pnmClose,      pnmStart,      pnmStop,      pnmReadPixel,       pnmWritePixel,
                           pnmReadLine,   pnmWriteLine,  opOne,        pnmFlush,           pnmGetPixelAddr,
                           pnmSelectPage};
const tavClass rawClass = {rawCreate,     fileDestroy,   rawInit,      configFromTemplate, rawOpen,
                           rawClose,      rawStart,      rawStop,      rawReadPixel,       rawWritePixel,
                           rawReadLine,   rawWriteLine,  opOne,        opZero,             rawGetPixelAddr,
                           rawSelectPage};

bool fileIsOpenInput(const char *path) {
  struct stat a;
  if (!path || stat(path, &a) != 0) return false;
  for (tavImage *p = imageListHead(); p; p = p->nextLive) {
    if ((p->subtype != SUB_PNM && p->subtype != SUB_RAW) || !(p->flags & IM_READ) || !filePath(p)) continue;
    struct stat b;
    if (stat(filePath(p), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) return true;
  }
  return false;
}

int fileReadPixels(tavImage *im, unsigned char *dst) {
  if (!im || !dst || !(im->flags & IM_READ) || (im->flags & IM_WRITE)) return -1;
  const int64_t size = static_cast<int64_t>(im->linebytes) * im->height.v;
  if (im->linebytes < 1 || im->height.v < 1 || size > INT32_MAX) return -1;
  if (im->subtype == SUB_PNM) {
    PnmImage *p = P(im);
    const bool binary = p->kind >= 4 && (p->kind == 4 || p->maxval <= 255);
    if (!p->fp || p->lastLine != -1 || !binary || pnmFileLineBytes(p->kind, im->width.v, p->maxval) != im->linebytes)
      return -1;
    return fileReadRange(p->fp, std::ftell(p->fp), size, dst);
  }
  if (im->subtype == SUB_RAW) {
    RawImage *r = R(im);
    if (r->lastLine != -1) return -1;
    if (!r->fp && rawOpenInput(r) != 0) {
      if (r->fp) std::fclose(r->fp);
      r->fp = nullptr;  // the first read opens it again and says why it cannot
      return -1;
    }
    return fileReadRange(r->fp, r->offset.v, size, dst);
  }
  return -1;
}

void tavRemovePartialOutputs(void) {
  for (auto &slot : g_partial)
    if (const char *tmp = slot.load()) unlink(tmp);
}

// ---- creation from words ------------------------------------------------------------------
namespace {
void fileTemplate(tavImage *rec, tavImage *tmpl) {
  const bool fixed = tmpl && (tmpl->fileFormat.st & ST_FIXED);
  if (!fixed) {
    rec->fileFormat.v = -1;
    rec->fileFormat.st = ST_KNOWN;
  }
  if (tmpl) {
    attrPropagate(tmpl, rec);
    if ((tmpl->fileFormat.st & ST_KNOWN) && !(rec->fileFormat.st & ST_EXPLICIT)) rec->fileFormat = tmpl->fileFormat;
  }
}

bool endsWithAny(const char *name, const char *const *suffixes, int n) {
  for (int i = 0; i < n; ++i)
    if (strEndsWith(name, suffixes[i])) return true;
  return false;
}

tavImage *finishFile(tavImage *rec, tavImage *(*create)(tavImage *), const char *name, int mode, int noMem, int naming,
                     int opening, bool pnm) {
  tavImage *im = create(nullptr);
  if (!im) {
    tavLog(static_cast<uint16_t>(noMem));
    return nullptr;
  }
  attrNegotiate(rec, im, im);
  if (pnm) attrMerge(P(rec)->rawbits, P(im)->rawbits, P(im)->rawbits);
  else attrMerge(R(rec)->offset, R(im)->offset, R(im)->offset);
  if (imageListAdd(im, name) != 0 || !im->name) {
    imageDestroy(im);
    tavLog(static_cast<uint16_t>(naming));
    return nullptr;
  }
  if (imageOpen(im, mode) != 0) {
    imageDestroy(im);
    tavLog(static_cast<uint16_t>(opening));
    return nullptr;
  }
  return im;
}
}  // namespace

tavImage *pnmFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl, int mode) {
  PnmImage rec;
  pnmInit(&rec);
  fileTemplate(&rec, tmpl);
  if (leftover) *leftover = argc;
  if (argc < 1 || !isNameWord(argv[0])) return &tavNullRecord;
  const char *name = argv[0];
  int used = 1;
  int format = rec.fileFormat.v;
  int depth = 0;
  if (mode & IM_READ) {
    FILE *fp = std::fopen(name, "rb");
    if (!fp) return &tavNullRecord;
    int c0 = std::fgetc(fp), c1 = std::fgetc(fp);
    std::fclose(fp);
    if (c1 == EOF) {
      // too short for a PNM file; a raw file may still be this short
      const bool rawClaim = (argc >= 2 && std::strcmp(argv[1], "-raw") == 0) || strEndsWith(name, ".raw") ||
                            strEndsWith(name, ".RAW");
      if (rawClaim) return &tavNullRecord;
      tavLog(5044);
      return nullptr;
    }
    int kind = kindOfMagic(c0, c1);
    if (!kind) return &tavNullRecord;
    format = formatOfKind(kind);
    depth = depthOfKind(kind);
  } else {
    static const char *const pnmExt[] = {".pnm", ".PNM"}, *const pbmExt[] = {".pbm", ".PBM"},
                             *const pgmExt[] = {".pgm", ".PGM"}, *const ppmExt[] = {".ppm", ".PPM"};
    const char *w1 = argc >= 2 ? argv[1] : "";
    if (std::strcmp(w1, "-pnm") == 0) format = 2, used = 2;
    else if (std::strcmp(w1, "-pbm") == 0) format = 3, depth = 1, used = 2;
    else if (std::strcmp(w1, "-pgm") == 0) format = 4, depth = 8, used = 2;
    else if (std::strcmp(w1, "-ppm") == 0) format = 5, depth = 24, used = 2;
    else if (format >= 2 && format <= 5) {
      if (format == 3) depth = 1;
      else if (format == 4) depth = 8;
      else if (format == 5) depth = 24;
    } else if (endsWithAny(name, pnmExt, 2)) format = 2;
    else if (endsWithAny(name, pbmExt, 2)) format = 3, depth = 1;
    else if (endsWithAny(name, pgmExt, 2)) format = 4, depth = 8;
    else if (endsWithAny(name, ppmExt, 2)) format = 5, depth = 24;
    else return &tavNullRecord;
    int i = used;
    while (i < argc) {
      if (std::strcmp(argv[i], "-normal") == 0) {
        attrStore(rec.rawbits, uint8_t{0});
        ++i;
        continue;
      }
      if (std::strcmp(argv[i], "-rawbits") == 0) {
        attrStore(rec.rawbits, uint8_t{1});
        ++i;
        continue;
      }
      int left = 0;
      if (attrOptionsParse(argc - i, argv + i, &left, 0, &rec) != 0) {
        tavLog(5024);
        return nullptr;
      }
      int n = (argc - i) - left;
      if (n == 0) break;
      i += n;
    }
    used = i;
  }
  if (leftover) *leftover = argc - used;
  if (format < 2 || format > 5) return &tavNullRecord;
  if (!(rec.fileFormat.st & ST_FIXED)) attrStore(rec.fileFormat, format);
  if (depth && !(rec.depth.st & ST_FIXED)) attrStore(rec.depth, depth);
  if (!(flags & 0x20)) return &tavNullRecord;
  if (!(mode & IM_READ) && fileIsOpenInput(name)) {
    tavLog(5048);  // the output would overwrite an open input
    return nullptr;
  }
  return finishFile(&rec, pnmCreate, name, mode, 5026, 5020, 5021, true);
}

tavImage *rawFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl, int mode) {
  RawImage rec;
  rawInit(&rec);
  fileTemplate(&rec, tmpl);
  if (leftover) *leftover = argc;
  if (argc < 1 || !isNameWord(argv[0])) return &tavNullRecord;
  const char *name = argv[0];
  int used;
  if (argc >= 2 && std::strcmp(argv[1], "-raw") == 0) used = 2;
  else if (strEndsWith(name, ".raw") || strEndsWith(name, ".RAW")) used = 1;
  else if ((rec.fileFormat.st & ST_FIXED) && rec.fileFormat.v == 1) used = 1;
  else return &tavNullRecord;
  if (mode & IM_READ) {
    FILE *fp = std::fopen(name, "rb");
    if (!fp) return &tavNullRecord;
    int c = std::fgetc(fp);
    std::fclose(fp);
    if (c == EOF) {
      tavLog(5173);
      return nullptr;
    }
  }
  if (!(rec.fileFormat.st & ST_FIXED)) attrStore(rec.fileFormat, 1);
  int i = used;
  while (i < argc) {
    if (std::strcmp(argv[i], "-offset") == 0) {
      if (rec.offset.st & ST_FIXED) {
        tavLog(914);
        i += i + 1 < argc ? 2 : 1;
        continue;
      }
      long long v;
      if (i + 1 >= argc || !parseInt(argv[i + 1], &v) || v < 0) {
        tavLog(912);
        return nullptr;
      }
      attrStore(rec.offset, static_cast<int64_t>(v));
      i += 2;
      continue;
    }
    int left = 0;
    if (attrOptionsParse(argc - i, argv + i, &left, 0, &rec) != 0) {
      tavLog(5172);
      return nullptr;
    }
    int n = (argc - i) - left;
    if (n == 0) break;
    i += n;
  }
  if (leftover) *leftover = argc - i;
  if (!(flags & 0x20)) return &tavNullRecord;
  if (!(mode & IM_READ) && fileIsOpenInput(name)) {
    tavLog(5169);
    return nullptr;
  }
  return finishFile(&rec, rawCreate, name, mode, 5176, 5175, 5174, false);
}
