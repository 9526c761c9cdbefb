#include "batch/crop.h"

#include <QFile>

#include "annotate/annotfiles.h"
#include "annotate/frmImageRedaction.h"
#include "batch/pageops.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/memfiles.h"
#include "platform/imaging/qelezimage.h"
#include "platform/toolkit/imagingtoolkit.h"

namespace {
QString parkedAnnotations(int page) { return QStringLiteral("QuorlaCrop.ann") + QString::number(page); }

// A parked set moved with its cropped page: every item clipped to the kept rectangle and
// shifted to the new corner; an item with nothing left inside goes.
QByteArray movedWithCrop(const QByteArray &parked, const QRect &kept)
{
    const auto set = QelAnnotDocument::fromBytes(parked);
    for (int i = set->count() - 1; i >= 0; --i) {
        QelAnnotItem *item = set->item(i);
        const QRect inside = item->bounds().intersected(kept);
        if (inside.isEmpty())
            set->remove(i);
        else
            item->setBounds(inside.translated(-kept.topLeft()));
    }
    return set->toBytes();
}
} // namespace

bool do_cropImage(Form &form, QelEzImage &control, int left, int top, int width, int height,
                  int page, bool allPages)
{
    Trap trap;
    try {
        trap(1);
        const QString temp = batchTempFolder();
        DeleteFile(temp + QStringLiteral("crop.tif"));
        DeleteFile(temp + QStringLiteral("crop2.tif"));
        DeleteFile(temp + QStringLiteral("cropprebytealign.tif"));

        trap(2);
        // Turning the page drops the selected region the clean-up below reads: the page and its
        // region are put back after the walk.
        const int current = control.page();
        QList<QRect> regions;
        for (int i = 0; i < control.regionCount(); ++i)
            regions << control.region(i);
        for (int p = 1; p <= control.pageCount(); ++p) {
            control.setPage(p);
            if (QFile::exists(temp + parkedAnnotations(p)))
                DeleteTempFile(parkedAnnotations(p));
        }
        if (current >= 1)
            control.setPage(current);
        if (control.regionCount() == 0)
            for (const QRect &r : regions)
                control.addRegion(r);

        trap(3);
        do_delete_annotations_outside_regions(&form, control, left, top, width, height, page,
                                              allPages, true);

        trap(4);
        const QString shown = control.imageFile();
        const QString path = getTempPath() + QStringLiteral("crop.tif");
        saveAndCloseDocument(control, path, 1);

        trap(5);
        {
            ImagingToolkit toolkit;
            toolkit.open(path, 0, QString());
            if (allPages) {
                for (int i = 0; i < toolkit.pageCount(); ++i) {
                    toolkit.selectPage(i);
                    toolkit.crop(left, top, width, height, QString());
                }
            } else {
                toolkit.selectPage(page - 1);
                toolkit.crop(left, top, width, height, QString());
            }
            toolkit.save(path, 3, 0, true);
        }

        trap(6);
        // The file shown before is written again at the end; never drop the fresh crop.
        if (shown != path)
            DeleteFile(shown);
        control.setImageFile(path);
        control.setSaveFileName(QString());
        control.setPage(1);

        trap(7);
        do_byteAlign(control);

        trap(8);
        const QRect kept(left, top, width, height);
        for (int p = 1; p <= control.pageCount(); ++p) {
            control.setPage(p);
            const QString parked = temp + parkedAnnotations(p);
            if (QFile::exists(parked)) {
                if (allPages || p == page)
                    memfiles::writeAll(parked, movedWithCrop(memfiles::readAll(parked), kept));
                control.loadAnnotations(parked);
                DeleteTempFile(parkedAnnotations(p));
            }
        }

        trap(9);
        redact_set_annotation_security(&form);

        trap(10);
        QStringList saves{getTempPath() + QStringLiteral("cropprebytealign.tif"),
                          getTempPath() + QStringLiteral("crop2.tif")};
        // A document that came from no file stays under the last working file.
        if (!shown.isEmpty())
            saves << shown;
        for (const QString &target : saves) {
            saveAndCloseDocument(control, target, 1);
            control.setImageFile(target);
        }

        trap(11);
        control.setSaveFileName(QString());
        control.setPage(1);
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_cropImage"), trap);
    }
    return false;
}
