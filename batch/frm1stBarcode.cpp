#include "batch/frm1stBarcode.h"

Frm1stBarcode::Frm1stBarcode()
    : Form(QStringLiteral("frm1stBarcode")), ezPageView(nullptr), lblDirections(nullptr),
      txtCTLNum_NYRG(nullptr), txtMonth_NYRG(nullptr), txtDay_NYRG(nullptr), txtYear_NYRG(nullptr),
      OKButton(nullptr), CancelButton(nullptr)
{
}
void Frm1stBarcode::Form_Load() {}
void Frm1stBarcode::OKButton_Click() {}
void Frm1stBarcode::CancelButton_Click() {}
Frm1stBarcode &frm1stBarcode() { return defaultInstance<Frm1stBarcode>(); }
BarcodeDocument getFirstPage() { return {}; }
