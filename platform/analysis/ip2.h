#pragma once
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QRect>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

// Image analysis: page images with results, filters, the filter chain that runs them in order,
// and the chain's settings text. Pages are Format_Mono (ink is the darker colour-table entry),
// Grayscale8 or RGB888; measures are texts with a unit ("1/30in", "2.5mm", "0.3cm", "12pt",
// "40px") turned into pixels with the page's resolution (200 dpi when it has none).

namespace ip2Err {
constexpr int InvalidPropertyValue = 380;
constexpr int InvalidFilterSettings = 30201; // "Invalid filter settings"
}

// One results item: a name and a value.
class IP2Result {
public:
    IP2Result() = default;
    IP2Result(QString name, QVariant value) : m_name(std::move(name)), m_value(std::move(value)) {}
    QString name() const { return m_name; }
    QVariant value() const { return m_value; }

private:
    QString m_name;
    QVariant m_value;
};

// The value of a "Barcode" result: decoded text and bounding box in page pixels.
class IP2Barcode {
public:
    IP2Barcode() = default;
    IP2Barcode(QString text, int left, int top, int width, int height, int orientation, QString format)
        : m_text(std::move(text)), m_left(left), m_top(top), m_width(width), m_height(height),
          m_orientation(orientation), m_format(std::move(format)) {}
    QString text() const { return m_text; }
    int left() const { return m_left; }
    int top() const { return m_top; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int orientation() const { return m_orientation; } // degrees, counter-clockwise turn of the symbol
    QString format() const { return m_format; }

private:
    QString m_text;
    int m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    int m_orientation = 0;
    QString m_format;
};

// Results collection of a processed page image; items count from 1.
class IP2Results {
public:
    int count() const { return int(m_items.size()); }
    const IP2Result &item(int index) const; // raises 9 outside 1..count
    void add(const QString &name, const QVariant &value) { m_items.append(IP2Result(name, value)); }

private:
    QList<IP2Result> m_items;
};

// A page image with the results the filters left on it. The filters read the page they were
// given until one of them changes a pixel: the page is copied then, once, into a buffer of an
// earlier page. Whitening all outside a rectangle is only noted until the page is changed or
// read whole, so that a filter reading part of the page never needs a copy.
class IP2Image {
public:
    IP2Image() = default;
    explicit IP2Image(QImage image) : m_image(std::move(image)), m_kept(m_image.rect()) {}
    // The page, with the noted whitening done.
    const QImage &image() const;
    // The page to change, with the noted whitening done: a copy when the page is shared.
    QImage &pixels();
    // The page's pixels inside `kept()`; all outside it reads as white.
    const QImage &inside() const { return m_image; }
    QRect kept() const { return m_kept; }
    // Notes that all outside r is white (all of the page when r is empty or turned inside out).
    void keepOnly(const QRect &r) { m_kept = r.isEmpty() ? QRect() : m_kept & r; }
    const IP2Results &results() const { return m_results; }
    IP2Results &results() { return m_results; }

private:
    void settle() const;

    mutable QImage m_image;
    mutable QRect m_kept;
    IP2Results m_results;
};

// Measure text to pixels at the given resolution; raises InvalidPropertyValue for bad text.
int ip2MeasureToPixels(const QString &measure, double dpi);
// Raises InvalidPropertyValue when the text is not a measure.
void ip2CheckMeasure(const QString &measure);

// A rectangle of the page: left, width, top and height as measures (measures 1 to 4).
class IP2Zone {
public:
    QString measure(int index) const;                       // index 1..4
    void setMeasure(int index, const QString &measure);     // raises for a bad index or text
    bool isSet() const;
    // The zone in pixels of this page, clipped to it; the whole page when no measure is set.
    QRect rect(const QImage &page) const;

private:
    QString m_measures[4];
};

class IP2Filter {
public:
    virtual ~IP2Filter() = default;
    virtual QString className() const = 0;
    virtual QStringList arguments() const { return {}; }
    virtual void apply(IP2Image &page) const = 0;
};

// Removes isolated ink pixels (no ink among the eight neighbours).
class IP2PrefilterA : public IP2Filter {
public:
    QString className() const override { return QStringLiteral("IP2PrefilterA"); }
    void apply(IP2Image &page) const override;
};

// Removes scanner edge shadows and copier borders: ink connected to the page's outer edge, no
// deeper than half an inch from it; writing that stands out of them or touches a clean edge
// stays. On grey and colour pages ink is what is an eighth darker than the page's paper.
class IP2PrefilterB : public IP2Filter {
public:
    QString className() const override { return QStringLiteral("IP2PrefilterB"); }
    void apply(IP2Image &page) const override;
};

// Whitens the page's margins: the first measure at the left and right, the second at the top and
// bottom, the third as a further band along the bottom. With a zone it whitens all outside it.
class IP2MarginFilter : public IP2Filter {
public:
    IP2MarginFilter();
    QString className() const override { return QStringLiteral("IP2MarginFilter"); }
    QStringList arguments() const override;
    void apply(IP2Image &page) const override;
    QString firstMeasure() const { return m_first; }
    QString secondMeasure() const { return m_second; }
    QString thirdMeasure() const { return m_third; }
    void setFirstMeasure(const QString &measure);
    void setSecondMeasure(const QString &measure);
    void setThirdMeasure(const QString &measure);
    void setZone(const IP2Zone &zone) { m_zone = zone; }
    const IP2Zone &zone() const { return m_zone; }

private:
    QString m_first, m_second, m_third;
    IP2Zone m_zone;
};

// Adds the result "Blank" (1 blank, 0 not). A page is blank when it carries nothing written,
// printed or stamped: marks are measured against the paper around them (on colour pages in any
// channel), by size, darkness and shape. Punched holes, staples, creases, streaks, copier
// borders, dust and show-through are told by their shape first and their place second; a glyph
// is never taken for one. Faint marks that line up as text count. What cannot be told apart
// counts as writing. A mark the kept area's edge cuts is judged whole, as the filters before
// left it. Sensitivity 0..9 (clamped): the higher it is, the more pages are blank.
class IP2BlankDetector : public IP2Filter {
public:
    QString className() const override { return QStringLiteral("IP2BlankDetector"); }
    QStringList arguments() const override { return {QString::number(m_sensitivity)}; }
    void apply(IP2Image &page) const override;
    int sensitivity() const { return m_sensitivity; }
    void setSensitivity(int sensitivity) { m_sensitivity = sensitivity; }

private:
    int m_sensitivity = 3;
};

// Removes isolated ink pixels inside the zone (whole page without one) before reading.
class IP2BarcodePrefilter : public IP2Filter {
public:
    QString className() const override { return QStringLiteral("IP2BarcodePrefilter"); }
    QStringList arguments() const override;
    void apply(IP2Image &page) const override;
    void setZone(const IP2Zone &zone) { m_zone = zone; }
    const IP2Zone &zone() const { return m_zone; }

private:
    IP2Zone m_zone;
};

// Reads the linear barcodes cover sheets carry (Code 128, Code 39, Interleaved 2 of 5, Codabar)
// inside the zone, upright or turned; one "Barcode" result each, in reading order. A 14-digit
// Interleaved 2 of 5 text that starts with the padding 0 gives its 13 digits.
class IP2BarcodeReader : public IP2Filter {
public:
    QString className() const override { return QStringLiteral("IP2BarcodeReader"); }
    QStringList arguments() const override;
    void apply(IP2Image &page) const override;
    void setZone(const IP2Zone &zone) { m_zone = zone; }
    const IP2Zone &zone() const { return m_zone; }

private:
    IP2Zone m_zone;
};

// An ordered chain of filters; positions count from 1.
class FilterChain {
public:
    int count() const { return int(m_filters.size()); }
    // Inserts at 1..count+1; raises InvalidPropertyValue for any other position or no filter.
    void add(std::shared_ptr<IP2Filter> filter, int position);
    const IP2Filter &item(int position) const; // raises 9 outside 1..count
    void remove(int position);                 // raises 9 outside 1..count
    // Runs every filter in order over the page; the page they give carries the results.
    IP2Image apply(const IP2Image &page) const;
    IP2Image apply(const QImage &page) const { return apply(IP2Image(page)); }

    // "Name" or "Name(arg;arg)" per filter, joined by "|"; the empty text for an empty chain.
    QString settingsText() const;
    // Replaces the chain with the one the text describes. Raises InvalidFilterSettings for text
    // it cannot read, leaving the chain as it was.
    void loadFromText(const QString &text);

private:
    std::vector<std::shared_ptr<IP2Filter>> m_filters;
};

Q_DECLARE_METATYPE(IP2Barcode)
