#include "ui/mainprocs.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QHash>
#include <QLineEdit>
#include <QPointer>

#include "batch/frmBatch.h"
#include "batch/frmBatchRotate.h"
#include "capture/frmOverhead.h"
#include "capture/frmRescan.h"
#include "capture/request.h"
#include "capture/scanning.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/system/singleinstance.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"
#include "ui/commondialog/ccommondialog.h"
#include "ui/frmMain.h"

void setPromptStore()
{
    Trap trap;
    try {
        trap(1);
        g_blnPromptStore = true;
        FrmMain &f = frmMain();
        trap(2);
        f.btnStore->setEnabled(true);
        f.mnuStore->setEnabled(true);
        f.mnuUndo->setEnabled(true);
    } catch (...) {
        reportCurrentError(QStringLiteral("setPromptStore"), trap);
    }
}

// The main window's scan under way, past its Rescan question: its pages are not stored yet.
static bool scanUnderWay()
{
    return frmMain().scanRoad.running() && !isShown<FrmRescan>();
}

bool promptStore(const std::function<void()> &again)
{
    Trap trap;
    try {
        trap(1);
        if (scanUnderWay()) {
            // Stopped at the sheet in hand; the command comes again once the pages are in.
            FrmMain &f = frmMain();
            if (again)
                f.scanRoad.abortThen(again);
            else
                f.scanRoad.abort();
            return false;
        }
        if (!g_blnPromptStore)
            return true;
        trap(2);
        // A store whose answer was lost may have reached the host: saying "not stored" would be wrong.
        // No is the default: a stray Enter keeps the pages. An ending program answers No too: it
        // has kept the pages for the next start, and the command must not go on under it.
        const int answer = MsgBox(openRegistration()
                                      ? QStringLiteral("This document may have been stored: the records host did not "
                                                       "answer its store.  Are you sure you want to continue and lose "
                                                       "all changes?")
                                      : QStringLiteral("This document has not been stored.  Are you sure you "
                                                       "want to continue and lose all changes?"),
                                  vb::vbYesNo | vb::vbDefaultButton2, QStringLiteral("Note:"), vb::vbNo);
        if (answer != vb::vbYes)
            return false;
        trap(3);
        // An empty page view has no page to turn back.
        if (frmMain().ezPageView->pageCount() > 0)
            frmMain().ezPageView->setRotation(1);
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("promptStore"), trap);
        return false;
    }
}

void clear_checks()
{
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        for (QAction *entry : {f.mnuMALC, f.mnuMACC, f.mnuMALCP, f.mnuMARG, f.mnuNYRG, f.mnuNYCR, f.mnuNYMD,
                               f.mnuMERG, f.mnuMEBS, f.mnuFHS, f.mnuNYBS, f.mnuMARGBS, f.mnuNYBR})
            entry->setChecked(false);
    } catch (...) {
        reportCurrentError(QStringLiteral("clear_checks"), trap);
    }
}

void hideFrames()
{
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        for (QGroupBox *frame : {f.fraNYRG, f.fraMARG, f.fraMALC, f.fraMERG, f.fraMALCP, f.fraMEBS, f.fraFHS,
                                 f.fraNYBR, f.fraMACC, f.fraMARGElectronic, f.fraNYRGElectronic})
            frame->setVisible(false);
        trap(2);
        f.fraDefaultDocType->setEnabled(false);
        f.cboCurrentDocType->setEnabled(false);
    } catch (...) {
        reportCurrentError(QStringLiteral("hideFrames"), trap);
    }
}

QVariant clampNonNegative(int value)
{
    if (value < 0)
        return QVariant::fromValue<qint16>(0);
    return QVariant::fromValue<qint32>(value);
}

// Lays the page view out from `left` to the window's inner right edge.
static void placePageView(FrmMain &f, int left)
{
    ctl::setLeft(f.ezPageView, left);
    const QVariant width = clampNonNegative(CLng(Round(double(f.ScaleWidth()) - ctl::left(f.ezPageView))));
    ctl::setWidth(f.ezPageView, width.toInt());
}

void hideTree()
{
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        f.btnShowTree->setText(QStringLiteral("Show Thumbna&ils"));
        trap(2);
        placePageView(f, ctl::left(f.ezTreeView));
    } catch (...) {
        reportCurrentError(QStringLiteral("hideTree"), trap);
    }
}

void showTree()
{
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        f.btnShowTree->setText(QStringLiteral("Hide Thumbna&ils"));
        trap(2);
        placePageView(f, ctl::left(f.ezTreeView) + ctl::width(f.ezTreeView));
    } catch (...) {
        reportCurrentError(QStringLiteral("showTree"), trap);
    }
}

void selectAllText(QLineEdit *textBox)
{
    textBox->setSelection(0, textBox->text().length());
}

QString singleInstanceName(const QString &caption)
{
    const QByteArray digest = QCryptographicHash::hash(caption.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("quorla-") + QString::fromLatin1(digest.toHex().left(16));
}

bool CheckUnique(Form &form)
{
    // One guard per window caption for the life of the process (or until it is deleted).
    static QHash<QString, QPointer<SingleInstance>> guards;
    const QString name = singleInstanceName(form.caption());
    QPointer<SingleInstance> &guard = guards[name];
    if (guard && guard->isPrimary())
        return true;
    if (!guard)
        guard = new SingleInstance(name, qApp);
    if (guard->start()) {
        QPointer<Form> target(&form);
        QObject::connect(guard, &SingleInstance::raiseRequested, qApp, [target] {
            if (!target)
                return;
            target->showMaximized();
            DoEvents();
            target->raise();
            target->activateWindow();
            DoEvents();
        });
        return true;
    }
    if (!guard->failure().isEmpty()) {
        MsgBox(QStringLiteral("The Korvane Scan Tool cannot write in its temp folder %1 (%2).  Free some space "
                              "there, or set TMPDIR to another folder, then start the program again.")
                   .arg(QDir::toNativeSeparators(privateTempPath()), guard->failure()),
               vb::vbOKOnly | vb::vbCritical, QStringLiteral("The Korvane Scan Tool"));
        coreHooks().endProcess(1);
        return false;
    }
    // The earlier copy was asked to maximise and raise itself.
    DoEvents();
    return false;
}

bool trySetFocus(QWidget *control)
{
    DoEvents();
    if (!control || !control->isVisible() || !control->isEnabled()
        || !(control->focusPolicy() & Qt::TabFocus))
        return false;
    control->setFocus(Qt::OtherFocusReason);
    return true;
}

void checkKeyDown(int keyCode, int &shift)
{
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        const bool ctrl = (shift & vb::vbCtrlMask) != 0;
        QelEzImage *view = f.ezPageView;
        trap(2);
        if (keyCode == vb::vbKeyPageDown && view->currentPage() < view->pageCount()) {
            view->setCurrentPage(view->currentPage() + 1);
            f.ezTreeView->setCurrentPage(view->currentPage());
        }
        trap(3);
        if (keyCode == vb::vbKeyPageUp && view->currentPage() > 1) {
            view->setCurrentPage(view->currentPage() - 1);
            f.ezTreeView->setCurrentPage(view->currentPage());
        }
        trap(4);
        if (keyCode == vb::vbKeyComma && f.btnPrev->isEnabled() && promptStore([&f] { f.btnPrev->click(); }))
            run_program(QStringLiteral("P"));
        trap(5);
        if (keyCode == vb::vbKeyPeriod && f.btnNext->isEnabled() && promptStore([&f] { f.btnNext->click(); }))
            run_program(QStringLiteral("N"));
        trap(6);
        if (keyCode == vb::vbKeyF11 || keyCode == vb::vbKeyF12) {
            f.cboRotateOpt->setListIndex(keyCode == vb::vbKeyF11 ? 0 : 1);
            if (f.cboRotateOpt->isVisibleTo(&f))
                f.cboRotateOpt->setFocus(Qt::OtherFocusReason);
        }
        trap(7);
        if (keyCode == vb::vbKeyF7 && f.mnuOverhead->isVisible() && f.btnScan->isEnabled())
            frmOverhead().Show(vb::vbModal, &f);
        trap(8);
        if (keyCode == vb::vbKeyF8)
            do_HandFeedScan();
        trap(9);
        // The batch windows start from an empty workspace.
        const auto again = [keyCode] {
            int shiftAgain = 0;
            checkKeyDown(keyCode, shiftAgain);
        };
        if (keyCode == vb::vbKeyF9 && g_dbMode != MODE_MALCP && promptStore(again))
            frmBatchRotate().Show(vb::vbModal, &f);
        trap(10);
        if (keyCode == vb::vbKeyF10 && f.mnuBatchScan->isEnabled() && promptStore(again))
            frmBatch().Show(vb::vbModal, &f);
        trap(11);
        if (keyCode == vb::vbKeyF6)
            showOnlineHelp();
        trap(12);
        if (keyCode == vb::vbKeyZ && ctrl && f.btnStore->isEnabled() && promptStore([&f] { f.mnuUndo->trigger(); }))
            run_program(QStringLiteral("A"));
    } catch (...) {
        reportCurrentError(QStringLiteral("checkKeyDown"), trap);
    }
}

// A 16-bit scroll value; a status text too tall for one is scrolled as far as 16 bits reach.
static int scrollUnits(int twips) { return std::min(twips, 32767); }

// The scroll bar beside the status text: shown with the overflow as its range, or hidden.
static void layoutStatusScroll(FrmMain &f)
{
    const int scrollHeight = ctl::height(f.fraScroll);
    const int textHeight = ctl::height(f.lblStatus);
    if (scrollHeight < textHeight) {
        f.ScrStatus->setVisible(true);
        f.ScrStatus->setMaximum(scrollUnits(textHeight - scrollHeight));
        f.ScrStatus->setSingleStep(scrollUnits(textHeight));
    } else {
        f.ScrStatus->setVisible(false);
    }
    f.ScrStatus->setValue(0);
}

void layoutStatusText(FrmMain &f)
{
    ctl::setTop(f.lblStatus, 0);
    layoutStatusScroll(f);
}

void resizeElements()
{
    Trap trap;
    try {
        FrmMain &f = frmMain();
        auto clamp = [](double length) { return clampNonNegative(CLng(Round(length))).toInt(); };
        trap(1);
        ctl::setHeight(f.fraScan, f.ScaleHeight());
        trap(2);
        ctl::setWidth(f.fraScan, f.ScaleWidth());
        trap(3);
        ctl::setHeight(f.ezPageView, clamp(f.ScaleHeight() - ctl::top(f.ezPageView)));
        trap(4);
        ctl::setWidth(f.ezPageView, clamp(f.ScaleWidth() - ctl::left(f.ezPageView)));
        trap(5);
        ctl::setHeight(f.ezTreeView, clamp(f.ScaleHeight() - ctl::top(f.ezTreeView)));
        trap(6);
        ctl::setHeight(f.lblImage, clamp(f.ScaleHeight() - ctl::top(f.lblImage)));
        trap(7);
        ctl::setWidth(f.lblImage, clamp(f.ScaleWidth() - ctl::left(f.lblImage)));
        trap(8);
        ctl::setHeight(f.fraMain, clamp(f.ScaleHeight() - ctl::top(f.fraMain) - 960));
        trap(9);
        ctl::setHeight(f.fraStatus, clamp(ctl::height(f.fraMain) - ctl::top(f.fraStatus) - 120));
        trap(10);
        ctl::setHeight(f.fraScroll, clamp(ctl::height(f.fraStatus) - ctl::top(f.fraScroll) - 120));
        trap(11);
        ctl::setHeight(f.ScrStatus, ctl::height(f.fraScroll));
        trap(12);
        ctl::setTop(f.lblStatus, 0);
        trap(13);
        layoutStatusScroll(f);
        trap(14);
        for (QWidget *b : {f.btnStore, f.btnScan, f.btnShowTree})
            ctl::setTop(b, f.ScaleHeight() - 840);
        trap(15);
        for (QWidget *b : {f.btnGoNew, f.btnNext, f.btnPrev, f.btnRefresh})
            ctl::setTop(b, f.ScaleHeight() - 360);
    } catch (...) {
        reportCurrentError(QStringLiteral("resizeElements"), trap);
    }
}

bool selectEfileProvider(QComboBox *combo, const QString &id)
{
    for (int i = 0; i < g_EfilePartnerIds.size(); ++i) {
        if (g_EfilePartnerIds.at(i) == id) {
            combo->setCurrentIndex(i);
            return true;
        }
    }
    combo->setCurrentIndex(-1);
    MsgBox(QStringLiteral("Unable to find the e-file provider ") + id
               + QStringLiteral(" returned during the Get Batch Request.  Please select the desired provider."),
           vb::vbOKCancel, QStringLiteral("The Korvane Scan Tool"));
    return false;
}

void showOnlineHelp()
{
    cCommonDialog dialog;
    dialog.setDialogTitle(QStringLiteral("Korvane - Scan Tool Online Help"));
    dialog.setHelpCommand(3);
    dialog.setHelpFile(programFolder() + QStringLiteral("/quorla.hlp"));
    dialog.ShowHelp();
}
