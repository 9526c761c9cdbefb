// Every page layout libtiff writes, generated here: each page opens equal to libtiff's RGBA
// reader of its rows, shown as its orientation says, reduces right, stores with and without alignment (decoded before or not, turned or
// not) and opens again equal. QUORLA_LAYOUT_PAGES=large walks larger pages.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTransform>
#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>

#include <unistd.h>

#include "platform/annot/annotdocument.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/reduction.h"
#include "platform/imaging/tiffcodec.h"

namespace {

struct Format {
    const char *name;
    uint16_t photometric, bps, spp;
    uint16_t extra = 0; // EXTRASAMPLE_ASSOCALPHA / UNASSALPHA as the last sample, when set
    uint16_t sub = 1;   // YCbCr subsampling (both ways)
};

const Format kFormats[] = {
    {"white-is-0 1", PHOTOMETRIC_MINISWHITE, 1, 1},
    {"black-is-0 1", PHOTOMETRIC_MINISBLACK, 1, 1},
    {"white-is-0 2", PHOTOMETRIC_MINISWHITE, 2, 1},
    {"black-is-0 4", PHOTOMETRIC_MINISBLACK, 4, 1},
    {"white-is-0 8", PHOTOMETRIC_MINISWHITE, 8, 1},
    {"black-is-0 8", PHOTOMETRIC_MINISBLACK, 8, 1},
    {"black-is-0 16", PHOTOMETRIC_MINISBLACK, 16, 1},
    {"grey alpha 8", PHOTOMETRIC_MINISBLACK, 8, 2, EXTRASAMPLE_UNASSALPHA},
    {"grey alpha 16", PHOTOMETRIC_MINISWHITE, 16, 2, EXTRASAMPLE_ASSOCALPHA},
    {"rgb 8", PHOTOMETRIC_RGB, 8, 3},
    {"rgb 16", PHOTOMETRIC_RGB, 16, 3},
    {"rgba 8", PHOTOMETRIC_RGB, 8, 4, EXTRASAMPLE_ASSOCALPHA},
    {"rgba unassociated 8", PHOTOMETRIC_RGB, 8, 4, EXTRASAMPLE_UNASSALPHA},
    {"rgba 16", PHOTOMETRIC_RGB, 16, 4, EXTRASAMPLE_UNASSALPHA},
    {"palette 1", PHOTOMETRIC_PALETTE, 1, 1},
    {"palette 2", PHOTOMETRIC_PALETTE, 2, 1},
    {"palette 4", PHOTOMETRIC_PALETTE, 4, 1},
    {"palette 8", PHOTOMETRIC_PALETTE, 8, 1},
    {"ycbcr 1x1", PHOTOMETRIC_YCBCR, 8, 3, 0, 1},
    {"ycbcr 2x2", PHOTOMETRIC_YCBCR, 8, 3, 0, 2},
    {"cmyk 8", PHOTOMETRIC_SEPARATED, 8, 4},
    {"cmyk 16", PHOTOMETRIC_SEPARATED, 16, 4},
    {"cmyk alpha 8", PHOTOMETRIC_SEPARATED, 8, 5, EXTRASAMPLE_UNASSALPHA},
    {"lab 8", PHOTOMETRIC_CIELAB, 8, 3},
};

struct Coding {
    const char *name;
    uint16_t compression, predictor = 1;
};
const Coding kNone{"none", COMPRESSION_NONE}, kPackBits{"packbits", COMPRESSION_PACKBITS},
    kLzw{"lzw", COMPRESSION_LZW}, kLzw2{"lzw:2", COMPRESSION_LZW, PREDICTOR_HORIZONTAL},
    kZip{"deflate", COMPRESSION_ADOBE_DEFLATE}, kZip2{"deflate:2", COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL},
    kG3{"g3", COMPRESSION_CCITTFAX3}, kG4{"g4", COMPRESSION_CCITTFAX4}, kJpeg{"jpeg", COMPRESSION_JPEG};

// The codings libtiff writes for such samples.
std::vector<Coding> codingsFor(const Format &f)
{
    std::vector<Coding> c{kNone, kPackBits, kLzw, kZip};
    if (f.bps >= 8)
        c.insert(c.end(), {kLzw2, kZip2});
    if (f.bps == 1 && f.spp == 1 && f.photometric != PHOTOMETRIC_PALETTE)
        c.insert(c.end(), {kG3, kG4});
    // JPEG of 8-bit grey, RGB and YCbCr pages as scanners write them
    if (f.bps == 8 && !f.extra && (f.photometric == PHOTOMETRIC_MINISBLACK || f.photometric == PHOTOMETRIC_RGB
                                   || (f.photometric == PHOTOMETRIC_YCBCR && f.sub == 2)))
        c.push_back(kJpeg);
    return c;
}

struct Layout {
    const Format *format;
    Coding coding;
    bool tiled, planar, lsbFirst;
    uint16_t orientation;
    uint32_t width, height;
    std::string name() const
    {
        return std::string(format->name) + " " + coding.name + (tiled ? " tiles" : " strips")
               + (planar ? " planar" : "") + (lsbFirst ? " lsb" : "") + " orientation " + std::to_string(orientation)
               + " " + std::to_string(width) + "x" + std::to_string(height);
    }
};

// Every format in every orientation; the codings, strips or tiles, planes, fill orders and
// widths (with and without padding) turn over with them, so each meets many of the others.
std::vector<Layout> layouts(bool large)
{
    std::vector<Layout> out;
    int n = 0;
    for (const Format &f : kFormats) {
        const std::vector<Coding> codings = codingsFor(f);
        for (uint16_t o = 1; o <= 8; ++o, ++n) {
            Layout l{&f, codings[size_t(n) % codings.size()], false, false, false, o, 0, 0};
            const bool jpeg = l.coding.compression == COMPRESSION_JPEG;
            l.tiled = (n / 2) % 2;
            l.planar = f.spp > 1 && f.photometric != PHOTOMETRIC_YCBCR && (n / 3) % 2;
            l.lsbFirst = (n % 5) == 0;
            const uint32_t base = large ? 480 : 40;
            l.width = (n % 2 ? base : base - 3) + (jpeg ? 0 : uint32_t(n % 3));
            l.height = (large ? 300 : 35) + uint32_t(n % 4);
            out.push_back(l);
            // every coding of the format once more, top-left and padded
            if (o == 8)
                for (const Coding &c : codings) {
                    Layout x = l;
                    x.coding = c;
                    x.orientation = ORIENTATION_TOPLEFT;
                    x.width = large ? 1001 : 45;
                    x.tiled = x.planar = false;
                    out.push_back(x);
                }
        }
    }
    return out;
}

// Writes the page: smooth samples with noise (JPEG pages take RGB or grey rows), in strips of
// a few rows or 16 x 16 tiles; its orientation tag is the layout's unless given. A palette's map
// has white as its last entry, or (whiteless) a light grey and nothing lighter than 200. Appended,
// the page follows the file's pages.
void writePage(const QString &path, const Layout &l, uint16_t orientationTag = 0, bool whiteless = false,
               bool append = false)
{
    const Format &f = *l.format;
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), append ? "a" : "w");
    ASSERT_NE(t, nullptr);
    const bool jpeg = l.coding.compression == COMPRESSION_JPEG;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, l.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, l.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, f.bps);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, f.spp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, f.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(l.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientationTag ? orientationTag : l.orientation);
    TIFFSetField(t, TIFFTAG_FILLORDER, uint16_t(l.lsbFirst ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB));
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 200.f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 150.f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    TIFFSetField(t, TIFFTAG_COMPRESSION, l.coding.compression);
    if (l.coding.predictor != 1)
        TIFFSetField(t, TIFFTAG_PREDICTOR, l.coding.predictor);
    if (f.extra) {
        const uint16_t extra[] = {f.extra};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    if (f.photometric == PHOTOMETRIC_SEPARATED)
        TIFFSetField(t, TIFFTAG_INKSET, uint16_t(INKSET_CMYK));
    if (f.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, f.sub, f.sub);
    std::mt19937 rng(unsigned(l.width * 131 + l.height * 7 + l.orientation));
    if (f.photometric == PHOTOMETRIC_PALETTE) {
        const size_t n = size_t(1) << f.bps;
        std::vector<uint16_t> map(3 * n);
        for (uint16_t &v : map)
            v = uint16_t(whiteless ? rng() % (200 * 257) : rng());
        // the last entry white, as a scanner's map has it (the canvas of a padded page)
        map[n - 1] = map[2 * n - 1] = map[3 * n - 1] = whiteless ? 238 * 257 : 0xFFFF;
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    if (jpeg) {
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 80);
        if (f.photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (l.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, uint32_t(16));
        TIFFSetField(t, TIFFTAG_TILELENGTH, uint32_t(16));
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(jpeg ? 16 : 5)); // as below
    }
    // Smooth bytes with noise; JPEG pages get smooth samples only (coded again when padded, they
    // are compared within a margin).
    auto fill = [&](std::vector<uint8_t> &buf, uint32_t seed) {
        for (size_t i = 0; i < buf.size(); ++i)
            buf[i] = uint8_t(((i + seed) * 3 / 7) % 251 + (jpeg ? 0 : rng() % 40));
    };
    const uint32_t pieces = l.tiled ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
    const tmsize_t bytes = l.tiled ? TIFFTileSize(t) : TIFFStripSize(t);
    std::vector<uint8_t> buf(static_cast<size_t>(bytes));
    const uint32_t rps = jpeg ? 16 : 5, perPlane = (l.height + rps - 1) / rps;
    for (uint32_t i = 0; i < pieces; ++i) {
        fill(buf, i * 977);
        // a strip holds its own rows and no more (the last one fewer)
        const tmsize_t r = l.tiled ? TIFFWriteEncodedTile(t, i, buf.data(), bytes)
                                   : TIFFWriteEncodedStrip(t, i, buf.data(),
                                                           TIFFVStripSize(t, std::min(rps, l.height - i % perPlane * rps)));
        ASSERT_GE(r, 0) << "piece " << i;
    }
    ASSERT_TRUE(TIFFWriteDirectory(t));
    TIFFClose(t);
}

// libtiff's RGBA reader, top-left, laid on white (its colours come premultiplied by alpha).
QImage rgbaReader(const QString &path)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!t)
        return {};
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    QImage img(int(w), int(h), QImage::Format_RGBA8888);
    const bool ok = TIFFReadRGBAImageOriented(t, w, h, reinterpret_cast<uint32_t *>(img.bits()), ORIENTATION_TOPLEFT, 0);
    TIFFClose(t);
    if (!ok)
        return QImage();
    QImage out(img.size(), QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        const uchar *p = img.constScanLine(y);
        for (int x = 0; x < img.width(); ++x, p += 4) {
            auto on = [&](int c) { return std::min(255, c + 255 - p[3]); };
            out.setPixel(x, y, qRgb(on(p[0]), on(p[1]), on(p[2])));
        }
    }
    return out;
}

QImage rgb(const QImage &img) { return img.convertToFormat(QImage::Format_RGB32); }

// The samples of a row of a page of 8- or 16-bit samples in strips, as stored (planes apart put
// side by side).
std::vector<uint16_t> rowSamples(const QString &path, uint32_t y)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!t)
        return {};
    uint16_t bps = 8, spp = 1, planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    const int planes = planar == PLANARCONFIG_SEPARATE ? spp : 1;
    std::vector<uint8_t> bytes(size_t(TIFFScanlineSize64(t)));
    std::vector<uint16_t> row(bytes.size() / (bps / 8) * size_t(planes));
    for (int p = 0; p < planes && !TIFFIsTiled(t); ++p)
        for (uint32_t r = 0; r <= y; ++r) { // rows in order: a coded strip is read from its start
            if (TIFFReadScanline(t, bytes.data(), r, uint16_t(p)) < 0)
                row.clear();
            if (r < y || row.empty())
                continue;
            for (size_t i = 0; i < bytes.size() / (bps / 8); ++i) {
                uint16_t v = bytes[i];
                if (bps == 16)
                    std::memcpy(&v, bytes.data() + 2 * i, 2);
                row[planes > 1 ? i * size_t(planes) + size_t(p) : i] = v;
            }
        }
    TIFFClose(t);
    return row;
}

// The page copied into strips by tiffcp (its samples as they are), as libtiff's RGBA reader reads
// it: that reader garbles the partial tiles of grey pages of 16 bits or with alpha.
QImage inStrips(const QString &path)
{
    const QString strips = path + QStringLiteral(".strips.tif");
    QProcess cp;
    cp.start(QStringLiteral("tiffcp"), {QStringLiteral("-s"), path, strips});
    if (!cp.waitForFinished() || cp.exitCode() != 0)
        return {};
    const QImage out = rgbaReader(strips);
    QFile::remove(strips);
    return out;
}

// A colour more than 32 shades (in some channel) from every entry of a palette page's map, where
// the cube's corners, edge middles and centre hold one.
std::optional<QRgb> farColour(const QString &path)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!t)
        return {};
    uint16_t photometric = 0, bps = 1, *r = nullptr, *g = nullptr, *b = nullptr;
    std::optional<QRgb> out;
    if (TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) && photometric == PHOTOMETRIC_PALETTE
        && TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps) && TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b)) {
        const int n = 1 << bps;
        const bool wide = std::any_of(r, r + n, [](uint16_t v) { return v >= 256; })
                          || std::any_of(g, g + n, [](uint16_t v) { return v >= 256; })
                          || std::any_of(b, b + n, [](uint16_t v) { return v >= 256; });
        const int shift = wide ? 8 : 0, level[3] = {0, 128, 255};
        for (int c = 0; c < 27 && !out; ++c) {
            const int want[3] = {level[c % 3], level[c / 3 % 3], level[c / 9]};
            int nearest = 256;
            for (int i = 0; i < n; ++i)
                nearest = std::min(nearest, std::max({std::abs((r[i] >> shift) - want[0]), std::abs((g[i] >> shift) - want[1]),
                                                      std::abs((b[i] >> shift) - want[2])}));
            if (nearest > 32)
                out = qRgb(want[0], want[1], want[2]);
        }
    }
    TIFFClose(t);
    return out;
}

// A 16-bit field of the file's first page (0 when absent).
uint16_t fieldOf(const QString &path, ttag_t tag)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "r");
    uint16_t v = 0;
    if (t) {
        TIFFGetField(t, tag, &v);
        TIFFClose(t);
    }
    return v;
}

// A YCbCr page's chroma sampling across (0 for other pages).
int chromaOf(const QString &path)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "r");
    uint16_t photometric = 0, h = 0, v = 0;
    if (t) {
        if (TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) && photometric == PHOTOMETRIC_YCBCR)
            TIFFGetFieldDefaulted(t, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
        TIFFClose(t);
    }
    return h;
}

// The page as an orientation tag says it is shown, from its rows as stored: 2-4 mirror and turn
// it, 5-8 make its rows the columns.
QImage shown(const QImage &storedRows, int orientation)
{
    const QImage s = rgb(storedRows);
    const int w = s.width(), h = s.height();
    const bool across = orientation >= 5;
    QImage out(across ? h : w, across ? w : h, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            // stored column c, row r shown at x, y
            int c = x, r = y;
            switch (orientation) {
            case 2: c = w - 1 - x; break;
            case 3: c = w - 1 - x; r = h - 1 - y; break;
            case 4: r = h - 1 - y; break;
            case 5: c = y; r = x; break;
            case 6: c = y; r = h - 1 - x; break;
            case 7: c = w - 1 - y; r = h - 1 - x; break;
            case 8: c = w - 1 - y; r = x; break;
            default: break;
            }
            out.setPixel(x, y, s.pixel(c, r));
        }
    return out;
}

// Largest difference of a channel between two same-sized images (-1 for other sizes).
int maxDiff(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    const QImage x = rgb(a), y = rgb(b);
    int worst = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

double meanDiff(const QImage &a, const QImage &b)
{
    const QImage x = rgb(a), y = rgb(b);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

// The expected page on a white canvas of whole multiples of align.
QImage onCanvas(const QImage &page, int align)
{
    if (align <= 1)
        return page;
    QImage out((page.width() + align - 1) / align * align, (page.height() + align - 1) / align * align,
               QImage::Format_RGB32);
    out.fill(Qt::white);
    for (int y = 0; y < page.height(); ++y)
        std::memcpy(out.scanLine(y), rgb(page).constScanLine(y), size_t(page.width()) * 4);
    return out;
}

TEST(Layouts, EveryLayoutOpensReducesStoresAndOpensAgainAsLibtiffReadsIt)
{
    QTemporaryDir dir;
    const bool large = qgetenv("QUORLA_LAYOUT_PAGES") == "large";
    const QString src = dir.filePath(QStringLiteral("page.tif")), out = dir.filePath(QStringLiteral("stored.tif"));
    const QString plain = dir.filePath(QStringLiteral("plain.tif"));
    int walked = 0;
    for (const Layout &l : layouts(large)) {
        SCOPED_TRACE(l.name());
        writePage(src, l);
        // the same rows stored top-left, as libtiff reads them, shown as the tag says
        writePage(plain, l, ORIENTATION_TOPLEFT);
        const QImage storedRows = rgbaReader(plain);
        const QImage expected = storedRows.isNull() ? QImage() : shown(storedRows, l.orientation);
        if (expected.isNull()) {
            // a layout libtiff cannot read either: an error, not a crash
            auto doc = QelPageDocument::create();
            EXPECT_THROW(
                {
                    doc->load(src);
                    doc->image(0);
                },
                VbError);
            continue;
        }
        const bool jpeg = l.coding.compression == COMPRESSION_JPEG;
        const bool grey = l.format->photometric == PHOTOMETRIC_MINISWHITE || l.format->photometric == PHOTOMETRIC_MINISBLACK;
        const bool bilevel = grey && l.format->bps == 1 && l.format->spp == 1;
        // a grey page of 16 bits or with alpha in tiles is shown and stored from its samples, not
        // as the RGBA reader shows it
        const bool greyTiles = l.tiled && grey && !l.planar && (l.format->bps == 16 || l.format->spp == 2);
        const QImage sound = greyTiles ? shown(inStrips(plain), l.orientation) : expected;
        try {
            // reduced first, from the rows; then whole
            auto doc = QelPageDocument::create();
            doc->load(src);
            ASSERT_EQ(doc->pageCount(), 1);
            EXPECT_EQ(QSize(doc->info(0).width, doc->info(0).height), expected.size());
            EXPECT_EQ(doc->info(0).xDpi, l.orientation >= 5 ? 150 : 200);
            const bool paletteRows = l.format->photometric == PHOTOMETRIC_PALETTE;
            EXPECT_EQ(doc->info(0).palette, paletteRows);
            const QImage small = doc->reduced(0, 3);
            const QImage page = doc->image(0);
            if (maxDiff(page, sound)) {
                for (int y = 0, shown = 0; y < page.height() && shown < 5; ++y)
                    for (int x = 0; x < page.width() && shown < 5; ++x)
                        if (rgb(page).pixel(x, y) != rgb(sound).pixel(x, y) && ++shown)
                            ADD_FAILURE() << x << "," << y << " " << std::hex << rgb(page).pixel(x, y) << " " << rgb(sound).pixel(x, y);
            }
            ASSERT_EQ(maxDiff(page, sound), 0);
            EXPECT_EQ(page.format(), bilevel ? QImage::Format_Mono
                                     : grey  ? QImage::Format_Grayscale8
                                             : QImage::Format_RGB888);
            EXPECT_EQ(maxDiff(small, reducedImage(page, 3)), 0);

            // pages of 16 bits or with alpha keep their samples (RGB also in planes apart)
            const bool kept = l.format->bps >= 8 && (l.format->bps == 16 || l.format->extra)
                              && (grey ? !l.planar : l.format->photometric == PHOTOMETRIC_RGB);
            // stored: nothing decoded or the page held, aligned or not, turned or not
            for (int variant = 0; variant < 8; ++variant) {
                const bool held = variant & 1, aligned = variant & 2, turned = variant & 4;
                SCOPED_TRACE(variant);
                auto d = QelPageDocument::create();
                d->load(src);
                if (held)
                    d->image(0);
                if (turned)
                    d->setQuarterTurns(0, 1);
                QelSaveOptions options;
                options.alignTo = aligned ? 8 : 0;
                d->save(out, options);
                const QImage upright = turned ? rgb(sound).transformed(QTransform().rotate(90)) : sound;
                // a page whose width is a whole multiple is stored as it is
                const QImage want = onCanvas(upright, upright.width() % 8 ? options.alignTo : 0);
                auto back = QelPageDocument::create();
                back->load(out);
                ASSERT_EQ(back->pageCount(), 1);
                EXPECT_EQ(QSize(back->info(0).width, back->info(0).height), want.size());
                const QImage again = back->image(0);
                const QImage viaLibtiff = rgbaReader(out);
                EXPECT_EQ(maxDiff(again, viaLibtiff), 0);
                if (jpeg) {
                    // a JPEG page stays JPEG: its strips copied, or coded again at its quality (colour
                    // as YCbCr with chroma halved)
                    EXPECT_EQ(back->info(0).compression, COMPRESSION_JPEG);
                    ASSERT_EQ(again.size(), want.size());
                    EXPECT_LT(meanDiff(again, want), 5.0);
                    // colour keeps its chroma samples: an RGB page's every pixel, a YCbCr page's own
                    if (chromaOf(out))
                        EXPECT_EQ(chromaOf(out), l.format->photometric == PHOTOMETRIC_YCBCR ? l.format->sub : 1);
                } else {
                    EXPECT_EQ(maxDiff(again, want), 0);
                    // G4 for bilevel; others keep a lossless coding we write, else become LZW
                    const uint16_t c = l.coding.compression;
                    const bool kept = c == COMPRESSION_ADOBE_DEFLATE || c == COMPRESSION_PACKBITS || c == COMPRESSION_LZW;
                    EXPECT_EQ(back->info(0).compression, bilevel ? COMPRESSION_CCITTFAX4 : kept ? c : COMPRESSION_LZW);
                }
                // a palette page stays one, at its depth, whatever its orientation or turn, in strips
                // or tiles; 2- and 4-bit grey and 16-bit grey and RGB pages keep their depth too, and
                // grey and RGB pages with alpha their alpha
                if (paletteRows) {
                    EXPECT_EQ(fieldOf(out, TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_PALETTE);
                    EXPECT_EQ(fieldOf(out, TIFFTAG_BITSPERSAMPLE), l.format->bps);
                }
                const bool packedGrey = grey && (l.format->bps == 2 || l.format->bps == 4);
                if (packedGrey || kept) {
                    EXPECT_EQ(fieldOf(out, TIFFTAG_BITSPERSAMPLE), l.format->bps);
                    EXPECT_EQ(fieldOf(out, TIFFTAG_PHOTOMETRIC), l.format->photometric);
                    EXPECT_EQ(fieldOf(out, TIFFTAG_SAMPLESPERPIXEL), l.format->spp);
                }
                // a turned page is upright afterwards, read from what was stored
                if (turned && !jpeg)
                    EXPECT_EQ(maxDiff(d->image(0), want), 0);
            }

            // A box burned in (as a redaction is) keeps the page's layout and stays a box of one
            // colour with nothing of the page under it, the rest of the page as it was. In a colour
            // the page holds, every page keeps its layout with the box in that colour; in a colour
            // far from every entry of a palette page's map, or in white on a map without it, the
            // colour is added to the map (at more bits where it has no room; an 8-bit map may have
            // none); in orange, colour pages show it, grey pages keep their depth with the box at a
            // level short of the paper's white, bilevel pages stay bilevel with the box black. A
            // 16-bit page or one with alpha keeps its samples outside the box; inside it each is the
            // shown value widened, opaque. Upright and turned.
            struct Ink {
                const char *name;
                std::optional<QRgb> colour;
                bool whiteless = false; // on the same page with a map without white
            } const inks[] = {
                {"colour held", rgb(expected).pixel(0, 0)},
                {"colour far from the map", farColour(src)},
                {"white on a map without it", paletteRows ? std::optional<QRgb>(qRgb(255, 255, 255)) : std::nullopt, true},
                {"orange", qRgb(255, 140, 0)},
            };
            const bool packedGrey = grey && l.format->spp == 1 && (l.format->bps == 2 || l.format->bps == 4);
            for (const Ink &ink : inks)
                for (const bool turnedBurn : {false, true}) {
                    if (!ink.colour)
                        continue;
                    SCOPED_TRACE(::testing::Message() << ink.name << (turnedBurn ? ", turned" : ""));
                    QImage page = rgb(sound);
                    if (ink.whiteless) {
                        writePage(src, l, 0, true);
                        writePage(plain, l, ORIENTATION_TOPLEFT, true);
                        page = shown(rgbaReader(plain), l.orientation);
                    }
                    auto d = QelPageDocument::create();
                    d->load(src);
                    if (turnedBurn) {
                        d->setQuarterTurns(0, 1);
                        page = page.transformed(QTransform().rotate(90));
                    }
                    const QRect box(2, 3, 10, 8);
                    const QRgb c = *ink.colour;
                    auto item = std::make_unique<QelAnnotItem>(QelAnnotType::Redaction);
                    item->setBounds(box);
                    item->setFillColor(quint32(qBlue(c) << 16 | qGreen(c) << 8 | qRed(c))); // BGR
                    ASSERT_TRUE(d->annotations(0)->add(std::move(item)));
                    QelSaveOptions burn;
                    burn.burnAnnotations = true;
                    d->save(out, burn);
                    if (ink.whiteless) {
                        writePage(src, l);
                        writePage(plain, l, ORIENTATION_TOPLEFT);
                    }
                    QImage again = rgbaReader(out);
                    ASSERT_EQ(again.size(), page.size());
                    // the box drawn on the page as it lies, stored on the page turned
                    const int across = turnedBurn ? page.width() : 0;
                    const QRect stored = turnedBurn ? QRect(across - box.bottom() - 1, box.left(), box.height(), box.width()) : box;
                    const QRgb inBox = again.pixel(stored.topLeft());
                    bool uniform = true;
                    for (int y = stored.top(); y <= stored.bottom(); ++y)
                        for (int x = stored.left(); x <= stored.right(); ++x) {
                            uniform = uniform && again.pixel(x, y) == inBox;
                            again.setPixel(x, y, c);
                            page.setPixel(x, y, c);
                        }
                    if (jpeg) {
                        EXPECT_EQ(fieldOf(out, TIFFTAG_COMPRESSION), COMPRESSION_JPEG);
                        EXPECT_LT(meanDiff(again, page), 5.0);
                        continue;
                    }
                    EXPECT_EQ(maxDiff(again, page), 0) << "outside the box";
                    EXPECT_TRUE(uniform);
                    const bool held = &ink == &inks[0];
                    const int off = std::max({std::abs(qRed(inBox) - qRed(c)), std::abs(qGreen(inBox) - qGreen(c)),
                                              std::abs(qBlue(inBox) - qBlue(c))});
                    // a full 8-bit map holds only a colour near it, or the page becomes RGB
                    const bool fullMap = paletteRows && l.format->bps == 8 && !held;
                    if (fullMap && fieldOf(out, TIFFTAG_PHOTOMETRIC) == PHOTOMETRIC_PALETTE)
                        EXPECT_LE(off, 32) << std::hex << inBox;
                    else if (held || !grey)
                        EXPECT_EQ(inBox, c) << std::hex << inBox;
                    else if (bilevel)
                        EXPECT_EQ(inBox, qRgb(0, 0, 0)) << std::hex << inBox;
                    else
                        EXPECT_TRUE(qRed(inBox) == qGreen(inBox) && qGreen(inBox) == qBlue(inBox) && qRed(inBox) < 255)
                            << std::hex << inBox;
                    const uint16_t bps = fieldOf(out, TIFFTAG_BITSPERSAMPLE);
                    if (paletteRows && !fullMap) {
                        EXPECT_EQ(fieldOf(out, TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_PALETTE);
                        if (held)
                            EXPECT_EQ(bps, l.format->bps);
                        else
                            EXPECT_GE(bps, l.format->bps);
                    } else if (bilevel || packedGrey || kept || (grey && l.format->bps == 8 && l.format->spp == 1)) {
                        // bilevel and 8-bit grey pages in either grey photometric
                        if (packedGrey || kept)
                            EXPECT_EQ(fieldOf(out, TIFFTAG_PHOTOMETRIC), l.format->photometric);
                        else
                            EXPECT_LE(fieldOf(out, TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_MINISBLACK);
                        EXPECT_EQ(bps, l.format->bps);
                        EXPECT_EQ(fieldOf(out, TIFFTAG_SAMPLESPERPIXEL), kept ? l.format->spp : 1);
                    }
                    // samples kept outside the box (its first rows), none inside: each sample there
                    // is its shown value widened, and opaque
                    if (kept && !l.tiled && !turnedBurn && l.orientation == ORIENTATION_TOPLEFT) {
                        EXPECT_EQ(rowSamples(out, 0), rowSamples(src, 0));
                        const std::vector<uint16_t> row = rowSamples(out, uint32_t(box.top()));
                        const size_t spp = l.format->spp;
                        const uint16_t full = l.format->bps == 16 ? 65535 : 255;
                        for (int x = box.left(); x <= box.right() && size_t(x + 1) * spp <= row.size(); ++x)
                            for (size_t k = 0; k < spp; ++k) {
                                const uint16_t v = row[size_t(x) * spp + k];
                                if (k + 1 == spp && l.format->extra)
                                    ASSERT_EQ(v, full) << "alpha at " << x;
                                else if (l.format->bps == 16)
                                    ASSERT_EQ(v % 257, 0) << v << " at " << x;
                            }
                    }
                }
        } catch (const VbError &e) {
            ADD_FAILURE() << e.description.toStdString();
        }
        ++walked;
    }
    EXPECT_GT(walked, 200);
}

} // namespace

namespace {

// A document of every layout: each page reads the same whichever page was read before it, in
// the document's order and back (one handle reads them all), as the page read alone.
TEST(Layouts, EveryPageReadsTheSameAfterAnyOtherPageOfItsDocument)
{
    QTemporaryDir dir;
    const QString one = dir.filePath(QStringLiteral("one.tif")), all = dir.filePath(QStringLiteral("all.tif"));
    std::vector<QImage> alone, aloneReduced;
    for (const Layout &l : layouts(false)) {
        writePage(one, l);
        if (rgbaReader(one).isNull())
            continue;
        auto doc = QelPageDocument::create();
        try {
            doc->load(one);
            aloneReduced.push_back(doc->reduced(0, 2));
            alone.push_back(doc->image(0));
        } catch (const VbError &e) {
            ADD_FAILURE() << l.name() << ": " << e.description.toStdString();
            continue;
        }
        writePage(all, l, 0, false, alone.size() > 1);
    }
    const int n = int(alone.size());
    for (int pass = 0; pass < 2; ++pass) {
        auto doc = QelPageDocument::create();
        doc->load(all);
        ASSERT_EQ(doc->pageCount(), n);
        for (int k = 0; k < n; ++k) {
            const int i = pass ? n - 1 - k : k;
            SCOPED_TRACE(testing::Message() << "page " << i << (pass ? " backwards" : ""));
            try {
                EXPECT_EQ(maxDiff(doc->reduced(i, 2), aloneReduced[size_t(i)]), 0);
                EXPECT_EQ(maxDiff(doc->image(i), alone[size_t(i)]), 0);
            } catch (const VbError &e) {
                ADD_FAILURE() << e.description.toStdString();
            }
        }
    }
}

double residentMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().split(' ').value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

// Letter pages without a row reader of their own opened, shown whole and reduced, and closed,
// again and again: what is held with no document open stays where it was.
TEST(Layouts, OpeningAndClosingAgainHoldsNoMoreMemory)
{
#ifdef __SANITIZE_ADDRESS__
    // the sanitizer holds freed memory back (its quarantine), so what stays resident says nothing
    GTEST_SKIP() << "resident memory is not measured under AddressSanitizer";
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("palette.tif"));
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "w");
    ASSERT_NE(t, nullptr);
    std::vector<uint16_t> map(3 * 256);
    for (size_t i = 0; i < map.size(); ++i)
        map[i] = uint16_t((i % 256) * 257);
    std::vector<uint8_t> row(2550);
    for (int p = 0; p < 3; ++p) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(2550));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(3300));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_PALETTE));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(25));
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
        for (uint32_t y = 0; y < 3300; ++y) {
            for (size_t x = 0; x < row.size(); ++x)
                row[x] = uint8_t((x / 40 + y / 40 + size_t(p)) % 2 ? 240 : 20);
            TIFFWriteScanline(t, row.data(), y, 0);
        }
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    auto doc = QelPageDocument::create();
    auto cycle = [&] {
        doc->load(path);
        for (int i = 0; i < doc->pageCount(); ++i) {
            doc->reduced(i, 4);
            doc->image(i);
        }
        doc->clear();
    };
    cycle();
    cycle();
    const double settled = residentMb();
    for (int i = 0; i < 5; ++i)
        cycle();
    EXPECT_LT(residentMb() - settled, 30.0) << "resident " << settled << " MB after two cycles";
}

} // namespace

namespace {

// A padded palette page of any depth, orientation or turn keeps its map and depth: the canvas
// takes the entry nearest white when one is within a few shades of it (a tinted paper), else
// white is added to the map at twice the depth; an 8-bit map without such an entry is stored as
// colour on white.
TEST(Layouts, APaddedPalettePageStaysPaletteOnItsLightestShade)
{
    struct Case {
        const char *name;
        uint16_t bps;
        int r, g, b; // the map's last entry
        uint16_t storedBps; // 0: stored as colour
        QRgb canvas;
        uint16_t orientation = ORIENTATION_TOPLEFT;
        int turns = 0; // quarter turns before the store
    } const cases[] = {
        {"white", 8, 255, 255, 255, 8, qRgb(255, 255, 255)},
        {"tinted", 8, 255, 249, 229, 8, qRgb(255, 249, 229)},
        {"dark", 8, 120, 120, 120, 0, qRgb(255, 255, 255)},
        {"white 4-bit", 4, 255, 255, 255, 4, qRgb(255, 255, 255)},
        {"tinted 2-bit", 2, 255, 249, 229, 2, qRgb(255, 249, 229)},
        {"white 1-bit", 1, 255, 255, 255, 1, qRgb(255, 255, 255)},
        {"dark 4-bit", 4, 120, 120, 120, 8, qRgb(255, 255, 255)},
        {"dark 2-bit", 2, 120, 120, 120, 4, qRgb(255, 255, 255)},
        {"dark 1-bit", 1, 120, 120, 120, 2, qRgb(255, 255, 255)},
        {"white 4-bit turned", 4, 255, 255, 255, 4, qRgb(255, 255, 255), ORIENTATION_TOPLEFT, 1},
        {"tinted 8-bit orientation 6", 8, 255, 249, 229, 8, qRgb(255, 249, 229), ORIENTATION_RIGHTTOP},
        {"white 2-bit orientation 3 turned", 2, 255, 255, 255, 2, qRgb(255, 255, 255), ORIENTATION_BOTRIGHT, 3},
        {"dark 4-bit orientation 8 turned", 4, 120, 120, 120, 8, qRgb(255, 255, 255), ORIENTATION_LEFTBOT, 2},
        {"dark 8-bit turned", 8, 120, 120, 120, 0, qRgb(255, 255, 255), ORIENTATION_TOPLEFT, 1},
    };
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("p.tif")), out = dir.filePath(QStringLiteral("o.tif"));
    const QString plain = dir.filePath(QStringLiteral("plain.tif"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t w = 45, h = 20;
        const int n = 1 << c.bps;
        std::vector<uint16_t> map(3 * size_t(n));
        for (int i = 0; i < n; ++i)
            map[size_t(i)] = map[size_t(n + i)] = map[size_t(2 * n + i)] = uint16_t(std::min(i * 37, 100) * 257);
        map[size_t(n - 1)] = uint16_t(c.r * 257);
        map[size_t(2 * n - 1)] = uint16_t(c.g * 257);
        map[size_t(3 * n - 1)] = uint16_t(c.b * 257);
        auto write = [&](const QString &path, uint16_t orientation) {
            TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "w");
            ASSERT_NE(t, nullptr);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, c.bps);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_PALETTE));
            TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
            TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
            TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
            std::vector<uint8_t> row((w * c.bps + 7) / 8);
            for (uint32_t y = 0; y < h; ++y) {
                std::fill(row.begin(), row.end(), uint8_t(0));
                for (uint32_t x = 0; x < w; ++x) {
                    const uint32_t index = (x + y) % 3 ? uint32_t(n - 1) : (x + 2 * y) % uint32_t(std::max(1, n - 1));
                    row[x * c.bps / 8] |= uint8_t(index << (8 - c.bps - x * c.bps % 8));
                }
                TIFFWriteScanline(t, row.data(), y, 0);
            }
            TIFFWriteDirectory(t);
            TIFFClose(t);
        };
        write(src, c.orientation);
        write(plain, ORIENTATION_TOPLEFT);
        const QImage page = shown(rgbaReader(plain), c.orientation).transformed(QTransform().rotate(90.0 * c.turns));
        auto doc = QelPageDocument::create();
        doc->load(src);
        doc->image(0); // held decoded: still written from its rows
        doc->setQuarterTurns(0, c.turns);
        QelSaveOptions aligned;
        aligned.alignTo = 8;
        doc->save(out, aligned);
        EXPECT_EQ(fieldOf(out, TIFFTAG_PHOTOMETRIC), c.storedBps ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
        EXPECT_EQ(fieldOf(out, TIFFTAG_BITSPERSAMPLE), c.storedBps ? c.storedBps : 8);
        const QImage stored = rgbaReader(out);
        const QSize canvas((page.width() + 7) / 8 * 8, (page.height() + 7) / 8 * 8);
        ASSERT_EQ(stored.size(), canvas);
        EXPECT_EQ(maxDiff(stored.copy(0, 0, page.width(), page.height()), page), 0);
        EXPECT_EQ(stored.pixel(canvas.width() - 1, 3), c.canvas);
        EXPECT_EQ(stored.pixel(2, canvas.height() - 1), c.canvas);
        // upright afterwards, as stored
        EXPECT_EQ(maxDiff(doc->image(0).copy(0, 0, page.width(), page.height()), page), 0);
    }
}

} // namespace

namespace {

// A clean page (paper of one shade, a few lines of text) that needs padding is written again
// near its scan's size, grey, colour or palette: LZW restarts its code at each strip, and a
// page cut in short strips grows two or three times.
TEST(Layouts, ACleanPageWrittenAgainKeepsNearItsScansSize)
{
    struct Case {
        const char *name;
        uint16_t photometric, spp;
        double most; // times the scan's size (64 KB strips: 1.6, 2.3, 1.9)
    } const cases[] = {
        {"grey", PHOTOMETRIC_MINISBLACK, 1, 1.4},
        {"colour", PHOTOMETRIC_RGB, 3, 1.8},
        {"palette", PHOTOMETRIC_PALETTE, 1, 1.6},
    };
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("scan.tif")), out = dir.filePath(QStringLiteral("stored.tif"));
    const uint32_t w = 1275, h = 1650; // letter at 150 dpi, 3 pixels short of a multiple of 8
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TIFF *t = TIFFOpen(src.toLocal8Bit().constData(), "w");
        ASSERT_NE(t, nullptr);
        for (int page = 0; page < 2; ++page) {
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, c.spp);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, c.photometric);
            TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
            TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(c.photometric == PHOTOMETRIC_PALETTE ? 1 : 2));
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h); // a scanner's page in one strip
            std::vector<uint16_t> map(3 * 256);
            for (size_t i = 0; i < map.size(); ++i)
                map[i] = uint16_t((i % 256) * 257);
            if (c.photometric == PHOTOMETRIC_PALETTE)
                TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
            std::vector<uint8_t> row(size_t(w) * c.spp);
            for (uint32_t y = 0; y < h; ++y) {
                const bool text = y % 35 < 9 && y > 150 && y < h - 150;
                for (uint32_t x = 0; x < w; ++x)
                    for (uint16_t s = 0; s < c.spp; ++s)
                        row[size_t(x) * c.spp + s] = uint8_t(text && x > 150 && x < w - 150 && (x / 23 + y / 35) % 4 ? 30 : 240);
                TIFFWriteScanline(t, row.data(), y, 0);
            }
            TIFFWriteDirectory(t);
        }
        TIFFClose(t);
        auto doc = QelPageDocument::create();
        doc->load(src);
        QelSaveOptions aligned;
        aligned.alignTo = 8;
        doc->save(out, aligned);
        auto back = QelPageDocument::create();
        back->load(out);
        ASSERT_EQ(back->pageCount(), 2);
        EXPECT_EQ(back->info(1).width, 1280);
        EXPECT_EQ(maxDiff(back->image(0).copy(0, 0, int(w), int(h)), rgbaReader(src)), 0);
        const double grown = double(QFileInfo(out).size()) / double(QFileInfo(src).size());
        EXPECT_LT(grown, c.most) << QFileInfo(src).size() << " -> " << QFileInfo(out).size();
    }
}

} // namespace
