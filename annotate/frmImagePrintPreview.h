#pragma once
// The print preview: the working print file with its annotations, the printer set-up and the
// print, done through the page strip linked to the page view.
#include <QString>

#include "platform/forms/forms.h"

class QAction;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;
class QelAnnotDocument;
class QelEzImage;

class FrmImagePrintPreview : public Form {
    Q_OBJECT
public:
    FrmImagePrintPreview();

    QelEzImage *QelEzImage2; // page view
    QelEzImage *QelEzImage1; // page strip; prints
    QToolBar *Toolbar1;      // button 1 "Print Setup", button 2 "Print"
    QStatusBar *StatusBar1;
    QMenuBar *menuBar;
    QMenu *mnuPrint;
    QAction *mnuPrintPrintSetup;
    QMenu *mnuPrintPrint;
    QAction *mnuPrintPagesFitPage, *mnuPrintPagesActualSize, *mnuPrintPagesActualPixels;
    QAction *mnuSep1;
    QAction *mnuPrintExit;

    QString ImageFile() const { return m_imageFile; }
    void setImageFile(const QString &path) { m_imageFile = path; }

    // Loads ImageFile, links the strip, seeds permissions and installs the security handlers
    // on every page, and shows the print scale as check marks.
    void SetupPrintPreview();

    // Handlers (public so the window's own controls and tests reach them alike).
    void mnuPrintPagesFitPage_Click();
    void mnuPrintPrintSetup_Click();
    void Toolbar1_ButtonClick(int index);
    void mnuPrintExit_Click();
    void Form_QueryUnload(int &cancel, int unloadMode) override;
    void QelEzImage2_MouseDown(int button, int shift, int x, int y);
    void QelEzImage2_DblClick();

private:
    void InitializePermsRedaction();
    void InitPermRedact(QelAnnotDocument *doc, qint32 annotationType);

    QString m_imageFile;
};

// Prints the strip's document at the default print scale (g_intDefaultPrintScale). A print that
// fails on a computer without a printer says so in the error's text.
void printAtDefaultScale(QelEzImage &strip);

// The form's default instance (created on first use, fresh after an unload).
FrmImagePrintPreview &frmImagePrintPreview();
