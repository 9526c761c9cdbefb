#include "capture/frmRescan.h"

#include "capture/scanning.h"
#include "core/state.h"
#include "ui/mainprocs.h"

FrmRescan &frmRescan() { return defaultInstance<FrmRescan>(); }

FrmRescan::FrmRescan() : Form(QStringLiteral("frmRescan"))
{
    setCaption(QStringLiteral("Rescan Options"));
    lblRescan = addControl(new QLabel(this), QStringLiteral("lblRescan"));
    lblRescan->setWordWrap(true);
    lblRescan->setGeometry(12, 10, 300, 40);
    optScan[0] = addControl(new QRadioButton(QStringLiteral("Insert new pages at cursor position"), this),
                            QStringLiteral("optScan_0"));
    optScan[0]->setGeometry(24, 58, 290, 22);
    optScan[1] = addControl(new QRadioButton(QStringLiteral("Overwrite all pages"), this),
                            QStringLiteral("optScan_1"));
    optScan[1]->setGeometry(24, 84, 290, 22);
    optScan[1]->setChecked(true);
    OKButton = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("OKButton"));
    OKButton->setGeometry(326, 10, 80, 26);
    CancelButton = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("CancelButton"));
    CancelButton->setGeometry(326, 42, 80, 26);
    OKButton->setAutoDefault(false);
    CancelButton->setAutoDefault(false);
    setDefaultButton(OKButton);  // Escape is not bound to Cancel
    resize(418, 116);

    connect(OKButton, &QPushButton::clicked, this, &FrmRescan::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &FrmRescan::CancelButton_Click);
}

void FrmRescan::Form_Load()
{
    // Pages cannot be inserted into a document that is not TIFF: it can only be replaced.
    optScan[0]->setEnabled(g_blnTif);
    // Another stored value keeps the dialog's own choice (overwrite all).
    const int preset = g_IntDefaultRescanAction;
    if (preset >= 0 && preset <= 1 && optScan[preset]->isEnabled())
        optScan[preset]->setChecked(true);
    lblRescan->setText(QStringLiteral(
        "This document has already been scanned.  Please select an option from the choices below."));
}

void FrmRescan::OKButton_Click()
{
    if (optScan[0]->isChecked())
        setRescanOption(QStringLiteral("I"));
    else if (optScan[1]->isChecked() && promptStore())
        setRescanOption(QStringLiteral("OA"));
    Unload(vb::vbFormCode);
}

void FrmRescan::CancelButton_Click()
{
    setRescanOption(QStringLiteral("C"));
    Unload(vb::vbFormCode);
}
