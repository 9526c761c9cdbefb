#include "capture/coversheet.h"

#include <QFile>

#include "annotate/coversheetannot.h"
#include "batch/pageops.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "host/im656r.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"


QVariant do_cover_sheet(QelEzImage &control, const QString &documentPath)
{
    Trap trap;
    try {
        const QString temp = g_strTempPath;
        const QString joined = temp + QStringLiteral("tempcoversheet1.tif");
        const QString annotated = temp + QStringLiteral("tempcoversheet2.tif");
        const QString coverPage = temp + QStringLiteral("temp5.tif");

        runStep(trap, 1, [&] {
            DeleteTempFile(QStringLiteral("tempcoversheet1.tif"));
            DeleteTempFile(QStringLiteral("tempcoversheet2.tif"));
            DeleteTempFile(QStringLiteral("temp5.tif"));
        });

        if (!gsCoverPagePath.isEmpty() && gsCoverPageStatus == u"Y") {
            // The host's template, copied and reduced to a byte-aligned page of our own.
            trap(2);
            const QString templ = hostPathText(gsCoverPagePath);
            const QString local = hostPathToLocal(templ);
            if (!QFile::exists(local)) {
                MsgBox(QStringLiteral("File Not Found: ") + templ, vb::vbOKOnly,
                       QStringLiteral("The Korvane Scan Tool"));
                return QVariant();
            }
            trap(3);
            CopyFile(local, joined);

            runStep(trap, 4, [&] {
                control.setImageFile(joined);
                control.setSaveFileName(coverPage);
                control.setPage(1);
                control.setSaveOption(1);
                control.save();
                control.clearImage();
                control.resetView();
                control.setSaveFileName(QString());
            });
            runStep(trap, 5, [&] {
                control.setImageFile(coverPage);
                do_byteAlign(control);
                control.setSaveFileName(joined);
                control.save();
                control.clearImage();
            });

            // The document's pages behind the cover page.
            runStep(trap, 6, [&] {
                control.setImageFile(documentPath);
                control.setSaveFileName(joined);
                control.setPage(1);
                control.setSaveAppend(1);
                control.save();
                control.clearImage();
                control.setSaveAppend(0);
            });

            // The cover lines onto the cover page, out of sight.
            runStep(trap, 7, [&] {
                control.setImageFile(joined);
                control.setVisible(false);
                control.setPage(1);
                do_load_coverpage_lines();
                do_apply_annotations_electronic_coversheet(control);
            });
            runStep(trap, 8, [&] {
                control.setSaveFileName(annotated);
                control.setAnnotationMode(0);
                control.setAnnotationOption(1);
                control.setSaveOption(1);
                control.save();
                control.clearImage();
            });

            // The working file (and its second copy) now start with the cover sheet.
            runStep(trap, 9, [&] {
                control.setImageFile(annotated);
                control.setSaveFileName(documentPath);
                control.save();
                control.setSaveFileName(temp + QStringLiteral("temp2.tif"));
                control.save();
                control.clearImage();
            });
            trap(10);
            g_NumPages = QString::number(qint64(Val(g_NumPages)) + 1);
        }
        control.setVisible(true);
        return true;
    } catch (...) {
        control.setVisible(true);
        reportCurrentError(QStringLiteral("do_cover_sheet"), trap);
    }
    return false;
}
