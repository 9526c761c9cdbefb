// The document view against the records-host emulator: a stored image located, copied, tested
// and shown; the failures' messages; e-filed documents with their cover sheet.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "capture/coversheet.h"
#include "capture/paperstore.h"
#include "capture/view.h"
#include "annotate/grouppos.h"
#include "capture_env.h"
#include "tiffpages.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "hostsim/emulator.h"
#include "platform/ado/ado.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/tiffcodec.h"
#include "platform/settings/settings.h"
#include "ui/frmMain.h"

namespace {

const QString kImid = QStringLiteral("000000012345");

QImage blankPage(int width, int height)
{
    QImage img(width, height, QImage::Format_Mono);
    img.fill(1);
    img.setDotsPerMeterX(7874);
    img.setDotsPerMeterY(7874);
    return img;
}

// Writes a bilevel (G4) TIFF with one page per width.
void writeTiff(const QString &path, const QList<int> &widths, int height = 300)
{
    QDir().mkpath(QFileInfo(path).path());
    QelEzImage maker;
    for (int w : widths)
        maker.appendPage(blankPage(w, height));
    maker.setSaveFileName(path);
    maker.save();
}

int pagesIn(const QString &path)
{
    QelEzImage probe;
    probe.setImageFile(path);
    return probe.pageCount();
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        frmMain();  // its first load starts the program, which sets the globals up
        resetState();
        QDir(dir.path()).mkpath(QStringLiteral("temp"));
        QDir(dir.path()).mkpath(QStringLiteral("share/QHOST"));
        g_strTempPath = dir.filePath(QStringLiteral("temp")) + u'/';
        qputenv("QUORLA_SHARE_ROOT", dir.filePath(QStringLiteral("share")).toLocal8Bit());
        const QString db = dir.filePath(QStringLiteral("host.sqlite"));
        qputenv("QUORLA_HOST_EMULATOR", db.toLocal8Bit());
        em = std::make_unique<hostsim::HostEmulator>(db);
        hostsim::registerProvider();
        em->runScript(QStringLiteral("INSERT INTO accounts VALUES('QHOST', 'QUSER', 'QPWD');\n"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"), QStringLiteral("QHOST"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"), QStringLiteral("QUSER"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"), QStringLiteral("QPWD"));
        g_USER_ID = QStringLiteral("JSMITH");
        computername = QStringLiteral("WORKSTATION01");
        msg = std::make_unique<MsgBoxScript>();
        script = std::make_unique<FormScript>();
        openHostConnection(conn);
    }

    void TearDown() override
    {
        frmMain().ezTreeView->clearImage();
        frmMain().ezPageView->clearImage();
        frmMain().fraNonTiff->setVisible(false);
        script.reset();
        msg.reset();
        em.reset();
        qunsetenv("QUORLA_HOST_EMULATOR");
        qunsetenv("QUORLA_SHARE_ROOT");
        resetState();
    }

    QString share(const QString &rest) const { return dir.filePath(QStringLiteral("share/QHOST/") + rest); }

    // An image-master record and, when widths are given, its file in the IMAGES folder.
    void seedImage(const QString &folder, const QString &subdir, const QList<int> &widths)
    {
        em->runScript(QStringLiteral("INSERT INTO image_master(imid, folder, subdir, member) "
                                     "VALUES('%1', '%2', '%3', 'MBR');\n")
                          .arg(kImid, folder, subdir));
        if (!widths.isEmpty())
            writeTiff(share(QStringLiteral("IMAGES/") + folder + u'/' + kImid), widths);
        g_ImID = kImid;
    }

    // Every box shown so far, for failure messages.
    std::string prompts() const
    {
        QStringList all;
        for (const MsgBoxCall &c : msg->calls())
            all << c.prompt;
        return all.join(QStringLiteral(" | ")).toStdString();
    }

    QString note() const { return frmMain().lblNonTiff->text(); }

    QTemporaryDir dir;
    std::unique_ptr<hostsim::HostEmulator> em;
    std::unique_ptr<MsgBoxScript> msg;
    std::unique_ptr<FormScript> script;
    AdoConnection conn;
};

TEST(StoredImagePath, FormsByFolderAndSubdirectory)
{
    struct Row {
        const char *flNm, *sbDr, *expected;
    } rows[] = {
        {"ARCH    ", "SUBDIREC.001", "\\\\H\\ROOT\\ARCH\\SUBDIREC.001\\ID1"},
        {"ARCH    ", " SUBDIREC.00", "\\\\H\\IMAGES\\ARCH\\ID1"},
        {"KVTEMP  ", "SCANS       ", "\\\\H\\KVTEMP\\SCANS\\ID1"},
        {"kvtemp  ", "SCANS       ", "\\\\H\\IMAGES\\kvtemp\\ID1"},
        {"DOCS    ", "            ", "\\\\H\\IMAGES\\DOCS\\ID1"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(storedImagePath("H", r.flNm, r.sbDr, "ID1"), QString::fromLatin1(r.expected))
            << r.flNm << "|" << r.sbDr;
}

TEST(IsTiffFile, FirstTwoBytes)
{
    QTemporaryDir d;
    struct Row {
        QByteArray bytes;
        bool tiff;
    } rows[] = {
        {QByteArray("II*\0rest", 8), true},
        {QByteArray("MM\0*", 4), true},
        {"I", false},
        {"\nII*", false},
        {"ii*", false},
        {"%PDF-1.4", false},
        {"", false},
    };
    int n = 0;
    for (const Row &r : rows) {
        const QString path = d.filePath(QString::number(n++));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(r.bytes);
        f.close();
        EXPECT_EQ(isTiffFile(path), r.tiff) << r.bytes.toStdString();
    }
    EXPECT_FALSE(isTiffFile(d.filePath("missing")));
}

TEST_F(ViewTest, StoredDocumentIsFetchedAndShown)
{
    seedImage(QStringLiteral("DOCS"), QString(), {1728, 1728, 1728});

    ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();

    const hostsim::HostCall call = em->lastCall();
    EXPECT_EQ(call.program, "IM091R");
    EXPECT_EQ(call.commandText, "{{CALL /QSYS.LIB/*LIBL.LIB/IM091R.PGM(?,?,?,?,?,?)}}");
    ASSERT_NE(call.param("Func"), nullptr);
    EXPECT_EQ(call.param("Func")->sent.toString(), "V");
    EXPECT_EQ(call.param("FlNM")->size, 8);
    EXPECT_FALSE(call.param("sbDr")->sent.isValid());

    FrmMain &w = frmMain();
    EXPECT_EQ(w.ezPageView->pageCount(), 3);
    EXPECT_EQ(w.ezTreeView->pageCount(), 3);
    EXPECT_EQ(w.lblPageNum->text(), "Page 1/3");
    EXPECT_EQ(w.ezPageView->imageFile(), g_strTempPath + "temp.tif");
    EXPECT_TRUE(g_blnTif);
    EXPECT_TRUE(g_blnByteAligned);
    EXPECT_TRUE(w.fraNonTiff->isHidden());
    EXPECT_EQ(w.lblStatus->text(), "");
    EXPECT_TRUE(msg->calls().isEmpty()) << prompts();
    // paper documents: store, redact and rotate on, refresh off; Scan is the default
    EXPECT_TRUE(w.btnStore->isEnabled());
    EXPECT_TRUE(w.btnRedact->isEnabled());
    EXPECT_TRUE(w.cboRotateOpt->isEnabled());
    EXPECT_FALSE(w.btnRefresh->isEnabled());
    EXPECT_EQ(w.defaultButton(), w.btnScan);
    EXPECT_EQ(w.btnShowTree->text(), "Hide Thumbna&ils");
    // the stored file itself is left alone
    EXPECT_TRUE(QFile::exists(share("IMAGES/DOCS/") + kImid));
}

// The thumbnails show only for more than one page; the image id is kept as the host returns it,
// padded to twelve, while the file is named without the padding.
TEST_F(ViewTest, PageCountShowsTheThumbnailsAndTheImageIdKeepsTheHostsPadding)
{
    const struct {
        QString imid, imidAfter;
        QList<int> widths;
        const char *pageNum, *treeButton;
    } rows[] = {
        {kImid, kImid, {1728}, "Page 1/1", "Show Thumbna&ils"},
        {QStringLiteral("12345"), QStringLiteral("12345       "), {1728, 1728}, "Page 1/2", "Hide Thumbna&ils"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.imid.toStdString());
        em->runScript(QStringLiteral("DELETE FROM image_master;\n"
                                     "INSERT INTO image_master(imid, folder, subdir, member) "
                                     "VALUES('%1', 'DOCS', '', 'MBR');\n")
                          .arg(r.imid));
        writeTiff(share(QStringLiteral("IMAGES/DOCS/") + r.imid), r.widths);
        g_ImID = r.imid;
        ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
        EXPECT_EQ(frmMain().ezPageView->pageCount(), r.widths.size());
        EXPECT_EQ(frmMain().lblPageNum->text(), r.pageNum);
        EXPECT_EQ(frmMain().btnShowTree->text(), r.treeButton);
        EXPECT_EQ(g_ImID, r.imidAfter);
    }
}

TEST_F(ViewTest, AnOddWidthAnywhereMakesTheDocumentNotByteAligned)
{
    struct Row {
        QList<int> widths;
        bool aligned;
    } rows[] = {
        {{1696, 1701, 2552}, false},
        {{1696, 2552}, true},
        {{1696, 2552, 1701}, false},
    };
    for (const Row &r : rows) {
        em->runScript(QStringLiteral("DELETE FROM image_master;\n"));
        seedImage(QStringLiteral("DOCS"), QString(), r.widths);
        ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
        EXPECT_EQ(g_blnByteAligned, r.aligned);
        EXPECT_EQ(frmMain().ezPageView->page(), 1);
        EXPECT_EQ(frmMain().fraNonTiff->isHidden(), r.aligned);
        if (!r.aligned) {
            EXPECT_EQ(note(), NOTE_NOT_BYTE_ALIGNED);
        }
    }
}

// A page whose header no page can have, second of three: the operator is told in plain words,
// never a developer's trace, when the document opens, on paging to it, in the thumbnails and at
// Store, and the pages that can be read are shown. A directory libtiff reads keeps its place;
// one it cannot read ends the document there.
TEST_F(ViewTest, APageWithAnImpossibleHeaderIsNamedInPlainWords)
{
    struct Row {
        const char *name;
        QList<std::array<quint32, 3>> entries; // tag, value, type
        int pagesShown;
    } const rows[] = {
        {"a size past any page's", {{256, 200000, 4}, {257, 300000, 4}}, 3},
        {"a row past any page's width", {{256, 200000000, 4}, {257, 1, 4}}, 3},
        {"rows too long to hold", {{256, 262144, 4}, {277, 65535, 3}}, 3},
        {"no width", {{256, 0, 4}}, 1},
        {"no length", {{257, 0, 4}}, 1},
        {"more strips than the file holds", {{278, 1, 4}, {257, 4000000000u, 4}}, 1},
    };
    FrmMain &w = frmMain();
    QDir().mkpath(share(QStringLiteral("KvTemp/Scans")));
    g_blnLoggedIn = true;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        em->runScript(QStringLiteral("DELETE FROM image_master;\n"));
        seedImage(QStringLiteral("DOCS"), QString(), {1728, 1736, 1744});
        const QString stored = share(QStringLiteral("IMAGES/DOCS/") + kImid);
        QFile f(stored);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        for (const auto &e : r.entries)
            ASSERT_TRUE(setTiffEntry(bytes, 1, quint16(e[0]), e[1], quint16(e[2])));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();

        msg->clear();
        ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
        ASSERT_EQ(msg->calls().size(), 1) << prompts();
        EXPECT_EQ(msg->calls().first().prompt,
                  QStringLiteral("Page 2 of this document is damaged; the pages that can be read are shown. Scan the "
                                 "document again to replace it."));
        EXPECT_EQ(w.ezPageView->pageCount(), r.pagesShown);
        EXPECT_TRUE(w.btnStore->isEnabled());
        // paged to, and in the thumbnails: shown as damaged, nothing said
        w.ezPageView->resize(400, 500);
        w.ezTreeView->resize(150, 500);
        for (int p = 1; p <= w.ezPageView->pageCount(); ++p) {
            w.ezPageView->setPage(p);
            EXPECT_FALSE(w.ezPageView->grab().isNull());
        }
        EXPECT_FALSE(w.ezTreeView->grab().isNull());
        EXPECT_EQ(msg->calls().size(), 1) << prompts();
        // refused at Store before anything reaches the share
        g_NumPages = QStringLiteral("0");
        EXPECT_FALSE(do_store_manual(false));
        ASSERT_EQ(msg->calls().size(), 2) << prompts();
        EXPECT_EQ(msg->calls().last().prompt, QStringLiteral("Page 2 of this document is damaged and cannot be stored. "
                                                             "Nothing was stored. Scan the document again, then store it."));
        EXPECT_TRUE(QDir(share(QStringLiteral("KvTemp/Scans"))).isEmpty());
    }
}

// Opening walks every page (byte alignment, annotation security and clean-up, each page change
// yielding) with the window on screen: only what is shown is decoded, whatever the length.
TEST_F(ViewTest, OpeningALongDocumentDecodesOnlyWhatIsShown)
{
    seedImage(QStringLiteral("DOCS"), QString(), QList<int>(40, 1728));
    FrmMain &w = frmMain();
    w.show();
    w.ezPageView->setVisible(true); // as the request road shows them before the view
    w.ezTreeView->setVisible(true);
    QCoreApplication::processEvents();
    const qint64 before = tiffcodec::decodeCount();

    ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
    QCoreApplication::processEvents();
    const qint64 opened = tiffcodec::decodeCount() - before;
    w.ezPageView->setPage(30);
    QCoreApplication::processEvents();
    const qint64 flipped = tiffcodec::decodeCount() - before - opened;
    w.hide();

    EXPECT_EQ(w.ezPageView->pageCount(), 40);
    // the first page and the few thumbnails on screen, each decoded once
    EXPECT_GE(opened, 1);
    EXPECT_LE(opened, 6);
    EXPECT_EQ(flipped, 1);
}

TEST_F(ViewTest, HostErrorTextIsShownAndTheConnectionStaysOpen)
{
    g_ImID = QStringLiteral("999999999999");
    EXPECT_FALSE(do_view(conn, QStringLiteral("QHOST")));
    ASSERT_EQ(msg->calls().size(), 1);
    EXPECT_TRUE(msg->calls()[0].prompt.startsWith("Image 999999999999 is not on file."));
    EXPECT_EQ(msg->calls()[0].title, "The Korvane Scan Tool");
    EXPECT_EQ(msg->calls()[0].buttonSet(), vb::vbOKOnly);
    EXPECT_EQ(conn.state(), adStateOpen);
}

TEST_F(ViewTest, MissingFileIsReportedAndTheConnectionClosed)
{
    seedImage(QStringLiteral("DOCS"), QString(), {});
    EXPECT_FALSE(do_view(conn, QStringLiteral("QHOST")));
    const QString expected = QStringLiteral("File Not Found: \\\\QHOST\\IMAGES\\DOCS\\") + kImid;
    ASSERT_EQ(msg->calls().size(), 1);
    EXPECT_EQ(msg->calls()[0].prompt, expected);
    EXPECT_EQ(msg->calls()[0].title, "The Korvane Scan Tool");
    EXPECT_EQ(frmMain().lblStatus->text(), expected);
    EXPECT_NE(conn.state(), adStateOpen);
}

TEST_F(ViewTest, ParkedFilesOfThePreviousDocumentAreRemoved)
{
    seedImage(QStringLiteral("DOCS"), QString(), {1728, 1728});
    ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
    for (const char *name : {"Quorla.ann1", "Quorla.ann2", "tempredact.tif", "byteAlign.tif"}) {
        QFile f(g_strTempPath + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
    for (const char *name : {"Quorla.ann1", "Quorla.ann2", "tempredact.tif", "byteAlign.tif"})
        EXPECT_FALSE(QFile::exists(g_strTempPath + name)) << name;
}

// ---- e-filed documents -------------------------------------------------------------------------

class EfileViewTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        gdtCurrentDocType = 1;
        g_dbMode = MODE_MARG;
        g_Year = QStringLiteral("2026");
        g_Month = QStringLiteral("12");
        g_Day = QStringLiteral("01");
        g_CTLNum = QStringLiteral("00042");
        g_NumPages = QStringLiteral("0003");
        g_intCoverTextFontSize = 10;  // as start-up sets it
        writeTiff(share(QStringLiteral("EFILE/DOC1.TIF")), {1728, 1728, 1728});
        gsInDocPath = QStringLiteral("\\\\QHOST\\EFILE\\DOC1.TIF   ");
    }

    void seedCover(const QString &status, const QList<int> &templateWidths)
    {
        em->runScript(QStringLiteral("INSERT INTO cover_pages(id, db, year, month, day, ctl, status, path) "
                                     "VALUES(1, 'LR', '2026', '12', '01', '00042', '%1', '\\COVERS\\COVER.TIF');\n"
                                     "INSERT INTO cover_lines VALUES(1, 1, '01RECORDED ELECTRONICALLY');\n"
                                     "INSERT INTO cover_lines VALUES(1, 2, '02BOOK 123 PAGE 45');\n")
                          .arg(status));
        if (!templateWidths.isEmpty())
            writeTiff(share(QStringLiteral("COVERS/COVER.TIF")), templateWidths);
    }
};

TEST_F(EfileViewTest, CoverSheetGoesInFront)
{
    seedCover(QStringLiteral("Y"), {1701});
    ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
    FrmMain &w = frmMain();
    EXPECT_EQ(w.ezPageView->pageCount(), 4);
    EXPECT_EQ(w.lblPageNum->text(), "Page 1/4");
    EXPECT_EQ(g_NumPages, "4");
    // no group texts: the cover-sheeted working copy is what the view shows
    EXPECT_EQ(w.ezPageView->imageFile(), g_strTempPath + "temp3.tif");
    EXPECT_EQ(pagesIn(g_strTempPath + "temp2.tif"), 4);
    w.ezPageView->setPage(1);
    EXPECT_EQ(w.ezPageView->imageWidth() % 8, 0);  // the template page was byte-aligned
    EXPECT_GT(w.ezPageView->annotationCount(), 0);  // the cover lines
    EXPECT_TRUE(g_blnByteAligned);
    EXPECT_EQ(w.ezPageView->annotationFlagsA(), 64);
    EXPECT_TRUE(w.btnRefresh->isEnabled());
    EXPECT_TRUE(msg->calls().isEmpty()) << prompts();
}

TEST_F(EfileViewTest, GroupTextsAreLaidOutOnTheFinalWorkingImage)
{
    GroupTextInfo &g = g_GroupTextInfo[0];
    g.RawText = QStringLiteral("RECEIVED FOR RECORD").leftJustified(40) + QStringLiteral("2026-12-01 10:15");
    g.PageScope = QStringLiteral("F");
    g.FontCode = QStringLiteral("2");
    g.FontSize = 10;
    g.Edge = QStringLiteral("T");
    g.Location = QStringLiteral("L");
    gsEFileAnnotateDocResize = QStringLiteral("E");
    ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
    EXPECT_TRUE(msg->calls().isEmpty()) << prompts();
    QelEzImage &view = *frmMain().ezPageView;
    EXPECT_EQ(view.imageFile(), g_strTempPath + "tempextrastep.tif");
    EXPECT_EQ(view.pageCount(), 3);
    EXPECT_GT(g.BlockWidth, 0);
    EXPECT_GT(g.BlockHeight, 0);
    // the first-page top-left list holds group 1 with a rectangle on the page
    const GroupPosition &pos = g_GroupPos[size_t(groupPosListIndex("T", "L", "F"))][0];
    EXPECT_EQ(pos.GroupId, 1);
    EXPECT_GT(pos.Right, pos.Left);
    EXPECT_GT(pos.Bottom, pos.Top);
    // no parked annotation file is left behind
    for (int p = 1; p <= 3; ++p)
        EXPECT_FALSE(QFile::exists(g_strTempPath + "Quorla.ann" + QString::number(p)));
}

TEST_F(EfileViewTest, UnindexedDocumentCannotBeChanged)
{
    gsUnIndexedEFileDoc = QStringLiteral("1");
    ASSERT_TRUE(do_view(conn, QStringLiteral("QHOST"))) << prompts();
    FrmMain &w = frmMain();
    EXPECT_FALSE(w.btnStore->isEnabled());
    EXPECT_FALSE(w.mnuStore->isEnabled());
    EXPECT_FALSE(w.btnRedact->isEnabled());
    EXPECT_FALSE(w.mnuRotate->isEnabled());
    EXPECT_FALSE(w.btnRotate->isEnabled());
    EXPECT_TRUE(w.btnRefresh->isEnabled());
    // the host was not asked where the image lies
    for (const hostsim::HostCall &c : em->callLog())
        EXPECT_NE(c.program, "IM091R");
}

// A document path from the host that names no file on the share: a missing file is named by its
// trimmed path; a real file outside the share root, in several forms, is refused. Nothing is shown.
TEST_F(EfileViewTest, ADocumentPathThatIsNoFileOnTheShareShowsNothing)
{
    writeTiff(dir.filePath(QStringLiteral("outside.tif")), {1728});
    const QString offShare = QStringLiteral("52: Not a path on a host share");
    const struct {
        QString path;
        QString said;
        bool whole; // the box says exactly this
    } cases[] = {
        {QStringLiteral("\\\\QHOST\\EFILE\\NONE.TIF  "), QStringLiteral("File Not Found: \\\\QHOST\\EFILE\\NONE.TIF"), true},
        {dir.filePath(QStringLiteral("outside.tif")), offShare, false},
        {QStringLiteral("\\\\QHOST\\EFILE\\..\\..\\..\\outside.tif"), offShare, false},
        {QStringLiteral("C:\\outside.tif"), offShare, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        msg->clear();
        gsInDocPath = c.path;
        EXPECT_FALSE(do_view(conn, QStringLiteral("QHOST")));
        ASSERT_EQ(msg->calls().size(), 1);
        const QString said = msg->calls()[0].prompt;
        EXPECT_TRUE(c.whole ? said == c.said : said.contains(c.said)) << said.toStdString();
        EXPECT_FALSE(QFile::exists(g_strTempPath + QStringLiteral("temp.tif")));
        EXPECT_EQ(frmMain().ezPageView->pageCount(), 0);
    }
}

// ---- the cover sheet on its own ----------------------------------------------------------------

class CoverSheetTest : public EfileViewTest {
protected:
    void SetUp() override
    {
        EfileViewTest::SetUp();
        doc = g_strTempPath + QStringLiteral("temp3.tif");
        writeTiff(doc, {1728, 1728, 1728});
        writeTiff(share(QStringLiteral("COVERS/COVER.TIF")), {1704});
        view.setImageFile(doc);
    }
    QelEzImage view;
    QString doc;
};

// Only status Y with a template adds the cover sheet; a missing template is named by its trimmed
// path and leaves the document as it was.
TEST_F(CoverSheetTest, OnlyStatusYAddsACoverSheet)
{
    struct Row {
        const char *path, *status;
        int pages;
        const char *numPages;
        const char *box = nullptr; // the one box shown; the result is then no value
    } rows[] = {
        {"\\\\QHOST\\COVERS\\COVER.TIF", "Y", 4, "4"},
        {"\\\\QHOST\\COVERS\\COVER.TIF    ", "Y", 4, "4"},  // trailing blanks are trimmed
        {"\\\\QHOST\\COVERS\\COVER.TIF", "y", 3, "0003"},
        {"\\\\QHOST\\COVERS\\COVER.TIF", "N", 3, "0003"},
        {"", "Y", 3, "0003"},
        {"\\\\QHOST\\COVERS\\GONE.TIF  ", "Y", 3, "0003", "File Not Found: \\\\QHOST\\COVERS\\GONE.TIF"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.path) + "|" + r.status);
        msg->clear();
        writeTiff(doc, {1728, 1728, 1728});
        g_NumPages = QStringLiteral("0003");
        gsCoverPagePath = QString::fromLatin1(r.path);
        gsCoverPageStatus = QString::fromLatin1(r.status);
        const QVariant result = do_cover_sheet(view, doc);
        EXPECT_EQ(result, r.box ? QVariant() : QVariant(true));
        EXPECT_EQ(pagesIn(doc), r.pages);
        EXPECT_EQ(g_NumPages, QString::fromLatin1(r.numPages));
        EXPECT_FALSE(view.isHidden());
        EXPECT_EQ(prompts(), r.box ? r.box : "");
    }
}

TEST_F(CoverSheetTest, CoverPageComesFirstWithItsLines)
{
    writeTiff(share(QStringLiteral("COVERS/COVER.TIF")), {1000});
    // the document's pages are told apart by their heights
    QelEzImage maker;
    maker.appendPage(blankPage(1728, 200));
    maker.appendPage(blankPage(1728, 208));
    maker.setSaveFileName(doc);
    maker.save();
    gsCoverPagePath = QStringLiteral("\\\\QHOST\\COVERS\\COVER.TIF");
    gsCoverPageStatus = QStringLiteral("Y");
    g_CoverPageLines[0].Raw = QStringLiteral("01RECORDED ELECTRONICALLY");
    g_NumPages = QStringLiteral("2");
    ASSERT_EQ(do_cover_sheet(view, doc), QVariant(true)) << prompts();

    QelEzImage result;
    result.setImageFile(doc);
    ASSERT_EQ(result.pageCount(), 3);
    result.setPage(1);
    EXPECT_EQ(result.imageWidth(), 1000);
    EXPECT_GT(result.annotationCount(), 0);
    result.setPage(2);
    EXPECT_EQ(result.imageHeight(), 200);
    EXPECT_EQ(result.annotationCount(), 0);
    result.setPage(3);
    EXPECT_EQ(result.imageHeight(), 208);
    EXPECT_EQ(g_NumPages, "3");
    EXPECT_EQ(pagesIn(g_strTempPath + "temp2.tif"), 3);
}

} // namespace
