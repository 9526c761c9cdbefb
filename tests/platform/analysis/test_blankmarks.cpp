// Blank verdicts on pages drawn here in absolute grey levels and colours: faded copies, carbons,
// pencil, empty forms, coloured stamps and signatures, figures written beside holes and in
// corners, and blank sheets with punched-hole and staple shadows, creases, scanner streaks,
// copier borders, JPEG artefacts and faint show-through. Each page states its verdict; every
// page is right at the default sensitivity and its verdict never goes from blank to content as
// the sensitivity rises.
#include "support/analysischains.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

enum class Scan { Grey, Bilevel, Colour, JpegBilevel };

QImage paperSheet(int dpi, QColor paper)
{
    QImage image(int(8.5 * dpi), 11 * dpi, QImage::Format_RGB888);
    image.fill(paper);
    return image;
}

// One sheet: drawn in page pixels on its paper colour, turned by the skew about its centre.
struct Sheet {
    Sheet(int dpi, double skew, QColor paper = QColor(238, 238, 238))
        : dpi(dpi), image(paperSheet(dpi, paper)), painter(&image)
    {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(image.width() / 2.0, image.height() / 2.0);
        painter.rotate(skew);
        painter.translate(-image.width() / 2.0, -image.height() / 2.0);
    }
    double px(double inches) const { return inches * dpi; }
    void pen(QColor c, double mm) { painter.setPen(QPen(c, mm * dpi / 25.4, Qt::SolidLine, Qt::RoundCap)); }
    void text(const QString &t, double x, double y, double points, QColor c, const char *family, bool bold = false)
    {
        QFont f(QString::fromLatin1(family));
        f.setPixelSize(int(std::lround(points * dpi / 72)));
        f.setBold(bold);
        painter.setFont(f);
        painter.setPen(c);
        painter.drawText(QPointF(px(x), px(y)), t);
    }
    // A hole's shadow 6 mm across, centred at (x, y): a dark disc, or a ring when the backing
    // shows white through it.
    void hole(double x, double y, bool ring)
    {
        const double r = 3.0 / 25.4;
        if (ring) {
            pen(QColor(70, 70, 70), 0.6);
            painter.setBrush(Qt::NoBrush);
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(45, 45, 45));
        }
        painter.drawEllipse(QPointF(px(x), px(y)), px(r), px(r));
        painter.setBrush(Qt::NoBrush);
    }

    int dpi;
    QImage image;
    QPainter painter;
};

// The scanner: a shading across the sheet, noise, then the pixel kind asked for.
QImage scanned(Sheet &sheet, Scan kind, unsigned seed)
{
    sheet.painter.end();
    QImage img = sheet.image;
    uint32_t n = seed * 2654435761u + 7;
    for (int y = 0; y < img.height(); ++y) {
        uchar *line = img.scanLine(y);
        const int shade = int(5 * std::sin(y * 3.0 / img.height() + seed));
        for (int x = 0; x < img.width() * 3; ++x) {
            n = n * 1103515245u + 12345u;
            line[x] = uchar(std::clamp(line[x] + shade + int((n >> 16) % 13) - 6, 0, 255));
        }
    }
    img.setDotsPerMeterX(qRound(sheet.dpi / 0.0254));
    img.setDotsPerMeterY(qRound(sheet.dpi / 0.0254));
    if (kind == Scan::Colour)
        return img;
    QImage grey = img.convertToFormat(QImage::Format_Grayscale8);
    if (kind == Scan::JpegBilevel) {
        QBuffer jpeg;
        jpeg.open(QIODevice::ReadWrite);
        grey.save(&jpeg, "JPG", 15);
        grey.loadFromData(jpeg.data(), "JPG");
        grey = grey.convertToFormat(QImage::Format_Grayscale8);
    }
    if (kind == Scan::Grey)
        return grey;
    QImage mono = grey.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(img.dotsPerMeterX());
    mono.setDotsPerMeterY(img.dotsPerMeterY());
    return mono;
}

void fadedText(Sheet &s, int level)
{
    for (int line = 0; line < 40; ++line)
        s.text(QStringLiteral("Copy of deed recorded in liber %1 page %2, parcel %3 and easement").arg(400 + line).arg(17 * line).arg(line % 9),
               1.0, 1.2 + line * 0.22, 10, QColor(level, level, level), "Liberation Mono");
}

void receivedStamp(Sheet &s, QColor c, double x, double y)
{
    s.pen(c, 0.8);
    s.painter.drawRoundedRect(QRectF(s.px(x), s.px(y), s.px(2.2), s.px(0.7)), s.px(0.08), s.px(0.08));
    s.text(QStringLiteral("RECEIVED"), x + 0.25, y + 0.48, 18, c, "Liberation Sans", true);
}

void signature(Sheet &s, QColor c, double x, double y)
{
    QPainterPath p(QPointF(s.px(x), s.px(y)));
    for (int i = 0; i < 6; ++i) {
        const double x0 = x + i * 0.28;
        p.cubicTo(s.px(x0 + 0.1), s.px(y - 0.35), s.px(x0 + 0.2), s.px(y + 0.15), s.px(x0 + 0.28), s.px(y - 0.05));
    }
    s.pen(c, 0.5);
    s.painter.drawPath(p);
}

// A pencil stroke whose pressure, and so its grey, wanders between `dark` and `light`.
void pencil(Sheet &s, const std::vector<QPointF> &points, int dark, int light)
{
    for (size_t i = 1; i < points.size(); ++i) {
        const int level = dark + int((light - dark) * (0.5 + 0.5 * std::sin(i * 0.9)));
        s.pen(QColor(level, level, level), 0.45);
        s.painter.drawLine(QPointF(s.px(points[i - 1].x()), s.px(points[i - 1].y())),
                           QPointF(s.px(points[i].x()), s.px(points[i].y())));
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

std::vector<QPointF> straight(double x0, double y0, double x1, double y1)
{
    std::vector<QPointF> p;
    for (int i = 0; i <= 30; ++i)
        p.emplace_back(x0 + (x1 - x0) * i / 30, y0 + (y1 - y0) * i / 30);
    return p;
}

// Holes at the punch positions along the left edge (or the top), half an inch in.
void punched(Sheet &s, int holes, bool ring, bool top = false)
{
    std::vector<double> along;
    if (holes == 2)
        along = {-1.575, 1.575};
    if (holes == 3)
        along = {-4.25, 0, 4.25};
    if (holes == 4)
        along = {-4.724, -1.575, 1.575, 4.724};
    for (double a : along)
        top ? s.hole(4.25 + a, 0.5, ring) : s.hole(0.5, 5.5 + a, ring);
}

void staple(Sheet &s, bool legs)
{
    s.pen(QColor(55, 55, 55), 0.8);
    if (legs) { // folded in on the back: two short bars in line, a gap between them
        s.painter.drawLine(QPointF(s.px(0.25), s.px(0.6)), QPointF(s.px(0.37), s.px(0.48)));
        s.painter.drawLine(QPointF(s.px(0.48), s.px(0.37)), QPointF(s.px(0.6), s.px(0.25)));
    } else {
        s.painter.drawLine(QPointF(s.px(0.25), s.px(0.6)), QPointF(s.px(0.6), s.px(0.25)));
    }
}

// A carbon copy's blur: the sheet as drawn so far, smoothed over about three pixels.
void smear(Sheet &s)
{
    const QTransform t = s.painter.transform();
    s.painter.end();
    const QSize size = s.image.size();
    s.image = s.image.scaled(size / 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB888);
    s.painter.begin(&s.image);
    s.painter.setRenderHint(QPainter::Antialiasing);
    s.painter.setTransform(t);
}

// A figure written by hand, `size` inches tall, its top left at (x, y): strokes through points
// of a unit box.
void figure(Sheet &s, std::vector<std::vector<QPointF>> strokes, double x, double y, double size, QColor c,
            double mm = 0.4)
{
    s.pen(c, mm);
    for (const auto &stroke : strokes) {
        QPainterPath p(QPointF(s.px(x + stroke[0].x() * size), s.px(y + stroke[0].y() * size)));
        for (size_t i = 1; i < stroke.size(); ++i)
            p.lineTo(QPointF(s.px(x + stroke[i].x() * size), s.px(y + stroke[i].y() * size)));
        s.painter.drawPath(p);
    }
}
const std::vector<std::vector<QPointF>> One = {{{0.05, 0.2}, {0.3, 0.0}, {0.28, 0.5}, {0.25, 1.0}}};
const std::vector<std::vector<QPointF>> Seven = {{{0.0, 0.05}, {0.6, 0.0}, {0.35, 0.5}, {0.2, 1.0}}};
const std::vector<std::vector<QPointF>> Four = {{{0.5, 1.0}, {0.45, 0.0}, {0.0, 0.65}, {0.7, 0.62}}};
const std::vector<std::vector<QPointF>> Tick = {{{0.0, 0.55}, {0.25, 1.0}, {0.8, 0.0}}};

struct Page {
    QString name;
    bool blank;
    QImage scan;
};

std::vector<Page> corpus()
{
    std::vector<Page> pages;
    unsigned seed = 0;
    // Skews 0 to 3 degrees, varied by page.
    const auto add = [&](const char *name, bool blank, int dpi, Scan kind, QColor paper,
                         const std::function<void(Sheet &)> &draw) {
        ++seed;
        Sheet s(dpi, (seed * 37 % 31) / 10.0 * (seed % 2 ? 1 : -1), paper);
        draw(s);
        static const char *const kinds[] = {"grey", "bilevel", "colour", "jpeg bilevel"};
        pages.push_back({QStringLiteral("%1 %2 dpi %3").arg(QLatin1String(name)).arg(dpi).arg(QLatin1String(kinds[int(kind)])),
                         blank, scanned(s, kind, seed)});
    };
    const QColor white(238, 238, 238), grey229(229, 229, 229), cream(242, 236, 218);
    const QColor red(215, 60, 60), blue(40, 60, 170), green(40, 140, 70);

    add("faded copy, text at 135", false, 300, Scan::Grey, white, [](Sheet &s) { fadedText(s, 135); });
    add("faded copy, text at 120", false, 200, Scan::Grey, white, [](Sheet &s) { fadedText(s, 120); });
    add("faded copy, text at 128", false, 300, Scan::Bilevel, white, [](Sheet &s) { fadedText(s, 128); });
    add("red stamp", false, 300, Scan::Colour, white, [&](Sheet &s) { receivedStamp(s, red, 5.5, 1.0); });
    add("red stamp", false, 200, Scan::Grey, white, [&](Sheet &s) { receivedStamp(s, red, 1.0, 9.0); });
    add("blue stamp on cream", false, 200, Scan::Colour, cream, [&](Sheet &s) { receivedStamp(s, blue, 3.0, 5.0); });
    add("green stamp", false, 300, Scan::Grey, white, [&](Sheet &s) { receivedStamp(s, green, 5.0, 9.5); });
    add("blue signature", false, 300, Scan::Colour, white, [&](Sheet &s) { signature(s, blue, 4.5, 8.8); });
    add("green signature", false, 200, Scan::Grey, grey229, [&](Sheet &s) { signature(s, green, 1.2, 9.6); });
    add("pencil initials 110-150", false, 300, Scan::Grey, grey229, [](Sheet &s) { pencil(s, initials(6.8, 10.2), 110, 150); });
    add("pencil line 130-160", false, 200, Scan::Grey, grey229, [](Sheet &s) { pencil(s, straight(4.0, 8.8, 7.0, 8.8), 130, 160); });
    add("pencil initials 110-130", false, 200, Scan::Bilevel, grey229, [](Sheet &s) { pencil(s, initials(1.2, 1.5), 100, 120); });
    add("text beside punched holes", false, 300, Scan::Bilevel, white, [](Sheet &s) {
        punched(s, 3, false);
        s.text(QStringLiteral("Exhibit B"), 3.5, 2.0, 12, Qt::black, "Liberation Sans");
    });
    add("page number, jpeg", false, 300, Scan::JpegBilevel, white, [](Sheet &s) {
        s.text(QStringLiteral("Page 7 of 9"), 3.8, 10.5, 9, Qt::black, "Liberation Sans");
    });

    add("2 hole rings", true, 300, Scan::Grey, white, [](Sheet &s) { punched(s, 2, true); });
    add("2 hole discs", true, 200, Scan::Bilevel, white, [](Sheet &s) { punched(s, 2, false); });
    add("3 hole discs", true, 200, Scan::Grey, grey229, [](Sheet &s) { punched(s, 3, false); });
    add("3 hole rings", true, 300, Scan::Bilevel, white, [](Sheet &s) { punched(s, 3, true); });
    add("4 hole discs", true, 300, Scan::Grey, white, [](Sheet &s) { punched(s, 4, false); });
    add("4 hole rings", true, 200, Scan::Bilevel, white, [](Sheet &s) { punched(s, 4, true); });
    add("2 hole discs at the top", true, 300, Scan::Colour, cream, [](Sheet &s) { punched(s, 2, false, true); });
    add("staple", true, 300, Scan::Grey, white, [](Sheet &s) { staple(s, false); });
    add("staple legs", true, 200, Scan::Bilevel, white, [](Sheet &s) { staple(s, true); });
    add("fold", true, 200, Scan::Grey, white, [](Sheet &s) {
        s.pen(QColor(220, 220, 220), 0.8); // some 8 % darker than the paper
        s.painter.drawLine(QPointF(0, s.px(5.5)), QPointF(s.image.width(), s.px(5.5)));
    });
    add("fold", true, 300, Scan::Bilevel, grey229, [](Sheet &s) {
        s.pen(QColor(212, 212, 212), 1.0);
        s.painter.drawLine(QPointF(s.px(4.25), 0), QPointF(s.px(4.25), s.image.height()));
    });
    add("show-through at 8 %", true, 300, Scan::Grey, white, [](Sheet &s) {
        s.painter.scale(-1, 1);
        s.painter.translate(-s.image.width(), 0);
        fadedText(s, 219);
    });
    add("cream paper", true, 200, Scan::Colour, cream, [](Sheet &) {});
    add("dusty, jpeg", true, 200, Scan::JpegBilevel, white, [](Sheet &s) {
        for (int i = 0; i < 300; ++i)
            s.painter.fillRect(QRectF((i * 7919) % s.image.width(), (i * 104729) % s.image.height(), 3, 3), QColor(60, 60, 60));
    });
    add("clean, jpeg", true, 300, Scan::JpegBilevel, white, [](Sheet &) {});

    const QColor paper236(236, 236, 236), paper244(244, 244, 244);
    add("carbon copy, typed at 160", false, 200, Scan::Grey, paper236, [](Sheet &s) {
        fadedText(s, 160);
        smear(s);
    });
    add("one faint line at 160", false, 300, Scan::Grey, paper236, [](Sheet &s) {
        s.text(QStringLiteral("COPY - NOT AN OFFICIAL RECORD"), 2.2, 5.5, 12, QColor(160, 160, 160), "Liberation Sans");
    });
    add("empty form, rules at 185, labels at 170", false, 200, Scan::Grey, paper244, [](Sheet &s) {
        for (int i = 0; i < 6; ++i) {
            s.pen(QColor(185, 185, 185), 0.2);
            s.painter.drawLine(QPointF(s.px(2.0), s.px(2.0 + i * 0.4)), QPointF(s.px(7.0), s.px(2.0 + i * 0.4)));
            s.text(QStringLiteral("Grantor:"), 1.0, 1.97 + i * 0.4, 8, QColor(170, 170, 170), "Liberation Sans");
        }
    });
    add("a 1 in the top corner", false, 300, Scan::Grey, white, [](Sheet &s) { figure(s, One, 0.25, 0.2, 0.3, QColor(40, 40, 40)); });
    add("a 7 where a punch puts a hole", false, 200, Scan::Bilevel, white, [](Sheet &s) {
        figure(s, Seven, 0.35, 5.3, 0.25, QColor(30, 30, 30));
    });
    add("a 4 in the bottom corner, blue", false, 300, Scan::Colour, white, [](Sheet &s) {
        figure(s, Four, 7.9, 10.5, 0.22, QColor(40, 60, 170), 0.5);
    });
    add("a tick by the right edge", false, 200, Scan::Grey, grey229, [](Sheet &s) {
        figure(s, Tick, 7.95, 3.0, 0.2, QColor(60, 60, 60));
    });
    add("copier border at 140", true, 300, Scan::Grey, white, [](Sheet &s) {
        s.painter.resetTransform();
        s.painter.setPen(Qt::NoPen);
        s.painter.setBrush(QColor(140, 140, 140));
        for (const QRectF &r : {QRectF(0, 0, 8.5, 0.25), QRectF(0, 10.8, 8.5, 0.2), QRectF(0, 0, 0.3, 11), QRectF(8.3, 0, 0.2, 11)})
            s.painter.drawRect(QRectF(s.px(r.x()), s.px(r.y()), s.px(r.width()), s.px(r.height())));
    });
    add("dark crease", true, 200, Scan::Grey, white, [](Sheet &s) {
        s.pen(QColor(170, 170, 170), 1.2);
        s.painter.drawLine(QPointF(-s.px(0.5), s.px(3.7)), QPointF(s.px(9.0), s.px(3.7)));
        smear(s);
    });

    // Scanner and toner streaks run straight down the scan whatever the skew: drawn on the
    // scanned pixels, whole or in dashes.
    struct Streak {
        int dpi;
        Scan kind;
        int width, level;
        bool dashed;
    };
    for (const Streak &k : {Streak{300, Scan::Grey, 2, 150, false}, Streak{200, Scan::Bilevel, 2, 0, false},
                            Streak{300, Scan::Grey, 18, 120, false}, Streak{200, Scan::Bilevel, 6, 0, true}}) {
        Sheet s(k.dpi, 1.5);
        QImage scan = scanned(s, k.kind, 99);
        const int ink = k.kind == Scan::Grey ? k.level : qGray(scan.color(0)) < 128 ? 0 : 1;
        for (int y = 0; y < scan.height(); ++y)
            for (int x = 911; x < 911 + k.width && (!k.dashed || y % (k.dpi / 2) < k.dpi / 3); ++x) {
                if (k.kind == Scan::Grey)
                    scan.scanLine(y)[x] = uchar(ink);
                else
                    scan.setPixel(x, y, uint(ink));
            }
        pages.push_back({QStringLiteral("%1streak %2 px, %3 dpi").arg(QLatin1String(k.dashed ? "dashed " : "")).arg(k.width).arg(k.dpi), true, scan});
    }
    return pages;
}

} // namespace

TEST(BlankMarks, EveryPageRightAtTheDefaultAndMonotoneInSensitivity)
{
    for (const Page &p : corpus()) {
        QString verdicts;
        for (int s = 0; s <= 9; ++s)
            verdicts += blankValue(blankChain(s).apply(p.scan)) == 1 ? u'B' : u'c';
        const std::string row = p.name.toStdString() + ": " + verdicts.toStdString();
        EXPECT_EQ(verdicts[3] == u'B', p.blank) << row;
        // Once blank, blank at every higher sensitivity.
        EXPECT_FALSE(verdicts.mid(verdicts.indexOf(u'B') < 0 ? 10 : verdicts.indexOf(u'B')).contains(u'c')) << row;
    }
}
