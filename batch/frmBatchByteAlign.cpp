#include "batch/frmBatchByteAlign.h"
FrmBatchByteAlign &frmBatchByteAlign() { return defaultInstance<FrmBatchByteAlign>(); }
FrmBatchByteAlign::FrmBatchByteAlign() : Form(QStringLiteral("frmBatchByteAlign")) {}
void FrmBatchByteAlign::Form_Load() {}
void FrmBatchByteAlign::btnStart_Click() {}
void FrmBatchByteAlign::btnAbort_Click() {}
void FrmBatchByteAlign::btnLog_Click() {}
bool do_BatchByteAlign(const QString &, const QString &, const QString &, const QString &, int) { return false; }
