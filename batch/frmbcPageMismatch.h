#pragma once
// The operator's decision for a document with more pages than the host recorded: correct a
// missed barcode ("piggy-back"), store as is, or rescan later.
#include <QString>

#include "batch/barcodesep.h"
#include "platform/forms/forms.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QelEzImage;

class FrmbcPageMismatch : public Form {
    Q_OBJECT
public:
    FrmbcPageMismatch();

    QelEzImage *ezTreeView;
    QelEzImage *ezPageView;
    QLabel *lblDirections;
    QLabel *Label1, *lblScannedPages;
    QLabel *Label2, *lblExpectedPages;
    QFrame *fraNYRG;
    QLabel *Label14, *lblControlNumLabel_NYRG, *lblTempDate_NYRG;
    QLineEdit *txtCTLNum_NYRG, *txtYear_NYRG, *txtMonth_NYRG, *txtDay_NYRG;
    QPushButton *Command1;      // "Correct Mismatch"
    QPushButton *Command2;      // "Store as is"
    QPushButton *btnAbortStore; // "Rescan Later"

    void Form_Load() override;
    void Form_Activate() override;
    void Form_KeyDown(int &keyCode, int shift) override;
    void Command1_Click();
    void Command2_Click();
    void btnAbortStore_Click();

    QString workingFile() const { return m_workingFile; }
    bool corrected() const { return m_corrected; }
    bool abortStore() const { return m_abortStore; }

private:
    QString m_workingFile;
    bool m_corrected = false;
    bool m_abortStore = false;
};

FrmbcPageMismatch &frmbcPageMismatch();

// The decision for the document whose pages the main window's ezTreeView holds: the missed
// document (pages removed from the tree), CtlNum "no store", or CtlNum "" to store as is.
BarcodeDocument checkBcPageMismatch(BarcodeDocument &document);
