#include "batch/pageops.h"

#include <QFile>

#include "core/errors.h"
#include "core/files.h"
#include "core/state.h"
#include "platform/imaging/qelezimage.h"
#include "platform/toolkit/imagingtoolkit.h"
#include "ui/frmMain.h"

namespace {
constexpr unsigned kWhite = 16777215;
} // namespace

void saveAndCloseDocument(QelEzImage &control, const QString &path, int annotationOption)
{
    control.setSaveFileName(path);
    control.setSaveOption(0);
    control.setAnnotationOption(annotationOption);
    // Never appended to an older file of that name.
    control.setSaveAppend(0);
    control.save();
    control.clearImage();
}

QString batchTempFolder()
{
    return g_strTempPath.isEmpty() ? getTempPath() : g_strTempPath;
}

void do_byteAlign(QelEzImage &control)
{
    Trap trap;
    try {
        trap(1);
        ImagingToolkit toolkit;
        trap(2);
        int first = 0;
        const int pages = control.pageCount();
        {
            const QelEzPageWalk walk(control);
            for (int page = 1; page <= pages; ++page) {
                control.setPage(page);
                if (control.imageWidth() % 8 != 0) {
                    first = page;
                    break;
                }
            }
        }
        if (first == 0)
            return;

        trap(3);
        const QString path = batchTempFolder() + QStringLiteral("byteAlign.tif");
        first = control.page();
        const QString target = control.saveFileName();
        trap(4);
        // The annotations stay as the road before left them.
        saveAndCloseDocument(control, path, control.annotationOption());

        trap(5);
        toolkit.open(path, 0, QString());
        const int count = toolkit.pageCount();
        trap(6);
        for (int page = first; page <= count; ++page) {
            toolkit.selectPage(page - 1);
            const int w = toolkit.width();
            const int h = toolkit.height();
            const int padW = w % 8 ? 8 - w % 8 : 0;
            const int padH = h % 8 ? 8 - h % 8 : 0;
            if (padW == 0 && padH == 0)
                continue;
            const unsigned white = toolkit.makeColor(kWhite, 255);
            toolkit.resizeCanvas(w + padW, h + padH, white, 0, 0, QString());
        }
        trap(7);
        toolkit.save(path, 3, 0, true);
        trap(8);
        control.setSaveFileName(target);
        control.setImageFile(path);
    } catch (...) {
        reportCurrentError(QStringLiteral("do_byteAlign"), trap);
    }
}

bool do_resizeImage(QelEzImage &control)
{
    Trap trap;
    try {
        trap(1);
        ImagingToolkit toolkit;
        trap(2);
        if (control.pageCount() >= 1) {
            control.setPage(1);
            trap(3);
            DeleteFile(batchTempFolder() + QStringLiteral("resize.tif"));
            const QString shown = control.imageFile();
            const QString path = getTempPath() + QStringLiteral("resize.tif");
            trap(4);
            saveAndCloseDocument(control, path, 1);
            trap(5);
            // The file shown before is dropped, unless it is the one just written.
            if (shown != path)
                DeleteFile(shown);
            control.setSaveFileName(QString());
            trap(6);
            control.setImageFile(path);
            control.setPage(1);
        }
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_resizeImage"), trap);
    }
    return false;
}

void FlipDoc()
{
    Trap trap;
    try {
        trap(1);
        QelEzImage &view = *frmMain().ezPageView;
        const int pages = view.pageCount();
        const QelEzPageWalk viewWalk(view);
        const QelEzPageWalk treeWalk(*frmMain().ezTreeView);
        for (int page = 1; page <= pages; ++page) {
            trap(2);
            view.setPage(page);
            view.setRotation(3);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("FlipDoc"), trap);
    }
}

void resetBarcodeTemp(QelEzImage &barcode)
{
    const QString name = QStringLiteral("bctemp.tif");
    DeleteBarcodeTemp(name, barcode);
    barcode.setWorkingFileName(batchTempFolder() + name);
}

void DeleteBarcodeTemp(const QString &fileName, QelEzImage &control)
{
    Trap trap;
    try {
        trap(1);
        control.clearImage();
        trap(2);
        DeleteFile(batchTempFolder() + fileName);
        g_intOldDocLength = 0;
    } catch (...) {
        reportCurrentError(QStringLiteral("DeleteBarcodeTemp"), trap);
    }
}
