#include "batch/frmbcPageMismatch.h"

FrmbcPageMismatch::FrmbcPageMismatch()
    : Form(QStringLiteral("frmbcPageMismatch")), ezTreeView(nullptr), ezPageView(nullptr),
      lblDirections(nullptr), Label1(nullptr), lblScannedPages(nullptr), Label2(nullptr),
      lblExpectedPages(nullptr), fraNYRG(nullptr), Label14(nullptr),
      lblControlNumLabel_NYRG(nullptr), lblTempDate_NYRG(nullptr), txtCTLNum_NYRG(nullptr),
      txtYear_NYRG(nullptr), txtMonth_NYRG(nullptr), txtDay_NYRG(nullptr), Command1(nullptr),
      Command2(nullptr), btnAbortStore(nullptr)
{
}
void FrmbcPageMismatch::Form_Load() {}
void FrmbcPageMismatch::Form_Activate() {}
void FrmbcPageMismatch::Form_KeyDown(int &, int) {}
void FrmbcPageMismatch::Command1_Click() {}
void FrmbcPageMismatch::Command2_Click() {}
void FrmbcPageMismatch::btnAbortStore_Click() {}
FrmbcPageMismatch &frmbcPageMismatch() { return defaultInstance<FrmbcPageMismatch>(); }
BarcodeDocument checkBcPageMismatch(BarcodeDocument &) { return {}; }
