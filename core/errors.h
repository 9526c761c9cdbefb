#pragma once
// The error report every trapped procedure ends in, and the audit log it (and every trace line)
// writes to under "/debug".
#include <QString>
#include <functional>
#include <vector>

#include "platform/vb/vberror.h"

// For tests: while one lives, the first Trap made after it records every line it passes (the
// traps of the procedures that one calls are not recorded).
class TrapLog {
public:
    TrapLog();
    ~TrapLog();
    TrapLog(const TrapLog &) = delete;
    TrapLog &operator=(const TrapLog &) = delete;
    std::vector<int> lines;
    // The open log not yet claimed by a trap, claimed now; null otherwise.
    static std::vector<int> *claim();
};

// The line a procedure has reached: advance it at the procedure's checkpoints, read it in the
// handler. A procedure that never advances it reports line 0.
struct Trap {
    int line = 0;
    std::vector<int> *log = TrapLog::claim();
    void operator()(int reached)
    {
        line = reached;
        if (log)
            log->push_back(reached);
    }
};

// Runs one numbered step of a procedure: a step that trips over a missing object (91) is
// skipped; any other error goes on to the procedure's handler.
template <class F> void runStep(Trap &trap, int line, F &&fn)
{
    trap(line);
    try {
        fn();
    } catch (const VbError &e) {
        if (e.number != vbErr::ObjectVariableNotSet)
            throw;
    }
}

// Log levels of the audit log.
constexpr int LOG_ERROR = 4;
constexpr int LOG_TRACE = 6;

// Critical box "Error in <procedure> at line <line>" + CRLF + "<number>: <description>"; under
// "/debug" also the full report (state dump) to the audit log at level 4. Never throws.
void throwError(const QString &procedure, int line, int number, const QString &description);
void throwError(const QString &procedure, const Trap &trap, const VbError &e);
// For use inside a catch block: the exception being handled as an error (a VbError as it is;
// anything else as error 51 with its message).
VbError currentError();
// For use inside a catch block: reports currentError().
void reportCurrentError(const QString &procedure, const Trap &trap);

// For use inside a catch block of a road on the imaging controls: an object that has
// disconnected from its clients (0x80010108) ends the program after a critical box; anything
// else is reported as reportCurrentError does.
void reportRoadFailure(const QString &procedure, const Trap &trap);

// The report text throwError writes (without the log prefix); `now` is the time-stamp text.
QString errorReportText(const QString &procedure, int line, int number, const QString &description,
                        const QString &now);

// The scan-state text (comma-separated) comes from the scanner session, read only while a
// scanner is connected; tests may replace the source. A failing read leaves it out.
void setScanStateSource(std::function<QString()> source);

// One audit-log entry, written only while g_blnDebug is set and the log exists. Never throws.
void LogEntry(const QString &text, int level);
// A trace line (the full text, prefix included) at level 6 under "/debug".
void traceLine(const QString &text);

// Creates the audit log in g_AuditLog (in the Logs folder of the system layer) and writes its
// first entry; false on any failure.
bool startAuditLog();

// The program's title: the settings application name and the audit log's application name.
inline const QString APP_TITLE = QStringLiteral("Korvane Scanning Utility");
