#include <gtest/gtest.h>

#include <QFile>

#include "batch/batchhooks.h"
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
    ~CropFixture()
    {
        batchhooks::do_delete_annotations_outside_regions = nullptr;
        batchhooks::redact_set_annotation_security = nullptr;
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

TEST(Crop, ParkedAnnotationsComeBackAndHooksGetTheRequest)
{
    CropFixture f;
    QList<int> seen;
    int securityCalls = 0;
    batchhooks::do_delete_annotations_outside_regions =
        [&](Form &form, QelEzImage &control, int l, int t, int w, int h, int page, bool all,
            bool flag) {
            EXPECT_EQ(&form, &f.editor);
            seen = {l, t, w, h, page, int(all), int(flag)};
            control.setPage(2);
            control.createAnnotation(QelAnnotType::Rectangle);
            control.annotationFile(1, g_strTempPath + QStringLiteral("QuorlaCrop.ann2"));
            control.annotationSet()->clear();
        };
    batchhooks::redact_set_annotation_security = [&](Form &) { ++securityCalls; };
    ASSERT_TRUE(do_cropImage(f.editor, f.control, 8, 8, 64, 64, 1, false));
    EXPECT_EQ(seen, (QList<int>{8, 8, 64, 64, 1, 0, 1}));
    EXPECT_EQ(securityCalls, 1);
    EXPECT_FALSE(QFile::exists(g_strTempPath + QStringLiteral("QuorlaCrop.ann2")));
    f.control.setPage(1);
    EXPECT_EQ(f.control.annotationCount(), 0);
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
