#pragma once
#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// Files named "mem:..." live in an in-process namespace; every other name is a file on disk.
// The imaging layer reads and writes whole files through these functions.
namespace memfiles {
bool isMemPath(const QString &path);
bool exists(const QString &path);
bool remove(const QString &path);
// Whole content; raises ezErr::FileNotFound when the file is missing or unreadable.
QByteArray readAll(const QString &path);
// The error a write that failed with errno err raises: "Disk full" (61) when the disk or the
// quota is full, else the given number.
[[noreturn]] void raiseWriteError(int err, int otherwise, const QString &path);
// Replaces the content (atomically for disk files); raises ezErr::WriteFailed, or 61 on a full disk.
void writeAll(const QString &path, const QByteArray &bytes);
// Replaces a disk file: fill writes the content into a file beside it (which it may seek in and
// read back), renamed into place when whole, with the mode the target had (or a new file gets).
// Working files: no flush to the disk is waited for. Raises ezErr::WriteFailed, or 61 on a full
// disk.
void replaceFile(const QString &path, const std::function<void(QIODevice &)> &fill);
void clearMemFiles();
}
