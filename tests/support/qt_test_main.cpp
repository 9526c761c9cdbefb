#include <QApplication>
#include <QDir>
#include <QThread>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

#include "platform/forms/programfont.h"

namespace {
int g_exitWarnings = 0;

void countExitWarning(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ++g_exitWarnings;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Registered last, so torn down before the environments that remove the test's temp folder:
// the program's instance lock lies in that folder and goes first.
class InstanceLockRelease : public ::testing::Environment {
public:
    void TearDown() override
    {
        for (QObject *child : qApp->findChildren<QObject *>(Qt::FindDirectChildrenOnly))
            if (child->inherits("SingleInstance"))
                delete child;
    }
};
// Pooled threads are detached: one joined by the application's end may still be on its way out
// when the leak check stops every thread at exit, and a thread half gone crashes that check.
void awaitOtherThreadsGone()
{
    for (int i = 0; i < 500; ++i) {
        if (QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() <= 1)
            return;
        QThread::msleep(10);
    }
}
} // namespace

void keepSaneTestBackendLoaded();  // support/sanekeep.cpp

// Runs the tests inside a QApplication, so widgets, timers and events work offscreen.
int main(int argc, char **argv)
{
    keepSaneTestBackendLoaded();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QApplication>(argc, argv);
    applyProgramFont();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new InstanceLockRelease);
    int result = RUN_ALL_TESTS();
    // What the tests leave to the application (the instance lock, ...) goes with it: a warning
    // on the way out is a fault like any other.
    qInstallMessageHandler(countExitWarning);
    app.reset();
    awaitOtherThreadsGone();
    if (g_exitWarnings > 0) {
        std::fprintf(stderr, "%d warning(s) while the application ended\n", g_exitWarnings);
        result = 1;
    }
    return result;
}
