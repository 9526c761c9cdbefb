#pragma once
#include <QImage>
#include <QProcess>
#include <QString>

// Small builders for page images and a runner for the libtiff command-line tools.
namespace imgtest {

// Bilevel page: white with a black rectangle; dpi set.
inline QImage bilevel(int w, int h, int dpi, QRect black = QRect())
{
    QImage img(w, h, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    for (int y = black.top(); black.isValid() && y <= black.bottom(); ++y)
        for (int x = black.left(); x <= black.right(); ++x)
            img.setPixel(x, y, 1);
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}

inline QImage grey(int w, int h, int dpi)
{
    QImage img(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.scanLine(y)[x] = uchar((x * 7 + y * 3) & 0xff);
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}

inline QImage colour(int w, int h, int dpi)
{
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff));
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}

// Output of tiffinfo on a disk file.
inline QString tiffinfo(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    p.waitForFinished(30000);
    return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}

}
