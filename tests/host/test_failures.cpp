// Every host call that fails (the program's execute, or the open of a connection the procedure
// makes itself): reported under the procedure's name with the provider's number and text, the
// call's result False, the workspace reset only where the procedure resets, and the index left
// as it was.
#include "hosttest.h"

#include <functional>

#include "core/reset.h"
#include "core/state.h"
#include "host/fhs.h"
#include "host/im650r.h"
#include "host/im652r.h"
#include "host/im655r.h"
#include "host/im656r.h"
#include "host/ma_lc630ri.h"
#include "host/ma_lp630ri.h"
#include "host/ma_rg800r.h"
#include "host/ma_sy331ri.h"
#include "host/ny_sy331ri.h"
#include "host/partners.h"
#include "host/rg632r.h"
#include "host/signon.h"

namespace {

struct FailureRow {
    const char *procedure;
    const char *program; // "SQL" for a statement
    std::function<bool(AdoConnection &)> call;
    bool resets;         // the workspace is reset after the report
    bool ownConnection;  // the procedure opens its connection itself
    const char *followUp; // the box shown after the report, if any
};

const char *const kNoConnection =
    "The Scan Tool did not connect to the iSeries.  Press OK to change your iSeries settings and try again.";
const char *const kNoPartners = "The Scan Tool was unable to retrieve the list of E-File Partners from the iSeries.  "
                                "Press OK and review your iSeries settings and try again.";

QString g_t1, g_t2, g_t3;

const std::vector<FailureRow> &failureRows()
{
    static const std::vector<FailureRow> rows = {
        {"MA_SY331RI", "SY331RI", [](AdoConnection &c) { return MA_SY331RI("A", c, ""); }, false, false, nullptr},
        {"MA_LC630RI", "LC630RI", [](AdoConnection &c) { return MA_LC630RI("A", c, ""); }, false, false, nullptr},
        {"MA_LP630RI", "LP630RI", [](AdoConnection &c) { return MA_LP630RI("A", c, ""); }, false, false, nullptr},
        {"MA_RG800R", "SY330RI", [](AdoConnection &c) { return MA_RG800R("A", c, ""); }, true, false, nullptr},
        {"NY_SY331RI", "SY331RI", [](AdoConnection &c) { return NY_SY331RI("A", c, ""); }, false, false, nullptr},
        {"FHS_FH631RI", "FH631RI", [](AdoConnection &c) { return FHS_FH631RI("A", c, ""); }, true, false, nullptr},
        {"FHS_FH800R", "FH800R", [](AdoConnection &c) { return FHS_FH800R(c, ""); }, true, false, nullptr},
        {"IM650R", "IM650R", [](AdoConnection &c) { return IM650R(c, "S", "WS01.T", "000000100", "0001"); }, false,
         false, nullptr},
        {"RG632R", "RG632R", [](AdoConnection &c) { return RG632R("A", c, ""); }, false, false, nullptr},
        {"IM652R", "IM652R", [](AdoConnection &c) { return IM652R(c, "A", g_t1, g_t2, g_t3); }, false, false, nullptr},
        {"IM656R", "IM656R", [](AdoConnection &c) { return IM656R(c); }, false, false, nullptr},
        {"IM655R", "IM655R", [](AdoConnection &) { return IM655R("A", "", "", ""); }, false, true, nullptr},
        // the settings dialog it opens keeps the customer in force: the document stays
        {"SY983R", "SY983R", [](AdoConnection &) { return SY983R("JSMITH", "Secret1"); }, false, true, kNoConnection},
        {"do_getEfilePartners", "SQL",
         [](AdoConnection &) {
             const QVariant r = do_getEfilePartners(STATE_MA);
             return !r.isValid() || r.toBool();
         },
         false, true, kNoPartners},
    };
    return rows;
}

// The index globals a failed call must not half-write.
QStringList indexState()
{
    return {g_Book, g_Page, g_Year, g_Month, g_Day, g_CTLNum, g_InstNum, g_DocNum, g_DocId, g_KyCd, g_BookCode,
            g_RefCode, g_RefNum, g_Plan1, g_CertNum, g_ImID, g_ImLoc, g_NumPages, g_DocType, g_Filename, gsRedacted,
            gsDocumentId, gsPartnerId};
}

class FailureTest : public HostTest {
protected:
    // The settings dialog a failed sign-on opened, closed unanswered.
    static void closeDialogs()
    {
        for (Form *f : QList<Form *>(Forms()))
            if (f->objectName() == u"frmLogin" || f->objectName() == u"frmConfig")
                f->Unload();
    }
    void SetUp() override
    {
        HostTest::SetUp();
        openConnection();
        g_blnLoggedIn = true;
        g_dbMode = MODE_MARG;
        g_Book = "000100";
        g_Page = "0001";
        g_EndingPage = "0002";
        g_DocNum = "0004567";
        g_CertNum = "C-100";
        g_RefCode = "AB";
        g_RefNum = "0000012345";
        g_Year = "2021";
        g_Month = "06";
        g_Day = "07";
        g_CTLNum = "00123";
        gsDocumentId = "0000000007";
    }
};

TEST_F(FailureTest, EveryHostCallFailureIsReportedUnderItsProcedure)
{
    for (const FailureRow &row : failureRows()) {
        for (bool atOpen : {false, true}) {
            if (atOpen && !row.ownConnection)
                continue;
            SCOPED_TRACE(std::string(row.procedure) + (atOpen ? " open" : " execute"));
            closeDialogs();
            g_blnLoggedIn = true;
            boxes->clear();
            forms->clear();
            const QStringList before = indexState();
            const int resets = resetCount();
            if (atOpen)
                em->addFault({hostsim::FaultKind::OpenFailure, "", -2147467259,
                              "[hostsim] Communication link failure", {}, 1});
            else
                failNextCall(row.program, -2147217871, "Query timeout expired");
            EXPECT_FALSE(row.call(*conn));
            const QStringList shown = prompts();
            if (shown.size() != (row.followUp ? 2 : 1)) {
                ADD_FAILURE() << "boxes: " << shown.join("|").toStdString();
                continue;
            }
            EXPECT_TRUE(shown[0].startsWith(QString("Error in %1 at line ").arg(row.procedure)))
                << shown[0].toStdString();
            EXPECT_TRUE(shown[0].endsWith(atOpen ? "-2147467259: [hostsim] Communication link failure"
                                                 : "-2147217871: Query timeout expired"))
                << shown[0].toStdString();
            if (row.followUp) {
                EXPECT_EQ(shown[1], row.followUp);
            }
            EXPECT_EQ(resetCount() - resets, row.resets ? 1 : 0);
            if (!row.resets) {
                EXPECT_EQ(indexState(), before);
            }
            if (!atOpen) {
                EXPECT_EQ(lastCall(row.program).program, row.program) << "the call was made";
            }
        }
    }
}

} // namespace
