#pragma once
// A PostgreSQL server of its own in a temp folder, reachable only on a Unix socket there, with
// the PostgreSQL ODBC driver registered for it in an odbcinst.ini and odbc.ini of the same folder.
// Run as root, the server runs under the package's "postgres" account, which owns the folder.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class PgHost {
public:
    PgHost();
    ~PgHost(); // stops the server; the folder goes with the object

    // initdb, pg_ctl start, the driver's ini files and ODBCSYSINI/ODBCINI for this process. The
    // data source <dsn>SILENT names a server that takes connections and never answers, once
    // listenSilently() has opened its socket.
    // False with error() set when any step fails.
    bool start(const QString &dsn, const QString &user, const QString &password);
    void stop();
    bool listenSilently();
    void stopListening(); // the silent server's waiting connections are refused
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
    int m_silent = -1; // the silent server's listening socket
};
