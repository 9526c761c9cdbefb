// Book-scan ranges and certificates: parameter lists per mode, refusals with and without a reset,
// and the labels that take the entry fields' places.
#include "hosttest.h"

#include <QLabel>
#include <QLineEdit>

#include "core/reset.h"
#include "core/state.h"
#include "host/im655r.h"
#include "host/rg632r.h"
#include "ui/frmMain.h"

namespace {

bool shown(const QWidget *w) { return !w->isHidden(); }

class BookScanTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        em->runScript("INSERT INTO book_ranges VALUES ('', '000100', '0001', '0300', 'BOOKS\\B100\\', 'B00100'),"
                      " ('L', '004321', '0001', '0050', 'BOOKS\\NY4321\\', 'N04321');\n");
        openConnection();
        FrmMain &f = frmMain();
        for (QLineEdit *t : {f.txtBook_MEBS, f.txtPage_MEBS, f.txtEndingPage_MEBS, f.txtBookCode_NYBS})
            t->setVisible(true);
        for (QLabel *l : {f.lblBook_MEBS, f.lblPage_MEBS, f.lblEndingPage_MEBS, f.lblBookCode_NYBS}) {
            l->setVisible(false);
            l->setText(QString());
        }
        g_dbMode = MODE_MEBS;
        g_Book = "000100";
        g_Page = "0010";
        g_EndingPage = "0012";
    }
};

TEST_F(BookScanTest, StartRequestInTheMaineModeCarriesFourteenParameters)
{
    EXPECT_TRUE(RG632R("A", *conn, "QHOST"));
    expectCall("RG632R",
               fromStation(set(bookRange(false), {{"@BK", "000100"}, {"@sPG", "0010"}, {"@ePG", "0012"}})));
    EXPECT_EQ(g_NumPages, "0003");
    EXPECT_EQ(g_BookPath, QString("BOOKS\\B100\\").leftJustified(32));
    EXPECT_EQ(g_Filename, "B001000010.T");
    FrmMain &f = frmMain();
    EXPECT_EQ(f.lblBook_MEBS->text(), "100");
    EXPECT_EQ(f.lblPage_MEBS->text(), "10");
    EXPECT_EQ(f.lblEndingPage_MEBS->text(), "12");
    EXPECT_FALSE(shown(f.txtBook_MEBS) || shown(f.txtPage_MEBS) || shown(f.txtEndingPage_MEBS));
    EXPECT_TRUE(shown(f.lblBook_MEBS) && shown(f.lblPage_MEBS) && shown(f.lblEndingPage_MEBS));
    EXPECT_TRUE(shown(f.txtBookCode_NYBS)); // only the New York mode touches the book code
}

TEST_F(BookScanTest, NewYorkModeCarriesTheBookCodeSeventh)
{
    g_dbMode = MODE_NYBS;
    g_blnScanUnIndexDocs = true;
    g_BookCode = "L";
    g_Book = "004321";
    g_Page = "0001";
    g_EndingPage = "0002";
    g_NumPages = "0002";
    g_BookPath = "BOOKS\\NY4321\\";
    g_Filename = "N043210001.T";
    EXPECT_TRUE(RG632R("N", *conn, ""));
    expectCall("RG632R", fromStation(set(bookRange(true), {{"$FUNC", "N"}, {"$MbGp", "OI"}, {"@BKCD", "L"},
                                                           {"@BK", "004321"}, {"@sPG", "0001"}, {"@ePG", "0002"},
                                                           {"@Nump", "0002"}, {"@tPg", "0002"},
                                                           {"$Path", "BOOKS\\NY4321\\"},
                                                           {"$PcFn", "N043210001.T"}})));
    EXPECT_EQ(g_BookCode, "L    ");
    EXPECT_EQ(frmMain().lblBookCode_NYBS->text(), "L    ");
    EXPECT_TRUE(shown(frmMain().lblBookCode_NYBS));
    EXPECT_FALSE(shown(frmMain().txtBookCode_NYBS));
}

TEST_F(BookScanTest, RefusalsResetOnlyAStartRequestAndNeverThePageCheckRefresh)
{
    struct Case {
        const char *func;
        bool resetOnRefusal;
        int resets;
    } cases[] = {{"A", true, 1}, {"N", true, 0}, {"P", true, 0}, {"A", false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.func) + (c.resetOnRefusal ? "" : " page check"));
        boxes->clear();
        g_Book = "000999";
        const int resets = resetCount();
        EXPECT_FALSE(RG632R(c.func, *conn, "", c.resetOnRefusal));
        EXPECT_EQ(resetCount() - resets, c.resets);
        ASSERT_EQ(boxes->calls().size(), 1);
        EXPECT_EQ(boxes->calls()[0].prompt, QString("Book 000999 is not on file for book scanning.").leftJustified(60));
        EXPECT_TRUE(boxes->calls()[0].title.isEmpty());
        EXPECT_EQ(g_Book, "000999");
    }
}

TEST_F(BookScanTest, BlankOnlyErrorTextComesBackEmptyAndPasses)
{
    // the provider hands back a blank-only text as ""
    scriptAnswer("RG632R", {{"$ErrMsg", "   "}, {"@BK", "000100"}, {"@sPG", "0001"}, {"@ePG", "0002"}});
    EXPECT_TRUE(RG632R("N", *conn, ""));
    EXPECT_TRUE(boxes->calls().isEmpty());
}

TEST_F(BookScanTest, BlankReturnedBookStoresTheIndexThenFailsWithTheFieldsStillOpen)
{
    scriptAnswer("RG632R", {{"@BK", ""}, {"@sPG", "0001"}, {"@ePG", "0002"}, {"@tPg", "0002"}});
    const int resets = resetCount();
    EXPECT_FALSE(RG632R("A", *conn, ""));
    EXPECT_EQ(resetCount(), resets);
    EXPECT_EQ(g_NumPages, "0002");
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls()[0].prompt.startsWith("Error in RG632R at line "));
    FrmMain &m = frmMain();
    EXPECT_TRUE(shown(m.txtBook_MEBS));
    EXPECT_FALSE(shown(m.lblPage_MEBS));
    EXPECT_TRUE(m.lblPage_MEBS->text().isEmpty());
}

class CertificateTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        em->runScript("INSERT INTO certificates VALUES ('0004567', 'C-100', 'IM0000000042', '0002'),"
                      " ('0004568', 'C-101', '', '    ');\n");
        FrmMain &f = frmMain();
        f.txtCertNum_MACC->setVisible(true);
        f.txtDocNum_MACC->setVisible(true);
        f.lblCertNum_MACC->setVisible(false);
        f.lblDocNum_MACC->setVisible(false);
        f.lblDocNum_MACC->setText(QString());
        g_dbMode = MODE_MACC;
        g_DocNum = "0004567";
        g_CertNum = "C-100";
    }
};

TEST_F(CertificateTest, LookupOpensItsOwnConnectionAndBindsTheErrorText)
{
    EXPECT_TRUE(IM655R("N", "", "", ""));
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].connectionString, "provider=IBMDA400;data source=QHOST;");
    expectCall("IM655R",
               fromStation(set(certificate(), {{"func", "N"}, {"doc#", "0004567"}, {"cert#", "C-100"}})));
    EXPECT_EQ(g_ImID, "IM0000000042");
    EXPECT_EQ(g_ImLoc, g_ImID);
    EXPECT_EQ(g_NumPages, "0002");
    FrmMain &f = frmMain();
    EXPECT_FALSE(shown(f.txtCertNum_MACC) || shown(f.txtDocNum_MACC));
    EXPECT_TRUE(shown(f.lblCertNum_MACC) && shown(f.lblDocNum_MACC));
    EXPECT_EQ(f.lblCertNum_MACC->text(), "C-100");
    EXPECT_EQ(f.lblDocNum_MACC->text(), "4567");
    EXPECT_EQ(g_DocNum, "0004567");
}

TEST_F(CertificateTest, NonNumericPageCountBecomesZero)
{
    g_DocNum = "0004568";
    g_CertNum = "C-101";
    EXPECT_TRUE(IM655R("A", "", "", ""));
    EXPECT_EQ(g_NumPages, "0");
}

TEST_F(CertificateTest, HostErrorIsShownAndChangesNothing)
{
    g_CertNum = "C-999";
    EXPECT_FALSE(IM655R("A", "", "", ""));
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_EQ(boxes->calls()[0].prompt, QString("Certificate of document 0004567 is not on file.").leftJustified(60));
    EXPECT_TRUE(boxes->calls()[0].title.isEmpty());
    EXPECT_EQ(g_CertNum, "C-999");
    EXPECT_TRUE(shown(frmMain().txtDocNum_MACC));
}

TEST_F(CertificateTest, SuccessfulStoreChangesNoGlobalAndNoControl)
{
    const QString local = dir.filePath("share/QHOST/KvTemp/Scans");
    QDir().mkpath(local);
    QFile file(local + "/WS01.T");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100, 'x'));
    file.close();
    g_NumPages = "0009";
    EXPECT_TRUE(IM655R("S", "WS01.T", "000000100", "0002"));
    EXPECT_EQ(lastCall("IM655R").param("pcfn")->sent.toString(), "WS01.T");
    EXPECT_EQ(g_NumPages, "0009");
    EXPECT_TRUE(g_ImID.isEmpty());
    EXPECT_TRUE(shown(frmMain().txtDocNum_MACC));
    EXPECT_TRUE(boxes->calls().isEmpty());
}

} // namespace
