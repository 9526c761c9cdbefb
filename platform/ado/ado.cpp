#include "platform/ado/ado.h"
#include "platform/ado/adoprovider.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMutex>
#include <QThread>
#include <QWindow>
#include <QRegularExpression>

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

Q_LOGGING_CATEGORY(lcAdo, "quorla.ado", QtInfoMsg)

struct AdoConnectionState {
    std::unique_ptr<AdoSession> session;
    QString connectionString;
};

namespace {
QMutex g_factoryLock;
AdoSessionFactory g_emulatorFactory;
// CLOCK_MONOTONIC milliseconds when the program was asked to end; 0 while it runs.
std::atomic<qint64> g_endingAt{0};
constexpr qint64 kEndingGraceMs = 5000;
// A wait was given up: the host fell silent. Once the program is ending it is not called again.
std::atomic<bool> g_hostFellSilent{false};

qint64 monotonicMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
}

void adoProgramEnding(bool ending)
{
    if (!ending) {
        g_endingAt = 0;
        g_hostFellSilent = false;
    }
    else if (g_endingAt == 0)
        g_endingAt = monotonicMs();
}

namespace {
// What the operator sees while the caller waits on the host: the wait cursor, and the windows
// painted again as they are. Nothing else of the program runs meanwhile: no input, no timers, no
// queued work (an event handled here could start a second road in the middle of the first).
// Only on the thread of a graphical application; a worker thread or a tool waits plainly.
class HostWait {
public:
    HostWait()
        : m_gui(qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                && QThread::currentThread() == QCoreApplication::instance()->thread())
    {
    }
    HostWait(const HostWait &) = delete;
    HostWait &operator=(const HostWait &) = delete;
    ~HostWait()
    {
        if (m_cursor)
            QGuiApplication::restoreOverrideCursor();
    }
    // Called while the call has not answered yet.
    void waiting()
    {
        if (!m_gui)
            return;
        if (!m_cursor) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            m_cursor = true;
        }
        // A window's update request paints it at once from its widgets (exposed parts included).
        for (QWindow *window : QGuiApplication::topLevelWindows()) {
            if (!window->isExposed())
                continue;
            QEvent paint(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(window, &paint);
        }
    }

private:
    const bool m_gui;
    bool m_cursor = false;
};
} // namespace

void adoRunBlocking(const std::function<void()> &call, int limitSeconds)
{
    struct Shared {
        std::mutex lock;
        std::condition_variable finished;
        bool done = false;
        std::exception_ptr error;
    };
    if (g_endingAt != 0 && g_hostFellSilent) {
        qCDebug(lcAdo) << "a host call is not made: the host fell silent and the program is ending";
        throw VbError(adoErr::Timeout, QStringLiteral("The host did not answer, and the program is ending."),
                      adoGivenUpSource);
    }
    auto shared = std::make_shared<Shared>();
    std::thread([shared, call] {
        std::exception_ptr error;
        try {
            call();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> hold(shared->lock);
        shared->error = error;
        shared->done = true;
        shared->finished.notify_all();
    }).detach();
    const qint64 startedAt = monotonicMs();
    HostWait wait;
    std::unique_lock<std::mutex> hold(shared->lock);
    while (!shared->finished.wait_for(hold, std::chrono::milliseconds(100), [&] { return shared->done; })) {
        const qint64 endingAt = g_endingAt;
        if (endingAt != 0 && monotonicMs() - endingAt >= kEndingGraceMs) {
            qCDebug(lcAdo) << "a blocked host call is given up: the program is ending";
            g_hostFellSilent = true;
            throw VbError(adoErr::Timeout, QStringLiteral("The host did not answer, and the program is ending."),
                          adoGivenUpSource);
        }
        if (limitSeconds > 0 && monotonicMs() - startedAt >= qint64(limitSeconds) * 1000) {
            qCDebug(lcAdo) << "a blocked host call is given up after" << limitSeconds << "seconds";
            g_hostFellSilent = true;
            throw VbError(adoErr::Timeout, QStringLiteral("The host did not answer within %1 seconds.").arg(limitSeconds),
                          adoGivenUpSource);
        }
        hold.unlock();
        wait.waiting();
        hold.lock();
    }
    g_hostFellSilent = false; // it answered
    if (shared->error)
        std::rethrow_exception(shared->error);
}

VbError adoError(int number)
{
    switch (number) {
    case adoErr::ItemNotFound:
        return vbError(number);
    case adoErr::ObjectClosed:
        return VbError(number, QStringLiteral("Operation is not allowed when the object is closed."));
    case adoErr::ObjectOpen:
        return VbError(number, QStringLiteral("Operation is not allowed when the object is open."));
    case adoErr::ProviderNotFound:
        return VbError(number, QStringLiteral("Provider cannot be found. It may not be properly installed."));
    case adoErr::ConnectionInvalid:
        return VbError(number, QStringLiteral("The connection cannot be used to perform this operation. "
                                              "It is either closed or invalid in this context."));
    case adoErr::NoCurrentRecord:
        return VbError(number, QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                              "deleted. Requested operation requires a current record."));
    case adoErr::MultipleStepErrors:
        return VbError(number, QStringLiteral("Multiple-step OLE DB operation generated errors. Check each "
                                              "OLE DB status value, if available. No work was done."));
    case adoErr::Timeout:
        return VbError(number, QStringLiteral("Query timeout expired"));
    default:
        return VbError(number, QStringLiteral("Unspecified error"));
    }
}

void adoSetEmulatorFactory(AdoSessionFactory factory)
{
    QMutexLocker lock(&g_factoryLock);
    g_emulatorFactory = std::move(factory);
}

bool adoHasEmulatorFactory()
{
    QMutexLocker lock(&g_factoryLock);
    return bool(g_emulatorFactory);
}

QString adoProgramCall(const QString &program, int markers)
{
    QStringList q;
    for (int i = 0; i < markers; ++i)
        q << QStringLiteral("?");
    return QStringLiteral("{{CALL /QSYS.LIB/") + QStringLiteral("*LIBL") + QStringLiteral(".LIB/") + program
           + QStringLiteral(".PGM(") + q.join(u',') + QStringLiteral(")}}");
}

AdoProgramCallText adoParseProgramCall(const QString &text)
{
    static const QRegularExpression call(
        QStringLiteral(R"(^\s*\{\{CALL\s+/QSYS\.LIB/\*LIBL\.LIB/([A-Za-z0-9_#@$]+)\.PGM\((\s*\?(?:\s*,\s*\?)*\s*)?\)\}\}\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = call.match(text);
    if (!m.hasMatch())
        return {};
    return {m.captured(1), int(m.captured(2).count(u'?'))};
}

int adoCharCount(const QString &text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        ++n;
    }
    return n;
}

void adoCheckValues(const AdoParameters &params, int bound)
{
    for (int i = 0; i < bound && i < params.count(); ++i) {
        const AdoParameter &p = params.item(i);
        const QString value = p.text();
        const QString name = p.name().isEmpty() ? QString::number(i + 1) : p.name();
        if (value.contains(QChar(u'\0')))
            throw VbError(adoErr::MultipleStepErrors,
                          QStringLiteral("The value of parameter %1 holds a NUL character, which cannot be sent.")
                              .arg(name));
        const int length = adoCharCount(value);
        if (p.size() > 0 && length > p.size())
            throw VbError(adoErr::MultipleStepErrors,
                          QStringLiteral("The value of parameter %1 is %2 characters long; the parameter takes at "
                                         "most %3.")
                              .arg(name)
                              .arg(length)
                              .arg(p.size()));
    }
}

int adoCountMarkers(const QString &text)
{
    int n = 0;
    QChar quote;
    for (QChar c : text) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?') {
            ++n;
        }
    }
    return n;
}

QString adoConnectionItem(const QString &connectionString, const QString &key)
{
    const QStringList items = connectionString.split(u';');
    for (const QString &item : items) {
        const qsizetype eq = item.indexOf(u'=');
        if (eq < 0)
            continue;
        if (item.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return item.mid(eq + 1).trimmed();
    }
    return QString();
}

QString adoMaskedConnectionString(const QString &connectionString)
{
    QStringList items = connectionString.split(u';');
    for (QString &item : items) {
        const qsizetype eq = item.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = item.left(eq).trimmed();
        if (key.compare(u"pwd", Qt::CaseInsensitive) == 0 || key.compare(u"password", Qt::CaseInsensitive) == 0)
            item = item.left(eq + 1) + QStringLiteral("****");
    }
    return items.join(u';');
}

// ---- parameters ----

int AdoParameters::indexOf(const QString &name) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].name().compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

AdoParameter &AdoParameters::item(int index)
{
    if (index < 0 || index >= count())
        throw adoError(adoErr::ItemNotFound);
    return m_items[size_t(index)];
}

const AdoParameter &AdoParameters::item(int index) const
{
    return const_cast<AdoParameters *>(this)->item(index);
}

AdoParameter &AdoParameters::item(const QString &name)
{
    const int i = indexOf(name);
    if (i < 0)
        throw adoError(adoErr::ItemNotFound);
    return m_items[size_t(i)];
}

const AdoParameter &AdoParameters::item(const QString &name) const
{
    return const_cast<AdoParameters *>(this)->item(name);
}

// ---- recordset ----

AdoRecordset::AdoRecordset(std::shared_ptr<const AdoRowSet> rows)
    : m_rows(std::move(rows)), m_open(m_rows && !m_rows->names.isEmpty())
{
}

void AdoRecordset::requireOpen() const
{
    if (!m_open)
        throw adoError(adoErr::ObjectClosed);
}

void AdoRecordset::requireCurrent() const
{
    requireOpen();
    if (m_pos < 0 || m_pos >= m_rows->rows.size())
        throw adoError(adoErr::NoCurrentRecord);
}

bool AdoRecordset::eof() const
{
    requireOpen();
    return m_pos >= m_rows->rows.size();
}

bool AdoRecordset::bof() const
{
    requireOpen();
    return m_rows->rows.isEmpty() || m_pos < 0;
}

void AdoRecordset::moveNext()
{
    requireCurrent();
    ++m_pos;
}

void AdoRecordset::moveFirst()
{
    requireOpen();
    m_pos = 0;
}

int AdoRecordset::fieldCount() const
{
    requireOpen();
    return int(m_rows->names.size());
}

int AdoRecordset::recordCount() const
{
    requireOpen();
    return int(m_rows->rows.size());
}

AdoField AdoRecordset::field(int index) const
{
    requireOpen();
    if (index < 0 || index >= m_rows->names.size())
        throw adoError(adoErr::ItemNotFound);
    requireCurrent();
    const QVariantList &row = m_rows->rows[m_pos];
    return AdoField{m_rows->names[index], index < row.size() ? row[index] : QVariant()};
}

AdoField AdoRecordset::field(const QString &name) const
{
    requireOpen();
    for (int i = 0; i < m_rows->names.size(); ++i)
        if (m_rows->names[i].compare(name, Qt::CaseInsensitive) == 0)
            return field(i);
    throw adoError(adoErr::ItemNotFound);
}

void AdoRecordset::close()
{
    requireOpen();
    m_open = false;
    m_rows.reset();
    m_pos = 0;
}

// ---- connection ----

AdoConnection::AdoConnection() : m_state(std::make_shared<AdoConnectionState>()) {}

AdoConnection::~AdoConnection()
{
    m_state->session.reset();
}

void AdoConnection::open(const QString &connectionString, const QString &userId, const QString &password,
                         int options)
{
    Q_UNUSED(options); // every open is synchronous
    if (m_state->session)
        throw adoError(adoErr::ObjectOpen);
    const QByteArray emulator = qgetenv("QUORLA_HOST_EMULATOR");
    qCDebug(lcAdo) << "open" << adoMaskedConnectionString(connectionString) << "user" << userId
                   << (emulator.isEmpty() ? "odbc" : "emulator");
    std::unique_ptr<AdoSession> session;
    if (!emulator.isEmpty()) {
        AdoSessionFactory factory;
        {
            QMutexLocker lock(&g_factoryLock);
            factory = g_emulatorFactory;
        }
        if (!factory)
            throw adoError(adoErr::ProviderNotFound);
        session = factory(connectionString, userId, password);
    } else {
        session = adoOpenOdbc(connectionString, userId, password);
    }
    if (!session)
        throw adoError(adoErr::ProviderFailed);
    m_state->session = std::move(session);
    m_state->connectionString = connectionString;
}

void AdoConnection::close()
{
    if (!m_state->session)
        throw adoError(adoErr::ObjectClosed);
    m_state->session.reset();
}

int AdoConnection::state() const
{
    return m_state->session ? adStateOpen : adStateClosed;
}

QString AdoConnection::connectionString() const
{
    return m_state->connectionString;
}

// ---- command ----

AdoCommand::AdoCommand() = default;
AdoCommand::~AdoCommand() = default;

void AdoCommand::setActiveConnection(AdoConnection &connection)
{
    m_conn = connection.shared();
}

AdoParameter AdoCommand::createParameter(const QString &name, int type, int direction, int size,
                                         const QVariant &value) const
{
    return AdoParameter(name, type, direction, size, value);
}

AdoRecordset AdoCommand::execute()
{
    if (!m_conn || !m_conn->session)
        throw adoError(adoErr::ConnectionInvalid);
    qCDebug(lcAdo) << "execute" << m_text << "parameters" << m_params.count() << "timeout" << m_timeout;
    AdoCommandRequest req{m_text, m_timeout, m_prepared};
    auto rows = std::make_shared<AdoRowSet>(m_conn->session->execute(req, m_params));
    return AdoRecordset(std::move(rows));
}
