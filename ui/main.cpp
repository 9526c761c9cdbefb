#include <QApplication>

#include <cstdio>

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

int main(int argc, char **argv)
{
    if (displayMissing()) {
        std::fputs("quorla: there is no display to show its windows on (DISPLAY is not set).  Start it "
                   "from the desktop session, or set DISPLAY to the X display to use.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(APP_TITLE);
    setProgramTitleAndVersion();
    applyProgramFont();
    installCloseOnSignals();
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
