#include "pghost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QVersionNumber>

#include <cstring>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The newest server's tool folder of Debian's layout, /usr/lib/postgresql/<major>/bin.
QString serverBin()
{
    QString best;
    QVersionNumber bestVersion;
    const QDir base(QStringLiteral("/usr/lib/postgresql"));
    for (const QString &v : base.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QVersionNumber n = QVersionNumber::fromString(v);
        if (QFile::exists(base.filePath(v + QStringLiteral("/bin/initdb"))) && n > bestVersion) {
            bestVersion = n;
            best = base.filePath(v + QStringLiteral("/bin"));
        }
    }
    return best;
}

QString odbcDriver()
{
    const QDir lib(QStringLiteral("/usr/lib"));
    for (const QString &arch : lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString p = lib.filePath(arch + QStringLiteral("/odbc/psqlodbcw.so"));
        if (QFile::exists(p))
            return p;
    }
    return QString();
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

} // namespace

PgHost::PgHost() = default;

PgHost::~PgHost()
{
    stop();
    stopListening();
}

bool PgHost::run(const QString &program, const QStringList &args, bool asServer, QString *out, const QByteArray &input)
{
    QProcess p;
    QStringList all = args;
    QString exe = program;
    // The server refuses to run as root: its tools run under the package's account.
    if (asServer && geteuid() == 0) {
        all = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} + args;
        exe = QStringLiteral("/usr/sbin/runuser"); // not on every PATH
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), m_password);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    p.start(exe, all);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = QStringLiteral("%1 %2 failed: %3 %4")
                      .arg(exe, all.join(u' '), QString::fromLocal8Bit(p.readAllStandardError()), p.errorString());
        return false;
    }
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput()) + QStringLiteral(""); // never null on success
    return true;
}

bool PgHost::start(const QString &dsn, const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
    m_bin = serverBin();
    const QString driver = odbcDriver();
    if (m_bin.isEmpty() || driver.isEmpty()) {
        m_error = QStringLiteral("PostgreSQL (postgresql) or its ODBC driver (odbc-postgresql) is not installed; "
                                 "run scripts/install-deps");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temp folder");
        return false;
    }
    const QString dir = m_dir.path();
    const QString pwfile = dir + QStringLiteral("/pw");
    if (!writeFile(pwfile, password.toUtf8() + '\n')) {
        m_error = QStringLiteral("cannot write %1").arg(pwfile);
        return false;
    }
    if (geteuid() == 0) {
        const passwd *pw = getpwnam("postgres");
        if (!pw) {
            m_error = QStringLiteral("the postgres account is missing");
            return false;
        }
        if (chown(QFile::encodeName(dir).constData(), pw->pw_uid, pw->pw_gid) != 0
            || chown(QFile::encodeName(pwfile).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            m_error = QStringLiteral("cannot give %1 to the postgres account").arg(dir);
            return false;
        }
    }
    // Only the socket in the folder: no TCP listener, so concurrent runs never meet.
    if (!run(m_bin + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), dir + QStringLiteral("/data"), QStringLiteral("-U"), user,
              QStringLiteral("--pwfile=") + pwfile, QStringLiteral("--auth=scram-sha-256"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
             true))
        return false;
    QFile::remove(pwfile);
    if (!run(m_bin + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), dir + QStringLiteral("/data"), QStringLiteral("-l"), dir + QStringLiteral("/server.log"),
              QStringLiteral("-w"), QStringLiteral("-o"),
              QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' -c fsync=off").arg(dir),
              QStringLiteral("start")},
             true))
        return false;
    m_running = true;

    const QByteArray inst = "[PostgreSQL]\nDescription=PostgreSQL ODBC driver\nDriver=" + QFile::encodeName(driver) + "\n";
    if (!writeFile(dir + QStringLiteral("/odbcinst.ini"), inst) || !addDataSource(dsn, dir, 5432)
        || !addDataSource(dsn + QStringLiteral("SILENT"), dir + QStringLiteral("/silent"), 5432)) {
        m_error = QStringLiteral("cannot write the ODBC ini files");
        return false;
    }
    qputenv("ODBCSYSINI", QFile::encodeName(dir));
    qputenv("ODBCINI", QFile::encodeName(dir + QStringLiteral("/odbc.ini")));
    return true;
}

bool PgHost::addDataSource(const QString &name, const QString &server, int port)
{
    m_sources += "[" + name.toUtf8() + "]\nDriver=PostgreSQL\nServername=" + QFile::encodeName(server)
                 + "\nPort=" + QByteArray::number(port) + "\nDatabase=postgres\n";
    return writeFile(m_dir.path() + QStringLiteral("/odbc.ini"), m_sources);
}

bool PgHost::listenSilently()
{
    const QString folder = m_dir.path() + QStringLiteral("/silent");
    if (m_silent < 0 && QDir().mkpath(folder)) {
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(folder + QStringLiteral("/.s.PGSQL.5432"));
        if (size_t(path.size()) < sizeof addr.sun_path) {
            memcpy(addr.sun_path, path.constData(), size_t(path.size()));
            m_silent = socket(AF_UNIX, SOCK_STREAM, 0);
            if (m_silent >= 0
                && (bind(m_silent, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(m_silent, 8) != 0)) {
                close(m_silent);
                m_silent = -1;
            }
        }
    }
    if (m_silent < 0)
        m_error = QStringLiteral("cannot listen in %1").arg(folder);
    return m_silent >= 0;
}

void PgHost::stopListening()
{
    if (m_silent >= 0)
        close(m_silent);
    m_silent = -1;
}

void PgHost::stop()
{
    if (!m_running)
        return;
    m_running = false;
    run(m_bin + QStringLiteral("/pg_ctl"),
        {QStringLiteral("-D"), m_dir.path() + QStringLiteral("/data"), QStringLiteral("-m"), QStringLiteral("fast"),
         QStringLiteral("-w"), QStringLiteral("stop")},
        true);
}

QString PgHost::psql(const QString &sql)
{
    QString out;
    if (!run(m_bin + QStringLiteral("/psql"),
             {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"), m_user, QStringLiteral("-d"),
              QStringLiteral("postgres"), QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
              QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-f"),
              QStringLiteral("-")},
             false, &out, sql.toUtf8()))
        return QString();
    return out;
}
