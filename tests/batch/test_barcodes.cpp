#include <gtest/gtest.h>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include "batch/barcodes.h"
#include "batch_env.h"
#include "platform/analysis/ip2.h"
#include "platform/imaging/qelezimage.h"

namespace {

// A letter page at 200 dpi with Code 128 symbols drawn at the given top-left corners.
QImage coverSheet(const QList<QPair<std::string, QPoint>> &codes)
{
    QImage page(1700, 2200, QImage::Format_Grayscale8);
    page.fill(255);
    for (const auto &code : codes) {
        ZXing::MultiFormatWriter writer(ZXing::BarcodeFormat::Code128);
        writer.setMargin(0);
        const ZXing::BitMatrix m = writer.encode(code.first, 0, 0);
        const int scale = 3;
        for (int r = 0; r < 120; ++r)
            for (int c = 0; c < m.width() * scale; ++c)
                if (m.get(c / scale, 0))
                    page.setPixel(code.second.x() + c, code.second.y() + r, 0);
    }
    QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(7874);
    mono.setDotsPerMeterY(7874);
    return mono;
}

IP2Barcode code(const QString &text, int l, int t, int w, int h)
{
    return IP2Barcode(text, l, t, w, h, 0, QStringLiteral("Code128"));
}

} // namespace

TEST(CleanBarcodeText, LineEndsBecomeBackslashN)
{
    const struct {
        QString in, out;
    } cases[] = {
        {"", ""},
        {"1234567890123\r\n", "1234567890123\\n"},
        {"a\nb", "ab"},
        {"a\r\rb", "a\\n\\nb"},
        {"plain", "plain"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IP2::cleanBarcodeText(c.in), c.out) << c.in.toStdString();
    EXPECT_EQ(IP2::cleanBarcodeText(QStringLiteral("1234567890123\r\n")).size(), 15);
}

TEST(ReadBarcodeResults, RecordsFollowTheResultsNamedBarcode)
{
    IP2Image none;
    std::vector<BarcodeRecord> records(5);
    EXPECT_FALSE(IP2::readBarcodeResults(none, records));
    EXPECT_EQ(records.size(), 1u);

    IP2Image image;
    image.results().add(QStringLiteral("Blank"), 0);
    image.results().add(QStringLiteral("Barcode"), QVariant::fromValue(code("A\r", 10, 20, 30, 40)));
    image.results().add(QStringLiteral("barcode"), QVariant::fromValue(code("lower", 0, 0, 1, 1)));
    image.results().add(QStringLiteral("Barcode"), QVariant::fromValue(code("B", 1, 2, 3, 4)));
    ASSERT_TRUE(IP2::readBarcodeResults(image, records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Text, QStringLiteral("A\\n"));
    EXPECT_EQ(records[0].Left, 10);
    EXPECT_EQ(records[0].Top, 20);
    EXPECT_EQ(records[0].Right, 40);
    EXPECT_EQ(records[0].Bottom, 60);
    EXPECT_EQ(records[1].Text, QStringLiteral("B"));
    EXPECT_EQ(records[1].Right, 4);

    IP2Image onlyLower;
    onlyLower.results().add(QStringLiteral("barcode"), QVariant::fromValue(code("x", 0, 0, 1, 1)));
    EXPECT_FALSE(IP2::readBarcodeResults(onlyLower, records));
}

TEST(DetectBarcode, ReadsInsideTheZoneOnly)
{
    BatchEnv env;
    QelEzImage control;
    EXPECT_EQ(DetectBarcode(control), QString()) << "no image";

    control.appendPage(coverSheet({}));
    control.appendPage(coverSheet({{"BK1234PG56", QPoint(200, 1200)}}));
    // Above the zone (which starts 5in down): not read.
    control.appendPage(coverSheet({{"OUTSIDE", QPoint(200, 300)}}));
    const QString expected[] = {"", "BK1234PG56", ""};
    for (int p = 1; p <= 3; ++p) {
        control.setPage(p);
        EXPECT_EQ(DetectBarcode(control), expected[p - 1]) << p;
    }
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST(DetectBarcode, TwoBarcodesGiveTheLastListed)
{
    BatchEnv env;
    QelEzImage control;
    control.appendPage(coverSheet({{"FIRST01", QPoint(150, 1100)}, {"SECOND2", QPoint(150, 1400)}}));
    // Which one comes last is the reader's order; read it from the reader itself.
    IP2BarcodeReader reader;
    IP2Image out(control.pageImage());
    reader.apply(out);
    ASSERT_EQ(out.results().count(), 2);
    const QString last = out.results().item(2).value().value<IP2Barcode>().text();
    EXPECT_EQ(DetectBarcode(control), last);
}
