#pragma once
// E-file document fetch: the host hands out e-filed documents with their index, flags and group
// texts, and takes back the burned image path after a store.
#include <QString>

class AdoConnection;

bool IM652R(AdoConnection &conn, const QString &func, QString &text1, QString &text2, QString &text3);

// Whether the last result code (g_IM652RResult) is code; compared as text, so a letter code
// never fails a numeric conversion.
bool IM652RResultIs(const QString &code);
