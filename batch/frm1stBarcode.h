#pragma once
// The operator's date and control number for page 1 of a stack without a usable barcode.
#include <QString>

#include "batch/barcodesep.h"
#include "platform/forms/forms.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QelEzImage;

class Frm1stBarcode : public Form {
    Q_OBJECT
public:
    Frm1stBarcode();

    QelEzImage *ezPageView;
    QLabel *lblDirections;
    QLineEdit *txtCTLNum_NYRG, *txtMonth_NYRG, *txtDay_NYRG, *txtYear_NYRG;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void Form_Load() override;
    void OKButton_Click();
    void CancelButton_Click();

    QString workingFile() const { return m_workingFile; }
    bool accepted() const { return m_accepted; }

private:
    QString m_workingFile;
    bool m_accepted = false;
};

Frm1stBarcode &frm1stBarcode();

// The answer for page 1: CtlNum empty when the operator cancelled.
BarcodeDocument getFirstPage();
