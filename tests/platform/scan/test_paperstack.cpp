// The demo scanner (paperstack) through SANE's dll backend and the session: stacks of page images
// drawn at random (sizes, resolutions, file kinds, backs or none), scanned at random settings.
// Every side arrives once and in stack order, at the area and resolution asked for, with its mark
// where its page put it and white beyond the paper (a fed sheet's frame ends with the paper); the
// feeder runs empty with the stack; a jam or an open cover stops before its sheet and the next
// scan goes on with it.
#include "platform/scan/sanesession.h"
#include "platform/vb/vberror.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace {

struct Side {
    bool exists = true;
    double dpi = 200, width = 8.5, length = 11;  // the page, inches
    double markX = 0, markY = 0;                 // a 0.5 in black square, inches from top left
};

// One side as a file of the given kind: 0 grey TIFF, 1 bilevel G4 TIFF, 2 RGB TIFF, 3 PGM, 4 PBM,
// 5 PPM (files without a resolution count as 200 dpi).
void writeSide(const QString &path, const Side &s, int kind)
{
    const int w = int(s.width * s.dpi), h = int(s.length * s.dpi);
    QImage page(w, h, QImage::Format_Grayscale8);
    page.fill(235);
    const int m = int(0.5 * s.dpi);
    for (int y = int(s.markY * s.dpi); y < int(s.markY * s.dpi) + m; ++y)
        std::fill_n(page.scanLine(y) + int(s.markX * s.dpi), m, uchar(20));
    if (kind >= 3) {
        const char *format[] = {"PGM", "PBM", "PPM"};
        const QImage out = kind == 4 ? page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
                         : kind == 5 ? page.convertToFormat(QImage::Format_RGB888)
                                     : page;
        ASSERT_TRUE(out.save(path, format[kind - 3]));
        return;
    }
    TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "w");
    ASSERT_NE(tif, nullptr);
    const int spp = kind == 2 ? 3 : 1;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, kind == 1 ? 1 : 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, kind == 1 ? PHOTOMETRIC_MINISWHITE : kind == 2 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, kind == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(s.dpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(s.dpi));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<uchar> row(size_t(w) * spp);
    for (int y = 0; y < h; ++y) {
        const uchar *g = page.constScanLine(y);
        std::fill(row.begin(), row.end(), uchar(0));
        for (int x = 0; x < w; ++x) {
            if (kind == 1)
                row[size_t(x / 8)] |= g[x] < 128 ? uchar(0x80 >> (x % 8)) : 0;
            else
                std::fill_n(row.begin() + x * spp, spp, g[x]);
        }
        TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
    }
    TIFFClose(tif);
}

bool dark(const QImage &img, double xIn, double yIn, int dpi)
{
    return qGray(img.pixel(int(xIn * dpi), int(yIn * dpi))) < 128;
}

class Paperstack : public ::testing::Test {
protected:
    void SetUp() override { saved = qgetenv("SANE_CONFIG_DIR"); }
    void TearDown() override { qputenv("SANE_CONFIG_DIR", saved); }
    QByteArray saved;
};

} // namespace

TEST_F(Paperstack, EverySideArrivesInOrderWhereAndAsAskedAndTheFeederRunsEmptyWithTheStack)
{
    QRandomGenerator rng(35);
    for (int round = 0; round < 12; ++round) {
        QTemporaryDir dir;
        const int sheets = 1 + rng.bounded(4);
        const bool duplex = rng.bounded(2);
        const int source = rng.bounded(3) == 0 ? paperSrc::Flatbed : paperSrc::Feeder;
        const int jam = rng.bounded(3) == 0 ? 1 + rng.bounded(sheets) : 0;
        const bool cover = round % 2;  // the fault at that sheet: an open cover, else a jam
        const int dpiChoices[] = {75, 100, 150, 200, 240, 300};
        const int resolution = dpiChoices[rng.bounded(6)];
        const int pixelType = rng.bounded(3);
        const bool legal = rng.bounded(2);
        SCOPED_TRACE(QStringLiteral("round %1: %2 sheets, source %3, duplex %4, fault %5 at %6, %7 dpi, type %8")
                         .arg(round).arg(sheets).arg(source).arg(duplex).arg(cover).arg(jam).arg(resolution).arg(pixelType)
                         .toStdString());

        // The stack: sides in feeding order; a back is missing half the time (a white back).
        QDir(dir.path()).mkdir(QStringLiteral("stack"));
        QList<Side> sides;
        for (int i = 0; i < sheets; ++i) {
            for (int back = 0; back < 2; ++back) {
                Side s;
                const int kind = rng.bounded(6);
                s.exists = back == 0 || rng.bounded(2);
                s.dpi = kind >= 3 ? 200 : dpiChoices[2 + rng.bounded(4)];
                s.width = 4 + rng.bounded(45) / 10.0;
                s.length = 3 + rng.bounded(80) / 10.0;
                const int n = int(sides.size());
                s.markX = 0.3 + 0.9 * (n % 4);
                s.markY = 0.3 + 1.2 * (n / 4);
                if (s.exists)
                    writeSide(dir.filePath(QStringLiteral("stack/%1%2").arg(i, 2, 10, QLatin1Char('0'))
                                               .arg(back ? "-back" : "")) +
                                  (kind >= 3 ? QStringLiteral(".pnm") : QStringLiteral(".tif")),
                              s, kind);
                sides << s;
            }
        }
        QFile conf(dir.filePath(QStringLiteral("paperstack.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("feeder stack\n%1 %2\n").arg(cover ? "cover-open" : "jam").arg(jam).toUtf8());
        conf.close();
        qputenv("SANE_CONFIG_DIR", (dir.path() + u':' + QString::fromLocal8Bit(saved)).toLocal8Bit());

        SaneSession session;
        session.selectSource();
        ASSERT_EQ(session.deviceInfo().name, QStringLiteral("paperstack:feeder"));
        session.setPaperSource(source);
        session.setDuplex(duplex);
        session.setResolution(resolution);
        session.setPixelType(pixelType);
        session.setPageSize(legal ? QStringLiteral("Legal - 8.5 x 14 in") : QStringLiteral("Letter Portrait - 8.5 x 11 in"));

        QList<ScannedPage> pages;
        const ScannerSession::PageSink keep = [&](const ScannedPage &p) { pages << p; };
        int jams = 0;
        for (int call = 0; call < 3 * sheets + 3; ++call) {
            try {
                if (source == paperSrc::Flatbed)
                    session.scanPage(keep);
                else if (session.scanFeeder(keep) == 0)
                    break;
            } catch (const VbError &e) {
                if (e.number == (cover ? scanErr::CoverOpen : scanErr::PaperJam)) {
                    ++jams;
                    EXPECT_EQ(pages.size(), (jam - 1) * (source == paperSrc::Feeder && duplex ? 2 : 1));
                    continue;
                }
                EXPECT_EQ(e.number, scanErr::NoPaper);
                EXPECT_EQ(source, paperSrc::Flatbed) << "only one page at a time says the stack is empty";
                break;
            }
        }
        EXPECT_EQ(jams, jam && (cover || source != paperSrc::Flatbed) ? 1 : 0) << "a flatbed does not jam";

        const bool backs = source == paperSrc::Feeder && duplex;
        ASSERT_EQ(pages.size(), sheets * (backs ? 2 : 1));
        for (int k = 0; k < pages.size(); ++k) {
            const Side &s = sides[backs ? k : 2 * k];
            const QImage &img = pages[k].image;
            SCOPED_TRACE(k);
            EXPECT_EQ(pages[k].resolution, resolution);
            EXPECT_EQ(pages[k].side, backs ? k % 2 : 0);
            ASSERT_EQ(img.width(), session.regionWidth());
            // A fed sheet ends with its paper (a white back with its front); the flatbed scans
            // the whole area.
            const Side &paper = s.exists ? s : sides[backs ? k - k % 2 : 2 * k];
            const double inches = int(paper.length * paper.dpi) / paper.dpi;
            ASSERT_EQ(img.height(), source == paperSrc::Flatbed
                                        ? session.regionLength()
                                        : std::min(session.regionLength(), int(std::ceil(inches * resolution - 0.01))));
            EXPECT_EQ(img.format(), pixelType == pixelKind::Bilevel ? QImage::Format_Mono
                                    : pixelType == pixelKind::Grey  ? QImage::Format_Grayscale8
                                                                    : QImage::Format_RGB888);
            // Its own mark where the page has it, none where the other sides have theirs.
            for (int other = 0; other < sides.size(); ++other) {
                const Side &o = sides[other];
                const bool mine = &o == &s && s.exists;
                if (o.markX + 0.25 < s.width && o.markY + 0.25 < s.length) {
                    EXPECT_EQ(dark(img, o.markX + 0.25, o.markY + 0.25, resolution), mine) << other;
                }
            }
            // White beyond the paper.
            if (s.width + 0.2 < 8.5) {
                EXPECT_FALSE(dark(img, s.width + 0.1, 0.55, resolution));
            }
            if (s.length + 0.2 < img.height() / double(resolution)) {
                EXPECT_FALSE(dark(img, 0.55, s.length + 0.1, resolution));
            }
        }
    }
}
