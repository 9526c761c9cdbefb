#include "platform/scan/pageassembler.h"
#include "platform/scan/scannersession.h"
#include "support/checks.h"

#include <gtest/gtest.h>

namespace {

using Frame = PageAssembler::Frame;

// Feeds the bytes in chunks of `chunk` so line and frame boundaries fall mid-buffer.
QImage assemble(const QList<QPair<Frame, QByteArray>> &frames, int chunk = 7, int dpi = 200)
{
    PageAssembler a;
    for (const auto &[f, bytes] : frames) {
        a.beginFrame(f);
        for (qsizetype i = 0; i < bytes.size(); i += chunk)
            a.feed(bytes.constData() + i, std::min<qsizetype>(chunk, bytes.size() - i));
        a.endFrame();
    }
    return a.takePage(dpi);
}

} // namespace

TEST(PageAssembler, OneBitKeepsBlackAsOneAndDropsLinePadding)
{
    // 10 pixels a line need 2 bytes; the device pads each line to 3. Line 0: first pixel black;
    // line 1: last pixel black. The padding byte is 0xAA and must not show up anywhere.
    const Frame f{PageAssembler::Gray, true, 3, 10, 2, 1};
    const QByteArray bytes("\x80\x00\xAA\x00\x40\xAA", 6);
    // Lines split over calls in every way give the same page.
    const QImage img = assemble({{f, bytes}});
    for (int chunk : {1, 2, 4, 5, 64})
        EXPECT_EQ(assemble({{f, bytes}}, chunk), img) << chunk;
    ASSERT_EQ(img.format(), QImage::Format_Mono);
    ASSERT_EQ(img.size(), QSize(10, 2));
    EXPECT_EQ(img.pixelIndex(0, 0), 1);
    EXPECT_EQ(img.pixelIndex(1, 0), 0);
    EXPECT_EQ(img.pixelIndex(9, 1), 1);
    EXPECT_EQ(img.pixelIndex(8, 1), 0);
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));    // ink is black
    EXPECT_EQ(img.pixel(1, 0), qRgb(255, 255, 255));
    int black = 0;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            black += img.pixelIndex(x, y);
    EXPECT_EQ(black, 2);
}

TEST(PageAssembler, GreyAndColourDepths)
{
    const quint16 samples[2] = {0x1234, 0xFE01};
    const auto grey = [](int v) { return qRgb(v, v, v); };
    const struct {
        const char *what;
        QList<QPair<Frame, QByteArray>> frames;
        QImage::Format format;
        QList<std::pair<QPoint, QRgb>> pixels;
    } rows[] = {
        {"8-bit grey, a padding byte a line", {{{PageAssembler::Gray, true, 4, 3, 2, 8}, QByteArray("\x00\x80\xFF\x11\x10\x20\x30\x11", 8)}},
         QImage::Format_Grayscale8, {{{1, 0}, grey(0x80)}, {{2, 1}, grey(0x30)}}},
        {"16-bit grey in host order keeps the high byte",
         {{{PageAssembler::Gray, true, 4, 2, 1, 16}, QByteArray(reinterpret_cast<const char *>(samples), 4)}},
         QImage::Format_Grayscale8, {{{0, 0}, grey(0x12)}, {{1, 0}, grey(0xFE)}}},
        {"one-frame colour", {{{PageAssembler::Rgb, true, 6, 2, 1, 8}, QByteArray("\x10\x20\x30\x40\x50\x60", 6)}},
         QImage::Format_RGB888, {{{0, 0}, qRgb(0x10, 0x20, 0x30)}, {{1, 0}, qRgb(0x40, 0x50, 0x60)}}},
        {"a frame per channel, in any order",
         {{{PageAssembler::Green, false, 2, 2, 1, 8}, QByteArray("\x02\x05", 2)},
          {{PageAssembler::Red, false, 2, 2, 1, 8}, QByteArray("\x01\x04", 2)},
          {{PageAssembler::Blue, true, 2, 2, 1, 8}, QByteArray("\x03\x06", 2)}},
         QImage::Format_RGB888, {{{0, 0}, qRgb(1, 2, 3)}, {{1, 0}, qRgb(4, 5, 6)}}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        const QImage img = assemble(r.frames, 3);
        ASSERT_EQ(img.format(), r.format);
        ASSERT_EQ(img.size(), QSize(r.frames[0].first.pixelsPerLine, r.frames[0].first.lines));
        for (const auto &[at, rgb] : r.pixels)
            EXPECT_EQ(img.pixel(at), rgb) << at.x() << "," << at.y();
    }
}

TEST(PageAssembler, LengthUnknownOrShortKeepsWholeLines)
{
    // Unknown length: two and a half lines arrive; two are kept.
    const Frame open{PageAssembler::Gray, true, 2, 2, -1, 8};
    EXPECT_EQ(assemble({{open, QByteArray(5, '\x40')}}).size(), QSize(2, 2));
    // Known length, the device stops early: the lines it sent.
    const Frame shortFrame{PageAssembler::Gray, true, 2, 2, 4, 8};
    EXPECT_EQ(assemble({{shortFrame, QByteArray(4, '\x40')}}).size(), QSize(2, 2));
    // More bytes than announced: the extra is ignored.
    const Frame exact{PageAssembler::Gray, true, 2, 2, 1, 8};
    EXPECT_EQ(assemble({{exact, QByteArray(9, '\x40')}}).size(), QSize(2, 1));
}

TEST(PageAssembler, SetsResolutionAndRefusesImpossibleFrames)
{
    const Frame f{PageAssembler::Gray, true, 1, 8, 1, 1};
    const QImage img = assemble({{f, QByteArray(1, '\0')}}, 1, 300);
    EXPECT_NEAR(img.dotsPerMeterX() * 0.0254, 300, 0.5);
    EXPECT_NEAR(img.dotsPerMeterY() * 0.0254, 300, 0.5);

    const Frame bad[] = {
        {PageAssembler::Gray, true, 1, 10, 1, 1},   // 10 bits do not fit one byte
        {PageAssembler::Rgb, true, 5, 2, 1, 8},     // 2 colour pixels need 6 bytes
        {PageAssembler::Gray, true, 4, 0, 1, 8},    // no pixels
        {PageAssembler::Gray, true, 4, 4, 1, 12},   // depth
        {7, true, 4, 4, 1, 8},                      // format
        {PageAssembler::Gray, true, 100000, 100000, 100000, 8},  // larger than a page can be
    };
    for (const Frame &b : bad) {
        PageAssembler a;
        EXPECT_EQ(errorOf([&] { a.beginFrame(b); }), scanErr::DeviceFailure)
            << b.bytesPerLine << "/" << b.pixelsPerLine << "/" << b.depth;
    }
}
