// A shown document leaves the program idle: after the window settles, no work is left for the
// event loop, whatever the page count and window size. QUORLA_IDLE_SECONDS lengthens the watch.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QThreadPool>

#include <ctime>

#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"
#include "ui_env.h"

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Counts the times the scroll bar is shown or hidden and the paints of the pane.
class Watch : public QObject {
public:
    int toggles = 0, paints = 0;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show || e->type() == QEvent::Hide)
            toggles += qobject_cast<QScrollBar *>(o) != nullptr;
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

TEST(Idle, AShownDocumentLeavesNothingToDoAtAnyPageCountAndWindowSize)
{
    FrmMain &f = frmMain();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    auto *area = f.ezTreeView->findChild<QAbstractScrollArea *>(QStringLiteral("thumbnailArea"));
    ASSERT_NE(area, nullptr);
    const int watchMs = qEnvironmentVariableIsSet("QUORLA_IDLE_SECONDS")
                            ? int(qEnvironmentVariable("QUORLA_IDLE_SECONDS").toDouble() * 1000)
                            : 400;
    // an 11 x 17 colour page at 50 dpi
    QImage page(550, 850, QImage::Format_RGB888);
    page.fill(QColor(230, 220, 200));
    const QSize windows[] = {{800, 600}, {1024, 768}, {1600, 1200}};
    for (const QSize &window : windows) {
        f.resize(window);
        for (int count = 1; count <= 12; ++count) {
            SCOPED_TRACE(QStringLiteral("%1 pages at %2x%3").arg(count).arg(window.width()).arg(window.height()).toStdString());
            showPages(f, count, page);
            showTree();
            // settled: shown, thumbnails filled
            QTest::qWait(150);
            QThreadPool::globalInstance()->waitForDone();
            QTest::qWait(150);

            Watch watch;
            area->verticalScrollBar()->installEventFilter(&watch);
            area->viewport()->installEventFilter(&watch);
            const double cpu = cpuSeconds();
            QTest::qWait(watchMs);
            const double used = cpuSeconds() - cpu;
            area->verticalScrollBar()->removeEventFilter(&watch);
            area->viewport()->removeEventFilter(&watch);
            EXPECT_EQ(watch.toggles, 0);
            EXPECT_EQ(watch.paints, 0);
            // a tenth of the time at most, for a loaded machine
            EXPECT_LT(used, watchMs / 1000.0 / 10) << "CPU seconds " << used;
        }
    }
    f.ezTreeView->clearImage();
    f.ezPageView->clearImage();
}
