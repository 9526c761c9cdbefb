#pragma once
#include <QImage>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/scan/settingstable.h"
#include "platform/vb/vberror.h"

// One scanner session for the process. The imaging control's scanner members forward here, so
// every control and dialog changes what the next scan does. Two backends: SANE (sanesession.h)
// and an in-memory fake for tests (fakescanner.h).
//
// Failures are raised as VbError with the numbers below.

namespace scanErr {
constexpr int DeviceFailure = 4400;  // any other device status; the description is the device's text
constexpr int NoPaper = 4401;        // the feeder is empty (scanPage only)
constexpr int NoScanner = 4402;      // no scanner answers / the driver is not open
constexpr int Busy = 4403;           // a scan is running
constexpr int Cancelled = 4404;      // the device ended the scan itself (the program did not ask)
constexpr int PaperJam = 4426;
constexpr int CoverOpen = 4708;
constexpr int InvalidValue = 380;    // "Invalid property value"
}

// Paper source codes.
namespace paperSrc {
constexpr int Feeder = 0;       // the feeder, all sheets per scanFeeder
constexpr int Flatbed = 2;
constexpr int FeederOne = 3;    // the feeder, one sheet per scanPage
}

// Pixel types of a scan.
namespace pixelKind {
constexpr int Bilevel = 0;  // 1 bit: QImage::Format_Mono, index 1 = black ink
constexpr int Grey = 1;     // 8 bit: QImage::Format_Grayscale8
constexpr int Colour = 2;   // 24 bit: QImage::Format_RGB888
}

struct ScannedPage {
    QImage image;        // dots per metre set from the resolution
    int resolution = 0;  // dots per inch
    int side = 0;        // 0 front, 1 back of a duplex sheet
};

// The settings the session scans with. Region in inches so it keeps its size over a change of
// resolution; numbered settings as written by the program.
struct ScanSettings {
    int paperSource = paperSrc::Flatbed;
    int duplex = 0;
    int resolution = 200;
    int brightness = 128;  // 0..255
    int pixelType = pixelKind::Bilevel;
    QString pageSize;
    double left = 0, top = 0, width = 8.5, length = 14;
    QMap<int, int> numbered;

    QString toText() const;
    // Reads a record written by toText over `base`; keys that do not convert keep base's value.
    static ScanSettings fromText(const QString &text, const ScanSettings &base);
    bool operator==(const ScanSettings &) const = default;
};

// What a backend reports of the open device.
struct DeviceInfo {
    QString name;           // backend device name
    QString vendor, model;
    QString driverVersion, defaultDriverVersion;
    bool hasFlatbed = true, hasFeeder = false, hasDuplex = false, hasBrightness = false;
    double maxWidth = 8.5, maxLength = 14;  // inches
    int minResolution = 50, maxResolution = 600;
    int resolutionStep = 0;                 // the range's step, when it has one
    QList<int> resolutions;                 // when the device takes only these
    QMap<QString, QString> options;         // device option name -> current value as text
    ScanSettings defaults;                  // the device's defaults as a record
};

// One scan request as the backend sees it.
struct ScanJob {
    ScanSettings settings;
    QMap<QString, QString> optionWrites;  // device options from the numbered settings
    bool allSheets = false;               // scanFeeder: until the feeder is empty
};

class ScannerSession : public QObject {
    Q_OBJECT
public:
    using PageSink = std::function<void(const ScannedPage &)>;

    ~ScannerSession() override;

    // Driver. setScannerOpen(true) opens the selected scanner (or the first found) and raises
    // NoScanner when none answers; reading reports whether one is open.
    bool scannerOpen() const { return m_open; }
    void setScannerOpen(bool open);
    QStringList sourceList();
    // Opens the named device (empty: the first found) and keeps the settings within it.
    void selectSource(const QString &device = QString());
    QString sourceName() const;  // the table's alias, else the model name; empty when closed
    QString driverVersion() const { return m_info.driverVersion; }
    QString defaultDriverVersion() const { return m_info.defaultDriverVersion; }
    const DeviceInfo &deviceInfo() const { return m_info; }

    // Settings: each write keeps what the device takes, and reads give that back.
    int paperSource() const { return m_cur.paperSource; }
    void setPaperSource(int source);
    int duplex() const { return m_cur.duplex; }
    void setDuplex(int on);
    int resolution() const { return m_cur.resolution; }
    void setResolution(int dpi);
    int brightness() const { return m_cur.brightness; }
    void setBrightness(int value);
    int pixelType() const { return m_cur.pixelType; }
    void setPixelType(int type);
    QString pageSize() const { return m_cur.pageSize; }
    void setPageSize(const QString &text);  // sets the region to that size
    static QStringList pageSizeList();

    // Numbered settings through the model's table: a number the device does not offer reads -1
    // until it is written; writes are accepted.
    int scannerSetting(int number) const;
    void setScannerSetting(int number, int value);

    // A transaction over the settings: cancel puts back what begin saw.
    void beginSettings();
    void applySettings();
    void cancelSettings();
    void defaultSettings();
    bool editingSettings() const { return m_editing; }

    // Region in pixels at the current resolution, within the device's area: offsets first, then
    // extents; a large value (32000) yields the maximum.
    int regionTop() const;
    int regionLeft() const;
    int regionWidth() const;
    int regionLength() const;
    void setRegionTop(int px);
    void setRegionLeft(int px);
    void setRegionWidth(int px);
    void setRegionLength(int px);
    int scanWidth() const { return regionWidth(); }
    int scanLength() const { return regionLength(); }

    const ScanSettings &settings() const { return m_cur; }

    // The settings file: per source name, the settings record as text. A relative file name is
    // taken in settingsFolder(). Loading a source the file does not hold changes nothing.
    void loadSettings(const QString &source, const QString &file);
    void saveSettings(const QString &source, const QString &file) const;
    QString settingsFolder() const { return m_settingsFolder; }
    void setSettingsFolder(const QString &folder) { m_settingsFolder = folder; }

    // Where the per-model numbered-settings tables are read from (default: data/scanners beside
    // the executable).
    QString tableFolder() const { return m_tableFolder; }
    void setTableFolder(const QString &folder);

    // "Key=value" items separated by commas, for the error report.
    QString scanStateText() const;

    // Scanning. Pages reach `sink` one by one as they arrive (on the calling thread); the call
    // returns the number of pages delivered. scanPage scans one page (one sheet, both sides with
    // duplex, from the feeder); an empty feeder raises NoPaper. scanFeeder scans the feeder's
    // sheets and returns quietly when it is empty. A jam raises PaperJam after the pages scanned
    // so far were delivered, as does every other failure of the device. A scan the program
    // cancelled returns what it had; one the device cancelled raises Cancelled.
    int scanPage(const PageSink &sink);
    int scanFeeder(const PageSink &sink);
    void scanCancel();
    bool scanning() const { return m_scanning; }

signals:
    void pageScanned(const ScannedPage &page);

protected:
    ScannerSession();

    // Backend. Each may raise VbError.
    virtual QStringList listDevices() = 0;
    virtual DeviceInfo openDevice(const QString &name) = 0;  // name is never empty
    virtual void closeDevice() = 0;
    virtual int runScan(const ScanJob &job, const PageSink &sink) = 0;
    virtual void cancelScan() = 0;
    // A mapped numbered setting written while a scan runs; takes effect from the next sheet.
    virtual void optionWritten(const QString &option, const QString &value) { Q_UNUSED(option) Q_UNUSED(value) }

private:
    int scan(bool allSheets, const PageSink &sink);
    void fitToDevice(ScanSettings &s) const;
    void clampRegion(ScanSettings &s) const;
    int toPixels(double inches) const;
    double toInches(int px) const;
    QString resolvePath(const QString &file) const;

    bool m_open = false;
    bool m_scanning = false;
    bool m_editing = false;
    DeviceInfo m_info;
    ScanSettings m_cur;
    ScanSettings m_saved;
    SettingsTable m_table;
    QString m_tableFolder;
    QString m_settingsFolder;
};

// The session of the process; created (SANE) on first use unless one was installed.
ScannerSession &scannerSession();
// Installs a session (tests install the fake); null goes back to creating the SANE one.
void setScannerSession(std::unique_ptr<ScannerSession> session);

// Writes a property through the session; without a scanner (NoScanner) nothing happens, as the
// value only matters once there is one. Any other error goes on.
template <class F> void withScanner(F &&set)
{
    try {
        set(scannerSession());
    } catch (const VbError &e) {
        if (e.number != scanErr::NoScanner)
            throw;
    }
}
