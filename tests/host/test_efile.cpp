// E-file fetch, group-text lines and cover pages.
#include "hosttest.h"

#include "core/state.h"
#include "host/grouptext.h"
#include "host/im652r.h"
#include "host/im656r.h"
#include "platform/vb/vb.h"

namespace {

class EFileTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        em->runScript(
            "INSERT INTO efile_queue(partner_id, submit_cde, location_cde, batch_id, document_id, db, key_code, year,"
            " month, day, ctl, book, page, in_doc_path, in_doc_id, doc_type, num_pages, g1d, g1, g2d, g2, g4d, g4)"
            " VALUES ('01','SUB0000001','LOC0000001','0000042','0000000007','LR','E','2021','06','07','00123',"
            " '000500','0010','\\\\QHOST\\EFILE\\D7.TIF','EF-7','DEED','0002','F3BR','Recorded electronically',"
            " '    ','','L1TC','Line one'),"
            " ('01','SUB0000001','LOC0000001','0000042','0000000008','LC','E','2021','06','08','00124',"
            " '','','\\\\QHOST\\EFILE\\D8.TIF','EF-8','CERT','0001','','','','','','');\n");
        g_WrkStationIP = "10.0.0.5";
        gsPartnerId = "01";
        gsSubmitCde = "SUB0000001";
        gsLocationCde = "LOC0000001";
        gsBatchId = "0000042";
        g_dbMode = MODE_MARG;
        openConnection();
    }
    QString t1, t2, t3;
};

TEST_F(EFileTest, StartWithBlankDocumentIdSendsZerosAndBindsAllThirtySix)
{
    gsDocumentId = "   ";
    EXPECT_FALSE(IM652R(*conn, "A", t1, t2, t3)); // no document 0000000000
    const hostsim::HostCall call = lastCall("IM652R");
    EXPECT_EQ(call.commandText, callText("IM652R", 36));
    EXPECT_EQ(call.markers, 36);
    ASSERT_EQ(call.params.size(), 36);
    for (const hostsim::LoggedParameter &p : call.params)
        EXPECT_TRUE(p.bound) << p.name.toStdString();
    EXPECT_EQ(call.param("DocumentId")->sent.toString(), "0000000000");
    EXPECT_EQ(call.param("WrkStationIP")->sent.toString(), "10.0.0.5");
    EXPECT_EQ(call.param("WrkStationIP")->size, 23);
    EXPECT_FALSE(call.param("BurnedImagePath")->sent.isValid());
    EXPECT_FALSE(call.param("RsltCd")->sent.isValid());
    EXPECT_FALSE(call.params[0].name.compare("PartnerId"));
    EXPECT_TRUE(IM652RResultIs("1"));
    EXPECT_EQ(boxes->calls().size(), 1);
    EXPECT_EQ(boxes->calls()[0].title, "Note");
}

TEST_F(EFileTest, FoundDocumentStoresEverythingAndTheGroupSettings)
{
    gsDocumentId = "0000000007";
    g_GroupPos[3][0].GroupId = 2; // a stale position from the last document
    ASSERT_TRUE(IM652R(*conn, "A", t1, t2, t3));
    EXPECT_TRUE(boxes->calls().isEmpty());
    EXPECT_EQ(g_IM652RResult, QVariant(qint16(0)));
    EXPECT_EQ(g_Year, "2021");
    EXPECT_EQ(g_CTLNum, "00123");
    EXPECT_EQ(g_DocNum, "0000000007");
    EXPECT_EQ(g_ImID, gsInDocPath);
    EXPECT_TRUE(g_ImID.startsWith("\\\\QHOST\\EFILE\\D7.TIF"));
    EXPECT_EQ(g_DocType, "DEED ");
    EXPECT_EQ(gsAllowAnnotationEditing, "Y");
    const GroupTextInfo &g1 = g_GroupTextInfo[0];
    EXPECT_EQ(g1.PageScope, "F");
    EXPECT_EQ(g1.FontSize, 12);
    EXPECT_EQ(g1.Edge, "B");
    EXPECT_EQ(g1.Location, "R");
    EXPECT_EQ(g1.PositionCode, 4);
    EXPECT_EQ(g_GroupTextInfo[3].PositionCode, 2);
    EXPECT_EQ(g_GroupTextInfo[3].FontSize, 8);
    // blank defaults come back empty: 10 points, position 0
    EXPECT_EQ(g_GroupTextInfo[1].FontSize, 10);
    EXPECT_EQ(g_GroupTextInfo[1].PositionCode, 0);
    EXPECT_EQ(gsGroup1TextAnnotationRaw, QString("Recorded electronically").leftJustified(80));
    EXPECT_EQ(g_GroupPos[3][0].GroupId, 0);
}

TEST_F(EFileTest, ResultCodesAreKeptAsTextAndOnlySomeAreShown)
{
    struct Case {
        const char *code;
        bool shown;
    } cases[] = {{"1", true}, {"2", true}, {"3", false}, {"7", true}, {"8", true}, {"A", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        boxes->clear();
        g_Year = "1999";
        scriptAnswer("IM652R", {{"RsltCd", c.code}, {"ErrMsg", "Host says no."}, {"InDocCtlYear", "2021"}});
        EXPECT_FALSE(IM652R(*conn, "A", t1, t2, t3));
        EXPECT_EQ(g_IM652RResult.toString(), c.code);
        EXPECT_TRUE(IM652RResultIs(c.code));
        EXPECT_EQ(g_Year, "1999");
        ASSERT_EQ(boxes->calls().size(), c.shown ? 1 : 0);
        if (c.shown) {
            EXPECT_EQ(boxes->calls()[0].prompt, QString("Host says no.").leftJustified(60));
            EXPECT_EQ(boxes->calls()[0].title, "Note");
        }
    }
    EXPECT_FALSE(IM652RResultIs("8"));
}

TEST_F(EFileTest, DatabaseMismatchSaysDoesNotMatchExceptForGetBatch)
{
    gsDocumentId = "0000000008"; // a Land Court document while the mode is land records
    g_Year = "1999";
    EXPECT_FALSE(IM652R(*conn, "A", t1, t2, t3));
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_EQ(boxes->calls()[0].prompt,
              "Error in IM652R: The database returned from the iSeries does not match the current database.");
    EXPECT_EQ(boxes->calls()[0].buttons, 16);
    EXPECT_EQ(boxes->calls()[0].title, "The Korvane Scan Tool");
    EXPECT_EQ(g_Year, "1999");

    // Get Batch: the host picks the next queued document, any database
    boxes->clear();
    em->runScript("UPDATE efile_queue SET status = 'S' WHERE document_id = '0000000007';\n");
    gsPartnerId.clear();
    gsBatchId.clear();
    EXPECT_TRUE(IM652R(*conn, "R", t1, t2, t3));
    const hostsim::HostCall call = lastCall("IM652R");
    EXPECT_FALSE(call.param("PartnerId")->sent.isValid());
    EXPECT_EQ(call.param("BatchId")->sent.toString(), "0000000");
    EXPECT_EQ(call.param("DocumentId")->sent.toString(), "0000000000");
    EXPECT_EQ(gsPartnerId, "01");
    EXPECT_EQ(gsBatchId, "0000042");
    EXPECT_EQ(gsDocumentId, "0000000008");
    EXPECT_TRUE(boxes->calls().isEmpty());
}

TEST_F(EFileTest, GetBatchWithBlankDocumentIdKeepsZeros)
{
    scriptAnswer("IM652R", {{"DocumentId", ""}, {"PartnerId", "02"}});
    EXPECT_TRUE(IM652R(*conn, "R", t1, t2, t3));
    EXPECT_EQ(gsDocumentId, "0000000000");
    EXPECT_EQ(g_DocNum, "");
    EXPECT_EQ(gsPartnerId, "02");
}

TEST_F(EFileTest, StoreSendsTheDocumentIdUnchangedAndTheBurnedPath)
{
    gsDocumentId = "  ";
    gsBurnedImagePath = "\\\\QHOST\\KvTemp\\Burned\\X.TIF";
    IM652R(*conn, "S", t1, t2, t3);
    const hostsim::HostCall call = lastCall("IM652R");
    EXPECT_EQ(call.param("DocumentId")->sent.toString(), "  ");
    EXPECT_EQ(call.param("BurnedImagePath")->sent.toString(), "\\\\QHOST\\KvTemp\\Burned\\X.TIF");
    EXPECT_EQ(call.param("Func")->sent.toString(), "S");
}

// ---- group-text lines ----

class GroupTextTest : public ::testing::Test {
protected:
    void SetUp() override { resetState(); }
    void TearDown() override { resetState(); }
    static void raw(int group, const QString &text) { g_GroupTextInfo[size_t(group - 1)].RawText = text; }
};

TEST_F(GroupTextTest, AllEmptyGivesNothingAndFilesNothing)
{
    do_load_grouptext_lines();
    for (const GroupTextInfo &g : g_GroupTextInfo) {
        EXPECT_TRUE(g.Text.isEmpty());
        EXPECT_EQ(g.MaxLen, 0);
        EXPECT_EQ(g.LineCount, 0);
    }
    EXPECT_TRUE(gsGroup1FirstLine.isEmpty());
    for (const auto &list : g_GroupPos)
        EXPECT_EQ(list[0].GroupId, 0);
}

TEST_F(GroupTextTest, BlankFirstFieldGivesAnEmptyFirstLineExceptInGroupFour)
{
    raw(1, QString(40, ' ') + "ABC");
    raw(4, QString(40, ' ') + "ABC");
    g_GroupTextInfo[0].Edge = "T";
    g_GroupTextInfo[0].Location = "L";
    g_GroupTextInfo[0].PageScope = "F";
    g_GroupTextInfo[0].FontSize = 12;
    g_GroupTextInfo[3].Edge = "B";
    g_GroupTextInfo[3].Location = "C";
    g_GroupTextInfo[3].FontSize = 8;
    do_load_grouptext_lines();
    const GroupTextInfo &g1 = g_GroupTextInfo[0];
    EXPECT_EQ(g1.FieldLen[0], 0);
    EXPECT_EQ(g1.FieldLen[1], 3);
    EXPECT_EQ(g1.MaxLen, 3);
    EXPECT_EQ(g1.LineCount, 1);
    EXPECT_EQ(g1.Text, "\r\nABC");
    EXPECT_EQ(g_GroupTextInfo[3].Text, "ABC");
    // groups with text are filed by edge, location and scope
    EXPECT_EQ(g_GroupPos[0][0].GroupId, 1);
    EXPECT_EQ(g_GroupPos[0][0].FontSize, 12);
    EXPECT_EQ(g_GroupPos[10][0].GroupId, 4);
    EXPECT_EQ(g_GroupPos[10][0].FontSize, 8);
}

TEST_F(GroupTextTest, FieldCutsTrimOnlyTheEnds)
{
    auto field = [](const QString &s, int width) { return s.leftJustified(width); };
    raw(1, field("  First  line ", 40) + field("second", 40));
    raw(2, field("one", 50) + field("", 50) + field("  three", 50) + field("", 50) + field("", 50));
    raw(3, QString("short third")); // shorter than 51: fields 2 to 5 are empty
    raw(4, field("a", 40) + field("", 40) + field("c c", 40));
    do_load_grouptext_lines();
    EXPECT_EQ(gsGroup1FirstLine, "First  line");
    EXPECT_EQ(g_GroupTextInfo[0].Text, "First  line\r\nsecond");
    EXPECT_EQ(g_GroupTextInfo[0].MaxLen, 11);
    EXPECT_EQ(g_GroupTextInfo[1].Text, "one\r\nthree");
    EXPECT_EQ(g_GroupTextInfo[1].LineCount, 2);
    EXPECT_EQ(g_GroupTextInfo[1].FieldLen[2], 5);
    EXPECT_EQ(g_GroupTextInfo[2].Text, "short third");
    EXPECT_EQ(g_GroupTextInfo[2].LineCount, 1);
    EXPECT_EQ(g_GroupTextInfo[3].Text, "a\r\nc c");
    EXPECT_EQ(g_GroupTextInfo[3].LineCount, 2);
}

// ---- cover pages ----

class CoverTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        em->runScript("INSERT INTO cover_pages(id, db, year, month, day, ctl, status, path) VALUES"
                      " (1, 'LR', '2021', '06', '07', '00123', 'Y', '\\COVERS\\LR.TIF'),"
                      " (2, 'FH', '2016', '09', '10', '00099', 'Y', '\\COVERS\\FH.TIF');\n"
                      "INSERT INTO cover_lines VALUES (1, 1, '01 Grantor: Smith'), (1, 2, '12Book 500');\n");
        g_Year = "2021";
        g_Month = "06";
        g_Day = "07";
        g_CTLNum = "00123";
        openConnection();
    }
};

TEST_F(CoverTest, DocumentInfoCarriesTheModeCodeWhereThereIsOne)
{
    g_dbMode = MODE_NYRG;
    ASSERT_TRUE(IM656R(*conn));
    const hostsim::HostCall call = lastCall("IM656R");
    EXPECT_EQ(call.markers, 34);
    ASSERT_EQ(call.params.size(), 34);
    EXPECT_EQ(call.param("DocumentInfo")->sent.toString(), "LR202106070012" "3");
    EXPECT_FALSE(call.param("Status")->sent.isValid());
    EXPECT_EQ(call.params[33].name, "ErrMsg");
    EXPECT_EQ(call.params[4].name, "CoverPageText2");
    EXPECT_EQ(call.params[4].size, 77);
    EXPECT_EQ(gsCoverPageStatus, "Y");
    EXPECT_EQ(gsCoverPagePath, "\\\\QHOST" + QString("\\COVERS\\LR.TIF").leftJustified(255));

    g_dbMode = MODE_FHS;
    g_Year = "2016";
    g_Month = "09";
    g_Day = "10";
    g_CTLNum = "00099";
    ASSERT_TRUE(IM656R(*conn));
    EXPECT_EQ(lastCall("IM656R").param("DocumentInfo")->sent.toString(), "2016091000099");
}

TEST_F(CoverTest, LinesSplitIntoCodeAndText)
{
    g_dbMode = MODE_MARG;
    ASSERT_TRUE(IM656R(*conn));
    do_load_coverpage_lines();
    EXPECT_EQ(g_CoverPageLines[0].Code, 1);
    EXPECT_EQ(g_CoverPageLines[0].Text, QString(" Grantor: Smith").leftJustified(75));
    EXPECT_EQ(g_CoverPageLines[1].Code, 12);
    EXPECT_EQ(g_CoverPageLines[1].Text.left(8), "Book 500");
    // lines the host left blank come back empty
    EXPECT_EQ(g_CoverPageLines[2].Code, 0);
    EXPECT_TRUE(g_CoverPageLines[2].Text.isEmpty());

    g_CoverPageLines[3].Raw = QString(77, ' ');
    g_CoverPageLines[4].Raw = "7";
    do_load_coverpage_lines();
    EXPECT_EQ(g_CoverPageLines[3].Code, 0);
    EXPECT_EQ(g_CoverPageLines[3].Text, QString(75, ' '));
    EXPECT_EQ(g_CoverPageLines[4].Code, 7);
    EXPECT_TRUE(g_CoverPageLines[4].Text.isEmpty());
}

TEST_F(CoverTest, HostErrorKeepsTheStatusAndClearsThePath)
{
    g_dbMode = MODE_MARG;
    g_CTLNum = "ABCDE";
    EXPECT_FALSE(IM656R(*conn));
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls()[0].prompt.startsWith("IM656R: document information LR20210607ABCDE"));
    EXPECT_TRUE(boxes->calls()[0].title.isEmpty());
    EXPECT_TRUE(gsCoverPagePath.isEmpty());
}

TEST_F(CoverTest, AFailedCallNeverLeavesThePreviousCoverPage)
{
    g_dbMode = MODE_MARG;
    gsCoverPagePath = "\\\\QHOST\\COVERS\\OLD.TIF";
    gsCoverPageStatus = "Y";
    failNextCall("IM656R");
    EXPECT_FALSE(IM656R(*conn));
    EXPECT_TRUE(gsCoverPagePath.isEmpty());
    EXPECT_TRUE(gsCoverPageStatus.isEmpty());
    EXPECT_TRUE(boxes->calls()[0].prompt.startsWith("Error in IM656R at line "));
}

} // namespace
