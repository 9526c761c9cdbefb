// The demo seed: a lookup in each customer's main database finds a document, and stored images
// are multi-page bilevel TIFFs where the view looks for them.
#include "hostfixture.h"

#include <QProcess>
#include <QRegularExpression>

#include <tiffio.h>

namespace {

class DemoSeed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        const QString tool = QString::fromLocal8Bit(qgetenv("QUORLA_BUILD_DIR")) + "/bin/hostsim-seed";
        QProcess p;
        p.start(tool, {"--demo", dir->filePath("host.sqlite"), dir->filePath("shares")});
        seeded = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!seeded)
            std::fprintf(stderr, "%s\n", p.readAllStandardError().constData());
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(seeded);
        qputenv("QUORLA_HOST_EMULATOR", dir->filePath("host.sqlite").toLocal8Bit());
        qputenv("QUORLA_SHARE_ROOT", dir->filePath("shares").toLocal8Bit());
        hostsim::registerProvider();
        conn.open("provider=IBMDA400;data source=RECHOST;", "SCANSVC", "scan2026", -1);
    }
    void TearDown() override
    {
        conn.close();
        qunsetenv("QUORLA_HOST_EMULATOR");
        qunsetenv("QUORLA_SHARE_ROOT");
    }
    AdoParameters run(const QString &program, const std::vector<Param> &params)
    {
        return runCall(conn, program, int(params.size()), params);
    }
    AdoParameters maLookup(const QString &book, const QString &page)
    {
        return run("SY331RI", set(landRecordsLookup(), {{"DSBK", book}, {"DSPG", page}}));
    }
    AdoParameters imageOf(const AdoParameters &doc)
    {
        return run("IM650R", set(imageMaster(), {{"DocId", doc.item("DocId").text().trimmed()}}));
    }

    static inline QTemporaryDir *dir = nullptr;
    static inline bool seeded = false;
    AdoConnection conn;
};

TEST_F(DemoSeed, EachCustomersMainDatabaseAnswersALookup)
{
    EXPECT_EQ(maLookup("001010", "0001").item("DSRSLT").text(), "");  // Massachusetts
    EXPECT_EQ(maLookup("002022", "0019").item("DSRSLT").text(), "");  // Maine updated
    EXPECT_EQ(maLookup("001000", "0001").item("DSRSLT").text(), "3"); // on file twice
    EXPECT_EQ(maLookup("001001", "0001").item("DSRSLT").text(), "1"); // Land Court only
    const AdoParameters ny =
        run("SY331RI", set(newYorkBookLookup(), {{"BkCd", "L"}, {"Bk", "003000"}, {"Pg", "0001"}}));
    EXPECT_EQ(ny.item("Rslt").text(), "");
    const AdoParameters fh = run("FH631RI", set(referenceLookup(), {{"RefCd", "WI"}, {"Ref#", "0005000000"}}));
    EXPECT_EQ(fh.item("Rslt").text(), "");
    EXPECT_EQ(fh.item("PcFn").text(), "FH000001.TIF");
}

TEST_F(DemoSeed, EveryDocumentAnswersItsRecordedPageCountWithOrWithoutAnImage)
{
    // Documents 0 and 1 of the Massachusetts run: the first has an image, the second none.
    for (const char *page : {"0001", "0010"}) {
        SCOPED_TRACE(page);
        const AdoParameters im = imageOf(maLookup("001010", page));
        ASSERT_EQ(im.item("ErrMsg").text().trimmed(), "");
        const int pages = im.item("Nump").text().toInt();
        EXPECT_GE(pages, 1);
        EXPECT_LE(pages, 4);
    }
    // Checked in the database itself: no unscanned document lacks its count.
    QProcess sqlite;
    sqlite.start("sqlite3", {dir->filePath("host.sqlite"),
                             "SELECT count(*) FROM documents WHERE imid = '' AND CAST(num_pages AS INTEGER) < 1"});
    ASSERT_TRUE(sqlite.waitForFinished(20000));
    EXPECT_EQ(QString::fromUtf8(sqlite.readAllStandardOutput()).trimmed(), "0");
    // Book 1033 is a run of four unscanned documents, with nothing between them, for a batch scan.
    sqlite.start("sqlite3", {dir->filePath("host.sqlite"),
                             "SELECT page || ':' || imid || ':' || num_pages FROM documents WHERE db = 'LR' AND "
                             "book > '001032' AND book < '002000' ORDER BY book, page"});
    ASSERT_TRUE(sqlite.waitForFinished(20000));
    const QStringList run = QString::fromUtf8(sqlite.readAllStandardOutput()).trimmed().split('\n');
    ASSERT_EQ(run.size(), 4) << run.join(' ').toStdString();
    for (const QString &doc : run)
        EXPECT_TRUE(QRegularExpression("^\\d{4}::000[1-4]$").match(doc).hasMatch()) << doc.toStdString();
}

TEST_F(DemoSeed, StoredImageIsAMultiPageBilevelTiffOnTheShare)
{
    // Document 0 of the Massachusetts run carries an image.
    const AdoParameters im = imageOf(maLookup("001010", "0001"));
    ASSERT_EQ(im.item("ErrMsg").text(), "");
    const QString imid = im.item("Imid").text();
    ASSERT_FALSE(imid.trimmed().isEmpty());
    const AdoParameters where = run("IM091R", imageLocation(imid));
    const QString path = hostPathToLocal("\\\\RECHOST\\IMAGES\\" + where.item("FlNm").text().trimmed() + "\\" +
                                                 imid);
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    ASSERT_NE(tif, nullptr) << path.toStdString();
    int pages = 0;
    do {
        uint16_t bps = 0, photometric = 0, compression = 0;
        uint32_t width = 0;
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        EXPECT_EQ(bps, 1);
        EXPECT_EQ(compression, COMPRESSION_CCITTFAX4);
        EXPECT_EQ(width % 8, 0u);
        ++pages;
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    EXPECT_EQ(QString::number(pages).rightJustified(4, '0'), im.item("Nump").text());
}

TEST_F(DemoSeed, EfileQueueHandsOutADocumentWhoseImageIsOnTheShare)
{
    const AdoParameters out = run("IM652R", set(efileQueue(), {{"BatchId", "0000000"}, {"DocumentId", "0000000000"},
                                                           {"Func", "R"}, {"WrkStationIP", "192.168.1.20"}}));
    ASSERT_EQ(out.item("RsltCd").text(), "");
    EXPECT_EQ(out.item("Group1Dflts").text(), "F3BR");
    EXPECT_TRUE(QFileInfo(hostPathToLocal(out.item("InDocPath").text().trimmed())).isFile());
}

} // namespace
