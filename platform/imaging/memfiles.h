#pragma once
#include <QByteArray>
#include <QString>

// Files named "mem:..." live in an in-process namespace; every other name is a file on disk.
// The imaging layer reads and writes whole files through these functions.
namespace memfiles {
bool isMemPath(const QString &path);
bool exists(const QString &path);
bool remove(const QString &path);
// Whole content; raises ezErr::FileNotFound when the file is missing or unreadable.
QByteArray readAll(const QString &path);
// Replaces the content (atomically for disk files); raises ezErr::WriteFailed.
void writeAll(const QString &path, const QByteArray &bytes);
void clearMemFiles();
}
