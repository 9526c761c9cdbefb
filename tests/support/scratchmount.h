#pragma once
#include <QString>

// A small tmpfs mounted over a folder for the calling thread only (a private mount namespace),
// to give a test a read-only or a full file system. Where the machine refuses (no right to
// mount), ok() is false and the test falls back or skips.
class ScratchMount {
public:
    // size in bytes; readOnly mounts it read-only once `prepare` has run on the writable mount.
    ScratchMount(const QString &folder, qint64 size, bool readOnly = false,
                 void (*prepare)(const QString &folder) = nullptr);
    ~ScratchMount();
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    bool ok() const { return m_ok; }
    QString why() const { return m_why; }

private:
    QString m_folder;
    bool m_ok = false;
    QString m_why;
};
