#include "annotate/annotfiles.h"

#include "annotate/frmImageRedaction.h"
#include "annotate/security.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"

namespace {

constexpr QChar BogusTextEnd = QChar(6);

// Replaces the page's parked file with its present annotation set.
void parkPage(QelEzImage &control, const QString &fixedName, int page)
{
    DeleteTempFile(fixedName + QString::number(page));
    control.annotationFile(1, annotationSetFile(fixedName, page));
}

void parkAllPages(QelEzImage &control, const QString &fixedName)
{
    const int pages = control.pageCount();
    const QelEzPageWalk walk(control);
    for (int page = 1; page <= pages; ++page) {
        control.setPage(page);
        parkPage(control, fixedName, page);
    }
}

bool skipPage(QelEzImage &control, int page, qint16 givenPage, bool allPages)
{
    QelAnnotDocument *doc = control.annotationSet();
    return !doc || doc->count() == 0 || (!allPages && page != givenPage);
}

void redactSetSecurity(QWidget *form)
{
    redact_set_annotation_security(form);
}

} // namespace

QString annotationSetFile(const QString &fixedName, int page)
{
    return g_strTempPath + fixedName + QString::number(page);
}

ImprintStates do_find_bookpage_annotations(QelEzImage &control)
{
    Trap at;
    try {
        ImprintStates states;
        at(1);
        const int pages = control.pageCount();
        const QelEzPageWalk walk(control);
        for (int page = 1; page <= pages; ++page) {
            at(2);
            control.setPage(page);
            bool marked = false;
            if (control.annotationCount() >= 1) {
                at(3);
                QelAnnotDocument *doc = control.annotationSet();
                for (int i = doc->count() - 1; i >= 0 && !marked; --i)
                    marked = doc->item(i)->userStorage(IMPRINT_TAG_KEY).toString()
                             == QLatin1String("1");
            }
            states.append({QString::number(page), QVariant(qint16(marked ? 1 : 0))});
        }
        return states;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_find_bookpage_annotations"), at);
        return {};
    }
}

bool do_delete_annotations_outside_regions(QWidget *redactionForm, QelEzImage &control, qint32,
                                           qint32, qint32, qint32, qint16 page, bool allPages,
                                           bool parking)
{
    Trap at;
    const QelEzPageWalk walk(control);
    try {
        at(1);
        // The control forgets its region when the page changes; the one selected on entry
        // stands in whenever it has none.
        const QRect selected = control.currentRegion();
        auto currentRegion = [&] {
            const QRect r = control.currentRegion();
            return r.isNull() ? selected : r;
        };
        if (parking)
            parkAllPages(control, ANN_FILE_CROP);
        at(2);
        redactSetSecurity(redactionForm);
        at(3);
        // Pages counted afresh after each page's yield.
        for (int p = 1; p <= control.pageCount(); ++p) {
            control.setPage(p);
            if (skipPage(control, p, page, allPages))
                continue;
            at(4);
            QelAnnotDocument *doc = control.annotationSet();
            for (int index = doc->count() - 1; index >= 0; --index) {
                QelAnnotItem *object = control.annotationObject(index);
                const QRect item = object->bounds();
                const QRect region = currentRegion();
                const qint64 top = item.top(), left = item.left();
                const bool inside = top > qint64(region.top()) + 20
                                    && left > qint64(region.left()) + 20
                                    && top + item.height()
                                           < qint64(region.top()) + region.height() + 20
                                    && left + item.width()
                                           < qint64(region.left()) + region.width() + 20;
                if (inside)
                    continue;
                // A redaction keeps covering the part of it that the crop keeps.
                const QRect kept = item.intersected(region);
                if (object->type() == QelAnnotType::Redaction && !kept.isEmpty()) {
                    object->setBounds(kept);
                    continue;
                }
                doc->remove(index);
            }
            at(5);
            if (parking)
                parkPage(control, ANN_FILE_CROP, p);
            DoEvents();
        }
        at(6);
        redactSetSecurity(redactionForm);
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_delete_annotations_outside_regions"), at);
        return false;
    }
}

bool do_adjust_text_annotations_with_bogus_data(QWidget *, QelEzImage &control, qint16 page,
                                                bool allPages, bool parking)
{
    Trap at;
    const QelEzPageWalk walk(control);
    try {
        at(1);
        if (parking)
            parkAllPages(control, ANN_FILE_ADJ);
        at(2);
        do_set_annotation_security(control);
        at(3);
        // Events handled while it yields may delete pages or close the document: the page count
        // and the page's set are read afresh after every yield.
        for (int p = 1; p <= control.pageCount(); ++p) {
            control.setPage(p);
            if (skipPage(control, p, page, allPages))
                continue;
            at(4);
            for (int index = control.annotationCount() - 1; index >= 0; --index) {
                QelAnnotDocument *doc = control.annotationSet();
                if (!doc)
                    raiseVbError(vbErr::ObjectVariableNotSet);
                if (index >= doc->count())
                    continue;
                QelAnnotItem *object = control.annotationObject(index);
                QelAnnotItem *item = doc->item(index);
                const QString text = object->text();
                if (object->type() == QelAnnotType::Text && text.endsWith(BogusTextEnd)) {
                    object->setText(text.chopped(1));
                    item->resize(doc->dpiX(), doc->dpiY());
                }
                control.annotationFile(3, QString());
                DoEvents();
            }
            at(5);
            if (parking)
                parkPage(control, ANN_FILE_ADJ, p);
            DoEvents();
        }
        at(6);
        control.setPage(1);
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_adjust_text_annotations_with_bogus_data"), at);
        return false;
    }
}

int burnRedactionItems(QelEzImage &control)
{
    int burned = 0;
    const int pages = control.pageCount();
    const QelEzPageWalk walk(control);
    for (int page = 1; page <= pages; ++page) {
        control.setPage(page);
        QelAnnotDocument *set = control.annotationSet();
        if (!set)
            continue;
        QelAnnotDocument covers;
        for (int i = 0; i < set->count(); ++i)
            if (set->item(i)->type() == QelAnnotType::Redaction)
                covers.add(set->item(i)->clone());
        if (covers.count() == 0)
            continue;
        QImage pixels = control.pageImage();
        covers.burnInto(pixels);
        control.setPageImage(pixels);
        for (int i = set->count() - 1; i >= 0; --i)
            if (set->item(i)->type() == QelAnnotType::Redaction && !set->remove(i))
                raiseVbError(vbErr::PermissionDenied);
        ++burned;
    }
    return burned;
}
