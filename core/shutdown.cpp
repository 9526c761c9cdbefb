#include "core/shutdown.h"

#include "core/errors.h"
#include "core/prefs.h"
#include "core/reset.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/scan/scannersession.h"
#include "platform/vb/vb.h"

namespace {

void trace(const QString &text)
{
    if (g_blnDebug)
        traceLine(QStringLiteral("Korvane Scan Tool::endProgram::") + text);
}

void enterHandler(const QString &procedure, const Trap &at)
{
    const VbError e = currentError();
    trace("We are entering error handler ErrorHandler with the following error: "
          + QString::number(e.number) + "-" + e.description);
    throwError(procedure, at, e);
}

} // namespace

void endProgram()
{
    Trap at;
    try {
        at(1);
        const QString dsn = readSetting(QStringLiteral("frmConfig"), QStringLiteral("DSN"));
        const QString uid = readSetting(QStringLiteral("frmConfig"), QStringLiteral("UID"));
        const QString pwd = readSetting(QStringLiteral("frmConfig"), QStringLiteral("PWD"));
        at(2);
        // the password never reaches the log
        const QString T = vbCrLf + vbTab;
        trace("The following values have been retrieved from the registry: " + T + "myDSN = " + dsn
              + T + "myUID = " + uid + T + "myPWD = " + (pwd.isEmpty() ? QString() : QStringLiteral("********"))
              + T);
        at(3);
        if (!dsn.isEmpty() && !uid.isEmpty() && !pwd.isEmpty()) {
            try {
                coreHooks().signOff("provider=IBMDA400;data source=" + dsn + ";", uid, pwd);
            } catch (...) {
                // reported; the preferences and scanner settings are still written
                enterHandler(QStringLiteral("endProgram"), at);
            }
        }
        at(4);
        // nothing is written back for preferences this run never read
        if (preferencesLoaded())
            writePreferences();
        at(5);
        if (g_blnScannerConnected) {
            ScannerSession &scanner = scannerSession();
            scanner.saveSettings(scanner.sourceName(), scannerConfigPath());
        }
        at(6);
        // What the workspace held (unburned redactions included) does not outlive the program.
        deleteWorkingFiles();
    } catch (...) {
        enterHandler(QStringLiteral("endProgram"), at);
    }
}
