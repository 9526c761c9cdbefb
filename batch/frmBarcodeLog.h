#pragma once
// The log window of barcode separation and batch byte alignment.
#include <QString>

#include "platform/forms/forms.h"

class QPlainTextEdit;
class QPushButton;

class FrmBarcodeLog : public Form {
    Q_OBJECT
public:
    FrmBarcodeLog();

    QPlainTextEdit *txtLog;
    QPushButton *btnClose;

    // Caption when not empty; owner nullptr: the main window. Shows the text modally.
    void showLog(const QString &text, Form *owner, const QString &caption);
    void btnClose_Click();
};

FrmBarcodeLog &frmBarcodeLog();
