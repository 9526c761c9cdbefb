#pragma once
#include "platform/vb/vberror.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <memory>

// The data-access objects: connection, command, parameters and recordset.
// Every failure is raised as VbError with the provider's (or the objects' own) number and text.

enum AdoDataType {
    adEmpty = 0,
    adInteger = 3,
    adChar = 129,
    adVarChar = 200,
};

enum AdoParameterDirection {
    adParamUnknown = 0,
    adParamInput = 1,
    adParamOutput = 2,
    adParamInputOutput = 3,
    adParamReturnValue = 4,
};

enum AdoObjectState {
    adStateClosed = 0,
    adStateOpen = 1,
};

constexpr int adOptionUnspecified = -1;

namespace adoErr {
constexpr int ItemNotFound = 3265;        // no item of that name or ordinal
constexpr int ObjectClosed = 3704;        // operation not allowed when the object is closed
constexpr int ObjectOpen = 3705;          // operation not allowed when the object is open
constexpr int ProviderNotFound = 3706;    // provider cannot be found
constexpr int ConnectionInvalid = 3709;   // the connection cannot be used
constexpr int NoCurrentRecord = 3021;     // BOF or EOF is True
constexpr int ProviderFailed = -2147467259;    // unspecified provider error (E_FAIL)
constexpr int MultipleStepErrors = -2147217887; // a parameter value the provider refused
constexpr int Timeout = -2147217871;           // query timeout expired
}

// The standard description of one of the numbers above.
VbError adoError(int number);

// Seconds a connection waits for the host to answer its open (the login and connection timeout).
constexpr int adoConnectionTimeout = 15;

// Marks that the program has been asked to end (safe in a signal handler): a host call still
// blocked 5 seconds later is then given up with a timeout error, so the program can end.
// false clears the mark.
void adoProgramEnding(bool ending = true);

// The statement text of a host program call, "{{CALL /QSYS.LIB/*LIBL.LIB/<program>.PGM(?,...)}}",
// with one marker per parameter; the host resolves the program through the job's library list.
QString adoProgramCall(const QString &program, int markers);

class AdoParameter {
public:
    AdoParameter() = default;
    AdoParameter(QString name, int type, int direction, int size, QVariant value = QVariant())
        : m_name(std::move(name)), m_type(type), m_direction(direction), m_size(size), m_value(std::move(value)) {}

    const QString &name() const { return m_name; }
    int type() const { return m_type; }
    int direction() const { return m_direction; }
    int size() const { return m_size; }

    // A value never set is unset (an invalid QVariant), which differs from "".
    const QVariant &value() const { return m_value; }
    bool isUnset() const { return !m_value.isValid(); }
    void setValue(const QVariant &v) { m_value = v; }
    void setValue(const QString &v) { m_value = QVariant(v); }
    void setValue(const char *v) { m_value = QVariant(QString::fromUtf8(v)); }
    void clearValue() { m_value = QVariant(); }
    // The value as text: "" when unset.
    QString text() const { return m_value.isValid() ? m_value.toString() : QString(); }

private:
    QString m_name;
    int m_type = adEmpty;
    int m_direction = adParamInput;
    int m_size = 0;
    QVariant m_value;
};

class AdoParameters {
public:
    void append(const AdoParameter &p) { m_items.push_back(p); }
    int count() const { return int(m_items.size()); }
    // By ordinal from 0, or by name without regard to case; a miss raises 3265.
    AdoParameter &item(int index);
    AdoParameter &item(const QString &name);
    const AdoParameter &item(int index) const;
    const AdoParameter &item(const QString &name) const;
    AdoParameter &operator[](int index) { return item(index); }
    AdoParameter &operator[](const QString &name) { return item(name); }
    AdoParameter &operator[](const char *name) { return item(QString::fromUtf8(name)); }
    int indexOf(const QString &name) const; // -1 when missing
    void clear() { m_items.clear(); }

private:
    std::deque<AdoParameter> m_items; // references stay valid across append
};

struct AdoField {
    QString name;
    QVariant value;
};

struct AdoRowSet {
    QStringList names;
    QList<QVariantList> rows;
};

class AdoRecordset {
public:
    AdoRecordset() = default;
    explicit AdoRecordset(std::shared_ptr<const AdoRowSet> rows);

    int state() const { return m_open ? adStateOpen : adStateClosed; }
    bool eof() const;
    bool bof() const;
    void moveNext();
    void moveFirst();
    int fieldCount() const;
    AdoField field(int index) const;
    AdoField field(const QString &name) const;
    QVariant fields(int index) const { return field(index).value; }
    QVariant fields(const QString &name) const { return field(name).value; }
    int recordCount() const;
    void close();

private:
    void requireOpen() const;
    void requireCurrent() const;

    std::shared_ptr<const AdoRowSet> m_rows;
    int m_pos = 0;
    bool m_open = false;
};

class AdoSession;
struct AdoConnectionState;

class AdoConnection {
public:
    AdoConnection();
    ~AdoConnection(); // closes an open connection
    AdoConnection(const AdoConnection &) = delete;
    AdoConnection &operator=(const AdoConnection &) = delete;

    // Routes to the emulator when QUORLA_HOST_EMULATOR names a database, else to ODBC.
    void open(const QString &connectionString, const QString &userId = QString(),
              const QString &password = QString(), int options = adOptionUnspecified);
    void close();
    int state() const;
    QString connectionString() const;

    std::shared_ptr<AdoConnectionState> shared() const { return m_state; }

private:
    std::shared_ptr<AdoConnectionState> m_state;
};

class AdoCommand {
public:
    AdoCommand();
    ~AdoCommand();

    void setActiveConnection(AdoConnection &connection);
    void setCommandText(const QString &text) { m_text = text; }
    QString commandText() const { return m_text; }
    void setCommandTimeout(int seconds) { m_timeout = seconds; }
    int commandTimeout() const { return m_timeout; }
    void setPrepared(bool prepared) { m_prepared = prepared; }
    bool prepared() const { return m_prepared; }

    AdoParameters &parameters() { return m_params; }
    const AdoParameters &parameters() const { return m_params; }
    AdoParameter createParameter(const QString &name = QString(), int type = adEmpty,
                                 int direction = adParamInput, int size = 0,
                                 const QVariant &value = QVariant()) const;

    // Runs the command text on the active connection; the bound parameters take the answer.
    AdoRecordset execute();

private:
    std::shared_ptr<AdoConnectionState> m_conn;
    QString m_text;
    int m_timeout = 30;
    bool m_prepared = false;
    AdoParameters m_params;
};
