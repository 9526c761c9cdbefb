#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

#include "core/layout.h"
#include "platform/forms/forms.h"
#include "platform/vb/vberror.h"
#include "support/checks.h"

namespace {
class Sheet : public Form {
public:
    explicit Sheet(int controls) : Form(QStringLiteral("frmSheet"))
    {
        addControl(new QAction(QStringLiteral("&File"), this), QStringLiteral("mnuFile"));
        addControl(new QToolBar(this), QStringLiteral("tbTools"));
        for (int i = 0; i < controls; ++i) {
            auto *b = addControl(new QPushButton(this), QStringLiteral("btn%1").arg(i));
            b->setGeometry(10 * i, 5 * i, 40 + i, 20);
        }
        addControl(new QAction(QStringLiteral("&Edit"), this), QStringLiteral("mnuEdit"));
        resize(300, 200);
    }
};
}

TEST(FormLayout, SnapshotLeavesOutMenusAndToolbarsAndReplacesTheTable)
{
    const int tx = Screen::TwipsPerPixelX(), ty = Screen::TwipsPerPixelY();
    Sheet twelve(12);
    saveControlLayout(twelve);
    ASSERT_EQ(controlLayouts().size(), 12);
    for (int i = 0; i < 12; ++i) {
        const ControlLayout &e = controlLayouts()[i];
        EXPECT_EQ(e.Name, QStringLiteral("btn%1").arg(i));
        EXPECT_EQ(e.TabIndex, i + 1);  // the toolbar holds tab position 0
        EXPECT_EQ(e.Left, 10 * i * tx);
        EXPECT_EQ(e.Top, 5 * i * ty);
        EXPECT_EQ(e.Width, (40 + i) * tx);
        EXPECT_EQ(e.Height, 20 * ty);
    }
    EXPECT_EQ(layoutFormWidth(), 300 * tx);
    EXPECT_EQ(layoutFormHeight(), 200 * ty);

    Sheet five(5);
    saveControlLayout(five);
    EXPECT_EQ(controlLayouts().size(), 5);
}

TEST(FormLayout, WideControlsKeepTheirSizeWithoutOverflow)
{
    const int tx = Screen::TwipsPerPixelX();
    Sheet sheet(2);
    auto *wide = sheet.findChild<QPushButton *>("btn1");
    wide->setGeometry(-3000, 0, 32768 / tx + 200, 20);
    sheet.resize(40000 / tx, 200);
    saveControlLayout(sheet);
    ASSERT_EQ(controlLayouts().size(), 2);
    EXPECT_EQ(controlLayouts()[1].Width, (32768 / tx + 200) * tx);
    EXPECT_GT(controlLayouts()[1].Width, 32767);
    EXPECT_EQ(controlLayouts()[1].Left, -3000 * tx);
    EXPECT_GT(layoutFormWidth(), 32767);
}

TEST(FormLayout, ControlWithoutSizeStopsTheSnapshotThere)
{
    Sheet sheet(2);
    sheet.addControl(new QTimer(&sheet), QStringLiteral("tmrTick"));
    sheet.addControl(new QLabel(&sheet), QStringLiteral("lblAfter"));
    EXPECT_EQ(errorOf([&] { saveControlLayout(sheet); }), 438) << "a timer has no size";
    ASSERT_GE(controlLayouts().size(), 2);
    EXPECT_EQ(controlLayouts()[0].Name, "btn0");
    EXPECT_EQ(controlLayouts()[1].Name, "btn1");
    for (const ControlLayout &e : controlLayouts())
        EXPECT_NE(e.Name, "lblAfter");
}

TEST(FormLayout, CentringHalvesTheRoomTowardZero)
{
    const int tx = Screen::TwipsPerPixelX(), ty = Screen::TwipsPerPixelY();
    Screen::setSizeOverride(QSize(800, 600));
    Sheet sheet(1);
    const struct { int w, h; int left, top; } rows[] = {
        {400, 300, 200 * tx, 150 * ty},
        {799, 599, tx / 2, ty / 2},    // one pixel of room: half of it, truncated
        {801, 601, -(tx / 2), -(ty / 2)},  // wider than the screen: overhangs both edges alike
        {800, 600, 0, 0},
    };
    for (const auto &r : rows) {
        sheet.resize(r.w, r.h);
        centerForm(sheet);
        EXPECT_EQ(sheet.Left(), qRound(double(r.left) / tx) * tx) << r.w;
        EXPECT_EQ(sheet.Top(), qRound(double(r.top) / ty) * ty) << r.h;
        EXPECT_EQ(sheet.width(), r.w);
        EXPECT_EQ(sheet.height(), r.h);
    }
    Screen::setSizeOverride(QSize());
}

TEST(FormLayout, ResizeScalesRecordedControlsWithTheFormAndCentresIt)
{
    const int tx = Screen::TwipsPerPixelX();
    Screen::setSizeOverride(QSize(1000, 800));
    Sheet sheet(3);
    saveControlLayout(sheet);
    sheet.resize(600, 100); // twice as wide, half as high
    resizeControls(sheet);
    auto *b2 = sheet.findChild<QPushButton *>(QStringLiteral("btn2"));
    ASSERT_NE(b2, nullptr);
    EXPECT_EQ(b2->geometry(), QRect(40, 5, 84, 10));
    EXPECT_EQ(sheet.width(), 600);
    EXPECT_EQ(sheet.Left(), qRound(double(200 * tx) / tx) * tx);
    Screen::setSizeOverride(QSize());
}
