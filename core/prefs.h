#pragma once
// The settings store as the workstation uses it: reads and writes under the program's title, the
// preference table with its read and write orders, defaults and start-up fix-ups.
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/vb/vberror.h"

// Text of (section, key) under the program's title; def when the key is missing.
QString readSetting(const QString &section, const QString &key, const QString &def = QString());
void writeSetting(const QString &section, const QString &key, const QString &value);

// What the start-up read gives besides the preference variables.
struct StartupSettings {
    QString filterState; // "Settings"/"FilterSettings2", "NOTFOUND" when none
    QString dsn;         // "frmConfig"/"DSN"
    qint16 storedMode = 0;
};

// Reads "Settings"/"FilterSettings2", "frmConfig"/"DSN" and the 21 keys of "Preferences" in the
// start-up order into their variables (the stored mode into storedMode). A stored text that does
// not convert is handed to onBadValue (key and error) and the key takes its default.
StartupSettings readStartupSettings(const std::function<void(const QString &, const VbError &)> &onBadValue);
// The start-up fix-ups: brightness 0 → 128, negative paper source → 0, empty barcode log → a
// fresh header, empty byte-align log → "c:\bytealignlog.txt".
void applyPreferenceFixups();
// Writes the 21 keys of "Preferences" in the shutdown order (the two log keys empty).
// Raises on a failed write; keys already written stay written.
void writePreferences();
// True once readStartupSettings has filled the preference variables in this run; shutdown
// writes nothing back before that.
bool preferencesLoaded();
void setPreferencesLoaded(bool loaded);

// Tests watch the store traffic: called with 'R' or 'W', section and key on every read/write.
void setSettingsObserver(std::function<void(char, const QString &, const QString &)> observer);
