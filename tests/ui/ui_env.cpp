#include "ui_env.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/app_env.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"

namespace {
QString g_root;

class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_root = setUpAppEnvironment(false);  // no scanner answers
        m_boxes = new MsgBoxScript;
        m_forms = new FormScript;
    }
    void TearDown() override
    {
        delete m_forms;
        delete m_boxes;
        tearDownAppEnvironment();
    }

private:
    MsgBoxScript *m_boxes = nullptr;
    FormScript *m_forms = nullptr;
};

[[maybe_unused]] auto *g_env = ::testing::AddGlobalTestEnvironment(new UiEnvironment);
}

QString testRoot() { return g_root; }
