// Every store kind against every way the host fails each call it makes, the cells generated from
// the kinds and their calls: refused, answer lost after the host acted, answer lost and the
// operator leaves the document and opens it again, silent for a while, and the program ended (a
// signal) while it waits. After Store again (or, after a signal, the next start) the document is
// registered once, the share holds one whole document at its place and
// nothing beside it; a refusal of the store's own calls leaves the host's files as they were and
// the pages back in the view with Store on; no file left shows what a redaction covered.
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "capture/paperstore.h"
#include "capture/request.h"
#include "capture/store.h"
#include "capture/storework.h"
#include "capture_env.h"
#include "core/files.h"
#include "core/mode.h"
#include "core/recovery.h"
#include "core/reset.h"
#include "core/state.h"
#include "hostsim/emulator.h"
#include "platform/ado/ado.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "tiffpages.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

enum class Road { Paper, Unindexed, Restore, Certificate, Reference, Barcode, Batch, BookScan, BookScanAgain, EFiled };
enum class Failure { Refused, Lost, LostThenLeft, Silent, Signal };

struct Kind {
    const char *name;
    Road road;
    qint16 mode;
    std::vector<const char *> calls; // the host programs the store calls, in order
    int own;                         // the store's own calls; those after it look up what follows
};

// Every mode of the Database menu of every customer, paper and e-filed, first stores and stores
// over what the host has. A store first asks the host what it holds of the document (IM650R or
// IM655R "A"), except where the host keeps nothing to ask about (unindexed, book scan).
const Kind kKinds[] = {
    {"RecordedLand", Road::Paper, MODE_MARG, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"LandCourt", Road::Paper, MODE_MALC, {"IM650R", "IM650R", "LC630RI", "IM650R"}, 2},
    {"Plans", Road::Paper, MODE_MALCP, {"IM650R", "IM650R", "LP630RI", "IM650R"}, 2},
    {"MaineRecordedLand", Road::Paper, MODE_MERG_UPD, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"NewYorkRecordedLand", Road::Paper, MODE_NYRG, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"NewYorkMiscellaneous", Road::Paper, MODE_NYMD, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"NewYorkCourt", Road::Paper, MODE_NYCR, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"Unindexed", Road::Unindexed, MODE_MARG, {"IM650R"}, 1},
    {"RecordedLandAgain", Road::Restore, MODE_MARG, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"LandCourtAgain", Road::Restore, MODE_MALC, {"IM650R", "IM650R", "LC630RI", "IM650R"}, 2},
    {"NewYorkRecordedLandAgain", Road::Restore, MODE_NYRG, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"Certificate", Road::Certificate, MODE_MACC, {"IM655R", "IM655R", "IM655R", "IM091R"}, 2},
    {"Reference", Road::Reference, MODE_FHS, {"IM650R", "IM650R", "FH631RI", "FH800R"}, 2},
    {"Barcode", Road::Barcode, MODE_NYBR, {"IM650R", "IM650R"}, 2},
    {"Batch", Road::Batch, MODE_MARG, {"IM650R", "IM650R", "SY331RI", "IM650R"}, 2},
    {"MaineBookScan", Road::BookScan, MODE_MEBS, {"RG632R"}, 1},
    {"BookScan", Road::BookScan, MODE_MARGBS, {"RG632R"}, 1},
    {"NewYorkBookScan", Road::BookScan, MODE_NYBS, {"RG632R"}, 1},
    {"BookScanAgain", Road::BookScanAgain, MODE_MARGBS, {"RG632R"}, 1},
    {"EFiledRecordedLand", Road::EFiled, MODE_MARG, {"IM650R", "IM650R", "IM652R", "IM656R"}, 3},
    {"EFiledLandCourt", Road::EFiled, MODE_MALC, {"IM650R", "IM650R", "IM652R", "IM656R"}, 3},
    {"EFiledNewYork", Road::EFiled, MODE_NYRG, {"IM650R", "IM650R", "IM652R", "IM656R"}, 3},
};

// Roads whose lost answer counts as taken: the host keeps nothing to ask about.
bool countsLostAsTaken(Road road)
{
    return road == Road::Unindexed || road == Road::BookScan || road == Road::BookScanAgain;
}

struct Cell {
    const Kind *kind;
    int call; // index into kind->calls
    Failure failure;
};
void PrintTo(const Cell &c, std::ostream *os) { *os << c.kind->name << " call " << c.call + 1; }

std::string cellName(const ::testing::TestParamInfo<Cell> &info)
{
    static const char *const failures[] = {"Refused", "Lost", "LostThenLeft", "Silent", "Signal"};
    const Cell &c = info.param;
    return std::string(c.kind->name) + "_" + std::to_string(c.call + 1) + c.kind->calls[size_t(c.call)] + "_"
           + failures[int(c.failure)];
}

// The cells: a signal, or an answer lost and the document left, at a call of the store's own; the
// other failures at every call.
std::vector<Cell> cells()
{
    std::vector<Cell> out;
    for (const Kind &k : kKinds)
        for (int i = 0; i < int(k.calls.size()); ++i)
            for (Failure f : {Failure::Refused, Failure::Lost, Failure::LostThenLeft, Failure::Silent, Failure::Signal}) {
                const bool own = i < k.own;
                if (f == Failure::Signal && !own)
                    continue;
                if (f == Failure::LostThenLeft && (!own || countsLostAsTaken(k.road)))
                    continue;
                out.push_back({&k, i, f});
            }
    return out;
}

const QRect kCovered(60, 60, 80, 80);   // black, under the redaction
const QRect kRedaction(50, 50, 100, 100);
constexpr int kPages = 2;

// A scanned page, white; the first with a black block under where the redaction goes.
QImage scannedPage(int n)
{
    QImage img(400 + 8 * n + 3, 300, QImage::Format_RGB888); // not byte-aligned
    img.fill(Qt::white);
    if (n == 0)
        QPainter(&img).fillRect(kCovered, Qt::black);
    img = img.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    img.setDotsPerMeterX(7874);
    img.setDotsPerMeterY(7874);
    return img;
}

// The programs that register a store, by road.
QStringList registering(Road road)
{
    switch (road) {
    case Road::Certificate:
        return {QStringLiteral("IM655R")};
    case Road::BookScan:
    case Road::BookScanAgain:
        return {QStringLiteral("RG632R")};
    case Road::EFiled:
        return {QStringLiteral("IM650R"), QStringLiteral("IM652R")};
    default:
        return {QStringLiteral("IM650R")};
    }
}

// Programs whose answer carries an error text; the others refuse by failing the call.
const QMap<QString, QMap<QString, QString>> kRefusals{
    {QStringLiteral("IM650R"), {{QStringLiteral("ErrMsg"), QStringLiteral("STORE AREA LOCKED")}}},
    {QStringLiteral("IM655R"), {{QStringLiteral("ErrMsg"), QStringLiteral("STORE AREA LOCKED")}}},
    {QStringLiteral("IM091R"), {{QStringLiteral("ErrMsg"), QStringLiteral("IMAGE LOCKED")}}},
    {QStringLiteral("IM656R"), {{QStringLiteral("ErrMsg"), QStringLiteral("COVER PAGE LOCKED")}}},
    {QStringLiteral("RG632R"), {{QStringLiteral("$ErrMsg"), QStringLiteral("BOOK 000900 IS CLOSED")}}},
    {QStringLiteral("IM652R"),
     {{QStringLiteral("RsltCd"), QStringLiteral("1")}, {QStringLiteral("ErrMsg"), QStringLiteral("QUEUE LOCKED")}}},
};

class StoreTable : public StoreHostTest<::testing::TestWithParam<Cell>> {
protected:
    void SetUp() override
    {
        StoreHostTest::SetUp();
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        forgetOpenRegistrations();
        QDir share(dir.filePath(QStringLiteral("share/QHOST")));
        for (const char *folder : {"BOOKS/B000900", "BOOKS/B000950", "BOOKS/N000800", "EFILE/BURNED", "EFILE/IN"})
            share.mkpath(QString::fromLatin1(folder));
        em->runScript(QStringLiteral(
            "INSERT INTO documents(db, inst, book_code, book, page, year, month, day, ctl, key_code, doc_id, doc_num, "
            "  plan1, plan2, plan3, ref_code, ref_num, filename, doc_type, num_pages) VALUES\n"
            "  ('LR', '100001', '', '001010', '0001', '2019', '04', '01', '10001', 'K', 'LR201910001', '', '', '', '', '', '', '', 'DEED', '0002'),\n"
            "  ('LR', '100001', '', '001010', '0010', '2019', '04', '02', '10002', 'K', 'LR201910002', '', '', '', '', '', '', '', 'DEED', '0002'),\n"
            "  ('LR', '100001', '', '001020', '0001', '2019', '05', '01', '10011', 'K', 'LR201910011', '', '', '', '', '', '', '', 'DEED', '0003'),\n"
            "  ('LR', '100001', '', '001020', '0010', '2019', '05', '02', '10012', 'K', 'LR201910012', '', '', '', '', '', '', '', 'DEED', '0002'),\n"
            "  ('LC', '100001', '', '', '', '2018', '03', '01', '20001', 'L', 'LC201820001', '0100001', '', '', '', '', '', '', 'CERT', '0002'),\n"
            "  ('LC', '100001', '', '', '', '2018', '03', '02', '20002', 'L', 'LC201820002', '0100002', '', '', '', '', '', '', 'CERT', '0002'),\n"
            "  ('LC', '100001', '', '', '', '2018', '04', '01', '20011', 'L', 'LC201820011', '0100011', '', '', '', '', '', '', 'CERT', '0003'),\n"
            "  ('LC', '100001', '', '', '', '2018', '04', '02', '20012', 'L', 'LC201820012', '0100012', '', '', '', '', '', '', 'CERT', '0002'),\n"
            "  ('LP', '100001', '', '', '', '2010', '01', '01', '25001', '', '', '', '000101', 'A', '01', '', '', '', 'PLAN', '0002'),\n"
            "  ('LP', '100001', '', '', '', '2010', '01', '02', '25002', '', '', '', '000102', 'A', '01', '', '', '', 'PLAN', '0002'),\n"
            "  ('LR', '100001', 'L', '003000', '0001', '2016', '06', '01', '30001', '', '', '', '', '', '', '', '', '', 'DEED', '0002'),\n"
            "  ('LR', '100001', 'L', '003000', '0013', '2016', '06', '02', '30002', '', '', '', '', '', '', '', '', '', 'DEED', '0002'),\n"
            "  ('LR', '100001', 'L', '003005', '0001', '2016', '07', '01', '30011', '', '', '', '', '', '', '', '', '', 'DEED', '0003'),\n"
            "  ('LR', '100001', 'L', '003005', '0013', '2016', '07', '02', '30012', '', '', '', '', '', '', '', '', '', 'DEED', '0002'),\n"
            "  ('MD', '100001', 'M', '003010', '0001', '2016', '08', '01', '31001', '', '', '', '', '', '', '', '', '', 'LIEN', '0002'),\n"
            "  ('MD', '100001', 'M', '003010', '0013', '2016', '08', '02', '31002', '', '', '', '', '', '', '', '', '', 'LIEN', '0002'),\n"
            "  ('CT', '100001', 'C', '003020', '0001', '2016', '09', '01', '32001', '', '', '', '', '', '', '', '', '', 'JDGM', '0002'),\n"
            "  ('CT', '100001', 'C', '003020', '0013', '2016', '09', '02', '32002', '', '', '', '', '', '', '', '', '', 'JDGM', '0002'),\n"
            "  ('FH', '100001', '', '', '', '2012', '02', '01', '40001', '', '', '', '', '', '', 'WI', '0005000000', 'FH000001.TIF', 'WIL', '0002'),\n"
            "  ('FH', '100001', '', '', '', '2012', '02', '02', '40002', '', '', '', '', '', '', 'WI', '0005000017', 'FH000002.TIF', 'WIL', '0002'),\n"
            "  ('LR', '100001', 'L', '003100', '0001', '2026', '05', '04', '70001', '', '', '', '', '', '', '', '', '', 'DEED', '0002');\n"
            "INSERT INTO certificates(doc_num, cert_num, imid, num_pages) VALUES('0200001', 'C-40000', '', '0000');\n"
            "INSERT INTO book_ranges(book_code, book, first_page, last_page, path, prefix) VALUES\n"
            "  ('', '000900', '0001', '0600', 'BOOKS\\B000900\\', 'B00900'),\n"
            "  ('', '000950', '0001', '0400', 'BOOKS\\B000950\\', 'B00950'),\n"
            "  ('NYREG', '000800', '0001', '0500', 'BOOKS\\N000800\\', 'N00800');\n"));
    }

    void TearDown() override
    {
        adoProgramEnding(false);
        forgetOpenRegistrations();
        qunsetenv("XDG_DATA_HOME");
        StoreHostTest::TearDown();
    }

    QString shareFile(const QString &rest) const { return dir.filePath(QStringLiteral("share/QHOST/")) + rest; }

    // A TIFF of `pages` plain pages at a place on the share.
    void writeTiff(const QString &rest, int pages)
    {
        QelEzImage doc;
        for (int i = 0; i < pages; ++i) {
            QImage img(320, 240, QImage::Format_Mono);
            img.fill(1);
            doc.appendPage(img);
        }
        QDir().mkpath(QFileInfo(shareFile(rest)).path());
        doc.setSaveFileName(shareFile(rest));
        doc.save();
    }

    // The host already has a three-page image of the document of the given keys.
    void giveImage(const QString &imid, const QString &where)
    {
        const QString folder = QStringLiteral("IMG") + QString::number(QDate::currentDate().year());
        writeTiff(QStringLiteral("IMAGES/") + folder + u'/' + imid, 3);
        em->runScript(QStringLiteral("INSERT INTO image_master(imid, folder, subdir, member, num_pages, doc_type) "
                                     "VALUES('%1', '%2', '', 'IMAGES', '0003', 'DEED');\n"
                                     "UPDATE documents SET imid = '%1' WHERE %3;\n")
                          .arg(imid, folder, where));
    }

    // The document of the kind looked up as Start does, then its scanned pages in both views:
    // a redaction over the black block of page 1 and a note on page 2.
    void prepare(const Kind &k)
    {
        g_blnScanUnIndexDocs = false;
        g_blnIsBatch = false;
        gdtCurrentDocType = 0;
        frmMain().cboCurrentDocType->setListIndex(0);
        const bool again = k.road == Road::Restore;
        switch (k.road) {
        case Road::BookScan:
        case Road::BookScanAgain:
            lookUpBook(k.mode);
            if (k.road == Road::BookScanAgain) {
                // Stored and registered once, then looked up and scanned again.
                loadScan();
                ASSERT_TRUE(do_store(true));
                ASSERT_EQ(registrations(), 1);
                lookUpBook(k.mode);
            }
            break;
        case Road::EFiled: {
            const char *db = k.mode == MODE_MALC ? "LC" : "LR";
            writeTiff(QStringLiteral("EFILE/IN/0000000002.TIF"), 2);
            writeTiff(QStringLiteral("EFILE/BURNED/0000000002.TIF"), 3); // the host's burned image
            em->runScript(QStringLiteral(
                "INSERT INTO efile_queue(partner_id, submit_cde, location_cde, batch_id, document_id, db, key_code, "
                "year, month, day, ctl, in_doc_path, in_doc_id, doc_type, num_pages, burned_image_path) VALUES("
                "'02', 'SUB0000001', 'LOC0000001', '0001001', '0000000002', '%1', 'E', '2026', '03', '03', '50002', "
                "'\\\\QHOST\\EFILE\\IN\\0000000002.TIF', 'EF0000000002', 'MTG', '0002', "
                "'\\\\QHOST\\EFILE\\BURNED\\0000000002.TIF');\n").arg(QLatin1String(db)));
            set_g_dbMode(k.mode);
            frmMain().cboCurrentDocType->setListIndex(1);
            gdtCurrentDocType = 1;
            ASSERT_TRUE(run_program(QStringLiteral("R"))); // Get Batch
            ASSERT_TRUE(run_program(QStringLiteral("A"))); // Refresh
            break;
        }
        case Road::Unindexed:
            // Scanned with no document on the host to look up.
            set_g_dbMode(k.mode);
            g_blnScanUnIndexDocs = true;
            g_Year = QStringLiteral("2026");
            g_Month = QStringLiteral("06");
            g_Day = QStringLiteral("01");
            g_CTLNum = QStringLiteral("00000");
            g_Book = QStringLiteral("005000");
            g_Page = QStringLiteral("0001");
            g_DocId.clear();
            g_KyCd.clear();
            break;
        case Road::Barcode:
            // Barcode separation has set the document's keys from its barcode.
            set_g_dbMode(k.mode);
            g_Year = QStringLiteral("2026");
            g_Month = QStringLiteral("05");
            g_Day = QStringLiteral("04");
            g_CTLNum = QStringLiteral("70001");
            g_DocId.clear();
            g_KyCd.clear();
            break;
        default:
            set_g_dbMode(k.mode);
            g_blnIsBatch = k.road == Road::Batch;
            g_DocId.clear();
            switch (k.mode) {
            case MODE_MARG:
            case MODE_MERG_UPD:
                g_Book = again ? QStringLiteral("001020") : QStringLiteral("001010");
                g_Page = QStringLiteral("0001");
                if (again)
                    giveImage(QStringLiteral("IM0000000901"), QStringLiteral("book = '001020' AND page = '0001'"));
                break;
            case MODE_MALC:
                g_DocNum = again ? QStringLiteral("0100011") : QStringLiteral("0100001");
                if (again)
                    giveImage(QStringLiteral("IM0000000902"), QStringLiteral("doc_num = '0100011'"));
                break;
            case MODE_MALCP:
                g_Plan1 = QStringLiteral("000101");
                g_Plan2 = QStringLiteral("A");
                g_Plan3 = QStringLiteral("01");
                break;
            case MODE_NYRG:
            case MODE_NYMD:
            case MODE_NYCR:
                g_BookCode = k.mode == MODE_NYRG ? QStringLiteral("L") : k.mode == MODE_NYMD ? QStringLiteral("M")
                                                                                             : QStringLiteral("C");
                g_Book = k.mode == MODE_NYRG ? (again ? QStringLiteral("003005") : QStringLiteral("003000"))
                                             : k.mode == MODE_NYMD ? QStringLiteral("003010") : QStringLiteral("003020");
                g_Page = QStringLiteral("0001");
                if (again)
                    giveImage(QStringLiteral("IM0000000903"), QStringLiteral("book = '003005' AND page = '0001'"));
                break;
            case MODE_FHS:
                g_RefCode = QStringLiteral("WI");
                g_RefNum = QStringLiteral("0005000000");
                break;
            case MODE_MACC:
                g_DocNum = QStringLiteral("0200001");
                g_CertNum = QStringLiteral("C-40000");
                frmMain().chkShowNext_MACC->setChecked(true);
                break;
            default:
                break;
            }
            ASSERT_TRUE(run_program(QStringLiteral("A"))) << msg->calls().value(0).prompt.toStdString();
            break;
        }
        loadScan();
    }

    void lookUpBook(qint16 mode)
    {
        set_g_dbMode(mode);
        g_blnScanUnIndexDocs = true;
        g_BookCode = mode == MODE_NYBS ? QStringLiteral("NYREG") : QString();
        g_Book = mode == MODE_NYBS ? QStringLiteral("000800") : mode == MODE_MEBS ? QStringLiteral("000950")
                                                                                  : QStringLiteral("000900");
        g_Page = QStringLiteral("0001");
        g_EndingPage = padZeros(kPages, 4);
        ASSERT_TRUE(run_program(QStringLiteral("A")));
    }

    void loadScan()
    {
        QelEzImage &view = *frmMain().ezPageView;
        QelEzImage &tree = *frmMain().ezTreeView;
        view.clearImage();
        tree.clearImage();
        for (int i = 0; i < kPages; ++i)
            view.appendPage(scannedPage(i));
        view.setSaveFileName(g_strTempPath + QStringLiteral("temp.tif"));
        view.save();
        view.clearImage();
        view.setImageFile(g_strTempPath + QStringLiteral("temp.tif"));
        view.setSaveFileName(QString());
        view.setPage(1);
        QelAnnotItem *redaction = view.createAnnotation(QelAnnotType::Redaction);
        ASSERT_NE(redaction, nullptr);
        ASSERT_TRUE(redaction->setFillColor(0xFFFFFF));
        ASSERT_TRUE(redaction->setBounds(kRedaction));
        view.setPage(kPages);
        QelAnnotItem *note = view.createAnnotation(4);
        ASSERT_NE(note, nullptr);
        note->setBounds(QRect(200, 20, 40, 20));
        view.setPage(1);
        tree.setImageHandle(view.imageHandle());
        frmMain().btnStore->setEnabled(true);
        g_blnTif = true;
        g_blnPromptStore = true;
    }

    // The store as the operator's Store (or the batch, or barcode separation) starts it.
    bool store(const Kind &k)
    {
        msg->clear();
        if (k.road == Road::Batch)
            return do_save().toBool();
        return do_store(k.road != Road::Barcode);
    }

    int registrations() const
    {
        QSqlQuery q(em->db());
        q.exec(QStringLiteral("SELECT COUNT(*) FROM registrations WHERE func = 'S'"));
        return q.next() ? q.value(0).toInt() : -1;
    }
    QStringList registeredBy() const
    {
        QStringList out;
        QSqlQuery q(em->db());
        q.exec(QStringLiteral("SELECT program FROM registrations WHERE func = 'S' ORDER BY seq"));
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

    // Every file below the share root, hidden ones too, with a digest of its content; the images
    // the host registered left out.
    QStringList shareContents() const
    {
        QStringList out;
        const QString root = dir.filePath(QStringLiteral("share"));
        const QString images = QStringLiteral("/QHOST/IMAGES/IMG%1/").arg(QDate::currentDate().year());
        QSqlQuery q(em->db());
        q.exec(QStringLiteral("SELECT imid FROM registrations WHERE func = 'S' AND imid <> ''"));
        QStringList registered;
        while (q.next())
            registered << images + q.value(0).toString();
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            const QString name = f.fileName().mid(root.size());
            if (!registered.contains(name) && f.open(QIODevice::ReadOnly))
                out << name + u' ' + QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex());
        }
        out.sort();
        return out;
    }

    QStringList filesIn(const QString &folder) const
    {
        return QDir(shareFile(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // The host's image of the document registered last, and the images tree holding nothing but
    // the host's images.
    QString registeredImage() const
    {
        QSqlQuery q(em->db());
        q.exec(QStringLiteral("SELECT imid FROM registrations WHERE func = 'S' AND imid <> '' ORDER BY seq DESC LIMIT 1"));
        return q.next() ? q.value(0).toString() : QString();
    }

    // Files below the temp folder, the share and the kept documents that show the covered block.
    QStringList leaks() const
    {
        QStringList out;
        for (const QString &folder : {QStringLiteral("temp"), QStringLiteral("share"), QStringLiteral("data")}) {
            QDirIterator it(dir.filePath(folder), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString file = it.next();
                for (const Page &p : decodeTiff(file))
                    if (p.darkSquare(40))
                        out << file.mid(dir.path().size());
            }
        }
        return out;
    }

    // The stored document carries the note, on its page, as an item; the redaction is pixels.
    static void expectTheNoteOnItsPage(const QString &file)
    {
        QelEzImage stored;
        stored.setImageFile(file);
        ASSERT_EQ(stored.pageCount(), kPages);
        for (int p = 1; p <= kPages; ++p) {
            stored.setPage(p);
            EXPECT_EQ(stored.annotationCount(), p == kPages ? 1 : 0) << file.toStdString() << " page " << p;
        }
    }

    int keptDocuments() const
    {
        return QDir(recoveryFolder()).entryList({QStringLiteral("*.ini")}, QDir::Files).size();
    }

    void inject(const Cell &c)
    {
        const Kind &k = *c.kind;
        const QString program = QString::fromLatin1(k.calls[size_t(c.call)]);
        int skip = 0;
        for (int i = 0; i < c.call; ++i)
            skip += program == QLatin1String(k.calls[size_t(i)]);
        hostsim::Fault f;
        f.program = program;
        f.skip = skip;
        switch (c.failure) {
        case Failure::Refused:
            if (kRefusals.contains(program)) {
                f.kind = hostsim::FaultKind::ScriptedAnswer;
                f.answer = kRefusals.value(program);
            } else {
                f.kind = hostsim::FaultKind::ExecuteFailure;
                f.text = QStringLiteral("CPF9898: %1 refused the call.").arg(program);
            }
            break;
        case Failure::Lost:
        case Failure::LostThenLeft:
            f.kind = hostsim::FaultKind::LostReply;
            break;
        case Failure::Silent:
            f.kind = hostsim::FaultKind::Silent;
            f.seconds = 1;
            break;
        case Failure::Signal:
            f.kind = hostsim::FaultKind::Silent;
            f.seconds = 60;
            break;
        }
        em->addFault(f);
    }
};

TEST_P(StoreTable, RegistersOnceAndLeavesTheShareWhole)
{
    const Cell c = GetParam();
    const Kind &k = *c.kind;
    prepare(k);
    if (HasFatalFailure())
        return;
    const int before = registrations();
    const QStringList shareBefore = shareContents();
    const bool own = c.call < k.own;
    em->clearCallLog();
    inject(c);
    if (c.failure == Failure::Signal)
        adoProgramEnding(); // the wait is given up 5 s later, as after SIGTERM

    const bool stored = store(k);

    if (c.failure == Failure::Silent) {
        // A silent host that answers in time is no failure: the store went through with these calls.
        EXPECT_TRUE(stored);
        QStringList calls;
        for (const hostsim::HostCall &h : em->callLog())
            calls << h.program;
        QStringList expected;
        for (const char *p : k.calls)
            expected << QString::fromLatin1(p);
        EXPECT_EQ(calls, expected);
    }
    if (own && c.failure == Failure::Refused) {
        EXPECT_FALSE(stored);
        EXPECT_EQ(shareContents(), shareBefore) << "the host's files are as they were, nothing beside them but what it registered";
        EXPECT_EQ(frmMain().ezPageView->pageCount(), kPages) << "the pages are back";
        EXPECT_EQ(frmMain().ezTreeView->pageCount(), kPages);
        EXPECT_TRUE(frmMain().btnStore->isEnabled());
        EXPECT_TRUE(g_blnPromptStore);
        frmMain().ezPageView->setPage(1);
        EXPECT_EQ(frmMain().ezPageView->annotationCount(), 1) << "the redaction is an item again";
    }
    if (c.failure == Failure::LostThenLeft && !stored) {
        // The operator leaves the document (its question answered Yes): it says a store may have
        // reached the host exactly when the host took a registration.
        const bool hostTook = registrations() > before;
        msg->clear();
        msg->answer(vb::vbYes);
        EXPECT_TRUE(promptStore());
        ASSERT_EQ(msg->calls().size(), 1);
        EXPECT_EQ(msg->calls()[0].prompt.contains(QStringLiteral("may have been stored")), hostTook)
            << msg->calls()[0].prompt.toStdString();
        // Then, in this session or the next, opens it again: what the host shows, else scanned anew.
        g_blnPromptStore = false;
        forgetOpenRegistrations();
        frmMain().ezPageView->clearImage();
        frmMain().ezTreeView->clearImage();
        if (k.road != Road::Barcode) {
            ASSERT_TRUE(run_program(QStringLiteral("A")));
        }
        if (!hostTook || k.road == Road::Barcode)
            loadScan();
        ASSERT_TRUE(frmMain().btnStore->isEnabled());
        EXPECT_TRUE(store(k)) << (msg->calls().isEmpty() ? "" : msg->calls().last().prompt.toStdString());
    }
    if (c.failure == Failure::Signal) {
        // The program closes: unstored pages are kept; then it starts again and signs on.
        if (g_blnPromptStore)
            saveRecoveryDocument();
        g_blnPromptStore = false;
        adoProgramEnding(false);
        forgetOpenRegistrations();
        frmMain().ezPageView->clearImage();
        frmMain().ezTreeView->clearImage();
        new_bkPg(true, false);
        restoreRecoveryDocument();
    }
    // Store again while the pages are there to be stored.
    if (g_blnPromptStore && frmMain().ezPageView->pageCount() == kPages) {
        EXPECT_TRUE(store(k)) << (msg->calls().isEmpty() ? "" : msg->calls().last().prompt.toStdString());
    }

    // Registered once by each program that registers the kind.
    QStringList expected = registering(k.road);
    if (k.road == Road::BookScanAgain)
        expected.prepend(QStringLiteral("RG632R"));
    EXPECT_EQ(registeredBy(), expected) << "registrations before: " << before;
    EXPECT_FALSE(g_blnPromptStore);
    EXPECT_EQ(keptDocuments(), 0);

    // One whole document at its place, nothing beside it.
    const QString scans = storeBaseName();
    switch (k.road) {
    case Road::BookScan:
    case Road::BookScanAgain: {
        const QString folder = k.mode == MODE_NYBS ? QStringLiteral("BOOKS/N000800")
                               : k.mode == MODE_MEBS ? QStringLiteral("BOOKS/B000950")
                                                     : QStringLiteral("BOOKS/B000900");
        const QStringList files = filesIn(folder);
        ASSERT_EQ(files.size(), 1) << files.join(u' ').toStdString();
        EXPECT_EQ(tiffinfoPages(shareFile(folder + u'/' + files.first())), kPages);
        expectTheNoteOnItsPage(shareFile(folder + u'/' + files.first()));
        EXPECT_EQ(filesIn(QStringLiteral("KvTemp/Scans")), QStringList());
        break;
    }
    case Road::EFiled:
        EXPECT_EQ(filesIn(QStringLiteral("EFILE/BURNED")), QStringList{QStringLiteral("0000000002.TIF")});
        EXPECT_EQ(tiffinfoPages(shareFile(QStringLiteral("EFILE/BURNED/0000000002.TIF"))), kPages);
        expectTheNoteOnItsPage(shareFile(QStringLiteral("EFILE/BURNED/0000000002.TIF")));
        EXPECT_EQ(filesIn(QStringLiteral("KvTemp/Scans")), QStringList());
        [[fallthrough]];
    default: {
        const QString imid = registeredImage();
        const QString folder = QStringLiteral("IMAGES/IMG") + QString::number(QDate::currentDate().year());
        EXPECT_TRUE(filesIn(folder).contains(imid)) << imid.toStdString();
        EXPECT_EQ(tiffinfoPages(shareFile(folder + u'/' + imid)), kPages);
        expectTheNoteOnItsPage(shareFile(folder + u'/' + imid));
        for (const QString &f : filesIn(folder))
            EXPECT_TRUE(f.startsWith(QStringLiteral("IM")) && !f.contains(u'.')) << f.toStdString();
        if (k.road != Road::EFiled) {
            // No image is left to register; the annotation overlay of the last store sent may be.
            QStringList left = filesIn(QStringLiteral("KvTemp/Scans"));
            left.removeAll(scans + QStringLiteral(".A"));
            EXPECT_EQ(left, QStringList());
        }
        break;
    }
    }
    EXPECT_EQ(leaks(), QStringList());
    if (k.road == Road::EFiled) {
        QSqlQuery q(em->db());
        q.exec(QStringLiteral("SELECT status FROM efile_queue WHERE document_id = '0000000002'"));
        EXPECT_TRUE(q.next() && q.value(0).toString() == u"S") << "handed over";
        EXPECT_FALSE(frmMain().btnStore->isEnabled()) << "a second Store would register it again";
        // Refreshed, then stored: the host's answers show it stored, and it stays so.
        ASSERT_TRUE(run_program(QStringLiteral("A")));
        if (frmMain().btnStore->isEnabled()) {
            EXPECT_TRUE(store(k));
            const QString told = msg->calls().value(0).prompt;
            EXPECT_TRUE(told.contains(QStringLiteral("already holds"))) << "the operator is told";
            EXPECT_FALSE(told.contains(QStringLiteral("answer was lost"))) << "no answer was lost here";
        }
        EXPECT_EQ(registeredBy(), expected);
        EXPECT_FALSE(frmMain().btnStore->isEnabled());
        EXPECT_FALSE(g_blnPromptStore);
    }
}

INSTANTIATE_TEST_SUITE_P(Cells, StoreTable, ::testing::ValuesIn(cells()), cellName);

} // namespace
