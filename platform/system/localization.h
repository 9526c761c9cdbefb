#pragma once
#include <QFont>
#include <QString>
#include <QVariant>

// The localisation catalogue: per-locale key/text files "<locale id>.txt" in the catalogue
// folder (default <program folder>/data/locale). Each line "key<TAB>text"; "\t", "\n", "\\"
// escaped; lines starting with "#" ignored.

// Locale id of the interface language from QLocale (1033 for en-US).
int localeId();
// Tests: force a locale id (0 clears) and the catalogue folder (empty: the default).
void setLocaleOverride(int id);
void setCatalogueFolder(const QString &folder);
QString catalogueFolder();

// The calls of the localisation library.
int QelLocalizeGetLocale();
// 0 and value set when key has a translation; 1 otherwise (value untouched).
int QelLocalizeLookupVariant(const QVariant &key, QVariant &value);
struct LocnSize {
    int cx = 0; // horizontal measure
    int cy = 0; // vertical measure
};
// Average character width and height of the font in pixels. Returns 0.
int QelLocalizeGetCurSizeIFont(const QFont &font, LocnSize &size);
