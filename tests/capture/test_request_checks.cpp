// Index entry checks: what Go and Refresh take from the fields, how they zero-fill it, which
// message a failed check shows, and whether the lookup starts.
#include <QFileInfo>

#include <functional>

#include "capture/indexchecks.h"
#include "test_request_fixture.h"

namespace {

struct CheckCase {
    const char *name;
    qint16 mode;
    qint32 docType;
    std::function<void(FrmMain &)> type; // what the operator typed
    bool lookUp;
    QString message;                           // empty: no box
    std::function<void()> expect;              // the globals afterwards
    bool reported = false;                     // the box is an error report that starts with `message`
};

// A lookup is recognised by the sign-on gate it passes first: with nobody signed on, the road
// shows the sign-on dialog (answered by closing it) and stops there.
int lookups()
{
    int n = 0;
    for (const FormScript::Call &c : forms().calls())
        n += c.form == u"frmLogin";
    return n;
}

#define EXPECT_G(global, value) EXPECT_EQ(global, QStringLiteral(value))

} // namespace

class IndexChecks : public RequestRoadTest {
protected:
    void runTable(const QList<CheckCase> &cases, const std::function<void()> &entry)
    {
        for (const CheckCase &c : cases) {
            SCOPED_TRACE(c.name);
            g_dbMode = c.mode;
            gdtCurrentDocType = c.docType;
            new_bkPg(false, true);
            for (QLineEdit *t : main->findChildren<QLineEdit *>())
                t->clear();
            g_blnLoggedIn = false;
            forms().clear();
            boxes().clear();
            c.type(*main);
            entry();
            EXPECT_EQ(lookups(), c.lookUp ? 1 : 0);
            if (c.message.isEmpty()) {
                EXPECT_TRUE(boxes().calls().isEmpty()) << prompts().join(QStringLiteral(" | ")).toStdString();
            } else {
                ASSERT_EQ(boxes().calls().size(), 1);
                const QString shown = boxes().calls().at(0).prompt;
                EXPECT_TRUE(c.reported ? shown.startsWith(c.message) : shown == c.message) << shown.toStdString();
                EXPECT_EQ(boxes().calls().at(0).icon(), c.reported ? int(vb::vbCritical) : 0);
                EXPECT_EQ(boxes().calls().at(0).buttonSet(), 0);
                EXPECT_EQ(boxes().calls().at(0).title, QStringLiteral("The Korvane Scan Tool"));
            }
            if (c.expect)
                c.expect();
        }
        gdtCurrentDocType = 0;
    }
};

TEST_F(IndexChecks, PaperFieldsOfEveryMode)
{
    g_EfilePartnerIds.clear();
    const QList<CheckCase> cases = {
        {"book and page zero-filled", MODE_MARG, 0,
         [](FrmMain &f) { f.txtBook_MARG->setText("12"); f.txtPage_MARG->setText("3"); }, true, {},
         [] { EXPECT_G(g_Book, "000012"); EXPECT_G(g_Page, "0003"); }},
        {"fraction and long number", MODE_MERG_UPD, 0,
         [](FrmMain &f) { f.txtBook_MARG->setText("12.7"); f.txtPage_MARG->setText("34"); }, true, {},
         [] { EXPECT_G(g_Book, "000012"); EXPECT_G(g_Page, "0034"); }},
        {"book not digits", MODE_MARG, 0,
         [](FrmMain &f) { f.txtBook_MARG->setText("12a"); f.txtPage_MARG->setText("3"); }, false,
         "Book and Page must consist only of digits.",
         [] { EXPECT_G(g_Book, "12a"); EXPECT_G(g_Page, "0003"); }},
        {"unindexed box takes the same road", MODE_MARG, 0,
         [](FrmMain &f) {
             f.chkScanUnIndexedDocsMEMARG->setChecked(true);
             f.txtBook_MARG->setText("5");
             f.txtPage_MARG->setText("6");
         },
         true, {}, {}},
        {"land court number", MODE_MALC, 0, [](FrmMain &f) { f.txtDocNum_MALC->setText("42"); }, true, {},
         [] { EXPECT_G(g_DocNum, "0000042"); }},
        {"land court number not digits", MODE_MALC, 0, [](FrmMain &f) { f.txtDocNum_MALC->setText("4x"); }, false,
         "Document Number must consist only of digits.", {}},
        {"unindexed land court with a control number", MODE_MALC, 0,
         [](FrmMain &f) {
             g_blnScanUnIndexDocs = true;
             g_CTLNum = "00017";
             f.txtDocNum_MALC->setText("42");
             f.txtMonth_MALC->setText("x");
         },
         true, {}, [] { g_blnScanUnIndexDocs = false; }},
        {"unindexed land court by date", MODE_MALC, 0,
         [](FrmMain &f) {
             g_blnScanUnIndexDocs = true;
             g_CTLNum = "00000";
             f.txtDocNum_MALC->setText("42");
             f.txtYear_MALC->setText("2019");
             f.txtMonth_MALC->setText("4");
             f.txtDay_MALC->setText("7");
         },
         true, {},
         [] {
             EXPECT_G(g_Month, "04");
             EXPECT_G(g_Day, "07");
             EXPECT_G(g_Year, "2019");
             g_blnScanUnIndexDocs = false;
         }},
        {"unindexed land court, bad day", MODE_MALC, 0,
         [](FrmMain &f) {
             g_blnScanUnIndexDocs = true;
             g_CTLNum = "00000";
             f.txtDocNum_MALC->setText("42");
             f.txtYear_MALC->setText("20x9");
             f.txtMonth_MALC->setText("4");
             f.txtDay_MALC->setText("d");
         },
         false, "The Recording Day must consist only of digits.", [] { g_blnScanUnIndexDocs = false; }},
        {"plan", MODE_MALCP, 0,
         [](FrmMain &f) { f.txtPlan1_MALCP->setText("101"); f.txtPlan2_MALCP->setText("a b"); }, true, {},
         [] { EXPECT_G(g_Plan1, "000101"); EXPECT_G(g_Plan2, "a b"); }},
        {"plan not digits", MODE_MALCP, 0, [](FrmMain &f) { f.txtPlan1_MALCP->setText("P1"); }, false,
         "Plan/Case # must consist only of digits.", {}},
        {"book scan pages 3 to 3", MODE_MEBS, 0,
         [](FrmMain &f) {
             f.txtBook_MEBS->setText("900");
             f.txtPage_MEBS->setText("3");
             f.txtEndingPage_MEBS->setText("3");
         },
         true, {},
         [] { EXPECT_G(g_Book, "000900"); EXPECT_G(g_Page, "0003"); EXPECT_G(g_EndingPage, "0003"); }},
        {"book scan pages 5 to 3", MODE_MEBS, 0,
         [](FrmMain &f) {
             f.txtBook_MEBS->setText("900");
             f.txtPage_MEBS->setText("5");
             f.txtEndingPage_MEBS->setText("3");
         },
         false, "Starting Page cannot be greater than Ending Page. ", {}},
        {"book scan compares whole numbers", MODE_MARGBS, 0,
         [](FrmMain &f) {
             f.txtBook_MEBS->setText("900");
             f.txtPage_MEBS->setText("9");
             f.txtEndingPage_MEBS->setText("10");
         },
         true, {}, {}},
        {"New York book scan without a book code, good pages", MODE_NYBS, 0,
         [](FrmMain &f) {
             f.txtBook_MEBS->setText("800");
             f.txtPage_MEBS->setText("1");
             f.txtEndingPage_MEBS->setText("2");
         },
         false, "Book Code is requiered. ", {}},
        {"New York book scan without a book code, pages 5 to 3", MODE_NYBS, 0,
         [](FrmMain &f) {
             f.txtBook_MEBS->setText("800");
             f.txtPage_MEBS->setText("5");
             f.txtEndingPage_MEBS->setText("3");
         },
         false, "Book Code is requiered. Starting Page cannot be greater than Ending Page. ", {}},
        {"New York book scan without a book code, bad pages", MODE_NYBS, 0,
         [](FrmMain &f) {
             f.txtBook_MEBS->setText("800");
             f.txtPage_MEBS->setText("x");
             f.txtEndingPage_MEBS->setText("3");
         },
         false, "Book Code is requiered. Book, Starting Page and Ending Page must consist only of digits", {}},
        {"New York book scan", MODE_NYBS, 0,
         [](FrmMain &f) {
             f.txtBookCode_NYBS->setText("NYREG");
             f.txtBook_MEBS->setText("800");
             f.txtPage_MEBS->setText("1");
             f.txtEndingPage_MEBS->setText("2");
         },
         true, {}, [] { EXPECT_G(g_BookCode, "NYREG"); }},
        {"New York control number and date only", MODE_NYRG, 0,
         [](FrmMain &f) {
             f.txtCTLNum_NYRG->setText("104");
             f.txtDay_NYRG->setText("7");
             f.txtMonth_NYRG->setText("5");
             f.txtYear_NYRG->setText("2016");
         },
         true, {},
         [] {
             EXPECT_G(g_CTLNum, "00104");
             EXPECT_G(g_Day, "07");
             EXPECT_G(g_Month, "05");
             EXPECT_G(g_Year, "2016");
         }},
        {"New York book code, book and page", MODE_NYCR, 0,
         [](FrmMain &f) {
             f.txtBookCode_NYRG->setText("C");
             f.txtBook_NYRG->setText("3000");
             f.txtPage_NYRG->setText("13");
         },
         true, {}, [] { EXPECT_G(g_Book, "003000"); EXPECT_G(g_Page, "0013"); }},
        {"New York blank book code", MODE_NYMD, 0,
         [](FrmMain &f) {
             f.txtBookCode_NYRG->setText("  ");
             f.txtBook_NYRG->setText("3000");
             f.txtPage_NYRG->setText("13");
         },
         false, "Book Code is required.  Book and Page must consist only of digits.", {}},
        {"New York book not a number, no date", MODE_NYRG, 0,
         [](FrmMain &f) {
             f.txtBookCode_NYRG->setText("L");
             f.txtBook_NYRG->setText("B12");
             f.txtPage_NYRG->setText("1");
         },
         false, "Book Code is required.  Book and Page must consist only of digits.", {}},
        {"New York nothing usable", MODE_NYRG, 0, [](FrmMain &f) { f.txtCTLNum_NYRG->setText("1"); }, false,
         "Control Number and Date must consist only of digits.", {}},
        {"reference", MODE_FHS, 0,
         [](FrmMain &f) { f.txtRefCode_FHS->setText("WI"); f.txtRefNum_FHS->setText("12x"); }, true, {},
         [] { EXPECT_G(g_RefNum, "12x"); }},
        {"reference number missing", MODE_FHS, 0, [](FrmMain &f) { f.txtRefCode_FHS->setText("WI"); }, false,
         "Reference Code is required.  Reference Number must consist of only digits.", {}},
        // a NUL the host link would cut off fails the field's check
        {"reference number with a NUL", MODE_FHS, 0,
         [](FrmMain &f) { f.txtRefCode_FHS->setText("WI"); f.txtRefNum_FHS->setText(QString("12") + QChar(0) + "x"); },
         false, "Reference Code is required.  Reference Number must consist of only digits.", {}},
        {"New York book code with a NUL", MODE_NYRG, 0,
         [](FrmMain &f) {
             f.txtBookCode_NYRG->setText(QString("L") + QChar(0));
             f.txtBook_NYRG->setText("3000");
             f.txtPage_NYRG->setText("13");
         },
         false, "Book Code is required.  Book and Page must consist only of digits.", {}},
        {"New York book scan code with a NUL", MODE_NYBS, 0,
         [](FrmMain &f) {
             f.txtBookCode_NYBS->setText(QString("NY") + QChar(0) + "REG");
             f.txtBook_MEBS->setText("800");
             f.txtPage_MEBS->setText("1");
             f.txtEndingPage_MEBS->setText("2");
         },
         false, "Book Code is requiered. ", {}},
        {"plan letter with a NUL", MODE_MALCP, 0,
         [](FrmMain &f) { f.txtPlan1_MALCP->setText("101"); f.txtPlan2_MALCP->setText(QString("a") + QChar(0)); },
         false, "Plan/Case # must consist only of digits.", {}},
        {"certificate without a document number", MODE_MACC, 0,
         [](FrmMain &f) { f.txtCertNum_MACC->setText("C-1"); }, true, {},
         [] { EXPECT_G(g_DocNum, "0000000"); EXPECT_G(g_CertNum, "C-1"); }},
        {"certificate with a document number", MODE_MACC, 0, [](FrmMain &f) { f.txtDocNum_MACC->setText("12"); },
         true, {}, [] { EXPECT_G(g_DocNum, "0000012"); }},
        {"certificate document number not digits", MODE_MACC, 0,
         [](FrmMain &f) { f.txtDocNum_MACC->setText("1-2"); }, false,
         "If the document number is entered it must consist only of digits.", {}},
        {"barcode mode", MODE_NYBR, 0, [](FrmMain &) {}, false, "Function not yet available.", {}},
    };
    runTable(cases, [] { user_go(); });
}

TEST_F(IndexChecks, EFileFieldsOfBothFrames)
{
    g_EfilePartnerIds = {QStringLiteral("01"), QStringLiteral("05")};
    for (ComboBox *c : {main->cboEFilePartnerMARG, main->cboEFilePartnerNYRG}) {
        c->clear();
        c->addItem(QStringLiteral("Commonwealth Title Company"));
        c->addItem(QStringLiteral("Empire Abstract Corp"));
    }
    auto fillMA = [](const QString &batch, const QString &docId, int partner) {
        return [=](FrmMain &f) {
            f.cboEFilePartnerMARG->setListIndex(partner);
            f.txtSubmitCdMARGElec->setText(" SUB1 ");
            f.txtLocationCdMARGElec->setText("LOC1 ");
            f.txtTrandIDMARG->setText(batch);
            f.txtDocIdMARGElec->setText(docId);
        };
    };
    const QList<CheckCase> cases = {
        {"all fields", MODE_MARG, 1, fillMA(" 1001 ", "17", 1), true, {},
         [] {
             EXPECT_G(gsPartnerId, "05");
             EXPECT_G(gsSubmitCde, "SUB1");
             EXPECT_G(gsLocationCde, "LOC1");
             EXPECT_G(gsBatchId, "0001001");
             EXPECT_G(gsDocumentId, "0000000017");
         }},
        {"empty document id passes", MODE_MALC, 1, fillMA("1001", "", 0), true, {},
         [] { EXPECT_G(gsDocumentId, ""); EXPECT_G(gsPartnerId, "01"); }},
        {"no partner", MODE_MERG_UPD, 1, fillMA("1001", "", -1), false, "An efile Partner must be selected.", {}},
        {"batch id not digits", MODE_MARG, 1, fillMA("10a", "", 0), false,
         "The Transaction ID must consist only of digits.", {}},
        {"document id not digits", MODE_MARG, 1, fillMA("1001", "D17", 0), false,
         "The Document ID must consist only of digits.", {}},
        {"New York frame", MODE_NYCR, 1,
         [](FrmMain &f) {
             f.cboEFilePartnerNYRG->setListIndex(1);
             f.txtSubmitCdNYRGElec->setText("SUB5");
             f.txtLocationCdNYRGElec->setText("LOC5");
             f.txtTrandIDNYRG->setText("7");
             f.txtDocIdNYRGElec->setText("3");
         },
         true, {},
         [] {
             EXPECT_G(gsPartnerId, "05");
             EXPECT_G(gsSubmitCde, "SUB5");
             EXPECT_G(gsBatchId, "0000007");
             EXPECT_G(gsDocumentId, "0000000003");
         }},
        {"plans have no e-file fields", MODE_MALCP, 1, [](FrmMain &f) { f.txtPlan1_MALCP->setText("5"); }, true, {},
         [] { EXPECT_G(g_Plan1, "000005"); }},
        // Unexpected failures are reported, and nothing is looked up.
        {"partner text without a listed position", MODE_MARG, 1,
         [](FrmMain &f) {
             if (f.cboEFilePartnerMARG->listCount() < 3)
                 f.cboEFilePartnerMARG->addItem("Unlisted Partner");
             f.cboEFilePartnerMARG->setListIndex(2);
             f.txtTrandIDMARG->setText("1");
         },
         false, "Error in user_go at line 3", {}, true},
        {"a zero fill beyond thirty-two bits", MODE_MARG, 1, fillMA("1", "9999999999", 0), false, "Error in user_go",
         {}, true},
    };
    runTable(cases, [] { user_go(); });
}

TEST_F(IndexChecks, RestartResetsWithoutReadingAField)
{
    g_dbMode = MODE_MARG;
    main->btnGoNew->setText(QStringLiteral("Rest&art"));
    main->txtBook_MARG->setText(QStringLiteral("bad"));
    main->chkAutoNextPage->setEnabled(true);
    main->chkAutoNextPage->setChecked(true);
    main->btnPrint->setEnabled(true);
    g_Book = QStringLiteral("000077");
    g_blnLoggedIn = false;
    forms().clear();

    user_go();

    EXPECT_EQ(lookups(), 0);
    EXPECT_TRUE(boxes().calls().isEmpty());
    EXPECT_EQ(g_Book, QStringLiteral("000077"));
    EXPECT_EQ(main->btnGoNew->text(), QStringLiteral("St&art"));
    EXPECT_FALSE(main->chkAutoNextPage->isChecked());
    EXPECT_FALSE(main->chkAutoNextPage->isEnabled());
    EXPECT_FALSE(main->btnPrint->isEnabled());
}

TEST_F(IndexChecks, RefreshEmptiesTheWindowAndWorkingFilesEvenWhenTheCheckFails)
{
    const QStringList working = {"temp.tif", "temp2.tif", "temp3.tif", "tempburn.tif", "tempoverlay.tif",
                                 "tempoverlayANN.tif", "tempredact.tif", "tempprintpreview.tif", "resize.tif",
                                 "resize2.tif", "temp4.tif", "temp5.tif", "byteAlign.tif"};
    for (const QString &name : working) {
        QFile f(g_strTempPath + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    g_dbMode = MODE_MARG;
    main->btnGoNew->setText(QStringLiteral("Rest&art"));
    for (QPushButton *b : {main->btnScan, main->btnPrev, main->btnNext, main->btnStore, main->btnRefresh,
                           main->btnPrint, main->btnRedact})
        b->setEnabled(true);
    main->mnuBatchScan->setEnabled(false);
    main->ezPageView->setVisible(true);
    main->txtBook_MARG->setText(QStringLiteral("bad"));
    g_blnLoggedIn = false;
    forms().clear();

    user_refresh();

    for (const QString &name : working)
        EXPECT_FALSE(QFileInfo::exists(g_strTempPath + name)) << name.toStdString();
    for (QPushButton *b : {main->btnScan, main->btnPrev, main->btnNext, main->btnStore, main->btnRefresh,
                           main->btnPrint, main->btnRedact})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(main->ezPageView->isHidden());
    EXPECT_TRUE(main->ezTreeView->isHidden());
    EXPECT_TRUE(main->mnuBatchScan->isEnabled());
    EXPECT_EQ(main->btnGoNew->text(), QStringLiteral("Rest&art")); // caption neither tested nor changed
    EXPECT_EQ(prompts(), QStringList{QStringLiteral("Book and Page must consist only of digits.")});
    EXPECT_EQ(lookups(), 0);

    // with good fields the same road looks up
    main->txtBook_MARG->setText(QStringLiteral("1"));
    main->txtPage_MARG->setText(QStringLiteral("2"));
    user_refresh();
    EXPECT_EQ(lookups(), 1);
    EXPECT_EQ(g_Book, QStringLiteral("000001"));
}
