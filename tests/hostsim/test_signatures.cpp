// The host checks each call against the program's own parameter list: markers, parameter count,
// names and widths; a call that differs is refused before the program runs.
#include "hostfixture.h"

namespace {

class Signatures : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        em->runScript("INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id) VALUES"
                      " ('LR','000100','0001','2020','01','02','00011','000101','K','LR-2020-00011');\n"
                      "INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, ref) VALUES"
                      " ('MD','M','001234','0010','2019','05','06','00077','R00077');\n");
    }

    // The refusal of a call (fails the test when it ran), with the call log's last entry.
    QString refusal(const QString &program, int markers, const std::vector<Param> &params)
    {
        try {
            call(program, markers, params);
        } catch (const VbError &e) {
            EXPECT_EQ(e.number, adoErr::ProviderFailed);
            EXPECT_EQ(em->lastCall().program, program) << "a refused call is logged";
            return e.description;
        }
        ADD_FAILURE() << program.toStdString() << " ran";
        return QString();
    }
};

TEST_F(Signatures, LandRecordsLookupWithElevenOfItsFourteenIsRefused)
{
    std::vector<Param> eleven = landRecordsLookup();
    eleven.resize(11);
    EXPECT_EQ(refusal("SY331RI", 11, eleven), "SQL0440: Routine SY331RI in *LIBL not found with specified "
                                              "parameters: 11 markers and 11 parameters given, the program takes 14.");
    // fourteen parameters but eleven markers, and the other way round
    EXPECT_TRUE(refusal("SY331RI", 11, landRecordsLookup()).contains("11 markers and 14 parameters"));
    EXPECT_TRUE(refusal("SY331RI", 14, eleven).contains("14 markers and 11 parameters"));
    // the whole form runs
    EXPECT_EQ(call("SY331RI", 14, landRecordsLookup()).item("DSCTL#").text(), "00011");
}

TEST_F(Signatures, AWidenedOrRenamedParameterIsRefused)
{
    std::vector<Param> wide = landRecordsLookup();
    wide[4].width = 7; // DSBK
    EXPECT_EQ(refusal("SY331RI", 14, wide),
              "SQL0302: Conversion error on parameter 5 of SY331RI: DSBK(7) given, the program takes DSBK(6).");

    std::vector<Param> narrow = landRecordsLookup();
    narrow[13].width = 20; // DocId
    EXPECT_TRUE(refusal("SY331RI", 14, narrow).contains("parameter 14 of SY331RI: DocId(20)"));

    std::vector<Param> renamed = landRecordsLookup();
    renamed[10].name = "CTL#"; // the New York form's name in the land-records place
    EXPECT_TRUE(refusal("SY331RI", 14, renamed).contains("CTL#(5) given, the program takes DSCTL#(5)"));

    // names are compared without regard to case
    std::vector<Param> lower = landRecordsLookup();
    lower[0].name = "pcnm";
    EXPECT_EQ(call("SY331RI", 14, lower).item("DSRCCY").text(), "2020");
}

TEST_F(Signatures, TheTwoFormsOfTheBookLookupStayApart)
{
    const std::vector<Param> ny = newYorkBookLookup();
    EXPECT_EQ(call("SY331RI", 13, ny).item("CTL#").text(), "00077");
    EXPECT_EQ(call("SY331RI", 14, landRecordsLookup()).item("DSCTL#").text(), "00011");

    // the New York form with the land-records form's last parameter added is neither
    std::vector<Param> mixed = ny;
    mixed.push_back({"DocId", 25});
    EXPECT_TRUE(refusal("SY331RI", 14, mixed).startsWith("SQL0440"));
    // the land-records form without its last parameter is neither
    std::vector<Param> thirteen = landRecordsLookup();
    thirteen.pop_back();
    EXPECT_TRUE(refusal("SY331RI", 13, thirteen).startsWith("SQL0440"));
}

TEST_F(Signatures, EachFormRefusesACallWithTooFewMarkersAndLogsWhatWasLeftUnbound)
{
    const struct {
        const char *program;
        std::vector<Param> params;
        int markers;
    } cases[] = {
        {"SY983R", signOnParams(), 2},         {"SY331RI", newYorkBookLookup(), 9},
        {"SY330RI", controlNumberLookup(), 9}, {"IM655R", certificate(), 12},
        {"RG632R", bookRange(false), 9},       {"RG632R", bookRange(true), 14},
        {"IM652R", efileQueue(), 30},
    };
    for (const auto &c : cases) {
        const int n = int(c.params.size());
        SCOPED_TRACE(std::string(c.program) + " " + std::to_string(n));
        EXPECT_EQ(refusal(c.program, c.markers, c.params),
                  QString("SQL0440: Routine %1 in *LIBL not found with specified parameters: %2 markers and %3 "
                          "parameters given, the program takes %3.").arg(c.program).arg(c.markers).arg(n));
        const hostsim::HostCall log = em->lastCall();
        EXPECT_EQ(log.markers, c.markers);
        ASSERT_EQ(log.params.size(), n);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(log.params[i].bound, i < c.markers) << log.params[i].name.toStdString();
        EXPECT_TRUE(log.render().contains(QString("%1(%2) unbound").arg(c.params.back().name).arg(c.params.back().width)));
    }
}

} // namespace
