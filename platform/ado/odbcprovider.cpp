// The ODBC provider: the path to the real records host through unixODBC. The connection's data
// source names the DSN; "Naming Convention=1" asks the driver for system naming (NAM=1).
#include "platform/ado/adoprovider.h"

#include <QLoggingCategory>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcAdo)

namespace {

QString fromWide(const SQLWCHAR *text, qsizetype units)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), units);
}

// The state and text of one diagnostic record of a handle; false when there is none.
bool diagRecord(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT record, QString *state, SQLINTEGER *native,
                QString *text)
{
    SQLWCHAR st[6] = {0};
    SQLWCHAR buf[1024] = {0};
    SQLSMALLINT len = 0;
    if (!handle || !SQL_SUCCEEDED(SQLGetDiagRecW(handleType, handle, record, st, native, buf, 1024, &len)))
        return false;
    *state = fromWide(st, 5);
    *text = fromWide(buf, std::clamp<qsizetype>(len, 0, 1023));
    return true;
}

// Whether the driver timed out: its timeout states, or libpq-style drivers' 08001 "timeout expired".
bool isTimeout(const QString &state, const QString &text)
{
    return state == u"HYT00" || state == u"HYT01"
           || (state.startsWith(u"08") && text.contains(QStringLiteral("timeout expired"), Qt::CaseInsensitive));
}

// The first diagnostic record of a handle as a VbError: the driver's text, its state as source.
// A timeout says that the host did not answer within `seconds`.
VbError diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const char *what, int seconds = 0)
{
    SQLINTEGER native = 0;
    QString message;
    QString sqlState;
    if (!diagRecord(handleType, handle, 1, &sqlState, &native, &message))
        message = QStringLiteral("ODBC call failed: %1").arg(QLatin1String(what));
    qCDebug(lcAdo) << "odbc" << what << "failed" << sqlState << native << message;
    if (isTimeout(sqlState, message))
        return VbError(adoErr::Timeout,
                       QStringLiteral("The host did not answer within %1 seconds (%2).").arg(seconds).arg(message.trimmed()),
                       QStringLiteral("ODBC %1").arg(sqlState));
    return VbError(adoErr::ProviderFailed, message, QStringLiteral("ODBC %1").arg(sqlState));
}

void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *what, int seconds = 0)
{
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        throw diagnostics(handleType, handle, what, seconds);
}

// A driver's "string data, right truncated" warning on a statement.
bool truncated(SQLHSTMT h)
{
    QString state, text;
    SQLINTEGER native = 0;
    for (SQLSMALLINT r = 1; diagRecord(SQL_HANDLE_STMT, h, r, &state, &native, &text); ++r)
        if (state == u"01004")
            return true;
    return false;
}

VbError truncation(const QString &parameter, const QString &detail)
{
    return VbError(adoErr::ProviderFailed,
                   QStringLiteral("The host's answer in parameter %1 was not used: %2.").arg(parameter, detail),
                   QStringLiteral("ODBC 01004"));
}

// The handles of one connection. Shared with a driver call still running on its worker, so
// they are released by whichever lets go last.
struct Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    ~Handles()
    {
        if (connected)
            SQLDisconnect(dbc);
        if (dbc)
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

struct Stmt {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ~Stmt()
    {
        if (h)
            SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
};

// One bound parameter: wide characters, room for its width in characters (surrogate pairs too).
struct Bound {
    std::vector<SQLWCHAR> buffer;
    SQLLEN indicator = 0;
    int width = 0;
};

// One statement run: what the driver reads and writes while it runs, kept alive by its worker.
struct Run {
    std::shared_ptr<Handles> handles; // outlives the statement
    Stmt st;
    std::vector<Bound> bind;
    QString text;
    int timeoutSeconds = 0;
    AdoRowSet rows;
    bool cut = false;
};

class OdbcSession final : public AdoSession {
public:
    // systemNaming: unqualified names resolve through the host job's library list.
    OdbcSession(const QString &dsn, const QString &uid, const QString &pwd, bool systemNaming)
    {
        auto h = std::make_shared<Handles>();
        check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h->env), SQL_HANDLE_ENV, nullptr,
              "SQLAllocHandle(ENV)");
        check(SQLSetEnvAttr(h->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, h->env, "SQLSetEnvAttr");
        check(SQLAllocHandle(SQL_HANDLE_DBC, h->env, &h->dbc), SQL_HANDLE_ENV, h->env, "SQLAllocHandle(DBC)");
        // A host that takes the connection and never answers must not hold the caller for ever.
        // The driver applies these to its connect; what it says to the host once signed on has no
        // limit of its own, so the whole open is given up after the same time.
        const auto timeout = reinterpret_cast<SQLPOINTER>(SQLULEN(adoConnectionTimeout));
        SQLSetConnectAttrW(h->dbc, SQL_ATTR_LOGIN_TIMEOUT, timeout, 0);
        SQLSetConnectAttrW(h->dbc, SQL_ATTR_CONNECTION_TIMEOUT, timeout, 0);
        QString in = QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(braced(dsn), braced(uid), braced(pwd));
        if (systemNaming)
            in += QStringLiteral(";NAM=1");
        adoRunBlocking(
            [h, in] {
                SQLWCHAR out[1024];
                SQLSMALLINT outLen = 0;
                if (!SQL_SUCCEEDED(SQLDriverConnectW(h->dbc, nullptr, wide(in), SQL_NTS, out, 1024, &outLen,
                                                     SQL_DRIVER_NOPROMPT)))
                    throw diagnostics(SQL_HANDLE_DBC, h->dbc, "SQLConnect", adoConnectionTimeout);
                h->connected = true;
            },
            adoConnectionTimeout);
        m_handles = std::move(h);
    }

    AdoRowSet execute(const AdoCommandRequest &request, AdoParameters &params) override
    {
        // A call given up while the host was silent may still hold the connection.
        if (m_lost)
            throw VbError(adoErr::ConnectionInvalid,
                          QStringLiteral("The connection was lost: the host did not answer an earlier call."));
        auto run = std::make_shared<Run>();
        run->handles = m_handles;
        Stmt &st = run->st;
        const SQLHDBC dbc = m_handles->dbc;
        check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st.h), SQL_HANDLE_DBC, dbc, "SQLAllocHandle(STMT)");
        if (request.timeoutSeconds > 0)
            SQLSetStmtAttr(st.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(request.timeoutSeconds)),
                           0);

        // Bound by position, one per marker. An unset value goes out empty, never as NULL.
        const int bound = std::min(adoCountMarkers(request.text), params.count());
        adoCheckValues(params, bound);
        std::vector<Bound> &bind = run->bind;
        bind.resize(static_cast<size_t>(bound));
        for (int i = 0; i < bound; ++i) {
            AdoParameter &p = params.item(i);
            const QString value = p.text();
            Bound &b = bind[size_t(i)];
            b.width = p.size() > 0 ? p.size() : std::max(1, adoCharCount(value));
            b.buffer.assign(size_t(2 * b.width + 1), 0);
            std::copy(value.utf16(), value.utf16() + value.size(), b.buffer.begin());
            b.indicator = SQLLEN(value.size() * qsizetype(sizeof(SQLWCHAR)));
            SQLSMALLINT io = SQL_PARAM_INPUT;
            if (p.direction() == adParamInputOutput)
                io = SQL_PARAM_INPUT_OUTPUT;
            else if (p.direction() == adParamOutput)
                io = SQL_PARAM_OUTPUT;
            const SQLSMALLINT sqlType = p.type() == adChar ? SQL_CHAR : SQL_VARCHAR;
            check(SQLBindParameter(st.h, SQLUSMALLINT(i + 1), io, SQL_C_WCHAR, sqlType, SQLULEN(b.width), 0,
                                   b.buffer.data(), SQLLEN(b.buffer.size() * sizeof(SQLWCHAR)), &b.indicator),
                  SQL_HANDLE_STMT, st.h, "SQLBindParameter");
        }

        // Executed once, so not prepared first: the driver runs it directly.
        run->text = adoOdbcStatement(request.text);
        run->timeoutSeconds = request.timeoutSeconds;
        // The driver's query timeout needs a host that answers; a silent one is given up here.
        try {
            adoRunBlocking([run] { runStatement(*run); }, request.timeoutSeconds);
        } catch (const VbError &e) {
            m_lost = e.source == adoGivenUpSource;
            throw;
        }
        const bool cut = run->cut;

        // The answers: every one checked before any is taken.
        QList<QPair<int, QString>> answers;
        for (int i = 0; i < bound; ++i) {
            const AdoParameter &p = params.item(i);
            if (p.direction() != adParamInputOutput && p.direction() != adParamOutput)
                continue;
            const Bound &b = bind[size_t(i)];
            const QString name = p.name().isEmpty() ? QString::number(i + 1) : p.name();
            if (b.indicator == SQL_NULL_DATA)
                throw VbError(adoErr::ProviderFailed,
                              QStringLiteral("The host returned no value (NULL) in parameter %1.").arg(name),
                              QStringLiteral("ODBC 22002"));
            const qsizetype room = qsizetype(b.buffer.size()) - 1;
            if (b.indicator == SQL_NO_TOTAL || b.indicator / SQLLEN(sizeof(SQLWCHAR)) > room)
                throw truncation(name, QStringLiteral("it is longer than %1 characters").arg(b.width));
            const QString v = fromWide(b.buffer.data(), b.indicator / SQLLEN(sizeof(SQLWCHAR)));
            if (adoCharCount(v) > b.width)
                throw truncation(name, QStringLiteral("\"%1\" is longer than %2 characters").arg(v).arg(b.width));
            answers.append({i, v});
        }
        if (cut && !answers.isEmpty())
            throw truncation(params.item(answers.first().first).name(), QStringLiteral("the driver cut it"));
        for (const auto &[i, value] : answers) {
            // The host's provider hands back a blank-only CHAR value as "".
            params.item(i).setValue(value.trimmed().isEmpty() ? QStringLiteral("") : value);
        }
        return run->rows;
    }

private:
    // The statement's execution and its rows, on the worker.
    static void runStatement(Run &run)
    {
        const SQLHSTMT h = run.st.h;
        const SQLRETURN rc = SQLExecDirectW(h, wide(run.text), SQL_NTS);
        check(rc, SQL_HANDLE_STMT, h, "SQLExecDirect", run.timeoutSeconds);
        run.cut = rc == SQL_SUCCESS_WITH_INFO && truncated(h);
        SQLSMALLINT cols = 0;
        check(SQLNumResultCols(h, &cols), SQL_HANDLE_STMT, h, "SQLNumResultCols");
        if (cols > 0) {
            for (SQLSMALLINT c = 1; c <= cols; ++c) {
                SQLWCHAR name[256] = {0};
                SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
                SQLULEN colSize = 0;
                check(SQLDescribeColW(h, c, name, 256, &nameLen, &type, &colSize, &digits, &nullable),
                      SQL_HANDLE_STMT, h, "SQLDescribeCol");
                run.rows.names << fromWide(name, std::clamp<qsizetype>(nameLen, 0, 255));
            }
            for (;;) {
                const SQLRETURN frc = SQLFetch(h);
                if (frc == SQL_NO_DATA)
                    break;
                check(frc, SQL_HANDLE_STMT, h, "SQLFetch", run.timeoutSeconds);
                QVariantList row;
                for (SQLSMALLINT c = 1; c <= cols; ++c)
                    row << readColumn(h, c);
                run.rows.rows << row;
            }
        }
        while (SQL_SUCCEEDED(SQLMoreResults(h))) {
        }
    }

    static SQLWCHAR *wide(const QString &text)
    {
        return const_cast<SQLWCHAR *>(reinterpret_cast<const SQLWCHAR *>(text.utf16()));
    }

    // A connection-string value, in braces when it holds a separator.
    static QString braced(const QString &v)
    {
        if (!v.contains(u';') && !v.contains(u'{') && !v.contains(u'}') && v.trimmed() == v)
            return v;
        return u'{' + QString(v).replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
    }

    static QVariant readColumn(SQLHSTMT h, SQLSMALLINT c)
    {
        QString out;
        SQLWCHAR chunk[512];
        const SQLLEN room = SQLLEN(sizeof chunk) - SQLLEN(sizeof(SQLWCHAR));
        for (;;) {
            SQLLEN ind = 0;
            const SQLRETURN rc = SQLGetData(h, SQLUSMALLINT(c), SQL_C_WCHAR, chunk, sizeof chunk, &ind);
            if (rc == SQL_NO_DATA)
                break;
            check(rc, SQL_HANDLE_STMT, h, "SQLGetData");
            if (ind == SQL_NULL_DATA)
                return QVariant();
            const SQLLEN got = (ind == SQL_NO_TOTAL || ind > room) ? room : ind;
            out += fromWide(chunk, got / SQLLEN(sizeof(SQLWCHAR)));
            if (rc == SQL_SUCCESS)
                break;
        }
        return QVariant(out);
    }

    std::shared_ptr<Handles> m_handles;
    bool m_lost = false;
};

} // namespace

QString adoOdbcStatement(const QString &text)
{
    const AdoProgramCallText call = adoParseProgramCall(text);
    if (call.program.isEmpty())
        return text;
    QStringList q;
    for (int i = 0; i < call.markers; ++i)
        q << QStringLiteral("?");
    return QStringLiteral("{CALL ") + call.program + u'(' + q.join(u',') + QStringLiteral(")}");
}

std::unique_ptr<AdoSession> adoOpenOdbc(const QString &connectionString, const QString &userId,
                                        const QString &password)
{
    // The data source names the DSN; user and password come as arguments.
    QString dsn = adoConnectionItem(connectionString, QStringLiteral("data source"));
    if (dsn.isEmpty())
        dsn = adoConnectionItem(connectionString, QStringLiteral("dsn"));
    // An empty name would let the driver manager fall back to a default data source.
    if (dsn.trimmed().isEmpty())
        throw VbError(adoErr::ProviderFailed, QStringLiteral("The connection names no data source."),
                      QStringLiteral("ODBC IM002"));
    const bool systemNaming = adoConnectionItem(connectionString, QStringLiteral("Naming Convention")) == u"1";
    return std::make_unique<OdbcSession>(dsn, userId, password, systemNaming);
}
