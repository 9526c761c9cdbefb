// The private world of the annotation tests: message boxes and modal forms answered by scripts.
#include <gtest/gtest.h>

#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "support/app_env.h"

namespace {

class AnnotEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setUpAppEnvironment(false);
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

[[maybe_unused]] auto *g_env = ::testing::AddGlobalTestEnvironment(new AnnotEnvironment);

} // namespace
