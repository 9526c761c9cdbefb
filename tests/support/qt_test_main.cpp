#include <QApplication>
#include <gtest/gtest.h>

#include "platform/forms/programfont.h"

// Runs the tests inside a QApplication, so widgets, timers and events work offscreen.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyProgramFont();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
