#include <gtest/gtest.h>

#include <QFile>
#include <tiffio.h>

#include <vector>

#include "batch/pageops.h"
#include "batch_env.h"
#include "core/files.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/toolkit/imagingtoolkit.h"
#include "ui/frmMain.h"

namespace {

QList<QSize> pageSizes(QelEzImage &control)
{
    QList<QSize> sizes;
    for (int p = 1; p <= control.pageCount(); ++p) {
        control.setPage(p);
        sizes << QSize(control.imageWidth(), control.imageHeight());
    }
    return sizes;
}

// Ink (set bits) on the first page of a bilevel TIFF, read by libtiff.
int inkOnFirstPage(const QString &path)
{
    TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tif)
        return -1;
    uint32_t h = 0;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    std::vector<unsigned char> line(size_t(TIFFScanlineSize(tif)));
    int ink = 0;
    for (uint32_t y = 0; y < h; ++y) {
        TIFFReadScanline(tif, line.data(), y);
        for (unsigned char b : line)
            ink += __builtin_popcount(photometric == PHOTOMETRIC_MINISWHITE ? b : unsigned(~b) & 0xFF);
    }
    TIFFClose(tif);
    return ink;
}

} // namespace

TEST(ByteAlign, PadsFromTheFirstUnalignedPageOnly)
{
    struct Case {
        const char *name;
        QList<QSize> in;
        QList<QSize> out;
        bool written;
    };
    const Case cases[] = {
        {"aligned widths, odd height: untouched", {{1696, 2199}, {800, 1001}}, {{1696, 2199}, {800, 1001}}, false},
        {"pages before the first unaligned keep their height",
         {{1696, 2199}, {800, 1001}, {1701, 2200}, {1696, 2199}},
         {{1696, 2199}, {800, 1001}, {1704, 2200}, {1696, 2200}}, true},
        {"first page unaligned", {{1701, 2200}, {1696, 2199}}, {{1704, 2200}, {1696, 2200}}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BatchEnv env;
        QelEzImage control;
        fillControl(control, c.in);
        control.setSaveFileName(QStringLiteral("/somewhere/target.tif"));
        do_byteAlign(control);
        EXPECT_TRUE(env.boxes.calls().isEmpty());
        const QString path = env.temp() + QStringLiteral("byteAlign.tif");
        EXPECT_EQ(QFile::exists(path), c.written);
        EXPECT_EQ(pageSizes(control), c.out);
        EXPECT_EQ(control.saveFileName(), QStringLiteral("/somewhere/target.tif"));
        if (c.written) {
            EXPECT_EQ(control.imageFile(), path);
        }
    }
}

TEST(ByteAlign, PaddingIsWhiteAndKeepsTheInk)
{
    BatchEnv env;
    QelEzImage control;
    control.appendPage(monoPage(21, 13, QRect(0, 0, 21, 13))); // all ink
    do_byteAlign(control);
    control.setPage(1);
    const QImage page = control.pageImage().convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(page.size(), QSize(24, 16));
    EXPECT_EQ(qGray(page.pixel(20, 12)), 0);
    EXPECT_EQ(qGray(page.pixel(23, 12)), 255);
    EXPECT_EQ(qGray(page.pixel(5, 15)), 255);
}

TEST(ResizeImage, EmptyControlIsDoneWithoutSaving)
{
    BatchEnv env;
    QelEzImage control;
    EXPECT_TRUE(do_resizeImage(control));
    EXPECT_FALSE(control.hasImage());
    EXPECT_FALSE(QFile::exists(getTempPath() + QStringLiteral("resize.tif")));
}

TEST(ResizeImage, ShowsTheResavedDocumentAndDropsTheOldFile)
{
    BatchEnv env;
    QelEzImage control;
    fillControl(control, {{800, 600}, {400, 300}});
    const QString old = env.temp() + QStringLiteral("old.tif");
    control.setSaveFileName(old);
    control.save();
    control.setImageFile(old);
    control.setPage(2);

    ASSERT_TRUE(do_resizeImage(control));
    const QString path = getTempPath() + QStringLiteral("resize.tif");
    EXPECT_EQ(control.imageFile(), path);
    EXPECT_EQ(control.page(), 1);
    EXPECT_EQ(control.saveFileName(), QString());
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_EQ(pageSizes(control), (QList<QSize>{{800, 600}, {400, 300}}));

    // Again while showing resize.tif: the fresh file must survive.
    ASSERT_TRUE(do_resizeImage(control));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(control.pageCount(), 2);
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST(FlipDoc, TurnsEveryPageOfThePageViewUpsideDown)
{
    BatchEnv env;
    QelEzImage &view = *frmMain().ezPageView;
    fillControl(view, {{80, 40}, {80, 40}, {80, 40}});
    FlipDoc();
    for (int p = 1; p <= 3; ++p) {
        view.setPage(p);
        EXPECT_EQ(view.rotation(), 3) << p;
    }
    view.clearImage();
}

TEST(DeleteBarcodeTemp, EmptiesControlAndRemovesFile)
{
    BatchEnv env;
    QelEzImage control;
    fillControl(control, {{80, 40}});
    QFile f(env.temp() + QStringLiteral("bcTemp.tif"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    g_intOldDocLength = 7;
    DeleteBarcodeTemp(QStringLiteral("bcTemp.tif"), control);
    EXPECT_FALSE(control.hasImage());
    EXPECT_FALSE(f.exists());
    EXPECT_EQ(g_intOldDocLength, 0);
}

TEST(ResizeImage, KeepsAnnotationsAsItemsWhateverAnEarlierRoadLeft)
{
    BatchEnv env;
    QelEzImage control;
    fillControl(control, {{400, 304}});
    control.setPage(1);
    QelAnnotItem *item = control.createAnnotation(QelAnnotType::Rectangle);
    ASSERT_NE(item, nullptr);
    item->setBounds(QRect(16, 16, 40, 24));
    // A road before (the print copy, a burned save) left the control burning.
    control.setAnnotationOption(0);

    ASSERT_TRUE(do_resizeImage(control));
    const QString path = getTempPath() + QStringLiteral("resize.tif");
    EXPECT_EQ(inkOnFirstPage(path), 0) << "the item was burned into the pixels";
    QelEzImage check;
    check.setImageFile(path);
    EXPECT_EQ(check.annotationCount(), 1);
    EXPECT_EQ(control.annotationOption(), 1);
}
