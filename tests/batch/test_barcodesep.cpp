// Barcode separation over stacks whose cover sheets carry real Code 128 symbols, with the records
// host emulated and the correction dialogs answered through the forms seam.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include "batch/barcodesep.h"
#include "batch/filterpass.h"
#include "batch/frm1stBarcode.h"
#include "batch/frmBarcodeLog.h"
#include "batch/frmBarcodeScan.h"
#include "batch/frmbcPageMismatch.h"
#include "batch_env.h"
#include "core/errors.h"
#include "core/recovery.h"
#include "hostsim/emulator.h"
#include "platform/ado/adoprovider.h"
#include "platform/forms/forms.h"
#include "platform/imaging/qelezimage.h"
#include "platform/settings/settings.h"
#include "ui/frmMain.h"

namespace {

// A letter page at 200 dpi, blank or with one Code 128 symbol inside the barcode zone; `mark`
// draws a block whose width tells the pages apart.
QImage stackPage(const std::string &code, int mark)
{
    QImage page(1700, 2200, QImage::Format_Grayscale8);
    page.fill(255);
    if (!code.empty()) {
        ZXing::MultiFormatWriter writer(ZXing::BarcodeFormat::Code128);
        writer.setMargin(0);
        const ZXing::BitMatrix m = writer.encode(code, 0, 0);
        const int scale = 3;
        for (int r = 0; r < 120; ++r)
            for (int c = 0; c < m.width() * scale; ++c)
                if (m.get(c / scale, 0))
                    page.setPixel(200 + c, 1200 + r, 0);
    }
    {
        QPainter p(&page);
        p.fillRect(QRect(100, 100, 10 * mark, 10), Qt::black);
    }
    QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(7874);
    mono.setDotsPerMeterY(7874);
    return mono;
}

// The mark of a page made by stackPage: the width of its block.
int markOf(const QImage &page)
{
    int w = 0;
    while (w < 400 && qGray(page.pixel(100 + w, 105)) < 128)
        ++w;
    return w / 10;
}

// The mismatch dialog's correction: the missed document's control number and date, typed.
void correctTo(FrmbcPageMismatch &d, const char *ctl, const char *month, const char *day, const char *year)
{
    d.txtCTLNum_NYRG->setText(QString::fromLatin1(ctl));
    d.txtMonth_NYRG->setText(QString::fromLatin1(month));
    d.txtDay_NYRG->setText(QString::fromLatin1(day));
    d.txtYear_NYRG->setText(QString::fromLatin1(year));
    d.Command1->click();
}

QList<int> marks(QelEzImage &control)
{
    QList<int> out;
    for (int p = 1; p <= control.pageCount(); ++p) {
        control.setPage(p);
        out << markOf(control.pageImage());
    }
    return out;
}

class BarcodeSepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            // The main window's own start-up boxes are not this test's.
            MsgBoxScript quiet;
            FormScript quietForms;
            frmMain();
        }
        env = std::make_unique<BatchEnv>();
        forms = std::make_unique<FormScript>();
        g_dbMode = MODE_NYBR;
        const QString db = dir.filePath(QStringLiteral("host.sqlite"));
        qputenv("QUORLA_HOST_EMULATOR", db.toLocal8Bit());
        em = std::make_unique<hostsim::HostEmulator>(db);
        em->runScript(QStringLiteral("INSERT INTO accounts VALUES('QHOST', 'QUSER', 'QPWD');\n"));
        hostsim::registerProvider();
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"), QStringLiteral("QHOST"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"), QStringLiteral("QUSER"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"), QStringLiteral("QPWD"));
        // Stores reach a share of their own and register with the emulator.
        QDir().mkpath(dir.filePath(QStringLiteral("share/QHOST/KvTemp/Scans")));
        qputenv("QUORLA_SHARE_ROOT", dir.filePath(QStringLiteral("share")).toLocal8Bit());
        // Documents kept for the next start go to a folder of the test's own.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        g_blnLoggedIn = true;
        g_USER_ID = QStringLiteral("JSMITH");
        computername = QStringLiteral("WORKSTATION01");
        FrmMain &main = frmMain();
        main.ezPageView->clearImage();
        main.ezTreeView->setImageHandle(main.ezPageView->imageHandle());
        ezBarcode().clearImage();
    }
    void TearDown() override
    {
        frmMain().ezPageView->clearImage();
        ezBarcode().clearImage();
        forms.reset();
        adoSetEmulatorFactory({});
        em.reset();
        qunsetenv("QUORLA_HOST_EMULATOR");
        qunsetenv("QUORLA_SHARE_ROOT");
        qunsetenv("XDG_DATA_HOME");
        env.reset();
    }

    // A recorded document and its image record with the page count.
    void seed(const QString &y, const QString &m, const QString &d, const QString &ctl, int pages)
    {
        ++seeded;
        const QString imid = QStringLiteral("IM%1").arg(seeded);
        em->runScript(QStringLiteral("INSERT INTO documents(db, year, month, day, ctl, imid) "
                                     "VALUES('LR', '%1', '%2', '%3', '%4', '%5');\n"
                                     "INSERT INTO image_master(imid, num_pages) VALUES('%5', '%6');\n")
                          .arg(y, m, d, ctl, imid, QStringLiteral("%1").arg(pages, 4, 10, QLatin1Char('0'))));
    }

    // The main window's stack: page i carries codes[i] (empty: none) and mark i + 1.
    void loadStack(const std::vector<std::string> &codes)
    {
        for (size_t i = 0; i < codes.size(); ++i)
            frmMain().ezTreeView->appendPage(stackPage(codes[i], int(i) + 1));
        frmMain().ezTreeView->setPage(1);
    }

    QStringList prompts() const
    {
        QStringList out;
        for (const MsgBoxCall &c : env->boxes.calls())
            out << c.prompt;
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<BatchEnv> env;
    std::unique_ptr<FormScript> forms;
    std::unique_ptr<hostsim::HostEmulator> em;
    int seeded = 0;
};

} // namespace

// Every date of the calendar around the edges (month 0 to 13, day 0 to 32, leap and common
// years, centuries): a barcode starts a document exactly when its first eight digits are a
// calendar date, year first; a wrong length or a letter never does.
TEST(ParseDocumentBarcode, OnlyThirteenCharactersWithACalendarDateStartADocument)
{
    auto daysIn = [](int year, int month) {
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        return month >= 1 && month <= 12 && year >= 1 ? days[month - 1] : 0;
    };
    for (int year : {0, 1, 1900, 1996, 2000, 2019, 2020, 2023, 2024, 2100, 2400, 9999}) {
        for (int month = 0; month <= 13; ++month) {
            for (int day = 0; day <= 32; ++day) {
                const QString text = QString::asprintf("%04d%02d%02d%05d", year, month, day, (year + month * day) % 100000);
                const bool starts = day >= 1 && day <= daysIn(year, month);
                BarcodeDocument doc;
                ASSERT_EQ(parseDocumentBarcode(text, 7, doc), starts) << text.toStdString();
                if (starts) {
                    EXPECT_EQ(doc.Barcode, text);
                    EXPECT_EQ(doc.FirstPage, 7);
                    EXPECT_EQ(doc.Year + "|" + doc.Month + "|" + doc.Day + "|" + doc.CtlNum,
                              text.left(4) + "|" + text.mid(4, 2) + "|" + text.mid(6, 2) + "|" + text.mid(8));
                }
            }
        }
    }
    for (const char *text : {"202001021234", "20200102123456", "2020O10212345", "20200l0212345", "202001O212345",
                             " 020010212345", ""}) {
        BarcodeDocument doc;
        EXPECT_FALSE(parseDocumentBarcode(QString::fromLatin1(text), 7, doc)) << text;
    }
}

TEST(InsertBCDoc, MovesTheRestUpAndRefusesAPlaceBeyondTheEnd)
{
    BatchEnv env;
    BarcodeDocuments docs(1);
    auto rec = [](const char *ctl) {
        BarcodeDocument d;
        d.CtlNum = QString::fromLatin1(ctl);
        return d;
    };
    insertBCDoc(rec("A"), docs, 1);
    insertBCDoc(rec("C"), docs, 2);
    insertBCDoc(rec("B"), docs, 2);
    ASSERT_EQ(docs.size(), 4u);
    EXPECT_EQ(docs[0].CtlNum, QString());
    EXPECT_EQ(docs[1].CtlNum + docs[2].CtlNum + docs[3].CtlNum, QStringLiteral("ABC"));
    insertBCDoc(rec("X"), docs, 9);
    EXPECT_EQ(docs.size(), 4u);
    ASSERT_EQ(env.boxes.calls().size(), 1);
    EXPECT_TRUE(env.boxes.calls()[0].prompt.contains(QStringLiteral("insertBCDoc")));
}

TEST(CopyPages, CopiesTheRangeWithRotationAndEndsOnPageOne)
{
    BatchEnv env;
    QelEzImage source, target;
    for (int i = 1; i <= 4; ++i)
        source.appendPage(monoPage(80 + 8 * i, 100));
    source.setPage(3);
    source.setRotation(3);
    CopyPages(source, target, 2, -1);
    ASSERT_EQ(target.pageCount(), 3);
    const int widths[] = {96, 104, 112};
    const int rotations[] = {1, 3, 1};
    for (int p = 1; p <= 3; ++p) {
        target.setPage(p);
        EXPECT_EQ(target.pageImage().width(), widths[p - 1]) << p;
        EXPECT_EQ(target.rotation(), rotations[p - 1]) << p;
    }
    CopyPages(source, target, 1, 1);
    EXPECT_EQ(target.pageCount(), 4) << "behind the pages already there";
    EXPECT_EQ(target.page(), 1);
    EXPECT_EQ(source.page(), 1);
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST_F(BarcodeSepTest, StackSplitsAtValidBarcodesAndMismatchesAreLogged)
{
    // Documents at pages 1, 4 and 9; page 5 has 12 characters and page 6 an invalid date.
    loadStack({"2020010200001", "", "", "2020020300002", "202002030000", "2020130300009", "", "",
               "2020030400003", ""});
    seed("2020", "01", "02", "00001", 5); // 3 scanned: fewer than recorded
    seed("2020", "02", "03", "00002", 7); // 5 scanned: fewer than recorded
    // 03/04/2020 00003 is not on file.
    env->boxes.answer(vb::vbNo);  // do not store 00001
    env->boxes.answer(vb::vbNo);  // do not store 00002
    env->boxes.answer(vb::vbOK);  // the host's message for 00003
    frmBarcodeScan().Show(vb::vbModal, &frmMain());

    const QStringList shown = prompts();
    ASSERT_EQ(shown.size(), 3) << shown.join('|').toStdString();
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("The number of pages scanned for 01/02/2020 00001 is less than expected.")));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Scanned Pages: 3\r\nExpected Pages: 0005\r\n")));
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral("Do you wish to continue to store 01/02/2020 00001 with 3 pages?")));
    EXPECT_EQ(env->boxes.calls()[0].title, QStringLiteral("Page Mismatch Error"));
    EXPECT_TRUE(shown[1].contains(QStringLiteral("Scanned Pages: 5\r\n")));
    EXPECT_TRUE(shown[1].contains(QStringLiteral("02/03/2020 00002")));

    const QString log = g_strBarcodeLog;
    EXPECT_TRUE(log.startsWith(QStringLiteral("This batch has errors: \r\nDocument 01/02/2020 00001 NOT STORED due to "
                                              "page mismatch. \r\n\tExpected Pages: 0005\r\n\tScanned Pages: 3\r\n")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Document 02/03/2020 00002 NOT STORED due to page mismatch. \r\n\t"
                                            "Expected Pages: 0007\r\n\tScanned Pages: 5\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Document 03/04/2020 00003 not found in database.\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("\r\n\r\nBegin Barcode Process at ")));
    EXPECT_TRUE(log.contains(QStringLiteral("Document Count: 3\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Barcode Process completed at ")));

    // The log window was shown over the main window with the same text; the run unloaded itself.
    ASSERT_FALSE(forms->calls().isEmpty());
    EXPECT_EQ(forms->calls().last().form, QStringLiteral("frmBarcodeLog"));
    EXPECT_EQ(forms->calls().last().owner, QStringLiteral("frmMain"));
    EXPECT_FALSE(frmBarcodeScan().roadRunning());
    EXPECT_EQ(frmMain().ezTreeView->pageCount(), 0) << "nothing was stored; the viewers are empty";
}

TEST_F(BarcodeSepTest, CancelledFirstPageAbortsAndPutsTheStackBack)
{
    loadStack({"", "2020010200001", ""});
    forms->onShow(QStringLiteral("frm1stBarcode"), [](Form &f) {
        auto &d = static_cast<Frm1stBarcode &>(f);
        EXPECT_EQ(d.ezPageView->pageCount(), 1);
        EXPECT_EQ(markOf(d.ezPageView->pageImage()), 1) << "the dialog shows page 1";
        EXPECT_TRUE(d.lblDirections->text().startsWith(QStringLiteral("No barcode was detected on the first page.")));
        d.CancelButton->click();
    });
    forms->onShow(QStringLiteral("frmBarcodeLog"), [](Form &f) {
        EXPECT_TRUE(static_cast<FrmBarcodeLog &>(f).txtLog->toPlainText().endsWith(
            QStringLiteral("Process aborted by user\n")));
    });
    processBarcodes();
    EXPECT_TRUE(g_strBarcodeLog.startsWith(QStringLiteral("Begin Barcode Process at ")));
    EXPECT_TRUE(g_strBarcodeLog.endsWith(QStringLiteral("Process aborted by user\r\n")));
    EXPECT_EQ(marks(*frmMain().ezTreeView), (QList<int>{1, 2, 3}));
    EXPECT_TRUE(prompts().isEmpty()) << prompts().join('|').toStdString();
}

TEST_F(BarcodeSepTest, FirstPageAnswerIsCheckedPaddedAndLookedUp)
{
    seed("0099", "07", "04", "00123", 2);
    ezBarcode().appendPage(stackPage("", 4));
    forms->onShow(QStringLiteral("frm1stBarcode"), [this](Form &f) {
        auto &d = static_cast<Frm1stBarcode &>(f);
        d.txtCTLNum_NYRG->setText(QStringLiteral("123"));
        d.txtMonth_NYRG->setText(QStringLiteral("x7"));
        d.txtDay_NYRG->setText(QStringLiteral("4"));
        d.txtYear_NYRG->setText(QStringLiteral("99"));
        d.OKButton->click();
        EXPECT_EQ(prompts(), QStringList{QStringLiteral("Control number, month, day, and year must be numeric values.")});
        EXPECT_TRUE(d.isLoaded());
        EXPECT_FALSE(d.accepted());
        // Month 13 is numeric and goes to the host, which does not know it.
        env->boxes.answer(vb::vbOK);
        d.txtMonth_NYRG->setText(QStringLiteral("13"));
        d.OKButton->click();
        EXPECT_FALSE(d.accepted());
        ASSERT_EQ(prompts().size(), 2);
        d.txtMonth_NYRG->setText(QStringLiteral("7"));
        d.OKButton->click();
        EXPECT_TRUE(d.accepted());
    });
    const BarcodeDocument answer = getFirstPage();
    EXPECT_EQ(answer.CtlNum, QStringLiteral("00123"));
    EXPECT_EQ(answer.Month, QStringLiteral("07"));
    EXPECT_EQ(answer.Day, QStringLiteral("04"));
    EXPECT_EQ(answer.Year, QStringLiteral("0099"));
    EXPECT_EQ(answer.FirstPage, 1);
    EXPECT_EQ(answer.Barcode, QString());
    EXPECT_EQ(g_NumPages, QStringLiteral("0002"));
    EXPECT_EQ(prompts().size(), 2);
}

TEST_F(BarcodeSepTest, TypedMonthAndDayMoveTheFocusAtTwoCharacters)
{
    Frm1stBarcode &d = frm1stBarcode();
    d.show();
    d.activateWindow();
    d.txtMonth_NYRG->setFocus();
    QCoreApplication::processEvents();
    d.txtMonth_NYRG->setText(QStringLiteral("2"));
    EXPECT_EQ(d.focusWidget(), d.txtMonth_NYRG);
    d.txtMonth_NYRG->setText(QStringLiteral("02"));
    EXPECT_EQ(d.focusWidget(), d.txtDay_NYRG);
    d.txtDay_NYRG->setText(QStringLiteral("15"));
    EXPECT_EQ(d.focusWidget(), d.txtYear_NYRG);
    d.Unload();
}

TEST_F(BarcodeSepTest, MismatchDialogCorrectsStoresAsIsOrRescansLater)
{
    seed("2021", "05", "06", "00777", 3);
    g_NumPages = QStringLiteral("0004");

    struct Case {
        const char *name;
        std::function<void(FrmbcPageMismatch &)> act;
        QString ctl;
        int firstPage;
        QList<int> treeAfter;
    };
    const QList<int> all{1, 2, 3, 4, 5, 6};
    const Case cases[] = {
        {"store as is", [](FrmbcPageMismatch &d) { d.Command2->click(); }, QString(), 0, all},
        {"rescan later", [](FrmbcPageMismatch &d) { d.btnAbortStore->click(); }, QStringLiteral("no store"), 0, all},
        {"correct at page 4",
         [](FrmbcPageMismatch &d) {
             EXPECT_EQ(d.lblScannedPages->text(), QStringLiteral("6"));
             EXPECT_EQ(d.lblExpectedPages->text(), QStringLiteral("4"));
             EXPECT_TRUE(d.lblDirections->text().startsWith(QStringLiteral(
                 "The number of pages scanned for this document does not match the number of pages recorded.\r\n\r\n")));
             int up = vb::vbKeyPageUp;
             d.Form_KeyDown(up, 0);
             EXPECT_EQ(d.ezPageView->page(), 1) << "no page before the first";
             for (int i = 0; i < 8; ++i) {
                 int down = vb::vbKeyPageDown;
                 d.Form_KeyDown(down, 0);
             }
             EXPECT_EQ(d.ezPageView->page(), 6) << "no page after the last";
             EXPECT_EQ(d.ezTreeView->page(), 6);
             for (int i = 0; i < 2; ++i) {
                 int upKey = vb::vbKeyPageUp;
                 d.Form_KeyDown(upKey, 0);
             }
             correctTo(d, "777", "5", "6", "2021");
         },
         QStringLiteral("00777"), 13, QList<int>{1, 2, 3}},
        {"correct at a clicked thumbnail",
         [](FrmbcPageMismatch &d) {
             d.ezTreeView->setPage(5);
             EXPECT_EQ(d.ezPageView->page(), 5);
             correctTo(d, "777", "5", "6", "2021");
         },
         QStringLiteral("00777"), 14, QList<int>{1, 2, 3, 4}},
    };
    for (const Case &c : cases) {
        frmMain().ezPageView->clearImage();
        loadStack({"", "", "", "", "", ""});
        forms->onShow(QStringLiteral("frmbcPageMismatch"), [&c](Form &f) { c.act(static_cast<FrmbcPageMismatch &>(f)); });
        BarcodeDocument doc;
        doc.FirstPage = 10;
        const BarcodeDocument answer = checkBcPageMismatch(doc);
        EXPECT_EQ(answer.CtlNum, c.ctl) << c.name;
        EXPECT_EQ(answer.FirstPage, c.firstPage) << c.name;
        if (!c.ctl.isEmpty() && c.ctl != u"no store") {
            EXPECT_EQ(answer.Month + answer.Day + answer.Year, QStringLiteral("05062021")) << c.name;
        }
        EXPECT_EQ(marks(*frmMain().ezTreeView), c.treeAfter) << c.name;
    }
    EXPECT_TRUE(prompts().isEmpty()) << prompts().join('|').toStdString();
}

TEST_F(BarcodeSepTest, CorrectedPiggyBackSendsBothDocumentsToTheStore)
{
    loadStack({"2020010200001", "", "", "", ""});
    seed("2020", "01", "02", "00001", 2);
    seed("2020", "01", "05", "00002", 3);
    forms->onShow(QStringLiteral("frmbcPageMismatch"), [](Form &f) {
        auto &d = static_cast<FrmbcPageMismatch &>(f);
        for (int i = 0; i < 2; ++i) {
            int down = vb::vbKeyPageDown;
            d.Form_KeyDown(down, 0);
        }
        correctTo(d, "2", "01", "05", "2020");
    });
    processBarcodes();
    const QString log = g_strBarcodeLog;
    const qsizetype piggy = log.indexOf(QStringLiteral("Piggy-back of 01/02/2020 00001 and 01/05/2020 00002 corrected.\r\n"
                                                       "Updated Document Count:2\r\n"));
    ASSERT_GE(piggy, 0) << log.toStdString();
    // Whatever the store answers, both documents reach it, the corrected one first with the
    // two pages left before the missed cover sheet, then the missed one with the rest.
    auto storeLine = [&log](const QString &doc, int pages, qsizetype from) {
        const qsizetype ok = log.indexOf(doc + QStringLiteral(" stored successfully.\r\n\tStored Pages: ")
                                             + QString::number(pages) + QStringLiteral("\r\n"), from);
        return ok >= 0 ? ok : log.indexOf(doc + QStringLiteral(" failed to store.\r\n"), from);
    };
    const qsizetype first = storeLine(QStringLiteral("01/02/2020 00001"), 2, piggy);
    ASSERT_GT(first, piggy) << log.toStdString();
    EXPECT_GT(storeLine(QStringLiteral("01/05/2020 00002"), 3, first), first) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("page mismatch"))) << "the inserted document matches its record";
}

TEST_F(BarcodeSepTest, ProgressWindowClosedFromItsFrameAtTheFirstYieldStaysUntilTheRunEnds)
{
    loadStack({"2020010200001", "", "2020010500002", ""});
    seed("2020", "01", "02", "00001", 2);
    seed("2020", "01", "05", "00002", 2);
    bool refused = false;
    QTimer::singleShot(0, [&refused] {
        FrmBarcodeScan &w = frmBarcodeScan();
        w.close();
        refused = w.isLoaded() && w.roadRunning();
    });
    frmBarcodeScan().Show(vb::vbModal, &frmMain());
    EXPECT_TRUE(refused);
    // The filter pass uses the same working file.
    EXPECT_EQ(ezBarcode().workingFileName(), env->temp() + QStringLiteral("bctemp.tif"));
    const QString log = g_strBarcodeLog;
    EXPECT_TRUE(log.startsWith(QStringLiteral("Begin Barcode Process at "))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("01/02/2020 00001 stored successfully.\r\n\tStored Pages: 2\r\n")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("01/05/2020 00002 stored successfully.\r\n\tStored Pages: 2\r\n")))
        << log.toStdString();
    for (Form *form : Forms())
        EXPECT_NE(form->objectName(), QStringLiteral("frmBarcodeScan")) << "unloaded once the run is over";
    EXPECT_TRUE(prompts().isEmpty()) << prompts().join('|').toStdString();
}

namespace {

// What the emulator registered, read with sqlite3: "imid pages" per stored image, in order.
QStringList registeredImages(const QString &db)
{
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
                 {db, QStringLiteral("SELECT imid || ' ' || pages FROM registrations WHERE func = 'S' ORDER BY seq")});
    if (!sqlite.waitForFinished() || sqlite.exitCode() != 0)
        return {QStringLiteral("sqlite3 failed")};
    return QString::fromLocal8Bit(sqlite.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// The page counts of the images stored below the share's images tree, by tiffinfo, sorted.
QList<int> storedImagePages(const QString &shareRoot)
{
    QList<int> out;
    QDirIterator it(shareRoot + QStringLiteral("/QHOST/IMAGES"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QProcess tiffinfo;
        tiffinfo.start(QStringLiteral("tiffinfo"), {it.next()});
        if (!tiffinfo.waitForFinished() || tiffinfo.exitCode() != 0)
            out << -1;
        else
            out << int(QString::fromLocal8Bit(tiffinfo.readAllStandardOutput()).count(QStringLiteral("TIFF Directory")));
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

// A document whose lookup or registration the host failed is logged by what the host may have
// done: a lookup unanswered is no "not found", a registration refused is not stored, one whose
// answer was lost after the host took it is perhaps stored, never failed. Its pages stay; the
// operator's Store registers it once, or logs it as already stored when the host had taken it.
TEST_F(BarcodeSepTest, AStoreTheHostFailedIsLoggedByWhatTheHostMayHaveDone)
{
    const char *const stored = " stored successfully.\r\n";
    const char *const held = " already stored: the records host holds it as scanned.\r\n";
    struct Case {
        const char *ctl;
        hostsim::FaultKind kind;
        int skip; // IM650R calls that go through: the run's lookup, the store's question
        const char *ending;
        int registered;
        const char *storedAgain; // the log of the operator's Store
    } cases[] = {
        {"00011", hostsim::FaultKind::ScriptedAnswer, 2, " failed to store.\r\n", 0, stored},
        {"00012", hostsim::FaultKind::LostReply, 2, " may have been stored", 1, held},
        {"00013", hostsim::FaultKind::LostReply, 0, ": the records host did not answer its lookup.\r\n", 0, stored},
        {"00014", hostsim::FaultKind::ExecuteFailure, 0, ": the records host refused its lookup.\r\n", 0, stored},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ctl);
        const QString ctl = QLatin1String(c.ctl);
        frmMain().ezPageView->clearImage();
        frmMain().ezTreeView->clearImage();
        g_blnPromptStore = false;
        loadStack({"20200102" + std::string(c.ctl), ""});
        seed("2020", "01", "02", ctl, 2);
        const qsizetype before = registeredImages(em->path()).size();
        hostsim::Fault f;
        f.kind = c.kind;
        f.program = QStringLiteral("IM650R");
        f.skip = c.skip;
        if (c.kind == hostsim::FaultKind::ScriptedAnswer)
            f.answer = {{QStringLiteral("ErrMsg"), QStringLiteral("STORE AREA LOCKED")}};
        em->addFault(f);
        env->boxes.clear();
        processBarcodes();
        em->clearFaults();
        const QString log = g_strBarcodeLog;
        EXPECT_TRUE(log.contains(QStringLiteral("01/02/2020 ") + ctl + QLatin1String(c.ending))) << log.toStdString();
        EXPECT_FALSE(log.contains(ctl + QStringLiteral(" stored successfully"))) << log.toStdString();
        EXPECT_FALSE(log.contains(QStringLiteral("not found in database"))) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("Pages not stored: 2 (back in the page view)"))) << log.toStdString();
        EXPECT_EQ(frmMain().ezPageView->pageCount(), 2);
        EXPECT_EQ(registeredImages(em->path()).size() - before, c.registered);
        processBarcodes();
        EXPECT_TRUE(g_strBarcodeLog.contains(QStringLiteral("01/02/2020 ") + ctl + QLatin1String(c.storedAgain)))
            << g_strBarcodeLog.toStdString();
        EXPECT_EQ(registeredImages(em->path()).size() - before, 1);
        EXPECT_EQ(frmMain().ezPageView->pageCount(), 0);
    }
}

TEST_F(BarcodeSepTest, StoresThatFailMidStackPutTheirPagesBackToBeStoredOnceTheShareIsMended)
{
    // Documents at pages 1, 3 and 6; the second has a page more than recorded.
    loadStack({"2020010200001", "", "2020010500002", "", "", "2020010700003", ""});
    seed("2020", "01", "02", "00001", 2);
    seed("2020", "01", "05", "00002", 2);
    seed("2020", "01", "07", "00003", 2);
    const QString scans = dir.filePath(QStringLiteral("share/QHOST/KvTemp/Scans"));
    bool breakShare = true;
    // The share is lost while the operator answers the second document's mismatch.
    forms->onShow(QStringLiteral("frmbcPageMismatch"), [&](Form &f) {
        if (breakShare) {
            EXPECT_TRUE(QDir(scans).removeRecursively());
            QFile blocker(scans);
            EXPECT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        static_cast<FrmbcPageMismatch &>(f).Command2->click();
    });
    processBarcodes();

    QString log = g_strBarcodeLog;
    EXPECT_TRUE(log.contains(QStringLiteral("01/02/2020 00001 stored successfully.\r\n\tStored Pages: 2\r\n")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("01/05/2020 00002 failed to store.\r\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("01/07/2020 00003 failed to store.\r\n"))) << log.toStdString();
    EXPECT_TRUE(log.startsWith(QStringLiteral("This batch has errors: ")));
    EXPECT_TRUE(log.contains(QStringLiteral("Pages not stored: 5 (back in the page view)\r\n"))) << log.toStdString();
    EXPECT_EQ(registeredImages(em->path()), QStringList{QStringLiteral("IM1 0002")});
    // The two documents that failed are back in both views, in stack order, to be stored again.
    EXPECT_EQ(marks(*frmMain().ezPageView), (QList<int>{3, 4, 5, 6, 7}));
    EXPECT_EQ(frmMain().ezTreeView->pageCount(), 5);
    EXPECT_TRUE(g_blnPromptStore);
    EXPECT_TRUE(frmMain().btnStore->isEnabled());
    EXPECT_FALSE(frmMain().ezPageView->isHidden());

    // Mended, the next Store stores both, and nothing is left over.
    breakShare = false;
    ASSERT_TRUE(QFile::remove(scans));
    ASSERT_TRUE(QDir().mkpath(scans));
    env->boxes.clear();
    processBarcodes();
    log = g_strBarcodeLog;
    EXPECT_TRUE(log.startsWith(QStringLiteral("This batch has errors: \r\nDocument 01/05/2020 00002 stored with page "
                                              "mismatch.")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("01/07/2020 00003 stored successfully.\r\n\tStored Pages: 2\r\n")))
        << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("Pages not stored"))) << log.toStdString();
    EXPECT_EQ(registeredImages(em->path()),
              (QStringList{QStringLiteral("IM1 0002"), QStringLiteral("IM2 0003"), QStringLiteral("IM3 0002")}));
    EXPECT_EQ(storedImagePages(dir.filePath(QStringLiteral("share"))), (QList<int>{2, 2, 3}));
    EXPECT_EQ(frmMain().ezPageView->pageCount(), 0);
    EXPECT_FALSE(g_blnPromptStore);
    EXPECT_TRUE(prompts().isEmpty()) << prompts().join('|').toStdString();
}

// The program is asked to end mid-stack (a signal, the display lost): nothing more is stored, and
// each document not stored is kept under what its barcode named (not under the last lookup). The
// next start brings them back one by one; each Store registers its document once.
TEST_F(BarcodeSepTest, AskedToEndMidStackKeepsEachDocumentUnderItsOwnBarcode)
{
    struct Kept {
        QString name;
        QList<int> marks;
    };
    struct Case {
        const char *name;
        std::vector<std::string> codes; // documents at pages 1 (or typed), 3 and 6
        const char *endAt;              // the dialog open when the end is asked
        std::function<void(Form &)> answer;
        QStringList registeredAtEnd;
        QList<Kept> kept;
        QStringList registeredAfter;
    };
    const auto storeAsIs = [](Form &f) { static_cast<FrmbcPageMismatch &>(f).Command2->click(); };
    const auto rescanLater = [](Form &f) { static_cast<FrmbcPageMismatch &>(f).btnAbortStore->click(); };
    const auto typeFirst = [](Form &f) {
        auto &d = static_cast<Frm1stBarcode &>(f);
        d.txtCTLNum_NYRG->setText(QStringLiteral("1"));
        d.txtMonth_NYRG->setText(QStringLiteral("1"));
        d.txtDay_NYRG->setText(QStringLiteral("2"));
        d.txtYear_NYRG->setText(QStringLiteral("2020"));
        d.OKButton->click();
    };
    const std::vector<std::string> coded{"2020010200001", "", "2020010500002", "", "", "2020010700003", ""};
    std::vector<std::string> uncoded = coded;
    uncoded[0].clear();
    const Kept third{QStringLiteral("01/07/2020 Control 00003"), {6, 7}};
    const Case cases[] = {
        {"second stored as it is", coded, "frmbcPageMismatch", storeAsIs, {"IM1 0002", "IM2 0003"}, {third},
         {"IM1 0002", "IM2 0003", "IM3 0002"}},
        {"second left to rescan", coded, "frmbcPageMismatch", rescanLater, {"IM1 0002"}, {third},
         {"IM1 0002", "IM3 0002"}},
        {"first page typed", uncoded, "frm1stBarcode", typeFirst, {},
         {{QStringLiteral("01/02/2020 Control 00001"), {1, 2}},
          {QStringLiteral("01/05/2020 Control 00002"), {3, 4, 5}},
          third},
         {"IM1 0002", "IM2 0003", "IM3 0002"}},
    };
    // The end is asked while the row's dialog is open; afterwards the operator types the first
    // page's document and stores a mismatch as it is.
    const Case *ending = nullptr;
    bool closed = false;
    std::function<void(const char *)> answerEachShow = [&](const char *dialog) {
        forms->onShow(QString::fromLatin1(dialog), [&, dialog](Form &f) {
            answerEachShow(dialog); // an action answers one show
            if (ending && qstrcmp(ending->endAt, dialog) == 0) {
                requestQuit([&closed] { closed = true; });
                ending->answer(f);
            } else if (qstrcmp(dialog, "frm1stBarcode") == 0) {
                typeFirst(f);
            } else {
                storeAsIs(f);
            }
        });
    };
    answerEachShow("frmbcPageMismatch");
    answerEachShow("frm1stBarcode");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        em->runScript(QStringLiteral("DELETE FROM documents;\nDELETE FROM image_master;\nDELETE FROM registrations;\n"));
        seeded = 0;
        seed("2020", "01", "02", "00001", 2);
        seed("2020", "01", "05", "00002", 2);
        seed("2020", "01", "07", "00003", 2);
        frmMain().ezPageView->clearImage();
        loadStack(c.codes);
        ending = &c;
        closed = false;
        env->boxes.clear();
        processBarcodes();
        EXPECT_TRUE(QTest::qWaitFor([&closed] { return closed && !quitRequested(); }, 10000));
        ending = nullptr;
        const QString log = g_strBarcodeLog;
        EXPECT_EQ(registeredImages(em->path()), c.registeredAtEnd) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("Barcode Process stopped at "))) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("(kept for the next start)\r\n"))) << log.toStdString();
        EXPECT_EQ(frmMain().ezPageView->pageCount(), 0) << "nothing is left for the ending to keep again";
        EXPECT_FALSE(g_blnPromptStore);
        QStringList names;
        for (const QString &ini : QDir(recoveryFolder()).entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name))
            names << QSettings(QDir(recoveryFolder()).filePath(ini), QSettings::IniFormat)
                         .value(QStringLiteral("document/name"))
                         .toString();
        QStringList expected;
        for (const Kept &k : c.kept)
            expected << k.name;
        EXPECT_EQ(names, expected);

        // The next start brings the first back; each Store stores it and brings back the next.
        env->boxes.clear();
        restoreRecoveryDocument();
        for (const Kept &k : c.kept) {
            EXPECT_EQ(marks(*frmMain().ezPageView), k.marks) << k.name.toStdString();
            EXPECT_TRUE(prompts().contains(QStringLiteral("%1 scanned pages of %2 were not stored when the program "
                                                          "ended; they are back in the page view.")
                                               .arg(k.marks.size())
                                               .arg(k.name)))
                << prompts().join('|').toStdString();
            processBarcodes();
        }
        EXPECT_EQ(registeredImages(em->path()), c.registeredAfter) << g_strBarcodeLog.toStdString();
        EXPECT_EQ(QDir(recoveryFolder()).entryList({QStringLiteral("*.ini"), QStringLiteral("*.tif")}, QDir::Files),
                  QStringList());
        EXPECT_EQ(frmMain().ezPageView->pageCount(), 0);
    }
}

TEST_F(BarcodeSepTest, ACorrectionAtTheFirstPageOfARangeLogsTheDocumentLeftWithoutPages)
{
    loadStack({"2020010200001", "", ""});
    seed("2020", "01", "02", "00001", 2);
    seed("2020", "01", "05", "00002", 3);
    // The cover sheet's barcode was wrong: the whole range is the typed document.
    forms->onShow(QStringLiteral("frmbcPageMismatch"), [](Form &f) {
        auto &d = static_cast<FrmbcPageMismatch &>(f);
        EXPECT_EQ(d.ezPageView->page(), 1);
        correctTo(d, "2", "01", "05", "2020");
    });
    processBarcodes();
    const QString log = g_strBarcodeLog;
    EXPECT_TRUE(log.startsWith(QStringLiteral("This batch has errors: \r\nDocument 01/02/2020 00001 NOT STORED: "
                                              "the correction left it no pages.\r\n")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("01/05/2020 00002 stored successfully.\r\n\tStored Pages: 3\r\n")))
        << log.toStdString();
    EXPECT_EQ(registeredImages(em->path()), QStringList{QStringLiteral("IM2 0003")});
    EXPECT_EQ(frmMain().ezPageView->pageCount(), 0);
}
