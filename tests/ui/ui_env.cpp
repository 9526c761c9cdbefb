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
#include "ui/frmMain.h"

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

QImage whitePage(int width, int height)
{
    QImage page(width, height, QImage::Format_Mono);
    page.fill(1);
    return page;
}

void showPages(FrmMain &f, int count, const QImage &page)
{
    f.ezTreeView->clearImage();
    f.ezPageView->clearImage();
    for (int i = 0; i < count; ++i)
        f.ezPageView->appendPage(page);
    f.ezTreeView->setImageHandle(f.ezPageView->imageHandle());
    f.ezTreeView->setVisible(true);
    if (count) {
        f.ezPageView->setPage(1);
        f.ezTreeView->setPage(1);
    }
}

void NewForms::unload()
{
    const QList<Form *> now = Forms();
    for (Form *form : now)
        if (!m_before.contains(form))
            form->Unload(vb::vbFormCode);
}
