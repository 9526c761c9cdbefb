#include "batch/frmBarcodeLog.h"

FrmBarcodeLog::FrmBarcodeLog() : Form(QStringLiteral("frmBarcodeLog")), txtLog(nullptr), btnClose(nullptr) {}
void FrmBarcodeLog::showLog(const QString &, Form *, const QString &) {}
void FrmBarcodeLog::btnClose_Click() {}
FrmBarcodeLog &frmBarcodeLog() { return defaultInstance<FrmBarcodeLog>(); }
