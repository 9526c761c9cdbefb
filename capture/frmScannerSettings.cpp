#include "capture/frmScannerSettings.h"

#include "capture/frmScanningArea.h"
#include "core/localisation.h"
#include "core/state.h"
#include "platform/forms/builders.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/vb/vberror.h"

#include <QButtonGroup>

namespace {

template <class W> W *place(Form &f, W *w, const QString &name, int x, int y, int width, int height = 22)
{
    f.addControl(w, name);
    w->setGeometry(x, y, width, height);
    return w;
}

} // namespace

FrmScannerSettings::FrmScannerSettings() : Form(QStringLiteral("frmScannerSettings"))
{
    setCaption(QStringLiteral("Scanner Settings"));
    // Left column: the labelled choices.
    Label6 = addLabel(*this, this, QStringLiteral("Label6"), QStringLiteral("&Source:"), 8, 10, 90);
    cboScannerSource = place(*this, new ComboBox(this), QStringLiteral("cboScannerSource"), 100, 8, 150);
    cboScannerSource->addItem(QStringLiteral("Document Feeder (ADF)"));
    cboScannerSource->addItem(QStringLiteral("Flatbed (FB)"));
    Label1 = addLabel(*this, this, QStringLiteral("Label1"), QStringLiteral("&Mode:"), 8, 40, 90);
    cboMode = place(*this, new QelEzScanModeSetting(this), QStringLiteral("cboMode"), 100, 38, 150);
    Label2 = addLabel(*this, this, QStringLiteral("Label2"), QStringLiteral("D&ither:"), 8, 70, 90);
    cboDither = place(*this, new QelEzScanDitherSetting(this), QStringLiteral("cboDither"), 100, 68, 150);
    Label3 = addLabel(*this, this, QStringLiteral("Label3"), QStringLiteral("Dots pe&r inch:"), 8, 100, 90);
    QelEzScanSetting1 = place(*this, new QelEzScanResolutionSetting(this), QStringLiteral("QelEzScanSetting1"), 100, 98, 150);
    Label4 = addLabel(*this, this, QStringLiteral("Label4"), QStringLiteral("&Page Size:"), 8, 130, 90);
    cboPageSize = place(*this, new QelEzScanPageSizeSetting(this), QStringLiteral("cboPageSize"), 8, 152, 242);
    Label1->setBuddy(cboMode->combo());
    Label2->setBuddy(cboDither->combo());
    Label3->setBuddy(QelEzScanSetting1->combo());
    Label4->setBuddy(cboPageSize->combo());
    Label6->setBuddy(cboScannerSource);

    // Middle: brightness and contrast.
    Frame1 = place(*this, new QGroupBox(QStringLiteral("&Brightness"), this), QStringLiteral("Frame1"), 262, 4, 200, 150);
    QelEzScanSetting3 = place(*this, new QelEzScanLevelSetting(QelEzScanLevelSetting::Brightness, QString(), Frame1),
                              QStringLiteral("QelEzScanSetting3"), 8, 72, 184);
    QelEzScanSetting2 = place(*this, new QelEzScanAutoSetting(QStringLiteral("Automatic"), QelEzScanSetting3, false, Frame1),
                              QStringLiteral("QelEzScanSetting2"), 8, 20, 90);
    optManual = place(*this, new QRadioButton(QStringLiteral("Manual"), Frame1), QStringLiteral("optManual"), 100, 20, 90);
    QelEzScanSetting4 = place(*this, new QelEzScanAutoSetting(QStringLiteral("Auto"), QelEzScanSetting3, false, Frame1),
                              QStringLiteral("QelEzScanSetting4"), 8, 46, 90);
    QelEzScanSetting5 = place(*this, new QelEzScanBrightnessButton(QelEzScanBrightnessButton::Lighten, QStringLiteral("&Lighten"), Frame1),
                              QStringLiteral("QelEzScanSetting5"), 8, 104, 58, 24);
    cmdNormal = place(*this, new QelEzScanBrightnessButton(QelEzScanBrightnessButton::Normal, QStringLiteral("&Normal"), Frame1),
                      QStringLiteral("cmdNormal"), 70, 104, 58, 24);
    cmdDarken = place(*this, new QelEzScanBrightnessButton(QelEzScanBrightnessButton::Darken, QStringLiteral("Dar&ken"), Frame1),
                      QStringLiteral("cmdDarken"), 132, 104, 58, 24);
    auto *brightGroup = new QButtonGroup(this);
    brightGroup->addButton(QelEzScanSetting2->radio());
    brightGroup->addButton(optManual);
    brightGroup->addButton(QelEzScanSetting4->radio());
    optManual->setChecked(true);
    connect(optManual, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            QelEzScanSetting3->refresh();
    });
    for (QelEzScanBrightnessButton *b : {QelEzScanSetting5, cmdNormal, cmdDarken})
        connect(b, &QelEzScanSetting::change, QelEzScanSetting3, &QelEzScanLevelSetting::refresh);

    Frame2 = place(*this, new QGroupBox(QStringLiteral("&Contrast"), this), QStringLiteral("Frame2"), 262, 158, 200, 100);
    QelEzScanSetting8 = place(*this, new QelEzScanLevelSetting(QelEzScanLevelSetting::DeviceOption, QStringLiteral("contrast"), Frame2),
                              QStringLiteral("QelEzScanSetting8"), 8, 46, 150);
    QelEzScanSetting9 = place(*this, new QelEzScanLevelValue(QelEzScanSetting8, Frame2), QStringLiteral("QelEzScanSetting9"), 162, 46, 30);
    QelEzScanSetting6 = place(*this, new QelEzScanAutoSetting(QStringLiteral("Manual"), QelEzScanSetting8, true, Frame2),
                              QStringLiteral("QelEzScanSetting6"), 8, 20, 90);
    QelEzScanSetting7 = place(*this, new QelEzScanAutoSetting(QStringLiteral("Automatic"), QelEzScanSetting8, false, Frame2),
                              QStringLiteral("QelEzScanSetting7"), 100, 20, 90);
    auto *contrastGroup = new QButtonGroup(this);
    contrastGroup->addButton(QelEzScanSetting6->radio());
    contrastGroup->addButton(QelEzScanSetting7->radio());
    QelEzScanSetting6->radio()->setChecked(true);

    // Bottom: the region side.
    Frame3 = place(*this, new QGroupBox(QStringLiteral("Region Selection"), this), QStringLiteral("Frame3"), 8, 262, 454, 52);
    Label5 = addLabel(*this, Frame3, QStringLiteral("Label5"), QStringLiteral("Re&gion:"), 8, 22, 60);
    QelEzScanSetting12 = place(*this, new QelEzScanSideSetting(Frame3), QStringLiteral("QelEzScanSetting12"), 70, 20, 150);
    Label5->setBuddy(QelEzScanSetting12->combo());

    // Right column: the buttons.
    cmdOk = place(*this, new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOk"), 474, 8, 90, 26);
    cmdCancel = place(*this, new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("cmdCancel"), 474, 40, 90, 26);
    cmdDefault = place(*this, new QPushButton(QStringLiteral("&Default"), this), QStringLiteral("cmdDefault"), 474, 72, 90, 26);
    cmdArea = place(*this, new QPushButton(QStringLiteral("&Area..."), this), QStringLiteral("cmdArea"), 474, 104, 90, 26);
    cmdMore = place(*this, new QelEzScanMoreSetting(QStringLiteral("M&ore..."), this), QStringLiteral("cmdMore"), 474, 136, 90, 26);
    chkDuplex = place(*this, new QelEzScanDuplexSetting(QStringLiteral("Duple&x"), this), QStringLiteral("chkDuplex"), 474, 168, 90);
    for (QPushButton *b : {cmdOk, cmdCancel, cmdDefault, cmdArea})
        b->setAutoDefault(false);
    lblScanDriverVersion = addLabel(*this, this, QStringLiteral("lblScanDriverVersion"), QString(), 8, 190, 242);
    lblQelDfltVersion = addLabel(*this, this, QStringLiteral("lblQelDfltVersion"), QString(), 8, 214, 242);
    setDefaultButton(cmdOk);
    setCancelButton(cmdCancel);
    resize(574, 322);

    connect(cmdOk, &QPushButton::clicked, this, &FrmScannerSettings::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmScannerSettings::cmdCancel_Click);
    connect(cmdDefault, &QPushButton::clicked, this, &FrmScannerSettings::cmdDefault_Click);
    connect(cmdArea, &QPushButton::clicked, this, &FrmScannerSettings::cmdArea_Click);
    // Widgets that show the same setting follow each other.
    connect(chkDuplex, &QelEzScanSetting::change, QelEzScanSetting12, &QelEzScanSideSetting::refresh);
    connect(QelEzScanSetting12, &QelEzScanSetting::change, chkDuplex, &QelEzScanDuplexSetting::refresh);
    connect(cboMode, &QelEzScanSetting::change, cboDither, &QelEzScanDitherSetting::refresh);
    connect(cmdMore, &QelEzScanSetting::change, this, &FrmScannerSettings::refreshSettings);
}

int FrmScannerSettings::StartForm(QelEzImage &control)
{
    QelEzScanner &scanner = ezScanner(control);
    bool openedHere = false;
    if (!scanner.scannerOpen()) {
        openedHere = true;
        try {
            scanner.setScannerOpen(true);
        } catch (const VbError &e) {
            MsgBox(LocalizeString(QStringLiteral("Error Loading Scanner Driver: ")) + e.description, vb::vbOKOnly);
            return 0;
        }
    }
    // With the driver opened here, a failing step is passed over; otherwise it goes to the caller.
    const auto step = [openedHere](const std::function<void()> &fn) {
        if (!openedHere) {
            fn();
            return;
        }
        try {
            fn();
        } catch (const VbError &) {
        }
    };

    FrmScannerSettings form;
    struct Unloader {
        FrmScannerSettings &f;
        ~Unloader()
        {
            if (f.m_editing)
                f.endEdit(false);  // shown without an answer: the edit still ends
            f.Unload(vb::vbFormCode);
        }
    } unloader{form};
    form.m_bound = &control;
    step([&] { form.Load(); });
    step([&] {
        scanner.beginSettings();
        form.m_editing = true;
        form.refreshSettings();
    });
    step([&] { form.setDefaultButton(form.cmdOk); });
    step([&] { form.Show(vb::vbModal); });
    return form.m_result;
}

void FrmScannerSettings::Form_Load()
{
    LocalizeForm(*this);
    Move((Screen::Width() - Width()) / 2, (Screen::Height() - Height()) / 2);
    QelEzScanner &scanner = ezScanner(*m_bound);
    lblQelDfltVersion->setText(scanner.defaultDriverVersion());
    lblScanDriverVersion->setText(scanner.driverVersion());
    cboScannerSource->setListIndex(g_intDefaultPaperSource == 2 ? 1 : 0);
}

void FrmScannerSettings::Form_Activate() { cmdOk->setFocus(); }

void FrmScannerSettings::Form_QueryUnload(int &cancel, int unloadMode)
{
    if (unloadMode == vb::vbFormControlMenu) {
        cancel = 1;
        cmdCancel_Click();
    }
}

void FrmScannerSettings::Form_Unload(int &) { m_bound = nullptr; }

void FrmScannerSettings::endEdit(bool apply)
{
    if (!m_editing || !m_bound)
        return;
    m_editing = false;
    QelEzScanner &scanner = ezScanner(*m_bound);
    if (apply)
        scanner.applySettings();
    else
        scanner.cancelSettings();
}

void FrmScannerSettings::cmdOk_Click()
{
    endEdit(true);
    g_intDefaultPaperSource = cboScannerSource->listIndex() <= 0 ? 0 : 2;
    Hide();
    m_result = 1;
}

void FrmScannerSettings::cmdCancel_Click()
{
    endEdit(false);
    Hide();
    m_result = 0;
}

void FrmScannerSettings::cmdDefault_Click()
{
    QelEzScanner &scanner = ezScanner(*m_bound);
    scanner.defaultSettings();
    scanner.setResolution(200);
    refreshSettings();
}

void FrmScannerSettings::cmdArea_Click() { frmScanningArea().StartForm(*m_bound); }

void FrmScannerSettings::refreshSettings()
{
    cboMode->refresh();
    cboDither->refresh();
    QelEzScanSetting1->refresh();
    cboPageSize->refresh();
    QelEzScanSetting3->refresh();
    QelEzScanSetting8->refresh();
    QelEzScanSetting12->refresh();
    chkDuplex->refresh();
}
