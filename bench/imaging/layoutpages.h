#pragma once
// Scanned-looking pages written in any layout libtiff writes, for the benchmarks: paper with a
// little noise, forty lines of dark strokes and a picture block (tinted on colour layouts),
// stored in the samples, depth, coding, strips or tiles, planes and orientation asked for.
#include <tiffio.h>

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

struct PageLayout {
    std::string name;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK, bps = 8, spp = 1;
    bool alpha = false; // the last sample is (unassociated) alpha
    uint16_t compression = COMPRESSION_LZW, predictor = PREDICTOR_NONE;
    bool tiled = false, planar = false;
    uint16_t orientation = ORIENTATION_TOPLEFT;
};

// The layouts an office's share may hold, by name: photometric and depth ("pal1" .. "pal8",
// "grey1" .. "grey16", "white1", "white8", "rgb8", "rgb16", "rgba8", "rgba16", "cmyk8", "lab8",
// "jpeg", "jpeggrey"), then options: "-tiles", "-planar", "-o2" .. "-o8", "-zip", "-none",
// "-packbits". Bilevel pages are G4, JPEG pages JPEG, the others LZW (with the predictor from 8
// bits on). False for a name it does not know.
inline bool parseLayout(const std::string &recipe, PageLayout &l)
{
    l = PageLayout{};
    l.name = recipe;
    std::string base = recipe.substr(0, recipe.find('-'));
    struct Base {
        const char *name;
        uint16_t photometric, bps, spp;
        bool alpha;
    };
    static const Base bases[] = {
        {"pal1", PHOTOMETRIC_PALETTE, 1, 1, false},     {"pal2", PHOTOMETRIC_PALETTE, 2, 1, false},
        {"pal4", PHOTOMETRIC_PALETTE, 4, 1, false},     {"pal8", PHOTOMETRIC_PALETTE, 8, 1, false},
        {"grey1", PHOTOMETRIC_MINISBLACK, 1, 1, false}, {"white1", PHOTOMETRIC_MINISWHITE, 1, 1, false},
        {"grey2", PHOTOMETRIC_MINISBLACK, 2, 1, false}, {"grey4", PHOTOMETRIC_MINISBLACK, 4, 1, false},
        {"grey8", PHOTOMETRIC_MINISBLACK, 8, 1, false}, {"white8", PHOTOMETRIC_MINISWHITE, 8, 1, false},
        {"grey16", PHOTOMETRIC_MINISBLACK, 16, 1, false}, {"greya8", PHOTOMETRIC_MINISBLACK, 8, 2, true},
        {"rgb8", PHOTOMETRIC_RGB, 8, 3, false},         {"rgb16", PHOTOMETRIC_RGB, 16, 3, false},
        {"rgba8", PHOTOMETRIC_RGB, 8, 4, true},         {"rgba16", PHOTOMETRIC_RGB, 16, 4, true},
        {"cmyk8", PHOTOMETRIC_SEPARATED, 8, 4, false},  {"lab8", PHOTOMETRIC_CIELAB, 8, 3, false},
        {"jpeg", PHOTOMETRIC_YCBCR, 8, 3, false},       {"jpeggrey", PHOTOMETRIC_MINISBLACK, 8, 1, false},
    };
    const Base *b = nullptr;
    for (const Base &x : bases)
        if (base == x.name)
            b = &x;
    if (!b)
        return false;
    l.photometric = b->photometric;
    l.bps = b->bps;
    l.spp = b->spp;
    l.alpha = b->alpha;
    const bool bilevel = l.bps == 1 && l.photometric != PHOTOMETRIC_PALETTE;
    l.compression = bilevel ? COMPRESSION_CCITTFAX4 : base.rfind("jpeg", 0) == 0 ? COMPRESSION_JPEG : COMPRESSION_LZW;
    l.predictor = l.compression == COMPRESSION_LZW && l.bps >= 8 && l.photometric != PHOTOMETRIC_PALETTE
                      ? PREDICTOR_HORIZONTAL
                      : PREDICTOR_NONE;
    for (size_t at = recipe.find('-'); at != std::string::npos;) {
        const size_t next = recipe.find('-', at + 1);
        const std::string opt = recipe.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        if (opt == "tiles")
            l.tiled = true;
        else if (opt == "planar")
            l.planar = l.spp > 1;
        else if (opt.size() == 2 && opt[0] == 'o' && opt[1] >= '1' && opt[1] <= '8')
            l.orientation = uint16_t(opt[1] - '0');
        else if (opt == "zip")
            l.compression = COMPRESSION_ADOBE_DEFLATE;
        else if (opt == "none")
            l.compression = COMPRESSION_NONE, l.predictor = PREDICTOR_NONE;
        else if (opt == "packbits")
            l.compression = COMPRESSION_PACKBITS, l.predictor = PREDICTOR_NONE;
        else
            return false;
        at = next;
    }
    return true;
}

// One page (a new directory of t) of w x h pixels at dpi; variant changes the strokes.
inline void writeLayoutPage(TIFF *t, const PageLayout &l, uint32_t w, uint32_t h, int dpi, int variant)
{
    const bool jpeg = l.compression == COMPRESSION_JPEG;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bps);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.spp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(l.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_ORIENTATION, l.orientation);
    TIFFSetField(t, TIFFTAG_COMPRESSION, l.compression);
    if (l.predictor != PREDICTOR_NONE)
        TIFFSetField(t, TIFFTAG_PREDICTOR, l.predictor);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, float(dpi));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, float(dpi));
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    if (l.alpha) {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    if (l.photometric == PHOTOMETRIC_SEPARATED)
        TIFFSetField(t, TIFFTAG_INKSET, uint16_t(INKSET_CMYK));
    if (jpeg) {
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 75);
        if (l.photometric == PHOTOMETRIC_YCBCR) {
            TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, uint16_t(2), uint16_t(2));
            TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    }
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        // a grey ramp tinted a little, as a scanner's palette mode gives it
        const size_t n = size_t(1) << l.bps;
        std::vector<uint16_t> map(3 * n);
        for (size_t i = 0; i < n; ++i) {
            const double v = double(i) / double(n - 1);
            map[i] = uint16_t(v * 65535);
            map[n + i] = uint16_t(v * 64000);
            map[2 * n + i] = uint16_t(v * 60000);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    // stored sample order: a page whose orientation turns it across stores its rows as columns
    const uint32_t sw = w, sh = h;
    const size_t bitsPerPixel = size_t(l.bps) * (l.planar ? 1 : l.spp);
    const size_t rowBytes = (size_t(sw) * bitsPerPixel + 7) / 8;
    uint32_t tileW = 256, tileH = 256;
    if (l.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, tileW);
        TIFFSetField(t, TIFFTAG_TILELENGTH, tileH);
    } else {
        const uint32_t rps = jpeg ? 64 : std::max<uint32_t>(1, uint32_t(65536 / std::max<size_t>(1, rowBytes)));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::min(rps, sh));
    }

    // the page in 8-bit grey with a tint mask, then each plane's samples from it
    std::mt19937 rng(unsigned(variant * 7919 + int(w)));
    std::vector<uint8_t> grey(size_t(sw) * sh);
    std::vector<uint8_t> tint(size_t(sw) * sh, 0);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = uint8_t(236 + (rng() & 7));
    const double u = dpi / 300.0;
    auto dark = [&](int x0, int y0, int bw, int bh, int level, bool tinted) {
        for (int y = std::max(0, y0); y < std::min(int(sh), y0 + bh); ++y)
            for (int x = std::max(0, x0); x < std::min(int(sw), x0 + bw); ++x) {
                grey[size_t(y) * sw + size_t(x)] = uint8_t(level + (rng() & 15));
                tint[size_t(y) * sw + size_t(x)] = tinted;
            }
    };
    for (int line = 0; line < 40; ++line) {
        const int y = int((300 + line * 70) * u * sh / (3300.0 * u));
        int x = int(300 * u);
        const int end = int(sw) - int((300 + (line * 37 + variant * 11) % 600) * u);
        while (x < end) {
            const int word = int((40 + rng() % 160) * u);
            dark(x, y, std::min(word, end - x), int(18 * u), 30, false);
            x += word + int(22 * u);
        }
    }
    dark(int(1400 * u), int(400 * u), int(700 * u), int(500 * u), 90 + variant * 20, true);

    // sample s of pixel (x, y), as a value of bps bits
    auto sample = [&](uint32_t x, uint32_t y, int s) -> uint32_t {
        const uint8_t g = grey[size_t(y) * sw + x];
        const bool tinted = tint[size_t(y) * sw + x];
        const uint32_t max = (1u << l.bps) - 1;
        auto scaled = [&](int v) { return l.bps == 16 ? uint32_t(v) * 257 + (rng() & 0xff) : uint32_t(v) >> (8 - l.bps); };
        if (l.alpha && s == l.spp - 1)
            return max;
        switch (l.photometric) {
        case PHOTOMETRIC_MINISWHITE:
            return max - scaled(g);
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_PALETTE:
            return scaled(g);
        case PHOTOMETRIC_SEPARATED:
            return s == 3 ? scaled(255 - g) : tinted && s == 0 ? scaled(60) : 0;
        case PHOTOMETRIC_CIELAB:
            return s == 0 ? scaled(g) : tinted ? uint32_t(s == 1 ? 30 : 226) : 0;
        default: // RGB, YCbCr given as RGB
            return scaled(tinted ? std::max(0, g - 40 * s) : g);
        }
    };
    auto packRow = [&](uint32_t y, int plane, uint32_t x0, uint32_t n, uint8_t *out) {
        const int per = l.planar ? 1 : l.spp;
        const size_t bits = size_t(l.bps) * per * n;
        std::memset(out, 0, (bits + 7) / 8);
        size_t bit = 0;
        for (uint32_t x = x0; x < x0 + n; ++x)
            for (int s = 0; s < per; ++s, bit += l.bps) {
                const uint32_t v = x < sw ? sample(x, y, l.planar ? plane : s) : 0;
                if (l.bps == 16) {
                    const uint16_t v16 = uint16_t(v);
                    std::memcpy(out + bit / 8, &v16, 2);
                } else if (l.bps == 8) {
                    out[bit / 8] = uint8_t(v);
                } else {
                    out[bit / 8] |= uint8_t(v << (8 - l.bps - bit % 8));
                }
            }
    };
    const int planes = l.planar ? l.spp : 1;
    if (l.tiled) {
        const size_t tileRow = (size_t(tileW) * bitsPerPixel + 7) / 8;
        std::vector<uint8_t> tile(tileRow * tileH);
        for (int p = 0; p < planes; ++p)
            for (uint32_t ty = 0; ty < sh; ty += tileH)
                for (uint32_t tx = 0; tx < sw; tx += tileW) {
                    std::fill(tile.begin(), tile.end(), uint8_t(0));
                    for (uint32_t y = ty; y < std::min(sh, ty + tileH); ++y)
                        packRow(y, p, tx, tileW, tile.data() + size_t(y - ty) * tileRow);
                    TIFFWriteTile(t, tile.data(), tx, ty, 0, uint16_t(p));
                }
    } else {
        std::vector<uint8_t> row(rowBytes);
        for (int p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < sh; ++y) {
                packRow(y, p, 0, sw, row.data());
                TIFFWriteScanline(t, row.data(), y, uint16_t(p));
            }
    }
    TIFFWriteDirectory(t);
}

// A document of count pages of the layout; false when libtiff cannot write it.
inline bool writeLayoutDocument(const QString &path, const PageLayout &l, int count, uint32_t w, uint32_t h, int dpi)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "w");
    if (!t)
        return false;
    for (int i = 0; i < count; ++i)
        writeLayoutPage(t, l, w, h, dpi, i);
    TIFFClose(t);
    return true;
}
