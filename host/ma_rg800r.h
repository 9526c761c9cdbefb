#pragma once
// New York lookup by recording date and control number (host program SY330RI).
#include <QString>

class AdoConnection;

bool MA_RG800R(const QString &func, AdoConnection &conn, const QString &dsn);
