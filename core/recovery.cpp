#include "core/recovery.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>

#include "capture/indexchecks.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/mode.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {
const QString kTitle = QStringLiteral("The Korvane Scan Tool");

QString imagePath() { return recoveryFolder() + QStringLiteral("/document.tif"); }
QString indexPath() { return recoveryFolder() + QStringLiteral("/document.ini"); }

// "Book 1011 Page 1", or the date and control number of the date-keyed databases.
QString documentName()
{
    if (!g_Book.trimmed().isEmpty())
        return QStringLiteral("Book %1 Page %2").arg(g_Book.trimmed().toInt()).arg(g_Page.trimmed().toInt());
    return g_Month.trimmed() + QLatin1Char('/') + g_Day.trimmed() + QLatin1Char('/') + g_Year.trimmed()
           + QStringLiteral(" Control ") + g_CTLNum.trimmed();
}

// A kept document that cannot be loaded goes aside under its time, never deleted.
void setAside()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    for (const QString &path : {imagePath(), indexPath()})
        if (QFile::exists(path))
            QFile::rename(path, path + QLatin1Char('.') + stamp + QStringLiteral(".bad"));
}
} // namespace

QString recoveryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery");
}

bool saveRecoveryDocument()
{
    FrmMain &f = frmMain();
    QelEzImage &view = *f.ezPageView;
    if (!g_blnPromptStore || view.pageCount() < 1)
        return false;
    QDir().mkpath(recoveryFolder());
    // Written under a temporary name, then renamed: a kept document is always whole.
    const QString image = imagePath() + QStringLiteral(".part");
    const QString index = indexPath() + QStringLiteral(".part");
    QFile::remove(image);
    QFile::remove(index);
    saveDocumentCopy(view, image);
    {
        QSettings ini(index, QSettings::IniFormat);
        ini.setValue(QStringLiteral("document/mode"), int(g_dbMode));
        ini.setValue(QStringLiteral("document/source"), f.cboCurrentDocType->listIndex());
        ini.setValue(QStringLiteral("document/name"), documentName());
        ini.setValue(QStringLiteral("document/pages"), view.pageCount());
        for (QObject *c : f.controls())
            if (auto *field = qobject_cast<QLineEdit *>(c); field && !field->text().isEmpty())
                ini.setValue(QStringLiteral("fields/") + field->objectName(), field->text());
        ini.sync();
        if (ini.status() != QSettings::NoError)
            raiseVbError(vbErr::PathNotFound);
    }
    QFile::remove(imagePath());
    QFile::remove(indexPath());
    if (!QFile::rename(image, imagePath()) || !QFile::rename(index, indexPath()))
        raiseVbError(vbErr::PathNotFound);
    return true;
}

void restoreRecoveryDocument()
{
    if (!QFile::exists(indexPath()))
        return;
    try {
        QSettings ini(indexPath(), QSettings::IniFormat);
        const QString name = ini.value(QStringLiteral("document/name")).toString();
        const int pages = ini.value(QStringLiteral("document/pages")).toInt();
        if (!QFile::exists(imagePath()) || name.isEmpty() || pages < 1)
            raiseVbError(vbErr::FileNotFound);
        FrmMain &f = frmMain();
        set_g_dbMode(qint16(ini.value(QStringLiteral("document/mode")).toInt()));
        f.cboCurrentDocType->setListIndex(ini.value(QStringLiteral("document/source")).toInt());
        ini.beginGroup(QStringLiteral("fields"));
        for (const QString &key : ini.childKeys())
            if (auto *field = qobject_cast<QLineEdit *>(f.control(key)))
                field->setText(ini.value(key).toString());
        ini.endGroup();
        // The request again, as Start makes it; then the kept pages in place of what it showed.
        user_go();
        if (f.btnGoNew->text() == u"St&art") {
            // Not looked up (the host said why): the pages stay kept for the next start.
            MsgBox(QStringLiteral("%1 scanned pages of %2 were not stored when the program ended.  They could not "
                                  "be brought back now and stay kept for the next start.").arg(pages).arg(name),
                   vb::vbOKOnly | vb::vbExclamation, kTitle);
            return;
        }
        const QString work = g_strTempPath + QStringLiteral("recovered.tif");
        QFile::remove(work);
        if (!QFile::copy(imagePath(), work))
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
        QFile::remove(imagePath());
        QFile::remove(indexPath());
        MsgBox(QStringLiteral("%1 scanned pages of %2 were not stored when the program ended; they are back "
                              "in the page view.").arg(pages).arg(name),
               vb::vbOKOnly | vb::vbInformation, kTitle);
    } catch (...) {
        setAside();
        MsgBox(QStringLiteral("Scanned pages that were not stored when the program ended could not be loaded "
                              "back.  They were kept in %1.").arg(QDir::toNativeSeparators(recoveryFolder())),
               vb::vbOKOnly | vb::vbExclamation, kTitle);
    }
}
