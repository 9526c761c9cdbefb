// tav: runs command strings and command files through libqeltav.
#include "qeltav.h"

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {
void usage() {
  std::fprintf(stderr,
               "usage: tav [--allow-shell] [--heap] -c \"commands\"\n"
               "       tav [--allow-shell] [--heap] file... (\"-\" reads standard input)\n");
}
// An interrupted run leaves no part of the output it was writing, then ends by the signal.
void interrupted(int sig) {
  tavRemovePartialOutputs();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}
}  // namespace

int main(int argc, char **argv) {
  int sysFlags = 0;
  int i = 1;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--allow-shell") == 0) sysFlags |= TAV_SYS_ALLOW_SHELL;
    else if (std::strcmp(argv[i], "--heap") == 0) sysFlags |= TAV_SYS_HEAPCHECK | TAV_SYS_HEAPPRINT | TAV_SYS_HEAPLEAK;
    else break;
  }
  if (i >= argc) {
    usage();
    return 2;
  }
  // Every command reads system options, its own options, creates and releases both
  // images and transfers.
  const int flags = TAV_CMD_SYSOPT | TAV_CMD_SYSAPPLY | TAV_CMD_OPTIONS | TAV_CMD_IN_CLAIM | TAV_CMD_IN_CREATE |
                    TAV_CMD_IN_RELEASE | TAV_CMD_OUT_CLAIM | TAV_CMD_OUT_CREATE | TAV_CMD_OUT_RELEASE |
                    TAV_CMD_TRANSFER;
  const int ending[] = {SIGTERM, SIGINT};
  for (int sig : ending) {
    struct sigaction sa = {};
    sa.sa_handler = interrupted;
    sigaction(sig, &sa, nullptr);
  }
  tavInit(sysFlags);
  int result = 0;
  if (std::strcmp(argv[i], "-c") == 0) {
    if (i + 1 >= argc) {
      usage();
      tavTerminate(0);
      return 2;
    }
    for (++i; i < argc && result == 0; ++i) result = tavExecute(argv[i], flags);
  } else {
    for (; i < argc && result == 0; ++i) result = tavExecuteFile(argv[i], flags);
  }
  tavTerminate(0);
  return result == 0 ? 0 : 1;
}
