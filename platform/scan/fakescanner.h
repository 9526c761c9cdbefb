#pragma once
#include "platform/scan/scannersession.h"

#include <QList>

// An in-memory scanner for tests of the workstation: a scripted device with a feeder of sheets,
// a flatbed, duplex and failures at chosen points. Pages are white images of the scan's size
// and pixel type unless a sheet brings its own.
class FakeScanner : public ScannerSession {
    Q_OBJECT
public:
    struct Sheet {
        QImage front, back;  // null: a white page of the scan's size
    };
    struct Failure {
        int page = -1;      // fails before delivering this page of the next scans (0-based count of pages delivered since)
        int number = 0;
        QString text;
    };

    FakeScanner();

    // The device that answers (when `present`). Change before opening.
    DeviceInfo &device() { return m_device; }
    void setPresent(bool present) { m_present = present; }

    void loadFeeder(int sheets);
    void loadFeeder(const QList<Sheet> &sheets);
    int feederCount() const { return int(m_feeder.size()); }
    void setFlatbedPage(const QImage &page) { m_flatbed = page; }
    // The next scan fails once, after `pagesFirst` pages, with the given error.
    void failNextScan(int pagesFirst, int number, const QString &text);

    // What the scans asked for, in order; device options as the last scan wrote them.
    const QList<ScanJob> &jobs() const { return m_jobs; }
    const QMap<QString, QString> &deviceOptions() const { return m_options; }
    bool cancelled() const { return m_cancelled; }

protected:
    QStringList listDevices() override;
    DeviceInfo openDevice(const QString &name) override;
    void closeDevice() override {}
    int runScan(const ScanJob &job, const PageSink &sink) override;
    void cancelScan() override { m_cancelled = true; }
    void optionWritten(const QString &option, const QString &value) override { m_options.insert(option, value); }

private:
    QImage pageFor(const ScanSettings &s, const QImage &given) const;

    DeviceInfo m_device;
    bool m_present = true;
    QList<Sheet> m_feeder;
    QImage m_flatbed;
    Failure m_failure;
    QList<ScanJob> m_jobs;
    QMap<QString, QString> m_options;
    bool m_cancelled = false;
};
