#include "ui/frmPreferences.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>

#include "core/errors.h"
#include "platform/forms/msgbox.h"
#include "core/state.h"
#include "ui/commondialog/ccommondialog.h"
#include "ui/frmMain.h"

FrmPreferences &frmPreferences() { return defaultInstance<FrmPreferences>(); }

FrmPreferences::FrmPreferences() : Form(QStringLiteral("frmPreferences"))
{
    setCaption(QStringLiteral("Preferences"));
    auto *outer = new QVBoxLayout(this);
    auto group = [&](const QString &caption) {
        auto *g = new QGroupBox(caption, this);
        outer->addWidget(g);
        return g;
    };
    auto check = [this](QWidget *parent, const QString &name, const QString &caption) {
        return addControl(new QCheckBox(caption, parent), name);
    };
    auto label = [this](QWidget *parent, const QString &name, const QString &caption) {
        return addControl(new QLabel(caption, parent), name);
    };

    QGroupBox *print = group(QStringLiteral("Print Image"));
    auto *printGrid = new QGridLayout(print);
    printGrid->addWidget(new QLabel(QStringLiteral("Print Image Scale"), print), 0, 0);
    cboImagePrintScale = addControl(new ComboBox(print), QStringLiteral("cboImagePrintScale"));
    for (const char *entry : {"Fit Image to Printed Page", "Actual Size", "Actual Pixels"})
        cboImagePrintScale->addItem(QString::fromLatin1(entry));
    printGrid->addWidget(cboImagePrintScale, 0, 1);
    chkUseDefaultPrinter = check(print, QStringLiteral("chkUseDefaultPrinter"),
                                 QStringLiteral("Use Default Printer When Printing"));
    printGrid->addWidget(chkUseDefaultPrinter, 1, 0, 1, 2);

    QGroupBox *general = group(QStringLiteral("General"));
    auto *grid = new QGridLayout(general);
    chkRedactImages = check(general, QStringLiteral("chkRedactImages"), QStringLiteral("Perform Image Redaction"));
    grid->addWidget(chkRedactImages, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Default Redaction Fill Color"), general), 1, 0);
    picRedactionFillColor = addControl(new QFrame(general), QStringLiteral("picRedactionFillColor"));
    picRedactionFillColor->setFixedSize(40, 20);
    picRedactionFillColor->setFrameShape(QFrame::Box);
    picRedactionFillColor->setAutoFillBackground(true);
    grid->addWidget(picRedactionFillColor, 1, 1);
    btnRedactColor = addControl(new QPushButton(QStringLiteral("Chan&ge..."), general), QStringLiteral("btnRedactColor"));
    btnRedactColor->setAutoDefault(false);
    grid->addWidget(btnRedactColor, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Auto Next Page Interval in Seconds"), general), 2, 0);
    txtAutoInterval = addControl(new QLineEdit(general), QStringLiteral("txtAutoInterval"));
    UpDown1 = addControl(new QSpinBox(general), QStringLiteral("UpDown1"));
    UpDown1->setRange(0, 32767);
    {
        // the up-down is the text box's arrows: only the spin box's buttons show, beside the box
        QStyleOptionSpinBox opt;
        opt.initFrom(UpDown1);
        const QRect up = UpDown1->style()->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxUp, UpDown1);
        UpDown1->setFixedWidth(up.width() + 2 * UpDown1->style()->pixelMetric(QStyle::PM_SpinBoxFrameWidth));
        auto *interval = new QHBoxLayout;
        interval->setSpacing(0);
        interval->addWidget(txtAutoInterval);
        interval->addWidget(UpDown1);
        grid->addLayout(interval, 2, 1);
    }
    int r = 3;
    chkDuplex = check(general, QStringLiteral("chkDuplex"), QStringLiteral("Default to duplex scan"));
    chkImprint = check(general, QStringLiteral("chkImprint"), QStringLiteral("Imprint document on Store"));
    chkPromptOnDelete = check(general, QStringLiteral("chkPromptOnDelete"), QStringLiteral("Prompt user on page delete"));
    chkResetDefault = check(general, QStringLiteral("chkResetDefault"),
                            QStringLiteral("Return to default settings after each scan"));
    chkDoByteAlign = check(general, QStringLiteral("chkDoByteAlign"), QStringLiteral("Byte Align Images on Store"));
    for (QCheckBox *c : {chkDuplex, chkImprint, chkPromptOnDelete, chkResetDefault, chkDoByteAlign})
        grid->addWidget(c, r++, 0, 1, 3);
    auto *source = new QGroupBox(QStringLiteral("Document Source"), general);
    auto *sourceRow = new QHBoxLayout(source);
    cboDefaultDocType = addControl(new ComboBox(source), QStringLiteral("cboDefaultDocType"));
    sourceRow->addWidget(cboDefaultDocType);
    grid->addWidget(source, r, 0, 1, 3);

    QGroupBox *rescan = group(QStringLiteral("Default Rescan Action"));
    auto *rescanCol = new QVBoxLayout(rescan);
    optDefaultRescanAction[0] = addControl(new QRadioButton(QStringLiteral("Insert new pages at cursor position"), rescan),
                                           QStringLiteral("optDefaultRescanAction(0)"));
    optDefaultRescanAction[1] = addControl(new QRadioButton(QStringLiteral("Overwrite all pages"), rescan),
                                           QStringLiteral("optDefaultRescanAction(1)"));
    rescanCol->addWidget(optDefaultRescanAction[0]);
    rescanCol->addWidget(optDefaultRescanAction[1]);

    QGroupBox *brightness = group(QStringLiteral("Baseline Brightness"));
    auto *brightRow = new QHBoxLayout(brightness);
    brightRow->addWidget(new QLabel(QStringLiteral("Darker"), brightness));
    scrBaseLineBrightness = addControl(new QScrollBar(Qt::Horizontal, brightness), QStringLiteral("scrBaseLineBrightness"));
    scrBaseLineBrightness->setRange(1, 255);
    brightRow->addWidget(scrBaseLineBrightness, 1);
    brightRow->addWidget(new QLabel(QStringLiteral("Lighter"), brightness));
    lblBaselineBrightness = label(brightness, QStringLiteral("lblBaselineBrightness"), QString());
    brightRow->addWidget(lblBaselineBrightness);

    QGroupBox *blank = group(QStringLiteral("Blank Page Removal"));
    auto *blankGrid = new QGridLayout(blank);
    chkBlankPage = check(blank, QStringLiteral("chkBlankPage"), QStringLiteral("Remove Blank Pages"));
    blankGrid->addWidget(chkBlankPage, 0, 0, 1, 3);
    lblBlankSensitivity = label(blank, QStringLiteral("lblBlankSensitivity"), QStringLiteral("Sensitivity"));
    blankGrid->addWidget(lblBlankSensitivity, 1, 0);
    SliBlankPage = addControl(new QSlider(Qt::Horizontal, blank), QStringLiteral("SliBlankPage"));
    SliBlankPage->setRange(1, 10);
    SliBlankPage->setPageStep(1);
    blankGrid->addWidget(SliBlankPage, 1, 1, 1, 2);
    lblBlankLess = label(blank, QStringLiteral("lblBlankLess"), QStringLiteral("Remove Less Pages"));
    lblBlankMore = label(blank, QStringLiteral("lblBlankMore"), QStringLiteral("Remove More Pages"));
    blankGrid->addWidget(lblBlankLess, 2, 1);
    blankGrid->addWidget(lblBlankMore, 2, 2, Qt::AlignRight);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OKButton = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("OKButton"));
    CancelButton = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("CancelButton"));
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    outer->addLayout(buttons);
    setDefaultButton(OKButton);
    setCancelButton(CancelButton);

    // Boxes that write their global at once.
    connect(chkDuplex, &QCheckBox::toggled, this, [](bool on) { g_blnDefaultDuplex = on; });
    connect(chkRedactImages, &QCheckBox::toggled, this, [](bool on) { g_AutoMaticRedaction = on ? 1 : 0; });
    connect(chkUseDefaultPrinter, &QCheckBox::toggled, this, [](bool on) { g_blnUseDefaultPrinter = on ? 1 : 0; });
    connect(chkBlankPage, &QCheckBox::toggled, this, &FrmPreferences::chkBlankPage_Click);
    connect(SliBlankPage, &QSlider::valueChanged, this, [](int v) { g_intBlankSensitivity = qint16(v - 1); });
    connect(scrBaseLineBrightness, &QScrollBar::valueChanged, this,
            [this](int v) { lblBaselineBrightness->setText(QString::number(v)); });
    connect(UpDown1, &QSpinBox::valueChanged, this, [this](int v) { txtAutoInterval->setText(QString::number(v)); });
    // The arrows step from the number in the text box, typed or shown.
    connect(txtAutoInterval, &QLineEdit::textChanged, this, [this](const QString &text) {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        if (ok) {
            const QSignalBlocker quiet(UpDown1);
            UpDown1->setValue(v);
        }
    });
    connect(btnRedactColor, &QPushButton::clicked, this, &FrmPreferences::btnRedactColor_Click);
    connect(OKButton, &QPushButton::clicked, this, &FrmPreferences::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &FrmPreferences::CancelButton_Click);
}

static bool imprintModes() { return g_dbMode == MODE_MARG || g_dbMode == MODE_MERG_UPD || g_dbMode == MODE_NYRG; }

void FrmPreferences::Form_Load()
{
    cboDefaultDocType->addItem(QStringLiteral("Scanner"));
    cboDefaultDocType->addItem(QStringLiteral("e-File"));

    chkResetDefault->setChecked(g_blnReturnDefault);
    chkPromptOnDelete->setChecked(g_blnPromptOnDelete);
    chkDuplex->setChecked(g_blnDefaultDuplex);
    if (imprintModes()) {
        chkImprint->setChecked(g_blnImprint);
        cboDefaultDocType->setListIndex(gdtDocType != 0 ? 1 : 0);
    } else {
        chkImprint->setChecked(false);
        chkImprint->setEnabled(false);
        cboDefaultDocType->setListIndex(0);
        cboDefaultDocType->setEnabled(false);
    }

    cboImagePrintScale->setEnabled(true);
    // A stored scale outside the list shows (and keeps on OK) the first entry.
    const bool knownScale = g_intDefaultPrintScale >= 0 && g_intDefaultPrintScale < cboImagePrintScale->listCount();
    cboImagePrintScale->setListIndex(knownScale ? g_intDefaultPrintScale : 0);

    scrBaseLineBrightness->setValue(g_intBaseLineBrightness);
    lblBaselineBrightness->setText(QString::number(g_intBaseLineBrightness));

    if (g_IntDefaultRescanAction == 0 || g_IntDefaultRescanAction == 1)
        optDefaultRescanAction[g_IntDefaultRescanAction]->setChecked(true);

    chkBlankPage->setChecked(g_blnDetectBlank);
    chkDoByteAlign->setChecked(g_blnDoByteAlign);
    SliBlankPage->setValue(g_intBlankSensitivity + 1);
    txtAutoInterval->setText(QString::number(g_AutoNextPageInterface));
    chkRedactImages->setChecked(g_AutoMaticRedaction != 0);
    chkUseDefaultPrinter->setChecked(g_blnUseDefaultPrinter != 0);
    setFillColor(g_RedactionDefaultFillColor);

    chkBlankPage_Click();
}

void FrmPreferences::setFillColor(qint32 color)
{
    QPalette p = picRedactionFillColor->palette();
    p.setColor(QPalette::Window, longToColor(color));
    picRedactionFillColor->setPalette(p);
}

void FrmPreferences::chkBlankPage_Click()
{
    const bool on = chkBlankPage->isChecked();
    g_blnDetectBlank = on;
    for (QWidget *w : std::initializer_list<QWidget *>{lblBlankSensitivity, lblBlankLess, lblBlankMore, SliBlankPage})
        w->setEnabled(on);
}

void FrmPreferences::btnRedactColor_Click()
{
    try {
        if (!m_colorDialog) {
            m_colorDialog = std::make_unique<cCommonDialog>();
            m_colorDialog->setColor(g_RedactionDefaultFillColor);
        }
        cCommonDialog *dialog = m_colorDialog.get();
        dialog->setFlags(3);
        dialog->ShowColor();
        setFillColor(dialog->Color());
        g_RedactionDefaultFillColor = dialog->Color();
    } catch (...) {
        // A failed colour choice changes nothing.
    }
}

void FrmPreferences::OKButton_Click()
{
    // The interval is a whole number of seconds within the up-down control's range; anything
    // else keeps the dialog open on the field and changes no preference.
    bool ok = false;
    const int interval = txtAutoInterval->text().trimmed().toInt(&ok);
    if (!ok || interval < UpDown1->minimum() || interval > UpDown1->maximum()) {
        MsgBox(QStringLiteral("Auto Next Page Interval in Seconds must be a whole number from %1 to %2.")
                   .arg(UpDown1->minimum())
                   .arg(UpDown1->maximum()),
               vb::vbOKOnly, QStringLiteral("Preferences"));
        txtAutoInterval->setFocus(Qt::OtherFocusReason);
        txtAutoInterval->selectAll();
        return;
    }
    g_blnReturnDefault = chkResetDefault->isChecked();
    g_blnPromptOnDelete = chkPromptOnDelete->isChecked();
    g_blnImprint = chkImprint->isChecked();
    g_blnDoByteAlign = chkDoByteAlign->isChecked();
    gdtDocType = cboDefaultDocType->listIndex() == 0 ? 0 : 1;
    g_AutoNextPageInterface = qint16(interval);
    g_AutoMaticRedaction = chkRedactImages->isChecked() ? 1 : 0;
    g_blnUseDefaultPrinter = chkUseDefaultPrinter->isChecked() ? 1 : 0;
    g_intDefaultPrintScale = qint16(std::max(0, cboImagePrintScale->listIndex()));
    g_intBaseLineBrightness = qint16(scrBaseLineBrightness->value());
    try {
        frmMain().ezTreeView->setBrightness(g_intBaseLineBrightness);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmPreferences::OKButton_Click"), Trap{});
    }
    for (int i = 0; i < 2; ++i)
        if (optDefaultRescanAction[i]->isChecked())
            g_IntDefaultRescanAction = qint16(i);
    Unload();
}

void FrmPreferences::CancelButton_Click() { Unload(); }
