// Blank verdicts on pages drawn here in absolute grey levels: faded copies, carbons, pencil, an
// empty form, text beside punched holes, and blank sheets with folds and creases, scanner
// streaks, copier borders, JPEG artefacts and faint show-through (figures, stamps, signatures,
// holes and staples the generated pages walk). Each page states its verdict; every
// page is right at the default sensitivity (a content page up to the sensitivity it names) and its verdict never goes from blank to content as
// the sensitivity rises.
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <QPainterPath>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using namespace scanpages;

enum class Scan { Grey, Bilevel, Colour, JpegBilevel };

// Draws on a sheet in inches, in the levels the scan shows on paper of level `paper`; through the
// sheet's painter, or a blurred layer's.
struct Pen {
    Sheet &sheet;
    int paper;
    QPainter *q = &sheet.painter();
    double px(double inches) const { return inches * sheet.dpi(); }
    QColor level(int v) const { return QColor::fromRgb(qRgb(v * 255 / paper, v * 255 / paper, v * 255 / paper)); }
    void set(QColor c, double mm) { q->setPen(QPen(c, mm * sheet.dpi() / 25.4, Qt::SolidLine, Qt::RoundCap)); }
    void text(const QString &t, double x, double y, double points, QColor c, const char *family, bool bold = false)
    {
        QFont f(QString::fromLatin1(family));
        f.setPixelSize(int(std::lround(points * sheet.dpi() / 72)));
        f.setBold(bold);
        q->setFont(f);
        q->setPen(c);
        q->drawText(QPointF(px(x), px(y)), t);
    }
    void line(QPointF a, QPointF b) { q->drawLine(a * sheet.dpi(), b * sheet.dpi()); }
    // A hole's shadow 6 mm across centred at (x, y): a dark disc, or a ring when the backing
    // shows white through it.
    void hole(double x, double y, bool ring)
    {
        const double r = 3.0 / 25.4;
        q->setBrush(ring ? QBrush() : QBrush(level(45)));
        if (ring)
            set(level(70), 0.6);
        else
            q->setPen(Qt::NoPen);
        q->drawEllipse(QPointF(px(x), px(y)), px(r), px(r));
        q->setBrush(Qt::NoBrush);
    }
};

void fadedText(Pen &p, int level)
{
    for (int line = 0; line < 40; ++line)
        p.text(QStringLiteral("Copy of deed recorded in liber %1 page %2, parcel %3 and easement").arg(400 + line).arg(17 * line).arg(line % 9),
               1.0, 1.2 + line * 0.22, 10, p.level(level), "Liberation Mono");
}

// A pencil stroke whose pressure, and so its grey, wanders between `dark` and `light`.
void pencil(Pen &p, const std::vector<QPointF> &points, int dark, int light)
{
    for (size_t i = 1; i < points.size(); ++i) {
        p.set(p.level(dark + int((light - dark) * (0.5 + 0.5 * std::sin(i * 0.9)))), 0.45);
        p.line(points[i - 1], points[i]);
    }
}

std::vector<QPointF> initials(double x, double y)
{
    std::vector<QPointF> p;
    for (int i = 0; i <= 40; ++i) {
        const double t = i / 40.0;
        p.emplace_back(x + t * 0.7, y - 0.12 * std::sin(t * 19) - 0.08 * std::cos(t * 7));
    }
    return p;
}

// Holes at the punch positions along the left edge (or the top), half an inch in.
void punched(Pen &p, int holes, bool ring, bool top = false)
{
    const std::vector<double> along = holes == 2 ? std::vector<double>{-1.575, 1.575}
                                    : holes == 3 ? std::vector<double>{-4.25, 0, 4.25}
                                                 : std::vector<double>{-4.724, -1.575, 1.575, 4.724};
    for (double a : along)
        top ? p.hole(4.25 + a, 0.5, ring) : p.hole(0.5, 5.5 + a, ring);
}


struct Page {
    QString name;
    bool blank;
    QImage scan;
    int keptThrough; // a content page: the highest sensitivity that must keep it
};

std::vector<Page> corpus()
{
    std::vector<Page> pages;
    unsigned seed = 0;
    // Skews 0 to 3 degrees, varied by page; the scanner's noise and the pixel kind asked for.
    const auto add = [&](const char *name, bool blank, int dpi, Scan kind, QRgb paper,
                         const std::function<void(Pen &)> &draw, ScanOptions o = {}, int keptThrough = 3) {
        ++seed;
        Sheet s(dpi, (seed * 37 % 31) / 10.0 * (seed % 2 ? 1 : -1), QSizeF(8.5, 11), kind == Scan::Colour);
        Pen pen{s, qGray(paper)};
        draw(pen);
        static const Depth depths[] = {Depth::Grey, Depth::Bilevel, Depth::Colour, Depth::Bilevel};
        static const char *const kinds[] = {"grey", "bilevel", "colour", "jpeg bilevel"};
        o.depth = depths[int(kind)];
        o.seed = seed;
        o.paper = paper;
        o.jpegQuality = kind == Scan::JpegBilevel ? 15 : 0;
        pages.push_back({QStringLiteral("%1 %2 dpi %3").arg(QLatin1String(name)).arg(dpi).arg(QLatin1String(kinds[int(kind)])),
                         blank, s.scan(o), keptThrough});
    };
    const QRgb white = qRgb(238, 238, 238), grey229 = qRgb(229, 229, 229), cream = qRgb(242, 236, 218);
    const QRgb paper236 = qRgb(236, 236, 236), paper244 = qRgb(244, 244, 244);

    add("faded copy, text at 135", false, 300, Scan::Grey, white, [](Pen &p) { fadedText(p, 135); });
    add("faded copy, text at 120", false, 200, Scan::Grey, white, [](Pen &p) { fadedText(p, 120); });
    add("faded copy, text at 128", false, 300, Scan::Bilevel, white, [](Pen &p) { fadedText(p, 128); });
    add("pencil initials 110-150", false, 300, Scan::Grey, grey229, [](Pen &p) { pencil(p, initials(6.8, 10.2), 110, 150); });
    add("pencil line 130-160", false, 200, Scan::Grey, grey229, [](Pen &p) {
        pencil(p, {{4.0, 8.8}, {5.0, 8.8}, {6.0, 8.8}, {7.0, 8.8}}, 130, 160);
    });
    add("pencil initials 100-120", false, 200, Scan::Bilevel, grey229, [](Pen &p) { pencil(p, initials(1.2, 1.5), 100, 120); });
    add("text beside punched holes", false, 300, Scan::Bilevel, white, [](Pen &p) {
        punched(p, 3, false);
        p.text(QStringLiteral("Exhibit B"), 3.5, 2.0, 12, Qt::black, "Liberation Sans");
    });
    add("page number, jpeg", false, 300, Scan::JpegBilevel, white, [](Pen &p) {
        p.text(QStringLiteral("Page 7 of 9"), 3.8, 10.5, 9, Qt::black, "Liberation Sans");
    });
    add("carbon copy, typed at 160", false, 200, Scan::Grey, paper236, [](Pen &p) {
        p.sheet.blurred(QRectF(0, 0, p.px(8.5), p.px(11)), 3, [&](QPainter &q) {
            Pen layer{p.sheet, p.paper, &q};
            fadedText(layer, 160);
        });
    });
    add("one faint line at 160", false, 300, Scan::Grey, paper236, [](Pen &p) {
        p.text(QStringLiteral("COPY - NOT AN OFFICIAL RECORD"), 2.2, 5.5, 12, p.level(160), "Liberation Sans");
    });
    add("empty form, rules at 185, labels at 170", false, 200, Scan::Grey, paper244, [](Pen &p) {
        for (int i = 0; i < 6; ++i) {
            p.set(p.level(185), 0.2);
            p.line({2.0, 2.0 + i * 0.4}, {7.0, 2.0 + i * 0.4});
            p.text(QStringLiteral("Grantor:"), 1.0, 1.97 + i * 0.4, 8, p.level(170), "Liberation Sans");
        }
    });
    add("fold", true, 200, Scan::Grey, white, [](Pen &p) { // some 8 % darker than the paper
        p.set(p.level(220), 0.8);
        p.line({-0.5, 5.5}, {9.0, 5.5});
    });
    add("fold", true, 300, Scan::Bilevel, grey229, [](Pen &p) {
        p.set(p.level(212), 1.0);
        p.line({4.25, -0.5}, {4.25, 11.5});
    });
    add("dark crease", true, 200, Scan::Grey, white, [](Pen &p) {
        p.sheet.blurred(QRectF(-p.px(0.5), p.px(3.6), p.px(9.5), p.px(0.2)), 3, [&](QPainter &q) {
            Pen layer{p.sheet, p.paper, &q};
            layer.set(p.level(170), 1.2);
            layer.line({-0.5, 3.7}, {9.0, 3.7});
        });
    });
    add("show-through at 8 %", true, 300, Scan::Grey, white, [](Pen &p) {
        p.q->scale(-1, 1);
        p.q->translate(-p.px(8.5), 0);
        fadedText(p, 219);
    });
    add("cream paper", true, 200, Scan::Colour, cream, [](Pen &) {});
    add("dusty, jpeg", true, 200, Scan::JpegBilevel, white, [](Pen &) {}, {.dust = Dust::Heavy});
    add("clean, jpeg", true, 300, Scan::JpegBilevel, white, [](Pen &) {});
    add("copier border at 140", true, 300, Scan::Grey, white, [](Pen &) {}, {.border = {{0.3, 0.25, 0.2, 0.2}, 140}});
    // Scanner and toner streaks run straight down the scan whatever the skew, whole or in dashes.
    add("streak 2 px at 150", true, 300, Scan::Grey, white, [](Pen &) {}, {.streak = {911, 2, 150}});
    add("streak 2 px", true, 200, Scan::Bilevel, white, [](Pen &) {}, {.streak = {911, 2, 40}});
    add("streak 18 px at 120", true, 300, Scan::Grey, white, [](Pen &) {}, {.streak = {911, 18, 120}});
    add("dashed streak 6 px", true, 200, Scan::Bilevel, white, [](Pen &) {}, {.streak = {911, 6, 40, true}});
    // A scanner that clips its paper to pure white, its marks read against that white; and light
    // marks dithered on white paper, broken into dots a few pixels apart.
    const QRgb pure = qRgb(255, 255, 255);
    ScanOptions clipped, ordered, diffused;
    clipped.clipsPaper = true;
    ordered.halftone = Halftone::Ordered;
    diffused.halftone = Halftone::Diffusion;
    add("lone figure at 190, paper clipped to white", false, 200, Scan::Grey, white,
        [](Pen &p) { p.text(QStringLiteral("3"), 0.4, 10.6, 12, p.level(190), "Liberation Serif"); }, clipped);
    add("empty table at 200, paper clipped to white", false, 200, Scan::Grey, white, [](Pen &p) {
        p.set(p.level(200), 0.25);
        for (int i = 0; i <= 8; ++i)
            p.line({1.5, 2.0 + i * 0.35}, {6.5, 2.0 + i * 0.35});
        for (int i = 0; i <= 4; ++i)
            p.line({1.5 + i * 1.25, 2.0}, {1.5 + i * 1.25, 4.8});
    }, clipped);
    add("light rules at 210, ordered dither", false, 200, Scan::Bilevel, pure, [](Pen &p) {
        p.set(p.level(210), 0.13);
        for (int i = 0; i < 10; ++i)
            p.line({0.8, 1.5 + i * 0.4}, {7.7, 1.5 + i * 0.4});
    }, ordered);
    add("pencil note at 200, error diffusion", false, 200, Scan::Bilevel, pure, [](Pen &p) {
        p.text(QStringLiteral("Pd. in full 4/2"), 2.0, 5.0, 14, p.level(200), "Liberation Serif");
    }, diffused);
    // A crease running slantwise from edge to edge, light, as the scan shows it; writing on it
    // stays writing.
    const auto slantingCrease = [](Pen &p) {
        p.set(p.level(205), 0.25);
        p.line({-0.2, 4.0}, {8.7, 5.6});
    };
    add("crease slanting 1.6 in", true, 200, Scan::Grey, white, slantingCrease);
    add("crease slanting 1.6 in", true, 300, Scan::Colour, white, slantingCrease);
    add("initials on a slanting crease, error diffusion", false, 300, Scan::Bilevel, pure, [&](Pen &p) {
        slantingCrease(p);
        p.text(QStringLiteral("JK"), 4.1, 4.85, 14, p.level(200), "Liberation Serif");
    }, diffused);
    // A line ruled slantwise across an unused page is a mark someone made, not a crease.
    const auto struckThrough = [](Pen &p) {
        p.set(p.level(40), 0.4);
        p.line({-0.2, 10.4}, {8.7, 0.8});
    };
    add("page struck through", false, 300, Scan::Bilevel, pure, struckThrough);
    add("page struck through, error diffusion", false, 200, Scan::Bilevel, pure, struckThrough, diffused);
    // Light forms and pencil that a higher sensitivity must still keep: an empty form is a record
    // at every sensitivity; a legible line of pencil through 5.
    const auto framedForm = [](Pen &p) {
        p.set(p.level(210), 0.3);
        p.q->drawRect(QRectF(p.px(0.8), p.px(0.6), p.px(6.9), p.px(9.8)));
        for (int i = 1; i < 30; ++i)
            p.line({0.8, 0.6 + i * 0.33}, {7.7, 0.6 + i * 0.33});
    };
    add("framed ruled form at 210", false, 200, Scan::Grey, pure, framedForm, {}, 9);
    add("framed ruled form at 210", false, 150, Scan::Colour, pure, framedForm, {}, 9);
    add("pencil note at 215", false, 200, Scan::Grey, pure, [](Pen &p) {
        p.text(QStringLiteral("call Mr Hale re lot 7"), 2.5, 4.5, 16, p.level(215), "Liberation Sans");
    }, {}, 5);
    clipped.dust = Dust::Typical;
    add("clean, paper clipped to white", true, 200, Scan::Grey, white, [](Pen &) {}, clipped);
    // Shadows along three edges leave the page's share of ink high; the dots of its light rules
    // are still joined.
    ScanOptions shadowed = diffused;
    shadowed.shadow = {{0.2, 0.15, 0, 0.2}, 40};
    add("light rules at 210, error diffusion, shadows on three edges", false, 200, Scan::Bilevel, pure, [](Pen &p) {
        p.set(p.level(210), 0.13);
        for (int i = 0; i < 10; ++i)
            p.line({0.8, 1.5 + i * 0.4}, {7.7, 1.5 + i * 0.4});
    }, shadowed);
    // Blanks on a dithering scanner that reads its paper a shade below white, dusty, with shadows
    // along two and four edges: the paper's dots lie a few pixels apart all over the page.
    const QRgb nearWhite = qRgb(250, 250, 250);
    for (const Halftone halftone : {Halftone::Ordered, Halftone::Diffusion})
        for (const int edges : {2, 4}) {
            ScanOptions o;
            o.halftone = halftone;
            o.dust = Dust::Typical;
            o.shadow = {{0.15, edges == 4 ? 0.1 : 0, edges == 4 ? 0.12 : 0, 0.1}, 40};
            add(halftone == Halftone::Ordered ? "blank, ordered dither" : "blank, error diffusion", true, 300, Scan::Bilevel, nearWhite,
                [](Pen &) {}, o);
        }
    return pages;
}

} // namespace

TEST(BlankMarks, EveryPageRightAtTheDefaultAndMonotoneInSensitivity)
{
    for (const Page &p : corpus()) {
        const std::string verdicts = blankVerdicts(p.scan);
        const std::string row = p.name.toStdString() + ": " + verdicts;
        EXPECT_EQ(verdicts[3] == 'B', p.blank) << row;
        if (!p.blank) {
            EXPECT_EQ(verdicts[size_t(p.keptThrough)], 'c') << row;
        }
        EXPECT_TRUE(risesMonotonely(verdicts)) << row;
    }
}

// An empty form of faint rules lying square on the scanner, dithered to a single row of dots
// each: whichever rows they fall on, the form is kept.
TEST(BlankMarks, DottedRulesSquareOnThePageAreAForm)
{
    for (int row = 0; row < 4; ++row)
        for (int spacing : {3, 5}) {
            QImage img(1700, 2200, QImage::Format_Mono);
            img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
            img.fill(0);
            img.setDotsPerMeterX(qRound(200 / 0.0254));
            img.setDotsPerMeterY(qRound(200 / 0.0254));
            for (int rule = 0; rule < 5; ++rule)
                for (int x = 160; x < 1540; x += spacing)
                    img.setPixel(x, 300 + rule * 240 + row, 1);
            const std::string verdicts = blankVerdicts(img);
            EXPECT_EQ(verdicts.substr(0, 6), "cccccc") << "row " << row << ", a dot every " << spacing << " pixels: " << verdicts;
        }
}
