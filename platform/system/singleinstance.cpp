#include "platform/system/singleinstance.h"

#include "platform/system/system.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {
const QByteArray kRaise = "raise\n";
}

SingleInstance::SingleInstance(const QString &name, QObject *parent) : QObject(parent), m_name(name) {}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    delete m_lock;
}

bool SingleInstance::start()
{
    const QString base = privateTempPath() + m_name;
    const QString socketPath = base + QStringLiteral(".sock");
    if (!m_lock) {
        m_lock = new QLockFile(base + QStringLiteral(".lock"));
        // A live holder never goes stale by age; a dead one is detected by its process id.
        m_lock->setStaleLockTime(0);
    }
    if (m_lock->tryLock(0)) {
        m_primary = true;
        QLocalServer::removeServer(socketPath);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
        m_server->listen(socketPath);
        return true;
    }

    m_primary = false;
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_failure = m_lock->error() == QLockFile::PermissionError ? QStringLiteral("permission denied")
                                                                  : QStringLiteral("the disk may be full");
        return false;
    }
    // Another copy runs: ask it to come to the front.
    // The first copy may hold the lock a moment before it listens: try a few times.
    for (int attempt = 0; attempt < 10; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(1000)) {
            socket.write(kRaise);
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            break;
        }
        QThread::msleep(100);
    }
    return false;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *s = m_server->nextPendingConnection()) {
        auto handle = [this, s] {
            if (s->bytesAvailable() < kRaise.size() && s->state() == QLocalSocket::ConnectedState)
                return;
            const QByteArray msg = s->readAll();
            s->disconnect(this);
            s->deleteLater();
            if (msg.startsWith(kRaise))
                emit raiseRequested();
        };
        connect(s, &QLocalSocket::readyRead, this, handle);
        connect(s, &QLocalSocket::disconnected, this, handle);
        if (s->bytesAvailable() > 0 || s->state() != QLocalSocket::ConnectedState)
            handle();
    }
}
