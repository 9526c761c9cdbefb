#include "capture/storework.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTimer>

#include <cstdio>
#include <optional>

#include "core/files.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/system/system.h"
#include "platform/vb/vberror.h"
#include "batch/frmBarcodeScan.h"
#include "batch/frmBatch.h"
#include "batch/frmBatchProgress.h"
#include "batch/frmBatchRotate.h"
#include "batch/frmBatchRotateProgress.h"
#include "capture/frmStore.h"
#include "capture/paperstore.h"
#include "host/im650r.h"
#include "ui/frmMain.h"

namespace {

template <class F> void repaintLoaded()
{
    if (F *f = loadedInstance<F>())
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
    copyIntoPlace(source, destination, CopyMode::Replace);
}

QString copyToShareFree(const QString &source, const QString &folder, const QString &name,
                        const QString &ending, qint32 &counter)
{
    QString candidate = freeStoreName(folder, name, ending, counter);
    while (!copyIntoPlace(source, hostPathToLocal(folder + candidate), CopyMode::CreateNew))
        candidate = freeStoreName(folder, candidate, ending, counter);
    return candidate;
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

bool runAnnotationMerge()
{
    g_intAnnotCount = 0;
    g_blnAnnotMergeDone = false;
    g_blnAnnotMergeFailed = false;
    QTimer *timer = frmMain().tmrAnnotationMerge;
    // One page a tick, the events in between handled; the merge itself is immediate.
    timer->setInterval(0);
    timer->start();
    // The timer ends the wait; blocking for events keeps the wait from spinning.
    while (!g_blnAnnotMergeDone)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return !g_blnAnnotMergeFailed;
}

void refreshFrontWindow()
{
    if (g_blnIsBatch) {
        if (isShown<FrmBatchProgress>()) {
            repaintLoaded<FrmBatchProgress>();
            repaintLoaded<FrmBatch>();
        }
    } else if (g_blnIsBatchRotate) {
        repaintLoaded<FrmBatchRotateProgress>();
        repaintLoaded<FrmBatchRotate>();
    } else if (isShown<FrmBarcodeScan>()) {
        repaintLoaded<FrmBarcodeScan>(); // its progress bar and label with it
    } else {
        refreshStoreWindow();
    }
}

void refreshStoreWindow() { repaintLoaded<FrmStore>(); }

namespace {

// The keys that name the current document for the host.
QString documentKey()
{
    return QStringList{QString::number(g_dbMode), QString::number(gdtCurrentDocType), g_KyCd, g_DocId, g_Year,
                       g_Month, g_Day, g_CTLNum, g_BookCode, g_Book, g_Page}
        .join(u'|');
}

// The document whose store lost the host's answer, and the image the host had for it then.
struct Unanswered {
    QString key;
    QString image;
};
std::optional<Unanswered> g_unanswered;

const StoreRollback *g_storeUnderWay = nullptr;

} // namespace

void reportUnknownOutcome()
{
    g_unanswered = Unanswered{documentKey(), g_ImID.trimmed()};
    MsgBox(QStringLiteral("The connection to the records host was lost before it answered.  The document may "
                          "have been registered: check it on the host before storing it again.  The files stay "
                          "on the share."),
           vb::vbOKOnly | vb::vbExclamation, QStringLiteral("The Korvane Scan Tool"));
}

bool storeAnswerLost()
{
    if (g_unanswered && g_unanswered->key != documentKey())
        g_unanswered.reset();
    return g_unanswered.has_value();
}

EarlierStore checkEarlierStore(AdoConnection &conn)
{
    if (!storeAnswerLost())
        return EarlierStore::None;
    QString none1, none2, none3;
    if (!IM650R(conn, QStringLiteral("A"), none1, none2, none3))
        return EarlierStore::Unanswered;
    const QString before = g_unanswered->image;
    g_unanswered.reset();
    // A registration gives the document an image it did not have, or another one.
    const QString now = g_ImID.trimmed();
    if (now.isEmpty() || now == before)
        return EarlierStore::None;
    MsgBox(QStringLiteral("The records host shows this document stored: the store whose answer was lost reached "
                          "it.  It is not registered again."),
           vb::vbOKOnly | vb::vbInformation, QStringLiteral("The Korvane Scan Tool"));
    return EarlierStore::Stored;
}

void leaveAsStored()
{
    g_blnPromptStore = false;
    FrmMain &w = frmMain();
    w.btnStore->setEnabled(false);
    w.mnuStore->setEnabled(false);
}

QString documentCopyOfStoreUnderWay() { return g_storeUnderWay ? g_storeUnderWay->copy() : QString(); }


void saveDocumentCopy(QelEzImage &view, const QString &file)
{
    const QString saveName = view.saveFileName();
    const int option = view.annotationOption(), append = view.saveAppend();
    const auto putBack = [&] {
        view.setSaveAppend(append);
        view.setSaveFileName(saveName);
        view.setAnnotationOption(option);
    };
    view.setAnnotationOption(1);
    view.setSaveFileName(file);
    view.setSaveAppend(0);
    try {
        view.save();
    } catch (...) {
        putBack();
        throw;
    }
    putBack();
}

StoreRollback::StoreRollback(QelEzImage &view, QelEzImage &tree)
    : m_view(view), m_tree(tree), m_file(g_strTempPath + QStringLiteral("storebackup.tif")),
      m_original(view.imageFile()),
      m_page(view.page()), m_annotationLayer(view.annotationLayer()),
      m_annotationOption(view.annotationOption()), m_saveFileName(view.saveFileName()),
      m_print(frmMain().btnPrint->isEnabled()), m_redact(frmMain().btnRedact->isEnabled())
{
    try {
        saveDocumentCopy(view, m_file);
    } catch (...) {
        m_released = true;
        throw;
    }
    g_storeUnderWay = this;
}

StoreRollback::~StoreRollback()
{
    if (g_storeUnderWay == this)
        g_storeUnderWay = nullptr;
    bool back = true;
    if (!m_released) {
        for (const QString &f : std::as_const(m_placed))
            QFile::remove(f);
        // The host's own file comes back in one step, in place of the one the store put there.
        for (const auto &[target, aside] : std::as_const(m_replaced))
            ::rename(QFile::encodeName(aside).constData(), QFile::encodeName(target).constData());
        back = restore();
    }
    // The copy goes only once the document is back where the operator had it.
    if (back && QFileInfo::exists(m_file) && m_view.imageFile() != m_file)
        QFile::remove(m_file);
}

void StoreRollback::placeOver(const QString &source, const QString &shareFile)
{
    if (!QFileInfo::exists(shareFile)) {
        copyToShare(source, shareFile);
        placed(shareFile);
        return;
    }
    const QString staged = copyBeside(source, shareFile);
    const QFileInfo target(shareFile);
    const QString aside = target.path() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".previous");
    try {
        moveIntoPlace(shareFile, aside);
    } catch (...) {
        QFile::remove(staged);
        throw;
    }
    m_replaced.append({shareFile, aside});
    try {
        moveIntoPlace(staged, shareFile);
    } catch (...) {
        QFile::remove(staged);
        throw;
    }
}

void StoreRollback::keepPlaced()
{
    // The host may have taken what was placed: it stays, and a file it replaced stays aside.
    m_placed.clear();
    m_replaced.clear();
}

void StoreRollback::release()
{
    m_released = true;
    if (g_storeUnderWay == this)
        g_storeUnderWay = nullptr;
    for (const auto &[target, aside] : std::as_const(m_replaced))
        QFile::remove(aside);
    m_replaced.clear();
}

bool StoreRollback::restore()
{
    try {
        // What the views hold now is a working copy: failing to write its annotations back (a
        // full temp folder) does not keep the document from coming back.
        try {
            m_view.clearImage();
        } catch (...) {
        }
        m_view.setAnnotationLayer(m_annotationLayer);
        m_view.setAnnotationOption(m_annotationOption);
        m_view.setSaveFileName(m_saveFileName);
        m_view.resetView();
        // Back under the working file it came from, else the workspace's own: a file that stays,
        // apart from the next store's copy.
        const QString work = m_original.startsWith(g_strTempPath) && m_original != m_file
                                 ? m_original
                                 : g_strTempPath + QStringLiteral("temp.tif");
        QString file = m_file;
        if (::rename(QFile::encodeName(m_file).constData(), QFile::encodeName(work).constData()) == 0)
            file = work;
        m_view.setImageFile(file);
        m_tree.setImageHandle(m_view.imageHandle());
        const int page = qBound(1, m_page, m_view.pageCount());
        m_view.setPage(page);
        m_tree.setPage(page);
        FrmMain &w = frmMain();
        w.btnStore->setEnabled(true);
        w.mnuStore->setEnabled(true);
        w.btnPrint->setEnabled(m_print);
        w.btnRedact->setEnabled(m_redact);
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("StoreRollback"), Trap{});
        MsgBox(QStringLiteral("The document could not be put back into the view.  A copy of it is kept in ")
                   + m_file + QStringLiteral("."),
               vb::vbOKOnly | vb::vbCritical, QStringLiteral("The Korvane Scan Tool"));
        return false;
    }
}
