#include "core/errors.h"

#include "core/startup.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/scannersession.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"

namespace {

// Replaced in tests; empty: the scanner session's own text.
std::function<QString()> &scanStateSource()
{
    static std::function<QString()> source;
    return source;
}

QString tf(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }
QString num(qint64 n) { return QString::number(n); }

// The dump of the globals: 90 lines, each ended by CRLF.
QString globalsDump()
{
    const QString T = vbTab;
    QString d;
    auto line = [&d](const QString &text) { d += text + vbCrLf; };
    auto blankThen = [&d](const QString &text) { d += vbCrLf + text + vbCrLf; };

    line("-- Customer Identification Globals/Constants");
    line("g_APP_STATE: " + num(g_APP_STATE) + " -- Current Product");
    line(T + "STATE_MA = 0           '-- Massachusetts");
    line(T + "STATE_NY = 1           '-- New York");
    line(T + "STATE_ME_UPD = 2       '-- Maine Updated");
    line(T + "STATE_FHS = 3          '-- Vaverezoduv");
    line("g_dbMode: " + num(g_dbMode) + " -- Current Database");
    line(T + "MODE_MARG = 0      '-- Massachusetts Recorded Land");
    line(T + "MODE_MALC = 1      '-- Massachusetts Land Court");
    line(T + "MODE_MALCP = 2     '-- Massachusetts Land Court Plans");
    line(T + "MODE_MEBS = 3      '-- Updated Maine Book Scan");
    line(T + "MODE_MERG_UPD = 4  '-- Updated Maine Recorded Land");
    line(T + "MODE_NYRG = 5      '-- New York Recorded Land");
    line(T + "MODE_NYMD = 6      '-- New York Misc Records");
    line(T + "MODE_NYCR = 7      '-- New York Court Records");
    line(T + "MODE_FHS = 8       '-- Vaverezoduv");
    line(T + "MODE_MARGBS = 9    '-- Mass Rec Land Book Scan");
    line(T + "MODE_NYBS = 10     '-- NY Book Scan");
    line(T + "MODE_NYBR = 11     '-- NY Barcode Scan");
    line(T + "MODE_MACC = 12     '-- MA Land Court Certificate");
    line("computername: " + computername);
    line("g_USER_ID: " + g_USER_ID + " -- Current User");
    line("'-- Document Property Globals");
    line("g_BookCode: " + g_BookCode + " -- Document Book Code");
    line("g_DocNum: " + g_DocNum + " -- Document Number");
    line("g_Book: " + g_Book + " -- Book");
    line("g_Page: " + g_Page + " -- Page");
    line("g_EndingPage: " + g_EndingPage + " -- Ending Page for Book Scan");
    line("g_Year: " + g_Year + " -- Recorded Year");
    line("g_Month: " + g_Month + " -- Recorded Month");
    line("g_Day: " + g_Day + " -- Recorded Day");
    line("g_CTLNum: " + g_CTLNum + " -- Control Number");
    line("g_Plan1: " + g_Plan1 + " -- Plan 1");
    line("g_Plan2: " + g_Plan2 + " -- Plan 2");
    line("g_Plan3: " + g_Plan3 + " -- Plan 3");
    line("g_RefNum: " + g_RefNum + " -- Reference Number");
    line("g_RefCode: " + g_RefCode + " -- Reference Code");
    line("g_CertNum: " + g_CertNum + " -- Certificate Number");
    line("g_NumPages: " + g_NumPages + " -- Number of Pages in Document");
    line("g_InstNum: " + g_InstNum + " -- Instrument Number");
    line("g_DocType: " + g_DocType + " -- Document Type");
    line("g_ImID: " + g_ImID + " -- Document Image ID");
    line("g_blnTif: " + tf(g_blnTif) + " -- True if document is TIF");
    line("g_blnByteAligned: " + tf(g_blnByteAligned) + " -- True if document is ByteAligned");
    line("g_Filename: " + g_Filename + " -- Filename to save document");
    line("g_BookPath: " + g_BookPath + " -- Save Path for Book Scan");
    blankThen("-- Batch Scan Globals & Constants");
    line("g_BatchDocNum: " + g_BatchDocNum + " -- Number of documents to scan in batch mode");
    line("g_BatchUpageNum: " + g_BatchUpageNum
         + " --Number of pages to scan per document (when not taken from DB)");
    line("g_BatchPageNumMode: " + num(g_BatchPageNumMode));
    line(T + "BATCH_PAGES_DB = 0         '-- get number of pages for DB");
    line(T + "BATCH_PAGES_U = 1          '-- get # of pages from user");
    line("g_BatchOverwriteMode As Integer: " + num(g_BatchOverwriteMode));
    line(T + "BATCH_OVERWRITE = 0        '-- overwrite all documents on batch");
    line(T + "BATCH_SKIP = 1             '-- skip documents already scanned");
    line(T + "BATCH_PROMPT = 2           '-- prompt user to overwrite");
    line(T + "BATCH_FAIL = 3             '-- fail batch if document previously scanned");
    line("g_BlnAbortBatch: " + tf(g_BlnAbortBatch) + " -- True if batch is aborted");
    line("g_strBatchMessage: " + g_strBatchMessage + " -- Batch Message for Log");
    blankThen("--preferences");
    line("g_blnDefaultDuplex: " + tf(g_blnDefaultDuplex) + " -- default to duplex after each scan?");
    line("g_blnReturnDefault: " + tf(g_blnReturnDefault) + " -- return to defaults after each scan?");
    line("g_intBaseLineBrightness: " + num(g_intBaseLineBrightness) + " -- Baseline brightness");
    line("g_blnPromptOnDelete: " + tf(g_blnPromptOnDelete) + " -- Prompt users on every page delete?");
    line("g_blnImprint: " + tf(g_blnImprint) + " -- Imprint Documents on store?");
    line("g_blnDetectBlank: " + tf(g_blnDetectBlank) + " -- Detect and remove blank pages?");
    line("g_intBlankSensitivity: " + num(g_intBlankSensitivity) + " -- Blank Page Sensitivity");
    line("g_IntDefaultRescanAction: " + num(g_IntDefaultRescanAction)
         + " -- Default to Overwrite or Insert on Rescan?");
    line("g_blnDoByteAlign: " + tf(g_blnDoByteAlign) + " -- Byte Align Documents on store?");
    line("g_blnProcessBatch:" + tf(g_blnProcessBatch) + " -- Process Batch Scan with Image filters?");
    blankThen("-- MISC GLOBALS");
    line("g_blnPromptStore: " + tf(g_blnPromptStore)
         + " -- True if user should be prompted to save the document");
    line("g_blnIsBatch: " + tf(g_blnIsBatch) + " -- True if Batch is active");
    line("g_blnIsBatchRotate: " + tf(g_blnIsBatchRotate) + " -- True if Batch Rotate is active");
    line("g_blnScannerConnected: " + tf(g_blnScannerConnected) + " -- True if Scanner is connected");
    line("g_blnScanUD: " + tf(g_blnScanUD) + " -- True if documents should be scanned upside down");
    line("g_blnScanUnIndexDocs: " + tf(g_blnScanUnIndexDocs) + "-- True if scanning unindexed documents");
    line("g_blnStopKeyCapture: " + tf(g_blnStopKeyCapture) + " -- True if keyCapture should be suspended");
    line("g_intOldDocLength: " + num(g_intOldDocLength) + " -- Length of document before pages inserted");
    line("g_blnStoreReturnValue: " + tf(g_blnStoreReturnValue) + " -- Last return value of do_store function");
    line("g_blnFirstHandFeed: " + tf(g_blnFirstHandFeed) + " -- True if first page of hand feed scan");
    line("g_blnNYCTLNum: " + tf(g_blnNYCTLNum) + " -- True if scanning by CTL Num");
    line("g_blnLoggedIn: " + tf(g_blnLoggedIn) + " -- True if user is logged in");
    line("g_ScanWidth: " + CStr(g_ScanWidth) + " -- Scan width of document ");
    line("g_ScanLength: " + CStr(g_ScanLength) + " -- Scan length of document");
    line("g_sClearTifPath: " + g_sClearTifPath + " -- Path of ClearTif");
    line("g_strRescanAction: " + g_strRescanAction + " -- Rescan Action");
    line(T + "-- 'OA'    Overwrite All");
    line(T + "-- 'I'    Insert");
    line(T + "-- 'C'     Cancel");
    return d;
}

} // namespace

void setScanStateSource(std::function<QString()> source) { scanStateSource() = std::move(source); }

QString errorReportText(const QString &procedure, int line, int number, const QString &description,
                        const QString &now)
{
    QString r = QString(96, QLatin1Char('-')) + "Error thrown at " + now + vbCrLf;
    r += num(number) + ": " + description + vbCrLf;
    r += procedure + ": Line " + num(line) + vbCrLf;
    r += QStringLiteral("Global Variables: ") + vbCrLf;
    r += globalsDump();
    if (g_blnScannerConnected) {
        r += QStringLiteral("Scan State:") + vbCrLf;
        try {
            QString state = scanStateSource() ? scanStateSource()() : scannerSession().scanStateText();
            r += state.replace(QLatin1Char(','), vbCrLf);
        } catch (...) {
            // a failing read only leaves the scan state out
        }
    }
    return r;
}

void throwError(const QString &procedure, int line, int number, const QString &description)
{
    try {
        MsgBox("Error in " + procedure + " at line " + num(line) + vbCrLf + num(number) + ": "
                   + description,
               vb::vbOKOnly | vb::vbCritical, QStringLiteral("The Korvane Scan Tool"));
    } catch (...) {
    }
    if (!g_blnDebug)
        return;
    try {
        const QString report = errorReportText(procedure, line, number, description, Now());
        LogEntry("Korvane Scan Tool::throwError::" + report, LOG_ERROR);
    } catch (...) {
    }
}

void throwError(const QString &procedure, const Trap &trap, const VbError &e)
{
    throwError(procedure, trap.line, e.number, e.description);
}

namespace {
TrapLog *g_openTrapLog = nullptr;
bool g_trapLogClaimed = false;
} // namespace

TrapLog::TrapLog()
{
    g_openTrapLog = this;
    g_trapLogClaimed = false;
}

TrapLog::~TrapLog()
{
    if (g_openTrapLog == this)
        g_openTrapLog = nullptr;
}

std::vector<int> *TrapLog::claim()
{
    if (!g_openTrapLog || g_trapLogClaimed)
        return nullptr;
    g_trapLogClaimed = true;
    return &g_openTrapLog->lines;
}

VbError currentError()
{
    try {
        throw;
    } catch (const VbError &e) {
        return e;
    } catch (const std::exception &e) {
        return VbError(51, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return VbError(51, QStringLiteral("Internal error"));
    }
}

void reportCurrentError(const QString &procedure, const Trap &trap)
{
    throwError(procedure, trap, currentError());
}

void LogEntry(const QString &text, int level)
{
    if (!g_blnDebug || !g_AuditLog)
        return;
    try {
        g_AuditLog->logEntry(text, level);
    } catch (...) {
        // a failing write is lost without a message
    }
}

void traceLine(const QString &text) { LogEntry(text, LOG_TRACE); }

bool startAuditLog()
{
    try {
        g_AuditLog = std::make_shared<AuditLog>();
        const QString folder = logsFolder();
        if (folder.isEmpty())
            return false;
        g_AuditLog->setNumericSetting(60);
        g_AuditLog->setApplicationName(APP_TITLE);
        g_AuditLog->setLogFolder(folder);
        g_AuditLog->setEnabled(true);
        g_AuditLog->logEntry(QStringLiteral("Korvane Scan Tool - Starting the Korvane Scan Tool"),
                             LOG_TRACE);
        return true;
    } catch (...) {
        return false;
    }
}

void reportRoadFailure(const QString &procedure, const Trap &trap)
{
    // The automation error of an object that has disconnected from its clients (0x80010108).
    constexpr int kDisconnected = int(0x80010108u);
    const VbError e = currentError();
    if (e.number == kDisconnected) {
        MsgBox(QStringLiteral("The application encountered an unrecoverable error while processing you request.  "
                              "Please restart the application and try your requestion again."),
               vb::vbCritical, QStringLiteral("The Korvane Scan Tool"));
        coreHooks().endProcess(1);
        return;
    }
    throwError(procedure, trap, e);
}
