#pragma once
// Vaverezoduv lookups: the document by reference code and number (FH631RI), then its image data
// by recorded date and control number (FH800R).
#include <QString>

class AdoConnection;

bool FHS_FH631RI(const QString &func, AdoConnection &conn, const QString &dsn);
bool FHS_FH800R(AdoConnection &conn, const QString &dsn);
