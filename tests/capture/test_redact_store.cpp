// Redaction through the roads an operator takes (editor, crop, store, restart, close): the
// covered content is gone from the stored file, decoded with libtiff, and from every file left
// in the temp folder and on the share; the rest of the page is unchanged.
#include <QDate>
#include <QDirIterator>
#include <QFileInfo>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "annotate/frmImageRedaction.h"
#include "annotate/imprint.h"
#include "annotate/imprintstate.h"
#include "capture/paperstore.h"
#include "capture/printredact.h"
#include "capture/efilestore.h"
#include "capture/store.h"
#include "capture_env.h"
#include "tiffpages.h"
#include "core/errors.h"
#include "core/recovery.h"
#include "core/reset.h"
#include "core/shutdown.h"
#include "core/state.h"
#include "hostsim/emulator.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/settings/settings.h"
#include "ui/frmMain.h"

namespace {

enum class Kind { Bilevel, Grey, Colour };

const QRect kCovered(100, 100, 100, 100);   // black, under the redaction
const QRect kUncovered(300, 100, 50, 50);   // black, left alone
const QRect kRedaction(90, 90, 120, 120);
const QRect kCropRegion(120, 60, 300, 200); // keeps part of the covered block and all of the other

QImage makePage(Kind kind)
{
    QImage img(480, 320, QImage::Format_RGB888);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.fillRect(kCovered, Qt::black);
        p.fillRect(kUncovered, Qt::black);
    }
    switch (kind) {
    case Kind::Bilevel:
        img = img.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        break;
    case Kind::Grey:
        img = img.convertToFormat(QImage::Format_Grayscale8);
        break;
    case Kind::Colour:
        break;
    }
    img.setDotsPerMeterX(7874);
    img.setDotsPerMeterY(7874);
    return img;
}

class RedactStoreTest : public StoreHostTest<::testing::TestWithParam<Kind>> {
protected:
    void SetUp() override
    {
        StoreHostTest::SetUp();
        QDir(dir.path()).mkpath(QStringLiteral("share/QHOST/BURNED"));
        g_blnTif = true;
    }

    // The scanned document in both views, shown from the scan's working file.
    void loadDocument(int pages)
    {
        QelEzImage &view = *frmMain().ezPageView;
        view.clearImage();
        frmMain().ezTreeView->clearImage();
        for (int i = 0; i < pages; ++i)
            view.appendPage(makePage(GetParam()));
        view.setSaveFileName(g_strTempPath + QStringLiteral("temp.tif"));
        view.save();
        view.clearImage();
        view.setImageFile(g_strTempPath + QStringLiteral("temp.tif"));
        frmMain().ezTreeView->setImageHandle(view.imageHandle());
        g_blnPromptStore = true;
    }

    // The editor's steps, in the order given, then its own exit with Yes to the save question.
    enum Step { Redact, RedactAfterCrop, Crop };
    void redactRoad(std::initializer_list<Step> steps)
    {
        const std::vector<Step> todo(steps);
        script->onShow(QStringLiteral("frmImageRedaction"), [this, todo](Form &f) {
            auto &ed = static_cast<FrmImageRedaction &>(f);
            QelEzImage &view = *ed.QelEzImage2;
            for (Step s : todo) {
                view.setPage(1);
                if (s == Crop) {
                    view.addRegion(kCropRegion);
                    ed.QelEzImage2_RegionChange(1);
                    msg->answer(vb::vbYes);
                    ed.btnCrop->click();
                    continue;
                }
                QelAnnotItem *item = view.createAnnotation(QelAnnotType::Redaction);
                ASSERT_NE(item, nullptr);
                // White, so that what shows through can be counted as dark pixels.
                ASSERT_TRUE(item->setFillColor(0xFFFFFF));
                ASSERT_TRUE(item->setBounds(s == Redact ? kRedaction
                                                        : kRedaction.translated(-kCropRegion.topLeft())));
            }
            msg->answer(vb::vbYes);
            ed.mnuRedactionExit->trigger();
        });
        ASSERT_TRUE(do_redact_button_click(*frmMain().ezPageView, *frmMain().ezTreeView));
        ASSERT_EQ(gsRedactCropped, QStringLiteral("Y"));
    }

    QString storedImage() const
    {
        QDirIterator it(dir.filePath(QStringLiteral("share/QHOST/IMAGES")), QDir::Files,
                        QDirIterator::Subdirectories);
        return it.hasNext() ? it.next() : QString();
    }

    // Files of the temp folder, the share and the kept documents that still show the covered
    // block.
    QStringList leaks() const
    {
        QStringList out;
        for (const QString &folder : {QStringLiteral("temp"), QStringLiteral("share"), QStringLiteral("data")}) {
            QDirIterator it(dir.filePath(folder), QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString file = it.next();
                for (const Page &p : decodeTiff(file))
                    if (p.darkSquare(60))
                        out << QFileInfo(file).fileName();
            }
        }
        return out;
    }

};

std::string kindName(const ::testing::TestParamInfo<Kind> &info)
{
    switch (info.param) {
    case Kind::Bilevel:
        return "Bilevel";
    case Kind::Grey:
        return "Grey";
    case Kind::Colour:
        return "Colour";
    }
    return "Unknown";
}

TEST_P(RedactStoreTest, RedactedThenStoredOnPaperLeavesNoCoveredPixels)
{
    loadDocument(1);
    redactRoad({Redact});
    EXPECT_TRUE(leaks().contains(QStringLiteral("temp.tif"))) << "the redaction is burned at the store";
    ASSERT_TRUE(do_store_manual(false));
    const std::vector<Page> stored = decodeTiff(storedImage());
    ASSERT_EQ(stored.size(), 1u) << storedImage().toStdString();
    EXPECT_EQ(stored[0].darkIn(kRedaction), 0);
    EXPECT_EQ(stored[0].darkIn(kUncovered), kUncovered.width() * kUncovered.height());
    EXPECT_EQ(stored[0].darkIn(QRect(0, 0, 480, 320)), kUncovered.width() * kUncovered.height());
    EXPECT_EQ(leaks(), QStringList());
}

TEST_P(RedactStoreTest, RedactedThenStoredElectronicallyLeavesNoCoveredPixels)
{
    ASSERT_TRUE(fetchEFiledDocument(*em));
    loadDocument(1);
    redactRoad({Redact});
    EXPECT_TRUE(do_store(true));
    const std::vector<Page> stored =
        decodeTiff(dir.filePath(QStringLiteral("share/QHOST/EFILE/BURNED/0000000002.TIF")));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].darkIn(kRedaction), 0);
    EXPECT_EQ(stored[0].darkIn(QRect(0, 0, 480, 320)), kUncovered.width() * kUncovered.height());
    EXPECT_EQ(leaks(), QStringList());
}

TEST_P(RedactStoreTest, ARefusedElectronicStoreGivesTheRedactionBackOnThePageThatWasCurrent)
{
    ASSERT_TRUE(fetchEFiledDocument(*em));
    loadDocument(2);
    redactRoad({Redact});
    QelEzImage &view = *frmMain().ezPageView;
    view.setPage(1);
    const int items = view.annotationCount();
    ASSERT_GT(items, 0);
    hostsim::Fault refusal;
    refusal.kind = hostsim::FaultKind::ScriptedAnswer;
    refusal.program = QStringLiteral("IM650R");
    refusal.answer.insert(QStringLiteral("ErrMsg"), QStringLiteral("STORE AREA LOCKED"));
    em->addFault(refusal);
    EXPECT_FALSE(do_store_electronic(true));
    EXPECT_EQ(view.pageCount(), 2);
    EXPECT_EQ(view.page(), 1);
    EXPECT_EQ(view.annotationCount(), items) << "the redaction is an item again, not burned";
}

TEST_P(RedactStoreTest, AStoreKilledMidwayLeavesNothingCoveredOnceTheProgramStartsAgain)
{
    loadDocument(1);
    redactRoad({Redact});
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The store runs up to its annotation merge; there the process is killed.
        ::close(ready[0]);
        QObject::connect(frmMain().tmrAnnotationMerge, &QTimer::timeout, [&] {
            if (::write(ready[1], "m", 1) == 1)
                for (;;)
                    ::pause();
            ::_exit(1);
        });
        do_store_manual(false);
        ::_exit(1);
    }
    ::close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    char reached = 0;
    if (::poll(&wait, 1, 30000) == 1 && ::read(ready[0], &reached, 1) != 1)
        reached = 0;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ASSERT_EQ(reached, 'm');
    EXPECT_TRUE(leaks().contains(QStringLiteral("storebackup.tif")));
    new_bkPg(true, false); // the reset that starts the program
    EXPECT_EQ(leaks(), QStringList());
}

TEST_P(RedactStoreTest, CropKeepsTheRedactionOverWhatItCovered)
{
    // redact -> crop -> store, and crop -> redact -> store: the kept page shows the uncovered
    // block at its new place and nothing of the covered one.
    const QRect uncoveredAfter = kUncovered.translated(-kCropRegion.topLeft());
    const QRect coveredAfter = kCovered.intersected(kCropRegion).translated(-kCropRegion.topLeft());
    for (bool cropFirst : {false, true}) {
        SCOPED_TRACE(cropFirst ? "crop, then redact" : "redact, then crop");
        loadDocument(1);
        if (cropFirst)
            redactRoad({Crop, RedactAfterCrop});
        else
            redactRoad({Redact, Crop});
        ASSERT_TRUE(do_store_manual(false));
        const QString image = storedImage();
        const std::vector<Page> stored = decodeTiff(image);
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_GE(stored[0].width, kCropRegion.width());
        EXPECT_LT(stored[0].width, kCropRegion.width() + 8);
        EXPECT_EQ(stored[0].darkIn(coveredAfter), 0);
        EXPECT_EQ(stored[0].darkIn(uncoveredAfter), uncoveredAfter.width() * uncoveredAfter.height());
        EXPECT_EQ(stored[0].darkIn(QRect(0, 0, stored[0].width, stored[0].height)),
                  uncoveredAfter.width() * uncoveredAfter.height());
        EXPECT_EQ(leaks(), QStringList());
        QFile::remove(image);
    }
}

TEST_P(RedactStoreTest, RestartCloseAndKeepLeaveNoCoveredPixels)
{
    loadDocument(1);
    redactRoad({Redact});
    EXPECT_FALSE(leaks().isEmpty());
    frmMain().btnGoNew->setText(QStringLiteral("Re&start"));
    frmMain().btnGoNew->setEnabled(true); // an e-filed store before may have left it off
    msg->answer(vb::vbYes); // lose the unstored document
    frmMain().btnGoNew->click();
    EXPECT_EQ(leaks(), QStringList());

    // Ended from outside: the pages are kept for the next start with the redaction burned in.
    loadDocument(1);
    redactRoad({Redact});
    EXPECT_FALSE(leaks().isEmpty());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    ASSERT_TRUE(saveRecoveryDocument());
    qunsetenv("XDG_DATA_HOME");
    endProgram();
    EXPECT_EQ(leaks(), QStringList());
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("data"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

TEST_P(RedactStoreTest, ImprintRedactionAndStoreGiveOneImprint)
{
    loadDocument(2);
    g_Book = QStringLiteral("000123");
    g_Page = QStringLiteral("0045");
    g_CTLNum = QStringLiteral("00042");
    QelEzImage &view = *frmMain().ezPageView;
    addBookPageImprint(view, ImprintStates{{QStringLiteral("1"), 0}, {QStringLiteral("2"), 0}});
    view.setPage(2);
    QRect imprint;
    for (int i = 0; i < view.annotationCount(); ++i)
        if (view.item(i)->userStorage(IMPRINT_TAG_KEY).toString() == u"1")
            imprint = view.item(i)->bounds();
    ASSERT_FALSE(imprint.isEmpty());
    const Page original = decodeTiff(g_strTempPath + QStringLiteral("temp.tif")).at(1);
    const int inkBefore = original.darkIn(imprint);

    redactRoad({Redact});
    g_blnImprint = true;
    ASSERT_TRUE(do_store_manual(false));

    // The imprint is an item once and never pixels.
    const std::vector<Page> stored = decodeTiff(storedImage());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].darkIn(imprint), inkBefore);
    EXPECT_EQ(stored[0].darkIn(kRedaction), 0);
    QelEzImage check;
    check.setImageFile(storedImage());
    for (int p = 1; p <= 2; ++p) {
        check.setPage(p);
        int tagged = 0;
        for (int i = 0; i < check.annotationCount(); ++i)
            tagged += check.item(i)->userStorage(IMPRINT_TAG_KEY).toString() == u"1";
        EXPECT_EQ(tagged, p == 2 ? 1 : 0) << "page " << p;
    }
}

TEST(EditorCopies, TheResetThatStartsTheProgramDeletesEveryLeftover)
{
    // Leftovers of a run that ended abnormally, in the private temp folder.
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    frmMain();
    resetState();
    g_strTempPath = temp.path() + u'/';
    const QStringList copies{"redact2.tif", "tempredact.tif", "tempprintpreview2.tif", "temp2.tif", "crop.tif",
                             "crop2.tif", "cropprebytealign.tif", "resize.tif", "resize2.tif",
                             "QuorlaCrop.ann1", "QuorlaCrop.ann12"};
    for (const QString &name : copies) {
        QFile f(g_strTempPath + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    new_bkPg(true, false);
    QStringList left = QDir(temp.path()).entryList(QDir::Files);
    left.removeIf([](const QString &name) { return name.endsWith(QStringLiteral(".lock")); });
    EXPECT_EQ(left, QStringList());
    resetState();
}

INSTANTIATE_TEST_SUITE_P(Pages, RedactStoreTest,
                         ::testing::Values(Kind::Bilevel, Kind::Grey, Kind::Colour), kindName);

} // namespace
