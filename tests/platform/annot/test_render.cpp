#include "annottest.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QPainter>

#include <random>

namespace {

QImage noisyPage(QImage::Format format, QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    std::mt19937 rng(7);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, qRgb(int(rng() % 256), int(rng() % 256), int(rng() % 256)));
    if (format == QImage::Format_Mono)
        return img.convertToFormat(format, Qt::ThresholdDither);
    return img.convertToFormat(format);
}

// Pixels (as RGB) at which two pages differ.
QRegion changed(const QImage &a, const QImage &b)
{
    QRegion r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                r += QRect(x, y, 1, 1);
    return r;
}

// Bounding box of dark pixels.
QRect ink(const QImage &img)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                r |= QRect(x, y, 1, 1);
    return r;
}

// Fixed measures: every letter 10 pixels wide, lines 20 high, at 96 dpi.
struct FixedMetrics : QelTextMetrics {
    QSize measureLine(const QString &line, const QelAnnotFont &, double dpi) const override
    {
        return QSize(qRound(10 * int(line.size()) * dpi / 96), qRound(20 * dpi / 96));
    }
};

} // namespace

TEST(AnnotBurn, RedactionChangesExactlyTheCoveredPixelsInEveryPageKind)
{
    const QRect cover(13, 7, 31, 17);
    for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_Grayscale8, QImage::Format_RGB888,
                             QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB16,
                             QImage::Format_Grayscale16}) {
        SCOPED_TRACE(int(f));
        const QImage before = noisyPage(f, QSize(64, 40));
        QImage page = before;
        QelAnnotDocument doc;
        doc.add(makeRect(QelAnnotType::Redaction, cover, 0x000000));
        doc.add(makeRect(QelAnnotType::Redaction, QRect(60, 36, 50, 50), 0x000000)); // past the edge
        doc.burnInto(page);
        EXPECT_EQ(page.format(), f);
        EXPECT_EQ(page.colorTable(), before.colorTable());
        const QRegion expected = QRegion(cover) + QRegion(QRect(60, 36, 4, 4));
        // Every pixel outside the items is untouched; every one inside is the darkest there is.
        EXPECT_TRUE((changed(before, page) - expected).isEmpty());
        for (const QRect &r : expected)
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    ASSERT_LT(qGray(page.pixel(x, y)), 40) << x << "," << y;
    }
}

TEST(AnnotBurn, BilevelPolarityIsKept)
{
    QImage page(32, 8, QImage::Format_Mono);
    page.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)}); // 0 is black here
    page.fill(1);
    QelAnnotDocument doc;
    doc.add(makeRect(QelAnnotType::Redaction, QRect(0, 0, 8, 8), 0x000000));
    doc.add(makeRect(QelAnnotType::Rectangle, QRect(16, 0, 8, 8), 0xFFFFFF));
    doc.burnInto(page);
    EXPECT_EQ(page.pixelIndex(3, 3), 0);
    EXPECT_EQ(page.pixelIndex(12, 3), 1);
    EXPECT_EQ(page.pixelIndex(20, 3), 1);
}

TEST(AnnotBurn, TextIsDrawnAtThePageResolutionInsideItsBounds)
{
    auto inkAt = [](double dpi) {
        QelAnnotDocument doc;
        doc.setPageInfo(QSize(1200, 300), dpi, dpi);
        auto t = std::make_unique<QelAnnotTextItem>();
        t->setText(QStringLiteral("HHHH"));
        t->setFont(QelAnnotFont{QStringLiteral("Courier New"), 12, true, false});
        t->moveTo(20, 20);
        t->resize(dpi, dpi);
        const QRect bounds = t->bounds();
        doc.add(std::move(t));
        QImage page(1200, 300, QImage::Format_Grayscale8);
        page.fill(255);
        const QImage before = page;
        doc.burnInto(page);
        EXPECT_TRUE((changed(before, page) - QRegion(bounds)).isEmpty());
        return ink(page);
    };
    const QRect low = inkAt(100);
    const QRect high = inkAt(300);
    ASSERT_FALSE(low.isEmpty());
    // Capital H ink is about 0.6 em high: 12 pt at 300 dpi is 50 px, at 100 dpi 16.7 px.
    EXPECT_NEAR(high.height() / double(low.height()), 3.0, 0.35);
    EXPECT_NEAR(high.width() / double(low.width()), 3.0, 0.35);
}

TEST(AnnotRotate, QuarterTurnsMoveItemsWithThePixels)
{
    const QSize size(90, 60);
    for (int turns = 1; turns <= 3; ++turns) {
        SCOPED_TRACE(turns);
        QelAnnotDocument doc;
        doc.setPageInfo(size, 200, 300);
        doc.add(makeRect(QelAnnotType::Redaction, QRect(5, 7, 20, 11)));
        doc.add(makeRect(QelAnnotType::Redaction, QRect(60, 40, 30, 20)));
        auto t = std::make_unique<QelAnnotTextItem>();
        t->setBounds(QRect(1, 1, 4, 2));
        doc.add(std::move(t));

        QImage page(size, QImage::Format_Grayscale8);
        page.fill(255);
        doc.burnInto(page);
        const QImage turnedPixels = page.transformed(QTransform().rotate(90 * turns));

        doc.rotateQuarterTurns(turns, size);
        EXPECT_EQ(doc.pageSize(), turns == 2 ? size : size.transposed());
        EXPECT_EQ(doc.dpiX(), turns == 2 ? 200.0 : 300.0);
        EXPECT_EQ(doc.item(2)->textOrientation(), 1 + turns);
        QImage blank(doc.pageSize(), QImage::Format_Grayscale8);
        blank.fill(255);
        doc.burnInto(blank);
        ASSERT_EQ(blank.size(), turnedPixels.size());
        EXPECT_TRUE(changed(blank, turnedPixels).isEmpty());

        doc.rotateQuarterTurns(4 - turns, doc.pageSize()); // all the way round
        EXPECT_EQ(doc.item(0)->bounds(), QRect(5, 7, 20, 11));
        EXPECT_EQ(doc.item(2)->textOrientation(), QelAnnotOrient::Normal);
    }
}

TEST(AnnotText, ResizeMeasuresThroughTheInjectedMetricsAtPageResolution)
{
    FixedMetrics fixed;
    QelTextMetrics::setInstance(&fixed);
    QelAnnotTextItem t;
    t.setText(QStringLiteral("abc\r\nabcdef\r\n"));
    t.moveTo(7, 9);
    t.resize(192, 288); // the font follows the vertical resolution: three times 96 dpi
    EXPECT_EQ(t.bounds(), QRect(7, 9, 180, 120));
    t.setTextOrientation(QelAnnotOrient::Up);
    t.resize(192, 288);
    EXPECT_EQ(t.bounds(), QRect(7, 9, 120, 180));
    QelTextMetrics::setInstance(nullptr);
    EXPECT_NE(QelTextMetrics::instance().measureLine(QStringLiteral("abc"), QelAnnotFont()),
              QSize(30, 20));
}

TEST(AnnotText, BuiltInMetricsUseTheStandInFaces)
{
    const QelTextMetrics &m = QelTextMetrics::instance();
    const QelAnnotFont courier{QStringLiteral("Courier New"), 14, true, false};
    const QelAnnotFont arial{QStringLiteral("Arial"), 14, false, false};
    EXPECT_EQ(QFontInfo(courier.toQFont(20)).family(), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(QFontInfo(arial.toQFont(20)).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(QFontInfo(QelAnnotFont{QStringLiteral("Times New Roman")}.toQFont(20)).family(),
              QStringLiteral("Liberation Serif"));

    // Fixed pitch: any ten letters are as wide as ten W; 14 pt at 96 dpi is 18.7 px high.
    const QSize w10 = m.measureLine(QString(10, QLatin1Char('W')), courier);
    EXPECT_EQ(m.measureLine(QStringLiteral("iiiiiiiiii"), courier).width(), w10.width());
    EXPECT_NEAR(w10.width(), 10 * 0.6 * 18.67, 10);
    EXPECT_GE(w10.height(), 18);
    EXPECT_LE(w10.height(), 24);
    EXPECT_LT(m.measureLine(QStringLiteral("iiiiiiiiii"), arial).width(),
              m.measureLine(QString(10, QLatin1Char('W')), arial).width());
    EXPECT_EQ(m.measureBlock(QString(), courier), QSize(0, 0));
    EXPECT_EQ(m.measureBlock(QStringLiteral("WW\r\nWWWW"), courier).height(), 2 * w10.height());
}

TEST(AnnotPaint, ItemsAndSelectionAreDrawnThroughTheViewTransform)
{
    QelAnnotDocument doc;
    doc.add(makeRect(QelAnnotType::Redaction, QRect(40, 40, 40, 20), 0x0000FF)); // red
    QImage view(100, 100, QImage::Format_RGB32);
    view.fill(Qt::white);
    {
        QPainter p(&view);
        doc.paint(p, QTransform::fromScale(0.5, 0.5));
    }
    EXPECT_EQ(view.pixel(25, 25), qRgb(255, 0, 0));
    EXPECT_EQ(view.pixel(45, 25), qRgb(255, 255, 255));
    EXPECT_EQ(view.pixel(25, 35), qRgb(255, 255, 255));

    doc.item(0)->setSelected(true);
    view.fill(Qt::white);
    {
        QPainter p(&view);
        doc.paint(p, QTransform::fromScale(0.5, 0.5));
    }
    EXPECT_NE(view.pixel(19, 19), qRgb(255, 255, 255)); // a handle at the top-left corner
}

TEST(AnnotText, ResizedTextIsNotCutOffInAnyOrientation)
{
    // Bounds grown away from where the text starts leave every glyph where it was, so the same
    // pixels mean the fitted bounds cut nothing off.
    const QMargins growth[] = {{0, 0, 60, 60}, {60, 0, 0, 60}, {60, 60, 0, 0}, {0, 60, 60, 0}};
    for (int orientation = 1; orientation <= 4; ++orientation) {
        SCOPED_TRACE(orientation);
        auto burn = [&](QMargins grow) {
            QelAnnotDocument doc;
            doc.setPageInfo(QSize(600, 600), 200, 200);
            auto t = std::make_unique<QelAnnotTextItem>();
            t->setText(QStringLiteral("MMMMMMMMMMMMMMMMMMMM\r\nBk 12 Pg102A #45\r\nWgjy|gjpq"));
            t->setFont(QelAnnotFont{QStringLiteral("Courier New"), 10, true, false});
            t->setTextOrientation(orientation);
            t->moveTo(150, 150);
            t->resize(200, 200);
            t->setBounds(t->bounds().marginsAdded(grow));
            doc.add(std::move(t));
            QImage page(600, 600, QImage::Format_Grayscale8);
            page.fill(255);
            doc.burnInto(page);
            return page;
        };
        const QImage fitted = burn(QMargins());
        EXPECT_FALSE(ink(fitted).isEmpty());
        EXPECT_TRUE(changed(fitted, burn(growth[orientation - 1])).isEmpty());
    }
}

TEST(AnnotItem, NumberedPropertiesMapToTheFields)
{
    QelAnnotDocument doc;
    doc.add(makeRect(QelAnnotType::Rectangle, QRect(0, 0, 1, 1)));
    QelAnnotItem *it = doc.item(0);
    const struct {
        int id;
        QVariant value;
    } writes[] = {{QelAnnotProp::FillColor, 0xFFFFFF}, {QelAnnotProp::LineColor, 0xFFFFFF},
                  {QelAnnotProp::Width, 775}, {QelAnnotProp::Height, 65},
                  {QelAnnotProp::Top, 5}, {QelAnnotProp::Left, -100},
                  {QelAnnotProp::Text, QStringLiteral("abc")}};
    for (const auto &w : writes)
        EXPECT_TRUE(it->setValue(w.id, w.value)) << w.id;
    EXPECT_EQ(it->bounds(), QRect(-100, 5, 775, 65));
    EXPECT_EQ(it->fillColor(), 0xFFFFFFu);
    EXPECT_EQ(it->lineColor(), 0xFFFFFFu);
    for (const auto &w : writes)
        EXPECT_EQ(it->value(w.id).toLongLong(), w.value.toLongLong()) << w.id;
    EXPECT_EQ(it->value(QelAnnotProp::Text).toString(), QStringLiteral("abc"));
    EXPECT_EQ(it->value(QelAnnotProp::Type).toInt(), QelAnnotType::Rectangle);

    EXPECT_EQ(errorOf([&] { it->setValue(QelAnnotProp::Top, QStringLiteral("x")); }), 13);
    EXPECT_EQ(errorOf([&] { it->setValue(QelAnnotProp::Type, 2); }), 438);
    EXPECT_EQ(errorOf([&] { it->value(999); }), 438);
    EXPECT_EQ(errorOf([&] { it->setValue(QelAnnotProp::Width, -1); }), 31004);

    ScriptedSecurity sec;
    sec.itemProp = false;
    doc.setSecurity(&sec);
    EXPECT_FALSE(it->setValue(QelAnnotProp::Top, 6));
    EXPECT_EQ(it->bounds().top(), 5);
}
