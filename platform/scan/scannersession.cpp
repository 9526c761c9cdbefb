#include "platform/scan/scannersession.h"

#include "platform/scan/sanesession.h"
#include "platform/scan/scanlog.h"
#include "platform/vb/vberror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>

Q_LOGGING_CATEGORY(lcScan, "quorla.scan", QtInfoMsg)

namespace {

[[noreturn]] void invalidValue()
{
    throw VbError(scanErr::InvalidValue, QStringLiteral("Invalid property value"));
}

struct PageSizeDef {
    const char *text;
    double width, length;  // inches; 0 = the device's maximum
};

const PageSizeDef kPageSizes[] = {
    {"Legal - 8.5 x 14 in", 8.5, 14},
    {"Letter Portrait - 8.5 x 11 in", 8.5, 11},
    {"17 x 23.38 in Landscape", 23.38, 17},
    {"Scanner's Maximum", 0, 0},
    {"Scanner Maximum", 0, 0},
};

bool isSource(int s)
{
    return s == paperSrc::Feeder || s == paperSrc::Flatbed || s == paperSrc::FeederOne;
}

QString numberText(double d) { return QString::number(d, 'g', 12); }

// Sections of the settings file: "[source]" lines, each followed by its record.
QMap<QString, QString> readSections(const QString &text, QStringList *order)
{
    QMap<QString, QString> out;
    QString current;
    bool inSection = false;
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.endsWith(QLatin1Char('\r')) ? raw.chopped(1) : raw;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2);
            inSection = true;
            if (!out.contains(current)) {
                out.insert(current, QString());
                if (order)
                    order->append(current);
            }
        } else if (inSection && !line.trimmed().isEmpty()) {
            out[current] += line + QLatin1Char('\n');
        }
    }
    return out;
}

} // namespace

// ---- the settings record ----

QString ScanSettings::toText() const
{
    QString t;
    auto add = [&t](const char *key, const QString &value) {
        t += QLatin1String(key) + QLatin1Char('=') + value + QLatin1Char('\n');
    };
    add("PaperSource", QString::number(paperSource));
    add("Duplex", QString::number(duplex));
    add("Resolution", QString::number(resolution));
    add("Brightness", QString::number(brightness));
    add("PixelType", QString::number(pixelType));
    add("PageSize", pageSize);
    add("Left", numberText(left));
    add("Top", numberText(top));
    add("Width", numberText(width));
    add("Length", numberText(length));
    for (auto it = numbered.constBegin(); it != numbered.constEnd(); ++it)
        t += QStringLiteral("Setting%1=%2\n").arg(it.key()).arg(it.value());
    return t;
}

ScanSettings ScanSettings::fromText(const QString &text, const ScanSettings &base)
{
    ScanSettings s = base;
    bool numberedSeen = false;
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        bool ok = false;
        if (key == QLatin1String("PageSize")) {
            s.pageSize = value;
        } else if (key == QLatin1String("Left") || key == QLatin1String("Top")
                   || key == QLatin1String("Width") || key == QLatin1String("Length")) {
            const double d = value.toDouble(&ok);
            if (!ok || !std::isfinite(d) || d < 0 || d > 1000)
                continue;
            (key == QLatin1String("Left") ? s.left : key == QLatin1String("Top") ? s.top
             : key == QLatin1String("Width") ? s.width : s.length) = d;
        } else if (key.startsWith(QLatin1String("Setting"))) {
            const int n = key.mid(7).toInt(&ok);
            if (!ok)
                continue;
            const int v = value.toInt(&ok);
            if (!ok)
                continue;
            if (!numberedSeen) {
                s.numbered.clear();  // the stored record replaces the numbered settings
                numberedSeen = true;
            }
            s.numbered.insert(n, v);
        } else {
            const int v = value.toInt(&ok);
            if (!ok)
                continue;
            if (key == QLatin1String("PaperSource") && isSource(v))
                s.paperSource = v;
            else if (key == QLatin1String("Duplex"))
                s.duplex = v ? 1 : 0;
            else if (key == QLatin1String("Resolution") && v > 0)
                s.resolution = v;
            else if (key == QLatin1String("Brightness"))
                s.brightness = qBound(0, v, 255);
            else if (key == QLatin1String("PixelType") && v >= 0 && v <= 2)
                s.pixelType = v;
        }
    }
    return s;
}

// ---- the session ----

ScannerSession::ScannerSession()
{
    if (QCoreApplication::instance())
        m_tableFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/data/scanners");
    m_settingsFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

ScannerSession::~ScannerSession() = default;

void ScannerSession::setScannerOpen(bool open)
{
    if (open == m_open)
        return;
    if (m_scanning)
        throw VbError(scanErr::Busy, QStringLiteral("Scanner is busy"));
    if (open) {
        selectSource(m_info.name);
    } else {
        closeDevice();
        m_open = false;
    }
}

QStringList ScannerSession::sourceList()
{
    if (m_scanning)
        throw VbError(scanErr::Busy, QStringLiteral("Scanner is busy"));
    return listDevices();
}

void ScannerSession::selectSource(const QString &device)
{
    if (m_scanning)
        throw VbError(scanErr::Busy, QStringLiteral("Scanner is busy"));
    QString name = device;
    if (name.isEmpty()) {
        const QStringList all = listDevices();
        if (all.isEmpty())
            throw VbError(scanErr::NoScanner, QStringLiteral("No scanner found"));
        name = all.first();
    }
    if (m_open) {
        closeDevice();
        m_open = false;
    }
    const QString previous = m_info.name;
    DeviceInfo info = openDevice(name);
    m_info = info;
    m_open = true;
    m_table = SettingsTable::forModel(m_tableFolder, m_info.vendor, m_info.model);
    qCDebug(lcScan) << "opened" << m_info.name << m_info.vendor << m_info.model
                    << "alias" << m_table.alias();
    if (previous != m_info.name) {
        m_cur = m_info.defaults;
        m_editing = false;
    }
    fitToDevice(m_cur);
}

QString ScannerSession::sourceName() const
{
    if (!m_open)
        return QString();
    return m_table.alias().isEmpty() ? m_info.model : m_table.alias();
}

void ScannerSession::setTableFolder(const QString &folder)
{
    m_tableFolder = folder;
    if (m_open)
        m_table = SettingsTable::forModel(m_tableFolder, m_info.vendor, m_info.model);
}

// ---- settings kept within the device ----

void ScannerSession::fitToDevice(ScanSettings &s) const
{
    if (!m_open)
        return;
    if (s.paperSource == paperSrc::Flatbed && !m_info.hasFlatbed)
        s.paperSource = paperSrc::Feeder;
    else if (s.paperSource != paperSrc::Flatbed && !m_info.hasFeeder)
        s.paperSource = paperSrc::Flatbed;
    if (!m_info.hasDuplex)
        s.duplex = 0;
    if (!m_info.resolutions.isEmpty()) {
        int best = m_info.resolutions.first();
        for (int r : m_info.resolutions) {
            if (std::abs(r - s.resolution) < std::abs(best - s.resolution))
                best = r;
        }
        s.resolution = best;
    } else {
        s.resolution = qBound(m_info.minResolution, s.resolution, m_info.maxResolution);
        const int step = m_info.resolutionStep;
        if (step > 1) {
            const int k = (s.resolution - m_info.minResolution + step / 2) / step;
            s.resolution = m_info.minResolution + k * step;
            if (s.resolution > m_info.maxResolution)
                s.resolution -= step;
        }
    }
    s.brightness = qBound(0, s.brightness, 255);
    clampRegion(s);
}

void ScannerSession::clampRegion(ScanSettings &s) const
{
    s.left = std::max(0.0, s.left);
    s.top = std::max(0.0, s.top);
    s.width = std::max(0.0, s.width);
    s.length = std::max(0.0, s.length);
    if (!m_open)
        return;
    s.left = std::min(s.left, m_info.maxWidth);
    s.top = std::min(s.top, m_info.maxLength);
    s.width = std::min(s.width, m_info.maxWidth - s.left);
    s.length = std::min(s.length, m_info.maxLength - s.top);
}

void ScannerSession::setPaperSource(int source)
{
    if (!isSource(source))
        invalidValue();
    m_cur.paperSource = source;
    fitToDevice(m_cur);
}

void ScannerSession::setDuplex(int on)
{
    m_cur.duplex = on ? 1 : 0;
    fitToDevice(m_cur);
}

void ScannerSession::setResolution(int dpi)
{
    if (dpi <= 0)
        invalidValue();
    m_cur.resolution = dpi;
    fitToDevice(m_cur);
}

void ScannerSession::setBrightness(int value)
{
    m_cur.brightness = qBound(0, value, 255);
}

void ScannerSession::setPixelType(int type)
{
    if (type < pixelKind::Bilevel || type > pixelKind::Colour)
        invalidValue();
    m_cur.pixelType = type;
}

QStringList ScannerSession::pageSizeList()
{
    QStringList out;
    for (const PageSizeDef &p : kPageSizes)
        out << QString::fromLatin1(p.text);
    return out;
}

void ScannerSession::setPageSize(const QString &text)
{
    for (const PageSizeDef &p : kPageSizes) {
        if (text.compare(QLatin1String(p.text), Qt::CaseInsensitive) != 0)
            continue;
        m_cur.pageSize = QString::fromLatin1(p.text);
        m_cur.left = 0;
        m_cur.top = 0;
        m_cur.width = p.width > 0 ? p.width : (m_open ? m_info.maxWidth : m_cur.width);
        m_cur.length = p.length > 0 ? p.length : (m_open ? m_info.maxLength : m_cur.length);
        clampRegion(m_cur);
        return;
    }
    invalidValue();
}

// ---- numbered settings ----

int ScannerSession::scannerSetting(int number) const
{
    const auto it = m_cur.numbered.constFind(number);
    if (it != m_cur.numbered.constEnd())
        return it.value();
    const SettingEntry *e = m_table.entry(number);
    if (!e || !m_open || !m_info.options.contains(e->option))
        return -1;
    int v = -1;
    if (!m_table.programValue(number, m_info.options.value(e->option), &v))
        return -1;
    return v;
}

void ScannerSession::setScannerSetting(int number, int value)
{
    m_cur.numbered.insert(number, value);
    const SettingEntry *e = m_table.entry(number);
    if (m_scanning && e && m_info.options.contains(e->option))
        optionWritten(e->option, m_table.optionValue(number, value));
}

// ---- the settings transaction ----

void ScannerSession::beginSettings()
{
    if (m_editing)
        return;
    m_saved = m_cur;
    m_editing = true;
}

void ScannerSession::applySettings()
{
    m_editing = false;
}

void ScannerSession::cancelSettings()
{
    if (!m_editing)
        return;
    m_cur = m_saved;
    m_editing = false;
}

void ScannerSession::defaultSettings()
{
    m_cur = m_open ? m_info.defaults : ScanSettings();
    fitToDevice(m_cur);
}

// ---- region ----

// Whole pixels, give or take a thousandth: a device's area in fixed-point millimetres (8.5 in is
// 215.9 mm, not exact in 1/65536) is a hair short of its inches.
int ScannerSession::toPixels(double inches) const
{
    return int(std::floor(inches * m_cur.resolution + 1e-3));
}

double ScannerSession::toInches(int px) const
{
    return double(std::max(px, 0)) / m_cur.resolution;
}

int ScannerSession::regionTop() const { return toPixels(m_cur.top); }
int ScannerSession::regionLeft() const { return toPixels(m_cur.left); }
int ScannerSession::regionWidth() const { return toPixels(m_cur.width); }
int ScannerSession::regionLength() const { return toPixels(m_cur.length); }

void ScannerSession::setRegionTop(int px)
{
    m_cur.top = toInches(px);
    clampRegion(m_cur);
}

void ScannerSession::setRegionLeft(int px)
{
    m_cur.left = toInches(px);
    clampRegion(m_cur);
}

void ScannerSession::setRegionWidth(int px)
{
    m_cur.width = toInches(px);
    clampRegion(m_cur);
}

void ScannerSession::setRegionLength(int px)
{
    m_cur.length = toInches(px);
    clampRegion(m_cur);
}

// ---- settings file ----

QString ScannerSession::resolvePath(const QString &file) const
{
    if (QFileInfo(file).isAbsolute() || m_settingsFolder.isEmpty())
        return file;
    return QDir(m_settingsFolder).filePath(file);
}

void ScannerSession::loadSettings(const QString &source, const QString &file)
{
    const QString path = resolvePath(file);
    QFile f(path);
    if (!f.exists())
        return;
    if (!f.open(QIODevice::ReadOnly))
        throw vbError(75);
    const QMap<QString, QString> sections = readSections(QString::fromUtf8(f.readAll()), nullptr);
    const auto it = sections.constFind(source);
    if (it == sections.constEnd())
        return;
    m_cur = ScanSettings::fromText(it.value(), m_cur);
    fitToDevice(m_cur);
}

void ScannerSession::saveSettings(const QString &source, const QString &file) const
{
    const QString path = resolvePath(file);
    QStringList order;
    QMap<QString, QString> sections;
    QFile in(path);
    if (in.exists()) {
        if (!in.open(QIODevice::ReadOnly))
            throw vbError(75);
        sections = readSections(QString::fromUtf8(in.readAll()), &order);
        in.close();
    }
    if (!sections.contains(source))
        order << source;
    sections.insert(source, m_cur.toText());
    QString text;
    for (const QString &name : std::as_const(order))
        text += QLatin1Char('[') + name + QStringLiteral("]\n") + sections.value(name) + QLatin1Char('\n');
    const QString dir = QFileInfo(path).absolutePath();
    QDir().mkpath(dir);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        throw vbError(75);
}

// ---- state text ----

QString ScannerSession::scanStateText() const
{
    auto clean = [](QString v) { return v.replace(QLatin1Char(','), QLatin1Char(';')); };
    QStringList items;
    items << QStringLiteral("Source=") + clean(sourceName())
          << QStringLiteral("Device=") + clean(m_info.name)
          << QStringLiteral("ScannerOpen=") + (m_open ? QStringLiteral("1") : QStringLiteral("0"))
          << QStringLiteral("Scanning=") + (m_scanning ? QStringLiteral("1") : QStringLiteral("0"))
          << QStringLiteral("PaperSource=%1").arg(m_cur.paperSource)
          << QStringLiteral("Duplex=%1").arg(m_cur.duplex)
          << QStringLiteral("Resolution=%1").arg(m_cur.resolution)
          << QStringLiteral("Brightness=%1").arg(m_cur.brightness)
          << QStringLiteral("PixelType=%1").arg(m_cur.pixelType)
          << QStringLiteral("PageSize=") + clean(m_cur.pageSize)
          << QStringLiteral("RegionLeft=%1").arg(regionLeft())
          << QStringLiteral("RegionTop=%1").arg(regionTop())
          << QStringLiteral("RegionWidth=%1").arg(regionWidth())
          << QStringLiteral("RegionLength=%1").arg(regionLength());
    for (auto it = m_cur.numbered.constBegin(); it != m_cur.numbered.constEnd(); ++it)
        items << QStringLiteral("Setting%1=%2").arg(it.key()).arg(it.value());
    items << QStringLiteral("DriverVersion=") + clean(m_info.driverVersion);
    return items.join(QLatin1Char(','));
}

// ---- scanning ----

int ScannerSession::scanPage(const PageSink &sink)
{
    return scan(false, sink);
}

int ScannerSession::scanFeeder(const PageSink &sink)
{
    return scan(true, sink);
}

int ScannerSession::scan(bool allSheets, const PageSink &sink)
{
    if (m_scanning)
        throw VbError(scanErr::Busy, QStringLiteral("Scanner is busy"));
    if (!m_open)
        throw VbError(scanErr::NoScanner, QStringLiteral("No scanner found"));

    ScanJob job;
    job.settings = m_cur;
    job.allSheets = allSheets && m_cur.paperSource != paperSrc::Flatbed;
    for (auto it = m_cur.numbered.constBegin(); it != m_cur.numbered.constEnd(); ++it) {
        const SettingEntry *e = m_table.entry(it.key());
        if (e && m_info.options.contains(e->option))
            job.optionWrites.insert(e->option, m_table.optionValue(it.key(), it.value()));
    }

    int delivered = 0;
    const PageSink deliver = [&](const ScannedPage &page) {
        ++delivered;
        if (sink)
            sink(page);
        emit pageScanned(page);
    };
    m_scanning = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_scanning};
    qCDebug(lcScan) << "scan" << (allSheets ? "feeder" : "page") << "source" << m_cur.paperSource
                    << "dpi" << m_cur.resolution << "type" << m_cur.pixelType;
    try {
        runScan(job, deliver);
    } catch (const VbError &e) {
        // The feeder running out is how scanFeeder ends; a hand-feed run polls an empty one.
        if (allSheets && e.number == scanErr::NoPaper)
            return delivered;
        throw;
    }
    return delivered;
}

void ScannerSession::scanCancel()
{
    if (m_scanning)
        cancelScan();
}

// ---- the process's session ----

static std::unique_ptr<ScannerSession> &sessionSlot()
{
    static std::unique_ptr<ScannerSession> s;
    return s;
}

static void dropSession()
{
    sessionSlot().reset();
}

ScannerSession &scannerSession()
{
    auto &s = sessionSlot();
    if (!s) {
        s = std::make_unique<SaneSession>();
        // The worker thread ends while the application still exists.
        if (QCoreApplication::instance())
            qAddPostRoutine(dropSession);
    }
    return *s;
}

void setScannerSession(std::unique_ptr<ScannerSession> session)
{
    sessionSlot() = std::move(session);
}
