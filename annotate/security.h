#pragma once
// Annotation permissions: one byte per annotation type, kept in each page's annotation document,
// and the security handlers that answer every edit from those bytes.
#include <QString>

#include <memory>

#include "platform/annot/annotdocument.h"

class QelEzImage;

// Bits of a permission byte.
namespace AnnotPermBit {
constexpr int ChangeProperty = 1; // any item property except 70
constexpr int Add = 2;
constexpr int Remove = 4;
constexpr int Trigger = 8;
constexpr int ChangeProperty70 = 16;
constexpr int All = 255;
}

namespace AnnotPerms {
// "QelToolsPerms1_" followed by the type in decimal digits.
QString permPropertyName(qint32 annotationType);
// The type's byte (low 8 bits of the property); 0 without a document or property.
quint8 GetPerm(QelAnnotDocument *doc, qint32 annotationType);
// Writes the permission when there is a document; returns it in every case.
qint32 SetPerm(QelAnnotDocument *doc, qint32 annotationType, qint32 &permission);
bool IsDocNothing(const QelAnnotDocument *doc);
// Reads the type's byte and writes the same value back; returns it.
qint32 rewritePerm(QelAnnotDocument *doc, qint32 annotationType);
// rewritePerm, then an unset byte (0) becomes unsetValue; any other byte stays.
void seedPerm(QelAnnotDocument *doc, qint32 annotationType, qint32 unsetValue);
}

// The document value read before and handed back after permission writes: read once from the
// control's current page set, or from a stand-in document when the control has none, and handed
// back to that same document.
class AnnotDocValue {
public:
    explicit AnnotDocValue(QelEzImage &control);
    void handBack() const;
private:
    std::unique_ptr<QelAnnotDocument> m_standIn;
    QelAnnotDocument *m_doc = nullptr;
    bool m_value = false;
};

// The control's current page set; raises error 91 when the control has none.
QelAnnotDocument *requirePageSet(QelEzImage &control);

// The handler installed on every page of the main window's document. Without a document every
// edit is allowed; otherwise the item type's byte decides.
class ItemSecurity : public IQelAnnotSecurity {
public:
    void AddItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed) override;
    void TriggerItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed) override;
    void RemoveItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed) override;
    void SetDocProperty(QelAnnotDocument *doc, int propertyId, const QVariant &value,
                        bool &allowed) override;
    void SetItemProperty(QelAnnotDocument *doc, QelAnnotItem *item, int propertyId,
                         const QVariant &value, bool &allowed) override;
};

// The same answers, as a class of its own for the redaction editor and the print preview.
class ItemSecurityRedact final : public ItemSecurity {};

// Gives one annotation type all rights (255) on one document. Errors are reported.
void InitPerm(QelAnnotDocument *doc, qint32 annotationType);
// InitPerm for types 2, 7 and 11 on the current page of the main window's page view.
void initAllPerms();
// A fresh ItemSecurity on every page of the control; false after a reported error.
bool do_set_annotation_security(QelEzImage &control);
