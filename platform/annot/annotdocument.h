#pragma once
// Annotation documents (one per page) and their items, the security callback that guards every
// edit, the text-metrics object and the annotation tools.
//
// Coordinates are image pixels of the page, rectangles positioned by their top-left corner.
// Colours are 0x00BBGGRR.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QFont;
class QelAnnotDocument;

// Annotation types used by the workstation.
namespace QelAnnotType {
constexpr int Text = 2;      // text item
constexpr int Redaction = 7; // opaque filled rectangle; burned in so the covered pixels are gone
constexpr int Rectangle = 11; // filled rectangle (the blank under a text), optional border
}

// Item property ids, as the security handler sees them in SetItemProperty.
namespace QelAnnotProp {
constexpr int Top = 1;
constexpr int Bounds = 3; // value: QRect
constexpr int Width = 7;
constexpr int Height = 8;
constexpr int Left = 9;
constexpr int Text = 11;
constexpr int LineColor = 12;
constexpr int FillColor = 14;
constexpr int LineWidth = 15;
constexpr int Type = 18; // read only
constexpr int Font = 20;          // value: QVariantList{name, pointSize, bold, italic}
constexpr int Justification = 21;
constexpr int TextOrientation = 22;
constexpr int UserStorage = 30;   // value: QVariantList{key, value}
constexpr int Selected = 70;      // value: bool; selection is view state, never saved
constexpr int Rotate = 110;       // value: QVariantList{quarter turns clockwise, page w, page h}
}

// Document property ids, as the security handler sees them in SetDocProperty.
namespace QelAnnotDocProp {
constexpr int Named = 1; // value: QVariantList{name, value}
}

// Names starting with this prefix are permission properties: setting them never counts as a
// change and they are never written by toBytes().
inline constexpr const char *QelAnnotPermPrefix = "QelToolsPerms1_";

// Text justification within the item's bounds.
namespace QelAnnotJustify {
constexpr int Left = 0;
constexpr int Right = 1;
constexpr int Center = 2;
}

// Text orientation: the direction the baseline runs, turned clockwise.
namespace QelAnnotOrient {
constexpr int Normal = 1;  // left to right
constexpr int Down = 2;    // turned 90 degrees clockwise (top to bottom)
constexpr int Inverted = 3; // turned 180 degrees
constexpr int Up = 4;      // turned 270 degrees clockwise (bottom to top)
}

struct QelAnnotFont {
    QString name = QStringLiteral("Arial");
    double pointSize = 12.0;
    bool bold = false;
    bool italic = false;

    bool operator==(const QelAnnotFont &) const = default;
    // A QFont of the face that stands in for `name` (Arial -> Liberation Sans, Courier New ->
    // Liberation Mono, Times New Roman -> Liberation Serif), `pixelSize` pixels high.
    QFont toQFont(double pixelSize) const;
};

// The text data of an item: text (lines split at CR LF or LF) and font.
struct QelAnnotTextData {
    QString text;
    QelAnnotFont font;
    bool operator==(const QelAnnotTextData &) const = default;
};

// Measures text in pixels, at a fixed 96 dpi unless told otherwise. One process-wide object,
// replaceable in tests.
class QelTextMetrics {
public:
    static constexpr double Dpi = 96.0;
    virtual ~QelTextMetrics() = default;
    // Width and height of one line in pixels (height is the font's line height), with the font
    // at points * dpi / 72 pixels as the items are drawn.
    virtual QSize measureLine(const QString &line, const QelAnnotFont &font, double dpi = Dpi) const;
    // Widest line and summed line heights of a block split at CR LF or LF (a closing line break
    // adds no line); empty text is 0 x 0.
    QSize measureBlock(const QString &text, const QelAnnotFont &font, double dpi = Dpi) const;

    static const QelTextMetrics &instance();
    // Replaces the process-wide object (not owned); nullptr restores the built-in one.
    static void setInstance(const QelTextMetrics *metrics);
};

// One annotation. While it belongs to a document every change goes through that document's
// security handler: a refused change is a no-op and the setter returns false.
class QelAnnotItem {
public:
    explicit QelAnnotItem(int type);
    virtual ~QelAnnotItem();
    QelAnnotItem(const QelAnnotItem &) = delete;
    QelAnnotItem &operator=(const QelAnnotItem &) = delete;

    // A detached copy of every field (selection excluded).
    std::unique_ptr<QelAnnotItem> clone() const;

    int type() const { return m_type; }
    QelAnnotDocument *document() const { return m_doc; }

    QRect bounds() const { return m_bounds; }
    bool setBounds(const QRect &r);
    bool moveTo(int left, int top); // positioning by the top-left corner
    bool setSize(int width, int height);

    quint32 lineColor() const { return m_lineColor; }
    bool setLineColor(quint32 bgr);
    quint32 fillColor() const { return m_fillColor; }
    bool setFillColor(quint32 bgr);
    int lineWidth() const { return m_lineWidth; }
    bool setLineWidth(int px);

    const QelAnnotTextData &textData() const { return m_text; }
    QString text() const { return m_text.text; }
    bool setText(const QString &text);
    QelAnnotFont font() const { return m_text.font; }
    bool setFont(const QelAnnotFont &font);
    int justification() const { return m_justification; }
    bool setJustification(int j);
    int textOrientation() const { return m_orientation; }
    bool setTextOrientation(int o);

    // User storage: typed values by key.
    QVariant userStorage(const QString &key) const { return m_user.value(key); }
    bool setUserStorage(const QString &key, const QVariant &value);
    const QMap<QString, QVariant> &userStorageAll() const { return m_user; }

    // The same fields by property id (QelAnnotProp: Top, Left, Width, Height, Text, LineColor,
    // FillColor, LineWidth, Type (read only), Justification, TextOrientation, Bounds, Selected).
    // Raises VbError 438 for another id and 13 for a value of the wrong kind.
    QVariant value(int propertyId) const;
    bool setValue(int propertyId, const QVariant &value);

    bool isSelected() const { return m_selected; }
    bool setSelected(bool on);

    // Sizes the bounds to fit the text as drawn on a page of the given resolution (the font is
    // points * dpiY / 72 pixels high), measured through the text-metrics object; the top-left
    // corner stays.
    bool resize(double dpiX, double dpiY);

    // Turns the item with its page by quarter turns clockwise (page size before the turn).
    bool rotate(int quarterTurnsClockwise, QSize pageSizeBefore);

protected:
    friend class QelAnnotDocument;
    bool allow(int propertyId, const QVariant &value);
    void changed();

    int m_type;
    QRect m_bounds;
    quint32 m_lineColor = 0x000000;
    quint32 m_fillColor = 0x000000;
    int m_lineWidth = 0;
    QelAnnotTextData m_text;
    int m_justification = QelAnnotJustify::Left;
    int m_orientation = QelAnnotOrient::Normal;
    QMap<QString, QVariant> m_user;
    bool m_selected = false;
    QelAnnotDocument *m_doc = nullptr;
};

// The text-annotation class: a type 2 item with black text and a transparent background.
class QelAnnotTextItem : public QelAnnotItem {
public:
    QelAnnotTextItem();
};

// The security interface the program implements and the document calls before every edit.
// Each operation answers through `allowed` (preset to true).
class IQelAnnotSecurity {
public:
    virtual ~IQelAnnotSecurity() = default;
    virtual void AddItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed) = 0;
    virtual void TriggerItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed) = 0;
    virtual void RemoveItem(QelAnnotDocument *doc, QelAnnotItem *item, bool &allowed) = 0;
    virtual void SetDocProperty(QelAnnotDocument *doc, int propertyId, const QVariant &value,
                                bool &allowed) = 0;
    virtual void SetItemProperty(QelAnnotDocument *doc, QelAnnotItem *item, int propertyId,
                                 const QVariant &value, bool &allowed) = 0;
};

// The annotation set of one page.
class QelAnnotDocument {
public:
    QelAnnotDocument();
    ~QelAnnotDocument();
    QelAnnotDocument(const QelAnnotDocument &) = delete;
    QelAnnotDocument &operator=(const QelAnnotDocument &) = delete;

    // Page geometry the items are drawn against (not a change).
    QSize pageSize() const { return m_pageSize; }
    double dpiX() const { return m_dpiX; }
    double dpiY() const { return m_dpiY; }
    void setPageInfo(QSize sizePx, double dpiX, double dpiY);

    // Named properties. An absent property reads as an invalid QVariant.
    QVariant property(const QString &name) const { return m_props.value(name); }
    bool setProperty(const QString &name, const QVariant &value);
    const QMap<QString, QVariant> &properties() const { return m_props; }

    // Security handler. setSecurity borrows (the caller keeps it alive longer than its use);
    // adoptSecurity makes the document own it. Either replaces (and frees an owned) previous one.
    // Without a handler every edit is allowed.
    void setSecurity(IQelAnnotSecurity *handler);
    void adoptSecurity(std::unique_ptr<IQelAnnotSecurity> handler);
    IQelAnnotSecurity *security() const { return m_security; }

    // Items in z-order, bottom first.
    int count() const { return int(m_items.size()); }
    QelAnnotItem *item(int index) const; // raises VbError 9 out of range
    int indexOf(const QelAnnotItem *item) const;
    // Adds on top; returns false (and drops the item) when the handler refuses.
    bool add(std::unique_ptr<QelAnnotItem> item);
    // Returns false when the handler refuses (or the item is not in this set); raises VbError 9
    // for an index out of range.
    bool remove(int index);
    bool remove(QelAnnotItem *item);
    // Asks the handler whether the item may be triggered (activated).
    bool trigger(QelAnnotItem *item);
    // Topmost item whose bounds hold the point, or nullptr.
    QelAnnotItem *itemAt(QPoint imagePos) const;
    // Closes the set: removes every item and property without asking the handler and leaves it
    // unmodified; the handler stays installed.
    void clear();

    // Changed since loaded or last marked saved. Code that rewrites permissions or reloads sets
    // reads this before and hands it back after.
    bool isModified() const { return m_modified; }
    void setModified(bool on) { m_modified = on; }

    // Called after every change (items, properties, selection).
    int addChangeListener(std::function<void()> fn);
    void removeChangeListener(int id);

    // Versioned UTF-8 JSON. fromBytes raises VbError on malformed or oversized input.
    QByteArray toBytes() const;
    static std::unique_ptr<QelAnnotDocument> fromBytes(const QByteArray &bytes);
    // Loads an annotation set on top of the items present (each add through the handler);
    // returns the number of items added. Raises VbError on malformed input.
    int appendFromBytes(const QByteArray &bytes);

    // Draws the items onto a widget; imageToWidget maps image pixels to the painter.
    void paint(QPainter &painter, const QTransform &imageToWidget) const;
    // Burns every item into the page pixels, text at the document's resolution. Only pixels
    // inside an item's bounds change. Bilevel and palette pages keep their format and palette.
    // Boxes (every item but text) are drawn in boxColour of their colours when it is given.
    using BoxColour = std::function<QRgb(QRgb)>;
    void burnInto(QImage &page, const BoxColour &boxColour = {}) const;

    // Turns every item with the page (no handler asked: it is a page operation).
    void rotateQuarterTurns(int turnsClockwise, QSize pageSizeBefore);

private:
    friend class QelAnnotItem;
    bool ask(const std::function<void(IQelAnnotSecurity &, bool &)> &q) const;
    void notify();

    QSize m_pageSize{0, 0};
    double m_dpiX = 200.0;
    double m_dpiY = 200.0;
    QMap<QString, QVariant> m_props;
    std::vector<std::unique_ptr<QelAnnotItem>> m_items;
    IQelAnnotSecurity *m_security = nullptr;
    std::unique_ptr<IQelAnnotSecurity> m_ownedSecurity;
    bool m_modified = false;
    int m_nextListener = 1;
    std::vector<std::pair<int, std::function<void()>>> m_listeners;
};

// The annotation tool of a view: with no template the view selects; with a template it draws
// items copied from it. Templates by type are shared process-wide (the redaction colour is set
// on the type 7 template).
class QelAnnotTools {
public:
    static QelAnnotItem &defaultTemplate(int type);

    const QelAnnotItem *itemTemplate() const { return m_template; }
    void setItemTemplate(const QelAnnotItem *tmpl) { m_template = tmpl; } // nullptr: select
    bool sticky() const { return m_sticky; }
    void setSticky(bool on) { m_sticky = on; }

    // Draws a new item from the template over `bounds` (through the handler). Without sticky
    // mode the tool returns to selecting afterwards. Returns the item added or nullptr.
    QelAnnotItem *draw(QelAnnotDocument &doc, const QRect &bounds);
    // Selects the item (clearing other selections unless `add`); nullptr clears all.
    bool select(QelAnnotDocument &doc, QelAnnotItem *item, bool add = false);
    // Removes the selected items (each through the handler); returns how many went.
    int deleteSelected(QelAnnotDocument &doc);

private:
    const QelAnnotItem *m_template = nullptr;
    bool m_sticky = false;
};
