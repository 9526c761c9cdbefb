#include "batch/frmBatchRotate.h"
FrmBatchRotate &frmBatchRotate() { return defaultInstance<FrmBatchRotate>(); }
FrmBatchRotate::FrmBatchRotate() : Form(QStringLiteral("frmBatchRotate")) {}
void FrmBatchRotate::Form_Load() {}
void FrmBatchRotate::Form_Unload(int &) {}
void FrmBatchRotate::btnStart_Click() {}
void FrmBatchRotate::btnCancel_Click() {}
void load_batchRotate() {}
void do_BatchRotate() {}
