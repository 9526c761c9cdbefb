#include <QApplication>

#include "core/errors.h"
#include "core/startup.h"
#include "host/hostservices.h"
#include "hostsim/emulator.h"
#include "platform/forms/forms.h"
#include "platform/forms/programfont.h"
#include "ui/closesignals.h"
#include "ui/frmMain.h"

int main(int argc, char **argv)
{
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
