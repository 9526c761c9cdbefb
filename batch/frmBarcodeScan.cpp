#include "batch/frmBarcodeScan.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "batch/barcodesep.h"

FrmBarcodeScan::FrmBarcodeScan() : Form(QStringLiteral("frmBarcodeScan"))
{
    setWindowFlag(Qt::Dialog);
    setCaption(QStringLiteral("Barcode Scan"));
    auto *layout = new QVBoxLayout(this);
    lblBarcodeScan = addControl(new QLabel(this), QStringLiteral("lblBarcodeScan"));
    ProgressBar1 = addControl(new QProgressBar(this), QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    layout->addWidget(lblBarcodeScan);
    layout->addWidget(ProgressBar1);
    resize(420, 90);
}

FrmBarcodeScan &frmBarcodeScan() { return defaultInstance<FrmBarcodeScan>(); }

void FrmBarcodeScan::Form_Activate()
{
    if (roadRunning())
        return;
    processBarcodes();
    if (isLoaded())
        Unload();
}
