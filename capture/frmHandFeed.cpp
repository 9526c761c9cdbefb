#include "capture/frmHandFeed.h"

#include "batch/filterpass.h"
#include "capture/scanning.h"
#include "core/state.h"
#include "platform/analysis/ip2.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

FrmHandFeed &frmHandFeed() { return defaultInstance<FrmHandFeed>(); }

QString scanFailedText(const QString &description)
{
    return description + vbCrLf
           + QStringLiteral("Scanning failed.  Be sure you have selected a scanner under Settings and that your "
                            "scanner is turned on and properly connected.");
}

FrmHandFeed::FrmHandFeed() : Form(QStringLiteral("frmHandFeed"))
{
    setCaption(QStringLiteral("Hand Feed Scan"));
    Timer1 = addControl(new QTimer(this), QStringLiteral("Timer1"));
    Label1 = addControl(new QLabel(QStringLiteral("Place page in the automatic document feeder to scan.  "
                                                  "Press Done when finished."),
                                   this),
                        QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setGeometry(12, 10, 220, 48);
    btnDone = addControl(new QPushButton(QStringLiteral("Done"), this), QStringLiteral("btnDone"));
    btnDone->setGeometry(82, 66, 80, 26);
    btnDone->setAutoDefault(false);
    setDefaultButton(btnDone);
    resize(244, 102);

    connect(Timer1, &QTimer::timeout, this, &FrmHandFeed::Timer1_Timer);
    connect(btnDone, &QPushButton::clicked, this, &FrmHandFeed::btnDone_Click);
}

void FrmHandFeed::Form_Load() { Timer1->start(500); }

void FrmHandFeed::Form_Unload(int &cancel)
{
    (void)cancel;
    Timer1->stop();
}

void FrmHandFeed::Timer1_Timer()
{
    // A scan call may pump events: the next tick waits until this one is over, and the frame
    // cannot close the window under it.
    Road::Run run(m_tick);
    if (!run)
        return;
    FrmMain &f = frmMain();
    QelEzImage &tree = *f.ezTreeView;
    try {
        tree.setPaperSource(g_intDefaultPaperSource);
        if (tree.paperSource() == 2)
            tree.scanPage();
        else
            tree.scanFeeder();
        if (tree.pageCount() > 0)
            f.ezPageView->setPage(tree.page());
    } catch (const VbError &e) {
        scanFailed(e.description);
    } catch (const std::exception &e) {
        scanFailed(QString::fromLocal8Bit(e.what()));
    }
}

// The run ends as with Done, the document and the pages fed so far kept (the next scan goes on
// at their end, or they are stored), then the operator is told what failed.
void FrmHandFeed::scanFailed(const QString &description)
{
    btnDone_Click();
    keepScanPosition(*frmMain().ezTreeView, frmMain().ezTreeView->pageCount());
    MsgBox(scanFailedText(description), vb::vbOKOnly);
}

void FrmHandFeed::btnDone_Click()
{
    Timer1->stop();
    if (!g_FilterSettings)
        g_FilterSettings = std::make_shared<FilterChain>();
    process_filters(*frmMain().ezTreeView, g_FilterSettings, 1, -1, 0);
    Unload(vb::vbFormCode);
}
