// Stepping through the land-records documents. What each lookup answers is checked through the
// workstation's own calls in tests/host.
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
            " ('LR','004321','0020','2019','06','07','00078','','L','LR-2019-00078','DEED');\n");
    }

    AdoParameters maLookup(const QString &func, const QString &book, const QString &page)
    {
        return call("SY331RI", set(landRecordsLookup(), {{"DSFUNC", func}, {"DSBK", book}, {"DSPG", page},
                                                         {"DSRCCY", func == "A" ? "0000" : "2020"}}));
    }
};

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

} // namespace
