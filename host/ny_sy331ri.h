#pragma once
// New York lookup by book code, book and page (host program SY331RI, thirteen parameters).
#include <QString>

class AdoConnection;

bool NY_SY331RI(const QString &func, AdoConnection &conn, const QString &dsn);
