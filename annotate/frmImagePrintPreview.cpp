#include "annotate/frmImagePrintPreview.h"

FrmImagePrintPreview::FrmImagePrintPreview()
    : Form(QStringLiteral("frmImagePrintPreview")), QelEzImage2(nullptr), QelEzImage1(nullptr),
      Toolbar1(nullptr), StatusBar1(nullptr), menuBar(nullptr), mnuPrint(nullptr),
      mnuPrintPrintSetup(nullptr), mnuPrintPrint(nullptr), mnuPrintPagesFitPage(nullptr),
      mnuPrintPagesActualSize(nullptr), mnuPrintPagesActualPixels(nullptr), mnuSep1(nullptr),
      mnuPrintExit(nullptr)
{
}

void FrmImagePrintPreview::SetupPrintPreview() {}
void FrmImagePrintPreview::mnuPrintPagesFitPage_Click() {}
void FrmImagePrintPreview::mnuPrintPrintSetup_Click() {}
void FrmImagePrintPreview::Toolbar1_ButtonClick(int) {}
void FrmImagePrintPreview::mnuPrintExit_Click() {}
void FrmImagePrintPreview::Form_QueryUnload(int &, int) {}
void FrmImagePrintPreview::QelEzImage2_MouseDown(int, int, int, int) {}
void FrmImagePrintPreview::QelEzImage2_DblClick() {}
void FrmImagePrintPreview::InitializePermsRedaction() {}
void FrmImagePrintPreview::InitPermRedact(QelAnnotDocument *, qint32) {}
void FrmImagePrintPreview::printDocument() {}

FrmImagePrintPreview &frmImagePrintPreview() { return defaultInstance<FrmImagePrintPreview>(); }
