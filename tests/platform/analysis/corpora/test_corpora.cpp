// The blank verdict over the pages drawn outside the project (tests/data/corpora): 20 scans kept
// as TIFFs, and the 81 and 68 pages the office corpora's generators draw before this test, each with the
// verdict an office expects (C content, B blank, ? either). At the default sensitivity no content
// page is judged blank; at every sensitivity the verdicts rise monotonely. How many content
// pages each sensitivity would remove, and how many blanks it would keep, are printed per corpus.
#include "support/analysischains.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <iostream>

namespace {

// A bilevel, grey or colour TIFF as the filters take it (JPEG-compressed colour as RGB).
QImage readTiff(const QString &path)
{
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!t)
        return {};
    uint32_t w = 0, h = 0;
    uint16_t bits = 1, samples = 1, photometric = 0;
    float xres = 200, yres = 200;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres);
    TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres);
    if (photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    QImage img(int(w), int(h), bits == 1 ? QImage::Format_Mono : samples == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (bits == 1)
        img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(t, img.scanLine(int(y)), y) < 0) {
            TIFFClose(t);
            return {};
        }
        if (bits == 1 && photometric == PHOTOMETRIC_MINISBLACK)
            for (qsizetype i = 0; i < img.bytesPerLine(); ++i)
                img.scanLine(int(y))[i] ^= 0xFF;
    }
    img.setDotsPerMeterX(int(xres / 0.0254 + 0.5));
    img.setDotsPerMeterY(int(yres / 0.0254 + 0.5));
    TIFFClose(t);
    return img;
}

struct Page {
    QString name;
    char expected; // C, B or ?
};

QString sourceDir() { return qEnvironmentVariable("QUORLA_SOURCE_DIR") + QStringLiteral("/tests/data/corpora/"); }

void judge(const QString &corpus, const QString &folder, const std::vector<Page> &pages)
{
    std::array<int, 10> lost{}, keptAt{};
    int blanks = 0, kept = 0;
    for (const Page &page : pages) {
        const QImage scan = readTiff(folder + page.name + QStringLiteral(".tif"));
        ASSERT_FALSE(scan.isNull()) << page.name.toStdString();
        const std::string verdicts = blankVerdicts(scan);
        for (int s = 0; s <= 9; ++s) {
            lost[size_t(s)] += page.expected == 'C' && verdicts[size_t(s)] == 'B';
            keptAt[size_t(s)] += page.expected == 'B' && verdicts[size_t(s)] == 'c';
        }
        const std::string row = corpus.toStdString() + " " + page.name.toStdString() + ": " + verdicts;
        if (page.expected == 'C')
            EXPECT_EQ(verdicts[3], 'c') << row;
        if (page.expected == 'B' && ++blanks && verdicts[3] == 'c') {
            ++kept;
            std::cout << "kept " << row << '\n';
        }
        EXPECT_TRUE(risesMonotonely(verdicts)) << row;
    }
    std::cout << corpus.toStdString() << ": " << kept << " of " << blanks << " blanks kept at the default; content pages judged blank at sensitivity 0-9:";
    for (int n : lost)
        std::cout << ' ' << n;
    std::cout << "; blanks kept at 0-9:";
    for (int n : keptAt)
        std::cout << ' ' << n;
    std::cout << '\n';
}

} // namespace

TEST(Corpora, Scans19)
{
    std::vector<Page> pages;
    const QDir dir(sourceDir() + QStringLiteral("scans19"));
    for (const QString &file : dir.entryList({QStringLiteral("*.tif")}, QDir::Files, QDir::Name))
        pages.push_back({file.chopped(4), file.startsWith(u'b') ? 'B' : 'C'});
    ASSERT_EQ(pages.size(), 20u);
    judge(QStringLiteral("scans19"), dir.path() + u'/', pages);
}

TEST(Corpora, Office81)
{
    QFile list(sourceDir() + QStringLiteral("office81/expected.txt"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&list);
    std::vector<Page> pages;
    in.readLine(); // the names of the columns
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(u'\t');
        if (fields.size() >= 2 && !fields[1].isEmpty())
            pages.push_back({fields[0], char(fields[1][0].toLatin1())});
    }
    ASSERT_EQ(pages.size(), 81u);
    judge(QStringLiteral("office81"), qEnvironmentVariable("QUORLA_BUILD_DIR") + QStringLiteral("/corpora/office81/"), pages);
}

TEST(Corpora, Office68)
{
    QFile list(sourceDir() + QStringLiteral("office68/jobs.txt"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&list);
    std::vector<Page> pages;
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(u' ', Qt::SkipEmptyParts);
        if (fields.size() < 2)
            continue;
        const QString &name = fields[1];
        // A threshold erases faint pencil: either verdict.
        const char expected = name.startsWith(u'b') ? 'B' : name.startsWith(QStringLiteral("c_pencil_faint_")) && name.endsWith(QStringLiteral("_bi")) ? '?' : 'C';
        pages.push_back({name, expected});
    }
    ASSERT_EQ(pages.size(), 68u);
    judge(QStringLiteral("office68"), qEnvironmentVariable("QUORLA_BUILD_DIR") + QStringLiteral("/corpora/office68/"), pages);
}
