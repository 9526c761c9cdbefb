#pragma once
#include <QString>

// The audit log: one text file per day in its folder ("<app>_YYYYMMDD.log"), each entry
// "YYYY-MM-DD hh:mm:ss.zzz [level] text" on its own line(s).
class AuditLog {
public:
    AuditLog() = default;

    // Set-up as the program does it; open(folder) does all of it with defaults.
    void setNumericSetting(int value) { m_numeric = value; } // days of files kept; 0 keeps all
    void setApplicationName(const QString &name) { m_appName = name; }
    void setLogFolder(const QString &folder);                 // 76 when it cannot be created
    void setEnabled(bool on) { m_enabled = on; }

    void open(const QString &folder, const QString &appName = QString());

    // Writes one entry; raises 75 when the file cannot be written. Nothing when not enabled.
    void logEntry(const QString &text, int level);
    void write(const QString &text, int level) { logEntry(text, level); }

    QString logFolder() const { return m_folder; }
    QString currentFile() const; // today's file
    bool isEnabled() const { return m_enabled; }

private:
    void prune() const;

    int m_numeric = 0;
    QString m_appName;
    QString m_folder;
    bool m_enabled = false;
};
