#include "platform/annot/annotdocument.h"
#include "platform/annot/annoterror.h"

#include <algorithm>
#include <map>

QelAnnotDocument::QelAnnotDocument() = default;

QelAnnotDocument::~QelAnnotDocument()
{
    for (auto &it : m_items)
        it->m_doc = nullptr;
}

void QelAnnotDocument::setPageInfo(QSize sizePx, double dpiX, double dpiY)
{
    m_pageSize = sizePx.isValid() ? sizePx : QSize(0, 0);
    if (dpiX > 0.0)
        m_dpiX = dpiX;
    if (dpiY > 0.0)
        m_dpiY = dpiY;
}

bool QelAnnotDocument::ask(const std::function<void(IQelAnnotSecurity &, bool &)> &q) const
{
    if (!m_security)
        return true;
    bool ok = true;
    q(*m_security, ok);
    return ok;
}

void QelAnnotDocument::notify()
{
    const auto listeners = m_listeners; // a listener may remove itself
    for (const auto &l : listeners)
        l.second();
}

int QelAnnotDocument::addChangeListener(std::function<void()> fn)
{
    const int id = m_nextListener++;
    m_listeners.emplace_back(id, std::move(fn));
    return id;
}

void QelAnnotDocument::removeChangeListener(int id)
{
    std::erase_if(m_listeners, [id](const auto &l) { return l.first == id; });
}

bool QelAnnotDocument::setProperty(const QString &name, const QVariant &value)
{
    if (!ask([&](IQelAnnotSecurity &s, bool &ok) {
            s.SetDocProperty(this, QelAnnotDocProp::Named, QVariantList{name, value}, ok);
        }))
        return false;
    m_props.insert(name, value);
    if (!name.startsWith(QLatin1String(QelAnnotPermPrefix)))
        m_modified = true;
    notify();
    return true;
}

void QelAnnotDocument::setSecurity(IQelAnnotSecurity *handler)
{
    if (m_ownedSecurity.get() != handler)
        m_ownedSecurity.reset();
    m_security = handler;
}

void QelAnnotDocument::adoptSecurity(std::unique_ptr<IQelAnnotSecurity> handler)
{
    m_security = handler.get();
    m_ownedSecurity = std::move(handler);
}

QelAnnotItem *QelAnnotDocument::item(int index) const
{
    if (index < 0 || index >= count())
        raiseVbError(vbErr::SubscriptOutOfRange);
    return m_items[size_t(index)].get();
}

int QelAnnotDocument::indexOf(const QelAnnotItem *item) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == item)
            return int(i);
    return -1;
}

bool QelAnnotDocument::add(std::unique_ptr<QelAnnotItem> item)
{
    if (!item)
        raiseVbError(vbErr::ObjectVariableNotSet);
    if (item->m_doc)
        raiseVbError(vbErr::InvalidProcedureCall, QStringLiteral("The item belongs to a document"));
    if (!ask([&](IQelAnnotSecurity &s, bool &ok) { s.AddItem(this, item.get(), ok); }))
        return false;
    item->m_doc = this;
    item->m_selected = false;
    m_items.push_back(std::move(item));
    m_modified = true;
    notify();
    return true;
}

bool QelAnnotDocument::remove(int index)
{
    QelAnnotItem *it = item(index);
    if (!ask([&](IQelAnnotSecurity &s, bool &ok) { s.RemoveItem(this, it, ok); }))
        return false;
    it->m_doc = nullptr;
    m_items.erase(m_items.begin() + index);
    m_modified = true;
    notify();
    return true;
}

bool QelAnnotDocument::remove(QelAnnotItem *item)
{
    const int i = indexOf(item);
    return i >= 0 && remove(i);
}

bool QelAnnotDocument::trigger(QelAnnotItem *item)
{
    if (indexOf(item) < 0)
        return false;
    return ask([&](IQelAnnotSecurity &s, bool &ok) { s.TriggerItem(this, item, ok); });
}

QelAnnotItem *QelAnnotDocument::itemAt(QPoint imagePos) const
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        if ((*it)->bounds().contains(imagePos))
            return it->get();
    return nullptr;
}

void QelAnnotDocument::clear()
{
    for (auto &it : m_items)
        it->m_doc = nullptr;
    m_items.clear();
    m_props.clear();
    m_modified = false;
    notify();
}

int QelAnnotDocument::appendFromBytes(const QByteArray &bytes)
{
    std::unique_ptr<QelAnnotDocument> loaded = fromBytes(bytes);
    for (auto p = loaded->m_props.cbegin(); p != loaded->m_props.cend(); ++p)
        setProperty(p.key(), p.value());
    int added = 0;
    for (auto &it : loaded->m_items) {
        it->m_doc = nullptr;
        if (add(std::move(it)))
            ++added;
    }
    loaded->m_items.clear();
    return added;
}

// ---- tools -----------------------------------------------------------------------------------

QelAnnotItem &QelAnnotTools::defaultTemplate(int type)
{
    static std::map<int, std::unique_ptr<QelAnnotItem>> templates;
    auto &slot = templates[type];
    if (!slot) {
        if (type == QelAnnotType::Text) {
            slot = std::make_unique<QelAnnotTextItem>();
        } else {
            slot = std::make_unique<QelAnnotItem>(type);
            slot->setFillColor(type == QelAnnotType::Redaction ? 0x000000 : 0xFFFFFF);
        }
    }
    return *slot;
}

QelAnnotItem *QelAnnotTools::draw(QelAnnotDocument &doc, const QRect &bounds)
{
    if (!m_template)
        return nullptr;
    std::unique_ptr<QelAnnotItem> item = m_template->clone();
    item->setBounds(bounds.normalized());
    QelAnnotItem *raw = item.get();
    const bool added = doc.add(std::move(item));
    if (!m_sticky)
        m_template = nullptr;
    return added ? raw : nullptr;
}

bool QelAnnotTools::select(QelAnnotDocument &doc, QelAnnotItem *item, bool add)
{
    if (item && doc.indexOf(item) < 0)
        return false;
    if (!add) {
        for (int i = 0; i < doc.count(); ++i) {
            QelAnnotItem *other = doc.item(i);
            if (other != item && other->isSelected())
                other->setSelected(false);
        }
    }
    return item ? item->setSelected(true) : true;
}

int QelAnnotTools::deleteSelected(QelAnnotDocument &doc)
{
    int removed = 0;
    for (int i = doc.count() - 1; i >= 0; --i)
        if (doc.item(i)->isSelected() && doc.remove(i))
            ++removed;
    return removed;
}
