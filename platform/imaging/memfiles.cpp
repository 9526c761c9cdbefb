#include "platform/imaging/memfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSaveFile>

#include "platform/imaging/imagingerror.h"

namespace {
QMutex g_lock;
QHash<QString, QByteArray> &store()
{
    static QHash<QString, QByteArray> files;
    return files;
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

void writeAll(const QString &path, const QByteArray &bytes)
{
    if (isMemPath(path)) {
        QMutexLocker lock(&g_lock);
        store().insert(path, bytes);
        return;
    }
    QSaveFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()
        || !f.commit())
        raiseImagingError(ezErr::WriteFailed, path);
}

void clearMemFiles()
{
    QMutexLocker lock(&g_lock);
    store().clear();
}

}
