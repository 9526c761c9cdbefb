// The ODBC provider: the path to the real records host through unixODBC. The connection's data
// source names the DSN; "Naming Convention=1" asks the driver for system naming (NAM=1).
#include "platform/ado/adoprovider.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcAdo)

namespace {

// The first diagnostic record of a handle as a VbError: the driver's text, its state as source.
VbError diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const char *what)
{
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {0};
    SQLSMALLINT len = 0;
    QString message;
    QString sqlState;
    if (handle && SQL_SUCCEEDED(SQLGetDiagRecA(handleType, handle, 1, state, &native, text, sizeof text, &len))) {
        sqlState = QString::fromLatin1(reinterpret_cast<const char *>(state));
        message = QString::fromUtf8(reinterpret_cast<const char *>(text));
    } else {
        message = QStringLiteral("ODBC call failed: %1").arg(QLatin1String(what));
    }
    qCDebug(lcAdo) << "odbc" << what << "failed" << sqlState << native << message;
    const int number = sqlState == u"HYT00" ? adoErr::Timeout : adoErr::ProviderFailed;
    return VbError(number, message, QStringLiteral("ODBC %1").arg(sqlState));
}

void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *what)
{
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        throw diagnostics(handleType, handle, what);
}

struct Stmt {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ~Stmt()
    {
        if (h)
            SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
};

class OdbcSession final : public AdoSession {
public:
    // systemNaming: unqualified names resolve through the host job's library list.
    OdbcSession(const QString &dsn, const QString &uid, const QString &pwd, bool systemNaming)
    {
        check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env), SQL_HANDLE_ENV, nullptr, "SQLAllocHandle(ENV)");
        check(SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, m_env, "SQLSetEnvAttr");
        check(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc), SQL_HANDLE_ENV, m_env, "SQLAllocHandle(DBC)");
        QString in = QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(braced(dsn), braced(uid), braced(pwd));
        if (systemNaming)
            in += QStringLiteral(";NAM=1");
        const QByteArray text = in.toUtf8();
        SQLCHAR out[1024];
        SQLSMALLINT outLen = 0;
        const SQLRETURN rc = SQLDriverConnectA(m_dbc, nullptr, (SQLCHAR *)text.constData(), SQL_NTS, out, sizeof out,
                                               &outLen, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            VbError e = diagnostics(SQL_HANDLE_DBC, m_dbc, "SQLConnect");
            release();
            throw e;
        }
        m_connected = true;
    }

    ~OdbcSession() override { release(); }

    AdoRowSet execute(const AdoCommandRequest &request, AdoParameters &params) override
    {
        Stmt st;
        check(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &st.h), SQL_HANDLE_DBC, m_dbc, "SQLAllocHandle(STMT)");
        if (request.timeoutSeconds > 0)
            SQLSetStmtAttr(st.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(request.timeoutSeconds)),
                           0);
        const QByteArray text = adoOdbcStatement(request.text).toUtf8();
        check(SQLPrepareA(st.h, (SQLCHAR *)text.constData(), SQL_NTS), SQL_HANDLE_STMT, st.h, "SQLPrepare");

        // One buffer of width+1 per bound parameter, bound by position.
        const int bound = std::min(adoCountMarkers(request.text), params.count());
        std::vector<QByteArray> buffers(static_cast<size_t>(bound));
        std::vector<SQLLEN> indicators(static_cast<size_t>(bound));
        for (int i = 0; i < bound; ++i) {
            AdoParameter &p = params.item(i);
            const QByteArray value = p.text().toUtf8();
            const int width = p.size() > 0 ? p.size() : std::max(1, int(value.size()));
            if (value.size() > width)
                throw adoError(adoErr::MultipleStepErrors);
            QByteArray &buf = buffers[size_t(i)];
            buf = QByteArray(width + 1, '\0');
            memcpy(buf.data(), value.constData(), size_t(value.size()));
            indicators[size_t(i)] = p.isUnset() ? SQL_NULL_DATA : SQLLEN(value.size());
            SQLSMALLINT io = SQL_PARAM_INPUT;
            if (p.direction() == adParamInputOutput)
                io = SQL_PARAM_INPUT_OUTPUT;
            else if (p.direction() == adParamOutput)
                io = SQL_PARAM_OUTPUT;
            const SQLSMALLINT sqlType = p.type() == adChar ? SQL_CHAR : SQL_VARCHAR;
            check(SQLBindParameter(st.h, SQLUSMALLINT(i + 1), io, SQL_C_CHAR, sqlType, SQLULEN(width), 0, buf.data(),
                                   SQLLEN(buf.size()), &indicators[size_t(i)]),
                  SQL_HANDLE_STMT, st.h, "SQLBindParameter");
        }

        check(SQLExecute(st.h), SQL_HANDLE_STMT, st.h, "SQLExecute");

        AdoRowSet rows;
        SQLSMALLINT cols = 0;
        check(SQLNumResultCols(st.h, &cols), SQL_HANDLE_STMT, st.h, "SQLNumResultCols");
        if (cols > 0) {
            for (SQLSMALLINT c = 1; c <= cols; ++c) {
                SQLCHAR name[256] = {0};
                SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
                SQLULEN colSize = 0;
                check(SQLDescribeColA(st.h, c, name, sizeof name, &nameLen, &type, &colSize, &digits, &nullable),
                      SQL_HANDLE_STMT, st.h, "SQLDescribeCol");
                rows.names << QString::fromUtf8(reinterpret_cast<const char *>(name));
            }
            for (;;) {
                const SQLRETURN rc = SQLFetch(st.h);
                if (rc == SQL_NO_DATA)
                    break;
                check(rc, SQL_HANDLE_STMT, st.h, "SQLFetch");
                QVariantList row;
                for (SQLSMALLINT c = 1; c <= cols; ++c)
                    row << readColumn(st.h, c);
                rows.rows << row;
            }
        }
        while (SQL_SUCCEEDED(SQLMoreResults(st.h))) {
        }

        for (int i = 0; i < bound; ++i) {
            AdoParameter &p = params.item(i);
            if (p.direction() != adParamInputOutput && p.direction() != adParamOutput)
                continue;
            const SQLLEN ind = indicators[size_t(i)];
            QString v;
            if (ind != SQL_NULL_DATA) {
                const qsizetype n = std::min<qsizetype>(ind, buffers[size_t(i)].size() - 1);
                v = QString::fromUtf8(buffers[size_t(i)].constData(), n);
            }
            // The host's provider hands back a blank-only CHAR value as "".
            if (v.trimmed().isEmpty())
                v = QStringLiteral("");
            p.setValue(v);
        }
        return rows;
    }

private:
    // A connection-string value, in braces when it holds a separator.
    static QString braced(const QString &v)
    {
        if (!v.contains(u';') && !v.contains(u'{') && !v.contains(u'}') && v.trimmed() == v)
            return v;
        return u'{' + QString(v).replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
    }

    static QVariant readColumn(SQLHSTMT h, SQLSMALLINT c)
    {
        QByteArray out;
        char chunk[512];
        for (;;) {
            SQLLEN ind = 0;
            const SQLRETURN rc = SQLGetData(h, SQLUSMALLINT(c), SQL_C_CHAR, chunk, sizeof chunk, &ind);
            if (rc == SQL_NO_DATA)
                break;
            check(rc, SQL_HANDLE_STMT, h, "SQLGetData");
            if (ind == SQL_NULL_DATA)
                return QVariant();
            const qsizetype got = (ind == SQL_NO_TOTAL || ind >= SQLLEN(sizeof chunk)) ? qsizetype(sizeof chunk - 1)
                                                                                       : qsizetype(ind);
            out.append(chunk, got);
            if (rc == SQL_SUCCESS)
                break;
        }
        return QVariant(QString::fromUtf8(out));
    }

    void release()
    {
        if (m_connected)
            SQLDisconnect(m_dbc);
        m_connected = false;
        if (m_dbc)
            SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        if (m_env)
            SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        m_dbc = SQL_NULL_HDBC;
        m_env = SQL_NULL_HENV;
    }

    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    bool m_connected = false;
};

} // namespace

QString adoOdbcStatement(const QString &text)
{
    static const QRegularExpression call(
        QStringLiteral(R"(^\s*\{\{CALL\s+/QSYS\.LIB/\*LIBL\.LIB/([A-Za-z0-9_#@$]+)\.PGM\(([?,\s]*)\)\}\}\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = call.match(text);
    if (!m.hasMatch())
        return text;
    return QStringLiteral("{CALL ") + m.captured(1) + u'(' + m.captured(2) + QStringLiteral(")}");
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
