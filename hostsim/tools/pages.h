#pragma once
#include <QString>
#include <QStringList>

// Renders pages of text as a multi-page bilevel TIFF (CCITT G4, 200 dpi, 1728 x 2200 pixels).
// Each entry of `pages` is one page; lines are separated by "\n". Returns false on a write failure.
bool writeTextPages(const QString &path, const QStringList &pages);
