#include <gtest/gtest.h>

#include <QFile>

#include "batch/crop.h"
#include "batch_env.h"
#include "core/files.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/forms.h"
#include "platform/imaging/qelezimage.h"

namespace {

struct CropFixture {
    BatchEnv env;
    Form editor{QStringLiteral("frmRedact")};
    QelEzImage control;
    QString original;

    // Two pages saved to a file the control then shows, on page 2.
    CropFixture()
    {
        control.appendPage(monoPage(800, 600, QRect(100, 100, 50, 50)));
        control.appendPage(monoPage(400, 304));
        original = env.temp() + QStringLiteral("doc.tif");
        control.setSaveFileName(original);
        control.save();
        control.setImageFile(original);
        control.setPage(2);
    }
    QSize size(int page)
    {
        control.setPage(page);
        return QSize(control.imageWidth(), control.imageHeight());
    }
};

} // namespace

TEST(Crop, OnePageIsCutAndAlignedTheOthersKeepTheirPixels)
{
    CropFixture f;
    ASSERT_TRUE(do_cropImage(f.editor, f.control, 90, 90, 203, 101, 1, false));
    EXPECT_TRUE(f.env.boxes.calls().isEmpty());
    EXPECT_EQ(f.control.imageFile(), f.original);
    EXPECT_EQ(f.control.page(), 1);
    EXPECT_EQ(f.control.saveFileName(), QString());
    EXPECT_EQ(f.size(1), QSize(208, 104));
    EXPECT_EQ(f.size(2), QSize(400, 304));
    f.control.setPage(1);
    const QImage page = f.control.pageImage().convertToFormat(QImage::Format_Grayscale8);
    EXPECT_EQ(qGray(page.pixel(10, 10)), 0) << "ink moved with the cut";
    EXPECT_EQ(qGray(page.pixel(5, 5)), 255);
    for (const char *name : {"crop.tif", "crop2.tif", "cropprebytealign.tif"})
        EXPECT_TRUE(QFile::exists(getTempPath() + QLatin1String(name))) << name;
}

TEST(Crop, AllPagesAreCut)
{
    CropFixture f;
    ASSERT_TRUE(do_cropImage(f.editor, f.control, 0, 0, 120, 64, 2, true));
    EXPECT_EQ(f.size(1), QSize(120, 64));
    EXPECT_EQ(f.size(2), QSize(120, 64));
    EXPECT_EQ(f.control.imageFile(), f.original);
}

TEST(Crop, AnnotationsInsideTheRegionComeBackTheOthersGo)
{
    CropFixture f;
    f.control.setPage(1);
    for (const QRect &bounds : {QRect(40, 40, 10, 10), QRect(500, 400, 10, 10)}) {
        auto item = std::make_unique<QelAnnotItem>(QelAnnotType::Rectangle);
        item->setBounds(bounds);
        ASSERT_TRUE(f.control.annotationSet()->add(std::move(item)));
    }
    f.control.addRegion(QRect(8, 8, 64, 64));
    ASSERT_TRUE(do_cropImage(f.editor, f.control, 8, 8, 64, 64, 1, false));
    EXPECT_TRUE(f.env.boxes.calls().isEmpty());
    for (int p : {1, 2})
        EXPECT_FALSE(QFile::exists(g_strTempPath + QStringLiteral("QuorlaCrop.ann%1").arg(p))) << p;
    f.control.setPage(1);
    EXPECT_EQ(f.control.annotationCount(), 1);
    f.control.setPage(2);
    EXPECT_EQ(f.control.annotationCount(), 0);
}

TEST(Crop, LeftoverFilesGoPageByPageAndTheSelectedRegionStillDecides)
{
    CropFixture f; // on page 2
    for (const QRect &bounds : {QRect(40, 40, 10, 10), QRect(300, 200, 10, 10)}) {
        auto item = std::make_unique<QelAnnotItem>(QelAnnotType::Rectangle);
        item->setBounds(bounds);
        ASSERT_TRUE(f.control.annotationSet()->add(std::move(item)));
    }
    f.control.addRegion(QRect(8, 8, 64, 64));
    // Files a crop that failed earlier left behind.
    for (int p : {1, 2}) {
        QFile stale(g_strTempPath + QStringLiteral("QuorlaCrop.ann%1").arg(p));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    // Whether each page's leftover file was still there when the page first became current.
    QList<int> seen, currentWithLeftover;
    QObject::connect(&f.control, &QelEzImage::pageChange, [&] {
        const int page = f.control.page();
        if (seen.contains(page))
            return;
        seen << page;
        if (QFile::exists(g_strTempPath + QStringLiteral("QuorlaCrop.ann%1").arg(page)))
            currentWithLeftover << page;
    });
    ASSERT_TRUE(do_cropImage(f.editor, f.control, 8, 8, 64, 64, 2, false));
    EXPECT_TRUE(f.env.boxes.calls().isEmpty());
    EXPECT_EQ(currentWithLeftover, (QList<int>{1, 2}));
    f.control.setPage(2);
    EXPECT_EQ(f.control.annotationCount(), 1);
}

TEST(Crop, RectangleOffThePageIsReported)
{
    CropFixture f;
    EXPECT_FALSE(do_cropImage(f.editor, f.control, 5000, 5000, 10, 10, 1, false));
    ASSERT_EQ(f.env.boxes.calls().size(), 1);
    EXPECT_TRUE(f.env.boxes.calls()[0].prompt.startsWith(QStringLiteral("Error in do_cropImage")));
}

TEST(Crop, DocumentFromNoFileEndsUnderTheLastWorkingFile)
{
    BatchEnv env;
    Form editor(QStringLiteral("frmRedact"));
    QelEzImage control;
    control.appendPage(monoPage(400, 304));
    ASSERT_TRUE(do_cropImage(editor, control, 0, 0, 64, 64, 1, false));
    EXPECT_TRUE(env.boxes.calls().isEmpty());
    EXPECT_EQ(control.imageFile(), getTempPath() + QStringLiteral("crop2.tif"));
    EXPECT_EQ(control.pageCount(), 1);
}
