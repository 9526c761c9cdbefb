#pragma once
#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

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
// Setting it starts afresh: nothing kept in memory, no problem told yet.
void setSettingsFolder(const QString &folder);
QString settingsFolder();

// Problems of the store itself, each told once through the handler in the operator's words: a
// folder that cannot be written (from then on the values are kept in memory for this run) and
// a file that cannot be read (set aside as "<name>.bad"; the store starts empty).
void setSettingsProblemHandler(std::function<void(const QString &message)> handler);

// Read-only machine keys, as the registry's HKEY_LOCAL_MACHINE: the INI "machine.ini" in the
// program's data folder (or the file set for tests); group = key path, key = value name, matched
// without regard to case. A value is written as a registry export writes it:
//   text                 a string (REG_SZ) stored with its final NUL
//   dword:0000001f       a 32-bit number (REG_DWORD), stored little-endian
//   hex(N):41,42,...     bytes of type N as stored (hex: alone is REG_BINARY)
constexpr quint32 HKEY_CLASSES_ROOT = 0x80000000;
constexpr quint32 HKEY_CURRENT_USER = 0x80000001;
constexpr quint32 HKEY_LOCAL_MACHINE = 0x80000002;
constexpr quint32 HKEY_USERS = 0x80000003;
constexpr quint32 REG_SZ = 1;
constexpr quint32 REG_BINARY = 3;
constexpr quint32 REG_DWORD = 4;

struct RegValue {
    quint32 type = 0;
    QByteArray data;
};
// One value under root\path; nullopt when the root holds no such key or value, or the store
// cannot be read. Only HKEY_LOCAL_MACHINE holds machine keys.
std::optional<RegValue> machineValue(quint32 root, const QString &path, const QString &name);
void setMachineKeysFile(const QString &file);
