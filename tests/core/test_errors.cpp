#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "core/errors.h"
#include "coretest.h"
#include "platform/forms/msgbox.h"

namespace {

class ErrorReport : public CoreTest {
protected:
    // Every dumped variable gets a value the expected text knows.
    void fillState()
    {
        g_APP_STATE = 1;
        g_dbMode = 5;
        g_BatchPageNumMode = 1;
        g_BatchOverwriteMode = 2;
        g_intBaseLineBrightness = 128;
        g_intBlankSensitivity = 3;
        g_IntDefaultRescanAction = 1;
        g_intOldDocLength = -7;
        g_ScanWidth = 8.5f;
        g_ScanLength = 14;
        for (bool *b : {&g_blnTif, &g_BlnAbortBatch, &g_blnDefaultDuplex, &g_blnImprint,
                        &g_blnDoByteAlign, &g_blnPromptStore, &g_blnScannerConnected,
                        &g_blnFirstHandFeed, &g_blnLoggedIn})
            *b = true;
        const std::pair<QString *, const char *> strings[] = {
            {&computername, "computername"}, {&g_USER_ID, "g_USER_ID"},
            {&g_BookCode, "g_BookCode"}, {&g_DocNum, "g_DocNum"}, {&g_Book, "g_Book"},
            {&g_Page, "g_Page"}, {&g_EndingPage, "g_EndingPage"}, {&g_Year, "g_Year"},
            {&g_Month, "g_Month"}, {&g_Day, "g_Day"}, {&g_CTLNum, "g_CTLNum"},
            {&g_Plan1, "g_Plan1"}, {&g_Plan2, "g_Plan2"}, {&g_Plan3, "g_Plan3"},
            {&g_RefNum, "g_RefNum"}, {&g_RefCode, "g_RefCode"}, {&g_CertNum, "g_CertNum"},
            {&g_NumPages, "g_NumPages"}, {&g_InstNum, "g_InstNum"}, {&g_DocType, "g_DocType"},
            {&g_ImID, "g_ImID"}, {&g_Filename, "g_Filename"}, {&g_BookPath, "g_BookPath"},
            {&g_BatchDocNum, "g_BatchDocNum"}, {&g_BatchUpageNum, "g_BatchUpageNum"},
            {&g_strBatchMessage, "g_strBatchMessage"}, {&g_sClearTifPath, "g_sClearTifPath"},
            {&g_strRescanAction, "g_strRescanAction"},
        };
        for (const auto &[var, name] : strings)
            *var = "v_" + QString::fromLatin1(name);
    }

    static QString expectedDump()
    {
        QFile f(qEnvironmentVariable("QUORLA_SOURCE_DIR") + "/tests/core/data/expected_dump.txt");
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll()).replace("\n", "\r\n");
    }

    void TearDown() override
    {
        setScanStateSource({});
        CoreTest::TearDown();
    }
};

QStringList logFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files);
}

} // namespace

TEST_F(ErrorReport, TextMatchesByteForByteWithScanState)
{
    fillState();
    setScanStateSource([] { return QStringLiteral("Source=Flatbed,Res=200,Duplex=0"); });
    const QString report = errorReportText("do_view", 120, 13, "Type mismatch", "12/8/2026 10:36:09 PM");
    const QString expected = QString(96, '-') + "Error thrown at 12/8/2026 10:36:09 PM\r\n"
                             + "13: Type mismatch\r\n" + "do_view: Line 120\r\n"
                             + "Global Variables: \r\n" + expectedDump()
                             + "Scan State:\r\nSource=Flatbed\r\nRes=200\r\nDuplex=0";
    EXPECT_EQ(report, expected);
    // 4 head lines, 90 dump lines and 3 blank lines before the scan state
    EXPECT_EQ(report.left(report.indexOf("Scan State:")).count("\r\n"), 4 + 90 + 3);
}

TEST_F(ErrorReport, NoScanStateWithoutScannerAndFailingReadIsSkipped)
{
    fillState();
    g_blnScannerConnected = false;
    int reads = 0;
    setScanStateSource([&reads] { ++reads; return QStringLiteral("a,b"); });
    QString report = errorReportText("p", 0, 5, "x", "now");
    EXPECT_TRUE(report.endsWith("\t-- 'C'     Cancel\r\n"));
    EXPECT_FALSE(report.contains("Scan State:"));
    EXPECT_EQ(reads, 0);

    g_blnScannerConnected = true;
    setScanStateSource([]() -> QString { throw VbError(5, "no session"); });
    report = errorReportText("p", 0, 5, "x", "now");
    EXPECT_TRUE(report.endsWith("\t-- 'C'     Cancel\r\nScan State:\r\n"));
}

TEST_F(ErrorReport, BoxWithoutDebugWritesNoLogAtAll)
{
    MsgBoxScript boxes;
    g_blnDebug = false;
    throwError("set_g_dbMode", 0, 91, "Object variable or With block variable not set");
    ASSERT_EQ(boxes.calls().size(), 1);
    const MsgBoxCall &c = boxes.calls()[0];
    EXPECT_EQ(c.prompt, "Error in set_g_dbMode at line 0\r\n91: Object variable or With block variable not set");
    EXPECT_EQ(c.title, "The Korvane Scan Tool");
    EXPECT_EQ(c.icon(), int(vb::vbCritical));
    EXPECT_EQ(c.buttonSet(), int(vb::vbOKOnly));
    EXPECT_FALSE(g_AuditLog);
    EXPECT_FALSE(QDir(dir.filePath("prog/Logs")).exists());
    EXPECT_FALSE(QDir(dir.filePath("prog/bin/Logs")).exists());
}

TEST_F(ErrorReport, DebugStartsTheLogBesideBinAndWritesTheReportAtLevelFour)
{
    MsgBoxScript boxes;
    g_blnDebug = true;
    ASSERT_TRUE(startAuditLog());
    const QString logs = dir.filePath("prog/Logs");
    ASSERT_EQ(logFiles(logs).size(), 1);
    traceLine("Korvane Scan Tool::app_init::About to load all preferences from the registry.");
    throwError("endProgram", 4, 3704, "Operation is not allowed when the object is closed.");
    QFile f(logs + "/" + logFiles(logs).first());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains("Korvane Scan Tool - Starting the Korvane Scan Tool"));
    EXPECT_TRUE(text.contains("About to load all preferences from the registry."));
    const QRegularExpression report("\\[4\\] Korvane Scan Tool::throwError::-{96}Error thrown at ");
    EXPECT_TRUE(report.match(text).hasMatch()) << text.toStdString();
    EXPECT_TRUE(text.contains("endProgram: Line 4"));
}

TEST_F(ErrorReport, TrapReportsTheLineReachedAndForeignExceptions)
{
    MsgBoxScript boxes;
    Trap at;
    try {
        at(3);
        raiseVbError(vbErr::SubscriptOutOfRange);
    } catch (...) {
        reportCurrentError("DeleteTemp", at);
    }
    try {
        at(7);
        throw std::runtime_error("boom");
    } catch (...) {
        reportCurrentError("new_bkPg", at);
    }
    ASSERT_EQ(boxes.calls().size(), 2);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith("Error in DeleteTemp at line 3\r\n9: "));
    EXPECT_EQ(boxes.calls()[1].prompt, "Error in new_bkPg at line 7\r\n51: boom");
}
