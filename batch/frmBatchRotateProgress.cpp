#include "batch/frmBatchRotateProgress.h"

#include "batch/frmBatchRotate.h"

FrmBatchRotateProgress::FrmBatchRotateProgress()
    : BatchProgressForm(QStringLiteral("frmBatchRotateProgress"), QStringLiteral("Batch Rotate"), do_BatchRotate)
{
}

FrmBatchRotateProgress &frmBatchRotateProgress() { return defaultInstance<FrmBatchRotateProgress>(); }
