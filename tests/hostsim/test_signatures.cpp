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

    // The land-records form of SY331RI, 14 parameters in order.
    static std::vector<Param> landRecords()
    {
        return trio() + std::vector<Param>{{"DSFUNC", 1, QString("A")}, {"DSBK", 6, QString("000100")},
                                           {"DSPG", 4, QString("0001")}, {"DSRSLT", 1},
                                           {"DSRCCY", 4, QString("0000")}, {"DSRCMM", 2, QString("00")},
                                           {"DSRCDD", 2, QString("00")}, {"DSCTL#", 5, QString("00000")},
                                           {"INST#", 6, QString("000000")}, {"KyCd", 1, QString("")},
                                           {"DocId", 25, QString("")}};
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
    std::vector<Param> eleven = landRecords();
    eleven.resize(11);
    EXPECT_EQ(refusal("SY331RI", 11, eleven), "SQL0440: Routine SY331RI in *LIBL not found with specified "
                                              "parameters: 11 markers and 11 parameters given, the program takes 14.");
    // fourteen parameters but eleven markers, and the other way round
    EXPECT_TRUE(refusal("SY331RI", 11, landRecords()).contains("11 markers and 14 parameters"));
    EXPECT_TRUE(refusal("SY331RI", 14, eleven).contains("14 markers and 11 parameters"));
    // the whole form runs
    EXPECT_EQ(call("SY331RI", 14, landRecords()).item("DSCTL#").text(), "00011");
}

TEST_F(Signatures, AWidenedOrRenamedParameterIsRefused)
{
    std::vector<Param> wide = landRecords();
    wide[4].width = 7; // DSBK
    EXPECT_EQ(refusal("SY331RI", 14, wide),
              "SQL0302: Conversion error on parameter 5 of SY331RI: DSBK(7) given, the program takes DSBK(6).");

    std::vector<Param> narrow = landRecords();
    narrow[13].width = 20; // DocId
    EXPECT_TRUE(refusal("SY331RI", 14, narrow).contains("parameter 14 of SY331RI: DocId(20)"));

    std::vector<Param> renamed = landRecords();
    renamed[10].name = "CTL#"; // the New York form's name in the land-records place
    EXPECT_TRUE(refusal("SY331RI", 14, renamed).contains("CTL#(5) given, the program takes DSCTL#(5)"));

    // names are compared without regard to case
    std::vector<Param> lower = landRecords();
    lower[0].name = "pcnm";
    EXPECT_EQ(call("SY331RI", 14, lower).item("DSRCCY").text(), "2020");

}

TEST_F(Signatures, TheTwoFormsOfTheBookLookupStayApart)
{
    const std::vector<Param> ny =
        trio() + std::vector<Param>{{"Func", 1, QString("A")},     {"BkCd", 1, QString("M")},
                                    {"Bk", 6, QString("001234")},  {"Pg", 4, QString("0010")},
                                    {"Rslt", 1, QString("0")},     {"RcCY", 4, QString("0000")},
                                    {"RcMM", 2, QString("00")},    {"RcDD", 2, QString("00")},
                                    {"CTL#", 5, QString("00000")}, {"REF#", 10, QString("0000000000")}};
    EXPECT_EQ(call("SY331RI", 13, ny).item("CTL#").text(), "00077");
    EXPECT_EQ(call("SY331RI", 14, landRecords()).item("DSCTL#").text(), "00011");

    // the New York form with the land-records form's last parameter added is neither
    std::vector<Param> mixed = ny;
    mixed.push_back({"DocId", 25});
    EXPECT_TRUE(refusal("SY331RI", 14, mixed).startsWith("SQL0440"));
    // the land-records form without its last parameter is neither
    std::vector<Param> thirteen = landRecords();
    thirteen.pop_back();
    EXPECT_TRUE(refusal("SY331RI", 13, thirteen).startsWith("SQL0440"));
}

} // namespace
