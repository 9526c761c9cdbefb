#include "paper.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSqlQuery>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <tiffio.h>

#include <vector>

namespace {

constexpr int kDpi = 200;
constexpr int kWidth = 1700; // letter at 200 dpi
constexpr int kHeight = 2200;
constexpr int kPaper = 250;  // the paper's tone

// A small fixed generator, so the paper is the same at every rendering.
struct Rng {
    quint32 s;
    int next(int n)
    {
        s = s * 1664525u + 1013904223u;
        return int((s >> 8) % quint32(n));
    }
};

struct Doc {
    QString title, type, year, month, day, ctl, bookCode, book, page;
    int pages = 1;
};

const char *const kNames[] = {"HARRINGTON", "OKAFOR", "LINDQVIST", "BEAUMONT", "CASTELLANO", "NGUYEN",
                              "FITZGERALD", "ABERNATHY", "KOWALSKI", "MORRISON", "DELACROIX", "YAMADA"};

QString instrument(const QString &type)
{
    static const QMap<QString, QString> names{{"DEED", "QUITCLAIM DEED"}, {"MTG", "MORTGAGE"},
                                              {"DISCH", "DISCHARGE OF MORTGAGE"}, {"LIEN", "NOTICE OF LIEN"},
                                              {"EASE", "GRANT OF EASEMENT"}, {"ASSN", "ASSIGNMENT OF MORTGAGE"}};
    return names.value(type, type);
}

QImage blankSheet()
{
    QImage img(kWidth, kHeight, QImage::Format_Grayscale8);
    img.fill(kPaper);
    img.setDotsPerMeterX(int(kDpi / 0.0254 + 0.5));
    img.setDotsPerMeterY(int(kDpi / 0.0254 + 0.5));
    return img;
}

QFont serif(int px, bool italic = false)
{
    QFont f(QStringLiteral("Liberation Serif"));
    f.setPixelSize(px);
    f.setItalic(italic);
    return f;
}

// Ink that looks written by pen: italic letters, each a little turned, lifted and sized apart.
void handwriting(QPainter &p, QPointF at, const QString &text, int px, Rng &rng)
{
    p.save();
    p.setPen(QPen(QColor(35, 35, 70), 1.2));
    p.setBrush(QColor(35, 35, 70));
    qreal x = at.x();
    for (const QChar c : text) {
        QFont f = serif(px + rng.next(7) - 3, true);
        QPainterPath glyph;
        glyph.addText(0, 0, f, QString(c));
        p.save();
        p.translate(x, at.y() + rng.next(7) - 3);
        p.rotate(rng.next(11) - 5);
        p.drawPath(glyph);
        p.restore();
        x += QFontMetricsF(f).horizontalAdvance(c) * 0.95;
    }
    p.restore();
}

// One page of a recorded document: the heading on its first page, text, and the signature on
// its last.
QImage deedPage(const Doc &d, int page, Rng &rng)
{
    QImage img = blankSheet();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(20, 20, 20));
    const QString grantor = QLatin1String(kNames[d.ctl.toInt() % 12]);
    const QString grantee = QLatin1String(kNames[(d.ctl.toInt() + 5) % 12]);
    QStringList lines;
    if (page == 1) {
        lines << d.title << QString() << instrument(d.type) << QString()
              << QStringLiteral("Recorded %1/%2/%3   Control number %4").arg(d.month, d.day, d.year, d.ctl)
              << QStringLiteral("Book %1%2   Page %3")
                     .arg(d.bookCode.isEmpty() ? QString() : d.bookCode + u' ', QString::number(d.book.toInt()),
                          QString::number(d.page.toInt()))
              << QString()
              << QStringLiteral("%1, of Harbor Street, for consideration paid,").arg(grantor)
              << QStringLiteral("grants to %1, with quitclaim covenants,").arg(grantee);
    } else {
        lines << QStringLiteral("SCHEDULE A (continued from page %1)").arg(page - 1) << QString();
    }
    lines << QStringLiteral("the land with the buildings thereon, bounded and described")
          << QStringLiteral("as follows: beginning at a stone bound on the westerly line")
          << QStringLiteral("of the way, thence running northerly by the way one hundred")
          << QStringLiteral("twelve feet, thence turning and running easterly by land now")
          << QStringLiteral("or formerly of %1 eighty-four feet to the point of").arg(grantee)
          << QStringLiteral("beginning, containing 9,408 square feet of land.");
    p.setFont(serif(40));
    int y = 260;
    for (const QString &line : std::as_const(lines)) {
        p.drawText(200, y, line);
        y += 64;
    }
    if (page == d.pages) {
        y += 120;
        p.drawText(200, y, QStringLiteral("Witness my hand and seal this day."));
        p.drawLine(900, y + 150, 1500, y + 150);
        p.setFont(serif(32));
        p.drawText(900, y + 190, grantor);
        handwriting(p, QPointF(920, y + 130), grantor.left(1) + grantor.mid(1).toLower(), 70, rng);
    }
    p.setFont(serif(32));
    p.drawText(200, kHeight - 140, QStringLiteral("Page %1 of %2").arg(page).arg(d.pages));
    return img;
}

// The first page of a New York recorded document: the endorsement cover page with the barcode
// of its recording date and control number inside the band the reader looks at.
QImage coverSheet(const Doc &d, bool barcode)
{
    QImage img = blankSheet();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(20, 20, 20));
    p.setFont(serif(48));
    p.drawText(200, 260, d.title);
    p.setFont(serif(40));
    const QStringList lines = {QStringLiteral("RECORDING AND ENDORSEMENT COVER PAGE"), QString(),
                               QStringLiteral("Document type: %1").arg(instrument(d.type)),
                               QStringLiteral("Recorded: %1/%2/%3").arg(d.month, d.day, d.year),
                               QStringLiteral("Control number: %1").arg(d.ctl),
                               QStringLiteral("Pages including this cover page: %1").arg(d.pages)};
    int y = 380;
    for (const QString &line : lines) {
        p.drawText(200, y, line);
        y += 64;
    }
    const std::string code = (d.year + d.month + d.day + d.ctl).toStdString();
    if (barcode) {
        ZXing::MultiFormatWriter writer(ZXing::BarcodeFormat::Code128);
        writer.setMargin(0);
        const ZXing::BitMatrix m = writer.encode(code, 0, 0);
        const int module = 3;
        for (int c = 0; c < m.width(); ++c)
            if (m.get(c, 0))
                p.fillRect(200 + c * module, 1200, module, 140, QColor(10, 10, 10));
        p.setFont(serif(32));
        p.drawText(200, 1390, QString::fromStdString(code));
    } else {
        p.setFont(serif(32));
        p.drawText(200, 1390, QStringLiteral("(barcode label missing)"));
    }
    p.setFont(serif(32));
    p.drawText(200, kHeight - 140, QStringLiteral("This page is part of the instrument."));
    return img;
}

// A page of a bound record book, for the overhead scanner.
QImage bookPage(int page)
{
    QImage img = blankSheet();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(20, 20, 20));
    p.setFont(serif(44));
    p.drawText(200, 220, QStringLiteral("RECORD BOOK 900"));
    p.drawText(1200, 220, QStringLiteral("PAGE %1").arg(page));
    p.setFont(serif(34));
    for (int row = 0; row < 22; ++row) {
        const int y = 360 + row * 76;
        p.drawLine(200, y + 16, 1500, y + 16);
        p.drawText(210, y, QStringLiteral("%1  %2 to %3")
                               .arg(page * 100 + row)
                               .arg(QLatin1String(kNames[(page + row) % 12]), QLatin1String(kNames[(page * 3 + row) % 12])));
    }
    return img;
}

// Specks of dust and fibre a feeder leaves on a blank side.
QImage dustyBack(Rng &rng)
{
    QImage img = blankSheet();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 70; ++i) {
        const int g = 70 + rng.next(90);
        p.setBrush(QColor(g, g, g));
        const qreal r = 0.6 + rng.next(10) / 10.0;
        p.drawEllipse(QPointF(20 + rng.next(kWidth - 40), 20 + rng.next(kHeight - 40)), r, r);
    }
    return img;
}

// The front's print seen faintly through the paper: mirrored, soft and pale.
QImage showThrough(const QImage &front)
{
    QImage soft = front.mirrored(true, false)
                      .scaled(kWidth / 4, kHeight / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                      .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage img = blankSheet();
    for (int y = 0; y < kHeight; ++y) {
        const uchar *s = soft.constScanLine(y);
        uchar *d = img.scanLine(y);
        for (int x = 0; x < kWidth; ++x)
            d[x] = uchar(kPaper - (kPaper - std::min<int>(s[x], kPaper)) * 12 / 100);
    }
    return img;
}

QImage noteBack(const QString &text, Rng &rng)
{
    QImage img = blankSheet();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    handwriting(p, QPointF(260, 420), text, 64, rng);
    return img;
}

// A grey page as an 8-bit deflate TIFF, 200 dpi.
bool writeGreyTiff(const QString &path, const QImage &img)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(img.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(img.height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(kDpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(kDpi));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    bool ok = true;
    std::vector<uchar> row(size_t(img.width()));
    for (int y = 0; y < img.height() && ok; ++y) {
        std::copy_n(img.constScanLine(y), img.width(), row.begin());
        ok = TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

// The stack being written: sheets numbered from 01 in the order they are added.
class Stack {
public:
    Stack(const QString &folder, QString *error) : m_dir(folder), m_error(error)
    {
        QDir(folder).removeRecursively();
        if (!QDir().mkpath(folder))
            fail(folder);
    }
    void add(const QImage &front, const QImage &back = QImage())
    {
        const QString name = QStringLiteral("%1").arg(++m_count, 2, 10, QLatin1Char('0'));
        write(name + QStringLiteral(".tif"), front);
        if (!back.isNull())
            write(name + QStringLiteral("-back.tif"), back);
    }
    bool ok() const { return m_ok; }

private:
    void write(const QString &name, const QImage &img)
    {
        if (m_ok && !writeGreyTiff(m_dir.filePath(name), img))
            fail(m_dir.filePath(name));
    }
    void fail(const QString &what)
    {
        m_ok = false;
        *m_error = QStringLiteral("cannot write %1").arg(what);
    }
    QDir m_dir;
    QString *m_error;
    int m_count = 0;
    bool m_ok = true;
};

QList<Doc> documents(QSqlDatabase db, const QString &where, const QString &order, const QString &title)
{
    QList<Doc> out;
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT doc_type, year, month, day, ctl, book_code, book, page, num_pages FROM documents "
                          "WHERE ") + where + QStringLiteral(" ORDER BY ") + order);
    while (q.next()) {
        Doc d;
        d.title = title;
        d.type = q.value(0).toString();
        d.year = q.value(1).toString();
        d.month = q.value(2).toString();
        d.day = q.value(3).toString();
        d.ctl = q.value(4).toString();
        d.bookCode = q.value(5).toString();
        d.book = q.value(6).toString();
        d.page = q.value(7).toString();
        d.pages = std::max(1, q.value(8).toInt());
        out << d;
    }
    return out;
}

} // namespace

bool writeDemoPaper(QSqlDatabase db, const QString &folder, QString *error)
{
    Rng rng{20260302};
    const QDir root(folder);

    // Massachusetts recorded land not scanned yet, book 1033 first (the batch scan's documents).
    const QList<Doc> ma = documents(db,
                                    QStringLiteral("db = 'LR' AND COALESCE(book_code, '') = '' AND imid = '' "
                                                   "AND book < '002000'"),
                                    QStringLiteral("book = '001033' DESC, book, page"),
                                    QStringLiteral("SOUTH DISTRICT REGISTRY OF DEEDS"));
    Stack office(root.filePath(QStringLiteral("office")), error);
    int sheets = 0;
    for (const Doc &d : ma)
        for (int p = 1; p <= d.pages && sheets < 10; ++p, ++sheets)
            office.add(deedPage(d, p, rng));

    Stack backs(root.filePath(QStringLiteral("backs")), error);
    if (!ma.isEmpty()) {
        // The document the blank-back road looks up: book 1033 page 10.
        Doc d = ma.last();
        for (const Doc &m : ma)
            if (m.book.toInt() == 1033 && m.page.toInt() == 10)
                d = m;
        d.pages = 4;
        const QImage third = deedPage(d, 3, rng);
        backs.add(deedPage(d, 1, rng), dustyBack(rng));
        backs.add(deedPage(d, 2, rng), noteBack(QStringLiteral("Rec'd at the counter, copy to file.  J.K."), rng));
        backs.add(third, showThrough(third));
        backs.add(deedPage(d, 4, rng), noteBack(QStringLiteral("See also Bk 1032 Pg 28"), rng));
    }

    const QList<Doc> ny = documents(db,
                                    QStringLiteral("year = '%1' AND month = '%2' AND day = '%3' AND imid = ''")
                                        .arg(QLatin1String(demoPaper::kBarcodeYear), QLatin1String(demoPaper::kBarcodeMonth),
                                             QLatin1String(demoPaper::kBarcodeDay)),
                                    QStringLiteral("ctl"), QStringLiteral("EMPIRE COUNTY CLERK"));
    Stack barcode(root.filePath(QStringLiteral("ny-barcode")), error);
    Stack mismatch(root.filePath(QStringLiteral("ny-mismatch")), error);
    for (int i = 0; i < ny.size() && i < 6; ++i) {
        Stack &stack = i < 4 ? barcode : mismatch;
        stack.add(coverSheet(ny[i], i != 5));
        for (int p = 2; p <= ny[i].pages; ++p)
            stack.add(deedPage(ny[i], p, rng));
    }

    Stack book(root.filePath(QStringLiteral("book")), error);
    for (int p = 1; p <= 6; ++p)
        book.add(bookPage(p));
    return office.ok() && backs.ok() && barcode.ok() && mismatch.ok() && book.ok();
}
