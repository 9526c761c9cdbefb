#include "core/files.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/state.h"
#include "platform/scan/scannersession.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"

namespace {

bool fileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// Deletes an existing file, read-only or not; raises 70 when it stays.
void removeForced(const QString &path)
{
    QFile f(path);
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner);
    if (!f.remove())
        raiseVbError(vbErr::PermissionDenied);
}

[[noreturn]] void raiseErrno(int err, const QString &path)
{
    int number = vbErr::DeviceIOError;
    switch (err) {
    case ENOSPC:
    case EDQUOT: number = vbErr::DiskFull; break;
    case EACCES:
    case EPERM:
    case EROFS: number = vbErr::PermissionDenied; break;
    case ENOENT:
    case ENOTDIR: number = vbErr::PathNotFound; break;
    default: break;
    }
    raiseVbError(number, vbError(number).description + QStringLiteral(": ") + path + QStringLiteral(" (")
                             + QString::fromLocal8Bit(strerror(err)) + u')');
}

// A file descriptor closed on scope exit.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Writes all of the source into out; errno of the first failure, 0 when done.
int copyContents(int in, int out)
{
    static constexpr size_t kChunk = 1 << 20;
    std::unique_ptr<char[]> buf(new char[kChunk]);
    for (;;) {
        const ssize_t n = ::read(in, buf.get(), kChunk);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf.get() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += w;
        }
    }
}

// Renames from to to unless to exists: false, errno EEXIST, when it does.
bool renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link is made only when the name is free.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

// The source opened for reading, its status in st; raises when it cannot be read.
int openSource(const QString &source, struct stat &st)
{
    Fd in;
    in.fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0)
        raiseErrno(errno, source);
    const int fd = in.fd;
    in.fd = -1;
    return fd;
}

// Copies the open source into a new temporary file beside dst with the source's permissions,
// flushed to disk unless it is a working file of the private temp folder; returns its name. The
// temporary file is closed on every road and removed when the copy fails.
QByteArray copyToTemporary(int in, mode_t permissions, const QByteArray &dst, const QString &destination)
{
    const bool working = !g_strTempPath.isEmpty() && destination.startsWith(g_strTempPath);
    const qsizetype slash = dst.lastIndexOf('/');
    QByteArray temp = dst.left(slash + 1) + '.' + dst.mid(slash + 1) + ".part-XXXXXX";
    Fd out;
    out.fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out.fd < 0)
        raiseErrno(errno, destination);
    int err = copyContents(in, out.fd);
    if (!err && ::fchmod(out.fd, permissions & 0777) != 0)
        err = errno;
    if (!err && !working && ::fsync(out.fd) != 0)
        err = errno;
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (err) {
        ::unlink(temp.constData());
        raiseErrno(err, destination);
    }
    return temp;
}

} // namespace

bool copyIntoPlace(const QString &source, const QString &destination, CopyMode mode)
{
    const QByteArray dst = QFile::encodeName(destination);
    struct stat st {};
    Fd in;
    in.fd = openSource(source, st);
    struct stat dt {};
    if (::stat(dst.constData(), &dt) == 0) {
        if (mode == CopyMode::CreateNew)
            return false;
        if (dt.st_dev == st.st_dev && dt.st_ino == st.st_ino)
            return true; // onto itself
    }

    const QByteArray temp = copyToTemporary(in.fd, st.st_mode, dst, destination);
    if (mode == CopyMode::Replace ? ::rename(temp.constData(), dst.constData()) == 0 : renameNoReplace(temp, dst))
        return true;
    const int err = errno;
    ::unlink(temp.constData());
    if (err == EEXIST && mode == CopyMode::CreateNew)
        return false;
    raiseErrno(err, destination);
}

QString copyBeside(const QString &source, const QString &destination)
{
    struct stat st {};
    Fd in;
    in.fd = openSource(source, st);
    return QFile::decodeName(copyToTemporary(in.fd, st.st_mode, QFile::encodeName(destination), destination));
}

void moveIntoPlace(const QString &from, const QString &destination)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(destination).constData()) != 0)
        raiseErrno(errno, destination);
}

void DeleteTempFile(const QString &name)
{
    Trap at;
    try {
        at(1);
        const QString path = g_strTempPath + name;
        if (fileExists(path)) {
            at(2);
            removeForced(path);
        }
        at(3);
        g_intOldDocLength = 0;
    } catch (...) {
        reportCurrentError(QStringLiteral("DeleteTempFile"), at);
    }
}

void DeleteFile(const QString &path)
{
    Trap at;
    try {
        at(1);
        if (fileExists(path)) {
            at(2);
            removeForced(path);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("DeleteFile"), at);
    }
}

void CopyFile(const QString &source, const QString &destination)
{
    Trap at;
    try {
        at(1);
        if (!fileExists(source))
            raiseVbError(vbErr::FileNotFound);
        at(2);
        copyIntoPlace(source, destination, CopyMode::Replace);
    } catch (...) {
        reportCurrentError(QStringLiteral("CopyFile"), at);
    }
}

QString getTempPath() { return privateTempPath(); }

QString GetShrtPath(const QString &path) { return shortPath(path); }

QString padZeros(qint32 value, qint16 width)
{
    QString s = QString::number(value);
    if (s.size() < width)
        s.prepend(QString(width - s.size(), QLatin1Char('0')));
    return s;
}

bool padNumericField(QString &text, qint16 width)
{
    if (!IsNumeric(text))
        return false;
    (void)CLng(text); // raises 6 beyond 32 bits, before the text changes
    QString s = QString::number(static_cast<qlonglong>(Int(CDbl(text))));
    if (s.size() < width)
        s.prepend(QString(width - s.size(), QLatin1Char('0')));
    text = s;
    return true;
}

QString convertTrimUnits(const QString &value, qint32 target, qint32 source,
                         const std::function<qint16()> &resolution)
{
    try {
        const QString v = Trim(value);
        if (v.isEmpty())
            return QString();
        double x = CDbl(v);
        if (source != target) {
            if (source == 1) {
                x = x * 10 / 254;
            } else if (source == 2) {
                const qint16 dpi = resolution ? resolution() : 0;
                if (dpi == 0)
                    raiseVbError(11); // division by zero
                x = x / dpi;
            }
            if (x > 100000)
                x = 100000;
            if (target == 1)
                x = x * 254 / 10;
            else if (target == 2)
                x = x * (resolution ? resolution() : 0);
        }
        switch (target) {
        case 0: return Format(x, QStringLiteral("#####0.000"));
        case 1: return Format(x, QStringLiteral("######0.000"));
        case 2: return Format(x, QStringLiteral("######0"));
        default: return QString();
        }
    } catch (...) {
        return QString();
    }
}

QString convertTrimUnits(const QString &value, qint32 target, qint32 source)
{
    return convertTrimUnits(value, target, source,
                            [] { return CInt(scannerSession().resolution()); });
}

qint16 safeCInt(const QString &text)
{
    try {
        return CInt(text);
    } catch (...) {
        return 0;
    }
}
