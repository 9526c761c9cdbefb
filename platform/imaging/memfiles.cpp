#include "platform/imaging/memfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/stat.h>

#include "platform/imaging/imagingerror.h"

namespace {
QMutex g_lock;
QHash<QString, QByteArray> &store()
{
    static QHash<QString, QByteArray> files;
    return files;
}

// The file-creation mask, read without setting it (files may be written from several threads).
mode_t processUmask()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 022;
}
}

namespace memfiles {

bool isMemPath(const QString &path)
{
    return path.startsWith(QLatin1String("mem:"), Qt::CaseInsensitive);
}

bool exists(const QString &path)
{
    if (isMemPath(path)) {
        QMutexLocker lock(&g_lock);
        return store().contains(path);
    }
    return QFileInfo(path).isFile();
}

bool remove(const QString &path)
{
    if (isMemPath(path)) {
        QMutexLocker lock(&g_lock);
        return store().remove(path) > 0;
    }
    return QFile::remove(path);
}

QByteArray readAll(const QString &path)
{
    if (isMemPath(path)) {
        QMutexLocker lock(&g_lock);
        auto it = store().constFind(path);
        if (it == store().constEnd())
            raiseImagingError(ezErr::FileNotFound, path);
        return *it;
    }
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        raiseImagingError(ezErr::FileNotFound, path);
    return f.readAll();
}

void raiseWriteError(int err, int otherwise, const QString &path)
{
    if (err == ENOSPC || err == EDQUOT)
        raiseVbError(vbErr::DiskFull, vbError(vbErr::DiskFull).description + QStringLiteral(": ") + path);
    if (otherwise == ezErr::WriteFailed)
        raiseImagingError(otherwise, path);
    raiseVbError(otherwise);
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    if (isMemPath(path)) {
        QMutexLocker lock(&g_lock);
        store().insert(path, bytes);
        return;
    }
    replaceFile(path, [&](QIODevice &f) {
        if (f.write(bytes) != bytes.size())
            raiseImagingError(ezErr::WriteFailed, path);
    });
}

void replaceFile(const QString &path, const std::function<void(QIODevice &)> &fill)
{
    const QFileInfo target(path);
    QTemporaryFile f(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".part-XXXXXX"));
    if (path.isEmpty() || !f.open())
        raiseImagingError(ezErr::WriteFailed, path);
    errno = 0;
    try {
        fill(f);
    } catch (const VbError &e) {
        // errno as the failed write left it
        if (e.number == ezErr::WriteFailed)
            raiseWriteError(errno, ezErr::WriteFailed, path);
        throw;
    }
    struct stat st {};
    mode_t mode;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode = 0666 & ~processUmask();
    }
    if (!f.flush() || ::fchmod(f.handle(), mode) != 0
        || ::rename(QFile::encodeName(f.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        raiseWriteError(errno, ezErr::WriteFailed, path);
    f.setAutoRemove(false);
}

void clearMemFiles()
{
    QMutexLocker lock(&g_lock);
    store().clear();
}

}
