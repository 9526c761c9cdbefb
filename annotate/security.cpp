#include "annotate/security.h"

#include "core/errors.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"

namespace AnnotPerms {

QString permPropertyName(qint32 annotationType)
{
    return QLatin1String(QelAnnotPermPrefix) + QString::number(annotationType);
}

bool IsDocNothing(const QelAnnotDocument *doc) { return doc == nullptr; }

quint8 GetPerm(QelAnnotDocument *doc, qint32 annotationType)
{
    if (IsDocNothing(doc))
        return 0;
    const QVariant v = doc->property(permPropertyName(annotationType));
    return quint8(v.toLongLong() & 0xFF);
}

qint32 SetPerm(QelAnnotDocument *doc, qint32 annotationType, qint32 &permission)
{
    if (!IsDocNothing(doc))
        doc->setProperty(permPropertyName(annotationType), QVariant(permission));
    return permission;
}

qint32 rewritePerm(QelAnnotDocument *doc, qint32 annotationType)
{
    qint32 perm = GetPerm(doc, annotationType);
    SetPerm(doc, annotationType, perm);
    return perm;
}

void seedPerm(QelAnnotDocument *doc, qint32 annotationType, qint32 unsetValue)
{
    if (rewritePerm(doc, annotationType) == 0)
        SetPerm(doc, annotationType, unsetValue);
}

} // namespace AnnotPerms

AnnotDocValue::AnnotDocValue(QelEzImage &control) : m_doc(control.annotationSet())
{
    if (!m_doc) {
        m_standIn = std::make_unique<QelAnnotDocument>();
        m_doc = m_standIn.get();
    }
    m_value = m_doc->isModified();
}

void AnnotDocValue::handBack() const { m_doc->setModified(m_value); }

QelAnnotDocument *requirePageSet(QelEzImage &control)
{
    QelAnnotDocument *doc = control.annotationSet();
    if (!doc)
        raiseVbError(vbErr::ObjectVariableNotSet);
    return doc;
}

namespace {

bool itemHas(QelAnnotDocument *doc, QelAnnotItem *item, int mask)
{
    return (AnnotPerms::GetPerm(doc, item->type()) & mask) != 0;
}

} // namespace

void ItemSecurity::AddItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed)
{
    allowed = AnnotPerms::IsDocNothing(doc) || itemHas(doc, item, AnnotPermBit::Add);
}

void ItemSecurity::TriggerItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed)
{
    allowed = AnnotPerms::IsDocNothing(doc) || itemHas(doc, item, AnnotPermBit::Trigger);
}

void ItemSecurity::RemoveItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed)
{
    allowed = AnnotPerms::IsDocNothing(doc) || itemHas(doc, item, AnnotPermBit::Remove);
}

void ItemSecurity::SetDocProperty(QelAnnotDocument *, int, const QVariant &, bool &allowed)
{
    allowed = true;
}

void ItemSecurity::SetItemProperty(QelAnnotDocument *doc, QelAnnotItem *item, int propertyId,
                                   const QVariant &value, bool &allowed)
{
    if (AnnotPerms::IsDocNothing(doc)) {
        allowed = true;
        return;
    }
    int mask = AnnotPermBit::ChangeProperty;
    if (propertyId == QelAnnotProp::Selected) {
        mask = AnnotPermBit::ChangeProperty70;
    } else if (propertyId == QelAnnotProp::Rotate) {
        // A turn that starts with 0 is always allowed; a value that is no list is an
        // ordinary property change.
        const QVariantList turn = value.toList();
        bool ok = false;
        if (!turn.isEmpty() && turn.front().toLongLong(&ok) == 0 && ok) {
            allowed = true;
            return;
        }
    }
    allowed = itemHas(doc, item, mask);
}

void InitPerm(QelAnnotDocument *doc, qint32 annotationType)
{
    Trap at;
    try {
        at(1);
        qint32 perm = AnnotPerms::GetPerm(doc, annotationType);
        at(2);
        AnnotPerms::SetPerm(doc, annotationType, perm);
        at(3);
        qint32 all = AnnotPermBit::All;
        AnnotPerms::SetPerm(doc, annotationType, all);
    } catch (...) {
        reportCurrentError(QStringLiteral("Module:incude::InitPerm"), at);
    }
}

void initAllPerms()
{
    QelEzImage *view = frmMain().ezPageView;
    for (qint32 type : {QelAnnotType::Text, QelAnnotType::Redaction, QelAnnotType::Rectangle})
        InitPerm(view->annotationSet(), type);
}

bool do_set_annotation_security(QelEzImage &control)
{
    Trap at;
    const QelEzPageWalk walk(control);
    try {
        at(1);
        const int pages = control.pageCount();
        for (int page = 1; page <= pages; ++page) {
            at(2);
            control.setPage(page);
            at(3);
            // Seeding permissions must not leave the set looking edited.
            const AnnotDocValue value(control);
            at(4);
            initAllPerms();
            value.handBack();
            at(5);
            requirePageSet(control)->adoptSecurity(std::make_unique<ItemSecurity>());
        }
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_set_annotation_security"), at);
        return false;
    }
}
