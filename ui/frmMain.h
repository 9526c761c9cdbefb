#pragma once
#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <initializer_list>

#include "platform/forms/autosizelabel.h"
#include "platform/forms/forms.h"

#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscansetting.h"

// The main window: the start form and the operator's place of work. Every control is a public
// member under its design name, which is also its objectName.
class FrmMain : public Form {
    Q_OBJECT
public:
    FrmMain();

    // Imaging controls: thumbnail tree (also the scanner driver) and page view.
    QelEzImage *ezTreeView;
    QelEzImage *ezPageView;

    // Menus.
    QMenuBar *menuBar;
    QMenu *mnuFile;
    QAction *mnuStore, *mnuExit;
    QMenu *mnuEdit;
    QAction *mnuUndo, *mnuRotate, *mnuDelete;
    QMenu *mnuScanMenu;
    QAction *mnuDoScan, *mnuHandFeed, *mnuBatchScan, *mnuOverhead, *mnuBatchRotate,
        *mnuBatchByteAlign;
    QMenu *mnuSettings;
    QAction *mnuConfig, *mnuSelectScanner, *mnuScannerSettings, *mnuPreferences, *mnuFilters;
    QMenu *mnuDatabase; // entries checkable, in menu order
    QAction *mnuMARG, *mnuMALC, *mnuMALCP, *mnuMACC, *mnuNYRG, *mnuNYCR, *mnuNYMD, *mnuMERG,
        *mnuMEBS, *mnuFHS, *mnuMARGBS, *mnuNYBS, *mnuNYBR;
    QMenu *mnuHelp;
    QAction *mnuAbout;

    // Background, status and image areas.
    QFrame *fraScan, *fraMain;
    QGroupBox *fraStatus;
    QFrame *fraScroll;
    AutoSizeLabel *lblStatus;
    QLabel *lblImage, *lblDatabase, *lblPageNum;
    QScrollBar *ScrStatus;

    // Command column.
    QPushButton *btnGoNew, *btnPrev, *btnNext, *btnRefresh, *btnScan, *btnStore, *btnShowTree,
        *btnRotate, *btnPrint, *btnRedact, *cmdSettings;
    ComboBox *cboRotateOpt;
    QCheckBox *chkUseDefaultPrinter, *chkRedaction, *chkDuplex, *chkScanUD, *chkAutoNextPage;
    QLabel *lblScannerPaperSource, *lblPageSize;
    QelEzScanSetting *cboPageSize;
    QGroupBox *fraDefaultDocType;
    ComboBox *cboCurrentDocType;
    QGroupBox *fraNonTiff;
    QLabel *lblNonTiff;

    // Recorded land (MA, ME).
    QGroupBox *fraMARG;
    QLineEdit *txtBook_MARG, *txtPage_MARG;
    QLabel *lblBook_MARG, *lblPage_MARG, *lblDate_MARG, *lblNumPages_MARG, *lblInstNum_MARG,
        *lblDocType_MARG;
    QCheckBox *chkScanUnIndexedDocsMEMARG;
    QGroupBox *fraMERG;

    // Land Court documents.
    QGroupBox *fraMALC;
    QLineEdit *txtDocNum_MALC, *txtMonth_MALC, *txtDay_MALC, *txtYear_MALC;
    QLabel *lblDocNum_MALC, *lblDate_MALC, *lblTempDate_MALC, *lblNumPages_MALC, *lblDocType_MALC;
    QCheckBox *chkScanUnIndexedDocsMALC;

    // Land Court plans.
    QGroupBox *fraMALCP;
    QLineEdit *txtPlan1_MALCP, *txtPlan2_MALCP, *txtPlan3_MALCP;
    QLabel *lblPlan1_MALCP, *lblPlan2_MALCP, *lblPlan3_MALCP, *lblDate_MALCP, *lblNumPages_MALCP;

    // Land Court certificates.
    QGroupBox *fraMACC;
    QLineEdit *txtDocNum_MACC, *txtCertNum_MACC;
    QLabel *lblDocNum_MACC, *lblCertNum_MACC;
    QCheckBox *chkShowNext_MACC;

    // Book scan.
    QGroupBox *fraMEBS;
    QFrame *pic_NYBS;
    QLineEdit *txtBookCode_NYBS, *txtBook_MEBS, *txtPage_MEBS, *txtEndingPage_MEBS;
    QLabel *lblBookCode_NYBS, *lblBookCodeLabel, *lblBook_MEBS, *lblPage_MEBS, *lblEndingPage_MEBS;
    QPushButton *Command1;
    QCheckBox *chkScanUnIndexedDocsMABS;

    // New York recorded land, court and misc records.
    QGroupBox *fraNYRG;
    QLineEdit *txtBookCode_NYRG, *txtBook_NYRG, *txtPage_NYRG, *txtCTLNum_NYRG, *txtMonth_NYRG,
        *txtDay_NYRG, *txtYear_NYRG;
    QLabel *lblBookCode_NYRG, *lblBook_NYRG, *lblPage_NYRG, *lblCTLnum_NYRG, *lblDate_NYRG,
        *lblControlNumLabel_NYRG, *lblNumPages_NYRG, *lblDocType_NYRG, *lblTempDate_NYRG;

    // Reference lookups.
    QGroupBox *fraFHS;
    QLineEdit *txtRefCode_FHS, *txtRefNum_FHS;
    QLabel *lblRefCode_FHS, *lblRefNum_FHS, *lblCTLNum_FHS, *lblDate_FHS, *lblNumPages_FHS,
        *lblDocType_FHS;

    // Barcode scan.
    QGroupBox *fraNYBR;
    QPushButton *btnLog_NYBR;

    // E-file frames.
    QGroupBox *fraMARGElectronic;
    ComboBox *cboEFilePartnerMARG;
    QLineEdit *txtSubmitCdMARGElec, *txtLocationCdMARGElec, *txtTrandIDMARG, *txtDocIdMARGElec;
    QLabel *lblBookMAMERGElec, *lblCtlMAMERGElec, *lblCtlDateMAMERGElec, *lblNumPages_MAMERG_ELEC,
        *lblDocType_MAMERG_ELEC;
    QLabel *Label73, *Label74, *Label70, *Label71;
    QGroupBox *fraNYRGElectronic;
    ComboBox *cboEFilePartnerNYRG;
    QLineEdit *txtSubmitCdNYRGElec, *txtLocationCdNYRGElec, *txtTrandIDNYRG, *txtDocIdNYRGElec;
    QLabel *lblBookCodeNYRGElec, *lblBookNYRGElec, *lblCtlNYRGElec, *lblCtlDateNYRGElec,
        *lblNumPages_NYRG_ELEC, *lblDocType_NYRG_ELEC;
    QLabel *Label64, *Label61, *Label72, *Label66;

    // Timers.
    QTimer *timOverheadScan, *tmrAnnotationMerge, *tmrAutoNextPage;

    // Handlers.
    void Form_Load() override;
    void Form_Unload(int &cancel) override;
    void closeEvent(QCloseEvent *event) override;
    void Form_KeyDown(int &keyCode, int shift) override;
    void Form_Resize() override;
    void cboCurrentDocType_Click();
    void btnShowTree_Click();
    void mnuExit_Click();
    void mnuMARG_Click();
    void mnuMALC_Click();
    void mnuMALCP_Click();
    void mnuMEBS_Click();
    void mnuMERG_Click();
    void mnuNYRG_Click();
    void mnuNYMD_Click();
    void mnuNYCR_Click();
    void mnuMARGBS_Click();
    void mnuNYBS_Click();
    void mnuNYBR_Click();
    void mnuMACC_Click();
    void mnuPreferences_Click();
    void mnuAbout_Click();

    // Commands of the button column.
    void btnGoNew_Click();
    void btnNext_Click();
    void btnPrev_Click();
    void btnRefresh_Click();
    void btnScan_Click();
    void btnStore_Click();
    void btnPrint_Click();
    // Also run by the request road and the scan for automatic redaction.
    void btnRedact_Click();
    void btnRotate_Click();
    void btnLog_NYBR_Click();
    void cmdSettings_Click();
    void Command1_Click();
    void chkDuplex_Click();
    void chkScanUD_Click();
    void chkScanUnIndexedDocs_Click(QCheckBox *box);
    void chkAutoNextPage_Click();

    // Menus.
    void mnuEdit_Click();
    void mnuUndo_Click();
    void mnuHandFeed_Click();
    void mnuOverhead_Click();
    void mnuBatchScan_Click();
    void mnuBatchRotate_Click();
    void mnuBatchByteAlign_Click();
    void mnuConfig_Click();
    void mnuSelectScanner_Click();
    void mnuScannerSettings_Click();
    void mnuFilters_Click();

    // Imaging-control events.
    void ezTreeView_Command(QelEzCommand &cmd);
    void ezTreeView_Notify(int code);
    void ezTreeView_PageChange();
    void ezPageView_PageChange();
    void ezTreeView_PagesLoaded();
    void ezView_Changed();
    void ezPageView_MouseUp(int button, int shift, int x, int y);
    void ezPageView_DblClick();

    // Timers.
    void tmrAnnotationMerge_Timer();
    void tmrAutoNextPage_Timer();

    // A Scan or hand-feed command: the scanner calls and the modal dialogs yield, and a second
    // command must not start a scan inside the first; a close waits for it.
    Road scanRoad{*this, [this] { ezTreeView->scanCancel(); }}; // stops at the sheet in hand
    // Print and Redact: the views are empty while the preview or the editor holds the document;
    // a close waits until it is back in them.
    Road editRoad{*this};

    // The thirteen Database menu entries in menu order.
    QList<QAction *> databaseEntries() const;

    // Index fields: Change handlers of the two New York keys (the month and day ones also move
    // the focus on).
    void txtMonth_NYRG_Change();
    void txtDay_NYRG_Change();

private:
    void buildMenus();
    void buildControls();
    void wireHandlers();
    void wireIndexFields();
    void wireCommands();
    void indexGoRule(std::initializer_list<const QLineEdit *> required);
    void eFileGoRule(const ComboBox *partner, const QLineEdit *batchId);
    void nyrgBookKey_Change(QLineEdit *field);
    void nyrgControlKey_Change(QLineEdit *field);
};

// The default instance of the main window (created and loaded on first use).
FrmMain &frmMain();
