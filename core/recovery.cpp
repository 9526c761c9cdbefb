#include "core/recovery.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "annotate/annotfiles.h"
#include "capture/indexchecks.h"
#include "batch/frmBatchProgress.h"
#include "capture/frmOverhead.h"
#include "capture/frmRescan.h"
#include "capture/request.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/mode.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/settings/settings.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

Q_LOGGING_CATEGORY(lcRecovery, "quorla.recovery", QtInfoMsg)

namespace {
const QString kTitle = QStringLiteral("The Korvane Scan Tool");
constexpr QFileDevice::Permissions kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

constexpr QFileDevice::Permissions kPrivateFolder = kPrivateFile | QFileDevice::ExeOwner;

// A kept document is the pair <base>.tif and <base>.ini; base is the folder and the name.
QString keptFile(const QString &base, const char *ending) { return base + QLatin1String(ending); }

QString nameOf(const QString &base) { return QFileInfo(base).fileName(); }

// The kept documents of both folders, oldest first (the names begin with the time they were
// kept). The folders and their files are made private on the way, those an older version kept
// included. An image whose index never came (ended between the two renames) is set aside and
// named.
QStringList keptDocuments()
{
    QStringList bases;
    for (const QString &path : {recoveryFolder(), fallbackRecoveryFolder()}) {
        const QDir folder(path);
        if (path.isEmpty() || !folder.exists())
            continue;
        QFile::setPermissions(folder.path(), kPrivateFolder);
        for (const QString &file : folder.entryList(QDir::Files | QDir::Hidden))
            QFile::setPermissions(folder.filePath(file), kPrivateFile);
        for (const QString &ini : folder.entryList({QStringLiteral("*.ini")}, QDir::Files))
            bases << folder.filePath(ini.chopped(4));
        for (const QString &tif : folder.entryList({QStringLiteral("*.tif")}, QDir::Files))
            if (!folder.exists(tif.chopped(4) + QStringLiteral(".ini")))
                bases << folder.filePath(tif.chopped(4));
    }
    std::sort(bases.begin(), bases.end(),
              [](const QString &a, const QString &b) { return nameOf(a) < nameOf(b); });
    return bases;
}

// Kept documents tried in this session: each is tried once, in turn.
QSet<QString> &tried()
{
    static QSet<QString> names;
    return names;
}

QString newBase(const QString &folder)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    for (int n = 1;; ++n) {
        const QString base = folder + QStringLiteral("/kept-%1-%2").arg(stamp).arg(n, 2, 10, QLatin1Char('0'));
        if (!QFile::exists(keptFile(base, ".ini")) && !QFile::exists(keptFile(base, ".tif"))
            && !QFile::exists(keptFile(base, ".tif.part")) && !QFile::exists(keptFile(base, ".ini.part")))
            return base;
    }
}

void makePrivateFolder(const QString &folder)
{
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QFile::setPermissions(folder, kPrivateFolder))
        raiseVbError(vbErr::PathNotFound);
}

void moveInto(const QString &from, const QString &to)
{
    if (!QFile::setPermissions(from, kPrivateFile)
        || ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        raiseVbError(vbErr::PathNotFound);
}

// Burns the redactions of the document in file into its pixels (what they cover never lies in a
// kept file); the other annotations stay items. Returns its page count.
int burnRedactions(const QString &file)
{
    QelEzImage pages;
    pages.setImageFile(file);
    const int count = pages.pageCount();
    if (burnRedactionItems(pages) > 0) {
        const QString burned = file + QStringLiteral(".burn");
        saveDocumentCopy(pages, burned);
        pages.clearImage();
        moveInto(burned, file);
    }
    return count;
}

// The values that name the shown document for the host, as its lookup left them (after Next or
// Prev the entry fields still hold what was typed for Start).
const QList<QPair<const char *, QString *>> &indexValues()
{
    static const QList<QPair<const char *, QString *>> values{
        {"BookCode", &g_BookCode}, {"Book", &g_Book},         {"Page", &g_Page},           {"EndingPage", &g_EndingPage},
        {"DocNum", &g_DocNum},     {"Plan1", &g_Plan1},       {"Plan2", &g_Plan2},         {"Plan3", &g_Plan3},
        {"Year", &g_Year},         {"Month", &g_Month},       {"Day", &g_Day},             {"CTLNum", &g_CTLNum},
        {"RefCode", &g_RefCode},   {"RefNum", &g_RefNum},     {"CertNum", &g_CertNum},     {"InstNum", &g_InstNum},
        {"PartnerId", &gsPartnerId}, {"BatchId", &gsBatchId}, {"SubmitCde", &gsSubmitCde},
        {"LocationCde", &gsLocationCde}, {"DocumentId", &gsDocumentId}};
    return values;
}

// "Book 1011 Page 1", or the date and control number of the date-keyed databases.
QString documentName()
{
    if (g_dbMode == MODE_NYBR)
        return barcodeStackName();
    if (!g_Book.trimmed().isEmpty())
        return QStringLiteral("Book %1 Page %2").arg(g_Book.trimmed().toInt()).arg(g_Page.trimmed().toInt());
    return g_Month.trimmed() + QLatin1Char('/') + g_Day.trimmed() + QLatin1Char('/') + g_Year.trimmed()
           + QStringLiteral(" Control ") + g_CTLNum.trimmed();
}

QString shownFolder(const QString &base) { return QDir::toNativeSeparators(QFileInfo(base).path()); }

// A kept document that cannot be loaded goes aside under its time, never deleted.
void setAside(const QString &base)
{
    const QString aside = QLatin1Char('.')
                          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))
                          + QStringLiteral(".bad");
    for (const char *ending : {".tif", ".ini"})
        if (QFile::exists(keptFile(base, ending)))
            QFile::rename(keptFile(base, ending), keptFile(base, ending) + aside);
    qCWarning(lcRecovery).noquote() << "could not load" << keptFile(base, ".tif") << "back: set aside";
    // Named as it now lies in the folder.
    MsgBox(QStringLiteral("Scanned pages that were not stored when the program ended could not be loaded back.  "
                          "They were kept in the folder %1 as %2.")
               .arg(shownFolder(base), nameOf(base) + QStringLiteral(".tif") + aside),
           vb::vbOKOnly | vb::vbExclamation, kTitle);
}

// True when the kept document is back in the views.
bool bringBack(const QString &base)
{
    const QString image = keptFile(base, ".tif");
    const QString index = keptFile(base, ".ini");
    try {
        QSettings ini(index, QSettings::IniFormat);
        const QString name = ini.value(QStringLiteral("document/name")).toString();
        const int pages = ini.value(QStringLiteral("document/pages")).toInt();
        const QString imageId = ini.value(QStringLiteral("document/image")).toString();
        if (!QFile::exists(image) || name.isEmpty() || pages < 1)
            raiseVbError(vbErr::FileNotFound);
        FrmMain &f = frmMain();
        // The request again, as Start makes it, from a fresh workspace.
        if (f.btnGoNew->text() != u"St&art")
            user_go();
        set_g_dbMode(qint16(ini.value(QStringLiteral("document/mode")).toInt()));
        f.cboCurrentDocType->setListIndex(ini.value(QStringLiteral("document/source")).toInt());
        ini.beginGroup(QStringLiteral("fields"));
        for (const QString &key : ini.childKeys())
            if (auto *field = qobject_cast<QLineEdit *>(f.control(key)))
                field->setText(ini.value(key).toString());
        ini.endGroup();
        for (const auto &[key, value] : indexValues())
            *value = ini.value(QStringLiteral("index/") + QLatin1String(key)).toString();
        g_blnScanUnIndexDocs = ini.value(QStringLiteral("index/ScanUnIndexDocs")).toBool();
        g_blnNYCTLNum = ini.value(QStringLiteral("index/NYCTLNum")).toBool();
        // The lookup of Start, on the values that named the document.
        f.btnPrint->setEnabled(false);
        f.btnRedact->setEnabled(false);
        run_program(QStringLiteral("A"));
        const bool found = f.btnGoNew->text() != u"St&art";
        // Barcode pages have no lookup to compare with: their Store asks the host what it holds.
        const bool barcodePages = g_dbMode == MODE_NYBR;
        // A store under way when the program ended, whose answer never came: the host is asked
        // whether it holds what that store sent. Without one, the host's image and its page count
        // tell whether the document was stored meanwhile.
        HostHolds stored = HostHolds::No;
        if (found && ini.contains(QStringLiteral("store/digest"))) {
            const SentImage sent{ini.value(QStringLiteral("store/name")).toString(),
                                 ini.value(QStringLiteral("store/size")).toLongLong(),
                                 ini.value(QStringLiteral("store/pages")).toInt(),
                                 QByteArray::fromHex(ini.value(QStringLiteral("store/digest")).toByteArray())};
            stored = hostHoldsImage(readHostSettings(), sent);
            // An e-filed document registered so is still to be handed over: its Store does that.
            if (stored == HostHolds::Yes && gdtCurrentDocType == 1) {
                keepOpenRegistration(sent);
                stored = HostHolds::No;
            }
        } else if (found && !barcodePages && (g_ImID.trimmed() != imageId
                             || (ini.contains(QStringLiteral("document/imagePages"))
                                 && safeCInt(g_NumPages) != ini.value(QStringLiteral("document/imagePages")).toInt()))) {
            stored = HostHolds::Yes;
        }
        if (stored == HostHolds::Yes && ini.contains(QStringLiteral("store/digest"))) {
            QFile::remove(image);
            QFile::remove(index);
            qCInfo(lcRecovery).noquote() << "not brought back, the records host holds what was stored:" << image;
            MsgBox(QStringLiteral("%1 scanned pages of %2 were stored when the program ended: the records host "
                                  "has them.  They are not brought back.")
                       .arg(pages)
                       .arg(name),
                   vb::vbOKOnly | vb::vbInformation, kTitle);
            return false;
        }
        if (!found || stored != HostHolds::No || (!barcodePages && documentName() != name)) {
            // Not looked up (the host said why), or stored meanwhile: bringing the pages back
            // could store them over what the host has now.
            const QString why = !found ? QStringLiteral("the document could not be looked up")
                                : stored == HostHolds::Unknown
                                    ? QStringLiteral("the records host could not say whether the store under way "
                                                     "then reached it")
                                    : QStringLiteral("the document has changed on the records host since");
            qCWarning(lcRecovery).noquote() << "not brought back," << why + QLatin1Char(':') << image;
            const int answer = MsgBox(
                QStringLiteral("%1 scanned pages of %2 were not stored when the program ended.  They could not be "
                               "brought back now: %3.  They are kept in the folder %4 as %5.  Keep them for a "
                               "later start?")
                    .arg(pages)
                    .arg(name, why, shownFolder(base), nameOf(base) + QStringLiteral(".tif")),
                vb::vbYesNo | vb::vbExclamation, kTitle);
            if (answer == vb::vbNo) {
                QFile::remove(image);
                QFile::remove(index);
            }
            return false;
        }
        // The document's working file, as the print and redact roads name it: purged with the
        // workspace.
        const QString work = g_strTempPath + QStringLiteral("temp.tif");
        QFile::remove(work);
        if (!QFile::copy(image, work) || !QFile::setPermissions(work, kPrivateFile))
            raiseVbError(vbErr::PathNotFound);
        f.ezPageView->clearImage();
        f.ezTreeView->clearImage();
        f.ezPageView->setImageFile(work);
        f.ezTreeView->setVisible(true);
        f.ezPageView->setVisible(true);
        f.lblPageNum->setVisible(true);
        showTree();
        if (f.ezPageView->pageCount() != pages)
            raiseVbError(vbErr::FileNotFound);
        f.btnRotate->setVisible(true);
        f.cboRotateOpt->setVisible(true);
        setPromptStore();
        QFile::remove(image);
        QFile::remove(index);
        qCInfo(lcRecovery).noquote() << "brought back" << pages << "pages of" << name << "from" << image;
        MsgBox(QStringLiteral("%1 scanned pages of %2 were not stored when the program ended; they are back "
                              "in the page view.").arg(pages).arg(name),
               vb::vbOKOnly | vb::vbInformation, kTitle);
        return true;
    } catch (...) {
        setAside(base);
        return false;
    }
}
} // namespace

QString recoveryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery");
}

QString fallbackRecoveryFolder()
{
    return g_strTempPath.isEmpty() ? QString() : g_strTempPath + QStringLiteral("recovery");
}

namespace {
QList<HeldDocument *> &heldDocuments()
{
    static QList<HeldDocument *> held;
    return held;
}

// A scan under way (the scan road, the hand-feed window, the overhead window, a batch) brings in
// pages that are not stored yet, before it marks the document. While the rescan question is open
// nothing has been scanned yet.
bool scanUnderWay(FrmMain &f)
{
    const FrmBatchProgress *batch = loadedInstance<FrmBatchProgress>();
    return (f.scanRoad.running() && !isShown<FrmRescan>()) || isShown<FrmOverhead>()
           || (batch && batch->roadRunning());
}

// Writes the document into folder as a kept pair; what was half-written is removed when it
// fails.
// The kept document's name, and whether a store whose answer never came sent it.
struct KeptLabel {
    QString name;
    bool sentUnanswered;
};

void keepIn(const QString &folder, FrmMain &f, const std::function<void(const QString &)> &writeImage,
            const KeptLabel &label)
{
    makePrivateFolder(folder);
    // Written under temporary names, then renamed, the index last: a kept document is whole.
    const QString base = newBase(folder);
    const QString image = keptFile(base, ".tif.part");
    const QString index = keptFile(base, ".ini.part");
    try {
        writeImage(image);
        QFile::setPermissions(image, kPrivateFile);
        const int pages = burnRedactions(image);
        {
            QSettings ini(index, QSettings::IniFormat);
            ini.setValue(QStringLiteral("document/mode"), int(g_dbMode));
            ini.setValue(QStringLiteral("document/source"), f.cboCurrentDocType->listIndex());
            ini.setValue(QStringLiteral("document/name"), label.name);
            ini.setValue(QStringLiteral("document/pages"), pages);
            // the image the host had for it and its pages: others at the next lookup mean it changed
            ini.setValue(QStringLiteral("document/image"), g_ImID.trimmed());
            ini.setValue(QStringLiteral("document/imagePages"), int(safeCInt(g_NumPages)));
            // a store whose answer never came: what it sent, for the host to be asked about
            if (const std::optional<SentImage> sent = label.sentUnanswered ? openRegistration() : std::nullopt) {
                ini.setValue(QStringLiteral("store/name"), sent->name);
                ini.setValue(QStringLiteral("store/size"), sent->size);
                ini.setValue(QStringLiteral("store/pages"), sent->pages);
                ini.setValue(QStringLiteral("store/digest"), QString::fromLatin1(sent->digest.toHex()));
            }
            for (QObject *c : f.controls())
                if (auto *field = qobject_cast<QLineEdit *>(c); field && !field->text().isEmpty())
                    ini.setValue(QStringLiteral("fields/") + field->objectName(), field->text());
            for (const auto &[key, value] : indexValues())
                ini.setValue(QStringLiteral("index/") + QLatin1String(key), *value);
            ini.setValue(QStringLiteral("index/ScanUnIndexDocs"), g_blnScanUnIndexDocs);
            ini.setValue(QStringLiteral("index/NYCTLNum"), g_blnNYCTLNum);
            ini.sync();
            if (ini.status() != QSettings::NoError)
                raiseVbError(vbErr::PathNotFound);
        }
        moveInto(image, keptFile(base, ".tif"));
        moveInto(index, keptFile(base, ".ini"));
        qCInfo(lcRecovery).noquote() << "kept" << pages << "unstored pages of" << label.name << "in"
                                     << keptFile(base, ".tif");
    } catch (...) {
        // Unburned pixels never stay behind.
        for (const char *ending : {".tif.part", ".tif.part.burn", ".ini.part", ".tif"})
            QFile::remove(keptFile(base, ending));
        throw;
    }
}
// Keeps the document in the per-user folder, else in the fallback; raises naming both.
void keepAnywhere(FrmMain &f, const std::function<void(const QString &)> &writeImage, const KeptLabel &label)
{
    try {
        keepIn(recoveryFolder(), f, writeImage, label);
        return;
    } catch (...) {
        qCWarning(lcRecovery).noquote() << "could not keep the unstored pages in" << recoveryFolder();
    }
    try {
        keepIn(fallbackRecoveryFolder(), f, writeImage, label);
    } catch (...) {
        const QString text = QStringLiteral("The scanned pages that were not stored could not be kept: neither the "
                                            "folder %1 nor the folder %2 could be written.")
                                 .arg(QDir::toNativeSeparators(recoveryFolder()),
                                      QDir::toNativeSeparators(fallbackRecoveryFolder()));
        qCWarning(lcRecovery).noquote() << text;
        throw VbError(vbErr::PathNotFound, text);
    }
}

const QString kSettingsSection = QStringLiteral("Recovery");
const QString kEndedRunKey = QStringLiteral("EndedRun");
} // namespace

HeldDocument::HeldDocument(QelEzImage &view) : m_view(&view) { heldDocuments().append(this); }
HeldDocument::HeldDocument(const QString &file) : m_file(file) { heldDocuments().append(this); }
HeldDocument::~HeldDocument() { heldDocuments().removeOne(this); }

bool documentHeld() { return !heldDocuments().isEmpty(); }

bool saveRecoveryDocument()
{
    FrmMain &f = frmMain();
    if (!g_blnPromptStore && !scanUnderWay(f))
        return false;
    // Where the pages are: the copy a store under way began with, the page view, else what a
    // road holds them in.
    std::function<void(const QString &)> writeImage;
    const QString underWay = documentCopyOfStoreUnderWay();
    const auto copyOf = [](const QString &from) {
        return [from](const QString &to) {
            if (!QFile::copy(from, to))
                raiseVbError(vbErr::PathNotFound);
        };
    };
    const auto saveOf = [](QelEzImage *view) { return [view](const QString &to) { saveDocumentCopy(*view, to); }; };
    if (!underWay.isEmpty())
        writeImage = copyOf(underWay);
    else if (f.ezPageView->pageCount() > 0)
        writeImage = saveOf(f.ezPageView);
    for (auto it = heldDocuments().crbegin(); !writeImage && it != heldDocuments().crend(); ++it) {
        if ((*it)->m_view && (*it)->m_view->pageCount() > 0)
            writeImage = saveOf((*it)->m_view.data());
        else if (!(*it)->m_file.isEmpty() && QFile::exists((*it)->m_file))
            writeImage = copyOf((*it)->m_file);
    }
    if (!writeImage)
        return false;
    keepAnywhere(f, writeImage, {documentName(), true});
    return true;
}

QString barcodeStackName() { return QStringLiteral("a barcode stack (index unknown)"); }

void keepRecoveryPages(QelEzImage &pages, const QString &name)
{
    keepAnywhere(frmMain(), [&pages](const QString &to) { saveDocumentCopy(pages, to); }, {name, false});
}

void noteEndedRun(const QString &text)
{
    SaveSetting(APP_TITLE, kSettingsSection, kEndedRunKey, text);
}

void restoreRecoveryDocument()
{
    // What a run ended by the program's end left undone, said once.
    const QString ended = GetSetting(APP_TITLE, kSettingsSection, kEndedRunKey);
    if (!ended.isEmpty()) {
        DeleteSetting(APP_TITLE, kSettingsSection, kEndedRunKey);
        MsgBox(ended, vb::vbOKOnly | vb::vbExclamation, kTitle);
    }
    for (const QString &base : keptDocuments()) {
        if (tried().contains(base))
            continue;
        tried().insert(base);
        if (bringBack(base)) {
            tried().remove(base); // gone: a document kept later may take its name
            return;
        }
    }
}
