#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "core/errors.h"
#include "core/mode.h"
#include "core/reset.h"
#include "core/state.h"
#include "platform/analysis/ip2.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "platform/system/singleinstance.h"
#include "platform/system/system.h"
#include "ui/frmConfig.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"
#include "ui_env.h"

namespace {
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

const QString kNotStored =
    QStringLiteral("This document has not been stored.  Are you sure you want to continue and lose all changes?");

// A document of `pages` white pages shown in both views; emptied again at the end.
struct Document {
    FrmMain &f = frmMain();
    explicit Document(int pages) { showPages(f, pages); }
    ~Document()
    {
        MsgBoxScript quiet;
        f.ezTreeView->clearImage();
        f.ezPageView->clearImage();
        g_blnPromptStore = false;
    }
};

// A present fake scanner behind the controls (optionally the overhead model); the environment's
// absent one comes back at the end.
struct Scanner {
    QTemporaryDir dir;
    FakeScanner *fake = nullptr;
    explicit Scanner(bool overhead = false)
    {
        if (overhead) {
            QFile table(dir.filePath(QStringLiteral("overhead.tbl")));
            table.open(QIODevice::WriteOnly);
            table.write("model = Fake Duplex 100\nalias = MIN7PS\n");
        }
        auto owned = std::make_unique<FakeScanner>();
        fake = owned.get();
        fake->device().hasFeeder = true;
        fake->device().hasDuplex = true;
        fake->setTableFolder(dir.path());
        fake->setSettingsFolder(dir.path());
        setScannerSession(std::move(owned));
        fake->setScannerOpen(true);
        g_blnScannerConnected = true;
    }
    ~Scanner()
    {
        auto absent = std::make_unique<FakeScanner>();
        absent->setPresent(false);
        setScannerSession(std::move(absent));
        g_blnScannerConnected = false;
    }
};

QStringList shownForms(const FormScript &forms)
{
    QStringList out;
    for (const FormScript::Call &c : forms.calls())
        out << c.form + QStringLiteral(" over ") + c.owner;
    return out;
}

// Unloads the forms a test showed, so later tests get fresh instances.
void unloadShown(const FormScript &forms)
{
    for (const FormScript::Call &c : forms.calls())
        for (Form *form : Forms())
            if (form->objectName() == c.form && c.form != QLatin1String("frmMain"))
                form->Unload(vb::vbFormCode);
}

QStringList prompts(const MsgBoxScript &boxes)
{
    QStringList out;
    for (const MsgBoxCall &c : boxes.calls())
        out << c.prompt;
    return out;
}
}

// Commands reach the sign-on and the host: each test leaves the session as it found it.
class MainWin : public ::testing::Test {
protected:
    void SetUp() override { m_loggedIn = g_blnLoggedIn; }
    // Forms the commands loaded (the dialogs, the sign-on) go again, so later tests load them fresh.
    void TearDown() override
    {
        m_forms.unload();
        g_blnLoggedIn = m_loggedIn;
    }
    bool m_loggedIn = false;
    NewForms m_forms;
};

TEST_F(MainWin, CommandsOpenTheirDialogsModallyOverTheWindow)
{
    FrmMain &f = frmMain();
    MsgBoxScript boxes;
    g_dbMode = MODE_MARG;
    gdtCurrentDocType = 0;
    f.chkScanUnIndexedDocsMEMARG->setChecked(false);
    const struct {
        const char *what;
        std::function<void()> run;
        QString expected;
    } rows[] = {
        {"iSeries set-up", [&] { f.mnuConfig->trigger(); }, "frmConfig over frmMain"},
        {"about", [&] { f.mnuAbout->trigger(); }, "frmAbout over frmMain"},
        {"preferences", [&] { f.mnuPreferences->trigger(); }, "frmPreferences over frmMain"},
        {"scanning area", [&] { f.Command1->click(); }, "frmTrim over frmMain"},
        {"overhead", [&] { f.mnuOverhead->trigger(); }, "frmOverhead over frmMain"},
        {"batch rotate", [&] { f.mnuBatchRotate->trigger(); }, "frmBatchRotate over frmMain"},
        {"batch scan", [&] { f.mnuBatchScan->trigger(); }, "frmBatch over frmMain"},
        {"batch byte align", [&] { f.mnuBatchByteAlign->trigger(); }, "frmBatchByteAlign over frmMain"},
    };
    for (const auto &r : rows) {
        FormScript forms;
        r.run();
        ASSERT_FALSE(forms.calls().isEmpty()) << r.what;
        EXPECT_EQ(shownForms(forms).first(), r.expected) << r.what;
        unloadShown(forms);
    }
    EXPECT_TRUE(prompts(boxes).filter(QStringLiteral("Batch")).isEmpty());

    FormScript forms;
    g_strBarcodeLog = QStringLiteral("line one");
    f.btnLog_NYBR->click();
    ASSERT_FALSE(forms.calls().isEmpty());
    EXPECT_EQ(forms.calls().first().form, "frmBarcodeLog");
    unloadShown(forms);
}

TEST_F(MainWin, BatchScanRefusedWhileScanningUnindexedDocuments)
{
    FrmMain &f = frmMain();
    const QString refusal = QStringLiteral(
        "The Scanning Unindexed Documents check box must not be selected when performing a Batch Scan.  "
        "Please un-check this and try again.");
    const struct {
        qint16 mode;
        QCheckBox *box;
        bool refused;
    } rows[] = {
        {MODE_MARG, f.chkScanUnIndexedDocsMEMARG, true},
        {MODE_MERG_UPD, f.chkScanUnIndexedDocsMEMARG, true},
        {MODE_MALC, f.chkScanUnIndexedDocsMALC, true},
        {MODE_MALC, f.chkScanUnIndexedDocsMEMARG, false},  // another mode's box does not count
        {MODE_MARG, f.chkScanUnIndexedDocsMALC, false},
        {MODE_MEBS, f.chkScanUnIndexedDocsMABS, false},    // the book-scan box is not tested
        {MODE_NYRG, f.chkScanUnIndexedDocsMEMARG, false},
    };
    for (const auto &r : rows) {
        MsgBoxScript boxes;
        FormScript forms;
        g_dbMode = r.mode;
        r.box->setChecked(true);
        EXPECT_TRUE(g_blnScanUnIndexDocs);  // the box's click keeps the global in step
        f.mnuBatchScan_Click();
        if (r.refused) {
            ASSERT_EQ(boxes.calls().size(), 1) << r.mode;
            EXPECT_EQ(boxes.calls()[0].prompt, refusal);
            EXPECT_EQ(boxes.calls()[0].buttonSet(), vb::vbOKOnly);
            EXPECT_TRUE(forms.calls().isEmpty());
        } else {
            EXPECT_TRUE(boxes.calls().isEmpty()) << r.mode;
            ASSERT_FALSE(forms.calls().isEmpty()) << r.mode;
            EXPECT_EQ(forms.calls().first().form, "frmBatch");
        }
        unloadShown(forms);
        r.box->setChecked(false);
        EXPECT_FALSE(g_blnScanUnIndexDocs);
    }
    g_dbMode = MODE_MARG;
}

TEST_F(MainWin, BatchByteAlignOnlyForPaperDocumentsOfItsDatabases)
{
    FrmMain &f = frmMain();
    const QString efile = QStringLiteral("Batch Byte-Align is not available for the e-file document type.  Contact "
                                         "Korvane for information on having this feature added.");
    const QString database = QStringLiteral("Batch Byte-Align is not available for this database.  Contact Korvane "
                                            "for information on having this feature added.");
    const struct {
        qint32 docType;
        qint16 mode;
        QString message;  // empty: the dialog opens
    } rows[] = {
        {0, MODE_MARG, {}},      {0, MODE_MERG_UPD, {}},   {0, MODE_NYRG, {}},     {0, MODE_NYMD, {}},
        {0, MODE_NYCR, {}},      {0, MODE_MALC, database}, {0, MODE_MALCP, database}, {0, MODE_MEBS, database},
        {0, MODE_FHS, database}, {0, MODE_MARGBS, database}, {0, MODE_NYBR, database}, {0, MODE_MACC, database},
        {1, MODE_MARG, efile},   {1, MODE_MALC, efile},
    };
    for (const auto &r : rows) {
        MsgBoxScript boxes;
        FormScript forms;
        gdtCurrentDocType = r.docType;
        g_dbMode = r.mode;
        f.mnuBatchByteAlign_Click();
        if (r.message.isEmpty()) {
            EXPECT_TRUE(boxes.calls().isEmpty()) << r.mode;
            ASSERT_EQ(forms.calls().size(), 1) << r.mode;
            EXPECT_EQ(forms.calls()[0].form, "frmBatchByteAlign");
            unloadShown(forms);
        } else {
            ASSERT_EQ(boxes.calls().size(), 1) << r.mode;
            EXPECT_EQ(boxes.calls()[0].prompt, r.message);
            EXPECT_EQ(boxes.calls()[0].buttonSet(), vb::vbOKOnly);
            EXPECT_TRUE(forms.calls().isEmpty());
        }
    }
    gdtCurrentDocType = 0;
    g_dbMode = MODE_MARG;
}

// Only the delete command of a shown tree deletes, and always by itself: the control is told not to.
TEST_F(MainWin, TreeDeleteProtectsTheCoverSheetAndAsksWhenConfigured)
{
    const QString cover = QStringLiteral("You cannot select the cover sheet on an e-file document for deletion.");
    const QString asked = QStringLiteral("You have selected 2 pages to be deleted.  Do you want to proceed?");
    const struct {
        const char *what;
        bool cover;
        bool ask;
        int answer;
        QString selection;
        QString message;   // the one box expected, empty: none
        int pagesAfter;
        int command = 1001;
        bool treeShown = true;
    } rows[] = {
        {"cover, 2,4-6", true, false, 0, "2,4-6", {}, 2},
        {"cover, 1-3", true, false, 0, "1-3", cover, 6},
        {"cover, 3,1", true, false, 0, "3,1", cover, 6},
        {"paper, 1-3", false, false, 0, "1-3", {}, 3},
        {"ask, OK", false, true, vb::vbOK, "2,4", asked, 4},
        {"ask, Cancel", false, true, vb::vbCancel, "2,4", asked, 6},
        {"cover, 1-3, tree hidden", true, false, 0, "1-3", {}, 6, 1001, false},
        {"another command", false, false, 0, "2", {}, 6, 1002},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        Document doc(6);
        FrmMain &f = doc.f;
        MsgBoxScript boxes;
        gsCoverPageStatus = r.cover ? QStringLiteral("Y") : QString();
        gsCoverPagePath = r.cover ? QStringLiteral("cover.tif") : QString();
        gdtCurrentDocType = 0;
        g_blnPromptOnDelete = r.ask;
        if (r.answer)
            boxes.answer(r.answer);
        f.ezTreeView->setSelectedPages(r.selection);
        f.ezTreeView->setVisible(r.treeShown);
        QelEzCommand cmd;
        cmd.command = r.command;
        cmd.value = QVariant(2);
        cmd.outNumber = 5;
        cmd.outFlag = 9;
        emit f.ezTreeView->command(cmd);
        EXPECT_EQ(f.ezTreeView->pageCount(), r.pagesAfter);
        if (r.message.isEmpty()) {
            EXPECT_TRUE(boxes.calls().isEmpty());
        } else {
            ASSERT_EQ(boxes.calls().size(), 1);
            EXPECT_EQ(boxes.calls()[0].prompt, r.message);
            EXPECT_EQ(boxes.calls()[0].buttonSet(), vb::vbOKCancel);
            EXPECT_EQ(boxes.calls()[0].title, "The Korvane Scan Tool");
        }
        // Other commands are the control's own.
        EXPECT_EQ(cmd.outNumber, r.command == 1001 ? 0 : 5);
        EXPECT_EQ(cmd.outFlag, r.command == 1001 ? 1 : 9);
    }
    gsCoverPageStatus.clear();
    gsCoverPagePath.clear();
    g_blnPromptOnDelete = false;
}

TEST_F(MainWin, TreeNotificationsMarkChangesAndCountPages)
{
    Document doc(4);
    FrmMain &f = doc.f;
    f.ezTreeView->setPage(3);
    const struct {
        int code;
        bool marksChange;
        bool countsPages;
    } rows[] = {{10, false, true}, {13, true, false}, {17, true, false}, {11, false, false}, {0, false, false}};
    for (const auto &r : rows) {
        g_blnPromptStore = false;
        f.lblPageNum->setText(QStringLiteral("Page X/X"));
        emit f.ezTreeView->notify(r.code);
        EXPECT_EQ(g_blnPromptStore, r.marksChange) << r.code;
        EXPECT_EQ(f.lblPageNum->text(), r.countsPages ? "Page 3/4 " : "Page X/X") << r.code;
    }
}

TEST_F(MainWin, ViewsFollowEachOtherAndPagesLoadedShowsTheTree)
{
    Document doc(3);
    FrmMain &f = doc.f;
    g_blnDocChanged = false;
    hideTree();
    f.ezTreeView->setPage(3);
    emit f.ezTreeView->pageChange();
    EXPECT_EQ(f.ezPageView->page(), 3);

    f.ezTreeView->setPage(2);
    emit f.ezTreeView->pagesLoaded();
    EXPECT_EQ(f.ezPageView->page(), 2);
    EXPECT_EQ(f.btnShowTree->text(), "Hide Thumbna&ils");

    emit f.ezPageView->changed();
    EXPECT_TRUE(g_blnDocChanged);
    g_blnDocChanged = false;
    emit f.ezTreeView->changed();
    EXPECT_TRUE(g_blnDocChanged);
    g_blnDocChanged = false;
}

TEST_F(MainWin, MouseUpRecordsButtonsAndDoubleClickSelectsAllItems)
{
    FrmMain &f = frmMain();
    const struct {
        int button, shift;
        std::array<bool, 6> flags;  // left, middle, right, Alt, Shift, Ctrl
    } rows[] = {
        {1, 0, {true, false, false, false, false, false}},
        {2, 1, {false, false, true, false, true, false}},
        {4, 2, {false, true, false, false, false, true}},
        {7, 7, {true, true, true, true, true, true}},
        {0, 4, {false, false, false, true, false, false}},
    };
    for (const auto &r : rows) {
        g_MouseButtons.fill(true);
        emit f.ezPageView->mouseUp(r.button, r.shift, 10, 10);
        EXPECT_EQ(g_MouseButtons, r.flags) << r.button << "/" << r.shift;
    }

    Document doc(1);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(f.ezPageView->createAnnotation(i % 2 ? QelAnnotType::Rectangle : QelAnnotType::Redaction), nullptr);
    ASSERT_EQ(f.ezPageView->itemCount(), 3);
    emit f.ezPageView->mouseUp(2, 0, 0, 0);  // right button: nothing selected
    emit f.ezPageView->dblClick();
    EXPECT_TRUE(f.ezPageView->selectedItems().isEmpty());
    emit f.ezPageView->mouseUp(1, 0, 0, 0);
    emit f.ezPageView->dblClick();
    EXPECT_EQ(f.ezPageView->annotationTool(), 1);
    EXPECT_EQ(f.ezPageView->selectedItems().size(), 3);
}

TEST_F(MainWin, RotateTurnsThePageOrEveryPageAndMarksTheChange)
{
    Document doc(3);
    FrmMain &f = doc.f;
    f.ezPageView->setPage(2);
    g_blnPromptStore = false;
    f.cboRotateOpt->setListIndex(0);
    f.btnRotate->click();
    EXPECT_TRUE(g_blnPromptStore);
    const int turned = f.ezPageView->rotation();
    EXPECT_NE(turned, 1);
    f.ezPageView->setPage(1);
    EXPECT_EQ(f.ezPageView->rotation(), 1);

    f.ezPageView->setPage(3);
    f.cboRotateOpt->setListIndex(1);
    f.btnRotate->click();
    EXPECT_EQ(f.ezPageView->page(), 3);  // back where it was
    f.ezPageView->setPage(1);
    EXPECT_EQ(f.ezPageView->rotation(), turned);
    f.ezPageView->setPage(3);
    EXPECT_EQ(f.ezPageView->rotation(), turned);
    f.ezPageView->setPage(2);
    EXPECT_NE(f.ezPageView->rotation(), turned);  // turned twice
    f.cboRotateOpt->setListIndex(0);
}

TEST_F(MainWin, EditMenuEnablesRotateAndDeleteByState)
{
    Document doc(3);
    FrmMain &f = doc.f;
    const bool shown = f.btnRotate->isVisibleTo(&f);
    f.btnRotate->setVisible(false);
    f.ezTreeView->setSelectedPages(QString());
    emit f.mnuEdit->aboutToShow();
    EXPECT_FALSE(f.mnuRotate->isEnabled());
    EXPECT_FALSE(f.mnuDelete->isEnabled());
    f.btnRotate->setVisible(true);
    f.ezTreeView->setSelectedPages(QStringLiteral("2"));
    emit f.mnuEdit->aboutToShow();
    EXPECT_TRUE(f.mnuRotate->isEnabled());
    EXPECT_TRUE(f.mnuDelete->isEnabled());
    f.btnRotate->setVisible(shown);
}

TEST_F(MainWin, AutoNextPageTimerFollowsItsBoxInFullWidth)
{
    FrmMain &f = frmMain();
    f.chkAutoNextPage->setEnabled(true);
    f.chkAutoNextPage->setChecked(false);
    const struct {
        qint16 seconds;
        bool running;
        int interval;
    } rows[] = {{5, true, 5000}, {40, true, 40000}, {0, false, 0}};
    for (const auto &r : rows) {
        g_AutoNextPageInterface = r.seconds;
        f.chkAutoNextPage->setChecked(true);
        EXPECT_EQ(f.tmrAutoNextPage->isActive(), r.running) << r.seconds;
        EXPECT_EQ(f.tmrAutoNextPage->interval(), r.interval) << r.seconds;
        f.chkAutoNextPage->setChecked(false);
        EXPECT_FALSE(f.tmrAutoNextPage->isActive());
        EXPECT_EQ(f.tmrAutoNextPage->interval(), r.running ? 0 : r.interval);
    }
    g_AutoNextPageInterface = 0;
}

TEST_F(MainWin, AutoNextPageTickTurnsThePageThenAsksForTheNextDocument)
{
    Document doc(2);
    FrmMain &f = doc.f;
    MsgBoxScript boxes;
    g_blnPromptStore = true;
    f.tmrAutoNextPage_Timer();
    EXPECT_EQ(f.ezPageView->page(), 2);
    EXPECT_EQ(f.ezTreeView->page(), 2);
    EXPECT_TRUE(boxes.calls().isEmpty());
    // On the last page the tick is the Next command, which asks first; No keeps the document.
    boxes.answer(vb::vbNo);
    f.tmrAutoNextPage_Timer();
    EXPECT_EQ(prompts(boxes), QStringList{kNotStored});
    EXPECT_EQ(f.ezPageView->pageCount(), 2);
    EXPECT_EQ(f.ezPageView->page(), 2);
}

TEST_F(MainWin, AutoNextPageTickArrivingDuringATickIsDropped)
{
    Document doc(4);
    FrmMain &f = doc.f;
    // A tick that comes while the page change of the first one yields.
    int nested = 0;
    auto extra = QObject::connect(f.ezPageView, &QelEzImage::pageChange, [&] {
        ++nested;
        f.tmrAutoNextPage_Timer();
    });
    f.tmrAutoNextPage_Timer();
    QObject::disconnect(extra);
    EXPECT_GE(nested, 1);
    EXPECT_EQ(f.ezPageView->page(), 2);
    EXPECT_EQ(f.ezTreeView->page(), 2);
}

// The merge walks every page (back to the first) and ends, also on an empty view.
TEST_F(MainWin, AnnotationMergeWalksEveryPageThenSignalsTheStore)
{
    for (const int pages : {3, 0}) {
        SCOPED_TRACE(pages);
        Document doc(pages);
        FrmMain &f = doc.f;
        if (pages) {
            f.ezPageView->setPage(1);
            f.ezPageView->createAnnotation(QelAnnotType::Rectangle);
            f.ezPageView->setPage(3);
            f.ezPageView->createAnnotation(QelAnnotType::Rectangle);
            f.ezPageView->createAnnotation(QelAnnotType::Redaction);
            f.ezPageView->setPage(1);
        }
        g_intAnnotCount = 0;
        g_blnAnnotMergeDone = false;
        f.tmrAnnotationMerge->start(1);
        QElapsedTimer clock;
        clock.start();
        while (!g_blnAnnotMergeDone && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(g_blnAnnotMergeDone);
        EXPECT_FALSE(f.tmrAnnotationMerge->isActive());
        EXPECT_EQ(g_intAnnotCount, pages);
        EXPECT_EQ(f.ezPageView->page(), pages ? 1 : 0);
    }
}

TEST_F(MainWin, ScannerSettingsShowThePaperSource)
{
    FrmMain &f = frmMain();
    Scanner scanner;
    MsgBoxScript boxes;
    FormScript forms;
    const struct {
        qint16 source;
        int duplexBefore;
        QString label;
        bool pageSize, duplexEnabled, duplexChecked;
    } rows[] = {
        {0, 1, "Scanner Source: ADF", false, true, true},
        {0, 0, "Scanner Source: ADF", false, true, false},
        {2, 1, "Scanner Source: FB", true, false, false},
    };
    for (const auto &r : rows) {
        g_intDefaultPaperSource = r.source;
        f.ezTreeView->setPaperSource(0);
        f.ezTreeView->setDuplex(r.duplexBefore);
        f.mnuScannerSettings->trigger();
        EXPECT_EQ(f.ezTreeView->paperSource(), r.source);
        EXPECT_EQ(f.lblScannerPaperSource->text(), r.label);
        EXPECT_EQ(f.lblPageSize->isVisibleTo(&f), r.pageSize);
        EXPECT_EQ(f.cboPageSize->isVisibleTo(&f), r.pageSize);
        EXPECT_EQ(f.chkDuplex->isEnabled(), r.duplexEnabled);
        EXPECT_EQ(f.chkDuplex->isChecked(), r.duplexChecked);
        if (r.source == 0) {
            EXPECT_EQ(f.ezTreeView->duplex(), r.duplexChecked ? 1 : 0);
        }
    }
    ASSERT_FALSE(forms.calls().isEmpty());
    EXPECT_EQ(forms.calls().first().form, "frmScannerSettings");
    unloadShown(forms);
    g_intDefaultPaperSource = 0;
}

TEST_F(MainWin, SelectScannerConnectsOrSaysTheDeviceIsMissing)
{
    FrmMain &f = frmMain();
    {
        MsgBoxScript boxes;
        f.cmdSettings->setEnabled(true);
        g_blnScannerConnected = true;
        f.mnuSelectScanner->trigger();  // the environment's scanner does not answer
        EXPECT_EQ(prompts(boxes), QStringList{"Can't locate SCSI device; Check cable and power."});
        EXPECT_FALSE(g_blnScannerConnected);
        EXPECT_FALSE(f.cmdSettings->isEnabled());
    }
    Scanner scanner;
    MsgBoxScript boxes;
    g_blnScannerConnected = false;
    f.mnuSelectScanner->trigger();
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_TRUE(g_blnScannerConnected);
    EXPECT_TRUE(f.cmdSettings->isEnabled());
}

// Scan takes the duplex from its box, except on the overhead scanner, whose dialog takes over.
TEST_F(MainWin, ScanSetsTheDuplexFromItsBoxOrOpensTheOverheadDialog)
{
    FrmMain &f = frmMain();
    for (const bool overhead : {false, true}) {
        SCOPED_TRACE(overhead ? "overhead scanner" : "feeder");
        Scanner scanner(overhead);
        ASSERT_EQ(f.ezTreeView->sourceName() == "MIN7PS", overhead);
        scanner.fake->loadFeeder(2);
        MsgBoxScript boxes;
        FormScript forms;
        f.btnScan->setText(QStringLiteral("&Scan"));
        f.btnScan->setEnabled(true);
        f.ezTreeView->setDuplex(1);
        {
            QSignalBlocker quiet(f.chkDuplex);
            f.chkDuplex->setChecked(false);
        }
        f.btnScan->click();
        if (overhead) {
            EXPECT_EQ(shownForms(forms), QStringList{"frmOverhead over frmMain"});
            EXPECT_EQ(f.ezTreeView->duplex(), 1);
            EXPECT_TRUE(scanner.fake->jobs().isEmpty());
            EXPECT_EQ(f.ezTreeView->pageCount(), 0);
        } else {
            ASSERT_FALSE(scanner.fake->jobs().isEmpty());  // the scan itself ran
            EXPECT_EQ(scanner.fake->jobs().first().settings.duplex, 0);
        }
        unloadShown(forms);
        MsgBoxScript quiet;
        f.ezTreeView->clearImage();
        f.ezPageView->clearImage();
        g_blnPromptStore = false;
    }
}

TEST_F(MainWin, GetBatchStopsWhenTheRequestFails)
{
    FrmMain &f = frmMain();
    MsgBoxScript boxes;
    g_blnPromptStore = true;
    f.btnScan->setText(QStringLiteral("Get &Batch"));
    f.btnScan_Click();  // no records host answers here
    EXPECT_FALSE(prompts(boxes).contains(kNotStored));
    f.btnScan->setText(QStringLiteral("&Scan"));
    g_blnPromptStore = false;
}

TEST_F(MainWin, GuardedCommandsDoNothingWhenTheOperatorKeepsTheDocument)
{
    FrmMain &f = frmMain();
    Document doc(2);
    std::vector<std::function<void()>> commands{
        [&] { f.btnGoNew_Click(); }, [&] { f.btnNext_Click(); },    [&] { f.btnPrev_Click(); },
        [&] { f.btnRefresh_Click(); }, [&] { f.mnuUndo_Click(); },
        // The batch windows, which start from an empty workspace, by menu and by key.
        [&] { f.mnuBatchScan_Click(); }, [&] { f.mnuBatchRotate_Click(); },
        [] { int shift = 0; checkKeyDown(vb::vbKeyF9, shift); },
        [] { int shift = 0; checkKeyDown(vb::vbKeyF10, shift); },
        // The operator's switch of the document source.
        [&] { f.cboCurrentDocType->setListIndex(1 - f.cboCurrentDocType->listIndex()); },
    };
    ASSERT_EQ(f.cboCurrentDocType->listCount(), 2);
    ASSERT_TRUE(f.cboCurrentDocType->isEnabled());
    const int source = f.cboCurrentDocType->listIndex();
    // A switch to each other database of the menu (its frame would drop the pages).
    const qint16 mode = g_dbMode;
    QList<bool> checks;
    for (QAction *entry : f.databaseEntries()) {
        checks << entry->isChecked();
        if (entry != f.mnuFHS && !entry->isChecked())
            commands.push_back([entry] { entry->trigger(); });
    }
    // Asked from idle, or during a scan (which has not set the flag yet): the scan stops at the
    // sheet in hand and the command asks once the scan has ended.
    for (const bool scanning : {false, true}) {
        for (const auto &run : commands) {
            SCOPED_TRACE(scanning ? "during a scan" : "idle");
            FormScript forms;
            MsgBoxScript boxes;
            std::optional<Road::Run> scan;
            if (scanning)
                scan.emplace(f.scanRoad);
            g_blnPromptStore = !scanning;
            boxes.answer(vb::vbNo);
            run();
            if (scanning) {
                EXPECT_TRUE(prompts(boxes).isEmpty());
                EXPECT_TRUE(f.scanRoad.aborted()) << "the scan goes on";
                g_blnPromptStore = true; // the scan's end
                scan.reset();
                QCoreApplication::processEvents();
            }
            EXPECT_EQ(prompts(boxes), QStringList{kNotStored});
            ASSERT_FALSE(boxes.calls().isEmpty());
            EXPECT_EQ(boxes.calls()[0].buttonSet(), vb::vbYesNo);
            EXPECT_EQ(boxes.calls()[0].icon(), 0);
            EXPECT_EQ(boxes.calls()[0].title, "Note:");
            EXPECT_EQ(boxes.calls()[0].buttons & 0x300, vb::vbDefaultButton2) << "Enter would drop the pages";
            EXPECT_EQ(boxes.calls()[0].quitAnswer, vb::vbNo) << "an ending program would run the command";
            EXPECT_EQ(f.ezPageView->pageCount(), 2);  // nothing reloaded or emptied
            EXPECT_TRUE(forms.calls().isEmpty()) << "a window opened";
            unloadShown(forms);
            EXPECT_TRUE(g_blnPromptStore);
            EXPECT_EQ(g_dbMode, mode);
            EXPECT_EQ(f.cboCurrentDocType->listIndex(), source);
        }
    }
    QList<bool> after;
    for (QAction *entry : f.databaseEntries())
        after << entry->isChecked();
    EXPECT_EQ(after, checks) << "the menu still shows the database in use";
}

TEST_F(MainWin, NextPreviousAndUndoGoToTheRequestRoadOnceAllowed)
{
    FrmMain &f = frmMain();
    const std::function<void()> commands[] = {
        [&] { f.btnNext->click(); }, [&] { f.btnPrev->click(); }, [&] { f.mnuUndo->trigger(); }};
    for (const auto &run : commands) {
        MsgBoxScript boxes;
        FormScript forms;
        g_blnLoggedIn = false;  // the road's first step is the sign-on
        g_blnPromptStore = true;
        f.btnNext->setEnabled(true);
        f.btnPrev->setEnabled(true);
        f.mnuUndo->setEnabled(true);
        boxes.answer(vb::vbYes);
        run();
        EXPECT_EQ(prompts(boxes).first(), kNotStored);
        EXPECT_EQ(shownForms(forms), QStringList{"frmLogin over frmMain"});
        EXPECT_TRUE(g_blnPromptStore) << "the question cleared the mark; the pages are still unstored";
        unloadShown(forms);
    }
    g_blnPromptStore = false;
}

TEST_F(MainWin, CheckBoxesKeepTheirGlobals)
{
    FrmMain &f = frmMain();
    f.chkScanUD->setChecked(true);
    EXPECT_TRUE(g_blnScanUD);
    f.chkScanUD->setChecked(false);
    EXPECT_FALSE(g_blnScanUD);
    Scanner scanner;
    f.chkDuplex->setEnabled(true);
    {
        QSignalBlocker quiet(f.chkDuplex);
        f.chkDuplex->setChecked(false);
    }
    f.ezTreeView->setDuplex(0);
    f.chkDuplex->setChecked(true);
    EXPECT_EQ(f.ezTreeView->duplex(), 1);
    f.chkDuplex->setChecked(false);
    EXPECT_EQ(f.ezTreeView->duplex(), 0);
}

TEST_F(MainWin, FilterDialogStoresTheChainWhateverItReturns)
{
    FrmMain &f = frmMain();
    g_FilterSettings.reset();
    SaveSetting(APP_TITLE, QStringLiteral("Settings"), QStringLiteral("FilterSettings2"), QStringLiteral("stale"));
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    f.mnuFilters->trigger();
    ASSERT_TRUE(g_FilterSettings);
    EXPECT_EQ(GetSetting(APP_TITLE, QStringLiteral("Settings"), QStringLiteral("FilterSettings2"), QStringLiteral("none")),
              g_FilterSettings->settingsText());
}

TEST(MainWindow, EveryControlHasOneUniqueDesignName)
{
    FrmMain &f = frmMain();
    QSet<QString> names;
    for (QObject *c : f.controls()) {
        EXPECT_FALSE(c->objectName().isEmpty());
        EXPECT_FALSE(names.contains(c->objectName().toLower())) << c->objectName().toStdString();
        names.insert(c->objectName().toLower());
    }
    // Reached by name, as tests and the text measuring do.
    for (const char *name : {"txtBook_MARG", "txtCTLNum_NYRG", "txtRefCode_FHS", "ezTreeView", "ezPageView",
                             "timOverheadScan", "cboEFilePartnerNYRG", "Label73", "pic_NYBS", "mnuNYBR",
                             "lblControlNumLabel_NYRG", "chkScanUnIndexedDocsMABS", "cboPageSize"})
        EXPECT_NE(f.control(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(f.findChild<QLineEdit *>("txtBook_MARG"), f.txtBook_MARG);
}

TEST(MainWindow, DatabaseEntriesSelectTheirModes)
{
    FrmMain &f = frmMain();
    EXPECT_EQ(f.mnuDatabase->actions(), f.databaseEntries());
    const QList<QPair<QAction *, int>> table = {
        {f.mnuMARG, 0}, {f.mnuMALC, 1}, {f.mnuMALCP, 2}, {f.mnuMEBS, 3}, {f.mnuMERG, 4},
        {f.mnuNYRG, 5}, {f.mnuNYMD, 6}, {f.mnuNYCR, 7}, {f.mnuMARGBS, 9}, {f.mnuNYBS, 10},
        {f.mnuNYBR, 11}, {f.mnuMACC, 12}};
    for (const auto &[entry, mode] : table) {
        entry->trigger();
        EXPECT_EQ(g_dbMode, mode) << entry->objectName().toStdString();
        EXPECT_TRUE(entry->isChecked()) << entry->objectName().toStdString();
    }
    // The reference entry has no action of its own: the mode stays, its tick does not change.
    const qint16 before = g_dbMode;
    const bool ticked = f.mnuFHS->isChecked();
    f.mnuFHS->trigger();
    EXPECT_EQ(g_dbMode, before);
    EXPECT_EQ(f.mnuFHS->isChecked(), ticked);
    f.mnuMARG->trigger();
}

TEST(MainWindow, DocumentSourceSwitchesBetweenPaperAndEFileFrames)
{
    FrmMain &f = frmMain();
    f.mnuMARG->trigger();
    ASSERT_EQ(g_dbMode, 0);
    f.cboCurrentDocType->setEnabled(true);
    f.chkScanUnIndexedDocsMEMARG->setChecked(true);
    g_blnScanUnIndexDocs = true;

    f.cboCurrentDocType->setListIndex(1);
    EXPECT_EQ(gdtCurrentDocType, 1);
    EXPECT_TRUE(f.fraMARGElectronic->isVisibleTo(&f));
    EXPECT_FALSE(f.fraMARG->isVisibleTo(&f));
    EXPECT_FALSE(f.chkScanUnIndexedDocsMEMARG->isChecked());
    EXPECT_FALSE(g_blnScanUnIndexDocs);
    EXPECT_TRUE(f.mnuMARG->isChecked());

    f.cboCurrentDocType->setListIndex(0);
    EXPECT_EQ(gdtCurrentDocType, 0);
    EXPECT_TRUE(f.fraMARG->isVisibleTo(&f));
    EXPECT_FALSE(f.fraMARGElectronic->isVisibleTo(&f));

    // New York: its own e-file frame.
    f.mnuNYRG->trigger();
    f.cboCurrentDocType->setListIndex(1);
    EXPECT_TRUE(f.fraNYRGElectronic->isVisibleTo(&f));
    EXPECT_FALSE(f.fraNYRG->isVisibleTo(&f));
    f.cboCurrentDocType->setListIndex(0);
    f.mnuMARG->trigger();
}

TEST(MainWindow, TheScanMenusScanIsTheScanButton)
{
    FrmMain &f = frmMain();
    QSignalSpy clicks(f.btnScan, &QPushButton::clicked);
    // The workspace reset, a button turned on and off directly, and a disabled parent.
    const std::function<void()> steps[] = {
        [] { new_bkPg(false, false); },
        [&] { f.btnScan->setEnabled(true); },
        [&] { f.btnScan->setEnabled(false); },
        [&] { f.btnScan->setEnabled(true); },
        [&] { f.btnScan->parentWidget()->setEnabled(false); },
        [&] { f.btnScan->parentWidget()->setEnabled(true); },
    };
    int expectedClicks = 0;
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i]();
        EXPECT_EQ(f.mnuDoScan->isEnabled(), f.btnScan->isEnabled()) << i;
        const bool on = f.btnScan->isEnabled();
        // The menu is the button's command and does what the button would.
        QObject::disconnect(f.btnScan, &QPushButton::clicked, &f, nullptr);
        f.mnuDoScan->trigger();
        expectedClicks += on ? 1 : 0;
        EXPECT_EQ(clicks.count(), expectedClicks) << i;
        QObject::connect(f.btnScan, &QPushButton::clicked, &f, &FrmMain::btnScan_Click);
    }
    new_bkPg(false, false);
}

TEST(MainProcedures, SetPromptStoreEnablesStoreAndUndo)
{
    FrmMain &f = frmMain();
    g_blnPromptStore = false;
    for (QObject *c : {static_cast<QObject *>(f.btnStore), static_cast<QObject *>(f.mnuStore),
                       static_cast<QObject *>(f.mnuUndo)})
        c->setProperty("enabled", false);
    setPromptStore();
    EXPECT_TRUE(g_blnPromptStore);
    EXPECT_TRUE(f.btnStore->isEnabled());
    EXPECT_TRUE(f.mnuStore->isEnabled());
    EXPECT_TRUE(f.mnuUndo->isEnabled());
    g_blnPromptStore = false;
}

TEST(MainProcedures, TreeShownAndHiddenMovesThePageView)
{
    FrmMain &f = frmMain();
    f.resize(1000, 700);
    const int tpp = Screen::TwipsPerPixelX();
    const bool treeShown = f.ezTreeView->isVisibleTo(&f);
    const QRect treeAt = f.ezTreeView->geometry();
    showTree();
    EXPECT_EQ(f.btnShowTree->text(), "Hide Thumbna&ils");
    EXPECT_EQ(ctl::left(f.ezPageView), ctl::left(f.ezTreeView) + ctl::width(f.ezTreeView));
    EXPECT_EQ(ctl::left(f.ezPageView) + ctl::width(f.ezPageView), f.ScaleWidth());

    hideTree();
    EXPECT_EQ(f.btnShowTree->text(), "Show Thumbna&ils");
    EXPECT_EQ(ctl::left(f.ezPageView), ctl::left(f.ezTreeView));
    EXPECT_EQ(ctl::width(f.ezPageView), f.ScaleWidth() - ctl::left(f.ezTreeView));
    // The tree itself is untouched.
    EXPECT_EQ(f.ezTreeView->isVisibleTo(&f), treeShown);
    EXPECT_EQ(f.ezTreeView->geometry(), treeAt);

    // The button chooses by its caption.
    f.btnShowTree->click();
    EXPECT_EQ(f.btnShowTree->text(), "Hide Thumbna&ils");

    // A window narrower than the tree's left edge: width 0, never negative.
    f.resize(ctl::left(f.ezTreeView) / tpp - 20, 700);
    hideTree();
    EXPECT_EQ(ctl::width(f.ezPageView), 0);
    f.resize(1024, 740);
    showTree();
}

TEST(MainProcedures, ClampNonNegative)
{
    const struct { int in; int out; int type; } table[] = {
        {-5, 0, QMetaType::Short}, {-1, 0, QMetaType::Short}, {0, 0, QMetaType::Int}, {7, 7, QMetaType::Int}};
    for (const auto &row : table) {
        const QVariant v = clampNonNegative(row.in);
        EXPECT_EQ(v.toInt(), row.out) << row.in;
        EXPECT_EQ(v.metaType().id(), row.type) << row.in;
    }
}

TEST(MainProcedures, SelectAllTextAndTrySetFocus)
{
    FrmMain &f = frmMain();
    f.txtBook_MARG->setText("1234");
    f.txtBook_MARG->setCursorPosition(2);
    selectAllText(f.txtBook_MARG);
    EXPECT_EQ(f.txtBook_MARG->selectedText(), "1234");
    f.txtBook_MARG->clear();

    f.Show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.mnuMARG->trigger();
    f.fraMARG->setVisible(true);
    f.btnScan->setEnabled(true);
    EXPECT_TRUE(trySetFocus(f.txtPage_MARG));
    EXPECT_TRUE(f.txtPage_MARG->hasFocus());
    // On a hidden frame: false, the focus stays.
    EXPECT_FALSE(trySetFocus(f.txtRefNum_FHS));
    EXPECT_TRUE(f.txtPage_MARG->hasFocus());
    f.btnStore->setEnabled(false);
    EXPECT_FALSE(trySetFocus(f.btnStore));
    EXPECT_TRUE(f.txtPage_MARG->hasFocus());
}

TEST(SingleInstance, FirstCopyGoesOnAndIsRaisedByTheNext)
{
    Form first(QStringLiteral("frmFirst"));
    first.setCaption(QStringLiteral("Unique Test Window A"));
    first.resize(200, 100);
    first.Show();
    EXPECT_TRUE(CheckUnique(first));
    EXPECT_EQ(first.caption(), "Unique Test Window A");

    // A later copy of the same program: told to end, and the first is maximised.
    SingleInstance later(singleInstanceName(first.caption()));
    EXPECT_FALSE(later.start());
    QTRY_VERIFY_WITH_TIMEOUT(first.isMaximized(), 3000);
}

TEST(SingleInstance, LaterCopyEndsWhileTheFirstRuns)
{
    SingleInstance earlier(singleInstanceName(QStringLiteral("Unique Test Window B")));
    ASSERT_TRUE(earlier.start());
    QSignalSpy raised(&earlier, &SingleInstance::raiseRequested);
    Form second(QStringLiteral("frmSecond"));
    second.setCaption(QStringLiteral("Unique Test Window B"));
    EXPECT_FALSE(CheckUnique(second));
    EXPECT_EQ(second.caption(), "Unique Test Window B");
    EXPECT_TRUE(raised.count() > 0 || raised.wait(3000));
}

TEST(ConnectionSettings, SavesTheConnectionAndAppliesTheCustomer)
{
    SaveSetting(APP_TITLE, "frmConfig", "DSN", "HOST1");
    FormScript forms;
    g_blnLoggedIn = false;
    g_APP_STATE = 0;
    FrmConfig &config = frmConfig();
    EXPECT_EQ(config.txtDSN->text(), "HOST1");
    EXPECT_EQ(config.caption(), "iSeries Setup");

    config.cboState->setListIndex(1);
    EXPECT_EQ(g_APP_STATE, 1);
    // The customer's entries and default mode are in force at once.
    EXPECT_TRUE(frmMain().mnuNYRG->isVisible());
    EXPECT_FALSE(frmMain().mnuMARG->isVisible());
    EXPECT_EQ(g_dbMode, 5);
    config.txtUID->setText("user");
    config.txtPWD->setText(" pw");
    config.txtPWD2->setText("px");
    {
        MsgBoxScript boxes;
        config.btnOK->click();
        ASSERT_EQ(boxes.calls().size(), 1);
        EXPECT_EQ(boxes.calls()[0].prompt, "Passwords do not match.\r\n");
        EXPECT_EQ(boxes.calls()[0].title, "Error");
        EXPECT_TRUE(config.isLoaded());
        EXPECT_NE(GetSetting(APP_TITLE, "frmConfig", "UID"), "user");
    }
    config.txtPWD2->setText("pw ");  // compared trimmed
    config.btnOK->click();
    EXPECT_EQ(GetSetting(APP_TITLE, "frmConfig", "UID"), "user");
    EXPECT_EQ(GetSetting(APP_TITLE, "frmConfig", "PWD"), "pw");
    // The partner list is read again, behind the sign-on (here closed unanswered).
    ASSERT_EQ(forms.calls().size(), 1);
    EXPECT_EQ(forms.calls()[0].form, "frmLogin");
    EXPECT_FALSE(config.isLoaded());
    frmLogin().Unload();

    frmConfig().cboState->setListIndex(0);
    EXPECT_EQ(g_APP_STATE, 0);
    frmConfig().btnCancel->click();
}

TEST(ConnectionSettings, SwitchingCustomerLeavesNoValueOfTheLastOne)
{
    MsgBoxScript boxes;
    g_APP_STATE = STATE_MA;
    setState(STATE_MA, true);
    FrmMain &f = frmMain();
    // A Massachusetts document as a lookup leaves it.
    g_Book = "001010"; g_Page = "0001"; g_Year = "2019"; g_Month = "04"; g_Day = "01"; g_CTLNum = "00101";
    g_BookCode = "K"; g_DocNum = "0100001"; g_KyCd = "K"; g_DocId = "LR201900101";
    f.txtBook_MARG->setText("1010");
    f.txtPage_MARG->setText("1");
    f.txtDocNum_MALC->setText("100001");

    // Unstored pages: the switch asks first, and No keeps the customer and its document.
    frmConfig();
    g_blnPromptStore = true;
    boxes.answer(vb::vbNo);
    frmConfig().cboState->setListIndex(STATE_NY);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith("This document has not been stored."));
    EXPECT_EQ(g_APP_STATE, STATE_MA);
    EXPECT_EQ(frmConfig().cboState->listIndex(), STATE_MA);
    EXPECT_EQ(g_Book, "001010");
    EXPECT_TRUE(g_blnPromptStore);
    boxes.answer(vb::vbYes);
    frmConfig().cboState->setListIndex(STATE_NY);
    EXPECT_EQ(boxes.calls().size(), 2);
    ASSERT_EQ(g_dbMode, MODE_NYRG);
    for (QLineEdit *box : {f.txtBookCode_NYRG, f.txtBook_NYRG, f.txtPage_NYRG, f.txtCTLNum_NYRG, f.txtMonth_NYRG,
                           f.txtDay_NYRG, f.txtYear_NYRG, f.txtBook_MARG, f.txtDocNum_MALC})
        EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString() << " " << box->text().toStdString();
    EXPECT_TRUE(g_KyCd.isEmpty());
    EXPECT_TRUE(g_DocId.isEmpty());
    EXPECT_TRUE(g_DocNum.isEmpty());

    // Choosing the customer already in force keeps what was typed.
    f.txtBook_NYRG->setText("3000");
    frmConfig().cboState->setListIndex(STATE_NY);
    EXPECT_EQ(f.txtBook_NYRG->text(), "3000");
    // So does opening the dialog afresh and pressing OK: no question, the chosen mode and unstored pages stay.
    frmConfig().btnCancel->click();
    set_g_dbMode(MODE_NYCR);
    g_blnPromptStore = true;
    const qsizetype asked = boxes.calls().size();
    g_blnLoggedIn = false;
    frmConfig().txtUID->setText("user");
    frmConfig().txtPWD->setText("pw");
    frmConfig().txtPWD2->setText("pw");
    {
        FormScript forms;  // the partner reload's sign-on, closed unanswered
        frmConfig().btnOK->click();
    }
    frmLogin().Unload();
    EXPECT_EQ(boxes.calls().size(), asked);
    EXPECT_EQ(g_dbMode, MODE_NYCR);
    EXPECT_TRUE(g_blnPromptStore);
    // Opened afresh, a real switch still asks about those pages.
    boxes.answer(vb::vbNo);
    frmConfig().cboState->setListIndex(STATE_MA);
    EXPECT_EQ(boxes.calls().size(), asked + 1);
    EXPECT_EQ(g_APP_STATE, STATE_NY);
    EXPECT_TRUE(g_blnPromptStore);
    frmConfig().btnCancel->click();
    g_blnPromptStore = false;
    frmConfig().cboState->setListIndex(STATE_MA);
    frmConfig().btnCancel->click();
}
