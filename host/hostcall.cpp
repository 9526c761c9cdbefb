#include "host/hostcall.h"

#include "core/prefs.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"

HostSettings readHostSettings()
{
    HostSettings s;
    s.dsn = readSetting(QStringLiteral("frmConfig"), QStringLiteral("DSN"));
    s.uid = readSetting(QStringLiteral("frmConfig"), QStringLiteral("UID"));
    s.pwd = readSetting(QStringLiteral("frmConfig"), QStringLiteral("PWD"));
    return s;
}

QString hostConnectionString(const QString &dsn, const QString &extra)
{
    return QStringLiteral("provider=IBMDA400;data source=") + dsn + QStringLiteral(";") + extra;
}

void openHostConnection(AdoConnection &conn, const QString &extra)
{
    const HostSettings s = readHostSettings();
    conn.open(hostConnectionString(s.dsn, extra), s.uid, s.pwd, adOptionUnspecified);
}

HostCommand::HostCommand(AdoConnection &conn, const QString &program, const HostTable &table)
{
    m_cmd.setActiveConnection(conn);
    m_cmd.setCommandTimeout(HOST_COMMAND_TIMEOUT);
    m_cmd.setCommandText(adoProgramCall(program, int(table.size())));
    for (const HostParam &p : table)
        m_cmd.parameters().append(
            m_cmd.createParameter(QString::fromLatin1(p.name), adChar, adParamInputOutput, p.width));
}

void HostCommand::set(const QString &name, const QString &value) { m_cmd.parameters()[name].setValue(value); }

QString HostCommand::get(const QString &name) const { return m_cmd.parameters().item(name).text(); }

void HostCommand::setTrio()
{
    set(QStringLiteral("pcNm"), Left(computername, 10));
    set(QStringLiteral("userid"), Left(g_USER_ID, 10));
    set(QStringLiteral("ver#"), Left(HOST_CLIENT_VERSION, 10));
}

namespace {
bool g_replyLost = false;
bool g_callFailed = false;
}

void HostCommand::execute()
{
    g_replyLost = false;
    g_callFailed = false;
    m_cmd.setPrepared(true);
    try {
        AdoRecordset rs = m_cmd.execute();
        (void)rs;
    } catch (const VbError &e) {
        // communication link failure, connection failure during a transaction, timeout
        g_replyLost = e.source == u"ODBC 08S01" || e.source == u"ODBC 08007" || e.number == adoErr::Timeout;
        g_callFailed = true;
        throw;
    }
}

bool hostReplyLost() { return g_replyLost; }

bool hostCallFailed() { return g_callFailed; }

QString hostPathText(const QString &text) { return RTrim(text); }

QString numberForm(const QString &text) { return numberText(Int(CDbl(text))); }

void hostTrace(const QString &procedure, const QString &text)
{
    if (g_blnDebug)
        traceLine(QStringLiteral("Korvane Scan Tool::") + procedure + QStringLiteral("::") + text);
}

void reportHostFailure(const QString &procedure, const Trap &trap, bool traced)
{
    const VbError e = currentError();
    if (traced)
        hostTrace(procedure, QStringLiteral("We are entering error handler ErrorHandler with the following error: ")
                                 + QString::number(e.number) + QStringLiteral("-") + e.description);
    throwError(procedure, trap, e);
}

bool do_print_iseries_parameters(const QString &procName, const QString &stage, AdoCommand &cmd)
{
    (void)procName;
    (void)stage;
    Trap trap;
    try {
        trap(1);
        const int count = cmd.parameters().count();
        for (int i = 0; i < count; ++i) {
            trap(2);
            const AdoParameter &p = cmd.parameters().item(i);
            const QString name = p.name();
            const QVariant value = p.value();
            (void)name;
            (void)value;
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("do_print_iseries_parameters"), trap);
    }
    return false;
}

void showLookupRefusal(const QString &code, const QString &text1, const QString &text2, const QString &text3)
{
    const QString *text = code == u"1" ? &text1 : code == u"2" ? &text2 : code == u"3" ? &text3 : nullptr;
    if (text)
        MsgBox(*text, vb::vbOKOnly, QStringLiteral("Note"));
}
