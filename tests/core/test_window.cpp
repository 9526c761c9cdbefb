// Start-up, shutdown, mode switching and the workspace reset on the real main window, with the
// in-memory scanner and a scripted message box and modal-form seam.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "core/errors.h"
#include "core/files.h"
#include "core/mode.h"
#include "core/prefs.h"
#include "core/reset.h"
#include "core/shutdown.h"
#include "core/startup.h"
#include "coretest.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"
#include "platform/analysis/ip2.h"
#include "ui/frmMain.h"

namespace {

bool mainWindowLoaded()
{
    for (Form *f : Forms())
        if (f->objectName() == QLatin1String("frmMain"))
            return true;
    return false;
}

class Window : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        resetCoreHooks();
        CoreHooks &h = coreHooks();
        h.commandLine = [this] { return commandLine; };
        h.endProcess = [this](int code) { ended << code; };
        h.getEfilePartners = [this](qint16 state) { partnerCalls << state; };
        h.setBookSizeNormal = [this] { ++bookSizeNormal; };
        h.signOff = [this](const QString &c, const QString &u, const QString &p) {
            traffic << "signoff " + c + " " + u + " " + p;
            if (failSignOff)
                throw VbError(-2147467259, "Communication link failure");
        };
        setSettingsObserver([this](char op, const QString &section, const QString &key) {
            if (op == 'W')
                traffic << section + "/" + key;
        });
        auto fake = std::make_unique<FakeScanner>();
        scanner = fake.get();
        setScannerSession(std::move(fake));
        QDir().mkpath(dir.filePath("prog/bin/data"));
        QFile::copy(qEnvironmentVariable("QUORLA_SOURCE_DIR") + "/data/clear.tif",
                    dir.filePath("prog/bin/data/clear.tif"));
    }

    void TearDown() override
    {
        closeMainWindow();
        setSettingsObserver({});
        resetCoreHooks();
        setScannerSession(nullptr);
        CoreTest::TearDown();
    }

    // Unloads the main window through its ordinary close road (shutdown included).
    void closeMainWindow()
    {
        if (!mainWindowLoaded())
            return;
        g_blnPromptStore = false;
        frmMain().Unload(vb::vbFormControlMenu);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A fresh main window: its Load runs the whole start-up, then the first reset.
    FrmMain &start()
    {
        closeMainWindow();
        resetState();
        setPreferencesLoaded(false);
        boxes.clear();
        traffic.clear();
        return frmMain();
    }

    static void store(const QString &section, const QString &key, const QString &value)
    {
        SaveSetting(APP_TITLE, section, key, value);
    }
    // The stored host connection (no password: none stored).
    static void storeHost(const QString &password = QString())
    {
        store("frmConfig", "DSN", "LANDREC");
        store("frmConfig", "UID", "SCAN01");
        if (!password.isEmpty())
            store("frmConfig", "PWD", password);
    }

    QStringList boxTexts() const
    {
        QStringList t;
        for (const MsgBoxCall &c : boxes.calls())
            t << c.prompt;
        return t;
    }

    MsgBoxScript boxes;
    FormScript forms;
    FakeScanner *scanner = nullptr;
    QString commandLine;
    QList<int> ended;
    QList<qint16> partnerCalls;
    int bookSizeNormal = 0;
    bool failSignOff = false;
    QStringList traffic;
};

const QStringList kWriteOrder = {
    "Preferences/g_APP_STATE", "Preferences/g_dbMode", "Preferences/g_blnReturnDefault",
    "Preferences/g_intBaseLineBrightness", "Preferences/g_intDefaultPaperSource",
    "Preferences/g_blnPromptOnDelete", "Preferences/g_IntDefaultRescanAction",
    "Preferences/g_blnImprint", "Preferences/g_blnDetectBlank", "Preferences/g_intBlankSensitivity",
    "Preferences/g_strBarcodeLog", "Preferences/g_blnDefaultDuplex", "Preferences/g_blnDoByteAlign",
    "Preferences/g_strByteAlignLog", "Preferences/g_blnProcessBatch", "Preferences/gdtDocType",
    "Preferences/g_AutoNextPageInterface", "Preferences/g_AutoMaticRedaction",
    "Preferences/g_RedactionDefaultFillColor", "Preferences/g_blnUseDefaultPrinter",
    "Preferences/g_intDefaultPrintScale"};

const char *const kNoScanner =
    "No Scanner Found.  Scanning functions of the program have been disabled.  To re-enable "
    "scanning, make sure your scanner is properly connected and turned on, then select a scanner "
    "under Scanner->Select Scanner. note: Some scanners need to be connected at system startup, and "
    "may require a system reset.";

} // namespace

// --- start-up and shutdown ---------------------------------------------------------------------

TEST_F(Window, StartUpWithScannerThenShutdownSignsOffFirstAndWritesEverything)
{
    store("Preferences", "g_dbMode", "9");
    store("Preferences", "g_blnImprint", "True");
    store("Preferences", "g_intBaseLineBrightness", "0");
    store("Preferences", "g_intDefaultPaperSource", "-1");
    store("Preferences", "g_AutoMaticRedaction", "1");
    FrmMain &f = start();

    EXPECT_FALSE(boxTexts().contains(kNoScanner));
    EXPECT_TRUE(g_blnScannerConnected);
    EXPECT_TRUE(f.cmdSettings->isEnabled());
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.keyPreview());
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_EQ(partnerCalls, QList<qint16>{0});
    EXPECT_TRUE(g_strTempPath.endsWith('/'));
    EXPECT_EQ(g_sClearTifPath, dir.filePath("prog/bin/data/clear.tif"));
    EXPECT_TRUE(g_blnFirstHandFeed);
    // preferences with their fix-ups and the imprint rule of mode 9
    EXPECT_EQ(g_dbMode, MODE_MARGBS);
    EXPECT_FALSE(g_blnImprint);
    EXPECT_EQ(g_intBaseLineBrightness, 128);
    EXPECT_EQ(scanner->brightness(), 128);
    EXPECT_EQ(g_intDefaultPaperSource, 0);
    EXPECT_TRUE(g_strBarcodeLog.endsWith(": Barcode Scan Log Initialized\r\n"));
    // start values
    EXPECT_EQ(g_Book, "000000");
    EXPECT_EQ(g_DocNum, "0000000");
    EXPECT_EQ(gsRedacted, "N");
    EXPECT_EQ(g_GroupTextInfo[3].FontSize, 10);
    EXPECT_EQ(g_intCoverTextFontSize, 10);
    // controls
    ASSERT_EQ(f.cboCurrentDocType->listCount(), 2);
    EXPECT_EQ(f.cboCurrentDocType->list(0), "Scanner");
    EXPECT_EQ(f.cboCurrentDocType->list(1), "e-File");
    EXPECT_EQ(f.lblScannerPaperSource->text(), "Scanner Source: ADF");
    EXPECT_TRUE(f.lblPageSize->isHidden());
    EXPECT_TRUE(f.chkDuplex->isEnabled());
    EXPECT_TRUE(f.chkDuplex->isChecked());
    EXPECT_TRUE(f.chkRedaction->isChecked());
    EXPECT_FALSE(f.btnRedact->isEnabled());
    EXPECT_FALSE(f.chkAutoNextPage->isEnabled());
    EXPECT_FALSE(f.tmrAutoNextPage->isActive());
    EXPECT_FALSE(f.timOverheadScan->isActive());
    EXPECT_FALSE(f.fraMEBS->isHidden());
    EXPECT_TRUE(f.mnuMARGBS->isChecked());
    EXPECT_TRUE(f.mnuOverhead->isVisible() == false);
    EXPECT_EQ(scanner->resolution(), 200);
    EXPECT_EQ(f.ezPageView->workingFileName(), g_strTempPath + "temp.tif");
    EXPECT_EQ(g_ScanWidth, float(scanner->scanWidth()));

    storeHost("s3cret");
    QFile script(dir.filePath("prog/bin/force.sh"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("touch '" + dir.filePath("forced") + "'\n").toUtf8());
    script.close();
    traffic.clear();
    closeMainWindow();

    ASSERT_EQ(traffic.size(), 22);
    EXPECT_EQ(traffic.first(), "signoff provider=IBMDA400;data source=LANDREC; SCAN01 s3cret");
    EXPECT_EQ(traffic.mid(1), kWriteOrder);
    EXPECT_EQ(GetSetting(APP_TITLE, "Preferences", "g_blnImprint"), "False");
    EXPECT_EQ(GetSetting(APP_TITLE, "Preferences", "g_dbMode"), "9");
    EXPECT_EQ(GetSetting(APP_TITLE, "Preferences", "g_strBarcodeLog", "x"), "");
    EXPECT_TRUE(QFile::exists(scannerConfigPath()));
    EXPECT_EQ(forms.calls().size() >= 1 ? forms.calls().last().form : QString(), "frmShutdown");
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(dir.filePath("forced")) && t.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_TRUE(QFile::exists(dir.filePath("forced")));
}

TEST_F(Window, StartUpWithoutScannerDisablesScanningAndWritesNoScannerFile)
{
    scanner->setPresent(false);
    store("Preferences", "g_intDefaultPaperSource", "2");
    storeHost();
    FrmMain &f = start();

    EXPECT_TRUE(boxTexts().contains(kNoScanner));
    for (const MsgBoxCall &c : boxes.calls())
        if (c.prompt == kNoScanner) {
            EXPECT_EQ(c.icon(), 0);
            EXPECT_EQ(c.title, "The Korvane Scan Tool");
        }
    EXPECT_FALSE(g_blnScannerConnected);
    EXPECT_FALSE(f.cmdSettings->isEnabled());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.lblScannerPaperSource->text(), "Scanner Source: FB");
    EXPECT_FALSE(f.lblPageSize->isHidden());
    EXPECT_FALSE(f.cboPageSize->isHidden());
    EXPECT_FALSE(f.chkDuplex->isEnabled());
    EXPECT_FALSE(f.chkDuplex->isChecked());
    EXPECT_FALSE(f.fraMARG->isHidden()); // mode 0, Scanner document
    EXPECT_EQ(f.lblDatabase->text(), "Recorded Land");

    traffic.clear();
    closeMainWindow();
    EXPECT_EQ(traffic, kWriteOrder); // no password: no sign-off
    EXPECT_FALSE(QFile::exists(scannerConfigPath()));
}

TEST_F(Window, StartUpAndShutdownWithTheSaneTestScanner)
{
    setScannerSession(nullptr); // the SANE session, seeing only the virtual test scanner
    scanner = nullptr;
    FrmMain &f = start();
    EXPECT_FALSE(boxTexts().contains(kNoScanner));
    EXPECT_TRUE(g_blnScannerConnected);
    EXPECT_TRUE(f.cmdSettings->isEnabled());
    EXPECT_FALSE(scannerSession().sourceName().isEmpty());
    EXPECT_GT(g_ScanWidth, 0);
    closeMainWindow();
    QFile cfg(scannerConfigPath());
    ASSERT_TRUE(cfg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cfg.readAll().contains(scannerSession().sourceName().toUtf8()));
}

TEST_F(Window, OverheadScannerMenuOnlyWithTheModelConnected)
{
    scanner->device().model = "MIN7PS";
    FrmMain &f = start();
    EXPECT_TRUE(f.mnuOverhead->isVisible());
    EXPECT_EQ(bookSizeNormal, 1);
}

TEST_F(Window, UnconvertibleStoredPreferenceIsReportedAndStartUpCompletes)
{
    store("Preferences", "g_intBlankSensitivity", "lots");
    store("Preferences", "g_dbMode", "5");
    store("Preferences", "g_APP_STATE", "1");
    FrmMain &f = start();
    EXPECT_TRUE(boxTexts().contains("Error in app_init at line 5\r\n13: Type mismatch")) << boxTexts().join("|").toStdString();
    EXPECT_EQ(g_intBlankSensitivity, 3);
    EXPECT_EQ(g_dbMode, MODE_NYRG);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.fraNYRG->isHidden());
    closeMainWindow();
    EXPECT_EQ(GetSetting(APP_TITLE, "Preferences", "g_intBlankSensitivity"), "3");
}

TEST_F(Window, StoredFilterChainIsRestoredAndAnUnreadableOneIsReported)
{
    store("Settings", "FilterSettings2", "IP2PrefilterA|IP2BlankDetector(4)");
    start();
    ASSERT_TRUE(g_FilterSettings);
    EXPECT_EQ(g_FilterSettings->count(), 2);
    EXPECT_EQ(g_FilterSettings->settingsText(), "IP2PrefilterA|IP2BlankDetector(4)");
    closeMainWindow();

    g_FilterSettings.reset();
    store("Settings", "FilterSettings2", "no such filter((");
    FrmMain &f = start();
    EXPECT_FALSE(g_FilterSettings);
    EXPECT_TRUE(boxTexts().join("|").contains("Error in app_init at line 10")) << boxTexts().join("|").toStdString();
    EXPECT_TRUE(f.isVisible());
}

TEST_F(Window, DebugSwitchIsCaseSensitiveAndThePasswordNeverReachesTheLog)
{
    commandLine = "/DEBUG";
    start();
    EXPECT_FALSE(g_blnDebug);
    EXPECT_FALSE(QDir(dir.filePath("prog/Logs")).exists());

    commandLine = "-x /debugging";
    start();
    EXPECT_TRUE(g_blnDebug);
    storeHost("s3cret");
    closeMainWindow();
    const QStringList files = QDir(dir.filePath("prog/Logs")).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile log(dir.filePath("prog/Logs/" + files.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains("Korvane Scan Tool::app_init::About to load all preferences from the registry."));
    EXPECT_TRUE(text.contains("\tg_blnImprint = True\r\n\t"));
    EXPECT_TRUE(text.contains("Korvane Scan Tool::app_init::The CheckUnique function completed successfully."));
    EXPECT_TRUE(text.contains("myUID = SCAN01"));
    EXPECT_FALSE(text.contains("s3cret"));
}

TEST_F(Window, FailingSignOffIsReportedAndEverythingIsStillWritten)
{
    start();
    storeHost("pw");
    failSignOff = true;
    traffic.clear();
    boxes.clear();
    closeMainWindow();
    EXPECT_TRUE(boxTexts().contains("Error in endProgram at line 3\r\n-2147467259: Communication link failure"));
    EXPECT_EQ(traffic.mid(1), kWriteOrder);
    EXPECT_TRUE(QFile::exists(scannerConfigPath()));
}

TEST_F(Window, ShutdownWritesNoPreferencesThatWereNeverRead)
{
    setPreferencesLoaded(false);
    traffic.clear();
    endProgram();
    EXPECT_TRUE(traffic.isEmpty());
}

// --- mode switching ----------------------------------------------------------------------------

namespace {

struct ModeRow {
    qint16 mode;
    bool efile;
    const char *frame;
    const char *entry; // the ticked Database entry ("" for none)
    int docIndex;
    bool selectorEnabled;
};

const ModeRow kModes[] = {
    {MODE_MARG, false, "fraMARG", "mnuMARG", 0, true},
    {MODE_MARG, true, "fraMARGElectronic", "mnuMARG", 1, true},
    {MODE_MALC, false, "fraMALC", "mnuMALC", 0, true},
    {MODE_MALC, true, "fraMARGElectronic", "mnuMALC", 1, true},
    {MODE_MALCP, false, "fraMALCP", "mnuMALCP", 0, false},
    {MODE_MEBS, true, "fraMEBS", "mnuMEBS", 0, false},
    {MODE_MERG_UPD, false, "fraMARG", "mnuMERG", 0, true},
    {MODE_MERG_UPD, true, "fraMARGElectronic", "mnuMERG", 1, true},
    {MODE_NYRG, false, "fraNYRG", "mnuNYRG", 0, true},
    {MODE_NYRG, true, "fraNYRGElectronic", "mnuNYRG", 1, true},
    {MODE_NYMD, false, "fraNYRG", "mnuNYMD", 0, false},
    {MODE_NYCR, true, "fraNYRG", "mnuNYCR", 0, false},
    {MODE_FHS, false, "fraFHS", "mnuFHS", 0, false},
    {MODE_MARGBS, false, "fraMEBS", "mnuMARGBS", 0, false},
    {MODE_NYBS, false, "fraMEBS", "mnuNYBS", 0, false},
    {MODE_NYBR, false, "fraNYBR", "mnuNYBR", 0, false},
    {MODE_MACC, false, "fraMACC", "mnuMACC", 0, false},
    {13, false, "", "", 0, false},
};

const char *const kFrames[] = {"fraNYRG", "fraMARG", "fraMALC", "fraMERG", "fraMALCP", "fraMEBS",
                               "fraFHS", "fraNYBR", "fraMACC", "fraMARGElectronic", "fraNYRGElectronic"};

} // namespace

TEST_F(Window, EveryModeShowsOneFrameTicksOneEntryAndResetsOnce)
{
    FrmMain &f = start();
    for (const ModeRow &row : kModes) {
        for (int startIndex : {0, 1}) {
            f.cboCurrentDocType->setListIndex(startIndex); // its handler sets the document type
            gdtCurrentDocType = row.efile ? 1 : 0;
            const int before = resetCount();
            set_g_dbMode(row.mode);
            const std::string ctx = std::to_string(row.mode) + (row.efile ? " e-File" : " Scanner")
                                    + " from index " + std::to_string(startIndex);
            EXPECT_EQ(resetCount() - before, 1) << ctx;
            EXPECT_EQ(g_dbMode, row.mode) << ctx;
            QStringList shown;
            for (const char *name : kFrames)
                if (!qobject_cast<QWidget *>(f.control(name))->isHidden())
                    shown << name;
            EXPECT_EQ(shown, *row.frame ? QStringList{row.frame} : QStringList{}) << ctx;
            QStringList ticked;
            for (QAction *a : f.databaseEntries())
                if (a->isChecked())
                    ticked << a->objectName();
            EXPECT_EQ(ticked, *row.entry ? QStringList{row.entry} : QStringList{}) << ctx;
            if (row.mode != 13) {
                EXPECT_EQ(f.cboCurrentDocType->listIndex(), row.docIndex) << ctx;
            }
            if (row.mode != 13 && startIndex != row.docIndex) { // the selector's handler ran
                EXPECT_EQ(gdtCurrentDocType, row.docIndex) << ctx;
            }
            EXPECT_EQ(f.cboCurrentDocType->isEnabled(), row.selectorEnabled) << ctx;
            EXPECT_EQ(f.fraDefaultDocType->isEnabled(), row.selectorEnabled) << ctx;
            EXPECT_EQ(f.mnuBatchRotate->isEnabled(), row.mode != MODE_MALCP) << ctx;
        }
    }
}

TEST_F(Window, CustomerStatesOfferTheirEntries)
{
    FrmMain &f = start();
    auto visibleEntries = [&f] {
        QStringList v;
        for (QAction *a : f.databaseEntries())
            if (a->isVisible())
                v << a->objectName();
        return v;
    };
    set_g_dbMode(MODE_MALC);
    setState(STATE_NY, false);
    EXPECT_EQ(g_dbMode, MODE_MALC);
    EXPECT_EQ(visibleEntries(), QStringList({"mnuNYRG", "mnuNYCR", "mnuNYMD", "mnuNYBS", "mnuNYBR"}));

    setState(STATE_NY, true);
    EXPECT_EQ(g_dbMode, MODE_NYRG);
    setState(STATE_ME_UPD, true);
    EXPECT_EQ(g_dbMode, MODE_MERG_UPD);
    EXPECT_EQ(visibleEntries(), QStringList({"mnuMERG", "mnuMEBS"}));
    EXPECT_TRUE(f.mnuMERG->isChecked());

    setState(STATE_MA, true);
    EXPECT_EQ(g_dbMode, MODE_MARG);
    EXPECT_EQ(visibleEntries(), QStringList({"mnuMARG", "mnuMALC", "mnuMALCP", "mnuMACC", "mnuMARGBS"}));

    setState(STATE_FHS, false);
    EXPECT_EQ(g_dbMode, MODE_FHS);
    EXPECT_EQ(visibleEntries(), QStringList({"mnuFHS"}));
    EXPECT_TRUE(f.mnuFHS->isChecked());

    const qint16 outside = 7;
    setState(outside, true);
    EXPECT_EQ(g_dbMode, MODE_FHS);
    EXPECT_EQ(visibleEntries(), QStringList({"mnuMARG"}));
}

TEST_F(Window, TabOrderFollowsTheModeAndDocumentType)
{
    FrmMain &f = start();
    auto positions = [&f](std::initializer_list<QWidget *> ws) {
        QList<int> p;
        for (QWidget *w : ws)
            p << f.tabIndex(w);
        return p;
    };
    gdtCurrentDocType = 0;
    set_taborder(MODE_NYRG);
    EXPECT_EQ(positions({f.cboCurrentDocType, f.txtBookCode_NYRG, f.txtBook_NYRG, f.txtPage_NYRG,
                         f.txtCTLNum_NYRG, f.txtMonth_NYRG, f.txtDay_NYRG, f.txtYear_NYRG}),
              QList<int>({1, 2, 3, 4, 5, 6, 7, 8}));
    gdtCurrentDocType = 1;
    set_taborder(MODE_MALC);
    EXPECT_EQ(positions({f.cboCurrentDocType, f.cboEFilePartnerMARG, f.txtSubmitCdMARGElec,
                         f.txtLocationCdMARGElec, f.txtTrandIDMARG, f.txtDocIdMARGElec}),
              QList<int>({1, 2, 3, 4, 5, 6}));
    gdtCurrentDocType = 0;
    const int comboBefore = f.tabIndex(f.cboCurrentDocType);
    set_taborder(MODE_MALC);
    EXPECT_EQ(g_dbMode, MODE_MALC);
    EXPECT_EQ(positions({f.txtDocNum_MALC, f.chkScanUnIndexedDocsMALC}), QList<int>({1, 2}));
    EXPECT_NE(f.tabIndex(f.cboCurrentDocType), 1);
    (void)comboBefore;
    set_taborder(MODE_FHS);
    EXPECT_EQ(positions({f.txtRefCode_FHS, f.txtRefNum_FHS}), QList<int>({1, 2}));
}

// --- workspace reset ---------------------------------------------------------------------------

TEST_F(Window, ResetShowsTheStoredIndexCaptionsAndKeyHelp)
{
    FrmMain &f = start();
    const QString help = keyHelpText();
    EXPECT_TRUE(help.startsWith("\r\n\r\nF6: Help \r\n\r\nShortcuts: \r\n\r\nScanning Actions:\r\n"));
    EXPECT_TRUE(help.endsWith("F12: Rotate Mode - All Pages\r\nCtrl-Z: Undo Changes"));
    EXPECT_EQ(help.count("\r\n"), 28);

    gdtCurrentDocType = 0;
    set_g_dbMode(MODE_MARG);
    f.txtBook_MARG->setText("keep");
    g_Book = "000000";
    new_bkPg(false, false);
    EXPECT_EQ(f.txtBook_MARG->text(), "keep");

    g_Book = "000123";
    g_Page = "0045";
    g_NumPages = "0007";
    g_blnPromptStore = true;
    f.chkScanUnIndexedDocsMEMARG->setChecked(true);
    new_bkPg(true, false);
    EXPECT_EQ(f.txtBook_MARG->text(), "123");
    EXPECT_EQ(f.txtPage_MARG->text(), "45");
    EXPECT_EQ(g_NumPages, "0000");
    EXPECT_FALSE(g_blnPromptStore);
    EXPECT_EQ(f.lblDatabase->text(), "Recorded Land");
    EXPECT_EQ(f.lblStatus->text(), "Enter your starting book and page and click Start to begin." + help);
    EXPECT_EQ(f.btnGoNew->text(), "St&art");
    EXPECT_EQ(f.defaultButton(), f.btnGoNew);
    EXPECT_EQ(f.btnScan->text(), "&Scan");
    EXPECT_FALSE(f.btnScan->isEnabled());
    EXPECT_FALSE(f.btnStore->isEnabled());
    EXPECT_FALSE(f.mnuStore->isEnabled());
    EXPECT_TRUE(f.btnRotate->isHidden());
    EXPECT_TRUE(f.ezPageView->isHidden());
    EXPECT_FALSE(f.chkScanUnIndexedDocsMEMARG->isHidden());
    EXPECT_FALSE(f.chkScanUnIndexedDocsMEMARG->isChecked());
    EXPECT_TRUE(f.chkScanUnIndexedDocsMALC->isHidden());
    EXPECT_TRUE(f.chkScanUnIndexedDocsMABS->isHidden());
    EXPECT_EQ(f.tabIndex(f.txtBook_MARG), 2);
}

TEST_F(Window, ResetPrefillsPerMode)
{
    FrmMain &f = start();
    gdtCurrentDocType = 0;

    g_DocId = "12345-B";
    g_DocNum = "0000001";
    set_g_dbMode(MODE_MALC);
    EXPECT_EQ(g_DocNum, "12345");
    EXPECT_EQ(f.txtDocNum_MALC->text(), "12345");
    EXPECT_EQ(f.txtYear_MALC->text(), "0000");
    EXPECT_FALSE(f.txtYear_MALC->isEnabled());
    EXPECT_EQ(f.tabIndex(f.chkScanUnIndexedDocsMALC), 2);

    g_Book = "12AB";
    g_CTLNum = "00042";
    g_Day = "07";
    g_Month = "03";
    g_Year = "2019";
    f.txtBook_NYRG->setText("keep");
    set_g_dbMode(MODE_NYRG);
    EXPECT_EQ(g_Book, "000000");
    // the control number filled in fires its field rule, which empties the book key
    EXPECT_EQ(f.txtBook_NYRG->text(), "");
    EXPECT_EQ(f.txtCTLNum_NYRG->text(), "42");
    EXPECT_EQ(f.txtMonth_NYRG->text(), "3");
    EXPECT_EQ(f.txtYear_NYRG->text(), "2019");
    EXPECT_EQ(f.lblControlNumLabel_NYRG->text(), "OR Control #:");
    EXPECT_EQ(f.lblStatus->text(), "Enter your starting book code, book, and page or Date and Control "
                                   "Number.  Click Start to begin." + keyHelpText());

    g_Book = "000010";
    g_Page = "0003";
    g_EndingPage = "";
    set_g_dbMode(MODE_MEBS);
    EXPECT_EQ(g_EndingPage, "0003");
    EXPECT_EQ(f.txtEndingPage_MEBS->text(), "3");
    EXPECT_EQ(f.lblDatabase->text(), "");
    EXPECT_FALSE(f.mnuBatchScan->isEnabled());
    EXPECT_FALSE(f.txtBookCode_NYBS->isEnabled());
    // The book-code box and its caption belong to the New York book scan only.
    for (qint16 mode : {MODE_MEBS, MODE_NYBS, MODE_MARGBS, MODE_NYBS}) {
        set_g_dbMode(mode);
        EXPECT_EQ(f.txtBookCode_NYBS->isHidden(), mode != MODE_NYBS) << mode;
        EXPECT_EQ(f.txtBookCode_NYBS->isEnabled(), mode == MODE_NYBS) << mode;
        EXPECT_EQ(f.lblBookCodeLabel->isHidden(), mode != MODE_NYBS) << mode;
    }

    // a ten-digit reference number does not fit 32 bits
    g_RefNum = "9876543210";
    g_RefCode = "RC";
    boxes.clear();
    set_g_dbMode(MODE_FHS);
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_EQ(f.txtRefNum_FHS->text(), "9876543210");
    EXPECT_EQ(f.txtRefCode_FHS->text(), "RC");
    EXPECT_EQ(f.tabIndex(f.txtRefNum_FHS), 2);

    g_CertNum = "  C-77  ";
    g_DocNum = "0000099";
    set_g_dbMode(MODE_MACC);
    EXPECT_EQ(f.txtDocNum_MACC->text(), "99");
    EXPECT_EQ(f.txtCertNum_MACC->text(), "C-77");

    set_g_dbMode(MODE_NYBR);
    EXPECT_EQ(f.defaultButton(), f.btnScan);
    EXPECT_TRUE(f.btnScan->isEnabled());
    EXPECT_EQ(f.lblStatus->text(), "Scan to scan the document\r\nStore to save document\r\nHover over "
                                   "image windows for more options." + keyHelpText());
}

TEST_F(Window, NonNumericIndexDoesNotAbortTheReset)
{
    FrmMain &f = start();
    gdtCurrentDocType = 0;
    set_g_dbMode(MODE_MARG);
    g_Book = "ABC";
    g_Page = "x";
    f.txtBook_MARG->setText("kept");
    boxes.clear();
    set_g_dbMode(MODE_MALCP);
    g_Plan1 = "P-1";
    new_bkPg(false, false);
    EXPECT_TRUE(boxes.calls().isEmpty()) << boxTexts().join("|").toStdString();
    EXPECT_EQ(f.tabIndex(f.txtPlan3_MALCP), 3); // the reset ran to its end
    set_g_dbMode(MODE_MARG);
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_EQ(f.txtBook_MARG->text(), "kept");
}

TEST_F(Window, ElectronicResetFillsOrClearsTheBatch)
{
    FrmMain &f = start();
    f.cboCurrentDocType->setListIndex(1);
    gsBatchId = "B000042";
    g_WrkStationIP.clear();
    set_g_dbMode(MODE_MARG);
    EXPECT_EQ(f.btnScan->text(), "Get &Batch");
    EXPECT_FALSE(f.btnScan->isEnabled());
    EXPECT_EQ(f.txtTrandIDMARG->text(), "B000042");
    EXPECT_EQ(f.lblDatabase->text(), "Recorded Land - eFile");
    f.txtSubmitCdMARGElec->setText("S1");
    new_bkPg(false, true);
    EXPECT_EQ(f.txtTrandIDMARG->text(), "");
    EXPECT_EQ(f.txtSubmitCdMARGElec->text(), "");
    g_WrkStationIP = "10.0.0.5";
    new_bkPg(false, false);
    EXPECT_TRUE(f.btnScan->isEnabled());
    EXPECT_TRUE(f.lblBookMAMERGElec->isHidden());
    EXPECT_EQ(f.tabIndex(f.txtDocIdMARGElec), 6);
}

TEST_F(Window, ResetDeletesTheWorkingFilesAndEmptiesTheViews)
{
    FrmMain &f = start();
    const QStringList names = {"temp.tif", "temp2.tif", "tempburn.tif", "tempoverlayANN.tif",
                               "tempprintpreview.tif", "resize2.tif", "temp5.tif", "byteAlign.tif"};
    for (const QString &n : names) {
        QFile file(g_strTempPath + n);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFile other(g_strTempPath + "keep.tif");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    g_intOldDocLength = 4;
    new_bkPg(false, false);
    for (const QString &n : names)
        EXPECT_FALSE(QFile::exists(g_strTempPath + n)) << n.toStdString();
    EXPECT_TRUE(QFile::exists(g_strTempPath + "keep.tif"));
    EXPECT_EQ(g_intOldDocLength, 0);
    EXPECT_EQ(f.ezTreeView->pageCount(), 0);
    EXPECT_TRUE(f.ezTreeView->isHidden());
}

TEST_F(Window, BlankPageIsOneWhiteBilevelPage)
{
    QelEzImage view;
    view.setImageFile(qEnvironmentVariable("QUORLA_SOURCE_DIR") + "/data/clear.tif");
    ASSERT_EQ(view.pageCount(), 1);
    const QImage page = view.pageImage();
    EXPECT_EQ(page.size(), QSize(1700, 2200));
    EXPECT_EQ(view.xResolution(), 200);
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
    bool allWhite = true;
    for (int y = 0; y < grey.height() && allWhite; y += 97)
        for (int x = 0; x < grey.width(); ++x)
            if (qGray(grey.pixel(x, y)) != 255) {
                allWhite = false;
                break;
            }
    EXPECT_TRUE(allWhite);
}
