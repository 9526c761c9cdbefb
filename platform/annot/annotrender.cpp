// Drawing annotations on a view, burning them into page pixels, and measuring text.

#include "platform/annot/annotdocument.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QtMath>

#include <atomic>
#include <limits>

// ---- text metrics ----------------------------------------------------------------------------

namespace {
std::atomic<const QelTextMetrics *> g_metrics{nullptr};

QStringList splitLines(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = t.split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast(); // a closing line break adds no line
    return lines;
}
} // namespace

QSize QelTextMetrics::measureLine(const QString &line, const QelAnnotFont &font, double dpi) const
{
    const QFontMetricsF fm(font.toQFont(font.pointSize * dpi / 72.0));
    return QSize(qCeil(fm.horizontalAdvance(line)), qCeil(fm.height()));
}

QSize QelTextMetrics::measureBlock(const QString &text, const QelAnnotFont &font, double dpi) const
{
    if (text.isEmpty())
        return QSize(0, 0);
    int w = 0;
    int h = 0;
    for (const QString &line : splitLines(text)) {
        const QSize s = measureLine(line, font, dpi);
        w = qMax(w, s.width());
        h += s.height();
    }
    return QSize(w, h);
}

const QelTextMetrics &QelTextMetrics::instance()
{
    static const QelTextMetrics builtIn;
    const QelTextMetrics *m = g_metrics.load();
    return m ? *m : builtIn;
}

void QelTextMetrics::setInstance(const QelTextMetrics *metrics) { g_metrics.store(metrics); }

// ---- drawing ---------------------------------------------------------------------------------

namespace {

QColor toQColor(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

// Draws one item in image coordinates, clipped to its bounds; a box's colours through boxColour
// when given.
void drawItem(QPainter &p, const QelAnnotItem &item, double dpiY, const QelAnnotDocument::BoxColour &boxColour = {})
{
    const QRect b = item.bounds();
    if (b.isEmpty())
        return;
    p.save();
    p.setClipRect(b, Qt::IntersectClip);
    const auto box = [&](quint32 bgr) {
        const QColor c = toQColor(bgr);
        return boxColour ? QColor(boxColour(c.rgb())) : c;
    };
    if (item.type() != QelAnnotType::Text) {
        p.fillRect(b, box(item.fillColor()));
        if (item.lineWidth() > 0) {
            const int lw = item.lineWidth();
            const QColor c = box(item.lineColor());
            p.fillRect(QRect(b.left(), b.top(), b.width(), lw), c);
            p.fillRect(QRect(b.left(), b.bottom() - lw + 1, b.width(), lw), c);
            p.fillRect(QRect(b.left(), b.top(), lw, b.height()), c);
            p.fillRect(QRect(b.right() - lw + 1, b.top(), lw, b.height()), c);
        }
    } else if (!item.text().isEmpty()) {
        p.setFont(item.font().toQFont(item.font().pointSize * dpiY / 72.0));
        p.setPen(toQColor(item.lineColor()));
        QRectF box(0, 0, b.width(), b.height());
        switch (item.textOrientation()) {
        case QelAnnotOrient::Down:
            p.translate(b.left() + b.width(), b.top());
            p.rotate(90);
            box = QRectF(0, 0, b.height(), b.width());
            break;
        case QelAnnotOrient::Inverted:
            p.translate(b.left() + b.width(), b.top() + b.height());
            p.rotate(180);
            break;
        case QelAnnotOrient::Up:
            p.translate(b.left(), b.top() + b.height());
            p.rotate(270);
            box = QRectF(0, 0, b.height(), b.width());
            break;
        default:
            p.translate(b.left(), b.top());
            break;
        }
        // Line by line with the heights the metrics measure, so a resized item holds its text.
        const QFontMetricsF fm(p.font());
        const int lineHeight = qCeil(fm.height());
        double y = 0;
        for (const QString &line : splitLines(item.text())) {
            const double w = fm.horizontalAdvance(line);
            double x = 0;
            if (item.justification() == QelAnnotJustify::Right)
                x = box.width() - w;
            else if (item.justification() == QelAnnotJustify::Center)
                x = (box.width() - w) / 2;
            p.drawText(QPointF(x, y + fm.ascent()), line);
            y += lineHeight;
        }
    }
    p.restore();
}

int nearestIndex(const QList<QRgb> &table, QRgb c)
{
    int best = 0;
    int bestDist = std::numeric_limits<int>::max();
    for (int i = 0; i < table.size(); ++i) {
        const int dr = qRed(table[i]) - qRed(c);
        const int dg = qGreen(table[i]) - qGreen(c);
        const int db = qBlue(table[i]) - qBlue(c);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return best;
}

// Pages QPainter cannot draw on (bilevel, palette): draw the item's area on a true-colour copy
// and map the result back to the page's own palette, so that nothing outside the area changes.
void burnIndexed(QImage &page, const QelAnnotItem &item, double dpiY, const QelAnnotDocument::BoxColour &boxColour)
{
    const QRect area = item.bounds() & page.rect();
    if (area.isEmpty())
        return;
    QImage sub = page.copy(area).convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&sub);
        p.translate(-area.topLeft());
        drawItem(p, item, dpiY, boxColour);
    }
    const QList<QRgb> table = page.colorTable();
    if (table.isEmpty())
        return;
    QRgb lastColour = 0;
    int lastIndex = -1;
    for (int y = 0; y < area.height(); ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(sub.constScanLine(y));
        for (int x = 0; x < area.width(); ++x) {
            if (lastIndex < 0 || src[x] != lastColour) {
                lastColour = src[x];
                lastIndex = nearestIndex(table, lastColour);
            }
            page.setPixel(area.left() + x, area.top() + y, uint(lastIndex));
        }
    }
}

} // namespace

void QelAnnotDocument::paint(QPainter &painter, const QTransform &imageToWidget) const
{
    painter.save();
    painter.setTransform(imageToWidget, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const auto &it : m_items)
        drawItem(painter, *it, m_dpiY);
    // Selection frames in widget pixels, whatever the zoom.
    const QTransform full = painter.transform();
    painter.resetTransform();
    QPen pen(Qt::blue, 1, Qt::DashLine);
    pen.setCosmetic(true);
    for (const auto &it : m_items) {
        if (!it->isSelected())
            continue;
        const QRect r = full.mapRect(QRectF(it->bounds())).toAlignedRect();
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::blue);
        for (const QPoint &c : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
            painter.drawRect(QRect(c - QPoint(2, 2), QSize(5, 5)));
    }
    painter.restore();
}

void QelAnnotDocument::burnInto(QImage &page, const BoxColour &boxColour) const
{
    if (m_items.empty() || page.isNull())
        return;
    const QImage::Format f = page.format();
    if (f == QImage::Format_Mono || f == QImage::Format_MonoLSB || f == QImage::Format_Indexed8) {
        for (const auto &it : m_items)
            burnIndexed(page, *it, m_dpiY, boxColour);
        return;
    }
    const bool direct = f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
        f == QImage::Format_ARGB32_Premultiplied || f == QImage::Format_RGB888 ||
        f == QImage::Format_Grayscale8;
    if (direct) {
        QPainter p(&page);
        for (const auto &it : m_items)
            drawItem(p, *it, m_dpiY, boxColour);
        return;
    }
    // Any other kind: draw on a true-colour copy and convert back.
    QImage work = page.convertToFormat(QImage::Format_ARGB32);
    {
        QPainter p(&work);
        for (const auto &it : m_items)
            drawItem(p, *it, m_dpiY, boxColour);
    }
    page = work.convertToFormat(f);
}
