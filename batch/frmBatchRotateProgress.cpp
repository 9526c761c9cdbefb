#include "batch/frmBatchRotateProgress.h"
FrmBatchRotateProgress &frmBatchRotateProgress() { return defaultInstance<FrmBatchRotateProgress>(); }
FrmBatchRotateProgress::FrmBatchRotateProgress() : Form(QStringLiteral("frmBatchRotateProgress")) {}
void FrmBatchRotateProgress::Form_Activate() {}
void FrmBatchRotateProgress::btnAbort_Click() {}
void FrmBatchRotateProgress::btnClose_Click() {}
