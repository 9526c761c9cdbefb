#include "batch/frmBarcodeScan.h"

FrmBarcodeScan::FrmBarcodeScan()
    : Form(QStringLiteral("frmBarcodeScan")), lblBarcodeScan(nullptr), ProgressBar1(nullptr)
{
}
void FrmBarcodeScan::Form_Activate() {}
FrmBarcodeScan &frmBarcodeScan() { return defaultInstance<FrmBarcodeScan>(); }
