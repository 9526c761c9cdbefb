// The e-file queue, cover pages, sign-on and the partner table.
#include "hostfixture.h"

#include <QSqlQuery>

namespace {

class Efile : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        em->runScript(
            "INSERT INTO efile_queue(partner_id, submit_cde, location_cde, batch_id, document_id, db, year, month,"
            " day, ctl, in_doc_path, num_pages, burned_image_path, g1d, g1, g3d, g3) VALUES"
            " ('01','SUB0000001','LOC0000001','0000001','0000000001','LR','2021','03','04','00101',"
            "  '\\\\QHOST\\EFILE\\0000000001.TIF','0002','\\\\QHOST\\EFILE\\BURNED\\0000000001.TIF','F3BR',"
            "  'RECEIVED FOR RECORD','F2TL','GROUP THREE TEXT'),"
            " ('01','SUB0000001','LOC0000001','0000001','0000000002','LC','2021','03','05','00102',"
            "  '\\\\QHOST\\EFILE\\0000000002.TIF','0001','\\\\QHOST\\EFILE\\BURNED\\0000000002.TIF','','','','');\n"
            "INSERT INTO cover_pages(id, db, year, month, day, ctl, status, path) VALUES"
            " (1, 'LR', '2021', '03', '04', '00101', 'Y', '\\COVERS\\EFILE.TIF');\n"
            "INSERT INTO cover_lines(cover_id, line_no, text) VALUES (1, 1, '01RECEIVED'), (1, 2, '02 BOOK 100');\n"
            "INSERT INTO PTC0 VALUES('01','Title Partners','E'), ('02','Paper Co','P'), ('03','County Bank','E');\n");
    }

    // The e-file call with `markers` markers; ids as the workstation sends them for `func`.
    AdoParameters im652r(const QString &func, int markers, const QString &docId = "0000000000",
                         const QString &ip = "10.0.0.5", const QString &burned = QString())
    {
        std::vector<Param> p = set(efileQueue(), {{"Func", func}, {"WrkStationIP", ip}, {"DocumentId", docId},
                                                  {"BatchId", func == "R" ? "0000000" : "0000001"}});
        if (func != "R")
            p = set(p, {{"PartnerId", "01"}, {"SubmitCde", "SUB0000001"}, {"LocationCde", "LOC0000001"}});
        if (func == "S")
            p = set(p, {{"BurnedImagePath", burned}});
        return call("IM652R", markers, p);
    }

    AdoParameters im656r(const QString &info) { return call("IM656R", 34, coverPageParams(info)); }
};

TEST_F(Efile, GetBatchHandsOutQueuedDocumentsInTurn)
{
    const AdoParameters first = im652r("R", 36);
    EXPECT_EQ(first.item("RsltCd").text(), "");
    EXPECT_EQ(first.item("DocumentId").text(), "0000000001");
    EXPECT_EQ(first.item("ApCd").text(), "LR");
    EXPECT_EQ(first.item("Group1Dflts").text(), "F3BR");
    EXPECT_EQ(first.item("Group1").text(), QString("RECEIVED FOR RECORD").leftJustified(80));
    EXPECT_EQ(first.item("Group2").text(), "") << "a blank group comes back empty";
    EXPECT_EQ(first.item("Group3").text().trimmed(), "GROUP THREE TEXT");
    EXPECT_EQ(first.item("InDocPath").text().trimmed(), "\\\\QHOST\\EFILE\\0000000001.TIF");

    EXPECT_EQ(im652r("R", 36).item("DocumentId").text(), "0000000002");
    const AdoParameters empty = im652r("R", 36);
    EXPECT_EQ(empty.item("RsltCd").text(), "7");
    EXPECT_FALSE(empty.item("ErrMsg").text().isEmpty());
}

TEST_F(Efile, ThirtyMarkersAreRefusedAndTakeNothingFromTheQueue)
{
    EXPECT_TRUE(errorTextOf([&] { im652r("R", 30); }).startsWith("SQL0440: Routine IM652R in *LIBL not found"));
    EXPECT_EQ(im652r("R", 36).item("DocumentId").text(), "0000000001");

    const AdoParameters told = im652r("S", 36, "0000000001", "10.0.0.5", "\\\\QHOST\\EFILE\\BURNED\\none.TIF");
    EXPECT_TRUE(told.item("ErrMsg").text().contains("not found"));
}

TEST_F(Efile, DocumentHeldByAnotherWorkstationGivesCodeEight)
{
    im652r("R", 36, "0000000000", "10.0.0.5");
    const AdoParameters mine = im652r("A", 36, "0000000001", "10.0.0.5");
    EXPECT_EQ(mine.item("RsltCd").text(), "");
    const AdoParameters other = im652r("A", 36, "0000000001", "10.0.0.9");
    EXPECT_EQ(other.item("RsltCd").text(), "8");
    EXPECT_EQ(im652r("A", 36, "0000000077").item("RsltCd").text(), "1");
    EXPECT_EQ(im652r("N", 36, "0000000001").item("DocumentId").text(), "0000000002");
    EXPECT_EQ(im652r("N", 36, "0000000002").item("RsltCd").text(), "2");
}

TEST_F(Efile, StoreMarksTheDocumentStoredOnceTheBurnedImageIsThere)
{
    im652r("R", 36);
    putShareFile("EFILE\\BURNED\\0000000001.TIF", 300);
    const AdoParameters stored =
        im652r("S", 36, "0000000001", "10.0.0.5", "\\\\QHOST\\EFILE\\BURNED\\0000000001.TIF");
    EXPECT_EQ(stored.item("RsltCd").text(), "");
    EXPECT_EQ(stored.item("ErrMsg").text(), "");
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec("SELECT status FROM efile_queue WHERE document_id = '0000000001'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "S");
}

TEST_F(Efile, ImageRegistrationOfAnEfiledDocumentIndexesIt)
{
    em->runScript("UPDATE efile_queue SET in_doc_id = 'EF0000000001', doc_type = 'DEED' WHERE id = 1;\n");
    const AdoParameters got = im652r("R", 36);
    putShareFile("KvTemp\\Scans\\WS01.T", 2048);
    const AdoParameters reg = call(
        "IM650R", set(imageMaster(), {{"Func", "S"}, {"KyCd", got.item("KyCd").text()},
                                      {"DocId", got.item("InDocID").text()},
                                      {"RcCY", got.item("InDocCtlYear").text()},
                                      {"RcMM", got.item("InDocCtlMonth").text()},
                                      {"RcDD", got.item("InDocCtlDay").text()}, {"Ctl#", got.item("InDocCtl#").text()},
                                      {"PcFn", "WS01.T"}, {"DoSz", "000002048"}, {"Nump", "0002"}}));
    EXPECT_EQ(reg.item("ErrMsg").text(), "");
    EXPECT_EQ(reg.item("Dabr").text(), "DEED ");
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec("SELECT db, ctl, imid FROM documents WHERE doc_id = 'EF0000000001'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toString(), "00101");
    EXPECT_EQ(q.value(2).toString(), reg.item("Imid").text().trimmed());
}

TEST_F(Efile, CoverPageByDocumentInfoOfFifteenOrThirteen)
{
    const AdoParameters out = im656r("LR2021030400101");
    EXPECT_EQ(out.item("ErrMsg").text(), "");
    EXPECT_EQ(out.item("Status").text(), "Y");
    EXPECT_EQ(out.item("CoverPagePath").text().trimmed(), "\\COVERS\\EFILE.TIF");
    EXPECT_EQ(out.item("CoverPageText1").text(), QString("01RECEIVED").leftJustified(77));
    EXPECT_EQ(out.item("CoverPageText2").text().left(11), "02 BOOK 100");
    EXPECT_EQ(out.item("CoverPageText3").text(), "");

    EXPECT_EQ(im656r("2021030400101").item("Status").text(), "Y");
    EXPECT_EQ(im656r("LC2021030400101").item("Status").text(), "N");
    EXPECT_FALSE(im656r("LR20210304").item("ErrMsg").text().isEmpty());
}

TEST_F(Efile, SignOnChecksTheOperator)
{
    auto signOn = [&](const QString &user, const QString &pwd) {
        return call("SY983R", set(signOnParams(), {{"userid", user}, {"password", pwd}}));
    };
    EXPECT_EQ(signOn("JSMITH", "Secret1").item("ErrMsg").text(), "");
    EXPECT_EQ(signOn("jsmith", "Secret1").item("ErrMsg").text(), "");
    EXPECT_TRUE(signOn("JSMITH", "secret1").item("ErrMsg").text().startsWith("CPF2204"));
    EXPECT_TRUE(signOn("OLDUSER", "x").item("ErrMsg").text().contains("disabled"));
    // Longer than its parameter: the provider refuses the value, the host never sees it.
    EXPECT_EQ(errorOf([&] { signOn("JSMITH", "Secret1Secret1"); }), adoErr::MultipleStepErrors);
    const hostsim::HostCall last = em->lastCall();
    EXPECT_EQ(last.param("password")->sent.toString(), QString(14, '*')) << "the log masks passwords";
    EXPECT_EQ(last.param("userid")->sent.toString(), "JSMITH");
}

} // namespace
