#pragma once
#include "platform/scan/scannersession.h"

#include <QThread>
#include <atomic>
#include <functional>

class SaneWorker;

// The session on SANE. Every SANE call runs on one worker thread; the calling (UI) thread waits
// in a local event loop, so the window and scanCancel() stay responsive while the device works.
class SaneSession : public ScannerSession {
    Q_OBJECT
public:
    SaneSession();
    ~SaneSession() override;

protected:
    QStringList listDevices() override;
    DeviceInfo openDevice(const QString &name) override;
    void closeDevice() override;
    int runScan(const ScanJob &job, const PageSink &sink) override;
    void cancelScan() override;
    void optionWritten(const QString &option, const QString &value) override;

private:
    // Runs fn on the worker and waits for it; exceptions raised there are raised here.
    void call(const std::function<void()> &fn);

    QThread m_thread;
    SaneWorker *m_worker = nullptr;
};
