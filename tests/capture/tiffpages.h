#pragma once
// Pages of a TIFF as libtiff decodes them, reduced to dark and light pixels, for tests that look
// for what a redaction covered in the files a road leaves.
#include <QProcess>
#include <QRect>
#include <QString>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <vector>

// One page as libtiff decodes it: 1 where a pixel is dark (below half brightness).
struct Page {
    int width = 0, height = 0;
    std::vector<uint8_t> dark;
    bool at(int x, int y) const { return dark[size_t(y) * width + x] != 0; }
    int darkIn(const QRect &r) const
    {
        int n = 0;
        for (int y = std::max(0, r.top()); y <= std::min(height - 1, r.bottom()); ++y)
            for (int x = std::max(0, r.left()); x <= std::min(width - 1, r.right()); ++x)
                n += at(x, y);
        return n;
    }
    // A dark square of side n anywhere on the page: only the covered block has one.
    bool darkSquare(int n) const
    {
        std::vector<int> run(size_t(width), 0);
        for (int y = 0; y < height; ++y) {
            int across = 0;
            for (int x = 0; x < width; ++x) {
                run[size_t(x)] = at(x, y) ? run[size_t(x)] + 1 : 0;
                across = run[size_t(x)] >= n ? across + 1 : 0;
                if (across >= n)
                    return true;
            }
        }
        return false;
    }
};

// Every page of a TIFF read line by line with libtiff; empty when the file is no TIFF.
inline std::vector<Page> decodeTiff(const QString &path)
{
    std::vector<Page> pages;
    TIFFErrorHandler oldError = TIFFSetErrorHandler(nullptr);
    TIFFErrorHandler oldWarning = TIFFSetWarningHandler(nullptr);
    TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    if (!tif)
        return pages;
    do {
        uint32_t w = 0, h = 0;
        uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        Page page;
        page.width = int(w);
        page.height = int(h);
        page.dark.assign(size_t(w) * h, 0);
        std::vector<uint8_t> line(size_t(TIFFScanlineSize(tif)));
        for (uint32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif, line.data(), y) < 0) {
                ADD_FAILURE() << "unreadable line " << y << " of " << path.toStdString();
                break;
            }
            for (uint32_t x = 0; x < w; ++x) {
                bool dark = false;
                if (bps == 1) {
                    const bool set = line[x / 8] & (0x80 >> (x % 8));
                    dark = photometric == PHOTOMETRIC_MINISWHITE ? set : !set;
                } else if (bps == 8 && spp == 1) {
                    const int v = line[x];
                    dark = (photometric == PHOTOMETRIC_MINISWHITE ? 255 - v : v) < 128;
                } else if (bps == 8 && spp >= 3) {
                    const uint8_t *px = &line[size_t(x) * spp];
                    dark = (px[0] * 299 + px[1] * 587 + px[2] * 114) / 1000 < 128;
                } else {
                    ADD_FAILURE() << "pixel kind " << bps << "x" << spp << " in " << path.toStdString();
                    TIFFClose(tif);
                    return pages;
                }
                page.dark[size_t(y) * w + x] = dark;
            }
        }
        pages.push_back(std::move(page));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}


// The pages of a TIFF file as libtiff's own tool counts them; -100 when it cannot read it.
inline int tiffinfoPages(const QString &file)
{
    QProcess tiffinfo;
    tiffinfo.start(QStringLiteral("tiffinfo"), {file});
    if (!tiffinfo.waitForFinished() || tiffinfo.exitCode() != 0)
        return -100;
    return int(QString::fromLocal8Bit(tiffinfo.readAllStandardOutput()).count(QStringLiteral("TIFF Directory")));
}

// Sets a tag of the given page's directory (counted from 0) of a little-endian TIFF to one value
// of the type given (LONG 4, SHORT 3), held in the entry itself; false when the page or the tag
// is missing.
inline bool setTiffEntry(QByteArray &b, int page, quint16 tag, quint32 value, quint16 type = 4)
{
    auto u16 = [&](qsizetype at) { return quint16(uchar(b[at]) | uchar(b[at + 1]) << 8); };
    auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    auto put = [&](qsizetype at, quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xff);
    };
    if (b.size() < 8 || b.left(2) != "II")
        return false;
    qsizetype dir = u32(4);
    for (int i = 0; i < page && dir > 0 && dir + 2 <= b.size(); ++i)
        dir = u32(dir + 2 + 12 * u16(dir));
    if (dir <= 0 || dir + 2 > b.size())
        return false;
    for (int e = 0; e < u16(dir); ++e) {
        const qsizetype at = dir + 2 + 12 * e;
        if (u16(at) == tag) {
            put(at + 2, type, 2);
            put(at + 4, 1, 4);
            put(at + 8, value, 4);
            return true;
        }
    }
    return false;
}
