#pragma once
// Land Court plan lookup by plan case number, letter and suffix (host program LP630RI).
#include <QString>

class AdoConnection;

bool MA_LP630RI(const QString &func, AdoConnection &conn, const QString &dsn);
