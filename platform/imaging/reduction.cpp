#include "platform/imaging/reduction.h"

#include <algorithm>
#include <cstring>

namespace {

// Each bit of a byte as a byte of its own (the leftmost pixel first in memory), so that the
// dark pixels of eight columns are counted with one addition.
struct Spread {
    quint64 of[256];
    Spread()
    {
        for (int v = 0; v < 256; ++v) {
            uchar bytes[8];
            for (int j = 0; j < 8; ++j)
                bytes[j] = uchar((v >> (7 - j)) & 1);
            std::memcpy(&of[v], bytes, 8);
        }
    }
};
const Spread kSpread;

// Rows of a block counted in the byte counters before they are added into the wide ones.
constexpr int kCountRows = 255;

}

QelRowReducer::QelRowReducer(int width, int height, Kind kind, int factor, bool darkIsOne)
    : m_width(std::max(1, width)), m_height(std::max(1, height)), m_k(std::max(1, factor)), m_kind(kind),
      m_flip(darkIsOne ? 0x00 : 0xFF)
{
    const int ow = std::max(1, m_width / m_k), oh = std::max(1, m_height / m_k);
    // The columns that fall in whole blocks: their samples summed down the block.
    const size_t used = size_t(ow) * size_t(std::min(m_k, m_width));
    if (kind == Kind::Bilevel) {
        m_counts.assign((size_t(m_width) + 7) / 8 * 8, 0);
        if (m_k > kCountRows)
            m_cols.assign(used, 0);
    } else {
        m_cols.assign(used * (kind == Kind::Rgb ? 3 : 1), 0);
    }
    m_out = QImage(ow, oh, kind == Kind::Rgb ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
}

void QelRowReducer::addRow(const uchar *row)
{
    if (m_y >= m_height || m_out.isNull())
        return;
    ++m_y;
    if (m_y > m_out.height() * m_k && m_height >= m_k)
        return; // below the last whole block
    if (m_kind == Kind::Bilevel) {
        // Only the bytes holding a dark pixel are looked at; on a scanned page they are few.
        const int bytes = (m_width + 7) / 8;
        const quint64 flipWord = m_flip ? ~quint64(0) : 0;
        uchar *counts = m_counts.data();
        for (int b = 0; b < bytes; ++b) {
            if (b + 8 <= bytes) {
                quint64 word;
                std::memcpy(&word, row + b, sizeof word);
                if (word == flipWord) {
                    b += 7;
                    continue;
                }
            }
            if (const uchar v = uchar(row[b] ^ m_flip)) {
                quint64 c;
                std::memcpy(&c, counts + 8 * b, 8);
                c += kSpread.of[v];
                std::memcpy(counts + 8 * b, &c, 8);
            }
        }
    } else {
        // Columns are summed down the block first (one add a byte); across, once a block.
        const size_t n = m_cols.size();
        quint32 *cols = m_cols.data();
        for (size_t i = 0; i < n; ++i)
            cols[i] += row[i];
    }
    ++m_rowsInBlock;
    if (m_rowsInBlock == m_k || (m_y == m_height && m_height < m_k))
        emitRow();
    else if (m_kind == Kind::Bilevel && m_rowsInBlock % kCountRows == 0)
        foldCounts();
}

void QelRowReducer::foldCounts()
{
    for (size_t x = 0; x < m_cols.size(); ++x)
        m_cols[x] += m_counts[x];
    std::fill(m_counts.begin(), m_counts.end(), 0);
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
        auto shade = [&](const auto *c) {
            for (int ox = 0; ox < ow; ++ox, c += cols) {
                quint32 dark = 0;
                for (int j = 0; j < cols; ++j)
                    dark += c[j];
                dst[ox] = uchar(255 - average(255 * dark));
            }
        };
        if (m_cols.empty()) {
            shade(m_counts.data());
        } else {
            foldCounts();
            shade(m_cols.data());
        }
        std::fill(m_counts.begin(), m_counts.end(), 0);
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
