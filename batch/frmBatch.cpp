#include "batch/frmBatch.h"

#include <QEvent>

#include "batch/batchscan.h"
#include "batch/frmBatchProgress.h"
#include "core/errors.h"
#include "core/state.h"
#include "ui/mainprocs.h"
#include "platform/forms/builders.h"

FrmBatch &frmBatch() { return defaultInstance<FrmBatch>(); }

namespace {

// Selects the whole text of a field when it gets the focus.
class SelectOnFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn)
            if (auto *box = qobject_cast<QLineEdit *>(watched))
                selectAllText(box);
        return false;
    }
};

template <std::size_t N> int checkedIndex(const std::array<QRadioButton *, N> &options)
{
    for (std::size_t i = 0; i < N; ++i)
        if (options[i]->isChecked())
            return int(i);
    return -1;
}

} // namespace

FrmBatch::FrmBatch() : Form(QStringLiteral("frmBatch"))
{
    setCaption(QStringLiteral("Batch Scan"));
    const QRect inputFrame(130, 4, 330, 100);
    setKeyPreview(true);

    lblStartingDocument =
        addLabel(*this, this, QStringLiteral("lblStartingDocument"), QStringLiteral("Starting Document:"), 8, 12, 120);

    fraInput_MARG = addFrame(*this, this, QStringLiteral("fraInput_MARG"), QString(), inputFrame);
    addLabel(*this, fraInput_MARG, QStringLiteral("lblBook_MARG"), QStringLiteral("Book"), 8, 12, 40);
    txtBook_MARG = addField(*this, fraInput_MARG, QStringLiteral("txtBook_MARG"), 8, 32, 80);
    addLabel(*this, fraInput_MARG, QStringLiteral("lblPage_MARG"), QStringLiteral("Page"), 100, 12, 40);
    txtPage_MARG = addField(*this, fraInput_MARG, QStringLiteral("txtPage_MARG"), 100, 32, 60);

    fraInput_MALC = addFrame(*this, this, QStringLiteral("fraInput_MALC"), QString(), inputFrame);
    addLabel(*this, fraInput_MALC, QStringLiteral("lblDocNum_MALC"), QStringLiteral("Document Number"), 8, 12, 140);
    txtDocNum_MALC = addField(*this, fraInput_MALC, QStringLiteral("txtDocNum_MALC"), 8, 32, 100);

    fraInput_MALCP = addFrame(*this, this, QStringLiteral("fraInput_MALCP"), QString(), inputFrame);
    addLabel(*this, fraInput_MALCP, QStringLiteral("lblPlan1_MALCP"), QStringLiteral("Plan/Case #"), 8, 12, 90);
    txtPlan1_MALCP = addField(*this, fraInput_MALCP, QStringLiteral("txtPlan1_MALCP"), 8, 32, 80);
    addLabel(*this, fraInput_MALCP, QStringLiteral("lblPlan2_MALCP"), QStringLiteral("Plan Letter"), 100, 12, 90);
    txtPlan2_MALCP = addField(*this, fraInput_MALCP, QStringLiteral("txtPlan2_MALCP"), 100, 32, 60);
    addLabel(*this, fraInput_MALCP, QStringLiteral("lblPlan3_MALCP"), QStringLiteral("Plan Suffix"), 200, 12, 90);
    txtPlan3_MALCP = addField(*this, fraInput_MALCP, QStringLiteral("txtPlan3_MALCP"), 200, 32, 60);

    fraInput_NY = addFrame(*this, this, QStringLiteral("fraInput_NY"), QString(), inputFrame);
    addLabel(*this, fraInput_NY, QStringLiteral("lblBookCd_NY"), QStringLiteral("Book Cd"), 8, 12, 60);
    txtBookCd_NY = addField(*this, fraInput_NY, QStringLiteral("txtBookCd_NY"), 8, 32, 60);
    addLabel(*this, fraInput_NY, QStringLiteral("lblBook_NY"), QStringLiteral("Book"), 80, 12, 60);
    txtBook_NY = addField(*this, fraInput_NY, QStringLiteral("txtBook_NY"), 80, 32, 80);
    addLabel(*this, fraInput_NY, QStringLiteral("lblPage_NY"), QStringLiteral("Page"), 172, 12, 60);
    txtPage_NY = addField(*this, fraInput_NY, QStringLiteral("txtPage_NY"), 172, 32, 60);

    fraInput_FHS = addFrame(*this, this, QStringLiteral("fraInput_FHS"), QString(), inputFrame);
    addLabel(*this, fraInput_FHS, QStringLiteral("lblRefCode_FHS"), QStringLiteral("Ref Code"), 8, 12, 80);
    txtRefCode_FHS = addField(*this, fraInput_FHS, QStringLiteral("txtRefCode_FHS"), 8, 32, 80);
    addLabel(*this, fraInput_FHS, QStringLiteral("lblRefNum_FHS"), QStringLiteral("Reference Number"), 100, 12, 140);
    txtRefNum_FHS = addField(*this, fraInput_FHS, QStringLiteral("txtRefNum_FHS"), 100, 32, 140);

    lblBatchDocNum = addLabel(*this, this, QStringLiteral("lblBatchDocNum"),
                           QStringLiteral("Number of documents to scan:"), 8, 114, 200);
    txtBatchDocNum = addField(*this, this, QStringLiteral("txtBatchDocNum"), 210, 112, 60);

    fraPageOptions = addControl(new QGroupBox(QStringLiteral("Page Options"), this),
                                QStringLiteral("fraPageOptions"));
    fraPageOptions->setGeometry(8, 142, 452, 70);
    optBatchPageNumMode[0] = addControl(
        new QRadioButton(QStringLiteral("Get page numbers from database"), fraPageOptions),
        QStringLiteral("optBatchPageNumMode(0)"));
    optBatchPageNumMode[0]->setGeometry(8, 20, 300, 20);
    optBatchPageNumMode[1] = addControl(
        new QRadioButton(QStringLiteral("All documents are"), fraPageOptions),
        QStringLiteral("optBatchPageNumMode(1)"));
    optBatchPageNumMode[1]->setGeometry(8, 42, 124, 20);
    txtBatchUPageNum = addField(*this, fraPageOptions, QStringLiteral("txtBatchUPageNum"), 134, 41, 44);
    addLabel(*this, fraPageOptions, QStringLiteral("lblBatchUPageNum"), QStringLiteral("pages long"), 184, 44, 100);
    optBatchPageNumMode[0]->setChecked(true);

    fraOverwrite = addControl(
        new QGroupBox(QStringLiteral("If document has already been scanned..."), this),
        QStringLiteral("fraOverwrite"));
    fraOverwrite->setGeometry(8, 218, 452, 110);
    const QStringList overwriteCaptions{
        QStringLiteral("Overwrite with new scan"), QStringLiteral("Skip document"),
        QStringLiteral("Prompt user"), QStringLiteral("Fail Batch Scan")};
    for (int i = 0; i < 4; ++i) {
        optBatchOverwriteMode[i] =
            addControl(new QRadioButton(overwriteCaptions[i], fraOverwrite),
                       QStringLiteral("optBatchOverwriteMode(%1)").arg(i));
        optBatchOverwriteMode[i]->setGeometry(8, 20 + 22 * i, 300, 20);
    }
    // Passing over scanned documents is the safe start.
    optBatchOverwriteMode[BATCH_SKIP]->setChecked(true);

    chkFilters = addControl(
        new QCheckBox(
            QStringLiteral("Process Batch with Filters (may significantly increase scan-time)"), this),
        QStringLiteral("chkFilters"));
    chkFilters->setGeometry(8, 334, 452, 20);

    btnStart = addControl(new QPushButton(QStringLiteral("Start"), this), QStringLiteral("btnStart"));
    btnStart->setGeometry(470, 10, 80, 26);
    btnCancel = addControl(new QPushButton(QStringLiteral("Done"), this), QStringLiteral("btnCancel"));
    setCancelButton(btnCancel);
    btnCancel->setGeometry(470, 42, 80, 26);
    btnStart->setAutoDefault(false);
    btnCancel->setAutoDefault(false);

    fraMessages = addControl(new QGroupBox(QStringLiteral("Messages"), this),
                             QStringLiteral("fraMessages"));
    fraMessages->setGeometry(8, 360, 542, 200);
    fraBatchOutput = addControl(new QFrame(fraMessages), QStringLiteral("fraBatchOutput"));
    fraBatchOutput->setGeometry(8, 20, 506, 172);
    lblBatchOutput = addControl(new QLabel(fraBatchOutput), QStringLiteral("lblBatchOutput"));
    lblBatchOutput->setWordWrap(true);
    lblBatchOutput->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblBatchOutput->setGeometry(0, 0, 506, 20);
    scrBatchOutput = addControl(new QScrollBar(Qt::Vertical, fraMessages),
                                QStringLiteral("scrBatchOutput"));
    scrBatchOutput->setGeometry(516, 20, 18, 172);
    scrBatchOutput->setEnabled(false);
    resize(560, 570);

    auto *select = new SelectOnFocus(this);
    for (QLineEdit *box : {txtBatchDocNum, txtBatchUPageNum, txtBook_MARG, txtPage_MARG, txtBook_NY,
                           txtPage_NY, txtBookCd_NY, txtDocNum_MALC})
        box->installEventFilter(select);

    connect(btnStart, &QPushButton::clicked, this, &FrmBatch::btnStart_Click);
    connect(btnCancel, &QPushButton::clicked, this, &FrmBatch::btnCancel_Click);
    connect(scrBatchOutput, &QScrollBar::valueChanged, this, &FrmBatch::scrBatchOutput_Change);
    connect(txtBatchUPageNum, &QLineEdit::textChanged, this, &FrmBatch::txtBatchUPageNum_Change);
}

int FrmBatch::pageNumModeIndex() const { return checkedIndex(optBatchPageNumMode); }
int FrmBatch::overwriteModeIndex() const { return checkedIndex(optBatchOverwriteMode); }

void FrmBatch::Form_Load()
{
    g_blnIsBatch = true;
    chkFilters->setChecked(g_blnProcessBatch);
    load_batch();
}

void FrmBatch::Form_Activate() { activate_batch(); }

void FrmBatch::Form_KeyPress(int &keyAscii)
{
    if (keyAscii == vb::vbKeyReturn) {
        keyAscii = 0; // taken here; the key goes no further
        btnStart_Click();
    }
}

void FrmBatch::Form_Unload(int &cancel)
{
    (void)cancel;
    g_blnIsBatch = false;
}

void FrmBatch::btnStart_Click()
{
    g_blnProcessBatch = chkFilters->isChecked();
    frmBatchProgress().Show(vb::vbModal, this);
}

void FrmBatch::btnCancel_Click() { Unload(); }

void FrmBatch::scrBatchOutput_Change()
{
    // Placed in pixels: a long log scrolls without the 16-bit limit of the twips arithmetic.
    const int twips = scrBatchOutput->value() * 20;
    lblBatchOutput->move(lblBatchOutput->x(), -(twips / Screen::TwipsPerPixelY()));
}

void FrmBatch::txtBatchUPageNum_Change() { optBatchPageNumMode[1]->setChecked(true); }
