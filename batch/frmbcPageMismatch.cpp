#include "batch/frmbcPageMismatch.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "batch/frmBarcodeScan.h"
#include "batch/pageops.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/state.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

namespace {
const QString CRLF = QStringLiteral("\r\n");
}

FrmbcPageMismatch::FrmbcPageMismatch() : Form(QStringLiteral("frmbcPageMismatch"))
{
    setWindowFlag(Qt::Dialog);
    setCaption(QStringLiteral("Page Mismatch"));
    auto *grid = new QGridLayout(this);
    ezTreeView = addControl(new QelEzImage(QelEzImage::Kind::Thumbnails, this), QStringLiteral("ezTreeView"));
    ezTreeView->setFixedWidth(120);
    ezPageView = addControl(new QelEzImage(QelEzImage::Kind::PageView, this), QStringLiteral("ezPageView"));
    ezPageView->setMinimumSize(300, 400);
    lblDirections = addControl(new QLabel(this), QStringLiteral("lblDirections"));
    lblDirections->setWordWrap(true);
    lblDirections->setMinimumSize(380, 260); // the directions read whole beside the page
    Label1 = addControl(new QLabel(QStringLiteral("Scanned Pages:"), this), QStringLiteral("Label1"));
    lblScannedPages = addControl(new QLabel(this), QStringLiteral("lblScannedPages"));
    Label2 = addControl(new QLabel(QStringLiteral("Expexcted Pages:"), this), QStringLiteral("Label2"));
    lblExpectedPages = addControl(new QLabel(this), QStringLiteral("lblExpectedPages"));
    fraNYRG = addControl(new QFrame(this), QStringLiteral("fraNYRG"));
    fraNYRG->setFrameShape(QFrame::StyledPanel);
    auto *fields = new QGridLayout(fraNYRG);
    Label14 = addControl(new QLabel(QStringLiteral("Recorded:"), fraNYRG), QStringLiteral("Label14"));
    lblControlNumLabel_NYRG = addControl(new QLabel(QStringLiteral("Control #:"), fraNYRG),
                                         QStringLiteral("lblControlNumLabel_NYRG"));
    lblTempDate_NYRG = addControl(new QLabel(QStringLiteral("month   day      year"), fraNYRG),
                                  QStringLiteral("lblTempDate_NYRG"));
    txtCTLNum_NYRG = addControl(new QLineEdit(fraNYRG), QStringLiteral("txtCTLNum_NYRG"));
    txtYear_NYRG = addControl(new QLineEdit(fraNYRG), QStringLiteral("txtYear_NYRG"));
    txtMonth_NYRG = addControl(new QLineEdit(fraNYRG), QStringLiteral("txtMonth_NYRG"));
    txtDay_NYRG = addControl(new QLineEdit(fraNYRG), QStringLiteral("txtDay_NYRG"));
    fields->addWidget(Label14, 0, 0, 1, 2);
    fields->addWidget(lblControlNumLabel_NYRG, 1, 0);
    fields->addWidget(txtCTLNum_NYRG, 1, 1);
    fields->addWidget(lblTempDate_NYRG, 2, 1);
    fields->addLayout(typedDateRow(txtCTLNum_NYRG, txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG), 3, 1);
    Command1 = addControl(new QPushButton(QStringLiteral("Correct Mismatch"), this), QStringLiteral("Command1"));
    Command2 = addControl(new QPushButton(QStringLiteral("Store as is"), this), QStringLiteral("Command2"));
    btnAbortStore = addControl(new QPushButton(QStringLiteral("Rescan Later"), this), QStringLiteral("btnAbortStore"));

    grid->addWidget(ezTreeView, 0, 0, 8, 1);
    grid->addWidget(ezPageView, 0, 1, 8, 1);
    grid->addWidget(lblDirections, 0, 2, 1, 2);
    grid->addWidget(Label1, 1, 2);
    grid->addWidget(lblScannedPages, 1, 3);
    grid->addWidget(Label2, 2, 2);
    grid->addWidget(lblExpectedPages, 2, 3);
    grid->addWidget(fraNYRG, 3, 2, 1, 2);
    grid->addWidget(Command1, 4, 2, 1, 2);
    grid->addWidget(Command2, 5, 2, 1, 2);
    grid->addWidget(btnAbortStore, 6, 2, 1, 2);
    setKeyPreview(true);

    wireTypedDateFields(txtCTLNum_NYRG, txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(btnAbortStore, &QPushButton::clicked, this, [this] { btnAbortStore_Click(); });
    // A thumbnail clicked shows its page: "Correct Mismatch" splits at the page shown.
    connect(ezTreeView, &QelEzImage::pageChange, this, [this] {
        if (ezTreeView->page() != ezPageView->page())
            ezPageView->setPage(ezTreeView->page());
    });
}

FrmbcPageMismatch &frmbcPageMismatch() { return defaultInstance<FrmbcPageMismatch>(); }

void FrmbcPageMismatch::Form_Load()
{
    m_abortStore = false;
    m_workingFile = QStringLiteral("tmpMismatch.tif");
    ezTreeView->setImageHandle(ezPageView->imageHandle());
    ezTreeView->setWorkingFileName(getTempPath() + QStringLiteral("tmpMismatch.tif"));
    lblExpectedPages->setText(CStr(Int(Val(g_NumPages))));
    const QString gap = CRLF + CRLF;
    lblDirections->setText(
        QStringLiteral("The number of pages scanned for this document does not match the number of pages recorded.")
        + gap
        + QStringLiteral("This could mean that a barcode was not properly detected causing more than one document "
                         "to be processed as one.")
        + gap
        + QStringLiteral("To correct this problem, use the Page Down key to scroll to the coversheet of the "
                         "undetected document.")
        + gap
        + QStringLiteral("Copy the recorded date and control number into the fields below and click \"Correct "
                         "Mismatch\" when done.")
        + gap
        + QStringLiteral("To skip this process and store this document in its current state click \"Store as is\".")
        + gap
        + QStringLiteral("Finally, to abort the storing of this document and rescan later, click \"Rescan Later\"."));
}

void FrmbcPageMismatch::Form_Activate() { m_abortStore = false; }

void FrmbcPageMismatch::Form_KeyDown(int &keyCode, int shift)
{
    (void)shift;
    if (keyCode != vb::vbKeyPageUp && keyCode != vb::vbKeyPageDown)
        return;
    // The dialog pages both views itself; the views do not see the key.
    const int key = keyCode;
    keyCode = 0;
    const int page = ezPageView->page();
    int to = page;
    if (key == vb::vbKeyPageUp && page > 1)
        to = page - 1;
    else if (key == vb::vbKeyPageDown && page < ezPageView->pageCount())
        to = page + 1;
    if (to == page)
        return;
    ezTreeView->setPage(to);
    ezPageView->setPage(to);
}

void FrmbcPageMismatch::Command1_Click()
{
    if (checkTypedBarcodeAnswer(txtCTLNum_NYRG, txtMonth_NYRG, txtDay_NYRG, txtYear_NYRG)) {
        m_corrected = true;
        Hide();
    }
}

void FrmbcPageMismatch::Command2_Click()
{
    m_corrected = false;
    Hide();
}

void FrmbcPageMismatch::btnAbortStore_Click()
{
    m_abortStore = true;
    Hide();
}

BarcodeDocument checkBcPageMismatch(BarcodeDocument &document)
{
    Trap trap;
    BarcodeDocument answer;
    try {
        trap(1);
        FrmbcPageMismatch &dialog = frmbcPageMismatch();
        QelEzImage &mainTree = *frmMain().ezTreeView;
        trap(2);
        DeleteBarcodeTemp(dialog.workingFile(), *dialog.ezTreeView);
        CopyPages(mainTree, *dialog.ezTreeView, 1, -1);
        dialog.lblScannedPages->setText(QString::number(dialog.ezTreeView->pageCount()));
        trap(3);
        dialog.Show(vb::vbModal, &frmBarcodeScan());
        trap(4);
        if (dialog.corrected()) {
            answer = typedBarcodeAnswer(dialog.txtCTLNum_NYRG, dialog.txtMonth_NYRG, dialog.txtDay_NYRG,
                                        dialog.txtYear_NYRG);
            const int shown = dialog.ezPageView->page();
            answer.FirstPage = qint16(shown + document.FirstPage - 1);
            trap(5);
            mainTree.deletePages(QString::number(shown) + QStringLiteral("-")
                                 + QString::number(dialog.ezPageView->pageCount()));
        } else {
            answer.CtlNum = dialog.abortStore() ? QStringLiteral("no store") : QString();
        }
        trap(6);
        dialog.Unload();
        return answer;
    } catch (...) {
        reportCurrentError(QStringLiteral("checkBcPageMismatch"), trap);
        return BarcodeDocument();
    }
}
