#include "batch/frm1stBarcode.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "batch/frmBarcodeScan.h"
#include "batch/pageops.h"
#include "core/errors.h"
#include "core/files.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"
#include "batch/filterpass.h"

namespace {
const QString CRLF = QStringLiteral("\r\n");
}

Frm1stBarcode::Frm1stBarcode() : Form(QStringLiteral("frm1stBarcode"))
{
    setWindowFlag(Qt::Dialog);
    setCaption(QStringLiteral("First Page Barcode"));
    auto *grid = new QGridLayout(this);
    ezPageView = addControl(new QelEzImage(QelEzImage::Kind::PageView, this), QStringLiteral("ezPageView"));
    ezPageView->setMinimumSize(300, 380);
    lblDirections = addControl(new QLabel(this), QStringLiteral("lblDirections"));
    lblDirections->setWordWrap(true);
    txtCTLNum_NYRG = addControl(new QLineEdit(this), QStringLiteral("txtCTLNum_NYRG"));
    txtMonth_NYRG = addControl(new QLineEdit(this), QStringLiteral("txtMonth_NYRG"));
    txtDay_NYRG = addControl(new QLineEdit(this), QStringLiteral("txtDay_NYRG"));
    txtYear_NYRG = addControl(new QLineEdit(this), QStringLiteral("txtYear_NYRG"));
    OKButton = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("OKButton"));
    CancelButton = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("CancelButton"));
    // the page on the left; directions, control number, the date row under its hint and the
    // buttons on the right
    lblDirections->setMinimumWidth(300);
    QHBoxLayout *date = typedDateRow(txtCTLNum_NYRG, txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    grid->addWidget(ezPageView, 0, 0, 6, 1);
    grid->addWidget(lblDirections, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Control #:"), this), 1, 1);
    grid->addWidget(txtCTLNum_NYRG, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("month   day      year"), this), 2, 2);
    grid->addLayout(date, 3, 2);
    grid->setRowStretch(4, 1);
    grid->addLayout(buttons, 5, 1, 1, 2);
    setDefaultButton(OKButton);
    setCancelButton(CancelButton);
    wireTypedDateFields(txtCTLNum_NYRG, txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButton_Click(); });
}

Frm1stBarcode &frm1stBarcode() { return defaultInstance<Frm1stBarcode>(); }

void Frm1stBarcode::Form_Load()
{
    m_workingFile = QStringLiteral("tmp1st.tif");
    ezPageView->setWorkingFileName(getTempPath() + QStringLiteral("tmp1st.tif"));
    m_accepted = false;
    lblDirections->setText(QStringLiteral("No barcode was detected on the first page.") + CRLF
                           + QStringLiteral("Please enter the control number and date and click OK") + CRLF
                           + QStringLiteral("or click Cancel to abort the barcode process."));
}

void Frm1stBarcode::OKButton_Click()
{
    if (checkTypedBarcodeAnswer(txtCTLNum_NYRG, txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG)) {
        m_accepted = true;
        Hide();
    }
}

void Frm1stBarcode::CancelButton_Click() { Hide(); }

BarcodeDocument getFirstPage()
{
    Trap trap;
    BarcodeDocument answer;
    try {
        trap(1);
        Frm1stBarcode &dialog = frm1stBarcode();
        trap(2);
        DeleteBarcodeTemp(dialog.workingFile(), *dialog.ezPageView);
        CopyPages(ezBarcode(), *dialog.ezPageView, 1, 1);
        trap(3);
        dialog.Show(vb::vbModal, &frmBarcodeScan());
        trap(4);
        if (dialog.accepted()) {
            answer = typedBarcodeAnswer(dialog.txtCTLNum_NYRG, dialog.txtMonth_NYRG, dialog.txtDay_NYRG,
                                        dialog.txtYear_NYRG);
            answer.FirstPage = 1;
        }
        trap(5);
        dialog.Unload();
        return answer;
    } catch (...) {
        reportCurrentError(QStringLiteral("getFirstPage"), trap);
        return BarcodeDocument();
    }
}
