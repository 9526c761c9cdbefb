#pragma once
// Generated scans of letter pages for the page-analysis tests and benchmarks: a sheet is drawn
// (text in the Liberation fonts, lines, stamps, barcodes) lying a little skewed in the feeder,
// then "scanned" to 8-bit grey or bilevel with paper tone, sensor noise, dust, scanner edge bands
// and bleed-through from the back. Everything comes from a seed; nothing is read from files.
#include <QImage>
#include <QPainter>
#include <QString>

#include <memory>
#include <string>

namespace scanpages {

enum class Depth { Bilevel, Grey };
enum class Dust { None, Light, Typical, Heavy };

struct ScanOptions {
    Depth depth = Depth::Bilevel;
    Dust dust = Dust::None;
    bool edgeBands = false;    // dark strips along the left, top and bottom edges
    bool bleedThrough = false; // the back's text, mirrored and faint (grey scans only)
    unsigned seed = 1;
};

// A letter sheet (8.5 x 11 in) at `dpi`, turned `skewDegrees` about its centre. Positions and
// sizes are in inches and points.
class Sheet {
public:
    Sheet(int dpi, double skewDegrees);
    ~Sheet();
    int dpi() const { return m_dpi; }

    // Text with its baseline's left end at (x, y).
    void text(const QString &text, double x, double y, double points, bool bold = false,
              bool italic = false, const QString &family = QStringLiteral("Liberation Serif"));
    // Text centred horizontally on the sheet.
    void centredText(const QString &text, double y, double points, bool bold = false);
    void line(double x0, double y0, double x1, double y1, double points);
    // A rubber stamp: a double frame with two lines of text.
    void stamp(double x, double y, double width, double height);
    // Lines of typed body text between the side margins, from `top` down to `bottom`.
    void bodyText(unsigned seed, double top = 1.0, double bottom = 10.0);
    // A barcode written by ZXing's writer: `format` is a ZXing format name ("Code128", "QRCode",
    // ...), `module` its narrowest bar in pixels of this sheet, `height` the bar height (linear
    // codes only) in inches. Returns the symbol's box on the unskewed sheet, in pixels.
    QRectF barcode(const char *format, const std::string &content, double x, double y, int module,
                   double height = 0.5);

    // The sheet as the scanner delivers it: Grayscale8 or Format_Mono (index 1 black), with the
    // resolution set.
    QImage scan(const ScanOptions &options) const;

private:
    int m_dpi;
    QImage m_ink; // the drawn sheet: 255 paper, 0 ink
    std::unique_ptr<QPainter> m_painter;
};

// Shorthands for the corpus: the near-blank contents by name, each drawn where a clerk puts it.
enum class Content { None, PageNumber, Initials, SignatureLine, Void, Stamp, Continued, FullText };
const char *contentName(Content content);
void draw(Sheet &sheet, Content content, unsigned seed);

} // namespace scanpages
