#include "app_env.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "core/startup.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"

static std::unique_ptr<QTemporaryDir> g_root;

QString setUpAppEnvironment(bool scannerPresent)
{
    g_root = std::make_unique<QTemporaryDir>();
    const QString root = g_root->path();
    for (const char *sub : {"settings", "temp", "bin", "locale"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    setSettingsFolder(root + "/settings");
    setTempBase(root + "/temp");
    setProgramFolder(root + "/bin");
    setCatalogueFolder(root + "/locale");
    setProgramTitleAndVersion();
    coreHooks().endProcess = [](int code) { ADD_FAILURE() << "the program tried to end: " << code; };
    coreHooks().getEfilePartners = [](qint16) {};
    coreHooks().commandLine = [] { return QString(); };
    auto scanner = std::make_unique<FakeScanner>();
    scanner->setPresent(scannerPresent);
    setScannerSession(std::move(scanner));
    return root;
}

void tearDownAppEnvironment()
{
    setScannerSession(nullptr);
    g_root.reset();
}
