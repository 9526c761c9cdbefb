// Key lookups: result codes follow from the data, outputs come back at their widths, and the
// short marker counts lose what stands beyond the markers.
#include "hostfixture.h"

namespace {

class Lookups : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        em->runScript(
            "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type) VALUES"
            " ('LR','000100','0001','2020','01','02','00011','000101','K','LR-2020-00011','DEED'),"
            " ('LR','000100','0005','2020','01','03','00012','000102','K','LR-2020-00012','MTG'),"
            " ('LC','000200','0001','2020','02','01','00021','','C','LC-2020-00021','CERT'),"
            " ('LR','000300','0001','2020','03','01','00031','000301','K','LR-2020-00031','DEED'),"
            " ('LC','000300','0001','2020','03','02','00032','','C','LC-2020-00032','DEED');\n"
            "INSERT INTO documents(db, doc_num, year, month, day, ctl, key_code, doc_id) VALUES"
            " ('LC','0001234','2018','07','08','00044','L','LC-2018-00044'),"
            " ('LC','0001240','2018','07','09','00045','L','LC-2018-00045');\n"
            "INSERT INTO documents(db, plan1, plan2, plan3, year, month, day, ctl) VALUES"
            " ('LP','000123','A','01','2017','04','05','00055');\n"
            "INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, ref) VALUES"
            " ('MD','M','001234','0010','2019','05','06','00077','R00077'),"
            " ('LR','L','004321','0020','2019','06','07','00078','R00078');\n"
            "INSERT INTO documents(db, ref_code, ref_num, year, month, day, ctl, filename, doc_type, location, imid)"
            " VALUES ('FH','AB','0000012345','2016','09','10','00099','FH000099.TIF','WIL','2','IM0000000009');\n"
            "INSERT INTO image_master(imid, folder, num_pages) VALUES('IM0000000009', 'IMG2016', '0003');\n");
    }

    AdoParameters maLookup(const QString &func, const QString &book, const QString &page)
    {
        return call("SY331RI", set(landRecordsLookup(), {{"DSFUNC", func}, {"DSBK", book}, {"DSPG", page},
                                                         {"DSRCCY", func == "A" ? "0000" : "2020"}}));
    }
};

TEST_F(Lookups, BookAndPageResultCodesFollowFromTheData)
{
    struct Case {
        const char *book, *page, *code, *year;
    } cases[] = {
        {"000100", "0001", "", "2020"},     // one land-records document
        {"000200", "0001", "1", "0000"},    // only in another database
        {"000999", "0001", "2", "0000"},    // nowhere
        {"000300", "0001", "3", "0000"},    // in more than one database
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.book) + "/" + c.page);
        const AdoParameters out = maLookup("A", c.book, c.page);
        EXPECT_EQ(out.item("DSRSLT").text(), c.code);
        EXPECT_EQ(out.item("DSRCCY").text(), c.year);
    }
}

TEST_F(Lookups, FoundDocumentComesBackUntrimmedAtItsWidths)
{
    const AdoParameters out = maLookup("A", "000100", "0005");
    EXPECT_EQ(out.item("DSRSLT").text(), ""); // a blank result code comes back empty
    EXPECT_EQ(out.item("DSRCMM").text(), "01");
    EXPECT_EQ(out.item("DSRCDD").text(), "03");
    EXPECT_EQ(out.item("DSCTL#").text(), "00012");
    EXPECT_EQ(out.item("INST#").text(), "000102");
    EXPECT_EQ(out.item("KyCd").text(), "K");
    EXPECT_EQ(out.item("DocId").text(), QString("LR-2020-00012").leftJustified(25));
    const hostsim::HostCall last = em->lastCall();
    EXPECT_EQ(last.program, "SY331RI");
    EXPECT_EQ(last.markers, 14);
    EXPECT_EQ(last.commandText, "{{CALL /QSYS.LIB/*LIBL.LIB/SY331RI.PGM(?,?,?,?,?,?,?,?,?,?,?,?,?,?)}}");
    EXPECT_EQ(last.connectionString, "provider=IBMDA400;data source=QHOST;");
    EXPECT_EQ(last.timeoutSeconds, 60000);
    EXPECT_TRUE(last.prepared);
    EXPECT_TRUE(last.param("DSRSLT")->sent.isNull()) << "DSRSLT was never set";
    EXPECT_EQ(last.param("KyCd")->sent.toString(), "");
}

TEST_F(Lookups, NextAndPreviousStepThroughTheDatabase)
{
    AdoParameters next = maLookup("N", "000100", "0001");
    EXPECT_EQ(next.item("DSRSLT").text(), "");
    EXPECT_EQ(next.item("DSPG").text(), "0005");
    AdoParameters prev = maLookup("P", "000100", "0005");
    EXPECT_EQ(prev.item("DSPG").text(), "0001");
    AdoParameters pastEnd = maLookup("N", "004321", "0020"); // the last land-records book
    EXPECT_EQ(pastEnd.item("DSRSLT").text(), "2");
}

TEST_F(Lookups, NewYorkBookFormAnswersThroughItsThirteenMarkers)
{
    const AdoParameters full = call("SY331RI", newYorkBookLookup());
    EXPECT_EQ(full.item("RcMM").text(), "05");
    EXPECT_EQ(full.item("RcDD").text(), "06");
    EXPECT_EQ(full.item("CTL#").text(), "00077");
    EXPECT_EQ(full.item("REF#").text(), QString("R00077").leftJustified(10));
}

TEST_F(Lookups, ControlNumberLookupReturnsTheBookThroughItsThirteenMarkers)
{
    const AdoParameters full = call("SY330RI", controlNumberLookup());
    EXPECT_EQ(full.item("BkCd").text(), "L");
    EXPECT_EQ(full.item("Bk").text(), "004321");
    EXPECT_EQ(full.item("Pg").text(), "0020");
}

TEST_F(Lookups, LandCourtDocumentAndPlan)
{
    auto doc = [&](const QString &func, const QString &num) {
        return call("LC630RI", set(landCourtLookup(), {{"DSFUNC", func}, {"Doc#", num}}));
    };
    AdoParameters found = doc("A", "0001234");
    EXPECT_EQ(found.item("DSRSLT").text(), "");
    EXPECT_EQ(found.item("DSCTL#").text(), "00044");
    EXPECT_EQ(doc("N", "0001234").item("Doc#").text(), "0001240");
    EXPECT_EQ(doc("A", "0009999").item("DSRSLT").text(), "2");

    auto plan = [&](const QString &p2) { return call("LP630RI", set(planLookup(), {{"$Pln2", p2}})); };
    AdoParameters p = plan("A");
    EXPECT_EQ(p.item("DSRSLT").text(), "");
    EXPECT_EQ(p.item("$Pln2").text(), "A  "); // width 3, as returned
    EXPECT_EQ(p.item("DSRCCY").text(), "2017");
    EXPECT_EQ(plan("B").item("DSRSLT").text(), "2");
}

TEST_F(Lookups, VaverezoduvPairFindsTheFileAndTheImage)
{
    const AdoParameters first = call("FH631RI", referenceLookup());
    EXPECT_EQ(first.item("Rslt").text(), "");
    EXPECT_EQ(first.item("PcFn").text(), "FH000099.TIF");
    EXPECT_EQ(first.item("CTL#").text(), "00099");

    const AdoParameters second = call("FH800R", 10,
                                      {{"800Calr", 10, QString("Scan")},
                                       {"RCcy", 4, first.item("RcCY").text()},
                                       {"RCmm", 2, first.item("RcMM").text()},
                                       {"RCdd", 2, first.item("RcDD").text()},
                                       {"Ctl#", 5, first.item("CTL#").text()},
                                       {"Imid", 12},
                                       {"Iloc", 1},
                                       {"#Pgs", 4},
                                       {"Dabr", 3},
                                       {"800ST", 1}});
    EXPECT_EQ(second.item("Imid").text(), "IM0000000009");
    EXPECT_EQ(second.item("#Pgs").text(), "0003");
    EXPECT_EQ(second.item("Dabr").text(), "WIL");
    EXPECT_EQ(second.item("Iloc").text(), "2");

    const AdoParameters missing = call("FH631RI", set(referenceLookup(), {{"RefCd", "ZZ"}, {"Ref#", "1"}}));
    EXPECT_EQ(missing.item("Rslt").text(), "2");
}

} // namespace
