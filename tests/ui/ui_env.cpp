#include "ui_env.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/startup.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"

namespace {
QTemporaryDir *g_root = nullptr;

class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_root = new QTemporaryDir;
        const QString root = g_root->path();
        for (const char *sub : {"settings", "temp", "bin", "locale"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        setSettingsFolder(root + "/settings");
        setTempBase(root + "/temp");
        setProgramFolder(root + "/bin");
        setCatalogueFolder(root + "/locale");
        coreHooks().endProcess = [](int code) { ADD_FAILURE() << "the program tried to end: " << code; };
        coreHooks().getEfilePartners = [](qint16) {};
        coreHooks().commandLine = [] { return QString(); };
        // No scanner answers.
        auto scanner = std::make_unique<FakeScanner>();
        scanner->setPresent(false);
        setScannerSession(std::move(scanner));
        m_boxes = new MsgBoxScript;
        m_forms = new FormScript;
    }
    void TearDown() override
    {
        delete m_forms;
        delete m_boxes;
        delete g_root;
    }

private:
    MsgBoxScript *m_boxes = nullptr;
    FormScript *m_forms = nullptr;
};

[[maybe_unused]] auto *g_env = ::testing::AddGlobalTestEnvironment(new UiEnvironment);
}

QString testRoot() { return g_root->path(); }
