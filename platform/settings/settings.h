#pragma once
#include <QString>

// The per-user settings store: application → section → key → text. Sections and keys are
// matched without regard to case. One INI file per application in the settings folder,
// created with mode 0600.

QString GetSetting(const QString &app, const QString &section, const QString &key,
                   const QString &def = QString());
void SaveSetting(const QString &app, const QString &section, const QString &key,
                 const QString &value);
// Deletes one key, or the whole section when key is empty. 5 when nothing is there to delete.
void DeleteSetting(const QString &app, const QString &section, const QString &key = QString());

// Where the INI files live: the per-user configuration folder unless set (tests use a temp folder).
void setSettingsFolder(const QString &folder);
QString settingsFolder();

// Read-only machine keys: the INI "machine.ini" in the program's data folder (or the folder set
// for tests); group = path, key = name. Empty when missing.
QString machineKey(const QString &path, const QString &name);
void setMachineKeysFile(const QString &file);
