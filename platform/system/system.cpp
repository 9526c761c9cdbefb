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

namespace {

[[noreturn]] void refuseHostPath(const QString &path, const char *why)
{
    raiseVbError(vbErr::BadFileName, QStringLiteral("Not a path on a host share (\\\\HOST\\SHARE\\...): \"%1\" (%2)")
                                         .arg(path, QString::fromLatin1(why)));
}

QString shareRoot()
{
    QString root = qEnvironmentVariable("QUORLA_SHARE_ROOT");
    if (root.isEmpty())
        root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
               + QStringLiteral("/quorla/shares");
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    return root;
}

// The real path of the deepest part of path that exists (links resolved).
QString existingRealPath(QString path)
{
    while (!QFileInfo::exists(path) && path.contains(u'/'))
        path.truncate(path.lastIndexOf(u'/'));
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

QString hostPathToLocal(const QString &windowsPath)
{
    QString p = windowsPath;
    p.replace(u'\\', u'/');
    if (!p.startsWith(QStringLiteral("//")))
        refuseHostPath(windowsPath, "it does not begin with two separators");
    p.remove(0, 2);
    const bool trailing = p.endsWith(u'/');
    if (trailing)
        p.chop(1);
    const QStringList parts = p.split(u'/');
    if (parts.size() < 2)
        refuseHostPath(windowsPath, "no host and share");
    for (const QString &c : parts) {
        if (c.isEmpty())
            refuseHostPath(windowsPath, "an empty component");
        if (c == u"." || c == u"..")
            refuseHostPath(windowsPath, "a \".\" or \"..\" component");
        if (c.contains(u':') || c.contains(QChar(0)))
            refuseHostPath(windowsPath, "a drive or stream name");
    }

    const QString root = shareRoot();
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
    // A link on the share may not lead out of it.
    const QString realRoot = QFileInfo(root).canonicalFilePath();
    if (!realRoot.isEmpty()) {
        const QString real = existingRealPath(cur);
        if (real != realRoot && !real.startsWith(realRoot + u'/'))
            refuseHostPath(windowsPath, "it leads out of the share root");
    }
    if (trailing)
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
