#pragma once
// Land-records lookup by book and page (host program SY331RI, fourteen parameters).
#include <QString>

class AdoConnection;

bool MA_SY331RI(const QString &func, AdoConnection &conn, const QString &dsn);
