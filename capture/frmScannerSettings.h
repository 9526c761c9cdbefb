#pragma once
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "platform/forms/forms.h"
#include "platform/imaging/qelezscanwidgets.h"

class QelEzImage;

// The modal "Scanner Settings" dialog over a scanner control: its settings are edited between
// BeginSettings and ApplySettings (OK) or CancelSettings (Cancel, close box).
class FrmScannerSettings : public Form {
    Q_OBJECT
public:
    FrmScannerSettings();

    // Opens the driver when needed, then shows the dialog modally. 1 after OK, 0 otherwise
    // (also when the driver fails to open).
    static int StartForm(QelEzImage &control);

    QLabel *Label6, *Label1, *Label2, *Label3, *Label4, *Label5;
    ComboBox *cboScannerSource;
    QelEzScanModeSetting *cboMode;
    QelEzScanDitherSetting *cboDither;
    QelEzScanResolutionSetting *QelEzScanSetting1;
    QelEzScanPageSizeSetting *cboPageSize;
    QGroupBox *Frame1, *Frame2, *Frame3;
    QelEzScanAutoSetting *QelEzScanSetting2, *QelEzScanSetting4;
    QRadioButton *optManual;
    QelEzScanLevelSetting *QelEzScanSetting3;
    QelEzScanBrightnessButton *QelEzScanSetting5, *cmdNormal, *cmdDarken;
    QelEzScanAutoSetting *QelEzScanSetting6, *QelEzScanSetting7;
    QelEzScanLevelSetting *QelEzScanSetting8;
    QelEzScanLevelValue *QelEzScanSetting9;
    QelEzScanSideSetting *QelEzScanSetting12;
    QPushButton *cmdOk, *cmdCancel, *cmdDefault, *cmdArea;
    QelEzScanMoreSetting *cmdMore;
    QelEzScanDuplexSetting *chkDuplex;
    QLabel *lblScanDriverVersion, *lblQelDfltVersion;

    void Form_Load() override;
    void Form_Activate() override;
    void Form_QueryUnload(int &cancel, int unloadMode) override;
    void Form_Unload(int &cancel) override;
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdDefault_Click();
    void cmdArea_Click();

    int result() const { return m_result; }
    QelEzImage *boundControl() const { return m_bound; }

private:
    void refreshSettings();
    // Ends the settings edit once, whichever way out is taken.
    void endEdit(bool apply);

    QelEzImage *m_bound = nullptr;
    int m_result = 0;
    bool m_editing = false;
};
