// PNM and raw files: byte-exact writing, reading, malformed input and netpbm interchange.
#include "support.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <cstddef>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using Files = TavTest;
using namespace std::string_literals;

namespace {
bool haveNetpbm() { return std::system("command -v pamtopnm >/dev/null 2>&1") == 0; }

// Copies with the full command flags; the result of tavCopy.
int copy(const std::string &words) { return tavCopy(words.c_str(), kAll); }

// Native image read back from a file, as bytes of its lines.
std::string pixels(const std::string &file, int *w = nullptr, int *h = nullptr, int *d = nullptr) {
  if (tavCopy((file + " mem -nat").c_str(), 0x10 | 0x20 | 0x100 | 0x200 | 0x1000 | 0x40) != 0) {
    tavRelease(tavFindImageByName("mem"));
    return "<fail>";
  }
  tavImage *m = tavFindImageByName("mem");
  if (!m) return "<none>";
  std::string s(static_cast<const char *>(tavGetDataAddr(m)),
                static_cast<size_t>(tavGetLinebytes(m)) * static_cast<size_t>(tavGetHeight(m)));
  if (w) *w = tavGetWidth(m);
  if (h) *h = tavGetHeight(m);
  if (d) *d = tavGetDepth(m);
  tavRelease(m);
  return s;
}
}  // namespace

TEST_F(Files, WrittenBytesOfEveryKind) {
  struct {
    const char *gen;  // generator words
    const char *out;  // output words after the name
    std::string expect;
  } cases[] = {
      {"g -count 1 -w 3 -h 2 -d 8", "-pgm -normal", "P2\n3 2\n255\n  0   1   2\n  3   4   5\n"s},
      {"g -count 1 -w 3 -h 2 -d 8", "-pgm", "P5\n3 2\n255\n\x00\x01\x02\x03\x04\x05"s},
      {"g -count 1 -w 2 -h 1 -d 24", "-ppm -normal", "P3\n2 1\n255\n  0   0   0    1   0   0\n"s},
      {"g -count 1 -w 2 -h 1 -d 24", "-ppm", "P6\n2 1\n255\n\x00\x00\x00\x01\x00\x00"s},
      {"g -const -f 1 -w 3 -h 2 -d 1", "-pbm -normal", "P1\n3 2\n1 1 1\n1 1 1\n"s},
      {"g -const -f 1 -w 10 -h 1 -d 1", "-pbm", "P4\n10 1\n\xFF\xC0"s},
      {"g -const -f 0 -w 3 -h 1 -d 8 -w0", "-pgm -normal", "P2\n3 1\n255\n  0   0   0\n"s},
      {"g -count 1 -w 3 -h 1 -d 16", "-pgm", "P5\n3 1\n255\n\x00\x01\x02"s},
  };
  for (const auto &c : cases) {
    std::string out = path("o.pnm");
    ASSERT_EQ(copy(std::string(c.gen) + " " + out + " " + c.out), 0) << c.out;
    EXPECT_EQ(readFile(out), c.expect) << c.gen << " " << c.out;
  }
}

TEST_F(Files, NaturalKindAndExtensions) {
  struct {
    const char *gen, *name, *magic;
  } cases[] = {{"g -const -w 2 -h 1 -d 1", "a", "P4"},      {"g -const -w 2 -h 1 -d 16", "b", "P5"},
               {"g -const -w 2 -h 1 -d 24", "c", "P6"},     {"g -const -w 2 -h 1 -d 8", "d.PPM", "P6"},
               {"g -const -w 2 -h 1 -d 24", "e.pbm", "P4"}, {"g -const -w 2 -h 1 -d 32", "f.pnm", "P5"}};
  for (const auto &c : cases) {
    ASSERT_EQ(copy(std::string(c.gen) + " " + path(c.name)), 0) << c.name;
    EXPECT_EQ(readFile(path(c.name)).substr(0, 2), c.magic) << c.name;
  }
}

TEST_F(Files, ReadsEveryKindPlainAndRaw) {
  struct {
    std::string file;
    int w, h, d;
    std::string px;
  } cases[] = {
      {"P1\n# c\n3\n# between\n2\n1 0 1\n0 1 0\n", 3, 2, 1, "\xA0\x40"s},
      {"P1 4 1 0101", 4, 1, 1, "\x50"s},
      {"P2\n2 2\n255\n1 2\n3\n4\n", 2, 2, 8, "\x01\x02\x03\x04"s},
      {"P3 1 1 255 10 20 30 ", 1, 1, 24, "\x0a\x14\x1e"s},
      {"P4\n9 1\n\xff\x80"s, 9, 1, 1, "\xff\x80"s},
      {"P5 2 1 255\n\x07\x08"s, 2, 1, 8, "\x07\x08"s},
      {"P6\n1 1\n255\r\x01\x02\x03"s, 1, 1, 24, "\x01\x02\x03"s},
      {"P5\n2 1\n65535\n\x12\x34\xAB\xCD"s, 2, 1, 8, "\x12\xAB"s},
      {"P5\n1 1\n255\n\n"s, 1, 1, 8, "\n"s},  // a sample may look like white space
      {"P2\n1 1\n65535\n4660\n", 1, 1, 8, "\x12"s},
      // two-byte samples are scaled to 8 bits with rounding; up to 255 a sample is taken as it is
      {"P5\n3 1\n1000\n\x03\xe8\x01\xf4\x00\x03"s, 3, 1, 8, "\xff\x80\x01"s},
      {"P2\n3 1\n1000\n1000 500 3\n", 3, 1, 8, "\xff\x80\x01"s},
      {"P2\n2 1\n100\n100 7\n", 2, 1, 8, "\x64\x07"s},
  };
  for (const auto &c : cases) {
    std::string f = path("in.any");
    writeFile(f, c.file);
    int w = 0, h = 0, d = 0;
    EXPECT_EQ(pixels(f, &w, &h, &d), c.px) << c.file << ::testing::PrintToString(log());
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(d, c.d);
    tavLogReset();
  }
}

TEST_F(Files, MalformedInputsFail) {
  const std::string raw = std::string(512, 'x') + "\x01\x02\x03\x04\x05\x06";
  struct {
    std::string file;
    int code;
    const char *name = "bad.pgm", *words = "";
  } cases[] = {
      {"P7\n1 1\n", 673},
      {"P5\n1 1\n255x", 5013},
      {"P5\nx 1\n255\n", 5010},
      {"P5\n0 1\n255\n\x01", 5023},
      {"P5\n1 0\n255\n", 5023},
      {"P5\n1 1\n0\n\x01", 5041},
      {"P5\n1 1\n65536\n\x01", 5041},
      {"P5\n99999999999 1\n255\n", 5010},
      // a regular file holding fewer samples than its header declares: nothing is reserved
      {"P5\n4 1\n255\n\x01", 5049},
      {"P5\n2 1\n65535\n\x01\x02\x03", 5049},
      {"P6\n10379 40000\n1\n\x00", 5049},
      {"P2\n3 1\n255\n1 2\n", 5049},
      {"P1\n5 1\n0101", 5049},
      {"P2\n2 1\n255\n1 x\n", 5010},
      {"P1\n2 1\n1 2\n", 5003},
      {"P", 5044, "one"},
      // raw files: size words are required, an empty file, an offset without its value, a short file
      {raw, 5188, "img.raw"},
      {"", 5173, "empty.raw", " -w 1 -h 1 -d 8"},
      {raw, 912, "img.raw", " -offset -w 1 -h 1 -d 8"},
      {raw, 5186, "img.raw", " -offset 512 -w 3 -h 3 -d 8"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file + c.words);
    const std::string f = path(c.name);
    writeFile(f, c.file);
    tavLogReset();
    EXPECT_EQ(copy(f + c.words + " " + path(std::strstr(c.name, ".raw") ? "out.raw" : "out.pgm")), -1);
    EXPECT_TRUE(logHas(c.code)) << ::testing::PrintToString(log());
    EXPECT_EQ(imageListHead(), nullptr);
    unlink(f.c_str());
  }
  // not a PNM magic: not claimed whatever the name says
  writeFile(path("fake.pgm"), "GIF89a");
  tavLogReset();
  EXPECT_EQ(copy(path("fake.pgm") + " " + path("out.pgm")), -1);
  EXPECT_EQ(log(), (std::vector<int>{673, 789, 787}));
}

TEST_F(Files, SequentialRules) {
  std::string f = path("seq.pgm");
  writeFile(f, "P2\n1 8\n255\n0\n1\n2\n3\n4\n5\n6\n7\n");
  tavImage *in = makeInput(f.c_str());
  ASSERT_EQ(tavGetSubType(in), SUB_PNM);
  ASSERT_EQ(tavStartImage(in), 0);
  unsigned char v = 0;
  ASSERT_EQ(tavReadLine(in, &v, 0, 5, 1), 0);  // lines 0 to 4 are consumed
  EXPECT_EQ(v, 5);
  EXPECT_EQ(tavReadLine(in, &v, 0, 5, 1), -1);
  EXPECT_EQ(tavReadLine(in, &v, 1, 6, 1), -1);
  EXPECT_EQ(tavReadPixel(in, 0, 0), -1);
  EXPECT_EQ(tavGetPixelAddr(in, 0, 0), nullptr);
  EXPECT_EQ(tavWriteLine(in, &v, 0, 6, 1), -1);
  EXPECT_EQ(log(), (std::vector<int>{5033, 5034, 5036, 5022, 5031}));
  // a second pass starts at the top again
  ASSERT_EQ(tavStartImage(in), 0);  // state 9 counts as a pass under way
  tavStopImage(in);
  ASSERT_EQ(tavStartImage(in), 0);
  ASSERT_EQ(tavReadLine(in, &v, 0, 0, 1), 0);
  EXPECT_EQ(v, 0);
  tavRelease(in);

  tavImage *g = makeInput("g -const -w 2 -h 4 -d 8");
  tavImage *out = makeOutput((path("w.pgm") + " -h 4").c_str(), g);
  attrPropagate(g, out);
  ASSERT_EQ(tavStartImage(out), 0);
  unsigned char line[2] = {1, 2};
  ASSERT_EQ(tavWriteLine(out, line, 0, 0, 2), 0);
  tavLogReset();
  EXPECT_EQ(tavWriteLine(out, line, 0, 2, 2), -1);
  EXPECT_EQ(log(), (std::vector<int>{5028}));
  tavRelease(out);  // the close completes the file with fill lines
  EXPECT_EQ(readFile(path("w.pgm")), "P5\n2 4\n255\n\x01\x02\0\0\0\0\0\0"s);
  tavRelease(g);
}

TEST_F(Files, ShortLinesArePaddedToTheFileWidth) {
  tavImage *g = makeInput("g -count 1 -w 3 -h 2 -d 24");
  tavImage *out = makeOutput((path("pad.ppm") + " -w 5 -f 0x0A0B0C -normal").c_str(), g);
  ASSERT_EQ(tavCopyImage(g, out), 0);
  tavRelease(out);
  tavRelease(g);
  EXPECT_EQ(readFile(path("pad.ppm")),
            "P3\n5 2\n255\n  0   0   0    1   0   0    2   0   0   12  11  10   12  11  10\n"
            "  3   0   0    4   0   0    5   0   0   12  11  10   12  11  10\n");
  // reading fewer pixels than the file's width still consumes whole file lines
  std::string f = path("wide.pgm");
  writeFile(f, "P5\n4 2\n255\n\x01\x02\x03\x04\x05\x06\x07\x08"s);
  tavImage *in = makeInput(f.c_str());
  tavStartImage(in);
  unsigned char two[2];
  ASSERT_EQ(tavReadLine(in, two, 0, 0, 2), 0);
  ASSERT_EQ(tavReadLine(in, two, 0, 1, 2), 0);
  EXPECT_EQ(two[0], 5);
  EXPECT_EQ(two[1], 6);
  tavRelease(in);
}

TEST_F(Files, OutputThatIsAnOpenInputFails) {
  std::string f = path("a.pgm");
  writeFile(f, "P5\n1 1\n255\n\x2a"s);
  EXPECT_EQ(copy(f + " " + f), -1);
  EXPECT_TRUE(logHas(5048));
  EXPECT_EQ(readFile(f), "P5\n1 1\n255\n\x2a"s);
  EXPECT_EQ(imageListHead(), nullptr);
}

namespace {
// The names in a folder, sorted.
std::vector<std::string> folder(const std::string &dir) {
  std::vector<std::string> names;
  FILE *ls = popen(("ls -A '" + dir + "'").c_str(), "r");
  char line[512];
  while (ls && std::fgets(line, sizeof line, ls)) names.emplace_back(line, std::strcspn(line, "\n"));
  if (ls) pclose(ls);
  return names;
}
}  // namespace

// A transfer that fails leaves no file under the output's name (an older one stays as it was),
// no temporary file beside it, and nothing filled.
TEST_F(Files, FailedTransferLeavesNoOutput) {
  writeFile(path("huge.pgm"), "P5\n60000 60000\n255\n"s);
  writeFile(path("short.pgm"), "P5\n4 4\n255\nabcdef"s);
  writeFile(path("short.raw"), "abcdef"s);
  writeFile(path("old.pgm"), "P5\n1 1\n255\n\x07"s);
  struct {
    std::string in, out;
    std::vector<int> codes;
  } cases[] = {
      {"huge.pgm", "new1.pgm", {5049, 622, 789, 787}},
      {"huge.pgm", "mem -nat", {5049, 622, 789, 787}},  // refused before memory is taken
      {"short.pgm", "new3.raw", {5049, 622, 789, 787}},
      {"short.raw -w 4 -h 4 -d 8", "new4.raw", {5186, 631, 789, 787}},
      {"short.raw -w 4 -h 4 -d 8", "old.pgm", {5186, 631, 789, 787}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.in + " " + c.out);
    tavLogReset();
    EXPECT_EQ(tavCopy((path(c.in) + " " + path(c.out)).c_str(), kAll), -1);
    EXPECT_EQ(log(), c.codes);
    EXPECT_EQ(imageListHead(), nullptr);
  }
  EXPECT_EQ(folder(dir_), (std::vector<std::string>{"huge.pgm", "old.pgm", "short.pgm", "short.raw"}));
  EXPECT_EQ(readFile(path("old.pgm")), "P5\n1 1\n255\n\x07"s);
}

namespace {
// Without CAP_FSETID in effect (as for any user but root), a write clears the set-ID bits.
struct WithoutFsetid {
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2]{};
  WithoutFsetid() {
    if (syscall(SYS_capget, &head, caps) != 0) return;
    caps[CAP_FSETID / 32].effective &= ~(1u << (CAP_FSETID % 32));
    (void)!syscall(SYS_capset, &head, caps);
  }
  ~WithoutFsetid() {
    caps[CAP_FSETID / 32].effective |= caps[CAP_FSETID / 32].permitted & (1u << (CAP_FSETID % 32));
    (void)!syscall(SYS_capset, &head, caps);
  }
};
}  // namespace

// An output replaces the file its name leads to: a long name is written, a symbolic link is
// written through to its target (in another folder), an existing file keeps its mode, set-ID
// bits included, a new one gets the umask's; no temporary file is left anywhere.
TEST_F(Files, OutputReplacesTheFileItsNameLeadsTo) {
  ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
  writeFile(path("sub/target.pgm"), "old");
  ASSERT_EQ(chmod(path("sub/target.pgm").c_str(), 0600), 0);
  ASSERT_EQ(symlink("sub/target.pgm", path("link.pgm").c_str()), 0);
  ASSERT_EQ(symlink("../sub/new.pgm", path("sub/dangling.pgm").c_str()), 0);
  writeFile(path("kept.pgm"), "old");
  ASSERT_EQ(chmod(path("kept.pgm").c_str(), 0640), 0);
  writeFile(path("setid.pgm"), "old");
  ASSERT_EQ(chmod(path("setid.pgm").c_str(), 06755), 0);
  const mode_t mask = umask(022);
  const WithoutFsetid asAUser;
  const std::string longName = std::string(240, 'x') + ".pgm";
  const struct {
    std::string name, file;  // the output's name, the file that must hold the image
    mode_t mode;
  } cases[] = {
      {longName, longName, 0644},
      {"link.pgm", "sub/target.pgm", 0600},
      {"sub/dangling.pgm", "sub/new.pgm", 0644},
      {"kept.pgm", "kept.pgm", 0640},
      {"setid.pgm", "setid.pgm", 06755},
  };
  const std::string want = "P5\n3 2\n255\n\x00\x01\x02\x03\x04\x05"s;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    tavLogReset();
    EXPECT_EQ(copy("g -count 1 -w 3 -h 2 -d 8 " + path(c.name)), 0);
    EXPECT_EQ(log(), std::vector<int>{});
    EXPECT_EQ(readFile(path(c.file)), want);
    struct stat st;
    ASSERT_EQ(stat(path(c.file).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
  }
  umask(mask);
  struct stat st;
  ASSERT_EQ(lstat(path("link.pgm").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(folder(dir_), (std::vector<std::string>{"kept.pgm", "link.pgm", "setid.pgm", "sub", longName}));
  EXPECT_EQ(folder(path("sub")), (std::vector<std::string>{"dangling.pgm", "new.pgm", "target.pgm"}));
}

#ifdef TAV_BINARY
namespace {
// A temporary file in dir of the tav process pid (any tav's for 0), or "".
std::string temporaryIn(const std::string &dir, pid_t pid = 0) {
  const std::string prefix = pid ? ".tav" + std::to_string(pid) + "." : ".tav";
  std::string found;
  DIR *d = opendir(dir.c_str());
  while (dirent *e = d ? readdir(d) : nullptr)
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) found = dir + "/" + e->d_name;
  if (d) closedir(d);
  return found;
}

// Runs tav writing o.ppm in dir and sends it sig right after the system call that made its
// temporary file or, when written is set, first wrote into it (a seccomp filter stops it at
// every openat and write). The wait status of its end.
int interruptTav(const std::string &dir, int sig, bool written) {
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit one = {1, 1};  // no core file anywhere, not even through a pipe
    setrlimit(RLIMIT_CORE, &one);
    sock_filter watch[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE),
    };
    const sock_fprog program = {sizeof watch / sizeof watch[0], watch};
#ifdef __SANITIZE_ADDRESS__
    // the leak checker stops a process by tracing it, which a traced process refuses
    const char *asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
#endif
    if (chdir(dir.c_str()) == 0 && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0 && raise(SIGSTOP) == 0 &&
        prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0)
      execl(TAV_BINARY, "tav", "-c", "tavCopy g -random -w 2000 -h 2000 -d 24 o.ppm", static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ptrace(PTRACE_SETOPTIONS, pid, nullptr,
         reinterpret_cast<void *>(PTRACE_O_TRACESECCOMP | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL));
  auto resume = [&](__ptrace_request how, long pass) {
    return ptrace(how, pid, nullptr, reinterpret_cast<void *>(pass)) == 0 && waitpid(pid, &status, 0) == pid &&
           WIFSTOPPED(status);
  };
  bool sent = false;
  for (long pass = 0; resume(PTRACE_CONT, pass);) {
    pass = 0;
    if (status >> 8 != (SIGTRAP | PTRACE_EVENT_SECCOMP << 8)) {
      pass = status >> 16 ? 0 : WSTOPSIG(status);  // a signal goes on as it came
      continue;
    }
    if (sent || !resume(PTRACE_SYSCALL, 0)) continue;  // to the end of the call
    const std::string tmp = temporaryIn(dir, pid);
    struct stat st;
    sent = !tmp.empty() && (!written || (stat(tmp.c_str(), &st) == 0 && st.st_size > 0));
    if (sent) kill(pid, sig);  // delivered as the call returns, before tav goes on
  }
  return status;
}
}  // namespace

// tav ended by any signal whose default action ends a process, the moment its temporary file
// is made, or while it writes it, leaves no part of the output behind and the older file under
// the output's name as it was; it ends by that signal. A signal it was started ignoring stays
// ignored.
TEST_F(Files, InterruptedTavLeavesNoPartialOutput) {
  writeFile(path("o.ppm"), "old");
  std::vector<std::pair<int, bool>> cases = {{SIGTERM, true}, {SIGHUP, true}, {SIGSEGV, true}, {SIGRTMAX, true}};
  const std::vector<int> lasting = {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGTSTP, SIGTTIN, SIGTTOU, SIGURG, SIGWINCH};
  for (int sig = 1; sig <= SIGRTMAX; ++sig)
    if (std::count(lasting.begin(), lasting.end(), sig) == 0 && (sig < 32 || sig >= SIGRTMIN)) cases.push_back({sig, false});
  for (const auto &[sig, written] : cases) {
    SCOPED_TRACE(std::string(written ? "writing, " : "created, ") + strsignal(sig));
    const int status = interruptTav(dir_, sig, written);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    EXPECT_EQ(folder(dir_), std::vector<std::string>{"o.ppm"});
    EXPECT_EQ(readFile(path("o.ppm")), "old");
    for (std::string left; !(left = temporaryIn(dir_)).empty();) unlink(left.c_str());
  }
  signal(SIGHUP, SIG_IGN);  // inherited by the child, as from nohup
  const int status = interruptTav(dir_, SIGHUP, true);
  signal(SIGHUP, SIG_DFL);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(readFile(path("o.ppm")).substr(0, 16), "P6\n2000 2000\n255");
}
#endif

namespace {
// The largest block the library asked for in a heap trace.
long largestBlock(const std::string &trace) {
  long most = 0, size = 0;
  for (size_t at = 0; (at = trace.find("> HEAP ALLOC:", at)) != std::string::npos; ++at)
    if (std::sscanf(trace.c_str() + at, "> HEAP ALLOC: %ld", &size) == 1 && size > most) most = size;
  return most;
}
}  // namespace

// A line is at most a line buffer's 64 KiB. An alignment beyond it is refused before any line is
// allocated; a line too long to move is refused as soon as the image that would take memory for
// it knows its size, before that memory is taken or any input line read: a generator's line, a
// rotation's output line, a frame finder's line (the inputs are one byte long).
TEST_F(Files, LinesAreAtMost64KiB) {
  writeFile(path("one.raw"), "x");
  const std::string one = path("one.raw");
  const struct {
    int (*command)(const char *, int);
    std::string words;
    std::vector<int> codes;
  } cases[] = {
      {tavCopy, "g -const -w 10 -h 10 -d 8 -a 2147483647 " + path("a.raw"), {460, 322, 671, 799, 787}},
      {tavCopy, "g -const -w 10 -h 2 -d 8 " + path("b.raw") + " -a 65537", {5188, 606, 789, 787}},
      {tavCopy, "g -const -w 10 -h 2 -d 8 m -nat -a 65537", {425, 372, 373, 606, 789, 787}},
      {tavCopy, "g -const -w 16777216 -h 1 -d 8 " + path("c.pgm"), {319, 460, 322, 671, 799, 787}},
      {tavCopy, "g -random -w 21846 -h 1 -d 24 m -nat", {319, 460, 322, 671, 799, 787}},
      {tavRotate, "-90 " + one + " -w 4000 -h 21846 -d 24 " + path("r.ppm"), {319, 810, 622, 824, 825}},
      {tavRotate, "-angle 90 " + one + " -w 4000 -h 65537 -d 8 m -nat", {319, 810, 622, 824, 825}},
      {tavFrame, one + " -w 21846 -h 4000 -d 24", {319, 4606, 622, 4625, 4628}},
      {tavCopy, "g -const -f 7 -w 10 -h 2 -d 8 " + path("d.raw") + " -a 65536", {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.words);
    tavLogReset();
    tavSysFlags |= TAV_SYS_HEAPTRACE;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(c.command(c.words.c_str(), kAll), c.codes.empty() ? 0 : -1);
    const std::string trace = ::testing::internal::GetCapturedStdout();
    tavSysFlags &= ~TAV_SYS_HEAPTRACE;
    EXPECT_EQ(log(), c.codes);
    EXPECT_LE(largestBlock(trace), 1 << 17);
  }
  std::string line = std::string(10, '\x07') + std::string(65536 - 10, '\0');
  EXPECT_EQ(readFile(path("d.raw")), line + line);
  EXPECT_EQ(folder(dir_), (std::vector<std::string>{"d.raw", "one.raw"}));
  EXPECT_EQ(imageListHead(), nullptr);
}

// A host that writes part of an output and closes it gets the rest as fill lines.
TEST_F(Files, HostClosingAPartlyWrittenOutputGetsFill) {
  tavImage *out = makeOutput((path("part.ppm") + " -w 2 -h 20 -d 24 -f 0x030201").c_str());
  ASSERT_EQ(tavStartImage(out), 0);
  const unsigned char line[6] = {9, 9, 9, 9, 9, 9};
  for (int y = 0; y < 10; ++y) ASSERT_EQ(tavWriteLine(out, line, 0, y, 2), 0);
  EXPECT_EQ(tavRelease(out), 0);
  const std::string s = readFile(path("part.ppm"));
  ASSERT_EQ(s.size(), std::string("P6\n2 20\n255\n").size() + 2 * 20 * 3);
  EXPECT_EQ(s.substr(s.size() - 3), "\x01\x02\x03");
  EXPECT_EQ(folder(dir_), (std::vector<std::string>{"part.ppm"}));
  if (haveNetpbm()) {
    FILE *f = popen(("pamfile '" + path("part.ppm") + "'").c_str(), "r");
    char text[256] = {};
    ASSERT_NE(f, nullptr);
    (void)std::fgets(text, sizeof text, f);
    pclose(f);
    EXPECT_NE(std::string(text).find("PPM raw, 2 by 20  maxval 255"), std::string::npos) << text;
  }
}

// At most TAV_MAX_OPEN_OUTPUTS output files are written at once: the next is refused when it
// would be created, so that tavRemovePartialOutputs never forgets one.
TEST_F(Files, OutputFilesWrittenAtOnceAreBounded) {
  std::vector<tavImage *> outs;
  const unsigned char line[1] = {7};
  for (int i = 0; i <= TAV_MAX_OPEN_OUTPUTS; ++i) {
    outs.push_back(makeOutput((path(std::to_string(i) + ".pgm") + " -w 1 -h 2 -d 8").c_str()));
    ASSERT_EQ(tavStartImage(outs.back()), 0);
    tavLogReset();
    EXPECT_EQ(tavWriteLine(outs.back(), line, 0, 0, 1), i < TAV_MAX_OPEN_OUTPUTS ? 0 : -1) << i;
  }
  EXPECT_EQ(log(), (std::vector<int>{5050, 5025}));
  tavRemovePartialOutputs();
  EXPECT_EQ(folder(dir_), std::vector<std::string>{});
  for (tavImage *out : outs) {
    imageAbandon(out);
    tavRelease(out);
  }
  EXPECT_EQ(folder(dir_), std::vector<std::string>{});
}

TEST_F(Files, FullDiskIsAFailure) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(copy("g -const -w 8 -h 8 -d 8 /dev/full -pgm"), -1);
  EXPECT_TRUE(logHas(5046) || logHas(5047) || logHas(5002)) << ::testing::PrintToString(log());
}

TEST_F(Files, RawFiles) {
  std::string f = path("img.raw");
  std::string data(512, 'x');
  data += "\x01\x02\x03\x04\x05\x06";
  writeFile(f, data);
  int w = 0, h = 0, d = 0;
  EXPECT_EQ(pixels(f + " -offset 0x200 -w 3 -h 2 -d 8", &w, &h, &d), "\x01\x02\x03\x04\x05\x06");
  EXPECT_EQ(w, 3);
  // the copy to a raw output writes the lines as they are
  ASSERT_EQ(copy(f + " -offset 512 -w 3 -h 2 -d 8 " + path("o.raw")), 0);
  EXPECT_EQ(readFile(path("o.raw")), "\x01\x02\x03\x04\x05\x06");
  // a ".raw" file that starts with a PNM magic is read as PNM
  writeFile(path("p.raw"), "P5\n1 1\n255\n\x09"s);
  EXPECT_EQ(pixels(path("p.raw")), "\x09");
}

// An aligned output line holds the pixels and then zero bytes: nothing past a source line's
// pixels is read, whatever the source's own alignment.
TEST_F(Files, AlignedOutputLinesEndInZeros) {
  const std::string in = path("in.pgm");
  writeFile(in, "P5\n5 2\n255\n\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a"s);
  const std::string want = "\x01\x02\x03\x04\x05\0\0\0\x06\x07\x08\x09\x0a\0\0\0"s;
  ASSERT_EQ(copy(in + " " + path("o.raw") + " -a 4"), 0);
  EXPECT_EQ(readFile(path("o.raw")), want);
  // a generator's lines, read in place, into a raw file and into native memory
  ASSERT_EQ(copy("g -count 3 -w 5 -h 2 -d 8 " + path("g.raw") + " -a 4"), 0);
  EXPECT_EQ(readFile(path("g.raw")), "\x00\x03\x06\x09\x0c\0\0\0\x0f\x12\x15\x18\x1b\0\0\0"s);
  const int keep = 0x10 | 0x20 | 0x100 | 0x200 | 0x1000 | 0x40;  // the native output stays
  ASSERT_EQ(tavCopy("g -count 3 -w 5 -h 2 -d 8 mem -nat -a 4", keep), 0);
  tavImage *m = tavFindImageByName("mem");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(tavGetLinebytes(m), 8);
  EXPECT_EQ(std::string(static_cast<const char *>(tavGetDataAddr(m)), 16),
            "\x00\x03\x06\x09\x0c\0\0\0\x0f\x12\x15\x18\x1b\0\0\0"s);
  tavRelease(m);
  // a raw input whose lines carry alignment bytes, into lines without them
  ASSERT_EQ(tavCopy((path("o.raw") + " -w 5 -h 2 -d 8 -a 4 mem -nat -a 1").c_str(), keep), 0);
  m = tavFindImageByName("mem");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(tavGetLinebytes(m), 5);
  EXPECT_EQ(std::string(static_cast<const char *>(tavGetDataAddr(m)), 10), "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a"s);
  tavRelease(m);
  EXPECT_EQ(log(), std::vector<int>{});
  if (haveNetpbm()) {
    const std::string cmd = "rawtopgm -rowskip 3 5 2 '" + path("o.raw") + "' > '" + path("back.pgm") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(readFile(path("back.pgm")), readFile(in));
  }
}

TEST_F(Files, RawInputCanBeReadTwice) {
  std::string f = path("two.raw");
  writeFile(f, "abcdef");
  tavImage *in = makeInput((f + " -w 3 -h 2 -d 8").c_str());
  ASSERT_EQ(tavGetSubType(in), SUB_RAW);
  unsigned char line[3];
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(tavStartImage(in), 0);
    ASSERT_EQ(tavReadLine(in, line, 0, 1, 3), 0) << pass;
    EXPECT_EQ(line[0], 'd') << pass;
    ASSERT_EQ(tavStopImage(in), 0);
  }
  tavRelease(in);
}

TEST_F(Files, OutputReleasedUnstartedWritesNothing) {
  tavImage *out = makeOutput((path("never.pgm") + " -w 2 -h 2 -d 8").c_str());
  ASSERT_EQ(tavGetSubType(out), SUB_PNM);
  EXPECT_EQ(tavRelease(out), 0);
  EXPECT_NE(access(path("never.pgm").c_str(), F_OK), 0);
}

TEST_F(Files, NetpbmReadsWhatWeWrite) {
  if (!haveNetpbm()) GTEST_SKIP() << "netpbm not installed";
  struct {
    const char *gen, *ext, *flags;
  } cases[] = {{"g -count 1 -w 31 -h 32 -d 8", "pgm", ""},   {"g -count 3 -w 31 -h 32 -d 8", "pgm", "-normal"},
               {"g -count 7 -w 31 -h 32 -d 24", "ppm", ""},  {"g -count 5 -w 31 -h 32 -d 24", "ppm", "-normal"},
               {"g -random -w 31 -h 32 -d 8", "pbm", ""},    {"g -random -w 31 -h 32 -d 8", "pbm", "-normal"}};
  for (const auto &c : cases) {
    std::string ours = path(std::string("ours.") + c.ext);
    ASSERT_EQ(copy(std::string(c.gen) + " " + ours + " " + c.flags), 0);
    std::string back = path(std::string("back.") + c.ext);
    // netpbm rewrites our file in its raw form; both must hold the same pixels
    std::string cmd = "pamtopnm < '" + ours + "' > '" + back + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << c.gen;
    EXPECT_EQ(pixels(ours), pixels(back)) << c.gen << " " << c.flags;
  }
}

// Our conversions give netpbm's bytes; files with samples wider than a byte read as netpbm
// reduces them to maxval 255.
TEST_F(Files, ConversionsAgreeWithNetpbm) {
  if (!haveNetpbm()) GTEST_SKIP() << "netpbm not installed";
  ASSERT_EQ(copy("g -random -w 37 -h 5 -d 8 " + path("a.pgm")), 0);
  writeFile(path("w1.pgm"), "P5\n4 1\n1000\n\x03\xe8\x01\xf4\x00\x03\x00\x01"s);
  writeFile(path("w2.pgm"), "P2\n4 1\n300\n300 151 150 1\n"s);
  writeFile(path("w3.ppm"), "P6\n2 1\n65535\n\xff\xff\x80\x00\x00\x80\x12\x34\xab\xcd\x00\x01"s);
  writeFile(path("w4.ppm"), "P3\n2 1\n4095\n4095 2048 8 1 4094 2047\n"s);
  struct {
    const char *from, *to, *tool;
  } cases[] = {{"a.pgm", "b.pbm", "pgmtopbm -threshold"},   {"b.pbm", "c.pgm", "pamdepth 255 | pamtopnm"},
               {"a.pgm", "d.ppm", "pgmtoppm white"},         {"d.ppm", "e.pgm", "ppmtopgm"},
               {"w1.pgm", "o1.pgm", "pamdepth 255"},         {"w2.pgm", "o2.pgm", "pamdepth 255"},
               {"w3.ppm", "o3.ppm", "pamdepth 255"},         {"w4.ppm", "o4.ppm", "pamdepth 255"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.from) + " " + c.to);
    ASSERT_EQ(copy(path(c.from) + " " + path(c.to)), 0) << ::testing::PrintToString(log());
    std::string theirs = path(std::string("n_") + c.to);
    std::string cmd = "sh -c \"< '" + path(c.from) + "' " + c.tool + " 2>/dev/null > '" + theirs + "'\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    EXPECT_EQ(readFile(path(c.to)), readFile(theirs));
  }
}

TEST_F(Files, WeReadWhatNetpbmWrites) {
  if (!haveNetpbm()) GTEST_SKIP() << "netpbm not installed";
  std::string src = path("src.ppm");
  ASSERT_EQ(copy("g -count 3 -w 31 -h 32 -d 24 " + src), 0);
  struct {
    const char *tool, *name;
  } cases[] = {{"ppmtopgm", "a.pgm"},           {"pamtopnm -plain", "b.ppm"},
               {"ppmtopgm | pgmtopbm -threshold", "c.pbm"}, {"ppmtopgm | pamtopnm -plain", "d.pgm"},
               {"ppmtopgm | pgmtopbm -threshold | pamtopnm -plain", "e.pbm"},
               {"ppmtopgm | pamdepth 65535", "f.pgm"}};
  for (const auto &c : cases) {
    std::string made = path(c.name);
    std::string cmd = std::string(c.tool) + " < '" + src + "' > '" + made + "' 2>/dev/null";
    if (std::strstr(c.tool, "ppmtopgm") == c.tool) cmd = "ppmtopgm < '" + src + "'" + std::string(c.tool + 8) + " > '" + made + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    // read theirs, write ours raw, let netpbm compare the two
    std::string ours = path(std::string("ours_") + c.name);
    ASSERT_EQ(copy(made + " " + ours), 0) << c.name << ::testing::PrintToString(log());
    std::string cmp = "cmp -s <(pamtopnm < '" + made + "' | pamdepth 255 2>/dev/null) <(pamtopnm < '" + ours + "' | pamdepth 255 2>/dev/null)";
    std::string run = "bash -c \"" + cmp + "\"";
    EXPECT_EQ(std::system(run.c_str()), 0) << c.name;
  }
}
