#include "platform/imaging/reduction.h"

#include <algorithm>
#include <cstring>

QelRowReducer::QelRowReducer(int width, int height, Kind kind, int factor, bool darkIsOne)
    : m_width(std::max(1, width)), m_height(std::max(1, height)), m_k(std::max(1, factor)), m_kind(kind),
      m_flip(darkIsOne ? 0x00 : 0xFF)
{
    const int ow = std::max(1, m_width / m_k), oh = std::max(1, m_height / m_k);
    if (kind == Kind::Bilevel) // one spare column collects the pixels past the last whole block
        m_sums.assign(size_t(ow) + 1, 0);
    else // the bytes of a row that fall in whole blocks
        m_cols.assign(size_t(ow) * size_t(std::min(m_k, m_width)) * (kind == Kind::Rgb ? 3 : 1), 0);
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
    switch (m_kind) {
    case Kind::Bilevel: {
        // Only the bytes holding a dark pixel are looked at; on a scanned page they are few.
        const int bytes = (m_width + 7) / 8;
        const quint64 flipWord = m_flip ? ~quint64(0) : 0;
        quint32 *sums = m_sums.data();
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
    case Kind::Rgb: {
        // Columns are summed down the block first (one add a byte); across, once a block.
        const size_t n = m_cols.size();
        quint32 *cols = m_cols.data();
        for (size_t i = 0; i < n; ++i)
            cols[i] += row[i];
        break;
    }
    }
    ++m_rowsInBlock;
    if (m_rowsInBlock == m_k || (m_y == m_height && m_height < m_k))
        emitRow();
}

void QelRowReducer::emitRow()
{
    const int oy = (m_y - 1) / m_k;
    const int ow = m_out.width();
    const int cols = std::min(m_k, m_width); // pixels a block spans across
    const quint32 area = quint32(cols) * quint32(m_rowsInBlock);
    const quint32 half = area / 2;
    // The rounded average sum / area as a multiplication: exact while 256 * area <= 2^24.
    const bool small = area <= (1u << 16);
    const quint64 inverse = ((quint64(1) << 40) + area - 1) / area;
    auto average = [&](quint32 sum) {
        const quint32 n = sum + half;
        return small ? quint32((n * inverse) >> 40) : n / area;
    };
    uchar *dst = m_out.scanLine(std::min(oy, m_out.height() - 1));
    if (m_kind == Kind::Bilevel) {
        for (int ox = 0; ox < ow; ++ox)
            dst[ox] = uchar(255 - average(255 * m_sums[size_t(ox)]));
    } else if (m_kind == Kind::Grey) {
        const quint32 *c = m_cols.data();
        for (int ox = 0; ox < ow; ++ox, c += cols) {
            quint32 sum = 0;
            for (int j = 0; j < cols; ++j)
                sum += c[j];
            dst[ox] = uchar(average(sum));
        }
    } else {
        auto *px = reinterpret_cast<QRgb *>(dst);
        const quint32 *c = m_cols.data();
        for (int ox = 0; ox < ow; ++ox, c += 3 * cols) {
            quint32 r = 0, g = 0, b = 0;
            for (int j = 0; j < 3 * cols; j += 3) {
                r += c[j];
                g += c[j + 1];
                b += c[j + 2];
            }
            px[ox] = qRgb(int(average(r)), int(average(g)), int(average(b)));
        }
    }
    std::fill(m_sums.begin(), m_sums.end(), 0);
    std::fill(m_cols.begin(), m_cols.end(), 0);
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
