#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/settings/settings.h"
#include "batch/frm1stBarcode.h"
#include "batch/frmBarcodeLog.h"
#include "batch/frmBatch.h"
#include "batch/frmBatchProgress.h"
#include "batch/frmBatchRotate.h"
#include "capture/frmOverhead.h"
#include "capture/frmTrim.h"
#include "ui/commondialog/ccommondialog.h"
#include "ui/frmConfig.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"
#include "ui_env.h"

namespace {
struct Prefs {
    bool returnDefault = true, promptOnDelete = false, duplex = true, imprint = true, byteAlign = false;
    qint32 docType = 1;
    qint16 interval = 5, redaction = 1, printer = 0, printScale = 2, rescan = 1, brightness = 128, sensitivity = 3;
    qint32 fill = 0x00FF00;
    bool blank = true;
    void apply() const
    {
        frmMain(); // its loading reads the stored preferences
        g_blnReturnDefault = returnDefault;
        g_blnPromptOnDelete = promptOnDelete;
        g_blnDefaultDuplex = duplex;
        g_blnImprint = imprint;
        g_blnDoByteAlign = byteAlign;
        gdtDocType = docType;
        g_AutoNextPageInterface = interval;
        g_AutoMaticRedaction = redaction;
        g_blnUseDefaultPrinter = printer;
        g_intDefaultPrintScale = printScale;
        g_IntDefaultRescanAction = rescan;
        g_intBaseLineBrightness = brightness;
        g_intBlankSensitivity = sensitivity;
        g_RedactionDefaultFillColor = fill;
        g_blnDetectBlank = blank;
    }
};

FrmPreferences &openPreferences(qint16 mode)
{
    g_dbMode = mode;
    return frmPreferences();
}
}

TEST(Preferences, LoadShowsTheGlobals)
{
    Prefs{}.apply();
    FrmPreferences &p = openPreferences(MODE_MARG);
    EXPECT_TRUE(p.chkResetDefault->isChecked());
    EXPECT_FALSE(p.chkPromptOnDelete->isChecked());
    EXPECT_TRUE(p.chkDuplex->isChecked());
    EXPECT_TRUE(p.chkImprint->isChecked());
    EXPECT_TRUE(p.chkImprint->isEnabled());
    EXPECT_EQ(p.cboDefaultDocType->currentText(), "e-File");
    EXPECT_EQ(p.cboImagePrintScale->currentText(), "Actual Pixels");
    EXPECT_EQ(p.txtAutoInterval->text(), "5");
    EXPECT_EQ(p.scrBaseLineBrightness->value(), 128);
    EXPECT_EQ(p.lblBaselineBrightness->text(), "128");
    EXPECT_TRUE(p.optDefaultRescanAction[1]->isChecked());
    EXPECT_EQ(p.SliBlankPage->value(), 4);
    EXPECT_EQ(p.picRedactionFillColor->palette().color(QPalette::Window), QColor(0, 255, 0));
    p.CancelButton->click();
}

// Each preference the dialog changes: the immediate ones are written at once and stay after
// Cancel, the others are written on OK only.
TEST(Preferences, ImmediateControlsWriteAtOnceTheOthersOnOkOnly)
{
    using P = FrmPreferences;
    const struct {
        const char *control;
        std::function<void(P &)> change;
        std::function<bool()> written;
        bool immediate;
    } rows[] = {
        {"SliBlankPage", [](P &p) { p.SliBlankPage->setValue(2); }, [] { return g_intBlankSensitivity == 1; }, true},
        {"chkRedactImages", [](P &p) { p.chkRedactImages->setChecked(false); }, [] { return g_AutoMaticRedaction == 0; }, true},
        {"chkUseDefaultPrinter", [](P &p) { p.chkUseDefaultPrinter->setChecked(true); },
         [] { return g_blnUseDefaultPrinter == 1; }, true},
        {"chkDuplex", [](P &p) { p.chkDuplex->setChecked(false); }, [] { return !g_blnDefaultDuplex; }, true},
        {"chkBlankPage", [](P &p) { p.chkBlankPage->setChecked(false); }, [] { return !g_blnDetectBlank; }, true},
        {"chkResetDefault", [](P &p) { p.chkResetDefault->setChecked(false); }, [] { return !g_blnReturnDefault; }, false},
        {"chkPromptOnDelete", [](P &p) { p.chkPromptOnDelete->setChecked(true); }, [] { return g_blnPromptOnDelete; }, false},
        {"chkImprint", [](P &p) { p.chkImprint->setChecked(false); }, [] { return !g_blnImprint; }, false},
        {"chkDoByteAlign", [](P &p) { p.chkDoByteAlign->setChecked(true); }, [] { return g_blnDoByteAlign; }, false},
        {"cboDefaultDocType", [](P &p) { p.cboDefaultDocType->setListIndex(0); }, [] { return gdtDocType == 0; }, false},
        {"txtAutoInterval", [](P &p) { p.txtAutoInterval->setText("12"); }, [] { return g_AutoNextPageInterface == 12; }, false},
        {"cboImagePrintScale", [](P &p) { p.cboImagePrintScale->setListIndex(1); },
         [] { return g_intDefaultPrintScale == 1; }, false},
        {"scrBaseLineBrightness", [](P &p) { p.scrBaseLineBrightness->setValue(40); },
         [] { return g_intBaseLineBrightness == 40; }, false},
        {"optDefaultRescanAction", [](P &p) { p.optDefaultRescanAction[0]->setChecked(true); },
         [] { return g_IntDefaultRescanAction == 0; }, false},
    };
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        Prefs{}.apply();
        FrmPreferences &p = openPreferences(MODE_MARG);
        MsgBoxScript boxes; // the scanner may refuse the brightness here
        for (const auto &r : rows) {
            r.change(p);
            EXPECT_EQ(r.written(), r.immediate) << r.control;
        }
        EXPECT_EQ(p.lblBaselineBrightness->text(), "40");
        for (QWidget *w : std::initializer_list<QWidget *>{p.SliBlankPage, p.lblBlankSensitivity, p.lblBlankLess, p.lblBlankMore})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        (ok ? p.OKButton : p.CancelButton)->click();
        EXPECT_FALSE(p.isVisible());
        for (const auto &r : rows)
            EXPECT_EQ(r.written(), r.immediate || ok) << r.control;
    }
}

TEST(Preferences, AnIntervalOutsideItsRangeIsRefusedAndChangesNothing)
{
    for (const char *text : {"abc", "70000", "2.5", "", "-5", "32768"}) {
        Prefs{}.apply();
        FrmPreferences &p = openPreferences(MODE_MARG);
        MsgBoxScript boxes;
        p.chkResetDefault->setChecked(false);
        p.txtAutoInterval->setText(text);
        p.OKButton->click();
        EXPECT_EQ(g_AutoNextPageInterface, 5) << text;
        EXPECT_TRUE(g_blnReturnDefault) << text;
        ASSERT_EQ(boxes.calls().size(), 1) << text;
        EXPECT_TRUE(boxes.calls()[0].prompt.contains("Auto Next Page Interval in Seconds")) << text;
        // Corrected, the same dialog takes it.
        p.txtAutoInterval->setText("0");
        p.OKButton->click();
        EXPECT_EQ(g_AutoNextPageInterface, 0) << text;
        EXPECT_FALSE(g_blnReturnDefault) << text;
    }
}

TEST(Preferences, TheIntervalTakesTheWholeIntegerRangeAndItsArrowsStepFromTheText)
{
    Prefs{}.apply();
    FrmPreferences &p = openPreferences(MODE_MARG);
    MsgBoxScript boxes;
    p.txtAutoInterval->selectAll();
    QTest::keyClicks(p.txtAutoInterval, "10");
    QTest::keyClick(p.UpDown1, Qt::Key_Up);
    EXPECT_EQ(p.txtAutoInterval->text(), "11");
    p.txtAutoInterval->selectAll();
    QTest::keyClicks(p.txtAutoInterval, "32767");
    QTest::keyClick(p.UpDown1, Qt::Key_Down);
    EXPECT_EQ(p.txtAutoInterval->text(), "32766");
    p.txtAutoInterval->setText("32767");
    p.OKButton->click();
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_EQ(g_AutoNextPageInterface, 32767);
}

TEST(Preferences, AStoredPrintScaleOutsideTheListShowsAndKeepsTheFirstEntry)
{
    for (qint16 stored : {-1, 3, 99}) {
        Prefs prefs;
        prefs.printScale = stored;
        prefs.apply();
        FrmPreferences &p = openPreferences(MODE_MARG);
        MsgBoxScript boxes;
        EXPECT_EQ(p.cboImagePrintScale->listIndex(), 0) << stored;
        p.OKButton->click();
        EXPECT_EQ(g_intDefaultPrintScale, 0) << stored;
    }
}

TEST(Preferences, OutsideTheRecordedLandModesImprintAndSourceAreOff)
{
    Prefs{}.apply();
    FrmPreferences &p = openPreferences(MODE_MALCP);
    EXPECT_FALSE(p.chkImprint->isEnabled());
    EXPECT_FALSE(p.chkImprint->isChecked());
    EXPECT_FALSE(p.cboDefaultDocType->isEnabled());
    EXPECT_EQ(p.cboDefaultDocType->currentText(), "Scanner");
    MsgBoxScript boxes;
    p.OKButton->click();
    EXPECT_FALSE(g_blnImprint);
    EXPECT_EQ(gdtDocType, 0);
}

TEST(Preferences, FillColourComesFromTheColourDialog)
{
    Prefs{}.apply();
    FrmPreferences &p = openPreferences(MODE_MARG);
    CommonDialogScript dialogs;
    CommonDialogAnswer chosen;
    chosen.ok = true;
    chosen.color = 0x0000FF; // red
    dialogs.answer(chosen);
    p.btnRedactColor->click();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, CommonDialogRequest::Color);
    EXPECT_EQ(dialogs.requests[0].flags, 1 | 128 | 2); // initial colour, solid, fully open
    EXPECT_EQ(dialogs.requests[0].color, 0x00FF00);
    EXPECT_EQ(g_RedactionDefaultFillColor, 0x0000FF);
    EXPECT_EQ(p.picRedactionFillColor->palette().color(QPalette::Window), QColor(255, 0, 0));
    // Cancelled: the colour the dialog holds (the one chosen before) stays.
    p.btnRedactColor->click();
    EXPECT_EQ(dialogs.requests[1].color, 0x0000FF);
    EXPECT_EQ(g_RedactionDefaultFillColor, 0x0000FF);
    p.CancelButton->click();
}

TEST(About, TitleVersionAndClosingKeys)
{
    // The program's own title and version: the client version it reports to the host.
    FrmAbout &a = frmAbout();
    EXPECT_EQ(a.lblVersion->text(), "Version: 3.70.3000");
    a.Unload();

    const struct { const char *in, *out; } versions[] = {
        {"3.70.0.3", "3.70.3"}, {"1.02.0.07", "1.2.7"}, {"2.5.9", "2.5.9"}, {"4", "4.0.0"}};
    for (const auto &v : versions)
        EXPECT_EQ(versionText(v.in), v.out) << v.in;

    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        FrmAbout &box = frmAbout();
        box.Show();
        box.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
        QSignalSpy unloaded(&box, &Form::unloaded);
        QTest::keyClick(&box, key);
        EXPECT_EQ(unloaded.count(), 1) << key;
    }
}

// Whatever the machine keys say, a program that cannot be started is said to be unavailable.
TEST(About, SystemInformationUnavailable)
{
    const QString keys = testRoot() + "/machine.ini";
    const QString folder = testRoot() + "/sysinfo";
    QDir().mkpath(folder);
    QFile notAProgram(folder + "/MSINFO32.EXE");
    ASSERT_TRUE(notAProgram.open(QIODevice::WriteOnly));
    notAProgram.close();
    setMachineKeysFile(keys);
    FrmAbout &a = frmAbout();
    const QString rows[] = {
        "",                                                                       // neither key
        "Microsoft\\Shared Tools Location\\MSINFO=" + testRoot(),             // a folder without it
        "Microsoft\\Shared Tools Location\\MSINFO=" + folder,                 // a file that is no program
        "Microsoft\\Shared Tools\\MSINFO\\PATH=" + testRoot() + "/missing/msinfo",
        "Microsoft\\Shared Tools\\MSINFO\\PATH=",                            // an empty path is read
    };
    for (const QString &row : rows) {
        SCOPED_TRACE(row.toStdString());
        QFile f(keys);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(("[SOFTWARE]\n" + row + "\n").toUtf8());
        f.close();
        MsgBoxScript boxes;
        a.cmdSysInfo->click();
        EXPECT_EQ(boxes.calls().size(), 1);
        EXPECT_EQ(boxes.calls().value(0).prompt, "System Information Is Unavailable At This Time");
        EXPECT_EQ(boxes.calls().value(0).buttons, vb::vbOKOnly);
        EXPECT_TRUE(a.isLoaded());
    }
    setMachineKeysFile(QString());
    a.Unload();
}

TEST(About, GetKeyValueReadsStringsNumbersAndEmptyValuesAsTheRegistryHoldsThem)
{
    const QString keys = testRoot() + "/machine-values.ini";
    {
        QFile f(keys);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[SOFTWARE]\n"
                "Korvane\\Test\\Path=/opt/sysinfo/msinfo\n"
                "Korvane\\Test\\Empty=\n"
                "Korvane\\Test\\Sixteen=dword:00000010\n"
                "Korvane\\Test\\Wide=dword:12345678\n"
                "Korvane\\Test\\Small=dword:01020304\n"
                "Korvane\\Test\\Whole=hex(1):61,62,63\n"
                "Korvane\\Test\\EndsInNul=hex(1):61,62,00\n"
                "Korvane\\Test\\Binary=hex:01,02\n"
                "Korvane\\Test\\Fits=" + QByteArray(1023, 'f') + "\n"
                "Korvane\\Test\\TooLong=" + QByteArray(1024, 'x') + "\n");
    }
    setMachineKeysFile(keys);
    FrmAbout &a = frmAbout();
    const QString key = "SOFTWARE\\Korvane\\Test";
    struct Case {
        const char *name;
        bool read;
        QString value;
    };
    const Case cases[] = {
        {"Path", true, "/opt/sysinfo/msinfo"},
        {"Empty", true, ""},
        // A number's bytes from the last to the first, each without a leading zero, after a
        // final zero byte has gone the way of a string's NUL.
        {"Sixteen", true, "&h0010"},
        {"Wide", true, "&h12345678"},
        {"Small", true, "&h1234"},
        {"Whole", true, "abc"},
        {"EndsInNul", true, "ab"},
        {"Binary", true, "as passed"},
        {"Fits", true, QString(1023, u'f')},
        {"TooLong", false, ""},
        {"Missing", false, ""},
    };
    for (const Case &c : cases) {
        QString value = "as passed";
        EXPECT_EQ(a.GetKeyValue(HKEY_LOCAL_MACHINE, key, c.name, value), c.read) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
    // The machine keys are under the local machine's root only.
    QString value = "as passed";
    EXPECT_FALSE(a.GetKeyValue(HKEY_CURRENT_USER, key, "Path", value));
    EXPECT_EQ(value, "");
    setMachineKeysFile(QString());
    a.Unload();
}

TEST(Preferences, AChangedDefaultDuplexReachesTheScannerAtOnce)
{
    Prefs{}.apply();
    FrmMain &f = frmMain();
    FormScript forms;
    MsgBoxScript boxes;
    f.ezTreeView->setDuplex(1);
    forms.onShow("frmPreferences", [](Form &form) {
        auto &p = static_cast<FrmPreferences &>(form);
        p.chkDuplex->setChecked(false);
        p.OKButton->click();
    });
    f.mnuPreferences->trigger();
    EXPECT_FALSE(g_blnDefaultDuplex);
    EXPECT_EQ(f.ezTreeView->duplex(), 0);
}

TEST(Dialogs, EscapeAnswersAsTheCancelOrCloseButton)
{
    frmMain();
    MsgBoxScript boxes;
    FormScript forms;
    const struct {
        std::function<Form &()> open;
        const char *button;
    } rows[] = {
        {[]() -> Form & { return frmBatch(); }, "btnCancel"},
        {[]() -> Form & { return frmBatchRotate(); }, "btnCancel"},
        {[]() -> Form & { return frmTrim(); }, "CancelButton"},
        {[]() -> Form & { return frmOverhead(); }, "CancelButton"},
        {[]() -> Form & { return frm1stBarcode(); }, "CancelButton"},
        {[]() -> Form & { return frmBarcodeLog(); }, "btnClose"},
        {[]() -> Form & { return frmPreferences(); }, "CancelButton"},
        {[]() -> Form & { return frmConfig(); }, "btnCancel"},
    };
    for (const auto &r : rows) {
        QPointer<Form> form(&r.open());
        SCOPED_TRACE(form->objectName().toStdString());
        auto *button = form->findChild<QAbstractButton *>(r.button);
        ASSERT_NE(button, nullptr);
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        QWidget *target = form->focusWidget() ? form->focusWidget() : form.data();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_EQ(clicked.count(), 1);
        if (form)
            form->Unload();
    }

    // A progress window keeps its Abort to itself: Escape clicks Close once the run enabled it.
    FrmBatchProgress &progress = frmBatchProgress();
    g_BlnAbortBatch = false;
    QSignalSpy aborted(progress.btnAbort, &QAbstractButton::clicked);
    QTest::keyClick(&progress, Qt::Key_Escape);
    EXPECT_EQ(aborted.count(), 0);
    EXPECT_FALSE(g_BlnAbortBatch);
    progress.btnClose->setEnabled(true);
    QSignalSpy closed(progress.btnClose, &QAbstractButton::clicked);
    QTest::keyClick(&progress, Qt::Key_Escape);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(aborted.count(), 0);

    // While a road runs in a window, Escape does not stop it.
    FrmOverhead &overhead = frmOverhead();
    {
        Road road(overhead);
        Road::Run run(road);
        QSignalSpy cancelled(overhead.CancelButton, &QAbstractButton::clicked);
        QTest::keyClick(&overhead, Qt::Key_Escape);
        EXPECT_EQ(cancelled.count(), 0);
    }
    overhead.Unload();
}
