#include "ui/mainprocs.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QHash>
#include <QLineEdit>
#include <QPointer>

#include "core/errors.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/system/singleinstance.h"
#include "platform/vb/vb.h"
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

bool promptStore()
{
    Trap trap;
    try {
        trap(1);
        if (!g_blnPromptStore)
            return true;
        trap(2);
        const int answer = MsgBox(QStringLiteral("This document has not been stored.  Are you sure you "
                                                 "want to continue and lose all changes?"),
                                  vb::vbYesNo, QStringLiteral("Note:"));
        if (answer != vb::vbYes)
            return false;
        trap(3);
#if __has_include("platform/imaging/qelezimage.h")
        // An empty page view has no page to turn back.
        if (frmMain().ezPageView->pageCount() > 0)
            frmMain().ezPageView->setRotation(1);
#endif
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
    // One guard per window caption for the life of the process.
    static QHash<QString, SingleInstance *> guards;
    const QString name = singleInstanceName(form.caption());
    SingleInstance *&guard = guards[name];
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
