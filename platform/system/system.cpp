#include "platform/system/system.h"

#include "platform/vb/vberror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::function<QList<NetworkAdapter>()> g_adapterSource;
QString g_tempBase;
QString g_tempPath; // cached private folder for g_tempCachedBase
QString g_tempCachedBase;
QString g_programFolder;

QList<NetworkAdapter> systemAdapters()
{
    QList<NetworkAdapter> out;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        NetworkAdapter a;
        a.description = nic.humanReadableName();
        const auto flags = nic.flags();
        a.ipEnabled = flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning)
                      && !flags.testFlag(QNetworkInterface::IsLoopBack);
        QStringList v6;
        for (const QNetworkAddressEntry &e : nic.addressEntries()) {
            QHostAddress ip = e.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol) {
                a.addresses << ip.toString();
            } else if (ip.protocol() == QAbstractSocket::IPv6Protocol) {
                ip.setScopeId(QString());
                v6 << ip.toString();
            }
        }
        a.addresses << v6;
        out << a;
    }
    return out;
}

// True when path is a real directory (no link) owned by us with no access for others.
bool isPrivateDir(const QByteArray &path, bool fixMode)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 077) != 0) {
        if (!fixMode || ::chmod(path.constData(), 0700) != 0)
            return false;
    }
    return true;
}

bool isWritableDir(const QString &dir)
{
    QTemporaryFile probe(dir + QStringLiteral("/.probe-XXXXXX"));
    return probe.open();
}

} // namespace

QString computerName()
{
    QString name = QSysInfo::machineHostName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return name.toUpper();
}

QList<NetworkAdapter> networkAdapters() { return g_adapterSource ? g_adapterSource() : systemAdapters(); }

void setNetworkAdaptersSource(std::function<QList<NetworkAdapter>()> source)
{
    g_adapterSource = std::move(source);
}

void setTempBase(const QString &base)
{
    g_tempBase = base;
    g_tempPath.clear();
}

QString privateTempPath()
{
    // TMPDIR as given (Qt's own answer is empty for a folder that does not exist yet); one
    // that cannot be made or written falls back to the system's.
    QString base = g_tempBase;
    if (base.isEmpty()) {
        base = QDir::cleanPath(qEnvironmentVariable("TMPDIR"));
        if (QDir::isRelativePath(base))
            base = QStringLiteral("/tmp");
    }
    const QString requested = base;
    if (!g_tempPath.isEmpty() && g_tempCachedBase == requested && isPrivateDir(QFile::encodeName(g_tempPath), false))
        return g_tempPath + u'/';
    if (!QDir().mkpath(base) || !isWritableDir(base)) {
        base = QStringLiteral("/tmp");
        if (requested == base || !isWritableDir(base))
            raiseVbError(vbErr::PathFileAccessError);
    }

    // A fixed per-user name, so that every run finds its working files; when someone else
    // holds that name (or it is a link), a fresh private folder is made instead.
    const QString fixed = QDir(base).absoluteFilePath(QStringLiteral("quorla-%1").arg(::getuid()));
    const QByteArray fixedName = QFile::encodeName(fixed);
    QString chosen;
    if (::mkdir(fixedName.constData(), 0700) == 0 || errno == EEXIST) {
        if (isPrivateDir(fixedName, true))
            chosen = fixed;
    }
    if (chosen.isEmpty()) {
        QByteArray tmpl = fixedName + "-XXXXXX";
        if (::mkdtemp(tmpl.data()) == nullptr || !isPrivateDir(tmpl, false))
            raiseVbError(vbErr::PathFileAccessError);
        chosen = QFile::decodeName(tmpl);
    }
    g_tempPath = chosen;
    g_tempCachedBase = requested;
    return chosen + u'/';
}

QString shortPath(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return QString();
    return path;
}

bool startHidden(const QString &program, const QStringList &args)
{
    if (program.isEmpty())
        return false;
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    return p.startDetached();
}

QString programFolder()
{
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

void setProgramFolder(const QString &folder)
{
    QString f = folder;
    while (f.size() > 1 && f.endsWith(u'/'))
        f.chop(1);
    g_programFolder = f;
}

QString hostPathToLocal(const QString &windowsPath)
{
    QString p = windowsPath;
    p.replace(u'\\', u'/');
    if (!p.startsWith(QStringLiteral("//")))
        return p;

    QString root = qEnvironmentVariable("QUORLA_SHARE_ROOT");
    if (root.isEmpty())
        root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
               + QStringLiteral("/quorla/shares");
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);

    const bool trailing = p.endsWith(u'/');
    // Components after the root; "." is dropped and ".." never climbs above the share root.
    QStringList parts;
    for (const QString &c : p.split(u'/', Qt::SkipEmptyParts)) {
        if (c == u".")
            continue;
        if (c == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << c;
    }

    QString cur = root;
    bool onDisk = QFileInfo(cur).isDir();
    for (const QString &c : parts) {
        QString next = cur + u'/' + c;
        if (onDisk && !QFileInfo::exists(next)) {
            const QStringList entries = QDir(cur).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                            | QDir::NoDotAndDotDot);
            for (const QString &e : entries) {
                if (e.compare(c, Qt::CaseInsensitive) == 0) {
                    next = cur + u'/' + e;
                    break;
                }
            }
        }
        onDisk = onDisk && QFileInfo(next).isDir();
        cur = next;
    }
    if (trailing && !parts.isEmpty())
        cur += u'/';
    return cur;
}

QString logsFolder()
{
    QString folder = programFolder();
    if (folder.right(4).toUpper() == QStringLiteral("/BIN"))
        folder.chop(4);
    const QString logs = folder + QStringLiteral("/Logs");
    if (QDir().mkpath(logs) && isWritableDir(logs))
        return logs;
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + QStringLiteral("/quorla/Logs");
    if (QDir().mkpath(fallback) && isWritableDir(fallback))
        return fallback;
    return QString();
}
