#pragma once
#include <QObject>
#include <QString>

class QLocalServer;
class QLockFile;

// One copy of the program per user: the first holds a lock file and listens on a local
// socket; a later copy asks it to raise and maximise itself and learns that it should end.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True for the first copy (now listening); false when another copy runs (it was asked
    // to raise itself).
    bool start();
    bool isPrimary() const { return m_primary; }
    // After a false start: why the lock could not be written when no other copy holds it (a
    // full or unwritable temp folder); empty when another copy runs.
    QString failure() const { return m_failure; }

signals:
    // The first copy: another copy asked this one to raise and maximise itself.
    void raiseRequested();

private:
    void onNewConnection();

    QString m_name;
    QLockFile *m_lock = nullptr;
    QLocalServer *m_server = nullptr;
    bool m_primary = false;
    QString m_failure;
};
