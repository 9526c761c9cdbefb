#pragma once
#include "platform/ado/adoprovider.h"

#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

// The records-host emulator: every host program's contract over an SQLite database, with a call
// log of what was sent and fault injection for tests.
namespace hostsim {

struct LoggedParameter {
    QString name;      // the name the client created
    int size = 0;      // the width the client created
    bool bound = false; // a "?" marker carried it
    QVariant sent;     // invalid = unset
    QVariant returned; // invalid = unset
};

struct HostCall {
    qint64 seq = 0;
    QString program;     // program name, or "SQL" for a statement
    int markers = 0;
    QString commandText;
    QString connectionString; // as opened, any password item masked
    QString dataSource;
    QString userId;
    int timeoutSeconds = 0;
    bool prepared = false;
    QList<LoggedParameter> params;

    const LoggedParameter *param(const QString &name) const; // case-insensitive, nullptr when missing
    QString render() const; // one line per parameter; unset values read "<unset>"
};

enum class FaultKind {
    OpenFailure,      // the next open(s) fail with number and text
    ExecuteFailure,   // the program's execute fails with number and text
    ScriptedAnswer,   // the program does not run; the named values are written instead
    UnknownParameter, // the execute fails with 3265
    LostReply,        // the program runs and commits, then the connection drops before the answer
    Silent,           // the program runs and commits, then its answer is held for `seconds`: the
                      // caller waits as on any host (and may give up), then it is answered
};

struct Fault {
    FaultKind kind = FaultKind::ExecuteFailure;
    QString program;             // empty = any program
    int number = adoErr::ProviderFailed;
    QString text;
    QMap<QString, QString> answer; // ScriptedAnswer: host parameter name -> value
    int times = 1;               // -1 = every time
    int seconds = 0;             // Silent: how long the answer is held
    int skip = 0;                // calls of the program that go through before it strikes
};

class HostEmulator {
public:
    // Opens (creating the schema when missing) the emulator database at path.
    explicit HostEmulator(const QString &path);
    ~HostEmulator();
    HostEmulator(const HostEmulator &) = delete;
    HostEmulator &operator=(const HostEmulator &) = delete;

    QSqlDatabase db() const;
    QString path() const { return m_path; }

    void addFault(const Fault &fault);
    void clearFaults();
    QList<HostCall> callLog() const;
    HostCall lastCall() const; // seq 0 when the log is empty
    void clearCallLog();

    // What the provider does: check an open, run one command.
    void checkOpen(const QString &connectionString, const QString &userId, const QString &password);
    // connectionString, when given, is kept (masked) in the call log.
    AdoRowSet execute(const QString &dataSource, const QString &userId, const AdoCommandRequest &request,
                      AdoParameters &params, const QString &connectionString = QString());

    // Runs a batch of SQL statements separated by ";" at line ends (seed files).
    void runScript(const QString &sql);

private:
    bool takeFault(FaultKind kind, const QString &program, Fault *out);
    void logCall(const HostCall &call);

    QString m_path;
    QString m_connName;
};

// Installs the emulator as the data-access layer's emulator provider: every open made while
// QUORLA_HOST_EMULATOR names a database then runs against that database.
void registerProvider();

} // namespace hostsim
