#include "capture/frmOverhead.h"

#include "capture/frmHandFeed.h"
#include "capture/frmRescan.h"
#include "capture/scandefaults.h"
#include "capture/scanning.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

FrmOverhead &frmOverhead() { return defaultInstance<FrmOverhead>(); }

namespace {

// One step of a run: a failure skips the step and the run goes on.
template <class F> void step(F &&fn)
{
    try {
        fn();
    } catch (...) {
    }
}

// Unchecks an option button without its group selecting another one.
void clearOption(QRadioButton *option)
{
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

// Quarter turns of page i of a large book.
int quarterTurns(bool beginsLeft, int page)
{
    const bool even = page % 2 == 0;
    return beginsLeft == even ? 1 : 3;
}

} // namespace

FrmOverhead::FrmOverhead() : Form(QStringLiteral("frmOverhead"))
{
    setCaption(QStringLiteral("Overhead Document Scan"));
    btnScan = addControl(new QPushButton(QStringLiteral("Scan"), this), QStringLiteral("btnScan"));
    btnScan->setGeometry(252, 10, 90, 26);
    CancelButton = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("CancelButton"));
    setCancelButton(CancelButton);
    CancelButton->setGeometry(252, 42, 90, 26);
    lblScan = addControl(new QLabel(QStringLiteral("Scan"), this), QStringLiteral("lblScan"));
    lblScan->setGeometry(12, 14, 36, 20);
    txtNumPages = addControl(new QLineEdit(QStringLiteral("0"), this), QStringLiteral("txtNumPages"));
    txtNumPages->setGeometry(50, 12, 50, 22);
    lblPages = addControl(new QLabel(QStringLiteral("Page(s)"), this), QStringLiteral("lblPages"));
    lblPages->setGeometry(106, 14, 60, 20);
    fraBookSize = addControl(new QGroupBox(QStringLiteral("Book Size"), this), QStringLiteral("fraBookSize"));
    fraBookSize->setGeometry(12, 44, 124, 70);
    OptBookSizeNormal = addControl(new QRadioButton(QStringLiteral("Normal"), fraBookSize),
                                   QStringLiteral("OptBookSizeNormal"));
    OptBookSizeNormal->setGeometry(8, 20, 112, 20);
    OptBookSizeNormal->setChecked(true);
    optBookSizeLarge = addControl(new QRadioButton(QStringLiteral("Large Horizontal "), fraBookSize),
                                  QStringLiteral("optBookSizeLarge"));
    optBookSizeLarge->setGeometry(8, 44, 112, 20);
    fraDocBegins = addControl(new QGroupBox(QStringLiteral("Scan Begins On"), this), QStringLiteral("fraDocBegins"));
    fraDocBegins->setGeometry(142, 44, 100, 70);
    optDocBeginsLeft = addControl(new QRadioButton(QStringLiteral("Left Side"), fraDocBegins),
                                  QStringLiteral("optDocBeginsLeft"));
    optDocBeginsLeft->setGeometry(8, 20, 88, 20);
    optDocBeginsRight = addControl(new QRadioButton(QStringLiteral("Right Side"), fraDocBegins),
                                   QStringLiteral("optDocBeginsRight"));
    optDocBeginsRight->setGeometry(8, 44, 88, 20);
    fraDocBegins->setEnabled(false);
    optDocBeginsLeft->setEnabled(false);
    optDocBeginsRight->setEnabled(false);
    btnScan->setAutoDefault(false);
    CancelButton->setAutoDefault(false);
    resize(354, 124);

    connect(btnScan, &QPushButton::clicked, this, &FrmOverhead::btnScan_Click);
    connect(CancelButton, &QPushButton::clicked, this, &FrmOverhead::CancelButton_Click);
    connect(OptBookSizeNormal, &QRadioButton::clicked, this, &FrmOverhead::OptBookSizeNormal_Click);
    connect(optBookSizeLarge, &QRadioButton::clicked, this, &FrmOverhead::optBookSizeLarge_Click);
}

void FrmOverhead::Form_Load()
{
    if (!g_Book.isEmpty() && IsNumeric(g_NumPages))
        txtNumPages->setText(QString::number(qint64(Int(CDbl(g_NumPages)))));
    Move(0, 0);
    m_idle = true;
}

void FrmOverhead::OptBookSizeNormal_Click()
{
    fraDocBegins->setEnabled(false);
    optDocBeginsLeft->setEnabled(false);
    optDocBeginsRight->setEnabled(false);
    clearOption(optDocBeginsLeft);
    clearOption(optDocBeginsRight);
    setBookSizeNormal();
}

void FrmOverhead::optBookSizeLarge_Click()
{
    fraDocBegins->setEnabled(true);
    optDocBeginsLeft->setEnabled(true);
    optDocBeginsRight->setEnabled(true);
    optDocBeginsLeft->setChecked(true);
    clearOption(optDocBeginsRight);
    setBookSizeLarge();
}

void FrmOverhead::CancelButton_Click()
{
    if (m_idle)
        Unload(vb::vbFormCode);
    else
        m_idle = true;
}

void FrmOverhead::btnScan_Click() { doOverheadScan(); }

void FrmOverhead::doOverheadScan()
{
    FrmMain &f = frmMain();
    QelEzImage &tree = *f.ezTreeView;
    QelEzImage &view = *f.ezPageView;
    Road::Run run(m_road);
    if (!run)
        return;

    m_idle = false;
    btnScan->setEnabled(false);
    CancelButton->setText(QStringLiteral("Cancel Scan"));
    step([&] { tree.setScannerSetting(1689, 1); });

    bool scan = true, inserting = false;
    QString failure; // what a scan that failed said
    int scanned = 0;
    step([&] {
        if (tree.pageCount() <= 0)
            return;
        // After a scanner failure the book goes on behind the pages it kept.
        const int resumeAt = scanResumePoint(tree);
        if (resumeAt >= 0) {
            inserting = resumeAt < tree.pageCount();
            tree.setPage(std::min(resumeAt + 1, tree.pageCount()));
            return;
        }
        frmRescan().Show(vb::vbModal, this);
        const QString answer = g_strRescanAction.toUpper();
        if (answer == QLatin1String("OA"))
            DeleteTemp();
        else if (answer == QLatin1String("I"))
            inserting = true;
        else if (answer == QLatin1String("C"))
            scan = false;
    });

    if (scan) {
        step([&] {
            tree.setVisible(true);
            f.lblPageNum->setVisible(true);
            view.setVisible(true);
            showTree();
        });
        // A count that is not a number scans nothing.
        qint64 pages = 0;
        step([&] { pages = qint64(Int(CDbl(txtNumPages->text()))); });
        for (qint64 i = 1; i <= pages; ++i) {
            if (m_idle) {
                step([&] { tree.scanCancel(); });
                break;
            }
            // An insert puts each page in front of the page that followed the one before it,
            // so the new pages keep their order at the cursor.
            int added = 0;
            try {
                tree.setScanInsert(inserting ? 1 : 0);
                added = tree.scanPage();
            } catch (const VbError &e) {
                failure = e.description;
            } catch (const std::exception &e) {
                failure = QString::fromLocal8Bit(e.what());
            }
            // A page that did not come in is not turned, and the run stops there: the next
            // pages of the book would take its place.
            if (!failure.isEmpty())
                break;
            if (added <= 0)
                continue;
            scanned += added;
            step([&] { view.setPage(inserting ? tree.page() : tree.pageCount()); });
            if (optBookSizeLarge->isChecked()) {
                step([&] {
                    const int turns = quarterTurns(optDocBeginsLeft->isChecked(), int(i));
                    for (int t = 0; t < turns; ++t)
                        view.setRotation(-1);
                });
            }
            if (inserting)
                step([&] { tree.setPage(tree.page() + 1); });
        }
    }

    g_strRescanAction.clear();
    // After a failed scan the document counts as changed only by the pages that came in, and
    // the next scan goes on behind them (an insert stands in front of the cursor's page).
    if (failure.isEmpty() || scanned > 0)
        step([&] { markScanned(f); });
    if (failure.isEmpty())
        forgetScanPosition();
    else
        step([&] { keepScanPosition(tree, inserting ? tree.page() - 1 : tree.pageCount()); });
    btnScan->setEnabled(true);
    CancelButton->setText(QStringLiteral("Cancel"));
    for (Form *form : Forms()) {
        if (form->objectName() == QLatin1String("frmRescan")) {
            form->Unload(vb::vbFormCode);
            break;
        }
    }
    Unload(vb::vbFormCode);
    if (!failure.isEmpty())
        MsgBox(scanFailedText(failure), vb::vbOKOnly);
}
