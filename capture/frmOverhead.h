#pragma once
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/forms/forms.h"

// The modal "Overhead Document Scan" dialog: book size, the side the document begins on and
// the number of pages; Scan scans them one by one into the main window's document.
class FrmOverhead : public Form {
    Q_OBJECT
public:
    FrmOverhead();

    QPushButton *btnScan, *CancelButton;
    QLabel *lblScan, *lblPages;
    QLineEdit *txtNumPages;
    QGroupBox *fraBookSize;
    QRadioButton *OptBookSizeNormal, *optBookSizeLarge;
    QGroupBox *fraDocBegins;
    QRadioButton *optDocBeginsLeft, *optDocBeginsRight;

    void Form_Load() override;
    void OptBookSizeNormal_Click();
    void optBookSizeLarge_Click();
    void btnScan_Click();
    void CancelButton_Click();
    // True while no run is going; Cancel during a run sets it (the request to stop).
    bool idle() const { return m_idle; }

private:
    void doOverheadScan();

    bool m_idle = true;
    // A close from the frame during a run is its Cancel Scan.
    Road m_road{*this, [this] { m_idle = true; }};
};

FrmOverhead &frmOverhead();
