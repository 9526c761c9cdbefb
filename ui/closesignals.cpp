#include "ui/closesignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/recovery.h"
#include "core/state.h"
#include "platform/ado/ado.h"
#include "platform/forms/forms.h"
#include "ui/frmMain.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    adoProgramEnding(); // a host call blocked in the driver is given up shortly
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

// A signal cannot wait for an operator: unstored pages are kept for the next start instead of
// being asked about.
void keepUnstoredPages()
{
    try {
        if (loadedInstance<FrmMain>() && saveRecoveryDocument())
            g_blnPromptStore = false;
    } catch (...) {
        reportCurrentError(QStringLiteral("saveRecoveryDocument"), Trap{});
    }
}

void closeMainWindow()
{
    keepUnstoredPages();
    if (FrmMain *f = loadedInstance<FrmMain>())
        f->close();
    else
        QCoreApplication::exit(0);
}
}

void installCloseOnSignals()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[1], &byte, 1);
        // Kept at once when no road is under way: the request answers open boxes, the store
        // question among them, with their defaults.
        const QList<Form *> &loaded = Forms();
        if (!quitRequested() && std::none_of(loaded.cbegin(), loaded.cend(), [](Form *f) { return f->roadRunning(); }))
            keepUnstoredPages();
        requestQuit(closeMainWindow);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
