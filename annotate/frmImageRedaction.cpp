#include "annotate/frmImageRedaction.h"

FrmImageRedaction::FrmImageRedaction()
    : Form(QStringLiteral("frmImageRedaction")), QelEzImage2(nullptr), QelEzImage1(nullptr),
      fraButtons(nullptr), btnAnnRedactControl(nullptr), btnAnnSelectControl(nullptr),
      btnCrop(nullptr), StatusBar1(nullptr), menuBar(nullptr), mnuRedaction(nullptr),
      mnuRedactionExit(nullptr), mnuEdit(nullptr), mnuEditDelete(nullptr), mnuOptions(nullptr),
      mnuOptionCropAll(nullptr), mnuOptionSticky(nullptr)
{
}

void FrmImageRedaction::SetupRedaction(qint32, bool &, const QVariant &) {}
void FrmImageRedaction::InitPermRedact(QelAnnotDocument *, qint32) {}
bool FrmImageRedaction::redact_set_annotation_security() { return false; }
void FrmImageRedaction::Form_Load() {}
void FrmImageRedaction::Form_Resize() {}
void FrmImageRedaction::Form_KeyDown(int &, int) {}
void FrmImageRedaction::Form_QueryUnload(int &, int) {}
void FrmImageRedaction::QelEzImage2_RegionChange(int) {}
void FrmImageRedaction::QelEzImage2_DblClick() {}
void FrmImageRedaction::QelEzImage2_AnnotationModeChange() {}
void FrmImageRedaction::QelEzImage2_AnnotationQuerySave(qint32 &, qint32 &) {}
void FrmImageRedaction::btnCrop_Click() {}
void FrmImageRedaction::btnAnnRedactControl_Click() {}
void FrmImageRedaction::btnAnnSelectControl_Click() {}
void FrmImageRedaction::mnuOptionCropAll_Click() {}
void FrmImageRedaction::mnuOptionSticky_Click() {}
void FrmImageRedaction::mnuEditDelete_Click() {}
void FrmImageRedaction::mnuRedactionExit_Click() {}
void FrmImageRedaction::InitializePermsRedaction(bool &) {}
void FrmImageRedaction::InitPermRedactRestrict(QelAnnotDocument *, qint32) {}
void FrmImageRedaction::resizeRedactElements() {}
void FrmImageRedaction::removeAllRegions() {}

FrmImageRedaction &frmImageRedaction() { return defaultInstance<FrmImageRedaction>(); }

bool redact_set_annotation_security(QWidget *form)
{
    auto *editor = qobject_cast<FrmImageRedaction *>(form);
    return editor && editor->redact_set_annotation_security();
}
