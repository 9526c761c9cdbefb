#pragma once
#include "batch/frmBatchProgress.h"

// The batch-rotate progress window.
class FrmBatchRotateProgress : public BatchProgressForm {
    Q_OBJECT
public:
    FrmBatchRotateProgress();
};

FrmBatchRotateProgress &frmBatchRotateProgress();
