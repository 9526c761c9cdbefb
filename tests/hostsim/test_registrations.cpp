// Image master, image location, certificates and book scans: what the host answers and what
// a registration does on the share.
#include "hostfixture.h"

#include <QDate>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <thread>

#include "hostsim/station/stationpages.h"

namespace {

class Registrations : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        em->runScript(
            "INSERT INTO documents(db, book, page, year, month, day, ctl, key_code, doc_id, doc_type, imid) VALUES"
            " ('LR','000100','0001','2020','01','02','00011','K','LR-2020-00011','DEED','IM0000000001'),"
            " ('LR','000100','0005','2020','01','03','00012','K','LR-2020-00012','MTG','');\n"
            "INSERT INTO image_master(imid, folder, subdir, member, num_pages, redacted) VALUES"
            " ('IM0000000001','IMG2020','','IMAGES','0002','Y'),"
            " ('IM0000000002','KVTEMP','SUBDIREC.001','IMAGES','0001','N');\n"
            "INSERT INTO certificates(doc_num, cert_num, imid, num_pages) VALUES('0000777','C-12345','','0000');\n"
            "INSERT INTO book_ranges(book_code, book, first_page, last_page, path, prefix) VALUES"
            " ('','000500','0001','0400','BOOKS\\B000500\\','B00500'),"
            " ('NYREG','000600','0001','0100','BOOKS\\N000600\\','N00600');\n");
    }

    AdoParameters im650r(const std::optional<QString> &func, const QString &docId, const QString &file = "blank",
                         const QString &size = "000001000", const QString &pages = "0000")
    {
        return call("IM650R", set(imageMaster(), {{"Func", func}, {"DocId", docId}, {"PcFn", file}, {"DoSz", size},
                                                  {"Nump", pages}}));
    }

    AdoParameters im091r(const QString &imid) { return call("IM091R", imageLocation(imid)); }

    AdoParameters rg632r(const QString &func, const QString &from, const QString &to, const QString &book = "000500",
                         const QString &path = " ", const QString &file = " ", bool ny = false)
    {
        return call("RG632R", set(bookRange(ny), {{"$FUNC", func}, {"@BK", book}, {"@sPG", from}, {"@ePG", to},
                                                  {"$Path", path}, {"$PcFn", file}}));
    }
};

TEST_F(Registrations, ImageMasterLookupAnswersForTheDocumentsImage)
{
    const AdoParameters out = im650r(QString("A"), "LR-2020-00011");
    EXPECT_EQ(out.item("ErrMsg").text(), "");
    EXPECT_EQ(out.item("Imid").text(), "IM0000000001");
    EXPECT_EQ(out.item("Nump").text(), "0002");
    EXPECT_EQ(out.item("Dabr").text(), "DEED "); // width 5, untrimmed
    EXPECT_EQ(out.item("Redacted").text(), "Y");  // stands after ErrMsg, bound by the 19th marker

    const AdoParameters noImage = im650r(QString("A"), "");
    EXPECT_EQ(noImage.item("ErrMsg").text(), "");
    EXPECT_EQ(noImage.item("Imid").text(), "");
    EXPECT_EQ(noImage.item("Nump").text(), "0000");

    // an unknown or missing function code is a host error; "9" is a plain lookup
    EXPECT_FALSE(im650r(std::nullopt, "").item("ErrMsg").text().trimmed().isEmpty());
    EXPECT_FALSE(im650r(QString("a"), "").item("ErrMsg").text().trimmed().isEmpty());
    EXPECT_EQ(im650r(QString("9"), "").item("ErrMsg").text(), "");
}

TEST_F(Registrations, StoreMovesTheFileIntoTheImagesTreeWhereTheViewFindsIt)
{
    const QString scan = putShareFile("KvTemp\\Scans\\WS01.T", 1234);
    ASSERT_FALSE(scan.isEmpty());
    const AdoParameters out = im650r(QString("S"), "", "WS01.T", "000001234", "0003");
    ASSERT_EQ(out.item("ErrMsg").text(), "");
    const QString imid = out.item("Imid").text().trimmed();
    EXPECT_FALSE(imid.isEmpty());
    EXPECT_EQ(out.item("Nump").text(), "0003");
    EXPECT_FALSE(QFileInfo::exists(scan));

    // The view asks where the image lies and builds the images-tree path from the answer.
    const AdoParameters where = im091r(imid);
    ASSERT_EQ(where.item("ErrMsg").text(), "");
    const QString hostPath = "\\\\QHOST\\IMAGES\\" + where.item("FlNm").text().trimmed() + "\\" + imid;
    const QFileInfo stored(hostPathToLocal(hostPath));
    EXPECT_TRUE(stored.isFile()) << stored.filePath().toStdString();
    EXPECT_EQ(stored.size(), 1234);

    // A later lookup of the same document finds the image.
    EXPECT_EQ(im650r(QString("A"), "LR-2020-00012").item("Imid").text(), imid);
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec("SELECT func, file, size, pages, imid FROM registrations WHERE program = 'IM650R'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toString(), "WS01.T");
    EXPECT_EQ(q.value(4).toString(), imid);
}

TEST_F(Registrations, StoreRefusesAMissingFileOrAWrongSize)
{
    const AdoParameters missing = im650r(QString("S"), "", "NOPE.T", "000001234", "0001");
    EXPECT_TRUE(missing.item("ErrMsg").text().contains("not found"));

    const QString scan = putShareFile("KvTemp\\Scans\\WS02.T", 500);
    const AdoParameters wrongSize = im650r(QString("S"), "", "WS02.T", "000000999", "0001");
    EXPECT_TRUE(wrongSize.item("ErrMsg").text().contains("500"));
    EXPECT_TRUE(QFileInfo::exists(scan)) << "a refused file stays in the scan folder";
}

TEST_F(Registrations, ShareComponentsMatchWithoutRegardToCase)
{
    putShareFile("KVTEMP\\SCANS\\WS03.T", 10);
    EXPECT_EQ(im650r(QString("S"), "", "WS03.T", "000000010", "0001").item("ErrMsg").text(), "");
}

TEST_F(Registrations, ImageLocationAnswersAndErrors)
{
    const AdoParameters root = im091r("IM0000000002");
    EXPECT_EQ(root.item("sbDr").text(), "SUBDIREC.001");
    EXPECT_EQ(root.item("FlNm").text(), "KVTEMP  ");
    EXPECT_EQ(root.item("MbrNm").text(), "IMAGES    ");
    EXPECT_TRUE(im091r("IM9999999999").item("ErrMsg").text().contains("IM9999999999"));
}

TEST_F(Registrations, CertificateLookupAndStore)
{
    auto cert = [&](const QString &func, const QString &doc, const QString &certNum, const QString &file = "",
                    const QString &size = "", const QString &pages = "") {
        return call("IM655R", set(certificate(), {{"func", func}, {"doc#", doc}, {"cert#", certNum},
                                                  {"pcfn", file}, {"DoSz", size}, {"Nump", pages}}));
    };
    EXPECT_TRUE(cert("A", "0000999", "X").item("ErrMsg").text().contains("not on file"));

    const AdoParameters found = cert("N", "0000777", "C-12345");
    EXPECT_EQ(found.item("ErrMsg").text(), "");
    EXPECT_EQ(found.item("cert#").text(), QString("C-12345").leftJustified(25));

    putShareFile("KvTemp\\Scans\\WS01.T", 64);
    const AdoParameters stored = cert("S", "0000777", "C-12345", "WS01.T", "000000064", "0001");
    EXPECT_EQ(stored.item("ErrMsg").text(), "");
    const AdoParameters again = cert("A", "0000777", "C-12345");
    EXPECT_FALSE(again.item("imid").text().trimmed().isEmpty());
    EXPECT_EQ(again.item("Nump").text(), "0001");
}

TEST_F(Registrations, BookRangeAnswersInEitherForm)
{
    const AdoParameters full = rg632r("A", "0010", "0020");
    EXPECT_EQ(full.item("$ErrMsg").text(), "");
    EXPECT_EQ(full.item("@tPg").text(), "0011");
    EXPECT_EQ(full.item("$Path").text(), QString("BOOKS\\B000500\\").leftJustified(32));
    EXPECT_EQ(full.item("$PcFn").text(), "B005000010.T");

    const AdoParameters ny = rg632r("A", "0090", "0200", "000600", " ", " ", true);
    EXPECT_EQ(ny.item("$ErrMsg").text(), "");
    EXPECT_EQ(ny.item("@BKCD").text(), "NYREG");
    EXPECT_EQ(ny.item("@ePG").text(), "0100"); // cut to the book's last page

    EXPECT_TRUE(rg632r("A", "0500", "0600").item("$ErrMsg").text().contains("outside"));
    EXPECT_TRUE(rg632r("A", "0001", "0002", "000999").item("$ErrMsg").text().contains("not on file"));
}

TEST_F(Registrations, BookScanStoreChecksTheFileOnTheShare)
{
    const AdoParameters range = rg632r("A", "0001", "0002");
    const QString path = range.item("$Path").text().trimmed();
    const QString file = range.item("$PcFn").text().trimmed();
    EXPECT_TRUE(rg632r("S", "0001", "0002", "000500", path, file).item("$ErrMsg").text().contains("not found"));
    putShareFile(path + file, 100);
    EXPECT_EQ(rg632r("S", "0001", "0002", "000500", path, file).item("$ErrMsg").text(), "");
}

TEST_F(Registrations, ARegistrationWhoseAnswerIsLostIsCommittedOnce)
{
    putShareFile("KvTemp\\Scans\\WS04.T", 300);
    hostsim::Fault drop;
    drop.kind = hostsim::FaultKind::LostReply;
    drop.program = "IM650R";
    em->addFault(drop);
    try {
        im650r(QString("S"), "", "WS04.T", "000000300", "0001");
        ADD_FAILURE() << "the answer came back";
    } catch (const VbError &e) {
        EXPECT_EQ(e.source, "ODBC 08S01");
    }
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM registrations WHERE program = 'IM650R' AND func = 'S'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
}

TEST_F(Registrations, ARegistrationWaitsForAnotherStationsWriteLock)
{
    putShareFile("KvTemp\\Scans\\WS05.T", 300);
    std::atomic<bool> locked{false};
    std::thread other([&] {
        {
            QSqlDatabase d = QSqlDatabase::addDatabase("QSQLITE", "other-station");
            d.setDatabaseName(dbPath);
            d.open();
            QSqlQuery q(d);
            q.exec("BEGIN IMMEDIATE");
            q.exec("INSERT INTO registrations(program, func) VALUES('OTHER', 'S')");
            locked = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            q.exec("COMMIT");
        }
        QSqlDatabase::removeDatabase("other-station");
    });
    while (!locked)
        std::this_thread::yield();
    AdoParameters out;
    const QString error = errorTextOf([&] { out = im650r(QString("S"), "", "WS05.T", "000000300", "0001"); });
    other.join();
    EXPECT_EQ(error, "");
    EXPECT_EQ(out.item("ErrMsg").text(), "");
}

TEST_F(Registrations, TwoStationsStoringAtOnceEachRegisterTheirOwnPages)
{
    constexpr int kStores = 100;
    QProcess stations[2];
    for (int i = 0; i < 2; ++i) {
        stations[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
        stations[i].start(HOSTSIM_STATION, {dbPath, shareRoot, QString::number(i + 1), QString::number(kStores)});
    }
    for (QProcess &p : stations) {
        ASSERT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), 0);
    }
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec("SELECT r.file, r.pages, r.imid, m.folder FROM registrations r JOIN image_master m "
                       "ON m.imid = r.imid WHERE r.program = 'IM650R' AND r.func = 'S'"));
    int registered = 0;
    QStringList wrong;
    while (q.next()) {
        ++registered;
        const int station = q.value(0).toString().mid(3, 1).toInt();
        QFile f(shareRoot + "/QHOST/IMAGES/" + q.value(3).toString() + "/" + q.value(2).toString());
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != stationPages(station, q.value(1).toInt()))
            wrong << q.value(0).toString() + " " + q.value(1).toString();
    }
    EXPECT_EQ(registered, 2 * kStores);
    EXPECT_EQ(wrong, QStringList());
    int files = 0;
    for (QDirIterator it(shareRoot + "/QHOST/IMAGES", QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++files;
    EXPECT_EQ(files, 2 * kStores);
}

} // namespace
