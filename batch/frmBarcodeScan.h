#pragma once
// The progress window of barcode separation; its first activation runs the separation.
#include "platform/forms/forms.h"

class QLabel;
class QProgressBar;

class FrmBarcodeScan : public Form {
    Q_OBJECT
public:
    FrmBarcodeScan();

    QLabel *lblBarcodeScan;
    QProgressBar *ProgressBar1;

    // Runs processBarcodes once and unloads the form; nothing while a run is going on.
    void Form_Activate() override;

    Road road{*this}; // the separation
};

FrmBarcodeScan &frmBarcodeScan();
