// Image-master call: function-code and mode tables, the untrimmed error test, sign-off.
#include "hosttest.h"

#include "core/startup.h"
#include "core/state.h"
#include "host/hostservices.h"
#include "host/im650r.h"

namespace {

class IM650RTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        em->runScript("INSERT INTO documents(db, book, page, year, month, day, ctl, key_code, doc_id, doc_type, imid)"
                      " VALUES ('LR','000100','0001','2020','01','02','00011','K','LR-2020-00011','DEED','IM0000000001');\n"
                      "INSERT INTO image_master(imid, folder, num_pages, redacted) VALUES('IM0000000001','IMG2020','0007','Y');\n");
        g_KyCd = "K";
        g_DocId = "LR-2020-00011";
        g_Year = "2020";
        g_Month = "01";
        g_Day = "02";
        g_CTLNum = "00011";
        openConnection();
    }
};

TEST_F(IM650RTest, LookupSendsTheFirstRowForAnyOfANP)
{
    for (const char *func : {"A", "N", "P"}) {
        SCOPED_TRACE(func);
        EXPECT_TRUE(IM650R(*conn, func, "", "", ""));
        expectCall("IM650R",
                   fromStation(set(imageMaster(), {{"DocId", "LR-2020-00011"}, {"RcDD", "02"}, {"Ctl#", "00011"}})));
    }
    // outputs copied as returned, at their widths
    EXPECT_EQ(g_ImID, "IM0000000001");
    EXPECT_EQ(g_NumPages, "0007");
    EXPECT_EQ(g_DocType, "DEED ");
    EXPECT_EQ(gsRedacted, "Y");
    EXPECT_TRUE(boxes->calls().isEmpty());
}

TEST_F(IM650RTest, FunctionCodeTable)
{
    gsRedacted = "Y";
    struct Case {
        const char *given;
        std::optional<QString> func, pcfn, dosz, nump, redacted;
    } cases[] = {
        {"S", "S", "WS01.T", "000004096", "0003", "Y"},
        {"9", "9", std::nullopt, std::nullopt, std::nullopt, "N"},
        {"a", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"R", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.given);
        gsRedacted = "Y";
        IM650R(*conn, c.given, "WS01.T", "000004096", "0003");
        const hostsim::HostCall call = lastCall("IM650R");
        auto sent = [&](const char *name) { return call.param(name)->sent; };
        auto check = [&](const char *name, const std::optional<QString> &v) {
            SCOPED_TRACE(name);
            EXPECT_EQ(sent(name).isValid(), v.has_value());
            if (v) {
                EXPECT_EQ(sent(name).toString(), *v);
            }
        };
        check("Func", c.func);
        check("PcFn", c.pcfn);
        check("DoSz", c.dosz);
        check("Nump", c.nump);
        check("Redacted", c.redacted);
        // the mode's codes, the index and the trio go out whatever the code
        EXPECT_EQ(sent("ApCd").toString(), "LR");
        EXPECT_EQ(sent("Ctl#").toString(), "00011");
        EXPECT_EQ(sent("PcNm").toString(), "WORKSTATIO");
    }
}

TEST_F(IM650RTest, ApplicationCodesFollowTheModeAndTheUnindexedFlag)
{
    struct Case {
        qint16 mode;
        std::optional<QString> apCd, mbGp, mbGpUnindexed;
    } cases[] = {
        {MODE_MARG, "LR", "LR", "OI"},      {MODE_MALC, "LC", "LC", "OI"},
        {MODE_MALCP, "LP", "LP", "LP"},     {MODE_MEBS, {}, {}, {}},
        {MODE_MERG_UPD, "LR", "LR", "OI"},  {MODE_NYRG, "LR", "LR", "LR"},
        {MODE_NYMD, "MD", "MD", "MD"},      {MODE_NYCR, "CT", "CT", "CT"},
        {MODE_FHS, {}, {}, {}},             {MODE_MARGBS, {}, {}, {}},
        {MODE_NYBS, {}, {}, {}},            {MODE_NYBR, "", "", ""},
        {MODE_MACC, {}, {}, {}},
    };
    ASSERT_EQ(std::size(cases), 13u);
    for (const Case &c : cases) {
        for (bool unindexed : {false, true}) {
            SCOPED_TRACE(std::to_string(c.mode) + (unindexed ? " unindexed" : ""));
            g_dbMode = c.mode;
            g_blnScanUnIndexDocs = unindexed;
            IM650R(*conn, "A", "", "", "");
            const hostsim::HostCall call = lastCall("IM650R");
            const auto mb = unindexed ? c.mbGpUnindexed : c.mbGp;
            ASSERT_EQ(call.param("ApCd")->sent.isValid(), c.apCd.has_value());
            ASSERT_EQ(call.param("MbGp")->sent.isValid(), mb.has_value());
            if (c.apCd) {
                EXPECT_EQ(call.param("ApCd")->sent.toString(), *c.apCd);
                EXPECT_EQ(call.param("MbGp")->sent.toString(), *mb);
            }
        }
    }
}

TEST_F(IM650RTest, HostErrorTextIsShownUntrimmedAndTheCopiesStay)
{
    scriptAnswer("IM650R",
                 {{"ErrMsg", "Image master is locked."}, {"Imid", "IM9"}, {"Nump", "0002"}, {"Redacted", "Y"}});
    EXPECT_FALSE(IM650R(*conn, "A", "", "", ""));
    ASSERT_EQ(boxes->calls().size(), 1);
    const MsgBoxCall box = boxes->calls().first();
    EXPECT_EQ(box.prompt, QString("Image master is locked.").leftJustified(60));
    EXPECT_EQ(box.buttons, 0);
    EXPECT_TRUE(box.title.isEmpty());
    EXPECT_EQ(g_ImID, "IM9         ");
    EXPECT_EQ(g_NumPages, "0002");
    EXPECT_EQ(gsRedacted, "Y");
}

TEST_F(IM650RTest, ShutdownSignOffGoesThroughTheRegisteredHook)
{
    registerHostServices();
    coreHooks().signOff("provider=IBMDA400;data source=QHOST;", "QUSER", "QPWD");
    const hostsim::HostCall call = lastCall("IM650R");
    EXPECT_EQ(call.param("Func")->sent.toString(), "9");
    EXPECT_EQ(call.param("Redacted")->sent.toString(), "N");
    EXPECT_FALSE(call.param("PcFn")->sent.isValid());
    EXPECT_EQ(opens.back().connectionString, "provider=IBMDA400;data source=QHOST;");
    resetCoreHooks();
    coreHooks().endProcess = [](int code) { ADD_FAILURE() << "the program tried to end: " << code; };
    coreHooks().commandLine = [] { return QString(); };
}

} // namespace
