#include "ui/closesignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

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

void closeMainWindow()
{
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
        requestQuit(closeMainWindow);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
