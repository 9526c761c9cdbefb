#include <gtest/gtest.h>

#include <QTest>

#include "core/state.h"
#include "ui/frmMain.h"
#include "platform/forms/msgbox.h"

namespace {
// Shows the main window with one index frame visible, fields empty and Go disabled.
FrmMain &windowWith(QGroupBox *(FrmMain::*frame))
{
    FrmMain &f = frmMain();
    f.Show();
    f.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
    for (QObject *c : f.controls())
        if (auto *box = qobject_cast<QGroupBox *>(c); box && box->objectName().startsWith(u"fra")
            && box != f.fraStatus && box != f.fraDefaultDocType && box != f.fraNonTiff)
            box->setVisible(box == f.*frame);
    for (QObject *c : f.controls())
        if (auto *field = qobject_cast<QLineEdit *>(c)) {
            field->setEnabled(true);
            field->clear();
        }
    f.btnGoNew->setEnabled(false);
    return f;
}

struct GoCase {
    const char *frame;
    QGroupBox *FrmMain::*box;
    QList<QLineEdit *(FrmMain::*)> required;
    QList<QLineEdit *(FrmMain::*)> others; // do not take part
};
}

TEST(IndexFields, GoNeedsEveryRequiredFieldOfTheFrame)
{
    const GoCase cases[] = {
        {"MARG", &FrmMain::fraMARG, {&FrmMain::txtBook_MARG, &FrmMain::txtPage_MARG}, {}},
        {"MALC", &FrmMain::fraMALC, {&FrmMain::txtDocNum_MALC},
         {&FrmMain::txtMonth_MALC, &FrmMain::txtDay_MALC, &FrmMain::txtYear_MALC}},
        {"MALCP", &FrmMain::fraMALCP, {&FrmMain::txtPlan1_MALCP}, {&FrmMain::txtPlan2_MALCP, &FrmMain::txtPlan3_MALCP}},
        {"MACC", &FrmMain::fraMACC, {&FrmMain::txtCertNum_MACC}, {&FrmMain::txtDocNum_MACC}},
        {"MEBS", &FrmMain::fraMEBS, {&FrmMain::txtBook_MEBS, &FrmMain::txtPage_MEBS, &FrmMain::txtEndingPage_MEBS},
         {&FrmMain::txtBookCode_NYBS}},
        {"FHS", &FrmMain::fraFHS, {&FrmMain::txtRefCode_FHS, &FrmMain::txtRefNum_FHS}, {}},
        {"NYRG book", &FrmMain::fraNYRG, {&FrmMain::txtBookCode_NYRG, &FrmMain::txtBook_NYRG, &FrmMain::txtPage_NYRG}, {}},
        {"NYRG control", &FrmMain::fraNYRG,
         {&FrmMain::txtCTLNum_NYRG, &FrmMain::txtMonth_NYRG, &FrmMain::txtDay_NYRG, &FrmMain::txtYear_NYRG}, {}},
    };
    for (const GoCase &c : cases) {
        SCOPED_TRACE(c.frame);
        FrmMain &f = windowWith(c.box);
        for (auto other : c.others) {
            QTest::keyClicks(f.*other, "1");
            EXPECT_FALSE(f.btnGoNew->isEnabled());
        }
        for (int i = 0; i < c.required.size(); ++i) {
            QTest::keyClicks(f.*(c.required[i]), "1");
            EXPECT_EQ(f.btnGoNew->isEnabled(), i == c.required.size() - 1) << i;
        }
        // Emptying any required field takes Go away again.
        for (auto field : c.required) {
            const QString kept = (f.*field)->text();
            (f.*field)->clear();
            EXPECT_FALSE(f.btnGoNew->isEnabled());
            (f.*field)->setText(kept);
            EXPECT_TRUE(f.btnGoNew->isEnabled());
        }
    }
}

TEST(IndexFields, NewYorkKeysExcludeEachOther)
{
    FrmMain &f = windowWith(&FrmMain::fraNYRG);
    f.txtBookCode_NYRG->setText("AB");
    f.txtBook_NYRG->setText("123");
    f.txtPage_NYRG->setText("45");
    ASSERT_TRUE(f.btnGoNew->isEnabled());
    g_blnNYCTLNum = false;

    f.txtCTLNum_NYRG->setText("7");
    EXPECT_TRUE(g_blnNYCTLNum);
    EXPECT_TRUE(f.txtBookCode_NYRG->text().isEmpty());
    EXPECT_TRUE(f.txtBook_NYRG->text().isEmpty());
    EXPECT_TRUE(f.txtPage_NYRG->text().isEmpty());
    EXPECT_FALSE(f.btnGoNew->isEnabled());
    f.txtMonth_NYRG->setText("1");
    f.txtDay_NYRG->setText("1");
    EXPECT_FALSE(f.btnGoNew->isEnabled());
    f.txtYear_NYRG->setText("2020");
    EXPECT_TRUE(f.btnGoNew->isEnabled());

    // Emptying a field never clears the other key.
    f.txtBook_NYRG->setText("9");
    f.txtBook_NYRG->clear();
    f.txtPage_NYRG->setText("");
    EXPECT_TRUE(f.txtCTLNum_NYRG->text().isEmpty()); // cleared by the book typed above
    f.txtCTLNum_NYRG->setText("5");
    f.txtBookCode_NYRG->clear();
    EXPECT_EQ(f.txtCTLNum_NYRG->text(), "5");

    // Typing into the book key empties the control key.
    f.txtMonth_NYRG->setText("12");
    f.txtBook_NYRG->setText("1");
    EXPECT_FALSE(g_blnNYCTLNum);
    for (QLineEdit *c : {f.txtCTLNum_NYRG, f.txtMonth_NYRG, f.txtDay_NYRG, f.txtYear_NYRG})
        EXPECT_TRUE(c->text().isEmpty()) << c->objectName().toStdString();
}

TEST(IndexFields, NewYorkDateMovesTheFocusOn)
{
    FrmMain &f = windowWith(&FrmMain::fraNYRG);
    f.txtMonth_NYRG->setFocus();
    QTest::keyClicks(f.txtMonth_NYRG, "1");
    EXPECT_TRUE(f.txtMonth_NYRG->hasFocus());
    QTest::keyClicks(f.txtMonth_NYRG, "2");
    EXPECT_TRUE(f.txtDay_NYRG->hasFocus());
    QTest::keyClicks(f.txtDay_NYRG, "31");
    EXPECT_TRUE(f.txtYear_NYRG->hasFocus());
    QTest::keyClicks(f.txtYear_NYRG, "2020");
    EXPECT_TRUE(f.txtYear_NYRG->hasFocus());
    // A disabled day keeps the focus in the month.
    f.txtDay_NYRG->setEnabled(false);
    f.txtMonth_NYRG->setFocus();
    f.txtMonth_NYRG->clear();
    QTest::keyClicks(f.txtMonth_NYRG, "11");
    EXPECT_TRUE(f.txtMonth_NYRG->hasFocus());
    f.txtDay_NYRG->setEnabled(true);
}

TEST(IndexFields, EFileGoNeedsPartnerAndBatchId)
{
    struct Frame {
        QGroupBox *FrmMain::*box;
        ComboBox *FrmMain::*partner;
        QLineEdit *FrmMain::*batch;
        QList<QLineEdit *(FrmMain::*)> others;
    };
    const Frame frames[] = {
        {&FrmMain::fraMARGElectronic, &FrmMain::cboEFilePartnerMARG, &FrmMain::txtTrandIDMARG,
         {&FrmMain::txtDocIdMARGElec, &FrmMain::txtSubmitCdMARGElec, &FrmMain::txtLocationCdMARGElec}},
        {&FrmMain::fraNYRGElectronic, &FrmMain::cboEFilePartnerNYRG, &FrmMain::txtTrandIDNYRG,
         {&FrmMain::txtDocIdNYRGElec, &FrmMain::txtSubmitCdNYRGElec, &FrmMain::txtLocationCdNYRGElec}},
    };
    for (const Frame &fr : frames) {
        FrmMain &f = windowWith(fr.box);
        ComboBox *partner = f.*fr.partner;
        partner->clear();
        partner->addItem("Partner One");
        partner->addItem("Partner Two");
        for (auto other : fr.others)
            (f.*other)->setText("X");
        EXPECT_FALSE(f.btnGoNew->isEnabled());
        partner->setListIndex(1);
        EXPECT_FALSE(f.btnGoNew->isEnabled());
        QTest::keyClicks(f.*fr.batch, "7");
        EXPECT_TRUE(f.btnGoNew->isEnabled());
        partner->setListIndex(-1);
        EXPECT_FALSE(f.btnGoNew->isEnabled());
        partner->clear();
    }
}

TEST(IndexFields, FocusSelectsTheWholeTextExceptInThePlanFields)
{
    FrmMain &f = windowWith(&FrmMain::fraMARG);
    f.txtBook_MARG->setText("123456");
    f.txtPage_MARG->setFocus();
    QTest::mouseClick(f.txtBook_MARG, Qt::LeftButton, {}, QPoint(4, 8));
    QCoreApplication::processEvents();
    EXPECT_EQ(f.txtBook_MARG->selectedText(), "123456");

    windowWith(&FrmMain::fraMALCP);
    f.txtPlan1_MALCP->setText("654321");
    f.txtPlan2_MALCP->setFocus();
    QTest::mouseClick(f.txtPlan1_MALCP, Qt::LeftButton, {}, QPoint(4, 8));
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.txtPlan1_MALCP->hasFocus());
    EXPECT_TRUE(f.txtPlan1_MALCP->selectedText().isEmpty());
}

TEST(IndexFields, EnterInBookOrPageStartsGo)
{
    FrmMain &f = windowWith(&FrmMain::fraMARG);
    MsgBoxScript boxes;
    f.setDefaultButton(nullptr);
    // Go's first step disables Print: whether Print is still enabled tells whether Go ran.
    auto goRan = [&](QLineEdit *field, Qt::Key key) {
        f.btnGoNew->setText("St&art");
        f.btnPrint->setEnabled(true);
        field->setFocus();
        QTest::keyClick(field, key);
        return !f.btnPrint->isEnabled();
    };
    f.btnRefresh->setEnabled(false);
    f.txtPage_MARG->setText("1"); // the book stays empty: Go's own checks decide
    EXPECT_TRUE(goRan(f.txtPage_MARG, Qt::Key_Return));
    EXPECT_TRUE(goRan(f.txtBook_MARG, Qt::Key_Enter));
    // Other fields do not react to Enter.
    windowWith(&FrmMain::fraFHS);
    EXPECT_FALSE(goRan(f.txtRefCode_FHS, Qt::Key_Return));
}

TEST(IndexFields, LengthLimits)
{
    FrmMain &f = frmMain();
    const struct { QLineEdit *field; int max; } limits[] = {
        {f.txtBook_MARG, 6}, {f.txtPage_MARG, 4}, {f.txtDocNum_MALC, 7}, {f.txtMonth_MALC, 2},
        {f.txtDay_MALC, 2}, {f.txtYear_MALC, 4}, {f.txtPlan1_MALCP, 6}, {f.txtPlan2_MALCP, 3},
        {f.txtPlan3_MALCP, 2}, {f.txtDocNum_MACC, 7}, {f.txtCertNum_MACC, 25}, {f.txtBookCode_NYBS, 6},
        {f.txtBookCode_NYRG, 6}, {f.txtBook_NYRG, 6}, {f.txtPage_NYRG, 4}, {f.txtCTLNum_NYRG, 5},
        {f.txtMonth_NYRG, 2}, {f.txtDay_NYRG, 2}, {f.txtYear_NYRG, 4}, {f.txtRefCode_FHS, 2},
        {f.txtRefNum_FHS, 10}, {f.txtSubmitCdMARGElec, 10}, {f.txtLocationCdMARGElec, 10},
        {f.txtTrandIDMARG, 7}, {f.txtDocIdMARGElec, 10}, {f.txtSubmitCdNYRGElec, 10},
        {f.txtLocationCdNYRGElec, 10}, {f.txtTrandIDNYRG, 7}, {f.txtDocIdNYRGElec, 10},
    };
    for (const auto &l : limits)
        EXPECT_EQ(l.field->maxLength(), l.max) << l.field->objectName().toStdString();
    // The book-scan range has no limit of its own.
    for (QLineEdit *field : {f.txtBook_MEBS, f.txtPage_MEBS, f.txtEndingPage_MEBS})
        EXPECT_GE(field->maxLength(), 32767) << field->objectName().toStdString();
}
