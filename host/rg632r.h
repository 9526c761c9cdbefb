#pragma once
// Book-scan lookup: the host's accepted page range, page count, folder and file name of a book
// run (host program RG632R; fifteen parameters in the New York book-scan mode, else fourteen).
#include <QString>

class AdoConnection;

// resetOnRefusal: a refused start request ("A") resets the workspace first. The page check's
// refresh during a store passes false, so the scanned book survives a refusal.
bool RG632R(const QString &func, AdoConnection &conn, const QString &dsn, bool resetOnRefusal = true);
