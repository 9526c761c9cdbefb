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
    m_line = 0;
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
    if (f.lines > 0 && qint64(f.bytesPerLine) * f.lines > std::numeric_limits<int>::max())
        badFrame("frame size");
    const bool channel = f.format >= Red;
    if (channel && !m_page.isNull()
        && (m_page.format() != QImage::Format_RGB888 || m_page.width() != f.pixelsPerLine))
        badFrame("colour frames differ");
    if (!channel)
        m_page = QImage();
    m_frame = f;
    m_inFrame = true;
    m_line = 0;
    m_raw.clear();
    if (f.lines > 0)
        startImage(f.lines);
}

void PageAssembler::startImage(int lines)
{
    const Frame &f = m_frame;
    if (f.format >= Red) {
        if (m_page.isNull()) {
            m_page = QImage(f.pixelsPerLine, lines, QImage::Format_RGB888);
            m_page.fill(Qt::white);
        }
    } else if (f.depth == 1) {
        m_page = QImage(f.pixelsPerLine, lines, QImage::Format_Mono);
        m_page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    } else {
        m_page = QImage(f.pixelsPerLine, lines, f.format == Rgb ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    }
    if (m_page.isNull() && lines > 0)
        throw VbError(7, QStringLiteral("Out of memory"));
}

void PageAssembler::feed(const char *data, qsizetype size)
{
    if (!m_inFrame || size <= 0)
        return;
    const qsizetype bpl = m_frame.bytesPerLine;
    if (m_frame.lines <= 0) {
        m_raw.append(data, size);  // length unknown: lines are taken at the end
        return;
    }
    const auto *p = reinterpret_cast<const uchar *>(data);
    const uchar *end = p + size;
    // Finish a line begun by the last call.
    if (!m_raw.isEmpty()) {
        const qsizetype take = std::min<qsizetype>(bpl - m_raw.size(), end - p);
        m_raw.append(reinterpret_cast<const char *>(p), take);
        p += take;
        if (m_raw.size() < bpl)
            return;
        if (m_line < m_frame.lines)
            convertLine(m_line++, reinterpret_cast<const uchar *>(m_raw.constData()));
        m_raw.clear();
    }
    // Whole lines straight from the caller's buffer.
    while (end - p >= bpl && m_line < m_frame.lines) {
        convertLine(m_line++, p);
        p += bpl;
    }
    if (m_line < m_frame.lines && p < end)
        m_raw.append(reinterpret_cast<const char *>(p), end - p);
}

bool PageAssembler::endFrame()
{
    if (!m_inFrame)
        return m_done;
    const bool channel = m_frame.format >= Red;
    if (m_frame.lines <= 0) {
        const int lines = int(std::min<qsizetype>(m_raw.size() / m_frame.bytesPerLine, 1000000));
        startImage(lines);
        const auto *src = reinterpret_cast<const uchar *>(m_raw.constData());
        const int rows = std::min(lines, m_page.height());
        for (int y = 0; y < rows; ++y)
            convertLine(y, src + qsizetype(y) * m_frame.bytesPerLine);
    } else if (m_line < m_frame.lines && !channel) {
        m_page = m_page.copy(0, 0, m_page.width(), m_line);  // the device stopped short
    }
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

void PageAssembler::convertLine(int y, const uchar *s)
{
    if (y >= m_page.height())
        return;
    const Frame &f = m_frame;
    const int w = f.pixelsPerLine;
    uchar *d = m_page.scanLine(y);
    if (f.format >= Red) {
        d += f.format - Red;
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
        return;
    }
    if (f.depth == 1) {
        std::memcpy(d, s, (w + 7) / 8);  // the device's 1 is black, as is index 1
        return;
    }
    const int samples = f.format == Rgb ? 3 * w : w;
    if (f.depth == 8) {
        std::memcpy(d, s, samples);
    } else {
        for (int x = 0; x < samples; ++x)
            d[x] = high8(s + 2 * x);
    }
}
