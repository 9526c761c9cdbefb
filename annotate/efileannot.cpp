#include "annotate/efileannot.h"

#include "annotate/annotfiles.h"
#include "annotate/coversheetannot.h"
#include "annotate/imprintgroups.h"
#include "annotate/security.h"
#include "batch/pageops.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"

namespace {

const QString ClearedFile = QStringLiteral("tempprocessannotate.tif");
const QString AlignedFile = QStringLiteral("temp5.tif");

// Writes the whole document to path (annotations kept as annotations, never appended to an
// older file of that name).
void writeDocument(QelEzImage &control, const QString &path)
{
    control.setSaveFileName(path);
    control.setPage(1);
    control.setAnnotationOption(1);
    control.setSaveAppend(0);
    control.save();
    control.refresh();
}

} // namespace

QVariant do_process_efile_annotations(QelEzImage &pageView, QelEzImage &thumbView, bool &parking,
                                      const QVariant &coverSheet)
{
    Trap at;
    try {
        at(1);
        const QString loaded = pageView.imageFile();
        DeleteTempFile(ClearedFile);
        DeleteTempFile(AlignedFile);

        at(2);
        bool anyText = false;
        for (const GroupTextInfo &g : g_GroupTextInfo)
            anyText = anyText || !g.Text.isEmpty();
        if (!anyText)
            return true;

        at(3);
        pageView.setPage(1);
        do_set_annotation_security(pageView);
        const int pages = pageView.pageCount();
        ImprintStates states;

        const QelEzPageWalk walk(pageView);
        for (int page = 1; page <= pages; ++page) {
            at(4);
            pageView.setPage(page);
            pageView.setAnnotationMode(0);
            pageView.setActiveAnnotations(1);
            pageView.annotationFile(3, QString());
            const QString key = QString::number(page);
            if (pageView.annotationCount() <= 0) {
                states.append({key, QVariant(qint16(0))});
                continue;
            }
            at(5);
            DeleteTempFile(ANN_FILE_STORE + key);
            if (parking)
                pageView.annotationFile(1, annotationSetFile(ANN_FILE_STORE, page));
            at(6);
            bool imprinted = false;
            QelAnnotDocument *doc = pageView.annotationSet();
            for (int i = doc->count() - 1; i >= 0; --i) {
                if (doc->item(i)->userStorage(IMPRINT_TAG_KEY).toString() == QLatin1String("1"))
                    imprinted = true;
                doc->remove(i);
            }
            states.append({key, QVariant(qint16(parking && imprinted ? 1 : 0))});
        }

        at(7);
        const QString cleared = g_strTempPath + ClearedFile;
        writeDocument(pageView, cleared);
        thumbView.refresh();
        pageView.resetView();
        pageView.setSaveFileName(QString());
        pageView.setImageFile(cleared);

        at(8);
        do_byteAlign(pageView);
        g_blnByteAligned = true;

        at(9);
        const QString aligned = g_strTempPath + AlignedFile;
        writeDocument(pageView, aligned);
        pageView.setImageFile(aligned);
        pageView.setSaveFileName(QString());

        at(10);
        if (coverSheet.isValid() && CBool(coverSheet))
            do_apply_annotations_electronic_coversheet(pageView);
        at(11);
        do_apply_annotations_electronic(states);

        at(12);
        writeDocument(pageView, loaded);
        pageView.setImageFile(loaded);
        pageView.setSaveFileName(QString());
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_process_efile_annotations"), at);
        return {};
    }
}
