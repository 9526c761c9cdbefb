#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "core/errors.h"
#include "core/startup.h"
#include "host/hostservices.h"
#include "hostsim/emulator.h"
#include "platform/forms/forms.h"
#include "platform/forms/programfont.h"
#include "ui/closesignals.h"
#include "ui/frmMain.h"

// The windowing system Qt will use needs its display; without one Qt aborts with advice about
// reinstalling.
static bool displayMissing()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.startsWith(QLatin1String("wayland")))
        return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return (platform.isEmpty() || platform.startsWith(QLatin1String("xcb"))) && qEnvironmentVariableIsEmpty("DISPLAY");
}

static void noDisplay(const QString &why)
{
    std::fprintf(stderr,
                 "quorla: there is no display to show its windows on (%s).  Start it from the desktop session, "
                 "or set DISPLAY to the X display to use.\n",
                 qPrintable(why));
}

// Messages while the application object is made, shown once it is made.
static QList<QPair<QtMsgType, QString>> g_startMessages;

// While the application object is made: a display that cannot be reached (or any windowing
// system that cannot start) is said in the program's own words, and the program ends with
// status 1 instead of Qt's abort and its advice.
static void onStartMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtFatalMsg) {
        g_startMessages.append({type, text});
        return;
    }
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    noDisplay(platform.isEmpty() || platform.startsWith(QLatin1String("xcb"))
                  ? QStringLiteral("DISPLAY \"%1\" cannot be reached").arg(display)
                  : QStringLiteral("the windowing system \"%1\" cannot be started").arg(platform));
    std::_Exit(1);
}

int main(int argc, char **argv)
{
    if (displayMissing()) {
        noDisplay(QStringLiteral("DISPLAY is not set"));
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(onStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    for (const auto &[type, text] : std::as_const(g_startMessages))
        previous(type, QMessageLogContext(), text);
    g_startMessages.clear();
    QApplication::setApplicationName(APP_TITLE);
    setProgramTitleAndVersion();
    applyProgramFont();
    installCloseOnSignals();
    installCloseOnDisplayLoss();
    hostsim::registerProvider();  // used only while QUORLA_HOST_EMULATOR names a database
    registerHostServices();

    // The program ends with the main window's unload, whatever other windows are still up.
    app.setQuitOnLastWindowClosed(false);
    FrmMain &mainWindow = frmMain();  // its load handler starts the program
    if (!Forms().contains(&mainWindow))
        return 0;
    QObject::connect(&mainWindow, &Form::unloaded, &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}
