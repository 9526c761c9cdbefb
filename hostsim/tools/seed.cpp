// hostsim-seed: creates an emulator database; with --demo also seeds the demo office (documents of
// all four customers, stored page images, the e-file queue with cover pages) and its share root;
// with --log prints the database's call log.
#include "hostsim/emulator.h"
#include "pages.h"
#include "paper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QTextStream>

#include <cstdio>

namespace {

const char *const kHost = "RECHOST";

// A small fixed generator, so every seed is the same office.
struct Rng {
    quint32 s = 20261208;
    int next(int n)
    {
        s = s * 1664525u + 1013904223u;
        return int((s >> 8) % quint32(n));
    }
};

QString z(int v, int width) { return QString::number(v).rightJustified(width, u'0'); }

class Seeder {
public:
    Seeder(hostsim::HostEmulator &em, QString shareRoot) : em(em), root(std::move(shareRoot)) {}

    bool run(const QString &officeSql);

private:
    struct Doc {
        QString db, bookCode, book, page, year, month, day, ctl, inst, key, docId, docNum, plan1, plan2, plan3,
            refCode, refNum, ref, filename, type, title;
    };
    void insert(const Doc &d, bool withImage);
    QString storeImage(const Doc &d);
    QString local(const QString &rest) const { return root + u'/' + kHost + u'/' + QString(rest).replace(u'\\', u'/'); }
    void efileQueue();
    bool exec(const QString &sql, const QVariantList &binds);

    hostsim::HostEmulator &em;
    QString root;
    Rng rng;
    int ctl = 100;
    int images = 0;
    bool ok = true;
};

const char *const kTypes[] = {"DEED", "MTG", "DISCH", "LIEN", "EASE", "ASSN"};
const char *const kNames[] = {"HARRINGTON", "OKAFOR", "LINDQVIST", "BEAUMONT", "CASTELLANO", "NGUYEN",
                              "FITZGERALD", "ABERNATHY", "KOWALSKI", "MORRISON", "DELACROIX", "YAMADA"};

bool Seeder::exec(const QString &sql, const QVariantList &binds)
{
    QSqlQuery q(em.db());
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec()) {
        std::fprintf(stderr, "hostsim-seed: %s\n", qPrintable(sql));
        ok = false;
    }
    return ok;
}

QString Seeder::storeImage(const Doc &d)
{
    const QString imid = QStringLiteral("IM") + z(++images, 10);
    const QString folder = QStringLiteral("IMG") + d.year;
    const int pages = 1 + rng.next(4);
    QStringList texts;
    const QString grantor = QLatin1String(kNames[rng.next(12)]);
    const QString grantee = QLatin1String(kNames[rng.next(12)]);
    for (int p = 0; p < pages; ++p) {
        QStringList lines;
        lines << d.title << QString()
              << QStringLiteral("Recorded %1/%2/%3   Control number %4").arg(d.month, d.day, d.year, d.ctl);
        if (!d.book.isEmpty())
            lines << QStringLiteral("Book %1%2   Page %3").arg(d.bookCode.isEmpty() ? QString() : d.bookCode + u' ',
                                                             d.book, d.page);
        if (!d.docNum.isEmpty())
            lines << QStringLiteral("Document number %1").arg(d.docNum);
        if (!d.plan1.isEmpty())
            lines << QStringLiteral("Plan %1 %2 %3").arg(d.plan1, d.plan2, d.plan3);
        if (!d.refNum.isEmpty())
            lines << QStringLiteral("Reference %1 %2").arg(d.refCode, d.refNum);
        lines << QString() << QStringLiteral("Instrument: %1").arg(d.type)
              << QStringLiteral("Grantor: %1").arg(grantor) << QStringLiteral("Grantee: %1").arg(grantee);
        if (p > 0)
            lines << QString() << QStringLiteral("(continued from page %1)").arg(p);
        texts << lines.join(u'\n');
    }
    const QString path = local(QStringLiteral("IMAGES\\") + folder + u'\\' + imid);
    if (!writeTextPages(path, texts)) {
        std::fprintf(stderr, "hostsim-seed: cannot write %s\n", qPrintable(path));
        ok = false;
    }
    exec(QStringLiteral("INSERT INTO image_master(imid, folder, subdir, member, num_pages, doc_type, redacted, size) "
                        "VALUES(?,?,?,?,?,?,?,?)"),
         {imid, folder, QString(""), QStringLiteral("IMAGES"), z(pages, 4), d.type, rng.next(8) == 0 ? "Y" : "N",
          QFileInfo(path).size()});
    return imid;
}

void Seeder::insert(const Doc &d, bool withImage)
{
    const QString imid = withImage ? storeImage(d) : QString("");
    // a document not scanned yet carries the page count recorded with it; a scanned one's count
    // is its image's
    const QString recorded = withImage ? QString("") : z(1 + d.ctl.toInt() % 4, 4);
    exec(QStringLiteral("INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, inst, key_code, "
                        "doc_id, doc_num, plan1, plan2, plan3, ref_code, ref_num, ref, filename, doc_type, imid, "
                        "num_pages) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
         {d.db, d.bookCode, d.book, d.page, d.year, d.month, d.day, d.ctl, d.inst, d.key, d.docId, d.docNum,
          d.plan1, d.plan2, d.plan3, d.refCode, d.refNum, d.ref, d.filename, d.type, imid, recorded});
}

void Seeder::efileQueue()
{
    const QString partners[] = {"01", "02", "03", "05"};
    const QString cover = local(QStringLiteral("COVERS\\EFILECOVER.TIF"));
    writeTextPages(cover, {QStringLiteral("ELECTRONIC RECORDING COVER SHEET\n\n\n\n\n\n\n\n\nThis page is part of "
                                          "the recorded document.")});
    for (int i = 1; i <= 12; ++i) {
        const QString partner = partners[i % 4];
        const bool ny = partner == u"05";
        const QString db = ny ? QStringLiteral("LR") : (i % 3 == 0 ? QStringLiteral("LC") : QStringLiteral("LR"));
        const QString docId = z(i, 10);
        const QString year = QStringLiteral("2026"), month = z(1 + i % 12, 2), day = z(1 + i, 2), c = z(50000 + i, 5);
        const QString book = db == u"LC" ? QString("") : z(ny ? 3900 + i : 1900 + i, 6);
        const QString page = db == u"LC" ? QString("") : z(1 + 7 * i, 4);
        const int pages = 1 + i % 3;
        QStringList texts;
        for (int p = 0; p < pages; ++p)
            texts << QStringLiteral("E-FILED %1\n\nSubmitted by partner %2, batch %3\nDocument %4\n\n%5 to %6")
                         .arg(QLatin1String(kTypes[i % 6]), partner, z(1000 + i / 4, 7), docId,
                              QLatin1String(kNames[i % 12]), QLatin1String(kNames[(i + 5) % 12]));
        const QString inDoc = QStringLiteral("EFILE\\%1\\%2.TIF").arg(partner, docId);
        writeTextPages(local(inDoc), texts);
        const QString hostIn = QStringLiteral("\\\\%1\\%2").arg(QLatin1String(kHost), inDoc);
        const QString burned = QStringLiteral("\\\\%1\\EFILE\\BURNED\\%2.TIF").arg(QLatin1String(kHost), docId);
        const QString g1 = QStringLiteral("RECEIVED FOR RECORD").leftJustified(40) + QStringLiteral("%1/%2/%3").arg(month, day, year);
        const QString g2 = (ny ? QStringLiteral("EMPIRE COUNTY CLERK") : QStringLiteral("SOUTH DISTRICT REGISTRY"))
                               .leftJustified(50) +
                           QStringLiteral("ELECTRONICALLY RECORDED").leftJustified(50) +
                           QStringLiteral("CONTROL %1").arg(c).leftJustified(50);
        const QString g4 = QStringLiteral("ATTEST: REGISTER OF DEEDS");
        exec(QStringLiteral("INSERT INTO efile_queue(partner_id, submit_cde, location_cde, batch_id, document_id, db, "
                            "key_code, year, month, day, ctl, book_code, book, page, inst, in_doc_path, in_doc_id, "
                            "doc_type, num_pages, burned_image_path, alw_edt, ext_or_ovl, burn_ann, unindexed, "
                            "g1d, g1, g2d, g2, g3d, g3, g4d, g4) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
             {partner, QStringLiteral("SUB") + z(i, 7), QStringLiteral("LOC0000001"), z(1000 + i / 4, 7), docId, db,
              QStringLiteral("E"), year, month, day, c, ny ? QString("L") : QString(""), book, page,
              db == u"LC" ? QString("") : z(700000 + i, 6), hostIn, QStringLiteral("EF") + docId,
              QLatin1String(kTypes[i % 6]), z(pages, 4), burned, i % 4 == 0 ? "N" : "Y", i % 2 ? "E" : "O", "N",
              i == 12 ? "1" : "0", QStringLiteral("F3BR"), g1, QStringLiteral("A2TL"), g2, QString("    "), QString(""),
              QStringLiteral("F1BC"), g4});
        exec(QStringLiteral("INSERT INTO cover_pages(db, year, month, day, ctl, status, path) VALUES(?,?,?,?,?,?,?)"),
             {db, year, month, day, c, i % 5 == 0 ? "N" : "Y", QStringLiteral("\\COVERS\\EFILECOVER.TIF")});
        QSqlQuery id(em.db());
        id.exec(QStringLiteral("SELECT last_insert_rowid()"));
        id.next();
        const QStringList lines = {QStringLiteral("01SUBMITTED ELECTRONICALLY"),
                                   QStringLiteral("02Partner %1").arg(partner),
                                   QStringLiteral("03Document %1").arg(docId),
                                   QStringLiteral("04Recorded %1/%2/%3 control %4").arg(month, day, year, c)};
        for (int l = 0; l < lines.size(); ++l)
            exec(QStringLiteral("INSERT INTO cover_lines(cover_id, line_no, text) VALUES(?,?,?)"),
                 {id.value(0), l + 1, lines[l]});
    }
}

bool Seeder::run(const QString &officeSql)
{
    QFile f(officeSql);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "hostsim-seed: cannot read %s\n", qPrintable(officeSql));
        return false;
    }
    em.runScript(QString::fromUtf8(f.readAll()));
    for (const char *dir : {"KvTemp/Scans", "IMAGES", "BOOKS/B000900", "BOOKS/B000950", "BOOKS/N000800", "EFILE/BURNED"})
        QDir().mkpath(root + u'/' + kHost + u'/' + QLatin1String(dir));

    em.db().transaction();
    auto date = [&](Doc &d, int yearFrom) {
        d.year = QString::number(yearFrom + rng.next(8));
        d.month = z(1 + rng.next(12), 2);
        d.day = z(1 + rng.next(28), 2);
        d.ctl = z(++ctl, 5);
    };
    // Massachusetts recorded land, Maine updated recorded land (books apart), Land Court, plans.
    for (int i = 0; i < 130; ++i) {
        Doc d;
        d.db = QStringLiteral("LR");
        const bool maine = i >= 90;
        d.book = z((maine ? 2000 : 1010) + i / 4, 6);
        d.page = z(1 + (i % 4) * 9, 4);
        date(d, 2015);
        d.inst = z(100000 + i, 6);
        d.key = QStringLiteral("K");
        d.docId = QStringLiteral("LR") + d.year + d.ctl;
        d.type = QLatin1String(kTypes[rng.next(6)]);
        d.title = maine ? QStringLiteral("NORTH COUNTY REGISTRY OF DEEDS") : QStringLiteral("SOUTH DISTRICT REGISTRY OF DEEDS");
        insert(d, i % 3 == 0);
    }
    for (int i = 0; i < 40; ++i) {
        Doc d;
        d.db = QStringLiteral("LC");
        d.docNum = z(100001 + i, 7);
        date(d, 2014);
        d.key = QStringLiteral("L");
        d.docId = QStringLiteral("LC") + d.year + d.ctl;
        d.type = QStringLiteral("CERT");
        d.title = QStringLiteral("LAND COURT REGISTERED LAND");
        insert(d, i % 3 == 0);
    }
    for (int i = 0; i < 20; ++i) {
        Doc d;
        d.db = QStringLiteral("LP");
        d.plan1 = z(101 + i, 6);
        d.plan2 = QString(QChar(u'A' + i % 4));
        d.plan3 = z(1 + i % 3, 2);
        date(d, 2010);
        d.type = QStringLiteral("PLAN");
        d.title = QStringLiteral("LAND COURT PLAN");
        insert(d, i % 2 == 0);
    }
    // New York: recorded land, miscellaneous and court records.
    for (int i = 0; i < 60; ++i) {
        Doc d;
        d.db = i < 30 ? QStringLiteral("LR") : (i < 45 ? QStringLiteral("MD") : QStringLiteral("CT"));
        d.bookCode = d.db == u"LR" ? QStringLiteral("L") : (d.db == u"MD" ? QStringLiteral("M") : QStringLiteral("C"));
        d.book = z(3000 + i / 3, 6);
        d.page = z(1 + (i % 3) * 12, 4);
        date(d, 2016);
        d.ref = QStringLiteral("R") + d.ctl;
        d.type = QLatin1String(kTypes[rng.next(6)]);
        d.title = QStringLiteral("EMPIRE COUNTY CLERK");
        insert(d, i % 3 == 1);
    }
    // Vaverezoduv: reference code and number.
    const char *const refCodes[] = {"WI", "PR", "DE"};
    for (int i = 0; i < 30; ++i) {
        Doc d;
        d.db = QStringLiteral("FH");
        d.refCode = QLatin1String(refCodes[i % 3]);
        d.refNum = z(5000000 + i * 17, 10);
        date(d, 2012);
        d.filename = QStringLiteral("FH") + z(i + 1, 6) + QStringLiteral(".TIF");
        d.type = QStringLiteral("WIL");
        d.title = QStringLiteral("VAVEREZODUV PROBATE OFFICE");
        insert(d, i % 2 == 0);
    }
    for (int i = 0; i < 15; ++i)
        exec(QStringLiteral("INSERT INTO certificates(doc_num, cert_num, imid, num_pages) VALUES(?,?,?,?)"),
             {z(200001 + i, 7), QStringLiteral("C-") + z(40000 + i * 3, 5), QString(""), QStringLiteral("0000")});
    efileQueue();
    // Massachusetts recorded land, book 1033: four documents in a row not scanned yet, for a batch scan.
    for (int i = 0; i < 4; ++i) {
        Doc d;
        d.db = QStringLiteral("LR");
        d.book = z(1033, 6);
        d.page = z(1 + i * 9, 4);
        date(d, 2015);
        d.inst = z(100130 + i, 6);
        d.key = QStringLiteral("K");
        d.docId = QStringLiteral("LR") + d.year + d.ctl;
        d.type = QLatin1String(kTypes[rng.next(6)]);
        insert(d, false);
    }
    // New York, one recording day's documents not scanned yet, for the barcode scan: the demo
    // paper carries each behind its barcode cover sheet.
    for (int i = 0; i < 6; ++i) {
        Doc d;
        d.db = QStringLiteral("LR");
        d.bookCode = QStringLiteral("L");
        d.book = z(3100, 6);
        d.page = z(1 + i * 4, 4);
        d.year = QLatin1String(demoPaper::kBarcodeYear);
        d.month = QLatin1String(demoPaper::kBarcodeMonth);
        d.day = QLatin1String(demoPaper::kBarcodeDay);
        d.ctl = z(70001 + i, 5);
        d.ref = QStringLiteral("R") + d.ctl;
        d.type = QLatin1String(kTypes[i % 6]);
        insert(d, false);
    }
    em.db().commit();
    return ok;
}

QString officeFile()
{
    const QStringList candidates = {
        QCoreApplication::applicationDirPath() + QStringLiteral("/data/demo/office.sql"),
        QString::fromLocal8Bit(qgetenv("QUORLA_SOURCE_DIR")) + QStringLiteral("/data/demo/office.sql"),
        QStringLiteral(QUORLA_SOURCE_TREE "/data/demo/office.sql"),
    };
    for (const QString &c : candidates)
        if (QFileInfo::exists(c))
            return c;
    return candidates.last();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the page images
    QStringList args = app.arguments().mid(1);
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    const bool log = args.removeAll(QStringLiteral("--log")) > 0;
    const bool paper = args.removeAll(QStringLiteral("--paper")) > 0;
    if (args.isEmpty() || ((demo || paper) && args.size() < 2) || int(demo) + int(log) + int(paper) > 1) {
        std::fprintf(stderr, "usage: hostsim-seed <database>\n"
                             "       hostsim-seed --demo <database> <share root>\n"
                             "       hostsim-seed --paper <database> <folder>   (renders the demo scanner's paper)\n"
                             "       hostsim-seed --log <database>   (prints the call log)\n");
        return 2;
    }
    if (paper) {
        if (!QFileInfo::exists(args[0])) {
            std::fprintf(stderr, "hostsim-seed: no database %s\n", qPrintable(args[0]));
            return 1;
        }
        hostsim::HostEmulator em(args[0]);
        QString error;
        if (!writeDemoPaper(em.db(), args[1], &error)) {
            std::fprintf(stderr, "hostsim-seed: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("Rendered the demo paper into %s.\n", qPrintable(args[1]));
        return 0;
    }
    if (log) {
        if (!QFileInfo::exists(args[0])) {
            std::fprintf(stderr, "hostsim-seed: no database %s\n", qPrintable(args[0]));
            return 1;
        }
        hostsim::HostEmulator em(args[0]);
        for (const hostsim::HostCall &c : em.callLog())
            std::printf("#%lld %s@%s %s\n", c.seq, qPrintable(c.userId), qPrintable(c.dataSource),
                        qPrintable(c.render()));
        return 0;
    }
    try {
        QDir().mkpath(QFileInfo(args[0]).absolutePath());
        hostsim::HostEmulator em(args[0]);
        if (!demo)
            return 0;
        QDir().mkpath(args[1]);
        Seeder seeder(em, QDir(args[1]).absolutePath());
        if (!seeder.run(officeFile()))
            return 1;
        std::printf("Seeded %s and %s: host %s, connection user SCANSVC / scan2026, operator DEMO / demo.\n",
                    qPrintable(args[0]), qPrintable(args[1]), kHost);
        return 0;
    } catch (const VbError &e) {
        std::fprintf(stderr, "hostsim-seed: %s\n", qPrintable(e.description));
        return 1;
    }
}
