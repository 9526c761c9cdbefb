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
    AdoParameters run(const QString &program, int markers, const std::vector<Param> &params)
    {
        AdoCommand cmd;
        cmd.setActiveConnection(conn);
        cmd.setCommandText(adoProgramCall(program, markers));
        for (const Param &p : params)
            cmd.parameters().append(cmd.createParameter(p.name, adChar, adParamInputOutput, p.width, QVariant()));
        for (const Param &p : params)
            if (p.value)
                cmd.parameters()[p.name].setValue(*p.value);
        cmd.execute();
        return cmd.parameters();
    }
    AdoParameters maLookup(const QString &book, const QString &page)
    {
        return run("SY331RI", 14,
                   trio() + std::vector<Param>{{"DSFUNC", 1, QString("A")}, {"DSBK", 6, book}, {"DSPG", 4, page},
                                               {"DSRSLT", 1}, {"DSRCCY", 4, QString("0000")},
                                               {"DSRCMM", 2, QString("00")}, {"DSRCDD", 2, QString("00")},
                                               {"DSCTL#", 5, QString("00000")}, {"INST#", 6, QString("000000")},
                                               {"KyCd", 1, QString("")}, {"DocId", 25, QString("")}});
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
    const AdoParameters ny = run("SY331RI", 13,
                                 trio() + std::vector<Param>{{"Func", 1, QString("A")}, {"BkCd", 1, QString("L")},
                                                             {"Bk", 6, QString("003000")}, {"Pg", 4, QString("0001")},
                                                             {"Rslt", 1, QString("0")}, {"RcCY", 4}, {"RcMM", 2},
                                                             {"RcDD", 2}, {"CTL#", 5}, {"REF#", 10}});
    EXPECT_EQ(ny.item("Rslt").text(), "");
    const AdoParameters fh = run("FH631RI", 12,
                                 trio() + std::vector<Param>{{"Func", 1, QString("A")}, {"RefCd", 2, QString("WI")},
                                                             {"Ref#", 10, QString("0005000000")},
                                                             {"Rslt", 1, QString("0")}, {"RcCY", 4}, {"RcMM", 2},
                                                             {"RcDD", 2}, {"CTL#", 5}, {"PcFn", 12}});
    EXPECT_EQ(fh.item("Rslt").text(), "");
    EXPECT_EQ(fh.item("PcFn").text(), "FH000001.TIF");
}

TEST_F(DemoSeed, EveryDocumentAnswersItsRecordedPageCountWithOrWithoutAnImage)
{
    // Documents 0 and 1 of the Massachusetts run: the first has an image, the second none.
    for (const char *page : {"0001", "0010"}) {
        SCOPED_TRACE(page);
        const AdoParameters doc = maLookup("001010", page);
        const AdoParameters im = run("IM650R", 19,
                                     trio() + std::vector<Param>{{"Func", 1, QString("A")}, {"ApCd", 2, QString("LR")},
                                                                 {"MbGp", 2, QString("LR")}, {"KyCd", 1, QString("K")},
                                                                 {"DocId", 25, doc.item("DocId").text().trimmed()},
                                                                 {"RcCY", 4}, {"RcMM", 2}, {"RcDD", 2}, {"Ctl#", 5},
                                                                 {"Dabr", 5}, {"Imid", 12}, {"PcFn", 12}, {"DoSz", 9},
                                                                 {"Nump", 4, QString("0000")}, {"ErrMsg", 60},
                                                                 {"Redacted", 1}});
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
    const AdoParameters doc = maLookup("001010", "0001");
    const AdoParameters im = run("IM650R", 19,
                                 trio() + std::vector<Param>{{"Func", 1, QString("A")}, {"ApCd", 2, QString("LR")},
                                                             {"MbGp", 2, QString("LR")}, {"KyCd", 1, QString("K")},
                                                             {"DocId", 25, doc.item("DocId").text().trimmed()},
                                                             {"RcCY", 4}, {"RcMM", 2}, {"RcDD", 2}, {"Ctl#", 5},
                                                             {"Dabr", 5}, {"Imid", 12}, {"PcFn", 12, QString("blank")},
                                                             {"DoSz", 9, QString("000001000")},
                                                             {"Nump", 4, QString("0000")}, {"ErrMsg", 60},
                                                             {"Redacted", 1, QString("N")}});
    ASSERT_EQ(im.item("ErrMsg").text(), "");
    const QString imid = im.item("Imid").text();
    ASSERT_FALSE(imid.trimmed().isEmpty());
    const AdoParameters where = run("IM091R", 6,
                                    {{"Func", 1, QString("V")}, {"Imid", 12, imid}, {"FlNM", 8}, {"sbDr", 12},
                                     {"MbrNm", 10}, {"ErrMsg", 60}});
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
    std::vector<Param> p;
    const std::pair<const char *, int> fields[] = {
        {"PartnerId", 2}, {"SubmitCde", 10}, {"LocationCde", 10}, {"BatchId", 7}, {"DocumentId", 10}, {"Func", 1},
        {"RsltCd", 1}, {"ApCd", 2}, {"KyCd", 1}, {"AlwEdt", 1}, {"ExtOrOvlPg", 1}, {"ISeriesBurnAnn", 1},
        {"InDocCtlYear", 4}, {"InDocCtlMonth", 2}, {"InDocCtlDay", 2}, {"InDocCtl#", 5}, {"InDocBookCd", 1},
        {"InDocBook#", 6}, {"InDocPage#", 4}, {"InDocInstrument#", 6}, {"InDocPath", 255}, {"InDocID", 25},
        {"InDocType", 5}, {"InDocNumPages", 4}, {"BurnedImagePath", 255}, {"Group1Dflts", 4}, {"Group1", 80},
        {"Group2Dflts", 4}, {"Group2", 250}, {"Group3Dflts", 4}, {"Group3", 250}, {"Group4Dflts", 4},
        {"Group4", 120}, {"ErrMsg", 60}, {"UnIndexedEfile", 1}, {"WrkStationIP", 23}};
    for (const auto &[name, width] : fields)
        p.push_back({name, width});
    p[3].value = QString("0000000");
    p[4].value = QString("0000000000");
    p[5].value = QString("R");
    p[35].value = QString("192.168.1.20");
    const AdoParameters out = run("IM652R", 36, p);
    ASSERT_EQ(out.item("RsltCd").text(), "");
    EXPECT_EQ(out.item("Group1Dflts").text(), "F3BR");
    EXPECT_TRUE(QFileInfo(hostPathToLocal(out.item("InDocPath").text().trimmed())).isFile());
}

} // namespace
