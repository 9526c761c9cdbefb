#pragma once
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>

#include <memory>

#include "platform/forms/forms.h"
#include "ui/commondialog/ccommondialog.h"

// The operator's preferences, edited in the global state. Some boxes write at once; the rest
// are written by OK. Cancel only closes.
class FrmPreferences : public Form {
    Q_OBJECT
public:
    FrmPreferences();

    ComboBox *cboImagePrintScale;
    QCheckBox *chkUseDefaultPrinter, *chkRedactImages, *chkDuplex, *chkImprint, *chkPromptOnDelete,
        *chkResetDefault, *chkDoByteAlign, *chkBlankPage;
    QFrame *picRedactionFillColor;
    QPushButton *btnRedactColor;
    QLineEdit *txtAutoInterval;
    QSpinBox *UpDown1;
    ComboBox *cboDefaultDocType;
    QRadioButton *optDefaultRescanAction[2];
    QScrollBar *scrBaseLineBrightness;
    QLabel *lblBaselineBrightness;
    QSlider *SliBlankPage;
    QLabel *lblBlankSensitivity, *lblBlankLess, *lblBlankMore;
    QPushButton *OKButton, *CancelButton;

    void Form_Load() override;
    void OKButton_Click();
    void CancelButton_Click();
    void chkBlankPage_Click();
    void btnRedactColor_Click();

private:
    void setFillColor(qint32 color);
    // The colour dialog keeps the colour last chosen while this window is open.
    std::unique_ptr<cCommonDialog> m_colorDialog;
};

FrmPreferences &frmPreferences();
