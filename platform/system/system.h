#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/system/auditlog.h"
#include "platform/system/help.h"
#include "platform/system/localization.h"
#include "platform/system/singleinstance.h"

// System services: identity of the workstation, folders, starting programs, host paths.

// Short host name, upper-cased.
QString computerName();

struct NetworkAdapter {
    QString description;    // interface name
    bool ipEnabled = false; // up, running and not loopback
    QStringList addresses;  // IPv4 first, as text
};
QList<NetworkAdapter> networkAdapters();
// Tests replace the adapter source; an empty function restores the real one.
void setNetworkAdaptersSource(std::function<QList<NetworkAdapter>()> source);

// The private per-user temp folder (mode 0700, owned by the user), created on first use;
// the path ends in "/". Raises 75 when no safe folder can be had.
QString privateTempPath();
// Tests point the private temp folder below another base (empty: the system default).
void setTempBase(const QString &base);

// The path itself when it exists, else "".
QString shortPath(const QString &path);

// Starts a program without waiting, no shell, no terminal. False when it cannot start.
bool startHidden(const QString &program, const QStringList &args = QStringList());

// Folder of the executable, without a trailing separator; overridable for tests.
QString programFolder();
void setProgramFolder(const QString &folder);

// "\\HOST\SHARE\rest" → "$QUORLA_SHARE_ROOT/HOST/SHARE/rest", each component matched without
// regard to case when the exact one is missing ("/" is taken for "\"). Every other form (a
// local or relative path, a drive letter, "." or "..", an empty component, a link leading out
// of the share root) raises 52 with the path in the text: nothing outside the root is reached.
QString hostPathToLocal(const QString &windowsPath);

// The Logs folder: the program folder without a trailing "bin" (any case), plus "Logs";
// when that cannot be created or written, $XDG_DATA_HOME/quorla/Logs. Created when missing.
// Empty when neither can be had.
QString logsFolder();
