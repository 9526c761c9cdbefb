// A shown document leaves the program idle: after the window settles, no work is left for the
// event loop, whatever the page count and window size. QUORLA_IDLE_SECONDS lengthens the watch.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <ctime>
#include <tiffio.h>

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

// A grey document of that many pages on disk (its thumbnails are decoded as they come into view).
QString greyDocument(const QTemporaryDir &dir, int count)
{
    const QString path = dir.filePath(QStringLiteral("grey%1.tif").arg(count));
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "w");
    std::vector<uint8_t> row(425);
    for (int p = 0; p < count && t; ++p) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(row.size()));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(550));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(64));
        for (uint32_t y = 0; y < 550; ++y) {
            std::fill(row.begin(), row.end(), uint8_t(200 + (y / 50 + uint32_t(p)) % 40));
            TIFFWriteScanline(t, row.data(), y, 0);
        }
        TIFFWriteDirectory(t);
    }
    if (t)
        TIFFClose(t);
    return path;
}

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
    // an 11 x 17 colour page at 50 dpi in memory; grey pages on disk, shown on their last page
    // but one (its thumbnail brought to the foot of the pane, the next one's cell just below it)
    QImage page(550, 850, QImage::Format_RGB888);
    page.fill(QColor(230, 220, 200));
    QTemporaryDir dir;
    const QSize windows[] = {{800, 600}, {1024, 768}, {1600, 1200}};
    for (const QSize &window : windows) {
        f.resize(window);
        for (int shown = 0; shown < 24; ++shown) {
            const int count = shown % 12 + 1;
            const bool onDisk = shown >= 12;
            SCOPED_TRACE(QStringLiteral("%1 %2 pages at %3x%4")
                             .arg(count)
                             .arg(onDisk ? "grey" : "colour")
                             .arg(window.width())
                             .arg(window.height())
                             .toStdString());
            if (onDisk) {
                if (count < 2)
                    continue;
                f.ezTreeView->clearImage();
                f.ezPageView->clearImage();
                f.ezPageView->setImageFile(greyDocument(dir, count));
                f.ezTreeView->setImageHandle(f.ezPageView->imageHandle());
                f.ezTreeView->setVisible(true);
                f.ezPageView->setPage(count - 1);
                f.ezTreeView->setPage(count - 1);
            } else {
                showPages(f, count, page);
            }
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
