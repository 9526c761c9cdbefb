#include <gtest/gtest.h>

#include <QLabel>
#include <QSqlQuery>
#include <QTest>

#include "batch/filterpass.h"
#include "batch/frmBatch.h"
#include "batch_env.h"
#include "core/state.h"
#include "platform/analysis/ip2.h"
#include "platform/forms/forms.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/scan/sanesession.h"
#include "platform/settings/settings.h"
#include "platform/vb/vb.h"
#include "test_batchjobs_fixture.h"
#include "ui/frmMain.h"

namespace {

// 400 x 400 at 200 dpi; an inked page carries a solid block well inside the margins.
QImage inkedPage() { return monoPage(400, 400, QRect(100, 100, 150, 150)); }
QImage blankPage() { return monoPage(400, 400); }

void fill(QelEzImage &control, const QString &pattern) // 'i' inked, 'b' blank, 'u' blank 403 wide
{
    for (QChar c : pattern)
        control.appendPage(c == u'u' ? monoPage(403, 400) : c == u'b' ? blankPage() : inkedPage());
}

// Pages' ink pattern read back with the blank test itself.
QString pattern(QelEzImage &control)
{
    QString out;
    for (int p = 1; p <= control.pageCount(); ++p) {
        control.setPage(p);
        out += DetectBlank(control, 0) ? u'b' : u'i';
    }
    return out;
}

// The pass's log lines while it lives.
struct PassLog {
    PassLog() { previous = qInstallMessageHandler(&PassLog::take); }
    ~PassLog() { qInstallMessageHandler(previous); }
    static void take(QtMsgType, const QMessageLogContext &context, const QString &text)
    {
        if (QLatin1String(context.category) == QLatin1String("quorla.batch"))
            lines << text;
    }
    static inline QStringList lines;
    QtMessageHandler previous;
};

// The main window, whose status line the pass writes, after its first load.
QLabel &statusText()
{
    MsgBoxScript firstLoad;
    return *frmMain().lblStatus;
}

} // namespace

TEST(IsBlankResult, ReadsOnlyAnExactNameWithValueOne)
{
    struct Case {
        const char *name;
        QList<QPair<QString, QVariant>> items;
        bool blank;
    };
    const Case cases[] = {
        {"no results", {}, false},
        {"Blank 1", {{"Blank", 1}}, true},
        {"Blank 0", {{"Blank", 0}}, false},
        {"lower case name", {{"blank", 1}}, false},
        {"value True", {{"Blank", true}}, false},
        {"value -1", {{"Blank", -1}}, false},
        {"later item", {{"Barcode", 1}, {"Blank", 0}, {"Blank", 1}}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IP2Image image;
        for (const auto &item : c.items)
            image.results().add(item.first, item.second);
        EXPECT_EQ(IP2::isBlankResult(image), c.blank);
    }
}

TEST(DetectBlank, OffEmptyAndVerdicts)
{
    BatchEnv env;
    QelEzImage control;
    g_blnDetectBlank = true;
    g_intBlankSensitivity = 3;
    EXPECT_FALSE(DetectBlank(control, 0)) << "no image";
    fill(control, QStringLiteral("bi"));
    EXPECT_EQ(pattern(control), QStringLiteral("bi"));
    g_blnDetectBlank = false;
    control.setPage(1);
    EXPECT_FALSE(DetectBlank(control, 0));
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST(DetectBlank, MarginIsWiderInTheBarcodeMode)
{
    BatchEnv env;
    g_blnDetectBlank = true;
    g_intBlankSensitivity = 3;
    QelEzImage control;
    // A strip between 1/30in and 1/10in from the left edge, not touching it.
    control.appendPage(monoPage(400, 400, QRect(10, 100, 9, 200)));
    for (qint16 mode : {qint16(0), qint16(1), MODE_NYBR}) {
        g_dbMode = mode;
        EXPECT_EQ(DetectBlank(control, 0), mode == MODE_NYBR) << mode;
    }
}

// Pages inked ('i'), blank ('b') or blank at an unaligned 403 pixels ('u'): what the pass deletes
// and answers, where it leaves the control, and what the operator and the log are told (which pages went).
TEST(FilterPass, DeletesBlankPagesAfterThePassAndSaysHowMany)
{
    QLabel &status = statusText();
    struct Row {
        const char *pages;
        const char *deleted;
        const char *left;
        const char *status; // "before": untouched
        const char *log;
        bool aligned;
    } rows[] = {
        {"ibibi", "2,4", "iii", "2 blank pages removed: pages 2, 4", "2 blank pages removed: pages 2, 4", true},
        {"iii", "", "iii", "before", "", true},
        {"bb", "1,2", "", "2 blank pages removed: pages 1, 2; no page is left to store", "2 blank pages removed: pages 1, 2",
         true},
        // an unaligned width clears the flag even on a page the pass then deletes
        {"iu", "2", "i", "1 blank page removed: page 2", "1 blank page removed: page 2", false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.pages);
        BatchEnv env;
        g_blnDetectBlank = true;
        g_intBlankSensitivity = 3;
        g_blnByteAligned = true;
        QelEzImage control;
        fill(control, QString::fromLatin1(r.pages));
        control.setPage(control.pageCount());
        status.setText(QStringLiteral("before"));
        PassLog::lines.clear();
        QString deleted;
        {
            PassLog log;
            deleted = doImageProcess(control, std::make_shared<FilterChain>(), 1, -1);
        }
        EXPECT_EQ(deleted.toStdString(), r.deleted);
        if (control.pageCount() > 0) {
            EXPECT_EQ(control.page(), 1);
        }
        EXPECT_EQ(pattern(control).toStdString(), r.left);
        EXPECT_EQ(status.text().toStdString(), r.status);
        EXPECT_EQ(PassLog::lines.join(u'|').toStdString(), r.log);
        EXPECT_EQ(g_blnByteAligned, r.aligned);
        EXPECT_EQ(ezBarcode().workingFileName().toStdString(), (env.temp() + QStringLiteral("bctemp.tif")).toStdString());
        EXPECT_TRUE(env.boxes.calls().isEmpty());
    }
}

TEST(FilterPass, AppliesTheChainToTheRangeOnly)
{
    BatchEnv env;
    g_blnDetectBlank = false;
    g_FilterSettings = std::make_shared<FilterChain>();
    // Removes a shadow along the page edge.
    g_FilterSettings->add(std::make_shared<IP2PrefilterB>(), 1);
    QelEzImage control;
    for (int i = 0; i < 4; ++i)
        control.appendPage(monoPage(400, 400, QRect(0, 0, 400, 8)));
    doImageProcess(control, g_FilterSettings, 2, 2);
    EXPECT_EQ(control.pageCount(), 4);
    for (int p = 1; p <= 4; ++p) {
        control.setPage(p);
        const bool inked = qGray(control.pageImage().pixel(200, 4)) < 128;
        EXPECT_EQ(inked, p == 1 || p == 4) << p;
    }
}

TEST(ProcessFilters, ShowsTheWindowOnlyWhenThereIsWork)
{
    BatchEnv env;
    FormScript forms;
    QelEzImage control;
    fill(control, QStringLiteral("ib"));
    g_FilterSettings = std::make_shared<FilterChain>();

    g_blnDetectBlank = false;
    process_filters(control, g_FilterSettings, 1, -1, 0);
    EXPECT_TRUE(forms.calls().isEmpty());
    EXPECT_EQ(control.pageCount(), 2);

    g_blnDetectBlank = true;
    process_filters(control, g_FilterSettings, 1, -1, 0);
    ASSERT_EQ(forms.calls().size(), 1);
    EXPECT_EQ(forms.calls()[0].form, QStringLiteral("frmProcessFilters"));
    EXPECT_EQ(forms.calls()[0].owner, QStringLiteral("frmMain"));
    EXPECT_EQ(control.pageCount(), 1);
    EXPECT_EQ(frmProcessFilters().Label1->text(), QStringLiteral("Processing Images..."));

    // A request to end the program while the pass runs (a termination signal) waits for the pass
    // instead of closing its window under it.
    control.clearImage();
    fill(control, QStringLiteral("ibib"));
    QMetaObject::Connection once;
    once = QObject::connect(&control, &QelEzImage::pageChange, [&once] {
        QObject::disconnect(once);
        requestQuit([] {});
    });
    process_filters(control, g_FilterSettings, 1, -1, 0);
    EXPECT_EQ(control.pageCount(), 2);
    QTRY_VERIFY(!quitRequested());
}

// The batch scan road over SANE's virtual test scanner: one document whose host records two
// pages, fed a grid sheet and then a plain white one. The pass removes the white sheet, and
// Messages and the log say so for the document; the count check then finds one page for two
// recorded: its box and line, and nothing stored.
class SaneBatchScan : public BatchJobsTest {
protected:
    void SetUp() override
    {
        BatchJobsTest::SetUp();
        fake = nullptr;
        setScannerSession(std::make_unique<SaneSession>());
        scannerSession().setTableFolder(sourceFile(QStringLiteral("tests/data/sane/scanners")));
        QelEzScanner &scanner = ezScanner(*main->ezTreeView);
        scanner.selectSource();
        scanner.setResolution(127); // 5 pixels to the device's millimetre: 400 x 500 pixels
        scanner.setRegionLeft(0);
        scanner.setRegionTop(0);
        scanner.setRegionWidth(400);
        scanner.setRegionLength(500);
        scanner.setScannerSetting(2, 3); // test picture: grid
    }
};

TEST_F(SaneBatchScan, NamesTheBlankSheetItRemovedThenTheCountCheckRefusesTheStore)
{
    BatchJobsTest::em->runScript(QStringLiteral(
        "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type, num_pages)"
        "  VALUES ('LR', '001010', '0001', '2019', '04', '01', '00101', '100001', 'K', 'LR201900101', 'DEED', '0002');\n"));
    g_dbMode = MODE_MARG;
    g_blnProcessBatch = true;
    g_blnDetectBlank = true;
    g_intBlankSensitivity = 3;
    QObject::connect(main->ezTreeView, &QelEzImage::pagesLoaded, main->ezTreeView, [this] {
        // The empty document's place-holder page loads first; the device's sheets are 400 wide.
        if (main->ezTreeView->imageWidth() == 400)
            ezScanner(*main->ezTreeView).setScannerSetting(2, 1); // the next sheet: solid white
    });
    FrmBatch &f = frmBatch();
    f.txtBook_MARG->setText(QStringLiteral("1010"));
    f.txtPage_MARG->setText(QStringLiteral("1"));
    f.txtBatchDocNum->setText(QStringLiteral("1"));
    f.optBatchPageNumMode[BATCH_PAGES_DB]->setChecked(true);
    f.optBatchOverwriteMode[BATCH_OVERWRITE]->setChecked(true);
    PassLog::lines.clear();
    {
        PassLog log;
        f.btnStart_Click();
    }
    const QString removed = QStringLiteral("Document 1010-1: page 2 removed as blank");
    EXPECT_TRUE(PassLog::lines.contains(removed)) << PassLog::lines.join(u'|').toStdString();

    // Messages, as shown and as stored: the document scanned, its blank page, then the count check.
    const QString shown = f.lblBatchOutput->text();
    const QStringList lines = shown.split(vbCrLf);
    const qsizetype scanned = lines.indexOf(QStringLiteral("Document 1010-1 scanned"));
    ASSERT_GE(scanned, 0) << shown.toStdString();
    ASSERT_GT(lines.size(), scanned + 2) << shown.toStdString();
    EXPECT_EQ(lines[scanned + 1], removed);
    EXPECT_TRUE(lines[scanned + 2].startsWith(QStringLiteral("Error: The number of pages scanned in this batch")))
        << shown.toStdString();
    EXPECT_EQ(GetSetting(APP_TITLE, QStringLiteral("Strings"), QStringLiteral("strOutputText")), shown);
    ASSERT_EQ(boxes->calls().size(), 1) << prompts().join(u'|').toStdString();
    EXPECT_EQ(boxes->calls()[0].title, QStringLiteral("Batch Error"));
    EXPECT_EQ(boxes->calls()[0].icon(), int(vb::vbCritical));

    // Nothing was stored for the document.
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT imid FROM documents WHERE book = '001010' AND page = '0001'")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), QString());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM image_master")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
}
