// Key lookups: what each sends, the result-code rule with its messages and resets, the label
// end states and the number form.
#include "hosttest.h"

#include <QLabel>
#include <QLineEdit>

#include "core/reset.h"
#include "core/state.h"
#include "host/fhs.h"
#include "host/ma_lc630ri.h"
#include "host/ma_lp630ri.h"
#include "host/ma_rg800r.h"
#include "host/ma_sy331ri.h"
#include "host/ny_sy331ri.h"
#include "ui/frmMain.h"

namespace {

bool shown(const QWidget *w) { return !w->isHidden(); }

class LookupTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        em->runScript(
            "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type) VALUES"
            " ('LR','000100','0001','2020','01','02','00011','000101','K','LR-2020-00011','DEED');\n"
            "INSERT INTO documents(db, doc_num, year, month, day, ctl, key_code, doc_id) VALUES"
            " ('LC','0001234','2018','07','08','00044','L','LC-2018-00044');\n"
            "INSERT INTO documents(db, plan1, plan2, plan3, year, month, day, ctl) VALUES"
            " ('LP','000123','A','01','2017','04','05','00055');\n"
            "INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, ref) VALUES"
            " ('MD','M','001234','0010','2019','05','06','00077','R00077');\n"
            "INSERT INTO documents(db, ref_code, ref_num, year, month, day, ctl, filename, doc_type, location, imid)"
            " VALUES ('FH','AB','0000012345','2016','09','10','00099','FH000099.TIF','WIL','2','IM0000000009');\n"
            "INSERT INTO image_master(imid, folder, num_pages) VALUES('IM0000000009', 'IMG2016', '0003');\n");
        g_Year = "1999";
        g_Month = "12";
        g_Day = "31";
        g_CTLNum = "00005";
        g_InstNum = "000009";
        openConnection();
        FrmMain &f = frmMain();
        for (QWidget *w : std::initializer_list<QWidget *>{f.txtBook_MARG, f.txtPage_MARG, f.txtDocNum_MALC,
                                                            f.txtRefCode_FHS, f.txtRefNum_FHS})
            w->setVisible(true);
        for (QLabel *l : {f.lblBook_MARG, f.lblPage_MARG, f.lblDocNum_MALC, f.lblRefCode_FHS, f.lblRefNum_FHS})
            l->setVisible(false);
        for (QLabel *l : {f.lblDate_MARG, f.lblNumPages_MARG, f.lblInstNum_MARG, f.lblDocType_MARG, f.lblCTLNum_FHS,
                          f.lblNumPages_FHS})
            l->setText("untouched");
    }
};

// ---- every key lookup's result codes ----

struct LookupRow {
    const char *procedure;
    const char *program;
    const char *codeParam;
    bool (*call)(const QString &func, AdoConnection &conn, const QString &dsn);
    const char *subject;  // what the refusals ask to check; nullptr: one message, not shown in a batch
    const char *database; // "found but not for ..."
    bool unindexedFinds;  // code 2 is a find while un-indexed documents are scanned
};

const LookupRow kLookups[] = {
    {"MA_SY331RI", "SY331RI", "DSRSLT", MA_SY331RI, "book and page", "Land Records", true},
    {"MA_LC630RI", "LC630RI", "DSRSLT", MA_LC630RI, "Document number", "Land Court", true},
    {"MA_LP630RI", "LP630RI", "DSRSLT", MA_LP630RI, "plan case #, plan letter, and plan suffix", "Land Court Plans",
     false},
    {"MA_RG800R", "SY330RI", "Rslt", MA_RG800R, "recorded date and control number", "Land Records", false},
    {"NY_SY331RI", "SY331RI", "Rslt", NY_SY331RI, "book code, book, and page", "Land Records", false},
    {"FHS_FH631RI", "FH631RI", "Rslt", FHS_FH631RI, nullptr, nullptr, false},
};

// The refusal text of a lookup for a code; empty when nothing is shown.
QString refusalText(const LookupRow &row, const QString &code, bool batch)
{
    if (!row.subject)
        return batch ? QString() : QString("Document not found.  Please check the recorded date and control number "
                                           "and try again.");
    const QString check = QString("  Please check the %1 and try again.").arg(row.subject);
    if (code == "1")
        return QString("The document was found but not for %1.").arg(row.database) + check;
    if (code == "2")
        return "The document was not found." + check;
    if (code == "3")
        return "The document was found in more than one database." + check;
    return QString();
}

// Every lookup, every result code, with and without un-indexed documents, in and out of a batch: a
// blank code is a find; a refusal shows its code's text in an OK box titled "Note" (or nothing)
// and resets the workspace once.
TEST_F(LookupTest, EveryLookupAnswersEveryResultCode)
{
    for (const LookupRow &row : kLookups) {
        for (const char *code : {" ", "1", "2", "3", "9"}) {
            for (bool unindexed : {false, true}) {
                for (bool batch : {false, true}) {
                    SCOPED_TRACE(std::string(row.procedure) + " code '" + code + "'" + (unindexed ? " unindexed" : "")
                                 + (batch ? " batch" : ""));
                    boxes->clear();
                    g_blnScanUnIndexDocs = unindexed;
                    g_blnIsBatch = batch;
                    g_Book = "000100";
                    g_Page = "0001";
                    g_BookCode = "M";
                    g_DocNum = "0001234";
                    g_Plan1 = "000123";
                    g_RefCode = "AB";
                    g_RefNum = "0000012345";
                    scriptAnswer(row.program, {{row.codeParam, code}});
                    const bool found = QString(code).trimmed().isEmpty()
                                       || (QString(code) == "2" && unindexed && row.unindexedFinds);
                    const int resets = resetCount();
                    EXPECT_EQ(row.call("A", *conn, ""), found);
                    EXPECT_EQ(lastCall(row.program).param(row.codeParam)->returned.toString().trimmed(),
                              QString(code).trimmed());
                    EXPECT_EQ(resetCount() - resets, found ? 0 : 1);
                    const QString text = found ? QString() : refusalText(row, code, batch);
                    if (text.isEmpty()) {
                        EXPECT_TRUE(boxes->calls().isEmpty()) << prompts().join("|").toStdString();
                    } else if (boxes->calls().size() != 1) {
                        ADD_FAILURE() << "boxes: " << prompts().join("|").toStdString();
                    } else {
                        EXPECT_EQ(boxes->calls()[0].prompt, text);
                        EXPECT_EQ(boxes->calls()[0].buttons, 0);
                        EXPECT_EQ(boxes->calls()[0].title, "Note");
                    }
                    if (found && QString(code) == "2" && row.call == MA_SY331RI) {
                        // the un-indexed document shows N/A in four labels
                        FrmMain &f = frmMain();
                        for (QLabel *l : {f.lblDate_MARG, f.lblNumPages_MARG, f.lblInstNum_MARG, f.lblDocType_MARG})
                            EXPECT_EQ(l->text(), "N/A");
                    }
                }
            }
        }
    }
}

// ---- land records by book and page ----

TEST_F(LookupTest, BookAndPageStartSendsZerosAndShowsTheFoundKeys)
{
    g_Book = "000100";
    g_Page = "0001";
    EXPECT_TRUE(MA_SY331RI("A", *conn, "QHOST"));
    expectCall("SY331RI", fromStation(landRecordsLookup()));
    EXPECT_EQ(g_Year, "2020");
    EXPECT_EQ(g_CTLNum, "00011");
    EXPECT_EQ(g_DocId, QString("LR-2020-00011").leftJustified(25));
    FrmMain &f = frmMain();
    EXPECT_FALSE(shown(f.txtBook_MARG));
    EXPECT_TRUE(shown(f.lblBook_MARG));
    EXPECT_EQ(f.lblBook_MARG->text(), "100");
    EXPECT_EQ(f.lblPage_MARG->text(), "1");
    EXPECT_EQ(g_Book, "000100");
    EXPECT_EQ(f.lblDate_MARG->text(), "01/02/2020");
    EXPECT_EQ(f.lblInstNum_MARG->text(), "101");
    EXPECT_EQ(f.lblNumPages_MARG->text(), "untouched");
    EXPECT_TRUE(boxes->calls().isEmpty());
}

TEST_F(LookupTest, NextAndLowerCaseSendTheCurrentDateAndNumbers)
{
    g_Book = "000100";
    g_Page = "0001";
    for (const char *func : {"N", "a"}) {
        SCOPED_TRACE(func);
        g_Year = "1999";
        g_CTLNum = "00005";
        g_InstNum = "000009";
        MA_SY331RI(func, *conn, "");
        const hostsim::HostCall call = lastCall("SY331RI");
        EXPECT_EQ(call.param("DSRCCY")->sent.toString(), "1999");
        EXPECT_EQ(call.param("DSCTL#")->sent.toString(), "00005");
        EXPECT_EQ(call.param("INST#")->sent.toString(), "000009");
    }
}

TEST_F(LookupTest, BadReturnedKeyLeavesTheFrameAsItWas)
{
    scriptAnswer("SY331RI", {{"DSBK", "000012"}, {"DSPG", "0007"}, {"INST#", "ABC"}});
    EXPECT_FALSE(MA_SY331RI("A", *conn, ""));
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls()[0].prompt.startsWith("Error in MA_SY331RI at line "));
    FrmMain &f = frmMain();
    EXPECT_TRUE(shown(f.txtBook_MARG));
    EXPECT_FALSE(shown(f.lblBook_MARG));
    EXPECT_EQ(f.lblDate_MARG->text(), "untouched");
    EXPECT_EQ(g_Book, "000012"); // the globals were copied before the failure
}

// ---- land court documents ----

TEST_F(LookupTest, LandCourtFoundShowsTheDateAsLabel)
{
    FrmMain &f = frmMain();
    f.txtDay_MALC->setText("15");
    g_DocNum = "0001234";
    EXPECT_TRUE(MA_LC630RI("A", *conn, ""));
    expectCall("LC630RI", fromStation(landCourtLookup()));
    EXPECT_EQ(f.lblDocNum_MALC->text(), "1234");
    EXPECT_EQ(g_DocNum, "0001234");
    EXPECT_TRUE(shown(f.lblDate_MALC));
    EXPECT_EQ(f.lblDate_MALC->text(), "07/08/2018");
    EXPECT_FALSE(shown(f.txtDay_MALC));
    EXPECT_EQ(f.txtDay_MALC->text(), "00");
    EXPECT_EQ(f.txtYear_MALC->text(), "0000");
    EXPECT_FALSE(shown(f.lblTempDate_MALC));
}

TEST_F(LookupTest, LandCourtUnindexedWithoutControlNumberOpensTheDateFields)
{
    g_blnScanUnIndexDocs = true;
    scriptAnswer("LC630RI", {{"DSRSLT", "2"}, {"Doc#", "0000077"}, {"DSRCCY", "2015"}, {"DSRCMM", "03"},
                             {"DSRCDD", "04"}, {"DSCTL#", "00000"}});
    EXPECT_TRUE(MA_LC630RI("A", *conn, ""));
    FrmMain &f = frmMain();
    EXPECT_FALSE(shown(f.lblDate_MALC));
    EXPECT_TRUE(shown(f.txtDay_MALC) && shown(f.txtMonth_MALC) && shown(f.txtYear_MALC));
    EXPECT_EQ(f.txtDay_MALC->text(), "04");
    EXPECT_EQ(f.txtYear_MALC->text(), "2015");
    EXPECT_TRUE(shown(f.lblTempDate_MALC));
    EXPECT_EQ(f.lblDocNum_MALC->text(), "77");

    scriptAnswer("LC630RI", {{"DSRSLT", "2"}, {"Doc#", "0000077"}, {"DSCTL#", "00012"}});
    EXPECT_TRUE(MA_LC630RI("A", *conn, ""));
    EXPECT_TRUE(shown(f.lblDate_MALC));
    EXPECT_FALSE(shown(f.txtDay_MALC));
    EXPECT_TRUE(boxes->calls().isEmpty());
}

// ---- land court plans ----

TEST_F(LookupTest, PlanLookupAlwaysSendsTheCurrentDateAndTouchesNoControl)
{
    g_Plan1 = "000123";
    g_Plan2 = "A";
    g_Plan3 = "01";
    EXPECT_TRUE(MA_LP630RI("A", *conn, ""));
    expectCall("LP630RI", fromStation(set(planLookup(), {{"DSRCCY", "1999"}, {"DSRCMM", "12"}, {"DSRCDD", "31"},
                                                            {"DSCTL#", "00005"}})));
    EXPECT_EQ(g_Plan2, "A  ");
    EXPECT_EQ(g_Year, "2017");
}

// ---- New York by date and control number, and by book code, book and page ----

TEST_F(LookupTest, DateAndControlNumberLookupBindsEveryParameter)
{
    g_Year = "2019";
    g_Month = "05";
    g_Day = "06";
    g_CTLNum = "00077";
    EXPECT_TRUE(MA_RG800R("A", *conn, ""));
    expectCall("SY330RI",
               fromStation(set(controlNumberLookup(), {{"RcMM", "05"}, {"RcDD", "06"}, {"CTL#", "00077"}})));
    // the values beyond the host's short list come back
    EXPECT_EQ(g_BookCode, "M");
    EXPECT_EQ(g_Book, "001234");
    EXPECT_EQ(g_Page, "0010");
}

TEST_F(LookupTest, NewYorkBookLookupIsTheThirteenParameterForm)
{
    g_BookCode = "M";
    g_Book = "001234";
    g_Page = "0010";
    EXPECT_TRUE(NY_SY331RI("A", *conn, ""));
    expectCall("SY331RI", fromStation(newYorkBookLookup()));
    EXPECT_EQ(g_Month, "05");
    EXPECT_EQ(g_Day, "06");
    EXPECT_EQ(g_CTLNum, "00077");

    g_Year = "2019";
    NY_SY331RI("a", *conn, "");
    EXPECT_EQ(lastCall("SY331RI").param("RcCY")->sent.toString(), "2019");
}

// ---- Vaverezoduv ----

TEST_F(LookupTest, VaverezoduvPairFillsTheFrame)
{
    g_RefCode = "AB";
    g_RefNum = "0000012345";
    ASSERT_TRUE(FHS_FH631RI("A", *conn, ""));
    expectCall("FH631RI", fromStation(referenceLookup()));
    EXPECT_EQ(g_Filename, "FH000099.TIF");
    ASSERT_TRUE(FHS_FH800R(*conn, ""));
    expectCall("FH800R", {{"800Calr", 10, QString("Scan")}, {"RCcy", 4, QString("2016")}, {"RCmm", 2, QString("09")},
                          {"RCdd", 2, QString("10")}, {"Ctl#", 5, QString("00099")}, {"Imid", 12}, {"Iloc", 1},
                          {"#Pgs", 4}, {"Dabr", 3}, {"800ST", 1}});
    EXPECT_EQ(g_ImID, "IM0000000009");
    EXPECT_EQ(g_ImLoc, "2");
    EXPECT_EQ(g_DocType, "WIL");
    FrmMain &f = frmMain();
    EXPECT_FALSE(shown(f.txtRefCode_FHS));
    EXPECT_TRUE(shown(f.lblRefNum_FHS));
    EXPECT_EQ(f.lblRefNum_FHS->text(), "0000012345");
    EXPECT_EQ(f.lblCTLNum_FHS->text(), "99");
    EXPECT_EQ(f.lblDate_FHS->text(), "09/10/2016");
    EXPECT_EQ(f.lblNumPages_FHS->text(), "3");
}

TEST_F(LookupTest, VaverezoduvZeroPagesShowUnknownAndABadPageCountResets)
{
    scriptAnswer("FH800R", {{"#Pgs", "0000"}});
    g_CTLNum = "00099";
    EXPECT_TRUE(FHS_FH800R(*conn, ""));
    EXPECT_EQ(frmMain().lblNumPages_FHS->text(), "Unknown");

    frmMain().txtRefCode_FHS->setVisible(true);
    scriptAnswer("FH800R", {{"#Pgs", "X"}});
    const int resets = resetCount();
    EXPECT_FALSE(FHS_FH800R(*conn, ""));
    EXPECT_EQ(resetCount(), resets + 1);
    EXPECT_TRUE(boxes->calls().last().prompt.startsWith("Error in FHS_FH800R at line "));
}

} // namespace
