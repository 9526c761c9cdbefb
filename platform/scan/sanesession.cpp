#include "platform/scan/sanesession.h"

#include "platform/scan/pageassembler.h"
#include "platform/scan/scanlog.h"
#include "platform/vb/vberror.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <dlfcn.h>
#include <exception>
#include <pthread.h>
#include <csignal>
#include <unistd.h>
#include <sane/sane.h>
#include <sane/saneopts.h>

// Backends run their reader as a thread that asks for asynchronous cancellation, and end every
// scan by cancelling it. Cancelled inside malloc or free, the reader leaves the heap's lock held
// and the next allocation (its own exit, or the program's) waits for ever. Every thread of this
// program is cancelled only at cancellation points: the reader then stops in its pipe write or
// ends on its own. The executable exports this definition, so the backends bind to it.
extern "C" int pthread_setcanceltype(int type, int *oldtype)
{
    using Fn = int (*)(int, int *);
    static const Fn next = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_setcanceltype"));
    if (type != PTHREAD_CANCEL_DEFERRED && type != PTHREAD_CANCEL_ASYNCHRONOUS)
        return EINVAL;
    return next(PTHREAD_CANCEL_DEFERRED, oldtype);
}

// A backend's reader thread may set SIGTERM or SIGINT back to its default for the whole process
// (as if it ran in a child process of its own: SANE's test backend does). Until the worker puts
// the program's handler back, such a signal would end the program at once and keep nothing. The
// executable exports this definition too: a change of those two made by any thread but the
// main one is not made (the program sets them on its main thread only).
extern "C" int sigaction(int sig, const struct sigaction *act, struct sigaction *old)
{
    using Fn = int (*)(int, const struct sigaction *, struct sigaction *);
    static const Fn next = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "sigaction"));
    if (act && (sig == SIGTERM || sig == SIGINT) && ::gettid() != ::getpid())
        return next(sig, nullptr, old);
    return next(sig, act, old);
}

namespace {

constexpr double kMmPerInch = 25.4;

VbError statusError(SANE_Status st)
{
    const QString text = QString::fromUtf8(sane_strstatus(st));
    switch (st) {
    case SANE_STATUS_NO_DOCS: return VbError(scanErr::NoPaper, text);
    case SANE_STATUS_JAMMED: return VbError(scanErr::PaperJam, text);
    case SANE_STATUS_COVER_OPEN: return VbError(scanErr::CoverOpen, text);
    default: return VbError(scanErr::DeviceFailure, text);
    }
}

QString versionText(SANE_Int v)
{
    return QStringLiteral("%1.%2.%3").arg(SANE_VERSION_MAJOR(v)).arg(SANE_VERSION_MINOR(v)).arg(SANE_VERSION_BUILD(v));
}

// The first entry of a string list matching the pattern (and not the other one, when given).
QString pickString(const QStringList &list, const char *want, const char *notWant = nullptr)
{
    const QRegularExpression re(QLatin1String(want), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression no(notWant ? QLatin1String(notWant) : QLatin1String("$^"),
                                QRegularExpression::CaseInsensitiveOption);
    for (const QString &s : list) {
        if (re.match(s).hasMatch() && !(notWant && no.match(s).hasMatch()))
            return s;
    }
    return QString();
}

} // namespace

// Lives on the worker thread; owns the SANE library state and the open handle.
class SaneWorker : public QObject {
public:
    SaneWorker() = default;
    ~SaneWorker() override { shutdown(); }

    void init()
    {
        SANE_Int version = 0;
        const SANE_Status st = sane_init(&version, nullptr);
        m_initStatus = st;
        m_version = versionText(version);
        qCDebug(lcScan) << "sane_init" << sane_strstatus(st) << m_version;
    }

    void shutdown()
    {
        closeHandle();
        if (m_initStatus == SANE_STATUS_GOOD) {
            sane_exit();
            m_initStatus = SANE_STATUS_INVAL;
        }
    }

    QStringList devices()
    {
        requireInit();
        const SANE_Device **list = nullptr;
        const SANE_Status st = sane_get_devices(&list, SANE_FALSE);
        qCDebug(lcScan) << "sane_get_devices" << sane_strstatus(st);
        if (st != SANE_STATUS_GOOD)
            throw statusError(st);
        QStringList out;
        m_known.clear();
        for (int i = 0; list && list[i]; ++i) {
            const QString name = QString::fromUtf8(list[i]->name);
            out << name;
            m_known.insert(name, {QString::fromUtf8(list[i]->vendor), QString::fromUtf8(list[i]->model)});
        }
        return out;
    }

    DeviceInfo open(const QString &name)
    {
        requireInit();
        closeHandle();
        if (!m_known.contains(name))
            devices();
        SANE_Handle h = nullptr;
        const SANE_Status st = sane_open(name.toUtf8().constData(), &h);
        qCDebug(lcScan) << "sane_open" << name << sane_strstatus(st);
        if (st != SANE_STATUS_GOOD)
            throw VbError(scanErr::NoScanner, QString::fromUtf8(sane_strstatus(st)));
        m_handle = h;
        reloadOptions();
        return describe(name);
    }

    void closeHandle()
    {
        if (m_handle) {
            sane_close(m_handle);
            qCDebug(lcScan) << "sane_close";
            m_handle = nullptr;
        }
        m_index.clear();
    }

    void queueOption(const QString &option, const QString &value)
    {
        QMutexLocker lock(&m_pendingLock);
        m_pending.insert(option, value);
    }

    using Deliver = std::function<void(ScannedPage)>;
    int scan(const ScanJob &job, const Deliver &deliver);

    std::atomic<bool> cancel{false};

private:
    void requireInit()
    {
        if (m_initStatus != SANE_STATUS_GOOD)
            throw VbError(scanErr::NoScanner, QString::fromUtf8(sane_strstatus(m_initStatus)));
    }

    void reloadOptions()
    {
        m_index.clear();
        SANE_Int count = 0;
        if (sane_control_option(m_handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
            return;
        for (SANE_Int i = 1; i < count; ++i) {
            const SANE_Option_Descriptor *d = sane_get_option_descriptor(m_handle, i);
            if (d && d->name && *d->name)
                m_index.insert(QString::fromUtf8(d->name), i);
        }
    }

    const SANE_Option_Descriptor *descriptor(const QString &name, int *index) const
    {
        const auto it = m_index.constFind(name);
        if (it == m_index.constEnd())
            return nullptr;
        const SANE_Option_Descriptor *d = sane_get_option_descriptor(m_handle, it.value());
        if (!d || !SANE_OPTION_IS_ACTIVE(d->cap))
            return nullptr;
        *index = it.value();
        return d;
    }

    QStringList stringList(const SANE_Option_Descriptor *d) const
    {
        QStringList out;
        if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
            for (int i = 0; d->constraint.string_list[i]; ++i)
                out << QString::fromUtf8(d->constraint.string_list[i]);
        }
        return out;
    }

    QList<double> wordList(const SANE_Option_Descriptor *d) const
    {
        QList<double> out;
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            const SANE_Word *w = d->constraint.word_list;
            for (int i = 1; i <= w[0]; ++i)
                out << (d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w[i]) : double(w[i]));
        }
        return out;
    }

    bool range(const SANE_Option_Descriptor *d, double *lo, double *hi) const
    {
        if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
            const SANE_Range *r = d->constraint.range;
            *lo = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->min) : r->min;
            *hi = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->max) : r->max;
            return true;
        }
        const QList<double> w = wordList(d);
        if (w.isEmpty())
            return false;
        *lo = *std::min_element(w.begin(), w.end());
        *hi = *std::max_element(w.begin(), w.end());
        return true;
    }

    // The option's value as text: numbers in decimal, booleans 1/0; empty when unreadable.
    QString optionText(const QString &name) const
    {
        int i = 0;
        const SANE_Option_Descriptor *d = descriptor(name, &i);
        if (!d || !(d->cap & SANE_CAP_SOFT_DETECT) || d->size <= 0)
            return QString();
        QByteArray buf(d->size + 1, '\0');
        if (sane_control_option(m_handle, i, SANE_ACTION_GET_VALUE, buf.data(), nullptr) != SANE_STATUS_GOOD)
            return QString();
        SANE_Word w = 0;
        switch (d->type) {
        case SANE_TYPE_BOOL:
        case SANE_TYPE_INT:
            std::memcpy(&w, buf.constData(), sizeof w);
            return QString::number(w);
        case SANE_TYPE_FIXED:
            std::memcpy(&w, buf.constData(), sizeof w);
            return QString::number(SANE_UNFIX(w), 'g', 10);
        case SANE_TYPE_STRING:
            return QString::fromUtf8(buf.constData());
        default:
            return QString();
        }
    }

    double optionNumber(const QString &name, double fallback) const
    {
        bool ok = false;
        const double v = optionText(name).toDouble(&ok);
        return ok ? v : fallback;
    }

    // Writes an option from text; inactive or unknown options are passed over. The value the
    // device takes may differ (it rounds): the options are reloaded when it says so.
    bool setOption(const QString &name, const QString &text)
    {
        int i = 0;
        const SANE_Option_Descriptor *d = descriptor(name, &i);
        if (!d || !SANE_OPTION_IS_SETTABLE(d->cap)) {
            qCDebug(lcScan) << "option not settable" << name;
            return false;
        }
        QByteArray buf(std::max<int>(d->size, int(sizeof(SANE_Word))) + 1, '\0');
        bool ok = true;
        SANE_Word w = 0;
        switch (d->type) {
        case SANE_TYPE_BOOL: {
            const QString t = text.trimmed().toLower();
            w = (t == QLatin1String("1") || t == QLatin1String("yes") || t == QLatin1String("true")) ? SANE_TRUE : SANE_FALSE;
            std::memcpy(buf.data(), &w, sizeof w);
            break;
        }
        case SANE_TYPE_INT:
            w = SANE_Word(std::lround(text.toDouble(&ok)));
            std::memcpy(buf.data(), &w, sizeof w);
            break;
        case SANE_TYPE_FIXED:
            w = SANE_FIX(text.toDouble(&ok));
            std::memcpy(buf.data(), &w, sizeof w);
            break;
        case SANE_TYPE_STRING: {
            QString value = text;
            for (const QString &s : stringList(d)) {
                if (s.compare(text, Qt::CaseInsensitive) == 0)
                    value = s;
            }
            const QByteArray u = value.toUtf8();
            if (u.size() >= d->size)
                return false;
            std::memcpy(buf.data(), u.constData(), u.size());
            break;
        }
        default:
            return false;
        }
        if (!ok)
            return false;
        // A value the device already holds is not written again (some devices reset state,
        // such as the feeder, on every write).
        const QString current = optionText(name);
        if (!current.isNull()) {
            bool same = false;
            if (d->type == SANE_TYPE_STRING)
                same = current == QString::fromUtf8(buf.constData());
            else if (d->type == SANE_TYPE_FIXED)
                same = SANE_FIX(current.toDouble()) == w;
            else
                same = current.toLongLong() == w;
            if (same)
                return true;
        }
        SANE_Int info = 0;
        const SANE_Status st = sane_control_option(m_handle, i, SANE_ACTION_SET_VALUE, buf.data(), &info);
        qCDebug(lcScan) << "sane_control_option set" << name << text << sane_strstatus(st) << info;
        if (info & SANE_INFO_RELOAD_OPTIONS)
            reloadOptions();
        return st == SANE_STATUS_GOOD;
    }

    double toInches(const QString &name, double v) const
    {
        int i = 0;
        const SANE_Option_Descriptor *d = descriptor(name, &i);
        if (d && d->unit == SANE_UNIT_PIXEL)
            return v / std::max(1.0, optionNumber(QStringLiteral(SANE_NAME_SCAN_RESOLUTION), 1.0));
        return v / kMmPerInch;
    }

    QString fromInches(const QString &name, double inches, int resolution) const
    {
        int i = 0;
        const SANE_Option_Descriptor *d = descriptor(name, &i);
        const double v = (d && d->unit == SANE_UNIT_PIXEL) ? inches * resolution : inches * kMmPerInch;
        return QString::number(v, 'f', 4);
    }

    DeviceInfo describe(const QString &name)
    {
        DeviceInfo info;
        info.name = name;
        info.vendor = m_known.value(name).first;
        info.model = m_known.value(name).second;
        info.driverVersion = name.section(QLatin1Char(':'), 0, 0) + QLatin1Char(' ') + m_version;
        info.defaultDriverVersion = QStringLiteral("SANE ") + m_version;
        ScanSettings &def = info.defaults;
        int i = 0;

        if (const SANE_Option_Descriptor *d = descriptor(QStringLiteral(SANE_NAME_SCAN_SOURCE), &i)) {
            const QStringList sources = stringList(d);
            info.hasFlatbed = !pickString(sources, "flatbed").isEmpty();
            info.hasFeeder = !pickString(sources, "adf|feeder").isEmpty();
            info.hasDuplex = !pickString(sources, "duplex").isEmpty();
            if (!info.hasFlatbed && !info.hasFeeder)
                info.hasFlatbed = true;
            const QString cur = optionText(QStringLiteral(SANE_NAME_SCAN_SOURCE));
            def.paperSource = QRegularExpression(QStringLiteral("adf|feeder"), QRegularExpression::CaseInsensitiveOption)
                                      .match(cur).hasMatch() ? paperSrc::Feeder : paperSrc::Flatbed;
        }
        if (descriptor(QStringLiteral("duplex"), &i))
            info.hasDuplex = true;

        if (const SANE_Option_Descriptor *d = descriptor(QStringLiteral(SANE_NAME_SCAN_RESOLUTION), &i)) {
            const QList<double> words = wordList(d);
            for (double r : words)
                info.resolutions << int(r);
            double lo = 0, hi = 0;
            if (range(d, &lo, &hi)) {
                info.minResolution = int(std::ceil(lo));
                info.maxResolution = int(std::floor(hi));
            }
            if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
                const SANE_Word q = d->constraint.range->quant;
                info.resolutionStep = int(std::lround(d->type == SANE_TYPE_FIXED ? SANE_UNFIX(q) : double(q)));
            }
            def.resolution = int(optionNumber(QStringLiteral(SANE_NAME_SCAN_RESOLUTION), 200));
        }

        double lo = 0, hi = 0;
        if (const SANE_Option_Descriptor *d = descriptor(QStringLiteral(SANE_NAME_SCAN_BR_X), &i); d && range(d, &lo, &hi))
            info.maxWidth = toInches(QStringLiteral(SANE_NAME_SCAN_BR_X), hi);
        if (const SANE_Option_Descriptor *d = descriptor(QStringLiteral(SANE_NAME_SCAN_BR_Y), &i); d && range(d, &lo, &hi))
            info.maxLength = toInches(QStringLiteral(SANE_NAME_SCAN_BR_Y), hi);
        const double tlx = toInches(QStringLiteral(SANE_NAME_SCAN_TL_X), optionNumber(QStringLiteral(SANE_NAME_SCAN_TL_X), 0));
        const double tly = toInches(QStringLiteral(SANE_NAME_SCAN_TL_Y), optionNumber(QStringLiteral(SANE_NAME_SCAN_TL_Y), 0));
        def.left = tlx;
        def.top = tly;
        def.width = toInches(QStringLiteral(SANE_NAME_SCAN_BR_X), optionNumber(QStringLiteral(SANE_NAME_SCAN_BR_X), info.maxWidth * kMmPerInch)) - tlx;
        def.length = toInches(QStringLiteral(SANE_NAME_SCAN_BR_Y), optionNumber(QStringLiteral(SANE_NAME_SCAN_BR_Y), info.maxLength * kMmPerInch)) - tly;

        info.hasBrightness = descriptor(QStringLiteral(SANE_NAME_BRIGHTNESS), &i) != nullptr;
        const QString mode = optionText(QStringLiteral(SANE_NAME_SCAN_MODE));
        const int depth = int(optionNumber(QStringLiteral(SANE_NAME_BIT_DEPTH), 8));
        if (QRegularExpression(QStringLiteral("colou?r"), QRegularExpression::CaseInsensitiveOption).match(mode).hasMatch())
            def.pixelType = pixelKind::Colour;
        else if (depth == 1 || QRegularExpression(QStringLiteral("lineart|binary|black"), QRegularExpression::CaseInsensitiveOption).match(mode).hasMatch())
            def.pixelType = pixelKind::Bilevel;
        else
            def.pixelType = pixelKind::Grey;

        // Every option the device has, active or not (an inactive one reads as empty text).
        for (auto it = m_index.constBegin(); it != m_index.constEnd(); ++it) {
            const QString v = optionText(it.key());
            info.options.insert(it.key(), v.isNull() ? QStringLiteral("") : v);
        }
        return info;
    }

    void applySource(const ScanSettings &s)
    {
        int i = 0;
        const bool feeder = s.paperSource != paperSrc::Flatbed;
        if (const SANE_Option_Descriptor *d = descriptor(QStringLiteral(SANE_NAME_SCAN_SOURCE), &i)) {
            const QStringList list = stringList(d);
            QString want;
            if (!feeder)
                want = pickString(list, "flatbed");
            else if (s.duplex)
                want = pickString(list, "duplex");
            if (feeder && want.isEmpty())
                want = pickString(list, "adf|feeder", "duplex");
            if (!want.isEmpty())
                setOption(QStringLiteral(SANE_NAME_SCAN_SOURCE), want);
        }
        if (descriptor(QStringLiteral("duplex"), &i))
            setOption(QStringLiteral("duplex"), s.duplex && feeder ? QStringLiteral("1") : QStringLiteral("0"));
    }

    void applyMode(const ScanSettings &s)
    {
        int i = 0;
        QString lineart;
        if (const SANE_Option_Descriptor *d = descriptor(QStringLiteral(SANE_NAME_SCAN_MODE), &i)) {
            const QStringList list = stringList(d);
            lineart = pickString(list, "lineart|binary|black");
            QString want;
            if (s.pixelType == pixelKind::Colour)
                want = pickString(list, "colou?r");
            else if (s.pixelType == pixelKind::Grey || lineart.isEmpty())
                want = pickString(list, "gr[ae]y");
            else
                want = lineart;
            if (!want.isEmpty())
                setOption(QStringLiteral(SANE_NAME_SCAN_MODE), want);
        }
        if (descriptor(QStringLiteral(SANE_NAME_BIT_DEPTH), &i)) {
            const bool oneBit = s.pixelType == pixelKind::Bilevel && lineart.isEmpty();
            setOption(QStringLiteral(SANE_NAME_BIT_DEPTH), oneBit ? QStringLiteral("1") : QStringLiteral("8"));
        }
    }

    // One axis of the area. The far edge goes first when the near one moves past it, so the
    // device never sees the near edge beyond the far one.
    void setArea(const QString &nearName, const QString &farName, double offset, double extent, int resolution)
    {
        const QString nearValue = fromInches(nearName, offset, resolution);
        const QString farValue = fromInches(farName, offset + extent, resolution);
        if (nearValue.toDouble() >= optionNumber(farName, 1e12)) {
            setOption(farName, farValue);
            setOption(nearName, nearValue);
        } else {
            setOption(nearName, nearValue);
            setOption(farName, farValue);
        }
    }

    void applyOptions(const ScanJob &job)
    {
        const ScanSettings &s = job.settings;
        // Source first, then mode, resolution, the area, the rest.
        applySource(s);
        applyMode(s);
        setOption(QStringLiteral(SANE_NAME_SCAN_RESOLUTION), QString::number(s.resolution));
        setArea(QStringLiteral(SANE_NAME_SCAN_TL_X), QStringLiteral(SANE_NAME_SCAN_BR_X), s.left, s.width, s.resolution);
        setArea(QStringLiteral(SANE_NAME_SCAN_TL_Y), QStringLiteral(SANE_NAME_SCAN_BR_Y), s.top, s.length, s.resolution);
        int i = 0;
        if (const SANE_Option_Descriptor *d = descriptor(QStringLiteral(SANE_NAME_BRIGHTNESS), &i)) {
            double lo = 0, hi = 0;
            if (range(d, &lo, &hi))
                setOption(QStringLiteral(SANE_NAME_BRIGHTNESS), QString::number(lo + (hi - lo) * s.brightness / 255.0, 'f', 4));
        }
        for (auto it = job.optionWrites.constBegin(); it != job.optionWrites.constEnd(); ++it)
            setOption(it.key(), it.value());
    }

    void applyPending()
    {
        QMap<QString, QString> pending;
        {
            QMutexLocker lock(&m_pendingLock);
            pending.swap(m_pending);
        }
        for (auto it = pending.constBegin(); it != pending.constEnd(); ++it)
            setOption(it.key(), it.value());
    }

    SANE_Handle m_handle = nullptr;
    SANE_Status m_initStatus = SANE_STATUS_INVAL;
    QString m_version;
    QMap<QString, int> m_index;
    QMap<QString, QPair<QString, QString>> m_known;
    QMutex m_pendingLock;
    QMap<QString, QString> m_pending;
};

namespace {

} // namespace

// One scan as a state machine: start, parameters, read, frame done, page done; finish or fail.
int SaneWorker::scan(const ScanJob &job, const Deliver &deliver)
{
    if (!m_handle)
        throw VbError(scanErr::NoScanner, QStringLiteral("No scanner found"));
    {
        QMutexLocker lock(&m_pendingLock);
        m_pending.clear();
    }
    applyOptions(job);
    // Pages carry the resolution the device took, which may differ from the one asked for.
    const int resolution = int(std::lround(optionNumber(QStringLiteral(SANE_NAME_SCAN_RESOLUTION), job.settings.resolution)));

    const bool feeder = job.settings.paperSource != paperSrc::Flatbed;
    const int sides = (feeder && job.settings.duplex) ? 2 : 1;
    enum class Step { Start, Parameters, Read, FrameDone, PageDone, Finish, Fail };
    Step step = Step::Start;
    SANE_Status failure = SANE_STATUS_GOOD;
    PageAssembler assembler;
    QByteArray buf(256 * 1024, Qt::Uninitialized);
    int pages = 0;
    bool frameStarted = false;

    // Whatever leaves the loop by an exception (parameters refused, the page taker failing)
    // still ends the device's scan.
    struct EndScan {
        SANE_Handle h;
        bool armed = true;
        ~EndScan()
        {
            if (armed)
                sane_cancel(h);
        }
    } endScan{m_handle};

    for (;;) {
        switch (step) {
        case Step::Start: {
            if (cancel) {
                step = Step::Finish;
                break;
            }
            if (!frameStarted) {
                assembler.reset();
                applyPending();
            }
            const SANE_Status st = sane_start(m_handle);
            qCDebug(lcScan) << "sane_start" << sane_strstatus(st);
            if (st == SANE_STATUS_GOOD) {
                step = Step::Parameters;
            } else if (st == SANE_STATUS_NO_DOCS && job.allSheets && pages > 0 && pages % sides == 0) {
                step = Step::Finish;
            } else {
                failure = st;
                step = Step::Fail;
            }
            break;
        }
        case Step::Parameters: {
            SANE_Parameters p{};
            const SANE_Status st = sane_get_parameters(m_handle, &p);
            qCDebug(lcScan) << "sane_get_parameters" << sane_strstatus(st) << p.format << p.depth
                            << p.pixels_per_line << p.lines << p.bytes_per_line;
            if (st != SANE_STATUS_GOOD) {
                failure = st;
                step = Step::Fail;
                break;
            }
            assembler.beginFrame({int(p.format), bool(p.last_frame), p.bytes_per_line,
                                  p.pixels_per_line, p.lines, p.depth});
            frameStarted = true;
            step = Step::Read;
            break;
        }
        case Step::Read: {
            SANE_Int n = 0;
            const SANE_Status st = sane_read(m_handle, reinterpret_cast<SANE_Byte *>(buf.data()), SANE_Int(buf.size()), &n);
            if (cancel) {
                step = Step::Finish;
            } else if (st == SANE_STATUS_GOOD) {
                assembler.feed(buf.constData(), n);
            } else if (st == SANE_STATUS_EOF) {
                step = Step::FrameDone;
            } else {
                qCDebug(lcScan) << "sane_read" << sane_strstatus(st);
                failure = st;
                step = Step::Fail;
            }
            break;
        }
        case Step::FrameDone:
            step = assembler.endFrame() ? Step::PageDone : Step::Start;
            break;
        case Step::PageDone: {
            frameStarted = false;
            ScannedPage page;
            page.resolution = resolution > 0 ? resolution : job.settings.resolution;
            page.image = assembler.takePage(page.resolution);
            page.side = pages % sides;
            ++pages;
            deliver(std::move(page));
            if (cancel || (!job.allSheets && pages >= sides))
                step = Step::Finish;
            else
                step = Step::Start;
            break;
        }
        case Step::Finish:
            endScan.armed = false;
            sane_cancel(m_handle);
            return pages;
        case Step::Fail:
            endScan.armed = false;
            sane_cancel(m_handle);
            // Some devices report the empty feeder at the first read rather than at the start.
            if (failure == SANE_STATUS_CANCELLED
                || (failure == SANE_STATUS_NO_DOCS && job.allSheets && pages > 0 && pages % sides == 0))
                return pages;
            throw statusError(failure);
        }
    }
}

// ---- the session ----

SaneSession::SaneSession()
{
    m_worker = new SaneWorker;
    m_worker->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("quorla.scan"));
    m_thread.start();
    call([this] { m_worker->init(); });
}

SaneSession::~SaneSession()
{
    SaneWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [w] { w->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete w;
}

void SaneSession::call(const std::function<void()> &fn)
{
    struct State {
        bool done = false;
        std::exception_ptr error;
    };
    if (!QCoreApplication::instance()) {
        // No event loop to wait in: block until the worker is done.
        std::exception_ptr error;
        QMetaObject::invokeMethod(m_worker, [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        }, Qt::BlockingQueuedConnection);
        if (error)
            std::rethrow_exception(error);
        return;
    }
    auto state = std::make_shared<State>();
    QEventLoop loop;
    QObject *self = this;
    QMetaObject::invokeMethod(m_worker, [fn, state, self, &loop] {
        try {
            fn();
        } catch (...) {
            state->error = std::current_exception();
        }
        QMetaObject::invokeMethod(self, [state, &loop] {
            state->done = true;
            loop.quit();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    if (!state->done)
        loop.exec();
    if (state->error)
        std::rethrow_exception(state->error);
}

QStringList SaneSession::listDevices()
{
    QStringList out;
    call([&] { out = m_worker->devices(); });
    return out;
}

DeviceInfo SaneSession::openDevice(const QString &name)
{
    DeviceInfo info;
    call([&] { info = m_worker->open(name); });
    return info;
}

void SaneSession::closeDevice()
{
    call([this] { m_worker->closeHandle(); });
}

int SaneSession::runScan(const ScanJob &job, const PageSink &sink)
{
    // Each page is handed over on this thread; the worker waits for it to be taken before it
    // starts the next sheet, so settings written by the sink apply to the next sheet.
    m_worker->cancel = false;
    auto sinkError = std::make_shared<std::exception_ptr>();
    QObject *self = this;
    SaneWorker *worker = m_worker;
    int pages = 0;
    call([&, self, worker, sinkError] {
        pages = worker->scan(job, [&, self, worker, sinkError](ScannedPage page) {
            if (!QCoreApplication::instance()) {
                sink(page);  // no event loop: the pages are handed over on the worker
                return;
            }
            auto taken = std::make_shared<QSemaphore>();
            QMetaObject::invokeMethod(self, [&sink, page = std::move(page), taken, worker, sinkError]() {
                try {
                    if (!*sinkError)
                        sink(page);
                } catch (...) {
                    *sinkError = std::current_exception();
                    worker->cancel = true;
                }
                taken->release();
            }, Qt::QueuedConnection);
            taken->acquire();
        });
    });
    if (*sinkError)
        std::rethrow_exception(*sinkError);
    return pages;
}

void SaneSession::cancelScan()
{
    m_worker->cancel = true;
}

void SaneSession::optionWritten(const QString &option, const QString &value)
{
    m_worker->queueOption(option, value);
}
