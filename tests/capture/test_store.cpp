// The document store against the records-host emulator: files on the share, registration,
// what follows a store, and what a failing store leaves behind.
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <memory>
#include <random>
#include <sys/statvfs.h>
#include <unistd.h>

#include "annotate/security.h"
#include "capture/efilestore.h"
#include "capture/frmStore.h"
#include "capture/paperstore.h"
#include "capture/request.h"
#include "capture/store.h"
#include "capture/storework.h"
#include "capture_env.h"
#include "tiffpages.h"
#include "core/reset.h"
#include "core/startup.h"
#include "core/state.h"
#include "hostsim/emulator.h"
#include "host/fhs.h"
#include "host/hostcall.h"
#include "host/im650r.h"
#include "host/im656r.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/tiffcodec.h"
#include "platform/settings/settings.h"
#include "support/scratchmount.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

QImage page(int width, int height)
{
    QImage img(width, height, QImage::Format_Mono);
    img.fill(1);
    img.setDotsPerMeterX(7874);
    img.setDotsPerMeterY(7874);
    return img;
}

template <class Base>
class StoreFixture : public StoreHostTest<Base> {
protected:
    using StoreHostTest<Base>::dir;
    using StoreHostTest<Base>::em;
    using StoreHostTest<Base>::msg;
    using StoreHostTest<Base>::script;

    void SetUp() override
    {
        StoreHostTest<Base>::SetUp();
        g_blnPromptStore = true;
    }

    // A scanned document of `pages` pages in both views, optionally with one item on the last
    // page whose type the annotation security may not remove; shown from the scan's working
    // file, or only in memory as the scanner hands it over.
    void loadDocument(int pages, bool annotate, bool inMemory = false, int width = 400)
    {
        QelEzImage &view = *frmMain().ezPageView;
        QelEzImage &tree = *frmMain().ezTreeView;
        view.clearImage();
        tree.clearImage();
        for (int i = 0; i < pages; ++i)
            view.appendPage(page(width + 8 * i + 3, 300)); // widths not byte-aligned
        if (!inMemory) {
            view.setSaveFileName(g_strTempPath + QStringLiteral("temp.tif"));
            view.save();
            view.clearImage();
            view.setImageFile(g_strTempPath + QStringLiteral("temp.tif"));
        }
        if (annotate) {
            view.setPage(pages);
            QelAnnotItem *item = view.createAnnotation(4); // a type the security handler gives no rights
            ASSERT_NE(item, nullptr);
            item->setBounds(QRect(10, 10, 40, 20));
            view.setPage(1);
        }
        tree.setImageHandle(view.imageHandle());
        frmMain().btnPrint->setEnabled(true);
        frmMain().btnRedact->setEnabled(true);
        g_blnTif = true;
    }

    QString scans(const QString &name = QString()) const
    {
        return dir.filePath(QStringLiteral("share/QHOST/KvTemp/Scans/")) + name;
    }

    QStringList scanFiles() const { return QDir(scans()).entryList(QDir::Files, QDir::Name); }

    // Registrations as "func file size pages" (with the program first when asked).
    QStringList registrations(bool withProgram = false) const
    {
        QStringList out;
        QSqlQuery q(em->db());
        q.exec(QStringLiteral("SELECT %1func, file, size, pages FROM registrations WHERE func = 'S' ORDER BY seq")
                   .arg(withProgram ? QStringLiteral("program || ' ' || ") : QString()));
        while (q.next())
            out << q.value(0).toString() + u' ' + q.value(1).toString() + u' ' + q.value(2).toString() + u' '
                       + q.value(3).toString();
        return out;
    }

    // After a store that failed: the document is back in both views as it was (the item on its
    // last page), still to be stored, held in a working file of the temp folder that is there;
    // nothing (more) registered, no file on the share under a final name and no temporary left.
    void expectDocumentBack(int pages, int registered = 0)
    {
        QelEzImage &view = *frmMain().ezPageView;
        EXPECT_EQ(view.pageCount(), pages);
        EXPECT_EQ(frmMain().ezTreeView->pageCount(), pages);
        if (view.pageCount() == pages) {
            view.setPage(pages);
            EXPECT_EQ(view.annotationCount(), 1);
        }
        const QString work = view.imageFile();
        EXPECT_TRUE(work.startsWith(g_strTempPath) && QFileInfo::exists(work)) << work.toStdString();
        EXPECT_FALSE(work.endsWith(QStringLiteral("storebackup.tif"))) << "the next store writes its copy there";
        for (const QString &open : openFilesBelow(g_strTempPath))
            EXPECT_FALSE(open.endsWith(QStringLiteral(" (deleted)"))) << open.toStdString();
        EXPECT_TRUE(g_blnPromptStore);
        EXPECT_TRUE(frmMain().btnStore->isEnabled());
        EXPECT_TRUE(frmMain().btnPrint->isEnabled() && frmMain().btnRedact->isEnabled());
        EXPECT_EQ(registrations().size(), registered);
        EXPECT_EQ(QDir(scans()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The one image stored below the images tree: its pages.
    int storedPages() const
    {
        QStringList found;
        QDirIterator it(dir.filePath(QStringLiteral("share/QHOST/IMAGES")), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        if (found.size() != 1)
            return -found.size();
        return tiffinfoPages(found.first());
    }

    // Files below folder that this process holds open (deleted ones too).
    static QStringList openFilesBelow(const QString &folder)
    {
        QStringList out;
        const QString root = QFileInfo(folder).canonicalFilePath() + u'/';
        for (const QString &fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::Files)) {
            char target[4096];
            const ssize_t n = ::readlink(QFile::encodeName(QStringLiteral("/proc/self/fd/") + fd).constData(), target,
                                         sizeof target - 1);
            if (n > 0 && QString::fromLocal8Bit(target, n).startsWith(root))
                out << QString::fromLocal8Bit(target, n);
        }
        return out;
    }

    // A second store, once what made the first one fail is mended, stores the whole document.
    void expectSecondStoreStoresItWhole(int pages)
    {
        msg->clear();
        EXPECT_TRUE(do_store_manual(false));
        EXPECT_TRUE(msg->calls().isEmpty()) << msg->calls().value(0).prompt.toStdString();
        ASSERT_EQ(registrations().size(), 1);
        EXPECT_TRUE(registrations().first().endsWith(QStringLiteral(" %1").arg(pages, 4, 10, QLatin1Char('0'))));
        EXPECT_EQ(storedPages(), pages);
        EXPECT_EQ(g_intAnnotCount, 1);
        EXPECT_EQ(scanFiles(), QStringList{QStringLiteral("SCAN-PC 01.A")});
        EXPECT_FALSE(g_blnPromptStore);
    }

    QString storedImagePath(const QString &imid) const
    {
        return dir.filePath(QStringLiteral("share/QHOST/IMAGES/IMG%1/%2").arg(QDate::currentDate().year()).arg(imid));
    }
};

using StoreTest = StoreFixture<::testing::Test>;

TEST(StoreNames, BaseNameIsFirstTenCharactersUpperCaseTrimmed)
{
    const struct {
        const char *computer;
        const char *base;
    } cases[] = {
        {"scan-pc 01", "SCAN-PC 01"},
        {"workstation01", "WORKSTATIO"},
        {" pc7       extra", "PC7"},
        {"ab", "AB"},
    };
    for (const auto &c : cases) {
        computername = QString::fromLatin1(c.computer);
        EXPECT_EQ(storeBaseName(), QString::fromLatin1(c.base)) << c.computer;
    }
    computername.clear();
}

TEST(StoreNames, CollisionNamesShareOneCounter)
{
    QTemporaryDir share;
    ASSERT_TRUE(share.isValid());
    qputenv("QUORLA_SHARE_ROOT", share.path().toLocal8Bit());
    QDir(share.path()).mkpath(QStringLiteral("QHOST/KvTemp/Scans"));
    const QString folder = storeFolderPath(QStringLiteral("QHOST"));
    EXPECT_EQ(folder, QStringLiteral("\\\\QHOST\\KvTemp\\Scans\\"));
    const auto touch = [&](const char *name) {
        QFile f(share.filePath(QStringLiteral("QHOST/KvTemp/Scans/")) + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };

    qint32 counter = 1;
    EXPECT_EQ(freeStoreName(folder, QStringLiteral("SCAN-PC 01.T"), QStringLiteral(".T"), counter), "SCAN-PC 01.T");
    EXPECT_EQ(counter, 1);

    touch("SCAN-PC 01.T");
    EXPECT_EQ(freeStoreName(folder, QStringLiteral("SCAN-PC 01.T"), QStringLiteral(".T"), counter), "SCAN-PC001.T");
    EXPECT_EQ(counter, 2);

    touch("SCAN-PC001.T");
    counter = 1;
    EXPECT_EQ(freeStoreName(folder, QStringLiteral("SCAN-PC 01.T"), QStringLiteral(".T"), counter), "SCAN-PC002.T");
    // The annotation name goes on from the image's counter and ends ".ANN".
    touch("SCAN-PC 01.A");
    EXPECT_EQ(freeStoreName(folder, QStringLiteral("SCAN-PC 01.A"), QStringLiteral(".ANN"), counter),
              "SCAN-PC003.ANN");
    qunsetenv("QUORLA_SHARE_ROOT");
}

TEST_F(StoreTest, PaperStoreWritesRegistersAndTheLookupFindsIt)
{
    loadDocument(2, true);
    // A stale file of the base name is replaced, not collided with.
    QFile stale(scans(QStringLiteral("SCAN-PC 01.T")));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old");
    stale.close();
    // Page 1 turned a quarter and page 2 redacted: still one decode a page for the whole store.
    QelEzImage &view = *frmMain().ezPageView;
    view.setRotation(-1);
    view.setPage(2);
    view.createAnnotation(QelAnnotType::Redaction)->setBounds(QRect(5, 5, 30, 20));
    view.setPage(1);
    const qint64 decodes = tiffcodec::decodeCount();

    EXPECT_TRUE(do_store_manual(false));
    EXPECT_EQ(tiffcodec::decodeCount() - decodes, 2);

    EXPECT_TRUE(msg->calls().isEmpty()) << msg->calls().value(0).prompt.toStdString();
    EXPECT_FALSE(g_blnPromptStore);
    EXPECT_EQ(g_intAnnotCount, 1);
    // The image went into the images tree; the annotation file stays in the store folder.
    EXPECT_EQ(scanFiles(), QStringList{QStringLiteral("SCAN-PC 01.A")});
    const QFileInfo temp2(g_strTempPath + QStringLiteral("temp2.tif"));
    ASSERT_EQ(registrations().size(), 1);
    EXPECT_EQ(registrations().first(),
              QStringLiteral("S SCAN-PC 01.T %1 0002").arg(temp2.size(), 9, 10, QLatin1Char('0')));
    // Both views are empty and no parked annotation file is left.
    EXPECT_FALSE(frmMain().ezPageView->hasImage());
    EXPECT_FALSE(frmMain().ezTreeView->hasImage());
    EXPECT_FALSE(QFileInfo::exists(g_strTempPath + QStringLiteral("Quorla.ann2")));

    // A later lookup finds the stored image with its page count.
    AdoConnection conn;
    openHostConnection(conn);
    ASSERT_TRUE(IM650R(conn, QStringLiteral("A"), QString(), QString(), QString()));
    EXPECT_EQ(g_NumPages, QStringLiteral("0002"));
    ASSERT_FALSE(g_ImID.trimmed().isEmpty());

    // The stored image is byte-aligned and carries the item once, on its page.
    QelEzImage check;
    check.setImageFile(storedImagePath(g_ImID.trimmed()));
    ASSERT_EQ(check.pageCount(), 2);
    for (int p = 1; p <= 2; ++p) {
        check.setPage(p);
        EXPECT_EQ(check.imageWidth() % 8, 0) << p;
        EXPECT_EQ(check.annotationCount(), p == 2 ? 1 : 0) << p;
    }
}

TEST_F(StoreTest, ReadOnlyShareFailsTheStoreAndKeepsTheDocument)
{
    loadDocument(3, true);
    frmMain().btnStore->setEnabled(true);
    {
        // A read-only file system over the store folder; where mounting is refused, a file
        // standing where the folder should be.
        ScratchMount readOnly(scans(), 1 << 20, true);
        if (!readOnly.ok()) {
            ASSERT_TRUE(QDir(scans()).removeRecursively());
            QFile blocker(scans().chopped(1));
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        EXPECT_FALSE(do_store_manual(false));
        ASSERT_FALSE(msg->calls().isEmpty());
        EXPECT_TRUE(msg->calls().last().prompt.startsWith(QStringLiteral("Error in do_store_manual")));
        expectDocumentBack(3);
        if (!readOnly.ok()) {
            ASSERT_TRUE(QFile::remove(scans().chopped(1)));
            ASSERT_TRUE(QDir().mkpath(scans()));
        }
    }
    expectSecondStoreStoresItWhole(3);
}

TEST_F(StoreTest, FullShareFailsTheStoreWithoutAHalfWrittenFile)
{
    loadDocument(3, true);
    frmMain().btnStore->setEnabled(true);
    ScratchMount full(scans(), 64 * 1024, false, [](const QString &folder) {
        QFile filler(folder + QStringLiteral("/.filler"));
        if (filler.open(QIODevice::WriteOnly))
            while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
            }
    });
    if (!full.ok())
        GTEST_SKIP() << full.why().toStdString();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        msg->clear();
        EXPECT_FALSE(do_store_manual(false));
        ASSERT_FALSE(msg->calls().isEmpty());
        EXPECT_TRUE(msg->calls().last().prompt.contains(QStringLiteral("\r\n61: Disk full: ")))
            << msg->calls().last().prompt.toStdString();
        // The failed copy's temporary file is closed and gone, so its blocks are free again.
        EXPECT_EQ(openFilesBelow(dir.filePath(QStringLiteral("share"))), QStringList()) << attempt;
    }
    ASSERT_TRUE(QFile::remove(scans(QStringLiteral(".filler"))));
    expectDocumentBack(3);
    expectSecondStoreStoresItWhole(3);
}

TEST_F(StoreTest, FullTempFolderFailsTheStoreAndGivesTheDocumentBack)
{
    ScratchMount small(dir.filePath(QStringLiteral("temp")), 4 << 20);
    if (!small.ok())
        GTEST_SKIP() << small.why().toStdString();
    loadDocument(3, true);
    frmMain().btnStore->setEnabled(true);
    qint64 copy = 0;
    {
        StoreRollback probe(*frmMain().ezPageView, *frmMain().ezTreeView);
        probe.release();
        copy = QFileInfo(g_strTempPath + QStringLiteral("storebackup.tif")).size();
    }
    ASSERT_GT(copy, 0);
    // Each step of the store that writes meets the full folder in turn: first room for the
    // store's own copy of the document only, then a page more each time until the store gets
    // through. Every failed store gives the document back and keeps no copy.
    const QString filler = g_strTempPath + QStringLiteral("filler");
    bool stored = false;
    int failures = 0;
    for (qint64 keep = (copy / 4096 + 1) * 4096; !stored && keep < (4 << 20); keep += 4096) {
        SCOPED_TRACE(keep);
        {
            QFile f(filler);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            struct statvfs fs {};
            ASSERT_EQ(::statvfs(QFile::encodeName(g_strTempPath).constData(), &fs), 0);
            const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
            if (free > keep)
                ASSERT_EQ(f.write(QByteArray(free - keep, 'f')), free - keep);
        }
        msg->clear();
        stored = do_store_manual(false);
        ASSERT_TRUE(QFile::remove(filler));
        if (stored)
            break;
        ++failures;
        for (const MsgBoxCall &c : msg->calls())
            EXPECT_FALSE(c.prompt.contains(QStringLiteral("StoreRollback"))) << c.prompt.toStdString();
        expectDocumentBack(3);
        EXPECT_FALSE(QFileInfo::exists(g_strTempPath + QStringLiteral("storebackup.tif")));
        if (HasFailure())
            return;
    }
    EXPECT_GT(failures, 0);
    ASSERT_TRUE(stored);
    EXPECT_EQ(storedPages(), 3);
}

TEST_F(StoreTest, FailedAnnotationMergeFailsTheStore)
{
    loadDocument(2, true);
    frmMain().btnStore->setEnabled(true);
    // Something handled between two merge ticks empties the page view under the merge.
    QObject context;
    QObject::connect(frmMain().tmrAnnotationMerge, &QTimer::timeout, &context, [&context] {
        MsgBoxScript quiet;
        frmMain().ezPageView->clearImage();
        QObject::disconnect(frmMain().tmrAnnotationMerge, nullptr, &context, nullptr);
    });
    EXPECT_FALSE(do_store_manual(false));
    ASSERT_EQ(msg->calls().size(), 1);
    EXPECT_TRUE(msg->calls().first().prompt.startsWith(QStringLiteral("Error in tmrAnnotationMerge_Timer")));
    expectDocumentBack(2);
    expectSecondStoreStoresItWhole(2);
}

// A document of a billion bytes or more does not fit the host's nine-digit size field: it is
// refused with words the operator understands before anything reaches the share, and the pages
// stay in the view. Grey pages of noise that LZW cannot shrink, the first page's strips written
// again for each further page, make such a file in seconds.
TEST_F(StoreTest, ADocumentTooLargeForTheHostIsRefusedBeforeAnythingIsStored)
{
    const QString big = g_strTempPath + QStringLiteral("temp.tif");
    int pages = 0;
    {
        TIFF *t = TIFFOpen(QFile::encodeName(big).constData(), "w8");
        ASSERT_NE(t, nullptr);
        const uint32_t side = 4096, rows = 256;
        std::mt19937 noise(7);
        std::vector<std::vector<uchar>> strips;
        qint64 bytes = 0;
        while (bytes < 1000000000) {
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, side);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, side);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows);
            TIFFSetField(t, TIFFTAG_XRESOLUTION, 200.0);
            TIFFSetField(t, TIFFTAG_YRESOLUTION, 200.0);
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
            if (strips.empty()) {
                std::vector<uchar> row(side);
                for (uint32_t y = 0; y < side; ++y) {
                    for (uchar &px : row)
                        px = uchar(noise());
                    ASSERT_EQ(TIFFWriteScanline(t, row.data(), y, 0), 1);
                }
                ASSERT_TRUE(TIFFWriteDirectory(t));
                // The strips as written, to be written again as they are.
                TIFF *r = TIFFOpen(QFile::encodeName(big).constData(), "r");
                ASSERT_NE(r, nullptr);
                for (tstrip_t s = 0; s < TIFFNumberOfStrips(r); ++s) {
                    std::vector<uchar> raw(size_t(TIFFRawStripSize(r, s)));
                    ASSERT_GT(TIFFReadRawStrip(r, s, raw.data(), tmsize_t(raw.size())), 0);
                    bytes += qint64(raw.size());
                    strips.push_back(std::move(raw));
                }
                TIFFClose(r);
            } else {
                for (size_t s = 0; s < strips.size(); ++s) {
                    ASSERT_GT(TIFFWriteRawStrip(t, tstrip_t(s), strips[s].data(), tmsize_t(strips[s].size())), 0);
                    bytes += qint64(strips[s].size());
                }
                ASSERT_TRUE(TIFFWriteDirectory(t));
            }
            ++pages;
        }
        TIFFClose(t);
    }
    ASSERT_GE(QFileInfo(big).size(), 1000000000);
    for (const bool eFiled : {false, true}) {
        SCOPED_TRACE(eFiled ? "e-filed" : "paper");
        if (eFiled)
            ASSERT_TRUE(fetchEFiledDocument(*em));
        QelEzImage &view = *frmMain().ezPageView;
        view.clearImage();
        view.setImageFile(big);
        frmMain().ezTreeView->setImageHandle(view.imageHandle());
        frmMain().btnStore->setEnabled(true);
        g_blnPromptStore = true;
        msg->clear();

        EXPECT_FALSE(do_store(true));
        ASSERT_FALSE(msg->calls().isEmpty());
        EXPECT_TRUE(msg->calls().last().prompt.startsWith(QStringLiteral("This document is too large for the records host")))
            << msg->calls().last().prompt.toStdString();
        EXPECT_TRUE(registrations().isEmpty());
        EXPECT_EQ(QDir(scans()).entryList(QDir::Files | QDir::Hidden), QStringList());
        EXPECT_EQ(view.pageCount(), pages) << "the pages stay";
        EXPECT_TRUE(frmMain().btnStore->isEnabled());
        EXPECT_TRUE(g_blnPromptStore);
    }
}

TEST_F(StoreTest, PageCountMismatchRefusedLeavesTheDocument)
{
    loadDocument(2, true);
    g_NumPages = QStringLiteral("0003");
    msg->answer(vb::vbNo);
    EXPECT_FALSE(do_store_manual(false));
    ASSERT_EQ(msg->calls().size(), 1);
    EXPECT_EQ(msg->calls().first().title, QStringLiteral("Note:"));
    EXPECT_EQ(msg->calls().first().buttonSet(), vb::vbYesNo);
    EXPECT_TRUE(scanFiles().isEmpty());
    EXPECT_EQ(frmMain().ezPageView->pageCount(), 2);
    frmMain().ezPageView->setPage(2);
    EXPECT_EQ(frmMain().ezPageView->annotationCount(), 1);
}

TEST_F(StoreTest, UnindexedStoreResetsTheWorkspace)
{
    loadDocument(1, false);
    g_dbMode = MODE_MARG;
    g_blnScanUnIndexDocs = true;
    g_DocId.clear();
    frmMain().btnGoNew->setText(QStringLiteral("Rest&art"));
    EXPECT_TRUE(do_store(true));
    ASSERT_EQ(registrations().size(), 1);
    EXPECT_EQ(frmMain().btnGoNew->text(), QStringLiteral("St&art"));
    EXPECT_FALSE(g_blnPromptStore);
}

TEST_F(StoreTest, SaveInBarcodeModeAnsweredNoDoesNothing)
{
    loadDocument(1, false);
    g_dbMode = MODE_NYBR;
    msg->answer(vb::vbNo);
    const QVariant r = do_save();
    EXPECT_FALSE(r.isValid());
    EXPECT_FALSE(r.toBool());
    ASSERT_EQ(msg->calls().size(), 1);
    EXPECT_EQ(msg->calls().first().title, QStringLiteral("Wait..."));
    EXPECT_TRUE(script->calls().isEmpty());
    EXPECT_TRUE(registrations().isEmpty());
}

TEST_F(StoreTest, SaveInBatchStoresWithoutTheWindow)
{
    loadDocument(1, false);
    g_blnIsBatch = true;
    const QVariant r = do_save();
    EXPECT_TRUE(r.toBool());
    EXPECT_TRUE(script->calls().isEmpty());
    EXPECT_EQ(registrations().size(), 1);
}

TEST_F(StoreTest, StoreWindowRunsTheStoreOnceAndKeepsItsResult)
{
    loadDocument(1, false);
    g_DocId = QStringLiteral("NOSUCHDOC"); // the registration fails
    g_blnStoreReturnValue = true;          // left by an earlier store
    const QVariant r = do_save();
    EXPECT_TRUE(r.isValid());
    EXPECT_FALSE(r.toBool());
    EXPECT_FALSE(g_blnStoreReturnValue);
    ASSERT_EQ(script->calls().size(), 1);
    EXPECT_EQ(script->calls().first().form, QStringLiteral("frmStore"));
    EXPECT_EQ(script->calls().first().owner, QStringLiteral("frmMain"));
    EXPECT_EQ(msg->calls().size(), 1); // one store, one host refusal

    // A second focus of a window that has stored does not store again.
    FrmStore &w = frmStore();
    w.Form_GotFocus();
    const int boxes = int(msg->calls().size());
    w.Form_GotFocus();
    EXPECT_EQ(int(msg->calls().size()), boxes);
}

TEST_F(StoreTest, StoreWindowClosedFromItsFrameKeepsItsModalStateUntilTheStoreEnds)
{
    loadDocument(3, true);
    int tries = 0;
    bool stayed = false;
    // The operator closes the window at the store's first yield.
    QTimer::singleShot(0, [&] {
        FrmStore &w = frmStore();
        ++tries;
        w.close();
        stayed = w.isLoaded() && w.isShownModal() && w.roadRunning();
    });
    const QVariant r = do_save();
    EXPECT_EQ(tries, 1);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(r.toBool());
    for (const MsgBoxCall &c : msg->calls())
        EXPECT_FALSE(c.prompt.startsWith(QStringLiteral("Error in"))) << c.prompt.toStdString();
    const QStringList regs = registrations();
    ASSERT_EQ(regs.size(), 1);
    EXPECT_TRUE(regs[0].endsWith(QStringLiteral(" 0003"))) << regs[0].toStdString();
    for (Form *form : Forms())
        EXPECT_NE(form->objectName(), QStringLiteral("frmStore")) << "the window goes once the store is over";
}

TEST_F(StoreTest, EFiledStoreOntoAShareThatRefusesKeepsTheDocument)
{
    // The burned image's folder is missing: the third copy fails after two went to the share.
    ASSERT_TRUE(fetchEFiledDocument(*em, QStringLiteral("\\\\QHOST\\NOFOLDER\\E0004.TIF")));
    loadDocument(2, true);
    frmMain().btnStore->setEnabled(true);
    EXPECT_FALSE(do_store_electronic(true));
    ASSERT_FALSE(msg->calls().isEmpty());
    EXPECT_TRUE(msg->calls().last().prompt.startsWith(QStringLiteral("Error in do_store_electronic")));
    expectDocumentBack(2);
}

TEST_F(StoreTest, EFiledStoreWritesNothingOutsideTheShareRoot)
{
    // A file beside the share root that a burned-image path from the host names.
    const QString outside = dir.filePath(QStringLiteral("outside.tif"));
    const char *paths[] = {"%1", "\\\\QHOST\\KvTemp\\..\\..\\..\\outside.tif", "C:%1", "//QHOST/../outside.tif"};
    for (const char *form : paths) {
        const QString path = QString::fromLatin1(form).arg(outside);
        SCOPED_TRACE(path.toStdString());
        {
            QFile f(outside);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("not the store's");
        }
        ASSERT_TRUE(fetchEFiledDocument(*em, path));
        loadDocument(2, true);
        frmMain().btnStore->setEnabled(true);
        msg->clear();
        EXPECT_FALSE(do_store_electronic(true));
        ASSERT_FALSE(msg->calls().isEmpty());
        EXPECT_TRUE(msg->calls().last().prompt.contains(QStringLiteral("52: Not a path on a host share")))
            << msg->calls().last().prompt.toStdString();
        QFile f(outside);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("not the store's"));
        QStringList beside = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        beside.removeIf([](const QString &n) { return n.startsWith(QStringLiteral("host.sqlite")); });
        EXPECT_EQ(beside, QStringList{QStringLiteral("outside.tif")});
        expectDocumentBack(2);
    }
}

TEST_F(StoreTest, CertificateStoreWithoutShowNextResetsTheWorkspace)
{
    loadDocument(1, false);
    em->runScript(QStringLiteral("INSERT INTO certificates(doc_num, cert_num) VALUES('0000100', '0001');\n"));
    g_dbMode = MODE_MACC;
    g_DocNum = QStringLiteral("0000100");
    g_CertNum = QStringLiteral("0001");
    frmMain().chkShowNext_MACC->setChecked(false);
    const int resets = resetCount();
    EXPECT_TRUE(do_store_manual(true));
    ASSERT_EQ(registrations(true).size(), 1);
    EXPECT_TRUE(registrations(true).first().startsWith(QStringLiteral("IM655R S SCAN-PC 01.T ")));
    EXPECT_EQ(resetCount(), resets + 1);
    EXPECT_FALSE(g_blnPromptStore);
}

TEST_F(StoreTest, ReferenceModeStoresUnderTheHostFileNameWithoutAnnotationFile)
{
    loadDocument(1, true);
    em->runScript(QStringLiteral(
        "UPDATE documents SET db = 'FH', ref_code = 'WI', ref_num = '0005000000', filename = 'FH0123.TIF';\n"));
    g_dbMode = MODE_FHS;
    g_RefCode = QStringLiteral("WI");
    g_RefNum = QStringLiteral("0005000000");
    AdoConnection conn;
    openHostConnection(conn);
    ASSERT_TRUE(FHS_FH631RI(QStringLiteral("A"), conn, QStringLiteral("QHOST")));
    EXPECT_EQ(g_Filename, QStringLiteral("FH0123.TIF  ")); // as the host returns it
    EXPECT_TRUE(do_store_manual(false));
    ASSERT_EQ(registrations().size(), 1);
    EXPECT_TRUE(registrations().first().startsWith(QStringLiteral("S FH0123.TIF ")));
    EXPECT_TRUE(scanFiles().isEmpty()); // the image moved on, no annotation file was written
}

TEST_F(StoreTest, BatchStoreWithoutProgressWindowSkipsThePageCheck)
{
    loadDocument(1, false);
    g_blnIsBatch = true;
    g_NumPages = QStringLiteral("0003");
    EXPECT_TRUE(do_store_manual(false));
    EXPECT_TRUE(msg->calls().isEmpty());
    EXPECT_EQ(registrations().size(), 1);
}

TEST_F(StoreTest, FocusArrivingWhileTheWindowStoresDoesNotStoreAgain)
{
    loadDocument(1, false);
    g_blnLoggedIn = false;
    int nested = 0;
    // The sign-on dialog of the store closes, and the store window gets the focus back.
    script->onShow(QStringLiteral("frmLogin"), [&](Form &) {
        ++nested;
        g_blnLoggedIn = true;
        frmStore().Form_GotFocus();
    });
    const QVariant r = do_save();
    EXPECT_TRUE(r.toBool());
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(registrations().size(), 1);
}

TEST_F(StoreTest, EFiledStoreRegistersThePageTreeCount)
{
    ASSERT_TRUE(fetchEFiledDocument(*em));
    loadDocument(2, false);
    // The tree shows a three-page document while the page view holds two pages.
    QelEzImage &tree = *frmMain().ezTreeView;
    tree.clearImage();
    for (int i = 0; i < 3; ++i)
        tree.appendPage(page(200, 100));
    do_store_electronic(false);
    ASSERT_EQ(registrations().size(), 2);
    EXPECT_TRUE(registrations().first().endsWith(QStringLiteral(" 0003")));
    EXPECT_EQ(g_intAnnotCount, 0);
}

// The error report's line is the step reached: each trap passes every step of its road.
TEST_F(StoreTest, TrapsPassEveryStepOfTheirRoad)
{
    auto fake = std::make_unique<FakeScanner>();
    fake->setSettingsFolder(dir.path());
    setScannerSession(std::move(fake));
    scannerSession().setScannerOpen(true);
    loadDocument(2, true);
    AdoConnection conn;
    openHostConnection(conn);
    QelAnnotDocument doc;
    const auto steps = [](int from, int to, std::vector<int> more = {}) {
        std::vector<int> v;
        for (int i = from; i <= to; ++i)
            v.push_back(i);
        v.insert(v.end(), more.begin(), more.end());
        return v;
    };
    struct Row {
        const char *procedure;
        std::function<void()> run;
        std::vector<int> lines;
    };
    const Row rows[] = {
        {"InitPerm", [&] { InitPerm(&doc, 7); }, steps(1, 3)},
        {"resizeElements", [] { resizeElements(); }, steps(1, 15)},
        {"initScanner", [] { initScanner(); }, steps(1, 6)},
        {"IM656R", [&] { IM656R(conn); }, steps(1, 8)},
        // the free names of steps 23 and 26 are found as the files are copied (25, 27)
        {"do_store_manual", [] { do_store_manual(false); }, steps(1, 22, {24, 25, 27, 28, 29})},
        // a document the host does not know: the failure path of step 14
        {"run_program", [] { run_program(QStringLiteral("A")); }, steps(1, 7, {14})},
    };
    for (const Row &row : rows) {
        TrapLog log;
        row.run();
        EXPECT_EQ(log.lines, row.lines) << row.procedure;
    }
    EXPECT_EQ(registrations().size(), 1);
}

} // namespace
