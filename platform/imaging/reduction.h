#pragma once
#include <QImage>

#include <vector>

// Pages made smaller for the screen by a whole factor k: every k x k block of pixels becomes one
// pixel of its average, in one pass over the rows as they are decoded (no whole page is held or
// converted). Bilevel and grey pages give Grayscale8, colour pages RGB32. The rows and columns
// past the last whole block are left out (a page smaller than k gives one pixel).
class QelRowReducer {
public:
    enum class Kind { Bilevel, Grey, Rgb };
    // darkIsOne: for bilevel rows, whether a set bit is the dark colour.
    QelRowReducer(int width, int height, Kind kind, int factor, bool darkIsOne = true);
    // Rows in order from the top: (width + 7) / 8 bytes, width, or 3 * width bytes.
    void addRow(const uchar *row);
    QImage result() { return std::move(m_out); }

private:
    void emitRow();

    int m_width, m_height, m_k;
    Kind m_kind;
    uchar m_flip;
    int m_y = 0;          // rows fed so far
    int m_rowsInBlock = 0;
    std::vector<quint32> m_sums;
    QImage m_out;
};

// The whole-factor reduction of a decoded page (Format_Mono, Grayscale8, RGB888, RGB32; any
// other format is converted first). factor 1 gives the page itself.
QImage reducedImage(const QImage &page, int factor);
