#pragma once
// Generated scans for the page-analysis tests and benchmarks. A sheet is drawn (text in the
// Liberation fonts, barcodes, pen strokes in any colour) lying a little skewed in the feeder,
// then "scanned" to bilevel, 8-bit grey or colour with paper tone, sensor noise, dust, scanner
// edge shadows, streaks, copier borders, show-through from the back and JPEG. `randomPage` draws a
// whole page at random from a seed: writing, print or stamps anywhere on it, or nothing, with the
// marks the paper and the scanner leave. Everything comes from a seed; nothing is read from
// files.
#include <QImage>
#include <QPainter>
#include <QSizeF>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace scanpages {

enum class Depth { Bilevel, Grey, Colour };
enum class Dust { None, Light, Typical, Heavy };
// How a bilevel scan turns grey into black and white: a threshold, an ordered dither (Bayer's
// dispersed dots or a clustered screen) or error diffusion.
enum class Halftone { Threshold, Ordered, Clustered, Diffusion };

// A streak straight down the scan (a dirty sensor cell, a copier's drum): whole or coming and
// going. Width 0: none.
struct Streak {
    int x = 0, width = 0, level = 0; // pixels, grey level
    bool dashed = false;
};

// A copier's grey border along the edges (left, top, right, bottom), ragged. Level 0: none.
struct Border {
    double depth[4] = {0, 0, 0, 0}; // inches
    int level = 0;
};

// The scanner's dark backing seen beyond the paper along the edges (left, top, right, bottom), or
// a lid's shadow: ragged, with light holes; it hides what lies under it. Depth 0: none.
struct EdgeShadow {
    double depth[4] = {0, 0, 0, 0}; // inches
    int level = 35;
};

// A band of shade along one edge of the scan (left, top, right, bottom; -1: none): a lid's or a
// feeder's shadow over the paper, darkening all that lies in it, ink too; flat, or graded from
// `level` at the edge to the paper's own level at its inner side.
struct Band {
    int edge = -1;
    double depth = 0; // inches
    int level = 0;    // grey level at the edge, on paper of the scan's level
    bool graded = false;
};

struct ScanOptions {
    Depth depth = Depth::Bilevel;
    Dust dust = Dust::None;
    EdgeShadow shadow;
    bool bleedThrough = false; // the back's text, mirrored and blurred
    unsigned seed = 1;
    QRgb paper = 0;            // the paper's colour; 0: a grey scanner's 228 or a bilevel one's 240
    double showThrough = 0.15; // how much of the back's ink darkens the front
    int jpegQuality = 0;       // 0: the scan is not compressed
    Streak streak;
    Border border;
    Halftone halftone = Halftone::Threshold; // bilevel scans
    bool clipsPaper = false; // the scanner's white lies below the paper: the paper reads pure white
    Band bands[2];
    // A grey scan of a bilevel page: the dither (or threshold) of a bilevel scan, read back as
    // grey with the scanner's noise.
    bool rescanned = false;
};

// A sheet (letter unless told) at `dpi`, turned `skewDegrees` about its centre; its inks are
// colours only when asked for (a colour scan), greys otherwise. Positions and sizes are in inches
// and points.
class Sheet {
public:
    Sheet(int dpi, double skewDegrees, QSizeF inches = QSizeF(8.5, 11.0), bool colour = false);
    ~Sheet();
    int dpi() const { return m_dpi; }

    // Text with its baseline's left end at (x, y).
    void text(const QString &text, double x, double y, double points, bool bold = false,
              bool italic = false, const QString &family = QStringLiteral("Liberation Serif"));
    // Text centred horizontally on the sheet.
    void centredText(const QString &text, double y, double points, bool bold = false);
    // Lines of typed body text between the side margins, from `top` down to `bottom`.
    void bodyText(unsigned seed, double top = 1.0, double bottom = 10.0);
    // A barcode written by ZXing's writer: `format` is a ZXing format name ("Code128", "QRCode",
    // ...), `module` its narrowest bar in pixels of this sheet, `height` the bar height (linear
    // codes only) in inches. Returns the symbol's box on the unskewed sheet, in pixels.
    QRectF barcode(const char *format, const std::string &content, double x, double y, int module,
                   double height = 0.5);

    // The painter on the sheet, in its pixels; ink darkens what lies under it.
    QPainter &painter() { return *m_painter; }
    // Draws through `draw` as the painter would, then blurs what it drew by about `blur` pixels:
    // carbon copies and creases. `area` bounds the drawing, in the sheet's pixels.
    template <class Draw> void blurred(const QRectF &area, double blur, Draw draw)
    {
        QPainter &p = beginBlurred(area, blur);
        draw(p);
        endBlurred();
    }

    // The sheet as the scanner delivers it: Grayscale8, RGB888 or Format_Mono (index 1 black),
    // with the resolution set.
    QImage scan(const ScanOptions &options) const;

private:
    QPainter &beginBlurred(const QRectF &area, double blur);
    void endBlurred();

    int m_dpi;
    QImage m_ink; // the drawn sheet: what each pixel reflects, white where nothing is drawn
    std::unique_ptr<QPainter> m_painter;
    struct Layer;
    std::unique_ptr<Layer> m_layer;
};

// Shorthands for a sheet's content.
enum class Content { None, PageNumber, FullText };
void draw(Sheet &sheet, Content content, unsigned seed);

// A page drawn at random from its seed: 150 to 400 dpi (200 most often), A5 to legal,
// thresholded or dithered bilevel, grey, colour, JPEG. A page with content carries one to three
// things a clerk or a printer puts on paper: handwriting in real hands' fonts (a thin hand's figure
// down to 1 mm) and pen strokes 2 to 15 mm tall in ballpoint, pencil, felt pen or carbon, print, an
// empty form of light rules (solid, dotted or dashed, grey 190 to 230 dithered, or thin rules a
// threshold leaves in specks), a
// stamp, in any colour down to a contrast of 0.15 (what a threshold or a dither leaves legible; a
// hand's font on a bilevel scan below 200 dpi is 3 mm tall at least). Writing lies in corners and
// along edges, some of it hard against them (where the margins cut it), across the scanner's edge
// shadows and copier borders (with enough standing out of them to read), and over or beside the
// artefacts: punched holes on any edge (discs, rings, parts of rings, grey with a shadow), staples
// in corners or a booklet's pair, straight and slanting creases. Any page may also show through
// from its back, be yellowed, carry a coffee ring, a sticky note's shadow, edge shadows on one to
// four edges, a copier's border, streaks and dust.
struct RandomPage {
    QImage scan;
    bool content = false;
    // Inches: how far in from the scan's edges the content reaches; margins narrower than this
    // leave some of it.
    double inward = 0;
    std::string what; // what was drawn, for a message
};
// With `edgeBands`, one of the pages with writing (or nothing) on and beside flat or graded bands
// of shade along the edges, dark (grey 40 to 80) or light (about 200), 3 to 15 mm deep, and ragged
// scanner shadows, in every scan mode: thresholded, dithered (ordered, clustered, error
// diffusion), a dither scanned again as grey, grey, colour, JPEG.
RandomPage randomPage(unsigned seed, bool edgeBands = false);
// The handwriting fonts the pages use that are not installed.
std::vector<QString> missingHandFonts();

} // namespace scanpages
