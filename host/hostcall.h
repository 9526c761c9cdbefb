#pragma once
// The one way every records-host program is called: connection settings, the statement text,
// each program's parameter table declared once, the standard trio and the number form of keys.
#include <QString>
#include <vector>

#include "core/errors.h"
#include "platform/ado/ado.h"

// One row of a program's parameter table: name as created and adChar width.
struct HostParam {
    const char *name;
    int width;
};
using HostTable = std::vector<HostParam>;

// Every host call waits this long (seconds) for the host.
constexpr int HOST_COMMAND_TIMEOUT = 60000;
// The client version sent in "ver#".
inline const QString HOST_CLIENT_VERSION = QStringLiteral("03.70.3000");

// "frmConfig" DSN, UID and PWD, read afresh in that order.
struct HostSettings {
    QString dsn;
    QString uid;
    QString pwd;
};
HostSettings readHostSettings();

// "provider=IBMDA400;data source=" + dsn + ";" (+ extra items).
QString hostConnectionString(const QString &dsn, const QString &extra = QString());
// Opens conn from the stored settings (synchronous open). Raises on failure.
void openHostConnection(AdoConnection &conn, const QString &extra = QString());

// A host program's command on a connection: timeout, statement with one marker per parameter,
// and the parameters of the table created (adChar, input-output, no value) and appended in order.
class HostCommand {
public:
    HostCommand(AdoConnection &conn, const QString &program, const HostTable &table);

    // Sets a value by name (matched without regard to case).
    void set(const QString &name, const QString &value);
    // The value returned, as returned; "" when it has none.
    QString get(const QString &name) const;
    // PcNm, userid and ver#, each cut to 10 characters.
    void setTrio();
    // Prepared, executed; the recordset is dropped unread. See hostReplyLost for a failure.
    void execute();

    AdoCommand &command() { return m_cmd; }

private:
    AdoCommand m_cmd;
};

// True when the last host program call failed after it was sent, the connection lost or timed
// out before the answer: the host may have done what was asked.
bool hostReplyLost();
// True when the last host program call raised instead of answering: refused, lost or timed out.
bool hostCallFailed();

// A host output used as a folder, path or file name, without the blanks the host pads it with
// to its field's width; what is shown or sent back to the host keeps the returned form.
QString hostPathText(const QString &text);

// An index text as a whole number without leading zeros ("000123" -> "123"); raises type
// mismatch (13) when the text is not numeric.
QString numberForm(const QString &text);

// The trace "We are entering error handler ErrorHandler with the following error: ..." of a
// procedure that traces, then the error report. For use inside a catch block.
void reportHostFailure(const QString &procedure, const Trap &trap, bool traced = false);

// A trace line "Korvane Scan Tool::<procedure>::<text>" under "/debug".
void hostTrace(const QString &procedure, const QString &text);

// Walks the command's parameters reading name and value; writes nothing. Always False.
bool do_print_iseries_parameters(const QString &procName, const QString &stage, AdoCommand &cmd);

// A refused key lookup's message: code "1", "2" or "3" (as returned) shows its text in an OK box
// titled "Note"; any other code shows nothing.
void showLookupRefusal(const QString &code, const QString &text1, const QString &text2, const QString &text3);
