#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"

TEST(MsgBoxSeam, AnswersFromTheQueueAndRecordsEveryCall)
{
    MsgBoxScript script;
    script.answer(vb::vbNo);
    EXPECT_EQ(MsgBox("Store?", vb::vbYesNo | vb::vbQuestion, "Note:"), vb::vbNo);
    // With the queue empty the box's first button answers.
    EXPECT_EQ(MsgBox("Retry?", vb::vbRetryCancel | vb::vbCritical), vb::vbRetry);
    EXPECT_EQ(MsgBox("Go on?", vb::vbOKCancel), vb::vbOK);
    EXPECT_EQ(MsgBox("Yes?", vb::vbYesNoCancel | vb::vbDefaultButton2), vb::vbYes);

    ASSERT_EQ(script.calls().size(), 4);
    const MsgBoxCall &first = script.calls()[0];
    EXPECT_EQ(first.prompt, "Store?");
    EXPECT_EQ(first.buttonSet(), vb::vbYesNo);
    EXPECT_EQ(first.icon(), vb::vbQuestion);
    EXPECT_EQ(first.title, "Note:");
    EXPECT_EQ(first.answer, vb::vbNo);
    EXPECT_EQ(script.calls()[1].icon(), vb::vbCritical);
    EXPECT_TRUE(script.calls()[1].title.isEmpty());
    EXPECT_EQ(script.calls()[3].buttons & 0x300, vb::vbDefaultButton2);
}

TEST(MsgBoxSeam, InnerScriptHidesTheOuterUntilItEnds)
{
    MsgBoxScript outer;
    {
        MsgBoxScript inner;
        EXPECT_EQ(MsgBoxScript::current(), &inner);
        MsgBox("inner");
        EXPECT_EQ(inner.calls().size(), 1);
    }
    EXPECT_EQ(MsgBoxScript::current(), &outer);
    MsgBox("outer");
    ASSERT_EQ(outer.calls().size(), 1);
    EXPECT_EQ(outer.calls()[0].prompt, "outer");
}

TEST(MsgBoxShown, AWindowUnloadedUnderItsOpenBoxAnswersAsAQuitWould)
{
    auto *window = new QWidget;
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    // The window goes while its box is open, as an unloaded form goes.
    QTimer::singleShot(0, window, &QObject::deleteLater);
    EXPECT_EQ(MsgBox("Save the changes?", vb::vbYesNoCancel), vb::vbCancel);
}

// A quit answers every box, open or asked while it runs, with the answer the box names, else
// Cancel, else its default button.
TEST(MsgBoxShown, AQuitAnswersEachBoxWithWhatItNames)
{
    const struct {
        int buttons, quitAnswer, expected;
    } cases[] = {
        {vb::vbYesNo, 0, vb::vbYes},
        {vb::vbYesNo | vb::vbDefaultButton2, 0, vb::vbNo},
        {vb::vbYesNo, vb::vbNo, vb::vbNo},
        {vb::vbYesNoCancel, 0, vb::vbCancel},
        {vb::vbYesNoCancel, vb::vbNo, vb::vbNo},
        {vb::vbOKOnly, 0, vb::vbOK},
    };
    for (const auto &c : cases) {
        for (const bool open : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.buttons << " " << c.quitAnswer << (open ? " open" : " asked"));
            if (open)
                QTimer::singleShot(0, [] { requestQuit([] {}); });
            else
                requestQuit([] {});
            EXPECT_EQ(MsgBox("Store these pages?", c.buttons, QString(), c.quitAnswer), c.expected);
            QTRY_VERIFY(!quitRequested());
        }
    }
}
