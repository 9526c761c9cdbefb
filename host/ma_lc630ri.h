#pragma once
// Land Court document lookup by document number (host program LC630RI).
#include <QString>

class AdoConnection;

bool MA_LC630RI(const QString &func, AdoConnection &conn, const QString &dsn);
