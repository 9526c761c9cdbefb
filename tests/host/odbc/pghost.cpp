#include "pghost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QVersionNumber>

#include <algorithm>
#include <cstring>

#include <poll.h>
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

namespace {

int listenOn(const QByteArray &path)
{
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof addr.sun_path)
        return -1;
    memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

int connectTo(const QByteArray &path)
{
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.constData(), std::min(size_t(path.size()), sizeof addr.sun_path - 1));
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

quint32 bigEndian32(const char *p)
{
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8 | quint32(uchar(p[3]));
}

// Length of the first whole client message in buf, or 0 while it is incomplete. Until the startup
// message has gone, messages carry no type byte; a request for encryption is followed by another
// such message.
qsizetype clientMessage(const QByteArray &buf, bool &untyped)
{
    const qsizetype head = untyped ? 0 : 1;
    if (buf.size() < head + 4)
        return 0;
    const qsizetype length = head + qsizetype(bigEndian32(buf.constData() + head));
    if (buf.size() < length)
        return 0;
    if (untyped) {
        const quint32 code = buf.size() >= 8 ? bigEndian32(buf.constData() + 4) : 0;
        untyped = code == 80877103 || code == 80877104; // SSLRequest, GSSENCRequest
    }
    return length;
}

bool sendAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

SilentRelay::SilentRelay(const QString &listenPath, const QString &serverPath)
    : m_server(QFile::encodeName(serverPath)), m_path(QFile::encodeName(listenPath))
{
    unlink(m_path.constData());
    m_listen = listenOn(m_path);
    if (m_listen >= 0)
        m_thread = std::thread([this] { run(); });
}

SilentRelay::~SilentRelay()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0) {
        close(m_listen);
        unlink(m_path.constData());
    }
}

void SilentRelay::run()
{
    struct Link {
        int client = -1;
        int server = -1;
        QByteArray pending; // client bytes not yet whole messages
        bool untyped = true;
        bool silent = false;
    };
    std::vector<Link> links;
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
        for (const Link &l : links) {
            if (l.silent)
                continue;
            fds.push_back({l.client, POLLIN, 0});
            fds.push_back({l.server, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        size_t at = 1;
        for (Link &l : links) {
            if (l.silent)
                continue;
            const short fromClient = fds[at++].revents, fromServer = fds[at++].revents;
            char buf[16384];
            if (fromServer & (POLLIN | POLLHUP)) {
                const ssize_t n = ::recv(l.server, buf, sizeof buf, 0);
                if (n <= 0 || !sendAll(l.client, buf, n))
                    l.silent = true; // the server left: the client hears nothing more either
            }
            if (!l.silent && (fromClient & (POLLIN | POLLHUP))) {
                const ssize_t n = ::recv(l.client, buf, sizeof buf, 0);
                if (n <= 0) {
                    l.silent = true;
                    continue;
                }
                l.pending.append(buf, n);
                while (!l.silent) {
                    const qsizetype length = clientMessage(l.pending, l.untyped);
                    if (length == 0)
                        break;
                    const int number = ++m_messages;
                    sendAll(l.server, l.pending.constData(), length);
                    l.pending.remove(0, length);
                    const int from = m_silentFrom;
                    l.silent = from > 0 && number >= from;
                }
            }
        }
        // A new connection joins the next round.
        if (fds[0].revents & POLLIN) {
            Link l;
            l.client = accept(m_listen, nullptr, nullptr);
            l.silent = m_silentFrom == 0;
            if (l.client >= 0 && !l.silent)
                l.server = connectTo(m_server);
            if (l.client >= 0 && (l.silent || l.server >= 0))
                links.push_back(l);
            else if (l.client >= 0)
                close(l.client);
        }
    }
    for (const Link &l : links) {
        close(l.client);
        if (l.server >= 0)
            close(l.server);
    }
}

PgHost::PgHost() = default;

PgHost::~PgHost()
{
    m_relays.clear();
    stop();
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

bool PgHost::start(const QString &dsn, const QString &user, const QString &password, int relays)
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
    bool written = writeFile(dir + QStringLiteral("/odbcinst.ini"), inst) && addDataSource(dsn, dir, 5432);
    for (int n = 0; n < relays; ++n)
        written = written && addDataSource(dsn + QStringLiteral("RELAY%1").arg(n),
                                           dir + QStringLiteral("/relay%1").arg(n), 5432);
    m_relays.resize(size_t(relays));
    if (!written) {
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

void PgHost::closeRelays()
{
    for (std::unique_ptr<SilentRelay> &r : m_relays)
        r.reset();
}

SilentRelay *PgHost::relay(int n)
{
    if (n < 0 || size_t(n) >= m_relays.size())
        return nullptr;
    std::unique_ptr<SilentRelay> &slot = m_relays[size_t(n)];
    const QString folder = m_dir.path() + QStringLiteral("/relay%1").arg(n);
    if (!slot && QDir().mkpath(folder))
        slot = std::make_unique<SilentRelay>(folder + QStringLiteral("/.s.PGSQL.5432"),
                                             m_dir.path() + QStringLiteral("/.s.PGSQL.5432"));
    if (!slot || !slot->listening()) {
        m_error = QStringLiteral("cannot listen in %1").arg(folder);
        return nullptr;
    }
    return slot.get();
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
