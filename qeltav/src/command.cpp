// Command splitting, system options, the interpreter, command files and tavCopy.
#include "internal.h"

#include <cstdlib>
#include <cstring>

namespace {
int g_depth = 0;
int g_timerStart = 0;
bool g_timerRunning = false;
int g_fileDepth = 0;
int g_scriptDepth = 0;  // strings and command files now running, nested ones included
constexpr int kMaxWords = 100;
constexpr int kMaxFileDepth = 16;
constexpr long kMaxLine = 1 << 20;

bool isBlank(unsigned char c) { return c == 9 || c == 11 || c == 12 || c == 13 || c == ' '; }

// One scan of a command. With out == nullptr only counts; else copies the words' bytes.
// Returns 0, or the failure code.
struct Scan {
  int argc = 0;
  long chars = 0;
  const char *rest = nullptr;
};
int scanCommand(const char *s, Scan &sc, char **argv, char *text) {
  enum { PLAIN, SQ, DQ, COMMENT } st = PLAIN;
  bool mark = true;
  const char *p = s;
  char *t = text;
  auto startWord = [&]() -> bool {
    if (sc.argc == kMaxWords) return false;
    if (argv) {
      if (sc.argc > 0) *t++ = '\0';
      argv[sc.argc] = t;
    }
    ++sc.argc;
    mark = false;
    return true;
  };
  auto put = [&](char c) {
    if (argv) *t++ = c;
    ++sc.chars;
  };
  for (;; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (st == SQ || st == DQ) {
      if (c == 0) return st == SQ ? 438 : 462;
      if ((st == SQ && c == '\'') || (st == DQ && c == '"')) st = PLAIN;
      else put(static_cast<char>(c));
      continue;
    }
    if (st == COMMENT) {
      if (c == 0) {
        sc.rest = p;
        break;
      }
      if (c == '\n') {
        sc.rest = p + 1;
        break;
      }
      continue;
    }
    if (c == 0) {
      sc.rest = p;
      break;
    }
    if (c == '\n' || c == ';') {
      sc.rest = p + 1;
      break;
    }
    if (isBlank(c)) {
      mark = true;
      continue;
    }
    if (c == '#') {
      st = COMMENT;
      mark = true;
      continue;
    }
    if (c == '\'' || c == '"') {
      if (mark && !startWord()) return 418;
      st = c == '\'' ? SQ : DQ;
      continue;
    }
    if (mark && !startWord()) return 418;
    put(static_cast<char>(c));
  }
  if (argv && sc.argc > 0) *t = '\0';
  return 0;
}

void printCommon() {
  std::printf("Version: 1.288 of 01/29/02\n");
  std::printf("Package: qelmorph   Platform: windows   Compilation: dist \n");
  std::printf("Description: (see description in tav/doc/tavManual)\n\n");
}

int runShell(const char *text, size_t n) {
  char *cmd = static_cast<char *>(tavMemAlloc(static_cast<int>(n + 1)));
  if (!cmd) return -1;
  std::memcpy(cmd, text, n);
  cmd[n] = '\0';
  std::fflush(stdout);
  int r = std::system(cmd);
  tavMemFree(cmd);
  return r;
}
}  // namespace

void printHelp(const char *synopsis) {
  std::printf("%s", synopsis);
  printCommon();
}

void timerReport() {
  if (!g_timerRunning) return;
  const int elapsed = tavTime() - g_timerStart;
  std::printf("Time Elapsed %12.6f seconds\n", static_cast<double>(elapsed > 0 ? elapsed : 0) / tavTicksPerSecond());
  g_timerRunning = false;
  g_timerStart = 0;
}

int tavCommandSplit(int *argc, char ***argv, const char *s, const char **rest) {
  if (!argc || !argv) {
    tavLog(437);
    return -1;
  }
  *argc = 0;
  *argv = nullptr;
  if (rest) *rest = s;
  if (!s) return 0;
  Scan count;
  int code = scanCommand(s, count, nullptr, nullptr);
  if (code) {
    tavLog(static_cast<uint16_t>(code));
    return -1;
  }
  if (count.argc > 0) {
    long size = static_cast<long>(sizeof(char *)) * (count.argc + 1) + count.chars + count.argc;
    char **vec = static_cast<char **>(tavMemAlloc(static_cast<int>(size)));
    if (!vec) {
      tavLog(475);
      return -1;
    }
    Scan fill;
    scanCommand(s, fill, vec, reinterpret_cast<char *>(vec + count.argc + 1));
    vec[count.argc] = nullptr;
    *argv = vec;
    *argc = count.argc;
  }
  if (rest) *rest = count.rest;
  return 0;
}

// Words in order, one space apart; a word holding white space goes in double quotes, an empty
// word writes nothing; nothing else is escaped.
char *tavCommandJoin(int argc, char **argv) {
  long size = 1;
  for (int i = 0; i < argc; ++i) size += static_cast<long>(std::strlen(argv && argv[i] ? argv[i] : "")) + 3;
  char *out = static_cast<char *>(tavMemAlloc(static_cast<int>(size)));
  if (!out) {
    tavLog(464);
    return nullptr;
  }
  char *t = out;
  for (int i = 0; i < argc; ++i) {
    const char *w = argv && argv[i] ? argv[i] : "";
    if (i > 0) *t++ = ' ';
    bool blank = false;
    for (const char *c = w; *c && !blank; ++c) blank = isBlank(static_cast<unsigned char>(*c)) || *c == '\n';
    const size_t n = std::strlen(w);
    if (blank) *t++ = '"';
    std::memcpy(t, w, n);
    t += n;
    if (blank) *t++ = '"';
  }
  *t = '\0';
  return out;
}

int sysOptionsParse(int argc, char **argv, int *leftover, int flags) {
  int i = 0;
  for (; i < argc && argv[i] && std::strncmp(argv[i], "-S", 2) == 0; ++i) {
    const char *w = argv[i];
    const bool apply = flags & 0x2;
    if (std::strcmp(w, "-Sstarttimer") == 0) {
      if (apply) {
        g_timerStart = tavTime();
        g_timerRunning = true;
      }
    } else if (std::strcmp(w, "-Sstoptimer") == 0) {
      if (apply) timerReport();
    } else if (std::strcmp(w, "-Stimexfer") == 0) {
      if (apply) tavSysFlags |= TAV_SYS_TIMEXFER;
    } else if (std::strcmp(w, "-Snotimexfer") == 0) {
      if (apply) tavSysFlags &= ~TAV_SYS_TIMEXFER;
    } else if (std::strcmp(w, "-STheap") == 0) {
      if (apply) tavSysFlags |= TAV_SYS_HEAPCHECK | TAV_SYS_HEAPTRACE;
    } else if (std::strcmp(w, "-STnoheap") == 0) {
      if (apply) tavSysFlags &= ~TAV_SYS_HEAPTRACE;
    } else {
      tavLog(326);
      return -1;
    }
  }
  if (leftover) *leftover = argc - i;
  return flags;
}

int tavSystemOptionsCommand(int argc, char **argv, int *leftover, int flags) {
  return sysOptionsParse(argc, argv, leftover, flags) < 0 ? -1 : 0;
}
int tavSystemOptions(const char *string, int flags) {
  return stringForm(string, flags, tavSystemOptionsCommand, 375);
}

int commandStart(int argc, char **argv, int flags, int code) {
  if (!(flags & 0x1)) return 0;
  int left = argc;
  if (sysOptionsParse(argc, argv, &left, flags) < 0) {
    tavLog(code);
    return -1;
  }
  return argc - left;
}

int commandEnd(tavImage *made, bool ownMade, int argc, char **argv, int *leftover, int flags,
               bool toOutput, CommandEndCodes codes) {
  const int outFlags = (flags & ~0xFF0 & ~0x1) | ((flags >> 4) & 0xF0);
  int outLeft = argc;
  int isPipe = 0;
  tavImage *out = outputCreateFromOptions(argc, argv, &outLeft, outFlags, made, &isPipe);
  const bool ownOut = (flags & 0x200) && out && !isNull(out) && !isPipe && out != made;
  // A pipe is read by the next command: nothing is transferred now, and when the pipe is the
  // image made here, the reference held on it passes to the command that reads it.
  const bool handOver = isPipe && out == made;
  int result = 0;
  if (!out) {
    tavLog(codes.noOutput);
    result = -1;
  } else {
    if (leftover) *leftover = outLeft;
    if ((flags & 0x1000) && !isPipe && tavCopyImage(made, toOutput ? out : nullptr) != 0) {
      tavLog(codes.transfer);
      result = -1;
    }
  }
  if (handOver && ownMade && (flags & 0x40)) {
    made->piped = 1;
  } else if ((flags & 0x40) && ownMade && tavRelease(made) != 0) {
    tavLog(codes.releaseMade);
    result = -1;
  }
  if ((flags & 0x400) && ownOut && tavRelease(out) != 0) {
    tavLog(codes.releaseOutput);
    result = -1;
  }
  return result;
}

int stringForm(const char *string, int flags, int (*cmd)(int, char **, int *, int), int code) {
  int argc = 0;
  char **argv = nullptr;
  if (tavCommandSplit(&argc, &argv, string, nullptr) != 0) {
    tavLog(910);
    return -1;
  }
  int r = cmd(argc, argv, nullptr, flags);
  if (r != 0) tavLog(static_cast<uint16_t>(code));
  if (tavMemFree(argv) != 0) {
    tavLog(911);
    return -1;
  }
  return r != 0 ? -1 : 0;
}

void tavExecuteStart(void) { ++g_depth; }
int tavExecuteStop(void) {
  --g_depth;
  if (g_depth < 0) {
    tavLog(710);
    g_depth = 0;
    return 0;
  }
  return g_depth;
}
int tavExecuteStatus(void) { return g_depth > 0 ? 1 : 0; }

int tavExecuteCommand(int argc, char **argv, int *leftover, int flags) {
  tavExecuteStart();
  int i = commandStart(argc, argv, flags, 702);
  if (i < 0) {
    tavExecuteStop();
    return -1;
  }
  int result = 0;
  if (i >= argc) {
    if (leftover) *leftover = 0;
  } else if (std::strcmp(argv[i], "tavCopy") == 0) {
    result = tavCopyCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (std::strcmp(argv[i], "tavMapColor") == 0) {
    result = tavMapColorCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (std::strcmp(argv[i], "tavExecute") == 0) {
    result = tavExecuteFilesCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (std::strcmp(argv[i], "tavRotate") == 0) {
    result = tavRotateCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (std::strcmp(argv[i], "tavColorContent") == 0) {
    result = tavColorContentCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (std::strcmp(argv[i], "tavColor") == 0) {
    result = tavColorCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (std::strcmp(argv[i], "tavVector") == 0) {
    result = tavVectorCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (std::strcmp(argv[i], "tavFrame") == 0) {
    result = tavFrameCommand(argc - i - 1, argv + i + 1, leftover, flags);
  } else if (leftover) {
    *leftover = argc - i;
  }
  tavExecuteStop();
  return result;
}

namespace {
// A script's pipes that no command read go when the outermost script ends.
struct Script {
  Script() { ++g_scriptDepth; }
  ~Script() {
    if (--g_scriptDepth == 0) pipesRelease();
  }
};
}  // namespace

int tavExecute(const char *string, int flags) {
  if (!string) return 0;
  Script script;
  const char *p = string;
  while (*p) {
    int argc = 0;
    char **argv = nullptr;
    const char *rest = nullptr;
    if (tavCommandSplit(&argc, &argv, p, &rest) != 0) {
      tavLog(701);
      return -1;
    }
    int left = 0;
    int r = argc > 0 ? tavExecuteCommand(argc, argv, &left, flags) : 0;
    if (tavMemFree(argv) != 0) {
      tavLog(705);
      return -1;
    }
    if (r != 0) {
      tavLog(706);
      return -1;
    }
    if (argc > 0 && left != argc && left > 0) tavLog(707);
    if (argc > 0 && left == argc && (flags & 0x20)) {
      size_t n = static_cast<size_t>(rest - p);
      if (n > 0 && (p[n - 1] == ';' || p[n - 1] == '\n')) --n;
      if (!(tavSysFlags & TAV_SYS_ALLOW_SHELL)) {
        tavLog(709);  // the host did not allow the system shell
        return -1;
      }
      if (runShell(p, n) != 0) {
        tavLog(708);
        return -1;
      }
    }
    p = rest;
  }
  return 0;
}

int tavExecuteFile(const char *name, int flags) {
  if (!name) {
    tavLog(752);
    return -1;
  }
  if (g_fileDepth >= kMaxFileDepth) {
    tavLog(756);
    return -1;
  }
  Script script;
  const bool in = std::strcmp(name, "-") == 0;
  FILE *fp = in ? stdin : std::fopen(name, "r");
  if (!fp) {
    tavLog(752);
    return -1;
  }
  ++g_fileDepth;
  int result = 0;
  long cap = 4096;
  char *line = static_cast<char *>(tavMemAlloc(static_cast<int>(cap)));
  if (!line) result = -1;
  while (result == 0) {
    long len = 0;
    int c = 0;
    while ((c = std::fgetc(fp)) != EOF) {
      if (len + 1 >= cap) {
        if (cap >= kMaxLine) break;
        long ncap = cap * 2 > kMaxLine ? kMaxLine : cap * 2;
        char *bigger = static_cast<char *>(tavMemAlloc(static_cast<int>(ncap)));
        if (!bigger) break;
        std::memcpy(bigger, line, static_cast<size_t>(len));
        tavMemFree(line);
        line = bigger;
        cap = ncap;
      }
      line[len++] = static_cast<char>(c);
      if (c == '\n') break;
    }
    if (c != EOF && c != '\n') {
      tavLog(755);  // line longer than the limit
      result = -1;
      break;
    }
    if (len == 0) break;
    line[len] = '\0';
    if (tavExecute(line, flags) != 0) {
      tavLog(753);
      result = -1;
      break;
    }
    if (c == EOF) break;
  }
  if (line) tavMemFree(line);
  --g_fileDepth;
  if (!in) std::fclose(fp);
  return result;
}

int tavExecuteFilesCommand(int argc, char **argv, int *leftover, int flags) {
  int i = commandStart(argc, argv, flags, 759);
  if (i < 0) return -1;
  if (leftover) *leftover = 0;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "-help") == 0) {
      printHelp("\nSynopsis:  tavExecuteFiles <filename>...<filename>\n");
      return 0;
    }
    if (tavExecuteFile(argv[i], flags) != 0) {
      tavLog(754);
      return -1;
    }
  }
  return 0;
}
int tavExecuteFiles(const char *string, int flags) { return stringForm(string, flags, tavExecuteFilesCommand, 751); }

int tavCopyCommand(int argc, char **argv, int *leftover, int flags) {
  const int i = commandStart(argc, argv, flags, 788);
  if (i < 0) return -1;
  if (leftover) *leftover = argc - i;
  if ((flags & 0x4) && i < argc && std::strcmp(argv[i], "-help") == 0) {
    printHelp("\nSynopsis:  tavCopy <input> <output>\n");
    return 0;
  }
  const int inFlags = flags & ~0xF00 & ~0x1;
  int left = argc - i;
  tavImage *in = inputCreateFromOptions(argc - i, argv + i, &left, inFlags, nullptr);
  if (!in) {
    tavLog(799);
    return -1;
  }
  if (leftover) *leftover = left;
  const int used = (argc - i) - left;
  return commandEnd(in, (flags & 0x20) && !isNull(in), left, argv + i + used, leftover, flags, true,
                    {798, 789, 797, 796});
}

int tavCopy(const char *string, int flags) { return stringForm(string, flags, tavCopyCommand, 787); }
