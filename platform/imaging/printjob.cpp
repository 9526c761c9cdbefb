#include "platform/imaging/printjob.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QStringList>
#include <QThread>

#include <cups/cups.h>

#include "platform/imaging/imagingerror.h"

namespace {
Q_LOGGING_CATEGORY(lcPrint, "quorla.print")
}

void failPrint(const QString &printer, const QString &what)
{
    qCInfo(lcPrint) << printer << what;
    raiseImagingError(ezErr::PrintFailed,
                      printer.isEmpty() ? what : QStringLiteral("printer %1: %2").arg(printer, what));
}

QString defaultPrinter()
{
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    const ipp_status_t status = cupsLastError();
    const QString error = QString::fromUtf8(cupsLastErrorString());
    QString name;
    if (const cups_dest_t *d = cupsGetDest(nullptr, nullptr, count, dests))
        name = QString::fromUtf8(d->name);
    cupsFreeDests(count, dests);
    if (!name.isEmpty())
        return name;
    if (count == 0 && status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE)
        failPrint(QString(), QStringLiteral("the print service does not answer (%1)").arg(error));
    if (count == 0)
        failPrint(QString(), QStringLiteral("no printer is set up on this computer (add one to the system's printers)"));
    failPrint(QString(), QStringLiteral("no printer is the default on this computer (choose one in Print Setup, "
                                        "or make one the default)"));
}

namespace {

// Longest wait for a job that neither ends nor waits behind another job.
constexpr int kFollowLimitMs = 60000;

struct Attributes {
    int state = 0;
    QString message;
    bool found = false;
};

// One IPP request for state and message attributes of a printer or a job.
Attributes ask(ipp_op_t op, const char *uriName, const QByteArray &uri, const char *stateName,
               const char *const messageNames[2])
{
    ipp_t *request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    const char *wanted[] = {stateName, messageNames[0], messageNames[1]};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    Attributes out;
    if (response && ippGetStatusCode(response) <= IPP_STATUS_OK_CONFLICTING) {
        out.found = true;
        if (ipp_attribute_t *a = ippFindAttribute(response, stateName, IPP_TAG_ENUM))
            out.state = ippGetInteger(a, 0);
        for (int i = 0; i < 2 && out.message.isEmpty(); ++i) {
            ipp_attribute_t *a = ippFindAttribute(response, messageNames[i], IPP_TAG_ZERO);
            for (int k = 0; a && k < ippGetCount(a); ++k) {
                const QString text = QString::fromUtf8(ippGetString(a, k, nullptr)).trimmed();
                if (!text.isEmpty() && text != u"none" && text != u"job-incoming")
                    out.message += (out.message.isEmpty() ? QString() : QStringLiteral(", ")) + text;
            }
        }
    }
    ippDelete(response);
    return out;
}

QByteArray resourceUri(const char *format, const QByteArray &arg)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), format,
                     arg.constData());
    return QByteArray(uri);
}

Attributes jobState(int id)
{
    static const char *const messages[2] = {"job-printer-state-message", "job-state-reasons"};
    return ask(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", resourceUri("/jobs/%s", QByteArray::number(id)), "job-state",
               messages);
}

Attributes printerState(const QString &printer)
{
    static const char *const messages[2] = {"printer-state-message", "printer-state-reasons"};
    return ask(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri", resourceUri("/printers/%s", printer.toUtf8()),
               "printer-state", messages);
}


// What the print system says about it, the first one's words first.
QString because(const Attributes &a, const Attributes &b)
{
    QStringList words;
    for (const QString &m : {a.message, b.message})
        if (!m.isEmpty() && !words.contains(m))
            words << m;
    return words.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(words.join(QStringLiteral(": ")));
}

// Follows the job until it is printed, fails, or waits behind another job.
void follow(const QString &printer, int id)
{
    struct WaitCursor {
        WaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
        ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    } cursor;
    QElapsedTimer waited;
    waited.start();
    int seen = -1;
    for (;;) {
        const Attributes job = jobState(id);
        const Attributes queue = printerState(printer);
        if (job.state * 10 + queue.state != seen) {
            seen = job.state * 10 + queue.state;
            qCDebug(lcPrint) << "job" << id << "state" << job.state << job.message << "printer" << queue.state
                             << queue.message;
        }
        switch (job.state) {
        case IPP_JSTATE_COMPLETED:
            return;
        case IPP_JSTATE_CANCELED:
            failPrint(printer, QStringLiteral("job %1 was cancelled%2").arg(id).arg(because(job, queue)));
        case IPP_JSTATE_ABORTED:
            failPrint(printer, QStringLiteral("job %1 was aborted%2").arg(id).arg(because(job, queue)));
        case IPP_JSTATE_STOPPED:
            failPrint(printer, QStringLiteral("job %1 stopped%2").arg(id).arg(because(job, queue)));
        default:
            break;
        }
        if (!job.found)
            failPrint(printer, QStringLiteral("job %1 is no longer known to the print system").arg(id));
        if (!queue.found)
            failPrint(printer, QStringLiteral("the printer was removed; job %1 is not printed").arg(id));
        if (queue.state == IPP_PSTATE_STOPPED)
            failPrint(printer, QStringLiteral("the printer is stopped%1; job %2 waits in its queue")
                              .arg(because(queue, job))
                              .arg(id));
        // Queued behind another job, or held: the print system keeps it.
        if (job.state == IPP_JSTATE_HELD
            || (job.state == IPP_JSTATE_PENDING && queue.state == IPP_PSTATE_PROCESSING))
            return;
        if (waited.elapsed() > kFollowLimitMs)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(50);
    }
}

} // namespace

int submitPrintJob(const QelPrintJob &job)
{
    if (!printerState(job.printer).found)
        failPrint(job.printer, QStringLiteral("the print system has no such printer"));
    cups_option_t *options = nullptr;
    int count = 0;
    count = cupsAddOption("copies", QByteArray::number(std::max(job.copies, 1)).constData(), count, &options);
    count = cupsAddOption("sides", job.duplex ? "two-sided-long-edge" : "one-sided", count, &options);
    const int id = cupsPrintFile2(CUPS_HTTP_DEFAULT, job.printer.toUtf8().constData(), job.file.toLocal8Bit().constData(),
                                  job.title.toUtf8().constData(), count, options);
    cupsFreeOptions(count, options);
    if (id == 0)
        failPrint(job.printer, QString::fromUtf8(cupsLastErrorString()));
    qCDebug(lcPrint) << "job" << id << "queued on" << job.printer;
    follow(job.printer, id);
    return id;
}
