#include "platform/analysis/ip2.h"

#include "platform/vb/vberror.h"

#include <QRegularExpression>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

[[noreturn]] void badValue()
{
    throw VbError(ip2Err::InvalidPropertyValue, QStringLiteral("Invalid property value"));
}

double dpiOf(int dotsPerMeter)
{
    double dpi = dotsPerMeter * 0.0254;
    return dpi < 1 ? 200.0 : dpi;
}
double xDpi(const QImage &img) { return dpiOf(img.dotsPerMeterX()); }
double yDpi(const QImage &img) { return dpiOf(img.dotsPerMeterY()); }

bool isMono(const QImage &img) { return img.format() == QImage::Format_Mono; }

// True when bit value 1 is ink (the darker colour-table entry).
bool monoInkIsOne(const QImage &img)
{
    if (img.colorCount() < 2)
        return true;
    return qGray(img.color(1)) < qGray(img.color(0));
}

inline int luma(const uchar *p) { return (p[0] * 11 + p[1] * 16 + p[2] * 5) >> 5; }

// Ink bits of one bilevel row (1 = ink), with one zero byte of padding at each end.
void loadMonoRow(const QImage &img, int y, bool inkIsOne, std::vector<uint8_t> &row)
{
    const int bytes = (img.width() + 7) / 8;
    std::fill(row.begin(), row.end(), 0);
    if (y < 0 || y >= img.height())
        return;
    const uchar *line = img.constScanLine(y);
    for (int i = 0; i < bytes; ++i)
        row[i + 1] = inkIsOne ? line[i] : uint8_t(~line[i]);
    if (int tail = img.width() % 8)
        row[bytes] &= uint8_t(0xFF << (8 - tail));
}

// Dark-pixel mask of one grey or colour row, padded like loadMonoRow's.
void loadLumaRow(const QImage &img, int y, std::vector<uint8_t> &row)
{
    std::fill(row.begin(), row.end(), 0);
    if (y < 0 || y >= img.height())
        return;
    const uchar *line = img.constScanLine(y);
    const int w = img.width();
    if (img.format() == QImage::Format_Grayscale8) {
        for (int x = 0; x < w; ++x)
            row[x + 1] = line[x] < 128;
    } else {
        for (int x = 0; x < w; ++x)
            row[x + 1] = luma(line + 3 * x) < 128;
    }
}

// Bits of byte i that lie in columns [x0, x1).
uint8_t columnMask(int i, int x0, int x1)
{
    uint8_t m = 0xFF;
    if (i * 8 < x0)
        m &= uint8_t(0xFF >> (x0 - i * 8));
    if ((i + 1) * 8 > x1)
        m &= uint8_t(0xFF << ((i + 1) * 8 - x1));
    return m;
}

inline uint8_t sideNeighbours(const std::vector<uint8_t> &v, int i)
{
    // v is padded: byte i of the row is v[i + 1].
    return uint8_t((v[i + 1] >> 1) | (v[i] << 7) | (v[i + 1] << 1) | (v[i + 2] >> 7));
}

// Clears ink pixels inside r that have no ink among their eight neighbours. Clearing an isolated
// pixel never makes another one isolated, so the rows can be changed in place.
void despeckle(QImage &img, const QRect &r)
{
    if (r.isEmpty())
        return;
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        const size_t padded = (img.width() + 7) / 8 + 2;
        std::vector<uint8_t> up(padded), cur(padded), down(padded);
        loadMonoRow(img, r.top() - 1, one, up);
        loadMonoRow(img, r.top(), one, cur);
        const int x0 = r.left(), x1 = r.right() + 1;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            loadMonoRow(img, y + 1, one, down);
            uchar *line = nullptr;
            for (int i = x0 / 8; i <= (x1 - 1) / 8; ++i) {
                const uint8_t c = cur[i + 1];
                if (!c)
                    continue;
                const uint8_t n = up[i + 1] | down[i + 1] | sideNeighbours(up, i)
                    | sideNeighbours(down, i) | sideNeighbours(cur, i);
                const uint8_t lone = c & uint8_t(~n) & columnMask(i, x0, x1);
                if (!lone)
                    continue;
                if (!line)
                    line = img.scanLine(y);
                line[i] = one ? uint8_t(line[i] & ~lone) : uint8_t(line[i] | lone);
            }
            std::swap(up, cur);
            std::swap(cur, down);
        }
        return;
    }
    const size_t padded = img.width() + 2;
    std::vector<uint8_t> up(padded), cur(padded), down(padded);
    loadLumaRow(img, r.top() - 1, up);
    loadLumaRow(img, r.top(), cur);
    const int bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        loadLumaRow(img, y + 1, down);
        for (int x = r.left(); x <= r.right(); ++x) {
            if (!cur[x + 1])
                continue;
            if (up[x] | up[x + 1] | up[x + 2] | cur[x] | cur[x + 2] | down[x] | down[x + 1] | down[x + 2])
                continue;
            std::memset(img.scanLine(y) + x * bpp, 255, bpp);
        }
        std::swap(up, cur);
        std::swap(cur, down);
    }
}

bool inkAt(const QImage &img, int x, int y, bool inkIsOne)
{
    const uchar *line = img.constScanLine(y);
    switch (img.format()) {
    case QImage::Format_Mono:
        return bool((line[x >> 3] >> (7 - (x & 7))) & 1) == inkIsOne;
    case QImage::Format_Grayscale8:
        return line[x] < 128;
    default:
        return luma(line + 3 * x) < 128;
    }
}

void whiten(QImage &img, int x, int y, bool inkIsOne)
{
    uchar *line = img.scanLine(y);
    switch (img.format()) {
    case QImage::Format_Mono: {
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        line[x >> 3] = inkIsOne ? uint8_t(line[x >> 3] & ~bit) : uint8_t(line[x >> 3] | bit);
        break;
    }
    case QImage::Format_Grayscale8:
        line[x] = 255;
        break;
    default:
        std::memset(line + 3 * x, 255, 3);
    }
}

// Fills r (clipped to the page) with white.
void fillWhite(QImage &img, QRect r)
{
    r = r.intersected(img.rect());
    if (r.isEmpty())
        return;
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        const int x0 = r.left(), x1 = r.right() + 1;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            uchar *line = img.scanLine(y);
            for (int i = x0 / 8; i <= (x1 - 1) / 8; ++i) {
                const uint8_t m = columnMask(i, x0, x1);
                line[i] = one ? uint8_t(line[i] & ~m) : uint8_t(line[i] | m);
            }
        }
        return;
    }
    const int bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3;
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memset(img.scanLine(y) + r.left() * bpp, 255, size_t(r.width()) * bpp);
}

qint64 countInk(const QImage &img)
{
    qint64 n = 0;
    const int w = img.width();
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        const int bytes = (w + 7) / 8;
        const uint8_t tailMask = w % 8 ? uint8_t(0xFF << (8 - w % 8)) : 0xFF;
        for (int y = 0; y < img.height(); ++y) {
            const uchar *line = img.constScanLine(y);
            for (int i = 0; i < bytes; ++i) {
                uint8_t b = one ? line[i] : uint8_t(~line[i]);
                if (i == bytes - 1)
                    b &= tailMask;
                n += std::popcount(b);
            }
        }
        return n;
    }
    for (int y = 0; y < img.height(); ++y) {
        const uchar *line = img.constScanLine(y);
        if (img.format() == QImage::Format_Grayscale8) {
            for (int x = 0; x < w; ++x)
                n += line[x] < 128;
        } else {
            for (int x = 0; x < w; ++x)
                n += luma(line + 3 * x) < 128;
        }
    }
    return n;
}

// The three pixel kinds the filters work on; anything else is converted once.
QImage normalised(const QImage &img)
{
    switch (img.format()) {
    case QImage::Format_Mono:
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB888:
    case QImage::Format_Invalid:
        return img;
    case QImage::Format_MonoLSB:
        return img.convertToFormat(QImage::Format_Mono);
    case QImage::Format_Indexed8:
        return img.allGray() ? img.convertToFormat(QImage::Format_Grayscale8)
                             : img.convertToFormat(QImage::Format_RGB888);
    default:
        return img.convertToFormat(QImage::Format_RGB888);
    }
}

QStringList zoneArguments(const IP2Zone &zone)
{
    if (!zone.isSet())
        return {};
    return {zone.measure(1), zone.measure(2), zone.measure(3), zone.measure(4)};
}

} // namespace

// ---- measures and zone -------------------------------------------------------------------------

namespace {
bool parseMeasure(const QString &text, double &value, QString &unit)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)(?:\\s*/\\s*(\\d+(?:\\.\\d+)?))?\\s*(in|mm|cm|pt|px)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    value = m.captured(1).toDouble();
    if (m.hasCaptured(2)) {
        const double d = m.captured(2).toDouble();
        if (d == 0)
            return false;
        value /= d;
    }
    unit = m.captured(3).toLower();
    return value < 1e6;
}
} // namespace

void ip2CheckMeasure(const QString &measure)
{
    double v;
    QString u;
    if (!parseMeasure(measure, v, u))
        badValue();
}

int ip2MeasureToPixels(const QString &measure, double dpi)
{
    double v;
    QString unit;
    if (!parseMeasure(measure, v, unit))
        badValue();
    double px = v;
    if (unit == u"in")
        px = v * dpi;
    else if (unit == u"mm")
        px = v * dpi / 25.4;
    else if (unit == u"cm")
        px = v * dpi / 2.54;
    else if (unit == u"pt")
        px = v * dpi / 72.0;
    // Far beyond any page, and small enough that rectangle arithmetic cannot overflow.
    return int(std::lround(std::min(px, double(1 << 28))));
}

QString IP2Zone::measure(int index) const
{
    if (index < 1 || index > 4)
        raiseVbError(vbErr::SubscriptOutOfRange);
    return m_measures[index - 1];
}

void IP2Zone::setMeasure(int index, const QString &measure)
{
    if (index < 1 || index > 4)
        raiseVbError(vbErr::SubscriptOutOfRange);
    ip2CheckMeasure(measure);
    m_measures[index - 1] = measure;
}

bool IP2Zone::isSet() const
{
    return std::any_of(std::begin(m_measures), std::end(m_measures), [](const QString &m) { return !m.isEmpty(); });
}

QRect IP2Zone::rect(const QImage &page) const
{
    if (!isSet())
        return page.rect();
    const double dx = xDpi(page), dy = yDpi(page);
    const int left = m_measures[0].isEmpty() ? 0 : ip2MeasureToPixels(m_measures[0], dx);
    const int width = m_measures[1].isEmpty() ? page.width() : ip2MeasureToPixels(m_measures[1], dx);
    const int top = m_measures[2].isEmpty() ? 0 : ip2MeasureToPixels(m_measures[2], dy);
    const int height = m_measures[3].isEmpty() ? page.height() : ip2MeasureToPixels(m_measures[3], dy);
    return QRect(left, top, width, height).intersected(page.rect());
}

// ---- results -----------------------------------------------------------------------------------

const IP2Result &IP2Results::item(int index) const
{
    if (index < 1 || index > count())
        raiseVbError(vbErr::SubscriptOutOfRange);
    return m_items[index - 1];
}

// ---- filters -----------------------------------------------------------------------------------

void IP2PrefilterA::apply(IP2Image &page) const
{
    despeckle(page.pixels(), page.image().rect());
}

void IP2PrefilterB::apply(IP2Image &page) const
{
    QImage &img = page.pixels();
    if (img.isNull())
        return;
    const int w = img.width(), h = img.height();
    // Shadows are thin: runs are followed no deeper than half an inch, so a page that is all ink
    // keeps its middle.
    const int depthX = std::min(w, int(xDpi(img) / 2)), depthY = std::min(h, int(yDpi(img) / 2));
    const bool one = isMono(img) && monoInkIsOne(img);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < depthX && inkAt(img, x, y, one); ++x)
            whiten(img, x, y, one);
        for (int x = w - 1; x >= w - depthX && inkAt(img, x, y, one); --x)
            whiten(img, x, y, one);
    }
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < depthY && inkAt(img, x, y, one); ++y)
            whiten(img, x, y, one);
        for (int y = h - 1; y >= h - depthY && inkAt(img, x, y, one); --y)
            whiten(img, x, y, one);
    }
}

IP2MarginFilter::IP2MarginFilter()
    : m_first(QStringLiteral("0in")), m_second(QStringLiteral("0in")), m_third(QStringLiteral("0in"))
{
}

void IP2MarginFilter::setFirstMeasure(const QString &measure)
{
    ip2CheckMeasure(measure);
    m_first = measure;
}
void IP2MarginFilter::setSecondMeasure(const QString &measure)
{
    ip2CheckMeasure(measure);
    m_second = measure;
}
void IP2MarginFilter::setThirdMeasure(const QString &measure)
{
    ip2CheckMeasure(measure);
    m_third = measure;
}

QStringList IP2MarginFilter::arguments() const
{
    return QStringList{m_first, m_second, m_third} + zoneArguments(m_zone);
}

void IP2MarginFilter::apply(IP2Image &page) const
{
    QImage &img = page.pixels();
    if (img.isNull())
        return;
    const int w = img.width(), h = img.height();
    if (m_zone.isSet()) {
        const QRect z = m_zone.rect(img);
        if (z.isEmpty()) {
            fillWhite(img, img.rect());
            return;
        }
        fillWhite(img, QRect(0, 0, w, z.top()));
        fillWhite(img, QRect(0, z.bottom() + 1, w, h - z.bottom() - 1));
        fillWhite(img, QRect(0, z.top(), z.left(), z.height()));
        fillWhite(img, QRect(z.right() + 1, z.top(), w - z.right() - 1, z.height()));
    }
    const int side = ip2MeasureToPixels(m_first, xDpi(img));
    const int edge = ip2MeasureToPixels(m_second, yDpi(img));
    const int bottom = ip2MeasureToPixels(m_third, yDpi(img));
    fillWhite(img, QRect(0, 0, side, h));
    fillWhite(img, QRect(w - side, 0, side, h));
    fillWhite(img, QRect(0, 0, w, edge));
    fillWhite(img, QRect(0, h - edge - bottom, w, edge + bottom));
}

double IP2BlankDetector::blankInkArea(int sensitivity)
{
    const int s = std::clamp(sensitivity, 1, 5);
    return 0.04 / double(1 << (s - 1));
}

void IP2BlankDetector::apply(IP2Image &page) const
{
    const QImage &img = page.image();
    if (img.isNull())
        return;
    const double limit = blankInkArea(m_sensitivity) * xDpi(img) * yDpi(img);
    page.results().add(QStringLiteral("Blank"), countInk(img) <= limit ? 1 : 0);
}

QStringList IP2BarcodePrefilter::arguments() const { return zoneArguments(m_zone); }

void IP2BarcodePrefilter::apply(IP2Image &page) const
{
    if (page.image().isNull())
        return;
    despeckle(page.pixels(), m_zone.rect(page.image()));
}

QStringList IP2BarcodeReader::arguments() const { return zoneArguments(m_zone); }

void IP2BarcodeReader::apply(IP2Image &page) const
{
    const QImage &img = page.image();
    if (img.isNull())
        return;
    const QRect z = m_zone.rect(img);
    if (z.isEmpty())
        return;
    std::vector<uint8_t> grey;
    ZXing::ImageView view(nullptr, 0, 0, ZXing::ImageFormat::Lum);
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        grey.resize(size_t(z.width()) * z.height());
        for (int y = 0; y < z.height(); ++y) {
            const uchar *line = img.constScanLine(z.top() + y);
            uint8_t *out = grey.data() + size_t(y) * z.width();
            for (int x = 0; x < z.width(); ++x) {
                const int sx = z.left() + x;
                const bool bit = (line[sx >> 3] >> (7 - (sx & 7))) & 1;
                out[x] = bit == one ? 0 : 255;
            }
        }
        view = ZXing::ImageView(grey.data(), z.width(), z.height(), ZXing::ImageFormat::Lum);
    } else if (img.format() == QImage::Format_Grayscale8) {
        view = ZXing::ImageView(img.constScanLine(z.top()) + z.left(), z.width(), z.height(),
                                ZXing::ImageFormat::Lum, int(img.bytesPerLine()));
    } else {
        view = ZXing::ImageView(img.constScanLine(z.top()) + 3 * z.left(), z.width(), z.height(),
                                ZXing::ImageFormat::RGB, int(img.bytesPerLine()));
    }
    // Each pass reads one orientation; the symbols standing on their side are read from a copy
    // turned a quarter. (The reader's own rotation pass trips over its merging of line results.)
    ZXing::DecodeHints hints;
    hints.setTryHarder(true).setTryRotate(true).setTryDownscale(false);
    auto report = [&](const ZXing::Results &results, bool turned) {
        for (const ZXing::Result &r : results) {
            if (!r.isValid())
                continue;
            int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
            for (const auto &p : r.position()) {
                // A point (x, y) of the turned copy is (y, h - 1 - x) of the zone.
                const int px = turned ? p.y : p.x;
                const int py = turned ? z.height() - 1 - p.x : p.y;
                x0 = std::min(x0, px);
                y0 = std::min(y0, py);
                x1 = std::max(x1, px);
                y1 = std::max(y1, py);
            }
            const int orientation = turned ? (r.orientation() + 90 + 360) % 360 : (r.orientation() + 360) % 360;
            IP2Barcode code(QString::fromStdString(r.text()), z.left() + x0, z.top() + y0, x1 - x0 + 1,
                            y1 - y0 + 1, orientation, QString::fromLatin1(ZXing::ToString(r.format())));
            page.results().add(QStringLiteral("Barcode"), QVariant::fromValue(code));
        }
    };
    const ZXing::Results upright = ZXing::ReadBarcodes(view, hints);
    report(upright, false);
}

// ---- chain -------------------------------------------------------------------------------------

void FilterChain::add(std::shared_ptr<IP2Filter> filter, int position)
{
    if (!filter || position < 1 || position > count() + 1)
        badValue();
    m_filters.insert(m_filters.begin() + (position - 1), std::move(filter));
}

const IP2Filter &FilterChain::item(int position) const
{
    if (position < 1 || position > count())
        raiseVbError(vbErr::SubscriptOutOfRange);
    return *m_filters[position - 1];
}

void FilterChain::remove(int position)
{
    if (position < 1 || position > count())
        raiseVbError(vbErr::SubscriptOutOfRange);
    m_filters.erase(m_filters.begin() + (position - 1));
}

IP2Image FilterChain::apply(const IP2Image &page) const
{
    IP2Image out(normalised(page.image()));
    for (const auto &f : m_filters)
        f->apply(out);
    return out;
}

QString FilterChain::settingsText() const
{
    QStringList parts;
    for (const auto &f : m_filters) {
        const QStringList args = f->arguments();
        parts << (args.isEmpty() ? f->className() : f->className() + u'(' + args.join(u';') + u')');
    }
    return parts.join(u'|');
}

namespace {

[[noreturn]] void badSettings()
{
    throw VbError(ip2Err::InvalidFilterSettings, QStringLiteral("Invalid filter settings"));
}

IP2Zone zoneFrom(const QStringList &args, int from)
{
    IP2Zone zone;
    for (int i = 0; i < 4; ++i)
        if (!args[from + i].isEmpty())
            zone.setMeasure(i + 1, args[from + i]);
    return zone;
}

std::shared_ptr<IP2Filter> filterFromText(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\w+)\\s*(?:\\((.*)\\))?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        badSettings();
    const QString name = m.captured(1);
    const QStringList args = m.hasCaptured(2) ? m.captured(2).split(u';') : QStringList();
    const auto n = args.size();
    if (name == u"IP2PrefilterA" && n == 0)
        return std::make_shared<IP2PrefilterA>();
    if (name == u"IP2PrefilterB" && n == 0)
        return std::make_shared<IP2PrefilterB>();
    if (name == u"IP2MarginFilter" && (n == 3 || n == 7)) {
        auto f = std::make_shared<IP2MarginFilter>();
        f->setFirstMeasure(args[0]);
        f->setSecondMeasure(args[1]);
        f->setThirdMeasure(args[2]);
        if (n == 7)
            f->setZone(zoneFrom(args, 3));
        return f;
    }
    if (name == u"IP2BlankDetector" && n == 1) {
        bool ok = false;
        const int s = args[0].trimmed().toInt(&ok);
        if (!ok)
            badSettings();
        auto f = std::make_shared<IP2BlankDetector>();
        f->setSensitivity(s);
        return f;
    }
    if (name == u"IP2BarcodePrefilter" && (n == 0 || n == 4)) {
        auto f = std::make_shared<IP2BarcodePrefilter>();
        if (n == 4)
            f->setZone(zoneFrom(args, 0));
        return f;
    }
    if (name == u"IP2BarcodeReader" && (n == 0 || n == 4)) {
        auto f = std::make_shared<IP2BarcodeReader>();
        if (n == 4)
            f->setZone(zoneFrom(args, 0));
        return f;
    }
    badSettings();
}

} // namespace

void FilterChain::loadFromText(const QString &text)
{
    std::vector<std::shared_ptr<IP2Filter>> filters;
    if (!text.trimmed().isEmpty()) {
        try {
            for (const QString &part : text.split(u'|'))
                filters.push_back(filterFromText(part));
        } catch (const VbError &e) {
            if (e.number == ip2Err::InvalidFilterSettings)
                throw;
            badSettings();
        }
    }
    m_filters = std::move(filters);
}
