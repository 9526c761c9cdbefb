#include "ui/closesignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/recovery.h"
#include "core/shutdown.h"
#include "core/state.h"
#include "platform/ado/ado.h"
#include "platform/forms/forms.h"
#include "ui/frmMain.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    adoProgramEnding(); // a host call blocked in the driver is given up shortly
    // Non-blocking: with the pipe full a request is already waiting to be read.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
    errno = saved;
}

// The signals whose default action ends the process and that come from outside: a request to
// end. The faults a program raises on itself (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP,
// SIGSYS) keep their default action.
QList<int> endingSignals()
{
    QList<int> s{SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO};
#ifdef SIGPWR
    s << SIGPWR;
#endif
#ifdef SIGSTKFLT
    s << SIGSTKFLT;
#endif
    for (int rt = SIGRTMIN; rt <= SIGRTMAX; ++rt)
        s << rt;
    return s;
}

// True when the signal still has its default action (not ignored or taken by someone else).
bool isDefault(int sig)
{
    struct sigaction old = {};
    return ::sigaction(sig, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL;
}

// A signal cannot wait for an operator: unstored pages are kept for the next start instead of
// being asked about. Pages that could not be kept anywhere are reported (the report names where
// they could not go) and the program ends all the same.
void keepUnstoredPages()
{
    if (!loadedInstance<FrmMain>())
        return;
    try {
        saveRecoveryDocument();
    } catch (...) {
        reportCurrentError(QStringLiteral("saveRecoveryDocument"), Trap{});
    }
    g_blnPromptStore = false;
}

void closeMainWindow()
{
    keepUnstoredPages();
    FrmMain *f = loadedInstance<FrmMain>();
    if (!f) {
        QCoreApplication::exit(0);
        return;
    }
    // Refused while an unload under way waits on its question or on the shutdown window (or a
    // road ends first): asked again, so that nothing shown meanwhile waits for an answer.
    if (!f->close())
        QTimer::singleShot(0, QCoreApplication::instance(), [] { requestQuit(closeMainWindow); });
}

QtMessageHandler g_previousHandler = nullptr;

// The display is gone and the windowing layer ends the process when this returns: what the
// close road would keep and write is done now, without a window, and the process ends.
void endWithoutDisplay()
{
    static bool ending = false;
    if (ending)
        return;
    ending = true;
    adoProgramEnding();
    requestQuit([] {}); // nothing shown from here on waits for an answer
    if (loadedInstance<FrmMain>()) {
        keepUnstoredPages();
        try {
            endProgram();
        } catch (...) {
        }
    }
    std::fflush(nullptr);
    std::_Exit(0);
}

void onMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (g_previousHandler)
        g_previousHandler(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
    // The xcb layer's last word before it calls exit(1) on the user-interface thread.
    const QCoreApplication *app = QCoreApplication::instance();
    if (type == QtWarningMsg && text.startsWith(QLatin1String("The X11 connection broke")) && app
        && QThread::currentThread() == app->thread())
        endWithoutDisplay();
}
} // namespace

void installCloseOnSignals()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[256];
        while (::read(g_signalPipe[1], bytes, sizeof bytes) > 0) {
        }
        // Kept at once when no road is under way and none holds the document (it comes back to
        // the views as the windows close): the request answers open boxes, the store question
        // among them, with their defaults. A box the keeping raises is answered too.
        const QList<Form *> &loaded = Forms();
        const bool keepNow = !quitRequested() && !documentHeld()
                             && std::none_of(loaded.cbegin(), loaded.cend(), [](Form *f) { return f->roadRunning(); });
        requestQuit(closeMainWindow);
        if (keepNow)
            keepUnstoredPages();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : endingSignals())
        if (isDefault(sig))
            ::sigaction(sig, &action, nullptr);
    // A write to a closed pipe or past the file size limit fails and is reported where it is made.
    for (int sig : {SIGPIPE, SIGXFSZ})
        if (isDefault(sig))
            ::signal(sig, SIG_IGN);
}

void installCloseOnDisplayLoss()
{
    if (!g_previousHandler)
        g_previousHandler = qInstallMessageHandler(onMessage);
}
