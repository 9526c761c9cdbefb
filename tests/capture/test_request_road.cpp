// The request road end to end against the records-host emulator, for every database mode.
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QProcess>

#include <functional>

#include "capture/indexchecks.h"
#include "capture/frmRescan.h"
#include "capture/paperstore.h"
#include "capture/scanning.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/scan/fakescanner.h"
#include "platform/scan/sanesession.h"
#include "capture/request.h"
#include "platform/vb/vb.h"
#include "test_request_fixture.h"

namespace {

const char *const kOffice =
    "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type) VALUES"
    "  ('LR', '001010', '0001', '2019', '04', '01', '00101', '100001', 'K', 'LR201900101', 'DEED');\n"
    "INSERT INTO documents(db, doc_num, year, month, day, ctl, key_code, doc_id, doc_type) VALUES"
    "  ('LC', '0100001', '2018', '03', '02', '00102', 'L', 'LC201800102', 'CERT');\n"
    "INSERT INTO documents(db, plan1, plan2, plan3, year, month, day, ctl, doc_type) VALUES"
    "  ('LP', '000101', 'A', '01', '2011', '06', '09', '00103', 'PLAN');\n"
    "INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, ref, doc_type) VALUES"
    "  ('LR', 'L', '003000', '0013', '2016', '05', '07', '00104', 'R00104', 'MTG');\n"
    "INSERT INTO documents(db, ref_code, ref_num, year, month, day, ctl, filename, doc_type) VALUES"
    "  ('FH', 'WI', '0005000000', '2012', '01', '15', '00105', 'FH000001.TIF', 'WIL');\n"
    "INSERT INTO book_ranges(book_code, book, first_page, last_page, path, prefix) VALUES"
    "  ('', '000900', '0001', '0600', 'BOOKS\\B000900\\', 'B00900'),"
    "  ('NYREG', '000800', '0001', '0500', 'BOOKS\\N000800\\', 'N00800');\n"
    "INSERT INTO certificates(doc_num, cert_num, imid, num_pages) VALUES ('0200001', 'C-40000', '', '0000');\n";

struct ModeCase {
    const char *name;
    qint16 mode;
    std::function<void()> index; // the document index the lookup uses
    QStringList programs;         // host programs called, in order
    bool result;
    bool prevNext;                // Prev and Next enabled afterwards
};

} // namespace

class RequestModes : public RequestRoadTest {};

TEST_F(RequestModes, EachModeCallsItsLookupsAndLeavesTheNoImageState)
{
    em->runScript(QString::fromLatin1(kOffice));
    const QList<ModeCase> cases = {
        {"recorded land", MODE_MARG, [] { g_Book = "001010"; g_Page = "0001"; }, {"SY331RI", "IM650R"}, true, true},
        {"updated recorded land", MODE_MERG_UPD, [] { g_Book = "001010"; g_Page = "0001"; },
         {"SY331RI", "IM650R"}, true, true},
        {"recorded land not found", MODE_MARG, [] { g_Book = "009999"; g_Page = "0001"; }, {"SY331RI"}, false, false},
        {"land court", MODE_MALC, [] { g_DocNum = "0100001"; }, {"LC630RI", "IM650R"}, true, true},
        {"plans", MODE_MALCP, [] { g_Plan1 = "000101"; g_Plan2 = "A"; g_Plan3 = "01"; },
         {"LP630RI", "IM650R"}, true, true},
        {"book scan", MODE_MEBS, [] { g_Book = "000900"; g_Page = "0001"; g_EndingPage = "0010"; },
         {"RG632R"}, true, false},
        {"recorded land book scan", MODE_MARGBS,
         [] { g_Book = "000900"; g_Page = "0001"; g_EndingPage = "0010"; }, {"RG632R"}, true, false},
        {"New York book scan", MODE_NYBS,
         [] { g_BookCode = "NYREG"; g_Book = "000800"; g_Page = "0001"; g_EndingPage = "0002"; }, {"RG632R"}, true,
         true},
        {"New York by control number", MODE_NYRG,
         [] { g_blnNYCTLNum = true; g_Year = "2016"; g_Month = "05"; g_Day = "07"; g_CTLNum = "00104"; },
         {"SY330RI", "IM650R"}, true, true},
        {"New York by book", MODE_NYRG,
         [] { g_blnNYCTLNum = false; g_BookCode = "L"; g_Book = "003000"; g_Page = "0013"; },
         {"SY331RI", "IM650R"}, true, true},
        {"New York by book not found", MODE_NYCR,
         [] { g_blnNYCTLNum = false; g_BookCode = "C"; g_Book = "003000"; g_Page = "0013"; }, {"SY331RI"}, false,
         false},
        {"reference", MODE_FHS, [] { g_RefCode = "WI"; g_RefNum = "0005000000"; }, {"FH631RI", "FH800R"}, true,
         true},
        {"barcode scan", MODE_NYBR, [] {}, {}, true, true},
        {"certificates", MODE_MACC, [] { g_DocNum = "0200001"; g_CertNum = ""; }, {"IM655R"}, true, true},
        {"unknown mode", 13, [] {}, {}, false, false},
    };
    for (const ModeCase &c : cases) {
        SCOPED_TRACE(c.name);
        em->clearCallLog();
        boxes().clear();
        g_dbMode = c.mode;
        gdtCurrentDocType = 0;
        g_blnNYCTLNum = false;
        new_bkPg(false, true);
        c.index();
        main->chkAutoNextPage->setChecked(true);
        main->chkAutoNextPage->setEnabled(true);
        g_blnPromptStore = true;

        EXPECT_EQ(run_program(QStringLiteral("A")), c.result);

        QStringList called = programs();
        called.removeAll(QStringLiteral("SQL"));
        EXPECT_EQ(called, c.programs);
        EXPECT_EQ(main->btnPrev->isEnabled(), c.prevNext);
        EXPECT_EQ(main->btnNext->isEnabled(), c.prevNext);
        if (c.result) {
            EXPECT_TRUE(main->chkAutoNextPage->isEnabled());
            EXPECT_FALSE(g_blnPromptStore);
            EXPECT_EQ(main->btnGoNew->text(), QStringLiteral("Rest&art"));
            EXPECT_TRUE(main->btnScan->isEnabled());
            EXPECT_EQ(main->defaultButton(), main->btnScan);
            EXPECT_TRUE(main->mnuHandFeed->isEnabled());
            EXPECT_FALSE(main->mnuUndo->isEnabled());
            EXPECT_TRUE(main->lblStatus->text().startsWith(QStringLiteral("Scan to scan the document\r\n")));
            EXPECT_TRUE(main->lblStatus->text().endsWith(keyHelpText()));
            // nothing stored: no image to show
            EXPECT_TRUE(g_blnTif);
            EXPECT_TRUE(g_blnByteAligned);
            EXPECT_TRUE(main->ezPageView->isHidden());
            EXPECT_TRUE(main->ezTreeView->isHidden());
            for (QPushButton *b : {main->btnStore, main->btnRefresh, main->btnRedact, main->btnPrint})
                EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
        } else {
            EXPECT_FALSE(main->chkAutoNextPage->isChecked());
            EXPECT_FALSE(main->chkAutoNextPage->isEnabled());
            EXPECT_EQ(main->btnGoNew->text(), QStringLiteral("St&art"));
        }
        g_blnPromptStore = false;
    }
    g_dbMode = 13;
    boxes().clear();
    run_program(QStringLiteral("A"));
    EXPECT_EQ(prompts(), QStringList{QStringLiteral("Function not yet available.")});
    EXPECT_EQ(boxes().calls().value(0).title, QStringLiteral("The Korvane Scan Tool"));
}

TEST_F(RequestModes, NotSignedOnTouchesNothing)
{
    g_blnLoggedIn = false;
    QFile temp(g_strTempPath + QStringLiteral("temp.tif"));
    ASSERT_TRUE(temp.open(QIODevice::WriteOnly));
    temp.write("II*");
    temp.close();
    main->lblStatus->setText(QStringLiteral("before"));

    EXPECT_FALSE(run_program(QStringLiteral("A")));

    ASSERT_EQ(forms().calls().size(), 1);
    EXPECT_EQ(forms().calls().at(0).form, QStringLiteral("frmLogin"));
    EXPECT_TRUE(QFileInfo::exists(temp.fileName()));
    EXPECT_EQ(main->lblStatus->text(), QStringLiteral("before"));
    EXPECT_TRUE(programs().isEmpty());
}

TEST_F(RequestModes, AFailedConnectionIsReportedAndNothingIsLookedUp)
{
    setHostSettings(QStringLiteral("QHOST"), QStringLiteral("QUSER"), QStringLiteral("wrong"));
    g_Book = QStringLiteral("001010");
    g_Page = QStringLiteral("0001");

    EXPECT_FALSE(run_program(QStringLiteral("A")));

    ASSERT_EQ(boxes().calls().size(), 1);
    EXPECT_TRUE(boxes().calls().at(0).prompt.startsWith(QStringLiteral("Error in run_program at line 5")))
        << boxes().calls().at(0).prompt.toStdString();
    // Not connecting any more: the window asks for the index again.
    EXPECT_TRUE(main->lblStatus->text().startsWith(QStringLiteral("Enter your starting book and page")))
        << main->lblStatus->text().toStdString();
    QStringList called = programs();
    called.removeAll(QStringLiteral("SQL"));
    EXPECT_TRUE(called.isEmpty());
}

TEST_F(RequestModes, PaperLabelsOfTheLookedUpDocument)
{
    em->runScript(QString::fromLatin1(kOffice));

    g_dbMode = MODE_NYRG;
    new_bkPg(false, true);
    g_blnNYCTLNum = true;
    g_Year = "2016", g_Month = "05", g_Day = "07", g_CTLNum = "00104";
    ASSERT_TRUE(run_program(QStringLiteral("A")));
    EXPECT_EQ(main->lblBookCode_NYRG->text(), QStringLiteral("L"));
    EXPECT_EQ(main->lblBook_NYRG->text(), QStringLiteral("3000-13"));
    EXPECT_EQ(main->lblCTLnum_NYRG->text(), QStringLiteral("104"));
    EXPECT_EQ(main->lblDate_NYRG->text(), QStringLiteral("05/07/2016"));
    EXPECT_EQ(main->lblNumPages_NYRG->text(), QStringLiteral("Unknown"));
    EXPECT_EQ(main->lblDocType_NYRG->text(), QStringLiteral("MTG  ")); // as the host sent it
    EXPECT_EQ(main->lblControlNumLabel_NYRG->text(), QStringLiteral("Control #:"));
    EXPECT_TRUE(main->lblPage_NYRG->text().isEmpty());
    EXPECT_TRUE(main->lblTempDate_NYRG->isHidden());
    for (QLineEdit *t : {main->txtBookCode_NYRG, main->txtBook_NYRG, main->txtCTLNum_NYRG, main->txtYear_NYRG})
        EXPECT_FALSE(t->isEnabled());

    g_dbMode = MODE_MALCP;
    new_bkPg(false, true);
    g_Plan1 = "000101", g_Plan2 = "A", g_Plan3 = "01";
    ASSERT_TRUE(run_program(QStringLiteral("A")));
    EXPECT_EQ(main->lblPlan1_MALCP->text(), QStringLiteral("101"));
    EXPECT_EQ(main->lblPlan2_MALCP->text(), QStringLiteral("A  "));
    EXPECT_EQ(main->lblPlan3_MALCP->text(), QStringLiteral("01"));
    EXPECT_EQ(main->lblDate_MALCP->text(), QStringLiteral("06/09/2011"));
    EXPECT_EQ(main->lblNumPages_MALCP->text(), QStringLiteral("0"));
    EXPECT_FALSE(main->txtPlan1_MALCP->isEnabled());

    g_dbMode = MODE_MARG;
    new_bkPg(false, true);
    g_Book = "001010", g_Page = "0001";
    ASSERT_TRUE(run_program(QStringLiteral("A")));
    EXPECT_EQ(main->lblNumPages_MARG->text(), QStringLiteral("N/A"));
    EXPECT_EQ(main->lblDocType_MARG->text(), QStringLiteral("DEED "));
}

// ---- e-filed documents ----

namespace {

const char *const kQueue =
    "INSERT INTO efile_queue(partner_id, submit_cde, location_cde, batch_id, document_id, status, workstation, db, "
    "key_code, year, month, day, ctl, book, page, in_doc_path, in_doc_id, doc_type, num_pages, unindexed) VALUES"
    "  ('02', 'SUB0000001', 'LOC0000001', '0001001', '0000000001', 'Q', '', 'LR', 'B', '2026', '02', '02', '50001',"
    "   '001901', '0008', '', 'EF0000000001', 'DEED', '0002', '0'),"
    "  ('02', 'SUB0000001', 'LOC0000001', '0001001', '0000000002', 'H', '10.0.0.9', 'LR', 'E', '2026', '03', '03',"
    "   '50002', '', '', '', 'EF0000000002', 'MTG', '0001', '0'),"
    "  ('01', 'SUB0000003', 'LOC0000001', '0001002', '0000000003', 'Q', '', 'LC', 'E', '2026', '04', '04', '50003',"
    "   '', '', '', 'EF0000000003', 'CERT', '0003', '0');\n";

} // namespace

class RequestEFile : public RequestRoadTest {
protected:
    void SetUp() override
    {
        RequestRoadTest::SetUp();
        em->runScript(QString::fromLatin1(kQueue));
        g_EfilePartnerIds = {QStringLiteral("01"), QStringLiteral("02")};
        for (ComboBox *c : {main->cboEFilePartnerMARG, main->cboEFilePartnerNYRG}) {
            c->clear();
            c->addItem(QStringLiteral("First Partner"));
            c->addItem(QStringLiteral("Second Partner"));
        }
        gdtCurrentDocType = 1;
    }
    void TearDown() override
    {
        gdtCurrentDocType = 0;
        RequestRoadTest::TearDown();
    }
    void typeBatch(const QString &partner, const QString &submit, const QString &batch, const QString &docId)
    {
        gsPartnerId = partner;
        gsSubmitCde = submit;
        gsLocationCde = QStringLiteral("LOC0000001");
        gsBatchId = batch;
        gsDocumentId = docId;
        main->txtSubmitCdMARGElec->setText(submit);
        main->txtTrandIDMARG->setText(batch);
        main->txtLocationCdMARGElec->setText(gsLocationCde);
        main->txtDocIdMARGElec->setText(docId);
    }
};

TEST_F(RequestEFile, GetBatchFillsTheEntryFieldsAndShowsNoImage)
{
    g_dbMode = MODE_MARG;
    new_bkPg(false, true);

    ASSERT_TRUE(run_program(QStringLiteral("R")));

    QStringList called = programs();
    called.removeAll(QStringLiteral("SQL"));
    EXPECT_EQ(called, QStringList{QStringLiteral("IM652R")}); // no view, although the host gave an image path
    EXPECT_EQ(main->cboEFilePartnerMARG->listIndex(), 1);
    EXPECT_EQ(main->txtSubmitCdMARGElec->text(), QStringLiteral("SUB0000001"));
    EXPECT_EQ(main->txtLocationCdMARGElec->text(), QStringLiteral("LOC0000001"));
    EXPECT_EQ(main->txtTrandIDMARG->text(), QStringLiteral("0001001"));
    EXPECT_EQ(main->txtDocIdMARGElec->text(), QStringLiteral("0000000001"));
    EXPECT_TRUE(main->ezPageView->isHidden());
    EXPECT_FALSE(main->btnPrint->isEnabled());
    // e-file tail: Go is the default, hand-feed is off, the e-file help text
    EXPECT_EQ(main->defaultButton(), main->btnGoNew);
    EXPECT_FALSE(main->mnuHandFeed->isEnabled());
    EXPECT_TRUE(main->lblStatus->text().startsWith(QStringLiteral("Restart to restart the batch\r\n")));
}

TEST_F(RequestEFile, BookIndexedLookupShowsTheBookRowAbovePagesAndType)
{
    g_dbMode = MODE_MARG;
    new_bkPg(false, true);
    typeBatch(QStringLiteral("02"), QStringLiteral("SUB0000001"), QStringLiteral("0001001"),
              QStringLiteral("0000000001"));

    ASSERT_TRUE(run_program(QStringLiteral("A")));

    EXPECT_EQ(main->Label73->text(), QStringLiteral("Book Info:"));
    EXPECT_EQ(ctl::top(main->Label73), 2190);
    EXPECT_EQ(ctl::top(main->lblBookMAMERGElec), 2190);
    EXPECT_EQ(main->lblBookMAMERGElec->text(), QStringLiteral("1901-8"));
    EXPECT_EQ(main->lblCtlMAMERGElec->text(), QStringLiteral("50001"));
    EXPECT_EQ(main->lblCtlDateMAMERGElec->text(), QStringLiteral("02/02/2026"));
    EXPECT_EQ(ctl::top(main->Label70), 2880);
    EXPECT_EQ(ctl::top(main->lblNumPages_MAMERG_ELEC), 2880);
    EXPECT_EQ(main->lblNumPages_MAMERG_ELEC->text(), QStringLiteral("2"));
    EXPECT_EQ(ctl::top(main->Label71), 3195);
    EXPECT_EQ(Trim(main->lblDocType_MAMERG_ELEC->text()), QStringLiteral("DEED"));
    EXPECT_FALSE(main->lblDocType_MAMERG_ELEC->isHidden());
    EXPECT_FALSE(main->Label74->isHidden());
}

TEST_F(RequestEFile, LandCourtLookupShowsTheDocumentRowLast)
{
    g_dbMode = MODE_MALC;
    new_bkPg(false, true);
    typeBatch(QStringLiteral("01"), QStringLiteral("SUB0000003"), QStringLiteral("0001002"),
              QStringLiteral("0000000003"));

    ASSERT_TRUE(run_program(QStringLiteral("A")));

    EXPECT_EQ(ctl::top(main->Label70), 2190);
    EXPECT_EQ(main->lblNumPages_MAMERG_ELEC->text(), QStringLiteral("3"));
    EXPECT_EQ(ctl::top(main->Label71), 2535);
    EXPECT_EQ(ctl::top(main->Label73), 2880);
    EXPECT_EQ(main->Label73->text(), QStringLiteral("Doc #:"));
    EXPECT_EQ(Trim(main->lblBookMAMERGElec->text()), QStringLiteral("EF0000000003"));
    EXPECT_TRUE(main->Label74->isHidden());
    EXPECT_TRUE(main->lblCtlMAMERGElec->isHidden());
    EXPECT_FALSE(main->lblBookMAMERGElec->isHidden());
}

TEST_F(RequestEFile, ResultCodeEightClearsTheEntryFieldsOtherFailuresKeepThem)
{
    g_dbMode = MODE_MARG;
    new_bkPg(false, true);
    // held by another workstation: code 8
    typeBatch(QStringLiteral("02"), QStringLiteral("SUB0000001"), QStringLiteral("0001001"),
              QStringLiteral("0000000002"));
    EXPECT_FALSE(run_program(QStringLiteral("A")));
    EXPECT_TRUE(main->txtSubmitCdMARGElec->text().isEmpty());
    EXPECT_TRUE(main->txtDocIdMARGElec->text().isEmpty());
    EXPECT_FALSE(main->chkAutoNextPage->isEnabled());

    // not on file: code 1
    typeBatch(QStringLiteral("02"), QStringLiteral("SUB0000001"), QStringLiteral("0001001"),
              QStringLiteral("0000000099"));
    EXPECT_FALSE(run_program(QStringLiteral("A")));
    EXPECT_EQ(main->txtSubmitCdMARGElec->text(), QStringLiteral("SUB0000001"));
    EXPECT_EQ(main->txtDocIdMARGElec->text(), QStringLiteral("0000000099"));
}

// ---- a document with a stored image ----

class RequestDocument : public RequestRoadTest {
protected:
    void SetUp() override
    {
        RequestRoadTest::SetUp();
        em->runScript(QStringLiteral(
            "INSERT INTO image_master(imid, folder, subdir, member, num_pages, doc_type, redacted, size) VALUES"
            "  ('IM0000000001', 'IMG2019', '', 'IMAGES', '0001', 'DEED', 'Y', 100);\n"
            "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type, imid) "
            "VALUES ('LR', '001010', '0001', '2019', '04', '01', '00101', '100001', 'K', 'LR201900101', 'DEED', "
            "'IM0000000001');\n"));
        storeImageFile(QStringLiteral("IMG2019"), QStringLiteral("IM0000000001"));
        g_dbMode = MODE_MARG;
        new_bkPg(false, true);
        g_Book = QStringLiteral("001010");
        g_Page = QStringLiteral("0001");
    }
};

TEST_F(RequestDocument, ALookedUpDocumentIsShownAndPrintable)
{
    ASSERT_TRUE(run_program(QStringLiteral("A"))) << prompts().join(QStringLiteral(" | ")).toStdString()
                                                  << programs().join(QStringLiteral(",")).toStdString();

    EXPECT_TRUE(programs().contains(QStringLiteral("IM091R")));
    EXPECT_EQ(g_ImID, QStringLiteral("IM0000000001"));
    EXPECT_TRUE(main->ezPageView->isVisibleTo(main));
    EXPECT_TRUE(main->ezTreeView->isVisibleTo(main));
    EXPECT_EQ(main->ezPageView->pageCount(), 1);
    EXPECT_EQ(main->lblNumPages_MARG->text(), QStringLiteral("1"));
    EXPECT_TRUE(main->btnPrint->isEnabled());
    EXPECT_TRUE(main->btnRedact->isEnabled());
    EXPECT_EQ(main->btnGoNew->text(), QStringLiteral("Rest&art"));
}

TEST_F(RequestDocument, TheRedactionEditorOpensOnlyForAnUnredactedDocumentWhenAsked)
{
    auto editorShown = [] {
        for (const FormScript::Call &c : forms().calls())
            if (c.form == u"frmImageRedaction")
                return true;
        return false;
    };
    main->chkRedaction->setChecked(true);
    ASSERT_TRUE(run_program(QStringLiteral("A"))); // the host has a redacted version ("Y")
    EXPECT_FALSE(editorShown());

    em->runScript(QStringLiteral("UPDATE image_master SET redacted = 'N';\n"));
    main->chkRedaction->setChecked(false);
    new_bkPg(false, true);
    ASSERT_TRUE(run_program(QStringLiteral("A")));
    EXPECT_FALSE(editorShown());

    main->chkRedaction->setChecked(true);
    new_bkPg(false, true);
    main->btnRedact->setEnabled(false);
    run_program(QStringLiteral("A"));
    EXPECT_TRUE(editorShown());
    main->chkRedaction->setChecked(false);
}

TEST_F(RequestDocument, PrintFollowsTheAction)
{
    // The barcode mode looks nothing up, so the stored image of the index is shown again.
    g_dbMode = MODE_NYBR;
    g_ImID = QStringLiteral("IM0000000001");
    ASSERT_TRUE(run_program(QStringLiteral("P")));
    EXPECT_TRUE(main->btnPrint->isEnabled());
    ASSERT_TRUE(run_program(QStringLiteral("S")));
    EXPECT_FALSE(main->btnPrint->isEnabled()); // after a store a paper document is not printed
    EXPECT_EQ(main->ezPageView->pageCount(), 1);
}

// ---- the demo office ----

TEST_F(RequestRoadTest, TheDemoOfficeDocumentIsFoundByTheRoad)
{
    seedDemoOffice();
    ASSERT_FALSE(HasFatalFailure());

    g_dbMode = MODE_MARG;
    new_bkPg(false, true);
    main->txtBook_MARG->setText(QStringLiteral("1010"));
    main->txtPage_MARG->setText(QStringLiteral("1"));
    user_go();

    EXPECT_TRUE(prompts().isEmpty()) << prompts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(g_Book, QStringLiteral("001010"));
    EXPECT_FALSE(Trim(g_ImID).isEmpty());
    EXPECT_EQ(main->btnGoNew->text(), QStringLiteral("Rest&art"));
    EXPECT_GT(main->ezPageView->pageCount(), 0);
    EXPECT_TRUE(main->btnPrint->isEnabled());
}

namespace {

// Bilevel pages of the given widths as one TIFF; returns its bytes.
QByteArray tiffOfWidths(const QString &path, const QList<int> &widths)
{
    QelEzImage maker;
    for (int w : widths) {
        QImage page(w, 200, QImage::Format_Mono);
        page.fill(1);
        maker.appendPage(page);
    }
    maker.setSaveFileName(path);
    maker.save();
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST_F(RequestDocument, ATruncatedStoredImageShowsWhatCanBeReadAndCanBeStoredAgain)
{
    // The stored image breaks off inside its third page: the first two are whole.
    const QString stored = shareRoot + QStringLiteral("/QHOST/IMAGES/IMG2019/IM0000000001");
    const QByteArray two = tiffOfWidths(dir.filePath(QStringLiteral("two.tif")), {1728, 1736});
    const QByteArray three = tiffOfWidths(stored, {1728, 1736, 1744});
    // Pages are written one after the other, data then directory: the first two take as many
    // bytes as the two-page file, and the cut falls inside the third page's data.
    ASSERT_GT(three.size(), two.size() + 8);
    QFile cut(stored);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(three.left(two.size() + 8));
    cut.close();
    QProcess tiffinfo;
    tiffinfo.start(QStringLiteral("tiffinfo"), {stored});
    ASSERT_TRUE(tiffinfo.waitForFinished());
    EXPECT_EQ(QString::fromLocal8Bit(tiffinfo.readAllStandardOutput()).count(QStringLiteral("TIFF Directory")), 2);

    boxes().clear();
    ASSERT_TRUE(run_program(QStringLiteral("A"))) << prompts().join(QStringLiteral(" | ")).toStdString();
    ASSERT_EQ(prompts().size(), 1) << prompts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(prompts().first(), QStringLiteral("Page 3 of this document is damaged; the pages that can be read are "
                                                "shown. Scan the document again to replace it."));
    EXPECT_EQ(main->ezPageView->pageCount(), 2);
    EXPECT_EQ(main->ezTreeView->pageCount(), 2);
    main->ezPageView->setPage(2);
    EXPECT_EQ(main->ezPageView->imageWidth(), 1736);
    EXPECT_FALSE(main->lblStatus->text().startsWith(QStringLiteral("Retrieving Document")));
    for (QWidget *w : {static_cast<QWidget *>(main->btnScan), static_cast<QWidget *>(main->btnNext),
                       static_cast<QWidget *>(main->btnPrev), static_cast<QWidget *>(main->btnStore)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();

    // Stored as it is (two pages of three, accepted), it is refused naming the damaged page, and
    // the pages stay.
    QDir().mkpath(shareRoot + QStringLiteral("/QHOST/KvTemp/Scans"));
    boxes().clear();
    EXPECT_FALSE(do_store_manual(false));
    ASSERT_EQ(prompts().size(), 2) << prompts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(prompts().last().startsWith(QStringLiteral("Page 3 of this document is damaged and cannot be stored.")))
        << prompts().last().toStdString();
    EXPECT_EQ(main->ezPageView->pageCount(), 2);

    // Rescanned over the old pages from SANE's test scanner (one flatbed page), it stores.
    useSaneTestScanner();
    forms().onShow(QStringLiteral("frmRescan"), [](Form &form) {
        auto &r = static_cast<FrmRescan &>(form);
        r.optScan[1]->setChecked(true); // overwrite all
        r.OKButton->click();
    });
    boxes().clear();
    do_scan();
    EXPECT_TRUE(prompts().isEmpty()) << prompts().join(QStringLiteral(" | ")).toStdString();
    ASSERT_EQ(main->ezPageView->pageCount(), 1);
    EXPECT_EQ(main->ezPageView->imageWidth(), 480);
    QDir().mkpath(shareRoot + QStringLiteral("/QHOST/KvTemp/Scans"));
    EXPECT_TRUE(do_store_manual(false)) << prompts().join(QStringLiteral(" | ")).toStdString();
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT r.pages, r.imid, m.folder FROM registrations r "
                                      "JOIN image_master m ON m.imid = r.imid WHERE r.func = 'S'")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("0001"));
    // The stored image is whole: libtiff's own tool reads its one page.
    const QString image = shareRoot + QStringLiteral("/QHOST/IMAGES/") + q.value(2).toString() + u'/'
                          + q.value(1).toString();
    tiffinfo.start(QStringLiteral("tiffinfo"), {image});
    ASSERT_TRUE(tiffinfo.waitForFinished());
    EXPECT_EQ(tiffinfo.exitCode(), 0);
    const QString info = QString::fromLocal8Bit(tiffinfo.readAllStandardOutput());
    EXPECT_EQ(info.count(QStringLiteral("TIFF Directory")), 1) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Image Width: 480 Image Length: 250"))) << info.toStdString();
}

// ---- every way a lookup or a view fails, and the window after it ----

namespace {

enum class Step { Lookup, View };

struct FailureCase {
    const char *name;
    Step fails;
    std::function<void(hostsim::HostEmulator &, const QString &storedImage)> arrange;
};

hostsim::Fault hostFault(hostsim::FaultKind kind, const char *program)
{
    hostsim::Fault f;
    f.kind = kind;
    f.program = QString::fromLatin1(program);
    f.text = QStringLiteral("CPF9898: %1 ended abnormally.").arg(f.program);
    return f;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

TEST_F(RequestDocument, AFailedLookupOrViewLeavesAWindowThatAgreesAndLetsTheOperatorGoOn)
{
    using hostsim::FaultKind;
    const QList<FailureCase> cases = {
        {"not on file", Step::Lookup,
         [](hostsim::HostEmulator &, const QString &) { g_Book = QStringLiteral("009999"); }},
        {"index program fails", Step::Lookup,
         [](hostsim::HostEmulator &e, const QString &) { e.addFault(hostFault(FaultKind::ExecuteFailure, "SY331RI")); }},
        {"image master fails", Step::Lookup,
         [](hostsim::HostEmulator &e, const QString &) { e.addFault(hostFault(FaultKind::ExecuteFailure, "IM650R")); }},
        {"answer lost", Step::Lookup,
         [](hostsim::HostEmulator &e, const QString &) { e.addFault(hostFault(FaultKind::LostReply, "SY331RI")); }},
        {"connection refused", Step::Lookup,
         [](hostsim::HostEmulator &e, const QString &) { e.addFault(hostFault(FaultKind::OpenFailure, "")); }},
        {"image location refused", Step::View,
         [](hostsim::HostEmulator &e, const QString &) {
             hostsim::Fault f = hostFault(FaultKind::ScriptedAnswer, "IM091R");
             f.answer = {{QStringLiteral("ErrMsg"), QStringLiteral("IM091R: image not on file")}};
             e.addFault(f);
         }},
        {"image location program fails", Step::View,
         [](hostsim::HostEmulator &e, const QString &) { e.addFault(hostFault(FaultKind::ExecuteFailure, "IM091R")); }},
        {"stored image missing", Step::View, [](hostsim::HostEmulator &, const QString &image) { QFile::remove(image); }},
        {"stored image not an image", Step::View,
         [](hostsim::HostEmulator &, const QString &image) { writeFile(image, QByteArray(4096, 'x')); }},
        {"stored image cut in its first page", Step::View,
         [](hostsim::HostEmulator &, const QString &image) {
             QFile f(image);
             ASSERT_TRUE(f.open(QIODevice::ReadOnly));
             const QByteArray head = f.read(64);
             f.close();
             writeFile(image, head);
         }},
        {"stored image unreadable", Step::View,
         [](hostsim::HostEmulator &, const QString &image) {
             QFile::remove(image);
             QDir().mkpath(image); // a folder where the file should be
         }},
    };
    const QString stored = shareRoot + QStringLiteral("/QHOST/IMAGES/IMG2019/IM0000000001");
    useSaneTestScanner();
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        // The document of the index is on show, as after Start.
        em->clearFaults();
        QDir(stored).removeRecursively();
        QFile::remove(stored);
        storeImageFile(QStringLiteral("IMG2019"), QStringLiteral("IM0000000001"));
        g_Book = QStringLiteral("001010");
        g_Page = QStringLiteral("0001");
        new_bkPg(false, true);
        ASSERT_TRUE(run_program(QStringLiteral("A"))) << prompts().join(QStringLiteral(" | ")).toStdString();
        ASSERT_EQ(main->ezPageView->pageCount(), 1);
        ASSERT_TRUE(main->btnStore->isEnabled());

        c.arrange(*em, stored);
        boxes().clear();
        EXPECT_FALSE(run_program(QStringLiteral("A")));
        EXPECT_FALSE(prompts().isEmpty()) << "the operator is told";

        // Nothing is on show, so nothing can be stored, turned, printed or redacted.
        EXPECT_TRUE(main->ezPageView->isHidden());
        EXPECT_TRUE(main->ezTreeView->isHidden());
        EXPECT_EQ(main->ezTreeView->pageCount(), 0);
        EXPECT_TRUE(main->btnRotate->isHidden());
        for (QPushButton *b : {main->btnStore, main->btnPrint, main->btnRedact, main->btnRefresh})
            EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
        EXPECT_FALSE(main->mnuStore->isEnabled());
        EXPECT_FALSE(main->mnuUndo->isEnabled());
        EXPECT_FALSE(g_blnPromptStore);
        const bool found = c.fails == Step::View;
        // A document the host has is labelled and can be scanned anew; otherwise the index can be
        // typed again and started.
        EXPECT_EQ(main->btnGoNew->text(), found ? QStringLiteral("Rest&art") : QStringLiteral("St&art"));
        EXPECT_EQ(main->btnScan->isEnabled(), found);
        EXPECT_EQ(main->defaultButton(), found ? main->btnScan : main->btnGoNew);
        EXPECT_EQ(main->lblNumPages_MARG->text(), found ? QStringLiteral("1") : QString());
        if (!found)
            EXPECT_TRUE(main->txtBook_MARG->isEnabled());
        EXPECT_EQ(main->btnNext->isEnabled(), found);

        em->clearFaults();
        boxes().clear();
        if (found) {
            do_scan(); // a fresh scan: the old pages are gone
            EXPECT_TRUE(prompts().isEmpty()) << prompts().join(QStringLiteral(" | ")).toStdString();
            EXPECT_EQ(main->ezTreeView->pageCount(), 1);
            EXPECT_TRUE(main->btnStore->isEnabled());
            EXPECT_TRUE(main->btnPrint->isEnabled());
            EXPECT_TRUE(g_blnPromptStore);
            g_blnPromptStore = false;
        } else {
            EXPECT_EQ(main->txtBook_MARG->text(), c.name == std::string("not on file") ? QStringLiteral("9999")
                                                                                         : QStringLiteral("1010"));
            g_Book = QStringLiteral("001010");
            EXPECT_TRUE(run_program(QStringLiteral("A"))) << prompts().join(QStringLiteral(" | ")).toStdString();
            EXPECT_EQ(main->ezPageView->pageCount(), 1);
        }
    }
}
