#include "capture/storework.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTimer>

#include "core/files.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "platform/system/system.h"
#include "platform/vb/vberror.h"
#include "ui/frmMain.h"

namespace {

// The automation error of an object that has disconnected from its clients (0x80010108).
constexpr int kDisconnected = -2147417848;

Form *loadedForm(const QString &name)
{
    for (Form *f : Forms())
        if (f->objectName() == name)
            return f;
    return nullptr;
}

void repaint(const QString &name)
{
    if (Form *f = loadedForm(name))
        f->repaint();
}

} // namespace

QString parkedAnnotationName(int page) { return QStringLiteral("Quorla.ann") + QString::number(page); }

void deleteParkedAnnotations(int pages)
{
    for (int page = 1; page <= pages; ++page)
        if (QFileInfo::exists(g_strTempPath + parkedAnnotationName(page)))
            DeleteTempFile(parkedAnnotationName(page));
}

void deleteOnShare(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return;
    const QString local = hostPathToLocal(folder + name);
    if (QFileInfo::exists(local))
        DeleteFile(local);
}

void copyToShare(const QString &source, const QString &destination)
{
    if (QFileInfo::exists(destination) && !QFile::remove(destination))
        raiseVbError(vbErr::PathNotFound, QStringLiteral("Cannot replace ") + destination);
    if (!QFile::copy(source, destination))
        raiseVbError(vbErr::PathNotFound, QStringLiteral("Cannot copy to ") + destination);
}

void emptyAnnotationSet(QelAnnotDocument &set)
{
    if (set.count() == 0)
        return;
    const QMap<QString, QVariant> props = set.properties();
    set.clear();
    for (auto it = props.cbegin(); it != props.cend(); ++it)
        set.setProperty(it.key(), it.value());
}

bool isFormVisible(const QString &name)
{
    const Form *f = loadedForm(name);
    return f && f->isVisible();
}

void runAnnotationMerge()
{
    g_intAnnotCount = 0;
    g_blnAnnotMergeDone = false;
    QTimer *timer = frmMain().tmrAnnotationMerge;
    timer->setInterval(600);
    timer->start();
    // The timer ends the wait; blocking for events keeps the wait from spinning.
    while (!g_blnAnnotMergeDone)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void refreshFrontWindow()
{
    if (g_blnIsBatch) {
        if (isFormVisible(QStringLiteral("frmBatchProgress"))) {
            repaint(QStringLiteral("frmBatchProgress"));
            repaint(QStringLiteral("frmBatch"));
        }
    } else if (g_blnIsBatchRotate) {
        repaint(QStringLiteral("frmBatchRotateProgress"));
        repaint(QStringLiteral("frmBatchRotate"));
    } else if (isFormVisible(QStringLiteral("frmBarcodeScan"))) {
        repaint(QStringLiteral("frmBarcodeScan")); // its progress bar and label with it
    } else {
        refreshStoreWindow();
    }
}

void refreshStoreWindow() { repaint(QStringLiteral("frmStore")); }

void reportStoreFailure(const QString &procedure, const Trap &trap)
{
    try {
        throw;
    } catch (const VbError &e) {
        if (e.number == kDisconnected) {
            MsgBox(QStringLiteral("The application encountered an unrecoverable error while processing you request.  "
                                  "Please restart the application and try your requestion again."),
                   vb::vbCritical, QStringLiteral("The Korvane Scan Tool"));
            coreHooks().endProcess(1);
            return;
        }
        throwError(procedure, trap, e);
    } catch (...) {
        reportCurrentError(procedure, trap);
    }
}
