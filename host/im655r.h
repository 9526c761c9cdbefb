#pragma once
// Certificate lookup and registration (the certificate database mode), over its own connection.
#include <QString>

bool IM655R(const QString &func, const QString &fileName, const QString &fileSize, const QString &pageCount);
