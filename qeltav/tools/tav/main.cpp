// tav: runs command strings and command files through libqeltav.
#include "qeltav.h"

#include <algorithm>
#include <csignal>
#include <iterator>
#include <cstdio>
#include <cstring>

namespace {
void usage() {
  std::fprintf(stderr,
               "usage: tav [--allow-shell] [--heap] -c \"commands\"\n"
               "       tav [--allow-shell] [--heap] file... (\"-\" reads standard input)\n");
}
struct sigaction g_before[NSIG];  // what each handled signal did before tav took it

// An interrupted run leaves no part of the output it was writing, then ends by the signal: a
// fault of its own is met again by the earlier action (a sanitizer's report, or the default)
// when its instruction runs again; any other signal is raised again with its default action.
void interrupted(int sig, siginfo_t *info, void *) {
  tavRemovePartialOutputs();
  const bool fault = info && info->si_code > 0 &&
                     (sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP);
  if (fault) {
    sigaction(sig, &g_before[sig], nullptr);
    return;
  }
  signal(sig, SIG_DFL);
  raise(sig);
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
  // Every signal whose default action ends the process (all but these, and the two that cannot
  // be caught), unless tav was started ignoring it (as nohup does): the outputs it was writing go
  // with it.
  const int lasting[] = {SIGCHLD, SIGCONT, SIGTSTP, SIGTTIN, SIGTTOU, SIGURG, SIGWINCH};
  for (int sig = 1; sig < NSIG; ++sig) {
    if (std::find(std::begin(lasting), std::end(lasting), sig) != std::end(lasting)) continue;
    struct sigaction sa = {};
    sa.sa_sigaction = interrupted;
    sa.sa_flags = SA_SIGINFO;
    sigfillset(&sa.sa_mask);
    // one that was ignored is put back (and would be ignored by the handler in between)
    if (sigaction(sig, &sa, &g_before[sig]) == 0 && g_before[sig].sa_handler == SIG_IGN)
      sigaction(sig, &g_before[sig], nullptr);
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
