#include "batch/frmBatch.h"
FrmBatch &frmBatch() { return defaultInstance<FrmBatch>(); }
FrmBatch::FrmBatch() : Form(QStringLiteral("frmBatch")) {}
int FrmBatch::pageNumModeIndex() const { return -1; }
int FrmBatch::overwriteModeIndex() const { return -1; }
void FrmBatch::Form_Load() {}
void FrmBatch::Form_Activate() {}
void FrmBatch::Form_KeyPress(int &) {}
void FrmBatch::Form_Unload(int &) {}
void FrmBatch::btnStart_Click() {}
void FrmBatch::btnCancel_Click() {}
void FrmBatch::scrBatchOutput_Change() {}
void FrmBatch::txtBatchUPageNum_Change() {}
