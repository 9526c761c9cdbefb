#include "capture/storework.h"

#include <utility>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QScopeGuard>
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
#include "capture/view.h"
#include "host/im091r.h"
#include "host/im650r.h"
#include "host/im655r.h"
#include "platform/ado/ado.h"
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

// The values that name the current document for the host, without the blanks it pads them with.
QString documentKey()
{
    QStringList key{QString::number(g_dbMode), QString::number(gdtCurrentDocType)};
    for (const QString *v : {&g_KyCd, &g_DocId, &g_Year, &g_Month, &g_Day, &g_CTLNum, &g_BookCode, &g_Book, &g_Page,
                             &g_EndingPage, &g_DocNum, &g_CertNum, &g_RefCode, &g_RefNum, &g_Plan1, &g_Plan2, &g_Plan3,
                             &gsDocumentId})
        key << v->trimmed();
    return key.join(u'|');
}

QHash<QString, SentImage> g_openRegistrations;

const StoreRollback *g_storeUnderWay = nullptr;

QByteArray fileDigest(const QString &path)
{
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f))
        return {};
    return hash.result();
}

const QString kTitle = QStringLiteral("The Korvane Scan Tool");

} // namespace

SentImage sentImage(const QString &file, const QString &name, int pages)
{
    const QByteArray digest = fileDigest(file);
    if (digest.isEmpty())
        raiseVbError(vbErr::FileNotFound);
    return {name, QFileInfo(file).size(), pages, digest};
}

bool fitsTheHost(qint64 size, int pages)
{
    if (size <= 999999999 && pages <= 9999)
        return true;
    MsgBox(QStringLiteral("This document is too large for the records host: its image has %1 bytes on %2 pages, "
                          "and the host takes no more than 999,999,999 bytes and 9,999 pages.  Nothing was "
                          "stored; the pages stay in the view.")
               .arg(size)
               .arg(pages),
           vb::vbOKOnly | vb::vbExclamation, kTitle);
    return false;
}

std::optional<SentImage> openRegistration()
{
    const auto it = g_openRegistrations.constFind(documentKey());
    if (it == g_openRegistrations.cend())
        return std::nullopt;
    return *it;
}

void keepOpenRegistration(const SentImage &image) { g_openRegistrations.insert(documentKey(), image); }

void closeOpenRegistration() { g_openRegistrations.remove(documentKey()); }

void forgetOpenRegistrations() { g_openRegistrations.clear(); }

HeldImage heldImage(const HostSettings &s, int pages)
{
    // The lookups write the document's values; what the document had is kept.
    const QList<QString *> written{&g_NumPages, &g_DocType, &g_ImID, &gsRedacted, &g_DocNum, &g_CertNum, &g_ImLoc};
    QStringList before;
    for (const QString *v : written)
        before << *v;
    const auto putBack = qScopeGuard([&] {
        for (int i = 0; i < written.size(); ++i)
            *written[i] = before[i];
    });
    HeldImage out;
    Trap trap;
    try {
        trap(1);
        AdoConnection conn;
        conn.open(hostConnectionString(s.dsn), s.uid, s.pwd, adOptionUnspecified);
        trap(2);
        QString none1, none2, none3;
        const bool answered = g_dbMode == MODE_MACC ? IM655R(QStringLiteral("A"), none1, none2, none3)
                                                    : IM650R(conn, QStringLiteral("A"), none1, none2, none3);
        if (!answered)
            return out;
        out.held = g_ImID.trimmed().isEmpty() ? HostHolds::No : HostHolds::Yes;
        out.pages = out.held == HostHolds::Yes ? safeCInt(g_NumPages) : 0;
        if (out.held == HostHolds::No || (pages >= 0 && out.pages != pages))
            return out;
        trap(3);
        const IM091RAnswer where = IM091R(conn, g_ImID);
        if (!where.errMsg.isEmpty()) {
            MsgBox(where.errMsg, vb::vbOKOnly, kTitle);
            out.held = HostHolds::Unknown;
            return out;
        }
        trap(4);
        // A location that names no file on the share leaves the file unknown.
        try {
            out.file = hostPathToLocal(storedImagePath(s.dsn, where.flNm, where.sbDr, where.imid));
        } catch (const VbError &) {
        }
        return out;
    } catch (...) {
        reportCurrentError(QStringLiteral("heldImage"), trap);
        out.held = HostHolds::Unknown;
        return out;
    }
}

HostHolds hostHoldsImage(const HostSettings &s, const SentImage &image)
{
    const HeldImage held = heldImage(s, image.pages);
    if (held.held != HostHolds::Yes || held.file.isEmpty())
        return held.held == HostHolds::Unknown ? HostHolds::Unknown : HostHolds::No;
    return QFileInfo(held.file).size() == image.size && fileDigest(held.file) == image.digest ? HostHolds::Yes
                                                                                             : HostHolds::No;
}

EFiledHolding eFiledHolding(const HostSettings &s)
{
    // An e-filed document reaches the image master only through its store.
    const HeldImage held = heldImage(s);
    switch (held.held) {
    case HostHolds::Unknown:
        return {};
    case HostHolds::No:
        return {EFiledStore::Open, QString()};
    case HostHolds::Yes:
        break;
    }
    const QByteArray registered = held.file.isEmpty() ? QByteArray() : fileDigest(held.file);
    if (registered.isEmpty()) {
        MsgBox(QStringLiteral("The image the records host registered for this document could not be read from "
                               "the share.  Nothing was stored."),
               vb::vbOKOnly | vb::vbExclamation, kTitle);
        return {};
    }
    const QString burned = hostPathToLocal(hostPathText(gsBurnedImagePath));
    const bool handedOver = fileDigest(burned) == registered;
    return {handedOver ? EFiledStore::HandedOver : EFiledStore::Registered, held.file};
}

QString notStoredLogText()
{
    return openRegistration() ? QStringLiteral(" may have been stored: the records host did not answer its store.  "
                                               "Check it on the host.")
                              : QStringLiteral(" failed to store.");
}

void reportUnknownOutcome()
{
    MsgBox(QStringLiteral("The connection to the records host was lost before it answered: the document may have "
                          "been registered.  The next Store asks the host first and registers it only when the "
                          "host does not have it."),
           vb::vbOKOnly | vb::vbExclamation, kTitle);
}

void reportAnswerLostCountedStored()
{
    MsgBox(QStringLiteral("The connection to the records host was lost after the document was sent to it.  It is "
                          "counted as stored and is not sent again: check it on the host."),
           vb::vbOKOnly | vb::vbExclamation, kTitle);
}

namespace {
bool g_foundHeld = false;
}

bool takeStoreFoundHeld() { return std::exchange(g_foundHeld, false); }

void reportAlreadyStored()
{
    g_foundHeld = true;
    // Boxes in a batch or a barcode run wait for no one: the log tells there.
    if (g_blnIsBatch || isShown<FrmBarcodeScan>())
        return;
    // Only a store whose answer was lost in this session is named as the cause.
    const QString cause = openRegistration()
        ? QStringLiteral(" (an earlier store whose answer was lost reached it)")
        : QString();
    MsgBox(QStringLiteral("The records host already holds this document as it is now") + cause +
               QStringLiteral(".  It is not registered again."),
           vb::vbOKOnly | vb::vbInformation, kTitle);
}

void leaveAsStored()
{
    g_blnPromptStore = false;
    FrmMain &w = frmMain();
    w.btnStore->setEnabled(false);
    w.mnuStore->setEnabled(false);
}

QString documentCopyOfStoreUnderWay() { return g_storeUnderWay ? g_storeUnderWay->copy() : QString(); }


void saveDocumentCopy(QelEzImage &view, const QString &file, bool checked)
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
        view.save(0, checked);
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
        saveDocumentCopy(view, m_file, false);
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
    if (!m_staged.isEmpty())
        QFile::remove(m_staged);
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

void StoreRollback::stageOver(const QString &source, const QString &shareFile)
{
    m_staged = copyBeside(source, shareFile);
    m_stagedFor = shareFile;
}

void StoreRollback::swapStaged()
{
    const QString staged = std::exchange(m_staged, QString());
    const QString target = std::exchange(m_stagedFor, QString());
    if (!QFileInfo::exists(target)) {
        moveIntoPlace(staged, target);
        placed(target);
        return;
    }
    const QFileInfo t(target);
    const QString aside = t.path() + QStringLiteral("/.") + t.fileName() + QStringLiteral(".previous");
    try {
        moveIntoPlace(target, aside);
    } catch (...) {
        QFile::remove(staged);
        throw;
    }
    m_replaced.append({target, aside});
    try {
        moveIntoPlace(staged, target);
    } catch (...) {
        QFile::remove(staged);
        throw;
    }
}

void StoreRollback::keepPlaced() { m_placed.clear(); }

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
