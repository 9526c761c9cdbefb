#pragma once
#include "platform/ado/ado.h"

#include <functional>
#include <memory>

// What a provider implements: one open session per connection.

struct AdoCommandRequest {
    QString text;
    int timeoutSeconds = 30;
    bool prepared = false;
};

class AdoSession {
public:
    virtual ~AdoSession() = default;
    // Runs one command. A provider binds the parameters by position, one per "?" marker,
    // and writes the answer of every bound input-output or output parameter back into it;
    // parameters beyond the markers keep their values. Rows, if any, come back as a row set
    // (an empty names list means no recordset).
    virtual AdoRowSet execute(const AdoCommandRequest &request, AdoParameters &params) = 0;
};

using AdoSessionFactory = std::function<std::unique_ptr<AdoSession>(
    const QString &connectionString, const QString &userId, const QString &password)>;

// The emulator's hook: hostsim fills it, so this layer never links the emulator.
// Passing an empty function removes it.
void adoSetEmulatorFactory(AdoSessionFactory factory);
bool adoHasEmulatorFactory();

// The ODBC provider (unixODBC): DSN, UID and PWD taken from the connection.
std::unique_ptr<AdoSession> adoOpenOdbc(const QString &connectionString, const QString &userId,
                                        const QString &password);

// The program and the number of markers of a host program call text (as built by
// adoProgramCall); program is empty when the text is no such call.
struct AdoProgramCallText {
    QString program;
    int markers = 0;
};
AdoProgramCallText adoParseProgramCall(const QString &text);

// The statement the ODBC driver is given: a host program call becomes the call escape
// "{CALL <PGM>(?,...)}" with the same markers, so the host resolves the program through the
// job's library list. Any other text passes unchanged.
QString adoOdbcStatement(const QString &text);

// Runs a blocking driver call on a worker thread while the caller waits, and hands back its
// error. The wait is given up with a timeout error after limitSeconds (none when 0 or less), and
// 5 seconds after the program was asked to end (adoProgramEnding); the call then runs on alone, so
// everything it uses must be owned by the function. Once the program is ending, a call after one
// that was given up (the host fell silent) is refused at once. A graphical program's windows show the wait
// cursor and are kept painted while it waits; nothing else of the program runs.
void adoRunBlocking(const std::function<void()> &call, int limitSeconds);
// The source of the error of a wait given up (the call may still hold what it uses).
inline const QString adoGivenUpSource = QStringLiteral("ADO wait");

// Refuses a bound value (the first `bound` parameters) longer than its parameter's width in
// characters, or holding a NUL character, which a driver would cut off.
void adoCheckValues(const AdoParameters &params, int bound);

// Characters of a text (code points, as the host counts them).
int adoCharCount(const QString &text);

// Number of "?" markers outside quoted literals.
int adoCountMarkers(const QString &text);

// The value of one "key=value" item of a connection string (case-insensitive key), or "".
QString adoConnectionItem(const QString &connectionString, const QString &key);

// The connection string with any password item masked, for log lines.
QString adoMaskedConnectionString(const QString &connectionString);
