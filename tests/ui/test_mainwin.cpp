#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "core/errors.h"
#include "core/state.h"
#include "platform/analysis/ip2.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "platform/system/system.h"
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
    explicit Document(int pages)
    {
        QImage page(40, 50, QImage::Format_Mono);
        page.fill(1);
        for (int i = 0; i < pages; ++i)
            f.ezPageView->appendPage(page);
        f.ezTreeView->setImageHandle(f.ezPageView->imageHandle());
        f.ezTreeView->setVisible(true);
        f.ezPageView->setPage(1);
        f.ezTreeView->setPage(1);
    }
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
    void SetUp() override
    {
        m_loggedIn = g_blnLoggedIn;
        m_forms = Forms();
    }
    // Forms the commands loaded (the dialogs, the sign-on) go again, so later tests load them fresh.
    void TearDown() override
    {
        const QList<Form *> now = Forms();
        for (Form *form : now)
            if (!m_forms.contains(form))
                form->Unload(vb::vbFormCode);
        g_blnLoggedIn = m_loggedIn;
    }
    bool m_loggedIn = false;
    QList<Form *> m_forms;
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

TEST_F(MainWin, DeleteCommandProtectsTheCoverSheetAndAsksWhenConfigured)
{
    const struct {
        const char *what;
        bool cover;
        bool ask;
        int answer;
        QString selection;
        QString message;   // the one box expected, empty: none
        int pagesAfter;
    } rows[] = {
        {"cover, 2,4-6", true, false, 0, "2,4-6", {}, 2},
        {"cover, 1-3", true, false, 0, "1-3", "You cannot select the cover sheet on an e-file document for deletion.", 6},
        {"cover, 3,1", true, false, 0, "3,1", "You cannot select the cover sheet on an e-file document for deletion.", 6},
        {"paper, 1-3", false, false, 0, "1-3", {}, 3},
        {"ask, OK", false, true, vb::vbOK, "2,4", "You have selected 2 pages to be deleted.  Do you want to proceed?", 4},
        {"ask, Cancel", false, true, vb::vbCancel, "2,4", "You have selected 2 pages to be deleted.  Do you want to proceed?", 6},
    };
    for (const auto &r : rows) {
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
        QelEzCommand cmd;
        cmd.command = 1001;
        cmd.value = QVariant(2);
        cmd.outNumber = 5;
        emit f.ezTreeView->command(cmd);
        EXPECT_EQ(f.ezTreeView->pageCount(), r.pagesAfter) << r.what;
        if (r.message.isEmpty()) {
            EXPECT_TRUE(boxes.calls().isEmpty()) << r.what;
        } else {
            ASSERT_EQ(boxes.calls().size(), 1) << r.what;
            EXPECT_EQ(boxes.calls()[0].prompt, r.message);
            EXPECT_EQ(boxes.calls()[0].buttonSet(), vb::vbOKCancel);
            EXPECT_EQ(boxes.calls()[0].title, "The Korvane Scan Tool");
        }
        // The control never deletes on its own after a delete command.
        EXPECT_EQ(cmd.outNumber, 0) << r.what;
        EXPECT_EQ(cmd.outFlag, 1) << r.what;
    }
    gsCoverPageStatus.clear();
    gsCoverPagePath.clear();
    g_blnPromptOnDelete = false;
}

TEST_F(MainWin, OtherTreeCommandsAndHiddenTreeDeleteNothing)
{
    Document doc(3);
    FrmMain &f = doc.f;
    MsgBoxScript boxes;
    g_blnPromptOnDelete = false;
    f.ezTreeView->setSelectedPages(QStringLiteral("2"));
    QelEzCommand other;
    other.command = 1002;
    other.outNumber = 7;
    other.outFlag = 9;
    emit f.ezTreeView->command(other);
    EXPECT_EQ(other.outNumber, 7);
    EXPECT_EQ(other.outFlag, 9);
    EXPECT_EQ(f.ezTreeView->pageCount(), 3);

    f.ezTreeView->setVisible(false);
    QelEzCommand del;
    del.command = 1001;
    emit f.ezTreeView->command(del);
    EXPECT_EQ(f.ezTreeView->pageCount(), 3);
    EXPECT_EQ(del.outFlag, 1);
    f.ezTreeView->setVisible(true);
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

TEST_F(MainWin, AnnotationMergeWalksEveryPageThenSignalsTheStore)
{
    Document doc(3);
    FrmMain &f = doc.f;
    f.ezPageView->setPage(1);
    f.ezPageView->createAnnotation(QelAnnotType::Rectangle);
    f.ezPageView->setPage(3);
    f.ezPageView->createAnnotation(QelAnnotType::Rectangle);
    f.ezPageView->createAnnotation(QelAnnotType::Redaction);
    f.ezPageView->setPage(1);
    g_intAnnotCount = 0;
    g_blnAnnotMergeDone = false;
    f.tmrAnnotationMerge->start(1);
    QElapsedTimer clock;
    clock.start();
    while (!g_blnAnnotMergeDone && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(g_blnAnnotMergeDone);
    EXPECT_FALSE(f.tmrAnnotationMerge->isActive());
    EXPECT_EQ(g_intAnnotCount, 3);
    EXPECT_EQ(f.ezPageView->page(), 1);
}

TEST_F(MainWin, AnnotationMergeOnAnEmptyViewStillEnds)
{
    FrmMain &f = frmMain();
    MsgBoxScript boxes;
    {
        MsgBoxScript quiet;
        f.ezPageView->clearImage();
    }
    g_blnAnnotMergeDone = false;
    f.tmrAnnotationMerge->start(600);
    f.tmrAnnotationMerge_Timer();
    EXPECT_TRUE(g_blnAnnotMergeDone);
    EXPECT_FALSE(f.tmrAnnotationMerge->isActive());
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

TEST_F(MainWin, ScanWithTheOverheadScannerOpensItsDialogOnly)
{
    FrmMain &f = frmMain();
    Scanner scanner(true);
    ASSERT_EQ(f.ezTreeView->sourceName(), "MIN7PS");
    MsgBoxScript boxes;
    FormScript forms;
    f.btnScan->setText(QStringLiteral("&Scan"));
    f.btnScan->setEnabled(true);
    f.ezTreeView->setDuplex(1);
    {
        QSignalBlocker quiet(f.chkDuplex);
        f.chkDuplex->setChecked(false);
    }
    f.btnScan_Click();
    EXPECT_EQ(shownForms(forms), QStringList{"frmOverhead over frmMain"});
    EXPECT_EQ(f.ezTreeView->duplex(), 1);
    EXPECT_EQ(f.ezTreeView->pageCount(), 0);
    unloadShown(forms);
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
        unloadShown(forms);
    }
    g_blnPromptStore = false;
}

TEST_F(MainWin, ScanSetsTheDuplexFromItsBoxThenScans)
{
    FrmMain &f = frmMain();
    Scanner scanner;
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
    ASSERT_FALSE(scanner.fake->jobs().isEmpty());  // the scan itself ran
    EXPECT_EQ(scanner.fake->jobs().first().settings.duplex, 0);
    unloadShown(forms);
    MsgBoxScript quiet;
    f.ezTreeView->clearImage();
    f.ezPageView->clearImage();
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
