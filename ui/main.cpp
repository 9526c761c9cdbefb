#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "core/errors.h"
#include "platform/forms/forms.h"
#include "ui/frmMain.h"

// SIGTERM and SIGINT close the main window through the ordinary close road: the handler only
// writes a byte; the event loop reads it and closes the window.
static int g_signalPipe[2] = {-1, -1};

static void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

static void closeMainWindow()
{
    for (Form *f : Forms())
        if (f->objectName() == QLatin1String("frmMain")) {
            f->close();
            return;
        }
    QCoreApplication::quit();
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(APP_TITLE);

    QSocketNotifier *notifier = nullptr;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[1], &byte, 1);
            closeMainWindow();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }

    frmMain();  // loads the main window; its load handler starts the program
    if (Forms().isEmpty())
        return 0;
    return app.exec();
}
