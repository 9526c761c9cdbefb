#include "batch/frmBatchProgress.h"
FrmBatchProgress &frmBatchProgress() { return defaultInstance<FrmBatchProgress>(); }
bool batchProgressShown() { return false; }
FrmBatchProgress::FrmBatchProgress() : Form(QStringLiteral("frmBatchProgress")) {}
void FrmBatchProgress::Form_Activate() {}
void FrmBatchProgress::btnAbort_Click() {}
void FrmBatchProgress::btnClose_Click() {}
void FrmBatchProgress::hideEvent(QHideEvent *e) { Form::hideEvent(e); }
