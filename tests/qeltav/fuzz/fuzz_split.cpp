// Fuzz entry: the command splitter, the joiner and the interpreter without side effects.
#include <cstdint>
#include <cstring>
#include <string>

#include "internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 16)) return 0;
  std::string text(reinterpret_cast<const char *>(data), size);
  tavInit(TAV_SYS_HEAPCHECK);
  const char *p = text.c_str();
  for (int guard = 0; *p && guard < 10000; ++guard) {
    int argc = 0;
    char **argv = nullptr;
    const char *rest = nullptr;
    if (tavCommandSplit(&argc, &argv, p, &rest) != 0) break;
    if (argc > 0) {
      char *joined = tavCommandJoin(argc, argv);
      if (!joined) __builtin_trap();  // joining fails only without memory
      // the join quotes only for white space: words that need no more split back as they were
      bool plain = true;
      for (int i = 0; i < argc && plain; ++i) {
        const char *w = argv[i];
        const bool blank = std::strpbrk(w, " \t\n\v\f\r") != nullptr;
        plain = *w && !std::strpbrk(w, "'\"") && (blank || !std::strpbrk(w, ";#"));
      }
      if (plain) {
        int argc2 = 0;
        char **argv2 = nullptr;
        if (tavCommandSplit(&argc2, &argv2, joined, nullptr) != 0 || argc2 != argc) __builtin_trap();
        for (int i = 0; i < argc; ++i)
          if (std::strcmp(argv[i], argv2[i]) != 0) __builtin_trap();
        tavMemFree(argv2);
      }
      tavMemFree(joined);
    }
    tavMemFree(argv);
    if (rest == p) break;
    p = rest;
  }
  // dry runs only: words are counted, nothing is created and nothing reaches the shell
  // (command files are left out: a fuzzed name could be standard input)
  if (text.find("tavExecute") == std::string::npos) tavExecute(text.c_str(), 0x1 | 0x4 | 0x10 | 0x100);
  if (imageListHead()) __builtin_trap();  // every command released what it made
  tavLogReset();
  tavTerminate(1);
  return 0;
}
