// Restart after a lookup, in every database mode, against the demo office: the mode's index
// boxes come back, the operator types the next document's keys, and Go finds it; the found
// values read whole in between.
#include <QTest>

#include <utility>

#include "capture/indexchecks.h"
#include "core/mode.h"
#include "platform/vb/vb.h"
#include "test_request_fixture.h"
#include "support/textfit.h"

namespace {

using Keys = QList<std::pair<QLineEdit *, QString>>;

struct RestartCase {
    const char *name;
    qint16 mode;
    Keys first, next;
    std::function<bool()> nextFound; // the index now holds the next document
};

} // namespace

class RestartTest : public RequestRoadTest {
protected:
    // Types the keys the way an operator does: each box must be on screen and open.
    void type(const Keys &keys)
    {
        for (const auto &[box, text] : keys) {
            ASSERT_TRUE(box->isVisible()) << box->objectName().toStdString();
            ASSERT_TRUE(box->isEnabled()) << box->objectName().toStdString();
            box->selectAll();
            QTest::keyClicks(box, text);
            ASSERT_EQ(box->text(), text) << box->objectName().toStdString();
        }
    }

    void go() { QTest::mouseClick(main->btnGoNew, Qt::LeftButton); }
};

TEST_F(RestartTest, EveryModeTypesAndFindsTheNextDocumentAfterRestart)
{
    seedDemoOffice();
    main->show();
    FrmMain &f = *main;
    const QList<RestartCase> cases = {
        {"recorded land", MODE_MARG, {{f.txtBook_MARG, "1010"}, {f.txtPage_MARG, "1"}},
         {{f.txtBook_MARG, "1011"}, {f.txtPage_MARG, "10"}}, [] { return g_Book == "001011" && g_Page == "0010"; }},
        {"Maine recorded land", MODE_MERG_UPD, {{f.txtBook_MARG, "2022"}, {f.txtPage_MARG, "19"}},
         {{f.txtBook_MARG, "2023"}, {f.txtPage_MARG, "1"}}, [] { return g_Book == "002023" && g_Page == "0001"; }},
        {"Land Court", MODE_MALC, {{f.txtDocNum_MALC, "100001"}}, {{f.txtDocNum_MALC, "100002"}},
         [] { return g_DocNum == "0100002"; }},
        {"plans", MODE_MALCP,
         {{f.txtPlan1_MALCP, "101"}, {f.txtPlan2_MALCP, "A"}, {f.txtPlan3_MALCP, "01"}},
         {{f.txtPlan1_MALCP, "102"}, {f.txtPlan2_MALCP, "B"}, {f.txtPlan3_MALCP, "02"}},
         [] { return Trim(g_Plan1) == "000102" && Trim(g_Plan2) == "B"; }},
        {"certificates", MODE_MACC, {{f.txtDocNum_MACC, "200001"}, {f.txtCertNum_MACC, "C-40000"}},
         {{f.txtDocNum_MACC, "200002"}, {f.txtCertNum_MACC, "C-40003"}},
         [] { return g_DocNum == "0200002" && Trim(g_CertNum) == "C-40003"; }},
        {"Maine book scan", MODE_MEBS,
         {{f.txtBook_MEBS, "900"}, {f.txtPage_MEBS, "1"}, {f.txtEndingPage_MEBS, "10"}},
         {{f.txtBook_MEBS, "950"}, {f.txtPage_MEBS, "1"}, {f.txtEndingPage_MEBS, "5"}},
         [] { return g_Book == "000950"; }},
        {"recorded land book scan", MODE_MARGBS,
         {{f.txtBook_MEBS, "900"}, {f.txtPage_MEBS, "1"}, {f.txtEndingPage_MEBS, "10"}},
         {{f.txtBook_MEBS, "950"}, {f.txtPage_MEBS, "2"}, {f.txtEndingPage_MEBS, "3"}},
         [] { return g_Book == "000950" && g_Page == "0002"; }},
        {"New York book scan", MODE_NYBS,
         {{f.txtBookCode_NYBS, "NYREG"}, {f.txtBook_MEBS, "800"}, {f.txtPage_MEBS, "1"}, {f.txtEndingPage_MEBS, "2"}},
         {{f.txtBookCode_NYBS, "NYREG"}, {f.txtBook_MEBS, "800"}, {f.txtPage_MEBS, "3"}, {f.txtEndingPage_MEBS, "4"}},
         [] { return g_Book == "000800" && g_Page == "0003"; }},
        {"New York recorded land", MODE_NYRG,
         {{f.txtBookCode_NYRG, "L"}, {f.txtBook_NYRG, "3000"}, {f.txtPage_NYRG, "1"}},
         {{f.txtBookCode_NYRG, "L"}, {f.txtBook_NYRG, "3001"}, {f.txtPage_NYRG, "13"}},
         [] { return Trim(g_Book) == "003001" && Trim(g_Page) == "0013"; }},
        {"New York misc records", MODE_NYMD,
         {{f.txtBookCode_NYRG, "M"}, {f.txtBook_NYRG, "3010"}, {f.txtPage_NYRG, "1"}},
         {{f.txtBookCode_NYRG, "M"}, {f.txtBook_NYRG, "3011"}, {f.txtPage_NYRG, "25"}},
         [] { return Trim(g_Book) == "003011" && Trim(g_Page) == "0025"; }},
        {"New York court records", MODE_NYCR,
         {{f.txtBookCode_NYRG, "C"}, {f.txtBook_NYRG, "3015"}, {f.txtPage_NYRG, "1"}},
         {{f.txtBookCode_NYRG, "C"}, {f.txtBook_NYRG, "3016"}, {f.txtPage_NYRG, "13"}},
         [] { return Trim(g_Book) == "003016" && Trim(g_Page) == "0013"; }},
        {"reference", MODE_FHS, {{f.txtRefCode_FHS, "WI"}, {f.txtRefNum_FHS, "0005000000"}},
         {{f.txtRefCode_FHS, "PR"}, {f.txtRefNum_FHS, "0005000017"}},
         [] { return g_RefCode == "PR" && g_RefNum == "0005000017"; }},
    };
    for (const RestartCase &c : cases) {
        SCOPED_TRACE(c.name);
        boxes().clear();
        gdtCurrentDocType = 0;
        g_blnNYCTLNum = false;
        set_g_dbMode(c.mode);
        type(c.first);
        go();
        ASSERT_EQ(f.btnGoNew->text(), QStringLiteral("Rest&art")) << prompts().join(QStringLiteral(" | ")).toStdString();
        // the found values read whole, with no box showing through them
        EXPECT_EQ(textsThatDoNotFit(&f), QStringList{});
        g_blnPromptStore = false;

        go(); // Restart
        EXPECT_EQ(f.btnGoNew->text(), QStringLiteral("St&art"));
        // The keys the boxes show again find the same document untouched.
        go();
        EXPECT_TRUE(prompts().isEmpty()) << prompts().join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(f.btnGoNew->text(), QStringLiteral("Rest&art"));
        g_blnPromptStore = false;
        go();
        type(c.next);
        em->clearCallLog();
        go();
        EXPECT_TRUE(prompts().isEmpty()) << prompts().join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(f.btnGoNew->text(), QStringLiteral("Rest&art"));
        EXPECT_TRUE(c.nextFound());
        if (c.mode != MODE_NYBR) {
            EXPECT_FALSE(programs().isEmpty());
        }
        g_blnPromptStore = false;
        go();
    }
    // The barcode scan has no keys and no Start: its reset leaves Scan open as the default.
    set_g_dbMode(MODE_NYBR);
    EXPECT_TRUE(f.btnScan->isEnabled());
    EXPECT_EQ(f.defaultButton(), f.btnScan);
    EXPECT_TRUE(f.fraNYBR->isVisible());
    main->hide();
}
