#pragma once
#include <QFont>
#include <QImage>
#include <QPainter>

// A letter page at the given resolution with lines of text, as a scanned deed looks.
inline QImage textPage(int dpi, int seed, bool colour)
{
    const int w = int(8.5 * dpi), h = 11 * dpi;
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour ? qRgb(250, 244, 230) : qRgb(255, 255, 255));
    QPainter p(&img);
    QFont f(QStringLiteral("Liberation Serif"));
    f.setPixelSize(dpi / 6);
    p.setFont(f);
    p.setPen(colour ? QColor(40, 30, 90) : Qt::black);
    const int line = dpi / 4;
    for (int y = dpi, n = 0; y < h - dpi; y += line, ++n)
        p.drawText(dpi, y, QStringLiteral("%1 Grantor conveys to grantee the land in book %2 page %3, "
                                          "bounded northerly by the way, easterly by land now or formerly")
                               .arg(n).arg(seed * 31 + n).arg(seed + n * 7));
    if (colour)
        p.fillRect(w - 3 * dpi, dpi / 2, 2 * dpi, dpi, QColor(180, 20, 20));
    p.end();
    QImage out = colour ? img.convertToFormat(QImage::Format_RGB888)
                        : img.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    out.setDotsPerMeterX(qRound(dpi / 0.0254));
    out.setDotsPerMeterY(qRound(dpi / 0.0254));
    return out;
}
