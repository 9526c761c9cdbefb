// Every status a scanner can answer, at the first, a middle (while the sheet is read) and the
// last sheet of a five-sheet stack, on every scanning road (Scan, Insert into a document, hand
// feed, overhead, one batch document), through the demo scanner over SANE. In every cell the
// pages that came in stay in order with the lookup, the operator is told which failure it was
// (an empty feeder in mid-stack looks like the stack's end and says nothing), Store, Print and
// Redact follow the pages, and the next scan of the document goes on behind them: the document
// ends up holding every sheet once, in order.
#include "batch/batch_env.h"

#include "batch/batchscan.h"
#include "batch/frmBatchProgress.h"
#include "capture/frmHandFeed.h"
#include "capture/frmOverhead.h"
#include "capture/frmRescan.h"
#include "capture/scanning.h"
#include "core/reset.h"
#include "core/state.h"
#include "platform/forms/forms.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/scan/sanesession.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sane/sane.h>

namespace {

constexpr int kSheets = 5;
constexpr int kDpi = 50;
enum class Way { Scan, Insert, HandFeed, Overhead, Batch };

const struct {
    const char *name;
    SANE_Status status;
} kStatuses[] = {
    {"unsupported", SANE_STATUS_UNSUPPORTED}, {"cancelled", SANE_STATUS_CANCELLED},
    {"device_busy", SANE_STATUS_DEVICE_BUSY}, {"inval", SANE_STATUS_INVAL},
    {"jammed", SANE_STATUS_JAMMED},           {"no_docs", SANE_STATUS_NO_DOCS},
    {"cover_open", SANE_STATUS_COVER_OPEN},   {"io_error", SANE_STATUS_IO_ERROR},
    {"no_mem", SANE_STATUS_NO_MEM},           {"access_denied", SANE_STATUS_ACCESS_DENIED},
};

// Sheet k: white, 8 x 6 in, with a black band across it k half inches from its top (netpbm
// files count as 200 dpi).
QImage sheet(int k, int dpi)
{
    QImage page(8 * dpi, 6 * dpi, QImage::Format_Grayscale8);
    page.fill(255);
    for (int y = k * dpi / 2; y < k * dpi / 2 + dpi / 4; ++y)
        std::fill_n(page.scanLine(y), page.width(), uchar(0));
    return page;
}

// The sheet a page shows, by its band; 0 when it has none.
int sheetOf(const QImage &page)
{
    const QImage g = page.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < g.height(); ++y) {
        int dark = 0;
        for (int x = 0; x < g.width(); ++x)
            dark += g.constScanLine(y)[x] < 128;
        if (dark * 2 > g.width())
            return (y + kDpi / 8) / (kDpi / 2);
    }
    return 0;
}

class ScanFailures : public ::testing::Test {
protected:
    // SANE reads its configuration path once a process: one folder serves every test.
    static void SetUpTestSuite() { dir = new QTemporaryDir; }
    static void TearDownTestSuite() { delete dir; }
    void SetUp() override
    {
        {
            // The main window's first load asks and says things of its own.
            MsgBoxScript loadBoxes;
            FormScript loadForms;
            main = &frmMain();
        }
        main->ezTreeView->setImageHandle(main->ezPageView->imageHandle());
        QDir(dir->path()).mkdir(QStringLiteral("stack"));
        for (int k = 1; k <= kSheets; ++k)
            ASSERT_TRUE(sheet(k, 200).save(dir->filePath(QStringLiteral("stack/%1.pgm").arg(k)), "PGM"));
        QFile dll(dir->filePath(QStringLiteral("dll.conf")));
        ASSERT_TRUE(dll.open(QIODevice::WriteOnly));
        dll.write("paperstack\n");
        dll.close();
        qputenv("SANE_CONFIG_DIR", dir->path().toLocal8Bit());
    }
    void TearDown() override
    {
        main->ezTreeView->clearImage();
        setScannerSession(nullptr);
    }

    // A fresh world and the demo scanner with one fault, then the road's first run.
    void runCell(Way road, const char *status, int sheetNo, bool inRead)
    {
        env = std::make_unique<BatchEnv>();
        boxes = &env->boxes;
        forms = std::make_unique<FormScript>();
        g_blnDetectBlank = false;
        g_intDefaultPaperSource = 0;
        g_IntDefaultRescanAction = 1;
        main->ezTreeView->clearImage();
        main->chkDuplex->setChecked(false);
        main->chkRedaction->setChecked(false);
        main->btnScan->setEnabled(true);
        for (QWidget *w : std::initializer_list<QWidget *>{main->btnStore, main->btnPrint, main->btnRedact})
            w->setEnabled(false);

        QFile conf(dir->filePath(QStringLiteral("paperstack.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("%1 stack\nfail %2 %3%4\n")
                       .arg(road == Way::Overhead ? "overhead" : "feeder")
                       .arg(sheetNo)
                       .arg(QLatin1String(status), inRead ? " read" : "")
                       .toUtf8());
        conf.close();
        setScannerSession(std::make_unique<SaneSession>());
        ScannerSession &s = scannerSession();
        s.selectSource();
        s.setResolution(kDpi);
        s.setPixelType(0);
        s.setPageSize(QStringLiteral("Letter Portrait - 8.5 x 11 in"));

        if (road == Way::Insert) {
            // A document of two pages (sheets 7 and 8 of another stack), the last one shown.
            main->ezTreeView->setVisible(true);
            main->ezTreeView->appendPage(sheet(7, kDpi));
            main->ezTreeView->appendPage(sheet(8, kDpi));
        }
        g_NumPages = QStringLiteral("0005");
        resets = resetCount();
        go(road, kSheets);
    }

    // One run of the road for `pages` sheets.
    void go(Way road, int pages)
    {
        switch (road) {
        case Way::Scan:
        case Way::Insert:
            forms->onShow(QStringLiteral("frmRescan"), [](Form &form) {
                auto &r = static_cast<FrmRescan &>(form);
                r.optScan[0]->setChecked(true);
                r.OKButton->click();
            });
            do_scan();
            break;
        case Way::HandFeed:
            forms->onShow(QStringLiteral("frmHandFeed"), [](Form &form) {
                auto &h = static_cast<FrmHandFeed &>(form);
                for (int tick = 0; tick < 4 && h.isLoaded(); ++tick)
                    h.Timer1_Timer();
                if (h.isLoaded())
                    h.btnDone->click();
            });
            do_HandFeedScan();
            break;
        case Way::Overhead:
            forms->onShow(QStringLiteral("frmOverhead"), [pages](Form &form) {
                auto &o = static_cast<FrmOverhead &>(form);
                o.txtNumPages->setText(QString::number(pages));
                o.btnScan->click();
            });
            showOverhead();
            break;
        case Way::Batch:
            frmBatchProgress();
            scan_batch_document(qint16(pages));
            frmBatchProgress().Unload();
            break;
        }
    }

    QList<int> sheets() const
    {
        QList<int> out;
        for (int i = 0; i < main->ezTreeView->pageCount(); ++i)
            out << sheetOf(main->ezTreeView->document()->image(i));
        return out;
    }

    FrmMain *main = nullptr;
    static QTemporaryDir *dir;
    std::unique_ptr<BatchEnv> env;
    MsgBoxScript *boxes = nullptr;
    std::unique_ptr<FormScript> forms;
    int resets = 0;

    void table(Way road);
};

QTemporaryDir *ScanFailures::dir = nullptr;

void ScanFailures::table(Way road)
{
    for (const auto &st : kStatuses) {
        for (const int sheetNo : {1, 3, kSheets}) {
            const bool inRead = sheetNo == 3;
            SCOPED_TRACE(QStringLiteral("%1 at sheet %2%3").arg(QLatin1String(st.name)).arg(sheetNo)
                             .arg(inRead ? " while read" : "").toStdString());
            runCell(road, st.name, sheetNo, inRead);
            if (HasFatalFailure())
                return;

            const bool feederRun = road == Way::Scan || road == Way::Insert || road == Way::HandFeed;
            const bool noDocs = st.status == SANE_STATUS_NO_DOCS;
            // A feeder that says it is empty ends a feeder run as the stack's end does; a hand
            // feed waits for more paper and gets it.
            const bool silent = noDocs && feederRun && (sheetNo > 1 || road == Way::HandFeed);
            QList<int> kept, all;
            for (int k = 1; k <= kSheets; ++k)
                all << k;
            const QList<int> before = road == Way::Insert ? QList<int>{7, 8} : QList<int>{};
            kept = road == Way::HandFeed && silent ? all : all.mid(0, sheetNo - 1);
            const QList<int> expectKept = road == Way::Insert ? QList<int>{7} + kept + QList<int>{8} : kept;
            EXPECT_EQ(sheets(), expectKept);
            EXPECT_EQ(resetCount(), resets) << "the lookup stays";
            EXPECT_EQ(g_NumPages, QStringLiteral("0005"));

            const QList<MsgBoxCall> calls = boxes->calls();
            for (const MsgBoxCall &c : calls)
                EXPECT_FALSE(c.prompt.startsWith(QLatin1String("Error in"))) << c.prompt.toStdString();
            if (silent) {
                EXPECT_TRUE(calls.isEmpty());
            } else {
                EXPECT_EQ(calls.size(), 1);
                const bool jam = st.status == SANE_STATUS_JAMMED || st.status == SANE_STATUS_COVER_OPEN;
                const QString said = road == Way::Batch && noDocs ? QStringLiteral("The number of pages scanned in this batch")
                                     : jam && (road == Way::Scan || road == Way::Insert)
                                         ? QStringLiteral("Paper Jam: Please clear scanner")
                                         : QString::fromUtf8(sane_strstatus(st.status));
                EXPECT_TRUE(!calls.isEmpty() && calls[0].prompt.contains(said))
                    << (calls.isEmpty() ? std::string() : calls[0].prompt.toStdString());
            }
            // An insert that failed at its first sheet brought nothing: the stored document is as it was.
            const bool untouched = road == Way::Insert && sheetNo == 1;
            // What came in is unstored, and Store takes it (a batch's document in hand too).
            const bool pages = main->ezTreeView->pageCount() > 0;
            EXPECT_EQ(main->btnStore->isEnabled(), pages && !untouched);
            EXPECT_EQ(main->btnPrint->isEnabled(), pages);
            EXPECT_EQ(main->btnRedact->isEnabled(), pages);
            EXPECT_EQ(g_blnPromptStore, pages && !untouched);

            // The next scan of the document goes on behind what came in, without a question.
            if (!silent) {
                boxes->clear();
                forms->clear();
                go(road == Way::Batch ? Way::Scan : road, kSheets - int(kept.size()));
                EXPECT_EQ(sheets(), road == Way::Insert ? QList<int>{7} + all + QList<int>{8} : all);
                EXPECT_TRUE(boxes->calls().isEmpty());
                for (const FormScript::Call &c : forms->calls())
                    EXPECT_TRUE(untouched || c.form != QStringLiteral("frmRescan"));
                EXPECT_TRUE(main->btnStore->isEnabled());
                EXPECT_TRUE(main->btnPrint->isEnabled());
            }
            forms.reset();
            env.reset();
            setScannerSession(nullptr);
        }
    }
}

} // namespace

TEST_F(ScanFailures, Scan) { table(Way::Scan); }
TEST_F(ScanFailures, Insert) { table(Way::Insert); }
TEST_F(ScanFailures, HandFeed) { table(Way::HandFeed); }
TEST_F(ScanFailures, Overhead) { table(Way::Overhead); }
TEST_F(ScanFailures, Batch) { table(Way::Batch); }
