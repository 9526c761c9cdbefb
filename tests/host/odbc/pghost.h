#pragma once
// A PostgreSQL server of its own in a temp folder, reachable only on a Unix socket there, with
// the PostgreSQL ODBC driver registered for it in an odbcinst.ini and odbc.ini of the same folder.
// Run as root, the server runs under the package's "postgres" account, which owns the folder.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// A host that goes silent at a chosen step: a relay on a Unix socket in front of the server that
// passes each connection's conversation through, counting the client's messages, and from the
// client's n-th message on passes nothing more either way (the connection stays open). Silent
// from message 0 it never answers at all; from -1 it never goes silent.
class SilentRelay {
public:
    SilentRelay(const QString &listenPath, const QString &serverPath);
    ~SilentRelay(); // every connection is closed
    SilentRelay(const SilentRelay &) = delete;
    SilentRelay &operator=(const SilentRelay &) = delete;

    bool listening() const { return m_listen >= 0; }
    void silentFrom(int message) { m_silentFrom = message; }
    // Client messages passed to the server so far (on every connection).
    int messages() const { return m_messages; }

private:
    void run();

    QByteArray m_server;
    QByteArray m_path;
    int m_listen = -1;
    std::atomic<int> m_silentFrom{-1};
    std::atomic<int> m_messages{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class PgHost {
public:
    PgHost();
    ~PgHost(); // stops the server; the folder goes with the object

    // initdb, pg_ctl start, the driver's ini files and ODBCSYSINI/ODBCINI for this process. The
    // data sources <dsn>RELAY0 to <dsn>RELAY<relays - 1> reach the server through relay(n).
    // False with error() set when any step fails.
    bool start(const QString &dsn, const QString &user, const QString &password, int relays = 0);
    void stop();
    // The relay of data source <dsn>RELAY<n>, listening from the first call on (null on failure).
    SilentRelay *relay(int n);
    void closeRelays(); // their connections end; relay(n) listens again
    // Another data source of the driver: a socket folder or host name, and a port. Before the
    // first connection, as the driver manager may keep what it read.
    bool addDataSource(const QString &name, const QString &server, int port);
    const QString &error() const { return m_error; }
    QString folder() const { return m_dir.path(); }

    // Runs SQL through psql (an outside client); its standard output, unaligned and tuples only.
    // Failures go to error() and return a null string.
    QString psql(const QString &sql);

private:
    bool run(const QString &program, const QStringList &args, bool asServer, QString *out = nullptr,
             const QByteArray &input = {});

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_user;
    QString m_password;
    QString m_error;
    bool m_running = false;
    QByteArray m_sources; // odbc.ini
    std::vector<std::unique_ptr<SilentRelay>> m_relays;
};
