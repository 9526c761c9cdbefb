#include "pages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <tiffio.h>

#include <vector>

namespace {
constexpr int kWidth = 1728; // byte-aligned letter width at 200 dpi
constexpr int kHeight = 2200;
constexpr int kDpi = 200;
}

bool writeTextPages(const QString &path, const QStringList &pages)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    QImage canvas(kWidth, kHeight, QImage::Format_Grayscale8);
    canvas.setDotsPerMeterX(int(kDpi / 0.0254));
    canvas.setDotsPerMeterY(int(kDpi / 0.0254));
    std::vector<unsigned char> row(size_t(kWidth / 8));
    bool ok = true;
    for (int p = 0; p < pages.size() && ok; ++p) {
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            QFont font(QStringLiteral("Liberation Serif"));
            font.setPixelSize(44);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawRect(80, 80, kWidth - 160, kHeight - 160);
            int y = 200;
            for (const QString &line : pages[p].split(u'\n')) {
                painter.drawText(160, y, line);
                y += 70;
            }
            font.setPixelSize(32);
            painter.setFont(font);
            painter.drawText(160, kHeight - 140, QStringLiteral("Page %1 of %2").arg(p + 1).arg(pages.size()));
        }
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(kDpi));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(kDpi));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(p), uint16_t(pages.size()));
        for (int y = 0; y < kHeight && ok; ++y) {
            const uchar *src = canvas.constScanLine(y);
            for (int b = 0; b < kWidth / 8; ++b) {
                unsigned char v = 0;
                for (int k = 0; k < 8; ++k)
                    if (src[b * 8 + k] < 128) // min-is-white: a set bit is black
                        v |= 0x80 >> k;
                row[size_t(b)] = v;
            }
            ok = TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ok;
}
