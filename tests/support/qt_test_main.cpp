#include <QApplication>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/forms/programfont.h"

// Runs the tests inside a QApplication, so widgets, timers and events work offscreen.
int main(int argc, char **argv)
{
    // SANE unloads its backends at exit, and its virtual test scanner does not free all it
    // allocates (a reader thread cancelled mid-page keeps its buffer). Kept loaded, those
    // allocations stay attributable to it, and the leak checker passes over them by name
    // (scripts/lsan.supp).
    if (!qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR"))
        dlopen(SANE_TEST_BACKEND, RTLD_NOW | RTLD_NODELETE);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyProgramFont();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
