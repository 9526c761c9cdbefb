#include "platform/imaging/tiffcodec.h"
#include "platform/toolkit/imagingtoolkit.h"
#include "support/checks.h"
#include "support/scratchmount.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <vector>

namespace {

QImage mono(int w, int h)
{
    QImage img(w, h, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    return img;
}

QString tiffinfo(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    p.waitForFinished(30000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Four pages: bilevel 1701x2200 and 1696x2199 at 200 dpi, grey 31x32 and colour 40x30.
class ToolkitFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        QImage a = mono(1701, 2200);
        a.setPixel(1700, 0, 1);        // last column
        a.setPixel(0, 2199, 1);        // last row
        a.scanLine(5)[212] |= 0x07;    // padding bits behind the last column hold junk
        QImage b = mono(1696, 2199);
        b.setPixel(1695, 2198, 1);
        QImage g(31, 32, QImage::Format_Grayscale8);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 31; ++x)
                g.scanLine(y)[x] = uchar(x * 8 + y);
        QImage c(40, 30, QImage::Format_RGB888);
        c.fill(QColor(10, 200, 30));
        c.setPixelColor(39, 29, QColor(1, 2, 3));
        pages = {a, b, g, c};
        std::vector<tiffcodec::OutPage> out;
        for (const QImage &p : pages) {
            tiffcodec::OutPage o;
            o.image = p;
            o.xDpi = o.yDpi = 200;
            out.push_back(o);
        }
        path = dir.filePath(QStringLiteral("doc.tif"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(tiffcodec::write(out));
    }
    QTemporaryDir dir;
    QString path;
    std::vector<QImage> pages;
};

} // namespace

// A bilevel page stored black-is-0 (a set bit is white), as some scanners write G4.
void appendBlackIsZero(const QString &path, const QImage &page)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "a");
    ASSERT_TRUE(t);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(page.width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(page.height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
    TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(page.height()));
    std::vector<uchar> row(size_t(page.bytesPerLine()));
    for (int y = 0; y < page.height(); ++y) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = uchar(~page.constScanLine(y)[i]);
        TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFWriteDirectory(t);
    TIFFClose(t);
}

// Every page kind padded to multiples of 8 the way byte alignment does it: the old pixels stay,
// the new ones are white, each padded page is decoded once while it is written and a page that
// needs nothing is not decoded at all.
TEST_F(ToolkitFile, ByteAlignPaddingKeepsPixelsAndFillsWhite)
{
    QImage e = mono(29, 16); // black-is-0
    e.setPixel(28, 0, 1);
    e.setPixel(0, 15, 1);
    appendBlackIsZero(path, e);
    pages.push_back(e);
    pages.push_back(mono(16, 16)); // already aligned
    appendBlackIsZero(path, pages.back());

    ImagingToolkit tk;
    tk.open(path, 0, QString());
    ASSERT_EQ(tk.pageCount(), 6);
    const unsigned white = tk.makeColor(16777215, 255);
    // 1701 x 2200 becomes 1704 x 2200; 1696 x 2199 becomes 1696 x 2200.
    const QSize padded[] = {{1704, 2200}, {1696, 2200}, {32, 32}, {40, 32}, {32, 16}, {16, 16}};
    for (int i = 0; i < 6; ++i) {
        tk.selectPage(i);
        EXPECT_EQ(QSize(tk.width(), tk.height()), pages[size_t(i)].size());
        if (padded[i] == pages[size_t(i)].size())
            continue;
        tk.resizeCanvas(padded[i].width(), padded[i].height(), white, 0, 0, QString());
        EXPECT_EQ(QSize(tk.width(), tk.height()), padded[i]);
    }
    const qint64 before = tiffcodec::decodeCount();
    tk.save(path, 3, 0, true);
    EXPECT_EQ(tiffcodec::decodeCount() - before, 5);

    ImagingToolkit back;
    back.open(path, 0, QString());
    ASSERT_EQ(back.pageCount(), 6);
    for (int i = 0; i < 6; ++i) {
        back.selectPage(i);
        const QImage was = pages[size_t(i)].convertToFormat(QImage::Format_RGB32);
        const QImage now = back.pageImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(now.size(), padded[i]) << i;
        for (int y = 0; y < now.height(); ++y)
            for (int x = 0; x < now.width(); ++x) {
                const QRgb want = x < was.width() && y < was.height() ? was.pixel(x, y) : qRgb(255, 255, 255);
                if (now.pixel(x, y) != want)
                    FAIL() << "page " << i << " at " << x << "," << y; // junk padding bits never become ink
            }
    }
    back.selectPage(0);
    EXPECT_NEAR(back.pageImage().dotsPerMeterX() * 0.0254, 200, 0.5);

    const QString info = tiffinfo(path);
    EXPECT_EQ(info.count(QStringLiteral("TIFF Directory")), 6) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Image Width: 1704 Image Length: 2200")));
    EXPECT_TRUE(info.contains(QStringLiteral("Image Width: 1696 Image Length: 2200")));
    EXPECT_EQ(info.count(QStringLiteral("CCITT Group 4")), 4);
    EXPECT_EQ(info.count(QStringLiteral("min-is-black")), 3); // the grey page and the two stored so
    EXPECT_TRUE(info.contains(QStringLiteral("Resolution: 200, 200")));
}

TEST_F(ToolkitFile, ResizeFillsColourAndShrinks)
{
    ImagingToolkit tk;
    tk.open(path);
    tk.selectPage(3);
    tk.resizeCanvas(42, 31, tk.makeColor(255, 255)); // red, as an RGB value with red in the low byte
    QImage c = tk.pageImage();
    EXPECT_EQ(c.pixelColor(41, 30), QColor(255, 0, 0));
    EXPECT_EQ(c.pixelColor(39, 29), QColor(1, 2, 3));
    tk.selectPage(2);
    tk.resizeCanvas(10, 40, tk.makeColor(0, 255)); // narrower, taller, black below
    QImage g = tk.pageImage();
    EXPECT_EQ(g.scanLine(31)[9], pages[2].scanLine(31)[9]);
    EXPECT_EQ(g.scanLine(39)[0], 0);
    tk.selectPage(0);
    tk.resizeCanvas(1710, 2200, tk.makeColor(0, 255)); // black on a bilevel page is ink
    EXPECT_EQ(tk.pageImage().pixelIndex(1705, 10), 1);
    EXPECT_EQ(tk.pageImage().pixelIndex(1699, 10), 0);
    EXPECT_EQ(errorOf([&] { tk.resizeCanvas(0, 10, 0); }), vbErr::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { tk.makeColor(0x1000000, 255); }), vbErr::InvalidProcedureCall);
}

TEST_F(ToolkitFile, CropCutsTheSelectedPageOnly)
{
    ImagingToolkit tk;
    tk.open(path, 0, QString());
    tk.selectPage(2);
    tk.crop(5, 6, 10, 12, QString());
    tk.selectPage(0);
    tk.crop(1690, 2190, 100, 100, QString()); // runs off the page: clipped
    tk.save(path, 3, 0, true);

    ImagingToolkit back;
    back.open(path);
    back.selectPage(2);
    const QImage g = back.pageImage();
    ASSERT_EQ(g.size(), QSize(10, 12));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(g.scanLine(y)[x], pages[2].scanLine(y + 6)[x + 5]) << x << "," << y;
    back.selectPage(0);
    const QImage a = back.pageImage();
    ASSERT_EQ(a.size(), QSize(11, 10));
    EXPECT_EQ(a.pixelIndex(10, 0), 0);
    EXPECT_EQ(a.pixelIndex(0, 9), 0);
    back.selectPage(1);
    EXPECT_EQ(back.pageImage().size(), QSize(1696, 2199));

    EXPECT_EQ(errorOf([&] { back.crop(5000, 0, 10, 10); }), vbErr::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { back.crop(0, 0, 0, 10); }), vbErr::InvalidProcedureCall);
}

TEST_F(ToolkitFile, RefusesBadCalls)
{
    ImagingToolkit tk;
    EXPECT_EQ(errorOf([&] { tk.width(); }), vbErr::ObjectVariableNotSet);
    EXPECT_EQ(errorOf([&] { tk.open(dir.filePath(QStringLiteral("none.tif"))); }), vbErr::FileNotFound);
    const QString junk = dir.filePath(QStringLiteral("junk.tif"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("II*\0 not a tiff at all", 22);
    f.close();
    EXPECT_EQ(errorOf([&] { tk.open(junk); }), 321);
    tk.open(path);
    EXPECT_EQ(errorOf([&] { tk.selectPage(4); }), vbErr::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { tk.selectPage(-1); }), vbErr::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { tk.save(path, 3, 0, false); }), vbErr::FileAlreadyExists);
    EXPECT_EQ(errorOf([&] { tk.save(dir.filePath(QStringLiteral("x.bmp")), 1, 0, true); }), vbErr::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { tk.save(dir.filePath(QStringLiteral("no/such/dir.tif")), 3, 0, true); }), vbErr::PathFileAccessError);
}

// A write onto a full disk says "Disk full", whichever layer writes the image, and leaves
// nothing of its own behind.
TEST_F(ToolkitFile, AFullDiskIsDiskFull)
{
    const QString full = dir.filePath(QStringLiteral("full"));
    ASSERT_TRUE(QDir().mkpath(full));
    ScratchMount mount(full, 64 * 1024, false, [](const QString &folder) {
        QFile f(folder + QStringLiteral("/filler"));
        if (f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (f.write(QByteArray(4096, 'x')) == 4096) {
            }
    });
    if (!mount.ok())
        GTEST_SKIP() << mount.why().toStdString();
    ImagingToolkit tk;
    tk.open(path);
    tiffcodec::OutPage page;
    page.image = pages[0];
    page.xDpi = page.yDpi = 200;
    const struct {
        const char *writer;
        std::function<void()> write;
    } rows[] = {
        {"toolkit", [&] { tk.save(full + QStringLiteral("/tk.tif"), 3, 0, true); }},
        {"imaging", [&] { tiffcodec::write(full + QStringLiteral("/im.tif"), {page}); }},
    };
    for (const auto &r : rows)
        EXPECT_EQ(errorOf(r.write), vbErr::DiskFull) << r.writer;
    EXPECT_EQ(QDir(full).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("filler")});
}
