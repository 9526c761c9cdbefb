#include "platform/annot/annotdocument.h"
#include "platform/annot/annoterror.h"

#include <QFont>
#include <QtMath>

#include <limits>

QFont QelAnnotFont::toQFont(double pixelSize) const
{
    const QString key = name.trimmed().toLower();
    QString family = name;
    QFont::StyleHint hint = QFont::AnyStyle;
    if (key == QLatin1String("arial") || key == QLatin1String("helvetica")) {
        family = QStringLiteral("Liberation Sans");
        hint = QFont::SansSerif;
    } else if (key == QLatin1String("courier new") || key == QLatin1String("courier")) {
        family = QStringLiteral("Liberation Mono");
        hint = QFont::Monospace;
    } else if (key == QLatin1String("times new roman") || key == QLatin1String("times")) {
        family = QStringLiteral("Liberation Serif");
        hint = QFont::Serif;
    }
    QFont f(family);
    f.setStyleHint(hint);
    f.setPixelSize(qMax(1, qRound(pixelSize)));
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

QelAnnotItem::QelAnnotItem(int type) : m_type(type) {}

QelAnnotItem::~QelAnnotItem() = default;

std::unique_ptr<QelAnnotItem> QelAnnotItem::clone() const
{
    std::unique_ptr<QelAnnotItem> c = m_type == QelAnnotType::Text
        ? std::unique_ptr<QelAnnotItem>(new QelAnnotTextItem)
        : std::make_unique<QelAnnotItem>(m_type);
    c->m_bounds = m_bounds;
    c->m_lineColor = m_lineColor;
    c->m_fillColor = m_fillColor;
    c->m_lineWidth = m_lineWidth;
    c->m_text = m_text;
    c->m_justification = m_justification;
    c->m_orientation = m_orientation;
    c->m_user = m_user;
    return c;
}

bool QelAnnotItem::allow(int propertyId, const QVariant &value)
{
    if (!m_doc)
        return true;
    return m_doc->ask([&](IQelAnnotSecurity &s, bool &ok) {
        s.SetItemProperty(m_doc, this, propertyId, value, ok);
    });
}

void QelAnnotItem::changed()
{
    if (!m_doc)
        return;
    m_doc->m_modified = true;
    m_doc->notify();
}

bool QelAnnotItem::setBounds(const QRect &r)
{
    if (r.width() < 0 || r.height() < 0)
        raiseAnnotError(annotErr::BadValue, QStringLiteral("negative size"));
    if (r == m_bounds)
        return true;
    if (!allow(QelAnnotProp::Bounds, r))
        return false;
    m_bounds = r;
    changed();
    return true;
}

bool QelAnnotItem::moveTo(int left, int top)
{
    return setBounds(QRect(left, top, m_bounds.width(), m_bounds.height()));
}

bool QelAnnotItem::setSize(int width, int height)
{
    return setBounds(QRect(m_bounds.left(), m_bounds.top(), width, height));
}

bool QelAnnotItem::setLineColor(quint32 bgr)
{
    if (bgr > 0xFFFFFFu)
        raiseAnnotError(annotErr::BadValue, QStringLiteral("colour"));
    if (bgr == m_lineColor)
        return true;
    if (!allow(QelAnnotProp::LineColor, bgr))
        return false;
    m_lineColor = bgr;
    changed();
    return true;
}

bool QelAnnotItem::setFillColor(quint32 bgr)
{
    if (bgr > 0xFFFFFFu)
        raiseAnnotError(annotErr::BadValue, QStringLiteral("colour"));
    if (bgr == m_fillColor)
        return true;
    if (!allow(QelAnnotProp::FillColor, bgr))
        return false;
    m_fillColor = bgr;
    changed();
    return true;
}

bool QelAnnotItem::setLineWidth(int px)
{
    if (px < 0)
        raiseAnnotError(annotErr::BadValue, QStringLiteral("line width"));
    if (px == m_lineWidth)
        return true;
    if (!allow(QelAnnotProp::LineWidth, px))
        return false;
    m_lineWidth = px;
    changed();
    return true;
}

bool QelAnnotItem::setText(const QString &text)
{
    if (text == m_text.text)
        return true;
    if (!allow(QelAnnotProp::Text, text))
        return false;
    m_text.text = text;
    changed();
    return true;
}

bool QelAnnotItem::setFont(const QelAnnotFont &font)
{
    if (!(font.pointSize > 0.0) || font.pointSize > 1000.0)
        raiseAnnotError(annotErr::BadValue, QStringLiteral("font size"));
    if (font == m_text.font)
        return true;
    if (!allow(QelAnnotProp::Font, QVariantList{font.name, font.pointSize, font.bold, font.italic}))
        return false;
    m_text.font = font;
    changed();
    return true;
}

bool QelAnnotItem::setJustification(int j)
{
    if (j < QelAnnotJustify::Left || j > QelAnnotJustify::Center)
        raiseAnnotError(annotErr::BadValue, QStringLiteral("justification"));
    if (j == m_justification)
        return true;
    if (!allow(QelAnnotProp::Justification, j))
        return false;
    m_justification = j;
    changed();
    return true;
}

bool QelAnnotItem::setTextOrientation(int o)
{
    if (o < QelAnnotOrient::Normal || o > QelAnnotOrient::Up)
        raiseAnnotError(annotErr::BadValue, QStringLiteral("text orientation"));
    if (o == m_orientation)
        return true;
    if (!allow(QelAnnotProp::TextOrientation, o))
        return false;
    m_orientation = o;
    changed();
    return true;
}

bool QelAnnotItem::setUserStorage(const QString &key, const QVariant &value)
{
    if (!allow(QelAnnotProp::UserStorage, QVariantList{key, value}))
        return false;
    m_user.insert(key, value);
    changed();
    return true;
}

bool QelAnnotItem::setSelected(bool on)
{
    if (on == m_selected)
        return true;
    if (!allow(QelAnnotProp::Selected, on))
        return false;
    m_selected = on;
    if (m_doc)
        m_doc->notify(); // view state: not a change of the set
    return true;
}

[[noreturn]] static void noSuchProperty()
{
    raiseVbError(438, QStringLiteral("Object doesn't support this property or method"));
}

QVariant QelAnnotItem::value(int propertyId) const
{
    switch (propertyId) {
    case QelAnnotProp::Top: return m_bounds.top();
    case QelAnnotProp::Left: return m_bounds.left();
    case QelAnnotProp::Width: return m_bounds.width();
    case QelAnnotProp::Height: return m_bounds.height();
    case QelAnnotProp::Bounds: return m_bounds;
    case QelAnnotProp::Text: return m_text.text;
    case QelAnnotProp::LineColor: return qint64(m_lineColor);
    case QelAnnotProp::FillColor: return qint64(m_fillColor);
    case QelAnnotProp::LineWidth: return m_lineWidth;
    case QelAnnotProp::Type: return m_type;
    case QelAnnotProp::Justification: return m_justification;
    case QelAnnotProp::TextOrientation: return m_orientation;
    case QelAnnotProp::Selected: return m_selected;
    default: noSuchProperty();
    }
}

bool QelAnnotItem::setValue(int propertyId, const QVariant &value)
{
    auto toInt = [&]() {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (!ok || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
            raiseVbError(vbErr::TypeMismatch);
        return int(n);
    };
    const QRect b = m_bounds;
    switch (propertyId) {
    case QelAnnotProp::Top: return setBounds(QRect(b.left(), toInt(), b.width(), b.height()));
    case QelAnnotProp::Left: return setBounds(QRect(toInt(), b.top(), b.width(), b.height()));
    case QelAnnotProp::Width: return setBounds(QRect(b.left(), b.top(), toInt(), b.height()));
    case QelAnnotProp::Height: return setBounds(QRect(b.left(), b.top(), b.width(), toInt()));
    case QelAnnotProp::Bounds:
        if (value.typeId() != QMetaType::QRect)
            raiseVbError(vbErr::TypeMismatch);
        return setBounds(value.toRect());
    case QelAnnotProp::Text: return setText(value.toString());
    case QelAnnotProp::LineColor: return setLineColor(quint32(toInt()));
    case QelAnnotProp::FillColor: return setFillColor(quint32(toInt()));
    case QelAnnotProp::LineWidth: return setLineWidth(toInt());
    case QelAnnotProp::Justification: return setJustification(toInt());
    case QelAnnotProp::TextOrientation: return setTextOrientation(toInt());
    case QelAnnotProp::Selected: return setSelected(value.toBool());
    default: noSuchProperty();
    }
}

bool QelAnnotItem::resize(double dpiX, double dpiY)
{
    if (!(dpiX > 0.0) || !(dpiY > 0.0))
        raiseAnnotError(annotErr::BadValue, QStringLiteral("resolution"));
    // Drawn in image pixels with the font sized by the vertical resolution, so measured so too.
    const QSize s = QelTextMetrics::instance().measureBlock(m_text.text, m_text.font, dpiY);
    if (m_orientation == QelAnnotOrient::Down || m_orientation == QelAnnotOrient::Up)
        return setSize(s.height(), s.width()); // the baseline runs down the page
    return setSize(s.width(), s.height());
}

// One quarter turn clockwise of a rectangle on a page of the given size.
static QRect turnRect(const QRect &r, QSize page)
{
    return QRect(page.height() - r.top() - r.height(), r.left(), r.height(), r.width());
}

static void turnItem(QRect &bounds, int &orientation, bool isText, int turns, QSize page)
{
    for (int i = 0; i < turns; ++i) {
        bounds = turnRect(bounds, page);
        page = page.transposed();
    }
    if (isText)
        orientation = (orientation - 1 + turns) % 4 + 1;
}

bool QelAnnotItem::rotate(int quarterTurnsClockwise, QSize pageSizeBefore)
{
    const int turns = ((quarterTurnsClockwise % 4) + 4) % 4;
    if (!allow(QelAnnotProp::Rotate,
               QVariantList{turns, pageSizeBefore.width(), pageSizeBefore.height()}))
        return false;
    if (turns == 0)
        return true;
    turnItem(m_bounds, m_orientation, m_type == QelAnnotType::Text, turns, pageSizeBefore);
    changed();
    return true;
}

void QelAnnotDocument::rotateQuarterTurns(int turnsClockwise, QSize pageSizeBefore)
{
    const int turns = ((turnsClockwise % 4) + 4) % 4;
    if (turns == 0)
        return;
    for (auto &it : m_items)
        turnItem(it->m_bounds, it->m_orientation, it->m_type == QelAnnotType::Text, turns,
                 pageSizeBefore);
    if (turns % 2 == 1) {
        m_pageSize = pageSizeBefore.transposed();
        std::swap(m_dpiX, m_dpiY);
    } else {
        m_pageSize = pageSizeBefore;
    }
    if (!m_items.empty())
        m_modified = true;
    notify();
}

QelAnnotTextItem::QelAnnotTextItem() : QelAnnotItem(QelAnnotType::Text)
{
    m_lineColor = 0x000000;
    m_fillColor = 0xFFFFFF;
}
