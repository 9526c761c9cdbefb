#include "platform/scan/pageassembler.h"

#include "platform/scan/scannersession.h"
#include "platform/vb/vberror.h"

#include <cstring>
#include <limits>

namespace {

[[noreturn]] void badFrame(const char *why)
{
    throw VbError(scanErr::DeviceFailure, QStringLiteral("Invalid scan parameters: %1").arg(QLatin1String(why)));
}

inline uchar high8(const uchar *p)
{
    quint16 v;
    std::memcpy(&v, p, 2);
    return uchar(v >> 8);
}

} // namespace

void PageAssembler::reset()
{
    m_inFrame = false;
    m_raw.clear();
    m_page = QImage();
    m_done = false;
}

void PageAssembler::beginFrame(const Frame &f)
{
    if (m_done)
        reset();
    if (f.format < Gray || f.format > Blue)
        badFrame("format");
    if (f.depth != 1 && f.depth != 8 && f.depth != 16)
        badFrame("depth");
    if (f.depth == 1 && f.format == Rgb)
        badFrame("1-bit colour");
    if (f.pixelsPerLine <= 0 || f.pixelsPerLine > 1000000 || f.bytesPerLine <= 0)
        badFrame("line size");
    const qint64 samples = f.format == Rgb ? 3 : 1;
    const qint64 needed = (qint64(f.pixelsPerLine) * samples * f.depth + 7) / 8;
    if (f.bytesPerLine < needed)
        badFrame("bytes per line");
    if (f.lines > 1000000)
        badFrame("lines");
    const bool channel = f.format >= Red;
    if (channel && !m_page.isNull()
        && (m_page.format() != QImage::Format_RGB888 || m_page.width() != f.pixelsPerLine))
        badFrame("colour frames differ");
    if (!channel)
        m_page = QImage();
    m_frame = f;
    m_inFrame = true;
    m_raw.clear();
    if (f.lines > 0) {
        const qint64 total = qint64(f.bytesPerLine) * f.lines;
        if (total > std::numeric_limits<int>::max())
            badFrame("frame size");
        m_raw.reserve(total);
    }
}

void PageAssembler::feed(const char *data, qsizetype size)
{
    if (!m_inFrame || size <= 0)
        return;
    if (m_frame.lines > 0) {
        const qsizetype room = qsizetype(m_frame.bytesPerLine) * m_frame.lines - m_raw.size();
        size = std::min(size, std::max<qsizetype>(room, 0));
    }
    m_raw.append(data, size);
}

bool PageAssembler::endFrame()
{
    if (!m_inFrame)
        return m_done;
    convertFrame();
    m_inFrame = false;
    m_raw.clear();
    m_done = m_frame.lastFrame;
    return m_done;
}

QImage PageAssembler::takePage(int resolution)
{
    QImage out = std::move(m_page);
    m_page = QImage();
    m_done = false;
    if (!out.isNull() && resolution > 0) {
        const int dpm = qRound(resolution / 0.0254);
        out.setDotsPerMeterX(dpm);
        out.setDotsPerMeterY(dpm);
    }
    return out;
}

void PageAssembler::convertFrame()
{
    const Frame &f = m_frame;
    const int bpl = f.bytesPerLine;
    const int w = f.pixelsPerLine;
    int h = int(m_raw.size() / bpl);
    if (f.lines > 0)
        h = std::min(h, f.lines);
    const auto *src = reinterpret_cast<const uchar *>(m_raw.constData());

    if (f.format >= Red) {
        if (m_page.isNull()) {
            m_page = QImage(w, h, QImage::Format_RGB888);
            m_page.fill(Qt::white);
        }
        const int c = f.format - Red;
        const int rows = std::min(h, m_page.height());
        for (int y = 0; y < rows; ++y) {
            const uchar *s = src + qsizetype(y) * bpl;
            uchar *d = m_page.scanLine(y) + c;
            if (f.depth == 8) {
                for (int x = 0; x < w; ++x)
                    d[3 * x] = s[x];
            } else if (f.depth == 16) {
                for (int x = 0; x < w; ++x)
                    d[3 * x] = high8(s + 2 * x);
            } else {
                for (int x = 0; x < w; ++x)
                    d[3 * x] = (s[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
            }
        }
        return;
    }

    if (f.format == Gray && f.depth == 1) {
        m_page = QImage(w, h, QImage::Format_Mono);
        m_page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        const int n = (w + 7) / 8;
        for (int y = 0; y < h; ++y)
            std::memcpy(m_page.scanLine(y), src + qsizetype(y) * bpl, n);
        return;
    }
    if (f.format == Gray) {
        m_page = QImage(w, h, QImage::Format_Grayscale8);
        for (int y = 0; y < h; ++y) {
            const uchar *s = src + qsizetype(y) * bpl;
            uchar *d = m_page.scanLine(y);
            if (f.depth == 8) {
                std::memcpy(d, s, w);
            } else {
                for (int x = 0; x < w; ++x)
                    d[x] = high8(s + 2 * x);
            }
        }
        return;
    }
    // One-frame colour.
    m_page = QImage(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        const uchar *s = src + qsizetype(y) * bpl;
        uchar *d = m_page.scanLine(y);
        if (f.depth == 8) {
            std::memcpy(d, s, qsizetype(w) * 3);
        } else {
            for (int x = 0; x < 3 * w; ++x)
                d[x] = high8(s + 2 * x);
        }
    }
}
