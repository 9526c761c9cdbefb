#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <vector>

// The host programs as functions over fixed-width buffers (internal to the emulator).
namespace hostsim {

struct HostField {
    const char *name;
    int width;
};

// One call as a host program sees it: a buffer per position of its own parameter list,
// filled from what the client sent; only the first `bound` positions were passed.
class ProgramCall {
public:
    ProgramCall(QSqlDatabase db, QString dataSource, QString userId, QVector<HostField> fields, int bound);

    int index(const char *name) const;
    bool passed(const char *name) const;
    QString raw(const char *name) const;  // fixed width; blanks when not passed
    QString get(const char *name) const;  // trimmed
    void set(const char *name, const QString &value); // written only when passed
    const QString &buffer(int i) const { return m_buf[i]; }
    void setBuffer(int i, const QString &value);

    // Work outside the database that goes with the call's transaction (file moves): undone,
    // last first, when the transaction rolls back; finished when it commits.
    std::vector<std::function<void()>> onRollback;
    std::vector<std::function<void()>> onCommit;

    QSqlDatabase db;
    QString dataSource;
    QString userId;
    QVector<HostField> fields;
    int bound = 0;

private:
    QVector<QString> m_buf;
};

using ProgramFn = std::function<void(ProgramCall &)>;

struct ProgramDef {
    QVector<HostField> fields;
    ProgramFn run;
};

// The program's definition for a call with these client widths (forms differ by layout);
// nullptr for an unknown program.
const ProgramDef *findProgram(const QString &name, const QVector<int> &clientWidths);

// Schema of the emulator database.
QStringList schemaStatements();

QString padTo(const QString &s, int width);

} // namespace hostsim
