#include "batch_env.h"

#include <QPainter>

#include "platform/imaging/qelezimage.h"
#include "support/app_env.h"

#include <gtest/gtest.h>

namespace {
// One private workstation world for the whole binary; ending the process is a failure.
class BatchEnvironment : public ::testing::Environment {
public:
    void SetUp() override { setUpAppEnvironment(false); }
    void TearDown() override { tearDownAppEnvironment(); }
};
[[maybe_unused]] auto *g_env = ::testing::AddGlobalTestEnvironment(new BatchEnvironment);
} // namespace

BatchEnv::BatchEnv()
{
    resetState();
    g_strTempPath = m_dir.path() + QLatin1Char('/');
}

BatchEnv::~BatchEnv() { resetState(); }

QImage monoPage(int width, int height, const QRect &ink)
{
    QImage rgb(width, height, QImage::Format_RGB888);
    rgb.fill(Qt::white);
    if (!ink.isEmpty()) {
        QPainter p(&rgb);
        p.fillRect(ink, Qt::black);
    }
    QImage mono = rgb.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(7874); // 200 dpi
    mono.setDotsPerMeterY(7874);
    return mono;
}

void fillControl(QelEzImage &control, const QList<QSize> &sizes)
{
    for (const QSize &s : sizes)
        control.appendPage(monoPage(s.width(), s.height()));
}
