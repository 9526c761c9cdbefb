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

    frmMain();  // loads the main window; its load handler starts the program
    if (Forms().isEmpty())
        return 0;
    return app.exec();
}
