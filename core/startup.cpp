#include "core/startup.h"

#include <QCoreApplication>
#include <QPointer>
#include <cstdlib>

#include "core/errors.h"
#include "core/files.h"
#include "core/identity.h"
#include "core/mode.h"
#include "core/prefs.h"
#include "core/state.h"
#include "capture/scandefaults.h"
#include "host/hostcall.h"
#include "platform/analysis/ip2.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/scannersession.h"
#include "platform/settings/settings.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

const QString kTitle = QStringLiteral("The Korvane Scan Tool");

CoreHooks defaultHooks()
{
    CoreHooks h;
    h.restoreFilterChain = [](const QString &text) {
        if (!g_FilterSettings)
            g_FilterSettings = std::make_shared<FilterChain>();
        g_FilterSettings->loadFromText(text);
    };
    h.setBookSizeNormal = [] { ::setBookSizeNormal(); };
    h.getEfilePartners = [](qint16) {};
    h.signOff = [](const QString &, const QString &, const QString &) {
        throw VbError(3706, QStringLiteral("Provider cannot be found. It may not be properly installed."));
    };
    h.endProcess = [](int code) { std::_Exit(code); };
    h.commandLine = [] {
        QStringList args = QCoreApplication::arguments();
        if (!args.isEmpty())
            args.removeFirst();
        return args.join(QLatin1Char(' '));
    };
    return h;
}

void trace(const QString &text)
{
    if (g_blnDebug)
        traceLine(QStringLiteral("Korvane Scan Tool::app_init::") + text);
}

QString tf(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }

QString errorText(const VbError &e) { return QString::number(e.number) + "-" + e.description; }

// Statements under the second handler: a failure is traced and the next statement runs.
template <class F> void resumeNext(F &&statement)
{
    try {
        statement();
    } catch (const VbError &e) {
        trace("We are entering error handler ErrorHandler2 with the following error: " + errorText(e));
    } catch (const std::exception &e) {
        trace("We are entering error handler ErrorHandler2 with the following error: 51-"
              + QString::fromLocal8Bit(e.what()));
    }
}

void setStartValues()
{
    g_BookCode = "0";
    g_Book = "000000";
    g_Page = "0000";
    g_DocNum = "0000000";
    g_Plan1 = "000000";
    g_Plan2.clear();
    g_Plan3.clear();
    g_Year = "0000";
    g_Day = "00";
    g_Month = "00";
    g_CTLNum = "00000";
    g_NumPages = "0000";
    g_InstNum = "000000";
    g_DocType = "0";
    g_ImLoc.clear();
    g_ImID.clear();
    g_blnTif = false;
    g_blnPromptStore = false;
    g_blnIsBatch = false;
    g_blnIsBatchRotate = false;
    g_blnScanUD = false;
    g_blnLoggedIn = false;
    g_blnScanUnIndexDocs = false;
    g_DocId.clear();
    g_KyCd.clear();
    for (QString *s : {&gsPartnerId, &gsBatchId, &gsSubmitCde, &gsLocationCde, &gsDocumentId,
                       &gsInDocPath, &gsCoverPagePath, &gsBurnedImagePath})
        s->clear();
    for (GroupTextInfo &g : g_GroupTextInfo) {
        g = GroupTextInfo();
        g.FontSize = 10;
    }
    gsAllowAnnotationEditing = "N";
    gsUnIndexedEFileDoc.clear();
    gsISeriesBurnAnnotate.clear();
    gsEFileAnnotateDocResize = "N";
    gsRedacted = "N";
    gsRedactCropped = "N";
    g_intCoverTextFontSize = 10;
}

} // namespace

CoreHooks &coreHooks()
{
    static CoreHooks hooks = defaultHooks();
    return hooks;
}

void resetCoreHooks() { coreHooks() = defaultHooks(); }

QString scannerConfigPath() { return settingsFolder() + QStringLiteral("/scanner.cfg"); }

void initScanner()
{
    Trap at;
    try {
        FrmMain &f = frmMain();
        ScannerSession &scanner = scannerSession();
        at(1);
        scanner.loadSettings(scanner.sourceName(), scannerConfigPath());
        at(2);
        const QString workFile = g_strTempPath + QStringLiteral("temp.tif");
        f.ezPageView->setWorkingFileName(workFile);
        f.ezTreeView->setWorkingFileName(workFile);
        scanner.setResolution(200);
        at(3);
        f.ezPageView->setToolTip(QStringLiteral("Click and drag over an area to zoom in.  Double-click to zoom out."));
        f.ezTreeView->setToolTip(QStringLiteral(
            "Highlight and drag pages to the left of a page to place it before, to the right of a "
            "page to place it after.  Highlight and press Delete to remove pages.  (These actions "
            "may not be supported in some documents)"));
        at(4);
        f.ezTreeView->setAllowPageMove(true);
        at(5);
        g_ScanWidth = float(scanner.scanWidth());
        g_ScanLength = float(scanner.scanLength());
        at(6);
        scanner.setPaperSource(g_intDefaultPaperSource);
        if (g_intDefaultPaperSource == 0)
            scanner.setDuplex(g_blnDefaultDuplex ? 1 : 0);
    } catch (...) {
        reportCurrentError(QStringLiteral("initScanner"), at);
    }
}

void setProgramTitleAndVersion()
{
    setAppTitle(APP_TITLE);
    QCoreApplication::setApplicationVersion(HOST_CLIENT_VERSION);
}

void app_init()
{
    Trap at;
    try {
        at(1);
        const QString command = coreHooks().commandLine();
        g_strTempPath = getTempPath();
        at(2);
        g_blnDebug = command.contains(QStringLiteral("/debug"));
        at(3);
        if (g_blnDebug && !startAuditLog()) {
            MsgBox(QStringLiteral("The Korvane Scan Tool is unable to initialize the Audit Log server.  "
                                  "Please verify that the application was installed correctly.  The "
                                  "Korvane Scan Tool is unable to continue starting.  Application "
                                  "terminating."),
                   vb::vbOKOnly | vb::vbCritical, kTitle);
            coreHooks().endProcess(1);
            return;
        }
        at(4);
        trace("About to load all preferences from the registry.");
        at(5);
        const StartupSettings s = readStartupSettings([&at](const QString &key, const VbError &e) {
            // the key keeps its default and start-up goes on
            trace("We are entering error handler ErrorHandler with the following error: "
                  + errorText(e) + " (" + key + ")");
            throwError(QStringLiteral("app_init"), at.line, e.number, e.description);
        });
        at(6);
        const QString T = vbCrLf + vbTab;
        trace("All preferences from the registry have been retrieved.  There values are: "
              + T + "filterState = " + s.filterState + T + "myDSN = " + s.dsn
              + T + "g_APP_STATE = " + QString::number(g_APP_STATE)
              + T + "myDatabase = " + QString::number(s.storedMode)
              + T + "g_blnReturnDefault = " + tf(g_blnReturnDefault)
              + T + "g_intBaseLineBrightness = " + QString::number(g_intBaseLineBrightness)
              + T + "g_intDefaultPaperSource = " + QString::number(g_intDefaultPaperSource)
              + T + "g_blnPromptOnDelete = " + tf(g_blnPromptOnDelete)
              + T + "g_IntDefaultRescanAction = " + QString::number(g_IntDefaultRescanAction)
              + T + "g_blnDetectBlank = " + tf(g_blnDetectBlank)
              + T + "g_intBlankSensitivity = " + QString::number(g_intBlankSensitivity)
              + T + "g_blnDefaultDuplex = " + tf(g_blnDefaultDuplex)
              + T + "g_blnDoByteAlign = " + tf(g_blnDoByteAlign)
              + T + "g_blnUseDefaultPrinter = " + QString::number(g_blnUseDefaultPrinter)
              + T + "g_intDefaultPrintScale = " + QString::number(g_intDefaultPrintScale)
              + T + "g_blnProcessBatch = " + tf(g_blnProcessBatch)
              + T + "g_strBarcodeLog = " + g_strBarcodeLog
              + T + "g_strByteAlignLog = " + g_strByteAlignLog
              + T + "g_AutoNextPageInterface = " + QString::number(g_AutoNextPageInterface)
              + T + "g_AutoMaticRedaction = " + QString::number(g_AutoMaticRedaction)
              + T + "g_blnImprint = " + tf(g_blnImprint) + T);
        at(7);
        applyPreferenceFixups();
        at(8);
        trace("Completed initialization of the Audit Log Server.");
        trace("About to execute the CheckUnique function.");
        at(9);
        FrmMain &f = frmMain();
        // A close request handled while a message box waits (SIGTERM) unloads the window under
        // us: start-up then stops instead of working on a dead window.
        const QPointer<FrmMain> window(&f);
        if (!CheckUnique(f)) {
            trace("The CheckUnique function failed.");
            coreHooks().endProcess(0);
            return;
        }
        trace("The CheckUnique function completed successfully.");
        at(10);
        if (s.filterState != QLatin1String("NOTFOUND")) {
            // an unreadable stored chain is reported and start-up goes on without one
            try {
                coreHooks().restoreFilterChain(s.filterState);
            } catch (const VbError &e) {
                g_FilterSettings.reset();
                throwError(QStringLiteral("app_init"), at.line, e.number, e.description);
            }
        }
        at(11);
        trace("About to exeucte the GetWorkstationInfo function.");
        GetWorkstationInfo();
        trace("Returned from the GetWorkstationInfo function.");
        at(12);
        trace("About to execute the RetrieveNICInfo function.");
        g_WrkStationIP = RetrieveNICInfo();
        trace("Returned from the RetrieveNICInfo function.");
        if (!window || !window->isLoaded())
            return;
        at(13);
        g_blnFirstHandFeed = true;
        f.setKeyPreview(true);
        at(14);
        trace("About to check to see if the scanner is connected.");
        at(15);
        bool opened = false;
        try {
            scannerSession().setScannerOpen(true);
            opened = true;
        } catch (const VbError &e) {
            trace("An error occured as follows when checking for scanner connection: " + errorText(e));
        }
        if (!opened) {
            resumeNext([] { g_blnScannerConnected = false; });
            resumeNext([&f] { f.cmdSettings->setEnabled(false); });
            resumeNext([] {
                MsgBox(QStringLiteral(
                           "No Scanner Found.  Scanning functions of the program have been disabled.  "
                           "To re-enable scanning, make sure your scanner is properly connected and "
                           "turned on, then select a scanner under Scanner->Select Scanner. note: Some "
                           "scanners need to be connected at system startup, and may require a system "
                           "reset."),
                       vb::vbOKOnly, kTitle);
            });
        } else {
            resumeNext([] { g_blnScannerConnected = true; });
            trace("Scanner appears to be connected.  Now lets call the initScanner function");
            resumeNext([] { initScanner(); });
            resumeNext([&f] { f.cmdSettings->setEnabled(true); });
        }
        if (!window || !window->isLoaded())
            return;
        at(16);
        f.ezTreeView->setImageHandle(f.ezPageView->imageHandle());
        at(17);
        trace("About to execute function GetShrtPath.");
        g_sClearTifPath = GetShrtPath(programFolder() + QStringLiteral("/data/clear.tif"));
        at(18);
        trace("About to execute function hideTree.");
        hideTree();
        at(19);
        trace("About to initialize global variables.");
        setStartValues();
        at(20);
        f.cboRotateOpt->setListIndex(0);
        f.cboCurrentDocType->clear();
        f.cboCurrentDocType->addItem(QStringLiteral("Scanner"));
        f.cboCurrentDocType->addItem(QStringLiteral("e-File"));
        f.chkAutoNextPage->setEnabled(false);
        f.chkAutoNextPage->setChecked(false);
        f.chkRedaction->setEnabled(true);
        f.chkRedaction->setChecked(g_AutoMaticRedaction != 0);
        f.btnRedact->setEnabled(false);
        f.chkUseDefaultPrinter->setEnabled(true);
        f.chkUseDefaultPrinter->setChecked(g_blnUseDefaultPrinter != 0);
        at(21);
        gdtCurrentDocType = gdtDocType != 0 ? 1 : 0;
        at(22);
        setState(g_APP_STATE, false);
        at(23);
        trace("About to execute the set_g_dbMode function using the results of a call to GetSetting for the db mode.");
        set_g_dbMode(s.storedMode);
        trace("The set_g_dbMode function returned.");
        at(24);
        if (g_dbMode != MODE_MARG && g_dbMode != MODE_MERG_UPD && g_dbMode != MODE_NYRG)
            g_blnImprint = false;
        at(25);
        if (scannerSession().sourceName() == QLatin1String("MIN7PS") && g_blnScannerConnected) {
            f.mnuOverhead->setVisible(true);
            coreHooks().setBookSizeNormal();
        }
        at(26);
        withScanner([](ScannerSession &sc) { sc.setBrightness(g_intBaseLineBrightness); });
        at(27);
        if (g_intDefaultPaperSource != 0) {
            f.lblScannerPaperSource->setText(QStringLiteral("Scanner Source: FB"));
            f.lblPageSize->setVisible(true);
            f.cboPageSize->setVisible(true);
            f.chkDuplex->setEnabled(false);
            f.chkDuplex->setChecked(false);
        } else {
            f.lblScannerPaperSource->setText(QStringLiteral("Scanner Source: ADF"));
            f.lblPageSize->setVisible(false);
            f.cboPageSize->setVisible(false);
            f.chkDuplex->setEnabled(true);
            f.chkDuplex->setChecked(g_blnDefaultDuplex);
        }
        at(28);
        f.Show();
        at(29);
        coreHooks().getEfilePartners(g_APP_STATE);
    } catch (...) {
        const VbError e = currentError();
        trace("We are entering error handler ErrorHandler with the following error: " + errorText(e));
        throwError(QStringLiteral("app_init"), at, e);
    }
}
