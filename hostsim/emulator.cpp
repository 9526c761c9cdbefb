#include "hostsim/emulator.h"
#include "hostsim/programs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <chrono>
#include <thread>

Q_LOGGING_CATEGORY(lcHostsim, "quorla.hostsim", QtInfoMsg)

namespace hostsim {

namespace {

[[noreturn]] void fail(const QString &text, int number = adoErr::ProviderFailed)
{
    throw VbError(number, text, QStringLiteral("hostsim"));
}

QSqlQuery exec(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        fail(QStringLiteral("Emulator database error: %1").arg(q.lastError().text()));
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        fail(QStringLiteral("Emulator database error: %1").arg(q.lastError().text()));
    return q;
}

// The store's write lock. Held by another process, it is waited for as a caller waits on a host
// that has not answered yet (wait cursor, windows painted); past the call's limit the call fails
// as a silent host's does.
void takeWriteLock(QSqlDatabase db, const QString &path, int limitSeconds)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA busy_timeout = 0"));
    const bool taken = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    q.exec(QStringLiteral("PRAGMA busy_timeout = 5000"));
    if (taken)
        return;
    qCDebug(lcHostsim) << "the store is locked by another process: waiting";
    const int waitMs = limitSeconds > 0 ? limitSeconds * 1000 : 3600 * 1000;
    adoRunBlocking(
        [path, waitMs] {
            // A connection of this thread waits for the lock and lets it go at once.
            const QString name = QStringLiteral("hostsim-lockwait-") + QUuid::createUuid().toString();
            {
                QSqlDatabase probe = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                probe.setDatabaseName(path);
                if (probe.open()) {
                    QSqlQuery wait(probe);
                    wait.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(waitMs));
                    if (wait.exec(QStringLiteral("BEGIN IMMEDIATE")))
                        wait.exec(QStringLiteral("ROLLBACK"));
                    probe.close();
                }
            }
            QSqlDatabase::removeDatabase(name);
        },
        limitSeconds);
    exec(db, QStringLiteral("BEGIN IMMEDIATE"));
}

QJsonValue toJson(const QVariant &v)
{
    return v.isValid() ? QJsonValue(v.toString()) : QJsonValue(QJsonValue::Null);
}

QVariant fromJson(const QJsonValue &v)
{
    return v.isNull() || v.isUndefined() ? QVariant() : QVariant(v.toString());
}

bool isPasswordName(const QString &name)
{
    return name.compare(u"password", Qt::CaseInsensitive) == 0 || name.compare(u"pwd", Qt::CaseInsensitive) == 0;
}

QVariant masked(const QVariant &v)
{
    return v.isValid() ? QVariant(QString(v.toString().size(), u'*')) : QVariant();
}

// The host refuses a call that does not match the program's parameter list: one marker and one
// parameter per host parameter, each of the host's width (names compared without regard to case).
void checkSignature(const QString &program, const ProgramDef &def, int markers, const AdoParameters &params)
{
    const int count = int(def.fields.size());
    if (markers != count || params.count() != count)
        fail(QStringLiteral("SQL0440: Routine %1 in *LIBL not found with specified parameters: %2 markers and %3 "
                            "parameters given, the program takes %4.")
                 .arg(program)
                 .arg(markers)
                 .arg(params.count())
                 .arg(count));
    for (int i = 0; i < count; ++i) {
        const AdoParameter &p = params.item(i);
        const HostField &f = def.fields[i];
        if (p.name().compare(QLatin1String(f.name), Qt::CaseInsensitive) != 0 || p.size() != f.width)
            fail(QStringLiteral("SQL0302: Conversion error on parameter %1 of %2: %3(%4) given, the program takes "
                                "%5(%6).")
                     .arg(i + 1)
                     .arg(program, p.name())
                     .arg(p.size())
                     .arg(QLatin1String(f.name))
                     .arg(f.width));
    }
}

class EmulatorSession final : public AdoSession {
public:
    EmulatorSession(std::shared_ptr<HostEmulator> em, QString connectionString, QString userId)
        : m_em(std::move(em)), m_connectionString(std::move(connectionString)), m_userId(std::move(userId)) {}
    AdoRowSet execute(const AdoCommandRequest &request, AdoParameters &params) override
    {
        return m_em->execute(adoConnectionItem(m_connectionString, QStringLiteral("data source")), m_userId, request,
                             params, m_connectionString);
    }

private:
    std::shared_ptr<HostEmulator> m_em;
    QString m_connectionString;
    QString m_userId;
};

// The emulator of the database named last stays open between connections.
QString g_openPath;
std::shared_ptr<HostEmulator> g_openEmulator;

void releaseOpenEmulator()
{
    g_openEmulator.reset();
    g_openPath.clear();
}

} // namespace

QString padTo(const QString &s, int width)
{
    return s.leftJustified(width, u' ', true);
}

// ---- call log entries ----

const LoggedParameter *HostCall::param(const QString &name) const
{
    for (const LoggedParameter &p : params)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

QString HostCall::render() const
{
    auto show = [](const QVariant &v) {
        return v.isValid() ? u'"' + v.toString() + u'"' : QStringLiteral("<unset>");
    };
    QStringList lines;
    lines << QStringLiteral("%1 markers=%2 timeout=%3%4 %5")
                 .arg(program)
                 .arg(markers)
                 .arg(timeoutSeconds)
                 .arg(prepared ? QStringLiteral(" prepared") : QString(), commandText);
    lines << QStringLiteral("  connection \"%1\" user \"%2\"").arg(connectionString, userId);
    for (int i = 0; i < params.size(); ++i) {
        const LoggedParameter &p = params[i];
        lines << QStringLiteral("  %1 %2(%3)%4 sent=%5 returned=%6")
                     .arg(i + 1)
                     .arg(p.name)
                     .arg(p.size)
                     .arg(p.bound ? QString() : QStringLiteral(" unbound"))
                     .arg(show(p.sent), show(p.returned));
    }
    return lines.join(u'\n');
}

// ---- the emulator ----

HostEmulator::HostEmulator(const QString &path)
    : m_path(path), m_connName(QStringLiteral("hostsim-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connName);
    d.setDatabaseName(path);
    if (!d.open())
        fail(QStringLiteral("The emulator database %1 cannot be opened: %2").arg(path, d.lastError().text()));
    exec(d, QStringLiteral("PRAGMA busy_timeout = 5000"));
    exec(d, QStringLiteral("PRAGMA journal_mode = WAL"));
    exec(d, QStringLiteral("PRAGMA synchronous = NORMAL"));
    for (const QString &s : schemaStatements())
        exec(d, s);
    // A database made before the faults table had these columns.
    for (const char *column : {"seconds", "skip"})
        if (!exec(d, QStringLiteral("SELECT 1 FROM pragma_table_info('faults') WHERE name = ?"),
                  {QString::fromLatin1(column)})
                 .next())
            exec(d, QStringLiteral("ALTER TABLE faults ADD COLUMN %1 INTEGER DEFAULT 0").arg(QLatin1String(column)));
}

HostEmulator::~HostEmulator()
{
    {
        QSqlDatabase d = QSqlDatabase::database(m_connName, false);
        d.close();
    }
    QSqlDatabase::removeDatabase(m_connName);
}

QSqlDatabase HostEmulator::db() const
{
    return QSqlDatabase::database(m_connName, false);
}

void HostEmulator::runScript(const QString &sql)
{
    QSqlDatabase d = db();
    d.transaction();
    const QStringList statements = sql.split(QRegularExpression(QStringLiteral(";\\s*\\n")), Qt::SkipEmptyParts);
    for (QString s : statements) {
        QStringList kept;
        for (const QString &line : s.split(u'\n'))
            if (!line.trimmed().startsWith(QStringLiteral("--")))
                kept << line;
        s = kept.join(u'\n').trimmed();
        if (s.endsWith(u';'))
            s.chop(1);
        if (!s.isEmpty())
            exec(d, s);
    }
    d.commit();
}

void HostEmulator::addFault(const Fault &f)
{
    QJsonObject answer;
    for (auto it = f.answer.begin(); it != f.answer.end(); ++it)
        answer.insert(it.key(), it.value());
    exec(db(),
         QStringLiteral("INSERT INTO faults(kind, program, number, text, answer, remaining, seconds, skip) "
                        "VALUES(?,?,?,?,?,?,?,?)"),
         {int(f.kind), f.program.toUpper(), f.number, f.text,
          QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact)), f.times, f.seconds, f.skip});
}

void HostEmulator::clearFaults()
{
    exec(db(), QStringLiteral("DELETE FROM faults"));
}

bool HostEmulator::takeFault(FaultKind kind, const QString &program, Fault *out)
{
    QSqlQuery q = exec(db(),
                       QStringLiteral("SELECT seq, program, number, text, answer, remaining, seconds, skip FROM faults "
                                      "WHERE kind = ? AND (program = '' OR program = ?) ORDER BY seq LIMIT 1"),
                       {int(kind), program.toUpper()});
    if (!q.next())
        return false;
    const qint64 seq = q.value(0).toLongLong();
    out->kind = kind;
    out->program = q.value(1).toString();
    out->number = q.value(2).toInt();
    out->text = q.value(3).toString();
    out->times = q.value(5).toInt();
    out->seconds = q.value(6).toInt();
    out->skip = q.value(7).toInt();
    const QJsonObject answer = QJsonDocument::fromJson(q.value(4).toString().toUtf8()).object();
    for (auto it = answer.begin(); it != answer.end(); ++it)
        out->answer.insert(it.key(), it.value().toString());
    q.finish();
    if (out->skip > 0) {
        exec(db(), QStringLiteral("UPDATE faults SET skip = skip - 1 WHERE seq = ?"), {seq});
        return false;
    }
    if (out->times > 0) {
        if (out->times == 1)
            exec(db(), QStringLiteral("DELETE FROM faults WHERE seq = ?"), {seq});
        else
            exec(db(), QStringLiteral("UPDATE faults SET remaining = remaining - 1 WHERE seq = ?"), {seq});
    }
    return true;
}

void HostEmulator::logCall(const HostCall &call)
{
    QJsonArray params;
    for (const LoggedParameter &p : call.params) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), p.name);
        o.insert(QStringLiteral("size"), p.size);
        o.insert(QStringLiteral("bound"), p.bound);
        o.insert(QStringLiteral("sent"), toJson(isPasswordName(p.name) ? masked(p.sent) : p.sent));
        o.insert(QStringLiteral("returned"), toJson(isPasswordName(p.name) ? masked(p.returned) : p.returned));
        params.append(o);
    }
    exec(db(),
         QStringLiteral("INSERT INTO call_log(program, markers, command_text, connection, data_source, user_id, "
                        "timeout, prepared, params) VALUES(?,?,?,?,?,?,?,?,?)"),
         {call.program, call.markers, call.commandText, call.connectionString, call.dataSource, call.userId,
          call.timeoutSeconds, int(call.prepared),
          QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact))});
}

QList<HostCall> HostEmulator::callLog() const
{
    QList<HostCall> out;
    QSqlQuery q = exec(db(), QStringLiteral("SELECT seq, program, markers, command_text, data_source, user_id, "
                                            "params, connection, timeout, prepared FROM call_log ORDER BY seq"));
    while (q.next()) {
        HostCall c;
        c.seq = q.value(0).toLongLong();
        c.program = q.value(1).toString();
        c.markers = q.value(2).toInt();
        c.commandText = q.value(3).toString();
        c.dataSource = q.value(4).toString();
        c.userId = q.value(5).toString();
        c.connectionString = q.value(7).toString();
        c.timeoutSeconds = q.value(8).toInt();
        c.prepared = q.value(9).toInt() != 0;
        const QJsonArray params = QJsonDocument::fromJson(q.value(6).toString().toUtf8()).array();
        for (const QJsonValue &v : params) {
            const QJsonObject o = v.toObject();
            c.params << LoggedParameter{o.value(u"name").toString(), o.value(u"size").toInt(),
                                        o.value(u"bound").toBool(), fromJson(o.value(u"sent")),
                                        fromJson(o.value(u"returned"))};
        }
        out << c;
    }
    return out;
}

HostCall HostEmulator::lastCall() const
{
    const QList<HostCall> all = callLog();
    return all.isEmpty() ? HostCall() : all.last();
}

void HostEmulator::clearCallLog()
{
    exec(db(), QStringLiteral("DELETE FROM call_log"));
}

void HostEmulator::checkOpen(const QString &connectionString, const QString &userId, const QString &password)
{
    Fault f;
    if (takeFault(FaultKind::OpenFailure, QString(), &f))
        throw VbError(f.number, f.text, QStringLiteral("hostsim"));
    const QString dsn = adoConnectionItem(connectionString, QStringLiteral("data source"));
    if (dsn.isEmpty())
        fail(QStringLiteral("Communication link failure: no host name was given in the connection."));
    QSqlQuery q = exec(db(), QStringLiteral("SELECT uid, pwd FROM accounts WHERE upper(dsn) = upper(?)"), {dsn});
    bool known = false;
    while (q.next()) {
        known = true;
        if (q.value(0).toString().compare(userId, Qt::CaseInsensitive) == 0 && q.value(1).toString() == password)
            return;
    }
    if (!known)
        fail(QStringLiteral("Communication link failure: the host %1 could not be reached.").arg(dsn));
    fail(QStringLiteral("The user id or password of the connection to %1 is not valid.").arg(dsn));
}

AdoRowSet HostEmulator::execute(const QString &dataSource, const QString &userId, const AdoCommandRequest &request,
                                AdoParameters &params, const QString &connectionString)
{
    const int markers = adoCountMarkers(request.text);
    const int bound = std::min(markers, params.count());
    const bool isSql = request.text.trimmed().startsWith(QStringLiteral("SELECT"), Qt::CaseInsensitive);
    HostCall call;
    call.program = isSql ? QStringLiteral("SQL") : adoParseProgramCall(request.text).program.toUpper();
    call.markers = markers;
    call.commandText = request.text;
    call.connectionString = adoMaskedConnectionString(connectionString);
    call.dataSource = dataSource;
    call.userId = userId;
    call.timeoutSeconds = request.timeoutSeconds;
    call.prepared = request.prepared;
    for (int i = 0; i < params.count(); ++i) {
        const AdoParameter &p = params.item(i);
        call.params << LoggedParameter{p.name(), p.size(), i < bound, p.value(), p.value()};
    }
    auto finish = [&]() {
        for (int i = 0; i < params.count(); ++i)
            call.params[i].returned = params.item(i).value();
        logCall(call);
    };

    try {
        adoCheckValues(params, bound);
        Fault f;
        if (takeFault(FaultKind::ExecuteFailure, call.program, &f))
            throw VbError(f.number, f.text, QStringLiteral("hostsim"));
        if (takeFault(FaultKind::UnknownParameter, call.program, &f))
            throw adoError(adoErr::ItemNotFound);

        if (isSql) {
            QSqlQuery q(db());
            if (!q.prepare(request.text))
                fail(QStringLiteral("SQL0204: %1").arg(q.lastError().databaseText()));
            for (int i = 0; i < bound; ++i)
                q.addBindValue(params.item(i).text()); // unset goes out empty
            if (!q.exec())
                fail(QStringLiteral("SQL0104: %1").arg(q.lastError().databaseText()));
            AdoRowSet rows;
            const QSqlRecord rec = q.record();
            for (int c = 0; c < rec.count(); ++c)
                rows.names << rec.fieldName(c);
            while (q.next()) {
                QVariantList row;
                for (int c = 0; c < rec.count(); ++c)
                    row << (q.value(c).isNull() ? QVariant() : QVariant(q.value(c).toString()));
                rows.rows << row;
            }
            finish();
            return rows;
        }

        QVector<int> widths;
        for (int i = 0; i < params.count(); ++i)
            widths << params.item(i).size();
        const ProgramDef *def = call.program.isEmpty() ? nullptr : findProgram(call.program, widths);
        if (!def)
            fail(QStringLiteral("CPF4101: Program %1 not found in the library list.")
                     .arg(call.program.isEmpty() ? request.text : call.program));
        checkSignature(call.program, *def, markers, params);

        ProgramCall pc(db(), dataSource, userId, def->fields, std::min(bound, int(def->fields.size())));
        for (int i = 0; i < pc.bound; ++i)
            pc.setBuffer(i, params.item(i).text());
        Fault lost, silent;
        const bool loseReply = takeFault(FaultKind::LostReply, call.program, &lost);
        const bool holdAnswer = takeFault(FaultKind::Silent, call.program, &silent);
        if (takeFault(FaultKind::ScriptedAnswer, call.program, &f)) {
            for (auto it = f.answer.begin(); it != f.answer.end(); ++it)
                pc.set(it.key().toLatin1().constData(), it.value());
        } else {
            // The write lock is taken at the start, so a call never waits on a snapshot it read.
            takeWriteLock(db(), m_path, request.timeoutSeconds);
            try {
                def->run(pc);
                exec(db(), QStringLiteral("COMMIT"));
            } catch (...) {
                QSqlQuery(db()).exec(QStringLiteral("ROLLBACK"));
                for (auto it = pc.onRollback.rbegin(); it != pc.onRollback.rend(); ++it)
                    (*it)();
                throw;
            }
            for (const auto &done : pc.onCommit)
                done();
        }
        if (loseReply)
            throw VbError(lost.number,
                          lost.text.isEmpty() ? QStringLiteral("[hostsim] Communication link failure") : lost.text,
                          QStringLiteral("ODBC 08S01"));
        // The host has done its work and says nothing: the caller waits as on any silent host,
        // and gives up (a timeout) after its command's time or once the program is ending.
        if (holdAnswer) {
            const int seconds = silent.seconds;
            qCDebug(lcHostsim) << call.program << "holds its answer for" << seconds << "seconds";
            adoRunBlocking([seconds] { std::this_thread::sleep_for(std::chrono::seconds(seconds)); },
                           request.timeoutSeconds);
        }
        // Bound buffers go back at the client's width; blank-only comes back as "".
        for (int i = 0; i < pc.bound; ++i) {
            AdoParameter &p = params.item(i);
            if (p.direction() != adParamInputOutput && p.direction() != adParamOutput)
                continue;
            QString v = pc.buffer(i);
            if (p.size() > 0)
                v = padTo(v, p.size());
            p.setValue(v.trimmed().isEmpty() ? QStringLiteral("") : v);
        }
        finish();
        qCDebug(lcHostsim) << call.program << "markers" << markers << "bound" << bound;
        return AdoRowSet();
    } catch (const VbError &) {
        finish();
        throw;
    }
}

void registerProvider()
{
    adoSetEmulatorFactory([](const QString &cs, const QString &uid, const QString &pwd) -> std::unique_ptr<AdoSession> {
        const QString path = QString::fromLocal8Bit(qgetenv("QUORLA_HOST_EMULATOR"));
        if (!g_openEmulator || g_openPath != path) {
            releaseOpenEmulator();
            g_openEmulator = std::make_shared<HostEmulator>(path);
            g_openPath = path;
            static bool cleanup = (qAddPostRoutine(releaseOpenEmulator), true);
            Q_UNUSED(cleanup);
        }
        std::shared_ptr<HostEmulator> em = g_openEmulator;
        em->checkOpen(cs, uid, pwd);
        return std::make_unique<EmulatorSession>(em, cs, uid);
    });
}

} // namespace hostsim
