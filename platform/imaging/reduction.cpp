#include "platform/imaging/reduction.h"

#include <algorithm>
#include <cstring>

QelRowReducer::QelRowReducer(int width, int height, Kind kind, int factor, bool darkIsOne)
    : m_width(std::max(1, width)), m_height(std::max(1, height)), m_k(std::max(1, factor)), m_kind(kind),
      m_flip(darkIsOne ? 0x00 : 0xFF)
{
    const int ow = std::max(1, m_width / m_k), oh = std::max(1, m_height / m_k);
    // One spare column collects the bilevel pixels past the last whole block.
    m_sums.assign(size_t(ow) * (kind == Kind::Rgb ? 3 : 1) + 1, 0);
    m_out = QImage(ow, oh, kind == Kind::Rgb ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
}

void QelRowReducer::addRow(const uchar *row)
{
    if (m_y >= m_height || m_out.isNull())
        return;
    ++m_y;
    const int ow = m_out.width();
    if (m_y > m_out.height() * m_k && m_height >= m_k)
        return; // below the last whole block
    quint32 *sums = m_sums.data();
    const int cols = std::min(m_k, m_width); // pixels a block spans across
    switch (m_kind) {
    case Kind::Bilevel: {
        // Only the bytes holding a dark pixel are looked at; on a scanned page they are few.
        const int bytes = (m_width + 7) / 8;
        const quint64 flipWord = m_flip ? ~quint64(0) : 0;
        for (int b = 0; b < bytes; ++b) {
            if (b + 8 <= bytes) {
                quint64 word;
                std::memcpy(&word, row + b, sizeof word);
                if (word == flipWord) {
                    b += 7;
                    continue;
                }
            }
            unsigned v = uchar(row[b] ^ m_flip);
            while (v) {
                const int bit = __builtin_clz(v) - 24; // 0 = leftmost pixel
                v &= ~(0x80u >> bit);
                const int x = b * 8 + bit;
                if (x < m_width)
                    ++sums[std::min(x / m_k, ow)];
            }
        }
        break;
    }
    case Kind::Grey:
        for (int ox = 0; ox < ow; ++ox) {
            const uchar *s = row + ox * m_k;
            quint32 sum = 0;
            for (int j = 0; j < cols; ++j)
                sum += s[j];
            sums[ox] += sum;
        }
        break;
    case Kind::Rgb:
        for (int ox = 0; ox < ow; ++ox) {
            const uchar *s = row + size_t(ox) * m_k * 3;
            quint32 r = 0, g = 0, b = 0;
            for (int j = 0; j < cols; ++j) {
                r += s[3 * j];
                g += s[3 * j + 1];
                b += s[3 * j + 2];
            }
            sums[3 * ox] += r;
            sums[3 * ox + 1] += g;
            sums[3 * ox + 2] += b;
        }
        break;
    }
    ++m_rowsInBlock;
    if (m_rowsInBlock == m_k || (m_y == m_height && m_height < m_k))
        emitRow();
}

void QelRowReducer::emitRow()
{
    const int oy = (m_y - 1) / m_k;
    const int ow = m_out.width();
    const quint32 area = quint32(std::min(m_k, m_width)) * quint32(m_rowsInBlock);
    const quint32 half = area / 2;
    uchar *dst = m_out.scanLine(std::min(oy, m_out.height() - 1));
    if (m_kind == Kind::Bilevel) {
        for (int ox = 0; ox < ow; ++ox)
            dst[ox] = uchar(255 - (255 * m_sums[size_t(ox)] + half) / area);
    } else if (m_kind == Kind::Grey) {
        for (int ox = 0; ox < ow; ++ox)
            dst[ox] = uchar((m_sums[size_t(ox)] + half) / area);
    } else {
        auto *px = reinterpret_cast<QRgb *>(dst);
        for (int ox = 0; ox < ow; ++ox)
            px[ox] = qRgb(int((m_sums[3 * size_t(ox)] + half) / area), int((m_sums[3 * size_t(ox) + 1] + half) / area),
                          int((m_sums[3 * size_t(ox) + 2] + half) / area));
    }
    std::fill(m_sums.begin(), m_sums.end(), 0);
    m_rowsInBlock = 0;
}

QImage reducedImage(const QImage &page, int factor)
{
    if (factor <= 1 || page.isNull())
        return page;
    QImage src = page;
    QelRowReducer::Kind kind;
    bool darkIsOne = true;
    switch (src.format()) {
    case QImage::Format_MonoLSB:
        src = src.convertToFormat(QImage::Format_Mono);
        [[fallthrough]];
    case QImage::Format_Mono: {
        kind = QelRowReducer::Kind::Bilevel;
        const QList<QRgb> ct = src.colorTable();
        darkIsOne = ct.size() < 2 || qGray(ct[1]) <= qGray(ct[0]);
        break;
    }
    case QImage::Format_Grayscale8:
        kind = QelRowReducer::Kind::Grey;
        break;
    case QImage::Format_RGB888:
        kind = QelRowReducer::Kind::Rgb;
        break;
    default:
        src = src.convertToFormat(QImage::Format_RGB888);
        kind = QelRowReducer::Kind::Rgb;
        break;
    }
    QelRowReducer reducer(src.width(), src.height(), kind, factor, darkIsOne);
    for (int y = 0; y < src.height(); ++y)
        reducer.addRow(src.constScanLine(y));
    QImage out = reducer.result();
    out.setDotsPerMeterX(page.dotsPerMeterX() / factor);
    out.setDotsPerMeterY(page.dotsPerMeterY() / factor);
    return out;
}
