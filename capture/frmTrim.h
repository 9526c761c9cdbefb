#pragma once
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/forms/forms.h"
#include "platform/imaging/qelezscanwidgets.h"

// The modal " Trim Document Scanning Area" dialog: trims from top and bottom and from left
// and right (inches) narrow the main window's scan region symmetrically inside the page size.
class FrmTrim : public Form {
    Q_OBJECT
public:
    FrmTrim();

    QLabel *Label2, *Label4, *Label1, *Label3, *lblPageSize;
    QLineEdit *txtTrimTB, *txtTrimLR;
    QelEzScanPageSizeSetting *cboPageSize;
    QPushButton *OKButton, *CancelButton;

    void Form_Load() override;
    void OKButton_Click();
    void CancelButton_Click();
    void cboPageSize_Change();
};

FrmTrim &frmTrim();

// The page size the trims are measured against, in pixels at the current resolution, taken
// from the scanner into g_ScanWidth and g_ScanLength; the scan region is left as it was.
void measureTrimPage();
