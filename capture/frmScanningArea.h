#pragma once
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRubberBand>

#include "platform/forms/forms.h"

class QelEzImage;

// The modal "Set Scanning Area" dialog: the scan region of a scanner control in inches,
// millimetres or pixels, and a rubber band dragged over a preview of the scanner's whole area.
// It is hidden, not unloaded, after each use, so the chosen unit carries over.
class FrmScanningArea : public Form {
    Q_OBJECT
public:
    FrmScanningArea();

    enum Unit { Inches = 0, Millimeters = 1, Pixels = 2 };

    // 1 after OK (the region written), 0 after Cancel.
    int StartForm(QelEzImage &control);
    // The text re-expressed from the source unit in the target unit (pixels at the bound
    // control's resolution); empty on any failure.
    QString ConvertUnits(const QString &text, int target, int source) const;
    // Draws the frame spanned by two corners (twips of the preview); drawing the same frame
    // again takes it away.
    void DrawBox(float x1, float y1, float x2, float y2);

    QelEzImage *QelEzImage1;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5;
    ComboBox *cboUnits;
    QLineEdit *txtXPosition, *txtYPosition, *txtWidth, *txtLength;
    QPushButton *cmdOk, *cmdCancel;
    QRubberBand *band() const { return m_band; }

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int &cancel) override;
    void cboUnits_Click();
    void cmdOk_Click();
    void cmdCancel_Click();
    // Preview events; x and y in twips of the preview.
    void QelEzImage1_DblClick();
    void QelEzImage1_MouseDown(int button, int shift, float x, float y);
    void QelEzImage1_MouseMove(int button, int shift, float x, float y);
    void QelEzImage1_MouseUp(int button, int shift, float x, float y);

    int result() const { return m_result; }
    int shownUnit() const { return m_shownUnit; }
    int maximumWidth() const { return m_maxWidth; }
    int maximumLength() const { return m_maxLength; }
    int areaWidth() const { return m_areaWidth; }
    int areaHeight() const { return m_areaHeight; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillFields(int left, int top, int width, int length);  // pixels into the shown unit
    void reloadFromControl();
    void mapBand(float x, float y);

    QPointer<QelEzImage> m_bound;
    QWidget *m_overlay = nullptr;
    QRubberBand *m_band = nullptr;
    int m_result = 0;
    int m_currentUnit = Pixels;
    int m_shownUnit = Inches;
    bool m_unitChosen = false;
    int m_savedIndex = 0;
    bool m_dragging = false;
    float m_startX = 0, m_startY = 0, m_curX = 0, m_curY = 0;
    int m_maxWidth = 0, m_maxLength = 0;
    int m_areaWidth = 0, m_areaHeight = 0;
};

FrmScanningArea &frmScanningArea();
