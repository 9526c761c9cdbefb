#pragma once
#include "platform/annot/annotdocument.h"
#include "support/checks.h"

#include <QStringList>

// A handler whose answers are set per operation; it records every question it was asked.
struct ScriptedSecurity : IQelAnnotSecurity {
    bool add = true, trigger = true, remove = true, docProp = true, itemProp = true;
    QStringList calls;

    void AddItem(QelAnnotDocument *, QelAnnotItem *, bool &ok) override
    {
        calls << QStringLiteral("AddItem");
        ok = add;
    }
    void TriggerItem(QelAnnotDocument *, QelAnnotItem *, bool &ok) override
    {
        calls << QStringLiteral("TriggerItem");
        ok = trigger;
    }
    void RemoveItem(QelAnnotDocument *, QelAnnotItem *, bool &ok) override
    {
        calls << QStringLiteral("RemoveItem");
        ok = remove;
    }
    void SetDocProperty(QelAnnotDocument *, int id, const QVariant &, bool &ok) override
    {
        calls << QStringLiteral("SetDocProperty %1").arg(id);
        ok = docProp;
    }
    void SetItemProperty(QelAnnotDocument *, QelAnnotItem *, int id, const QVariant &,
                         bool &ok) override
    {
        calls << QStringLiteral("SetItemProperty %1").arg(id);
        ok = itemProp;
    }
    void refuseAll() { add = trigger = remove = docProp = itemProp = false; }
};

inline std::unique_ptr<QelAnnotItem> makeRect(int type, QRect bounds, quint32 fill = 0)
{
    auto it = std::make_unique<QelAnnotItem>(type);
    it->setBounds(bounds);
    it->setFillColor(fill);
    return it;
}
