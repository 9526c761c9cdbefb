#include "capture/frmTrim.h"

#include "core/files.h"
#include "core/state.h"
#include "platform/forms/builders.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

FrmTrim &frmTrim() { return defaultInstance<FrmTrim>(); }

namespace {

QelEzScanner &tree() { return ezScanner(*frmMain().ezTreeView); }

} // namespace

void measureTrimPage()
{
    QelEzScanner &t = tree();
    const QString size = t.pageSize();
    if (size.isEmpty())
        return;  // no page size chosen: the last measure stands
    const int left = t.regionLeft(), top = t.regionTop(), width = t.regionWidth(), length = t.regionLength();
    t.setPageSize(size);
    g_ScanWidth = float(t.regionWidth());
    g_ScanLength = float(t.regionLength());
    t.setRegionLeft(left);
    t.setRegionTop(top);
    t.setRegionWidth(width);
    t.setRegionLength(length);
}

FrmTrim::FrmTrim() : Form(QStringLiteral("frmTrim"))
{
    setCaption(QStringLiteral(" Trim Document Scanning Area"));
    Label2 = addLabel(*this, this, QStringLiteral("Label2"), QStringLiteral("Trim from top && bottom:"), 8, 12, 150);
    txtTrimTB = addControl(new QLineEdit(this), QStringLiteral("txtTrimTB"));
    txtTrimTB->setGeometry(160, 10, 70, 22);
    Label4 = addLabel(*this, this, QStringLiteral("Label4"), QStringLiteral("inches"), 236, 12, 50);
    Label1 = addLabel(*this, this, QStringLiteral("Label1"), QStringLiteral("Trim from left && Right:"), 8, 42, 150);
    txtTrimLR = addControl(new QLineEdit(this), QStringLiteral("txtTrimLR"));
    txtTrimLR->setGeometry(160, 40, 70, 22);
    Label3 = addLabel(*this, this, QStringLiteral("Label3"), QStringLiteral("inches"), 236, 42, 50);
    // each caption's "&&" shows one ampersand, as a label with a buddy reads it
    Label2->setBuddy(txtTrimTB);
    Label1->setBuddy(txtTrimLR);
    lblPageSize = addLabel(*this, this, QStringLiteral("lblPageSize"), QStringLiteral("Page Size:"), 8, 74, 70);
    cboPageSize = addControl(new QelEzScanPageSizeSetting(this), QStringLiteral("cboPageSize"));
    cboPageSize->setMaximumText(QStringLiteral("Scanner Maximum"));
    cboPageSize->setGeometry(80, 72, 206, 22);
    OKButton = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("OKButton"));
    OKButton->setGeometry(300, 10, 80, 26);
    CancelButton = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("CancelButton"));
    setCancelButton(CancelButton);
    CancelButton->setGeometry(300, 42, 80, 26);
    OKButton->setAutoDefault(false);
    CancelButton->setAutoDefault(false);
    resize(392, 106);

    connect(OKButton, &QPushButton::clicked, this, &FrmTrim::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &FrmTrim::CancelButton_Click);
    connect(cboPageSize, &QelEzScanSetting::change, this, &FrmTrim::cboPageSize_Change);
}

void FrmTrim::Form_Load()
{
    QelEzScanner &t = tree();
    // Trims are measured against the page size in force now, not one taken earlier.
    measureTrimPage();
    cboPageSize->refresh();
    txtTrimTB->setText(convertTrimUnits(QString::number(t.regionTop()), 0, 2));
    txtTrimLR->setText(convertTrimUnits(QString::number(t.regionLeft()), 0, 2));
}

void FrmTrim::cboPageSize_Change()
{
    QelEzScanner &t = tree();
    g_ScanWidth = float(t.regionWidth());
    g_ScanLength = float(t.regionLength());
}

void FrmTrim::OKButton_Click()
{
    const QString tb = txtTrimTB->text(), lr = txtTrimLR->text();
    if (IsNumeric(tb) && IsNumeric(lr) && CDbl(tb) >= 0 && CDbl(lr) >= 0) {
        const QString tbPixels = convertTrimUnits(tb, 2, 0);
        const QString lrPixels = convertTrimUnits(lr, 2, 0);
        // An empty conversion (no resolution) has no pixel value to trim by.
        if (!tbPixels.isEmpty() && !lrPixels.isEmpty()) {
            const double tbPx = CDbl(tbPixels), lrPx = CDbl(lrPixels);
            if (g_ScanWidth - 2 * lrPx >= 0 && g_ScanLength - 2 * tbPx >= 0) {
                QelEzScanner &t = tree();
                t.setRegionTop(CLng(tbPixels));
                t.setRegionLeft(CLng(lrPixels));
                t.setRegionWidth(CLng(g_ScanWidth - 2 * lrPx));
                t.setRegionLength(CLng(g_ScanLength - 2 * tbPx));
                Unload(vb::vbFormCode);
                return;
            }
        }
    }
    MsgBox(QStringLiteral("Invalid Values"), vb::vbOKOnly, QStringLiteral("Error"));
}

void FrmTrim::CancelButton_Click() { Unload(vb::vbFormCode); }
