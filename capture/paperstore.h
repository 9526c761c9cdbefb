#pragma once
// The store of a scanned paper document: clean and byte-aligned image with the book and page
// imprint, image and annotation files in the host's store folder, registration and the next
// step of the workflow.
#include <QString>

// "\\" + dsn + "\KvTemp\Scans\" (a host path).
QString storeFolderPath(const QString &dsn);
// The workstation's store base name: the first 10 characters of the computer name, upper case,
// without leading and trailing blanks.
QString storeBaseName();
// First name not present in folder (a host path): name itself when free; otherwise the first
// 7 characters of the part before its first "." + counter as 3 digits + ending, with counter
// going up for each name taken (the counter keeps its value for the caller).
QString freeStoreName(const QString &folder, const QString &name, const QString &ending, qint32 &counter);

bool do_store_manual(bool advance);
