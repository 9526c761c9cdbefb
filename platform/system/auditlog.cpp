#include "platform/system/auditlog.h"

#include "platform/vb/vberror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {
QString baseName(const QString &app) { return app.isEmpty() ? QStringLiteral("audit") : app; }
}

void AuditLog::setLogFolder(const QString &folder)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        raiseVbError(vbErr::PathNotFound);
    m_folder = folder;
    prune();
}

void AuditLog::open(const QString &folder, const QString &appName)
{
    if (!appName.isEmpty())
        m_appName = appName;
    setLogFolder(folder);
    m_enabled = true;
}

QString AuditLog::currentFile() const
{
    if (m_folder.isEmpty())
        return QString();
    return QDir(m_folder).filePath(baseName(m_appName) + u'_'
                                   + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))
                                   + QStringLiteral(".log"));
}

void AuditLog::logEntry(const QString &text, int level)
{
    if (!m_enabled)
        return;
    const QString file = currentFile();
    if (file.isEmpty())
        raiseVbError(vbErr::PathNotFound);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        raiseVbError(vbErr::PathFileAccessError);
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
                         + QStringLiteral(" [%1] ").arg(level) + text + u'\n';
    const QByteArray bytes = line.toUtf8();
    if (f.write(bytes) != bytes.size())
        raiseVbError(vbErr::DeviceIOError);
}

// Removes this log's day files older than the number of days kept (0 keeps all).
void AuditLog::prune() const
{
    if (m_numeric <= 0 || m_folder.isEmpty())
        return;
    const QRegularExpression day(u'^' + QRegularExpression::escape(baseName(m_appName))
                                 + QStringLiteral("_(\\d{8})\\.log$"));
    const QDate oldest = QDate::currentDate().addDays(-m_numeric);
    const QDir dir(m_folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        const auto m = day.match(name);
        if (!m.hasMatch())
            continue;
        const QDate d = QDate::fromString(m.captured(1), QStringLiteral("yyyyMMdd"));
        if (d.isValid() && d < oldest)
            QFile::remove(dir.filePath(name));
    }
}
