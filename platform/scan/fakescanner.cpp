#include "platform/scan/fakescanner.h"

#include "platform/vb/vberror.h"

#include <cmath>

FakeScanner::FakeScanner()
{
    m_device.name = QStringLiteral("fake:0");
    m_device.vendor = QStringLiteral("Fake");
    m_device.model = QStringLiteral("Fake Duplex 100");
    m_device.driverVersion = QStringLiteral("fake 1.0");
    m_device.defaultDriverVersion = QStringLiteral("fake 1.0");
    m_device.hasFlatbed = true;
    m_device.hasFeeder = true;
    m_device.hasDuplex = true;
    m_device.hasBrightness = true;
    m_device.maxWidth = 8.5;
    m_device.maxLength = 14;
    m_device.minResolution = 75;
    m_device.maxResolution = 600;
    m_device.defaults.resolution = 200;
    m_device.defaults.width = 8.5;
    m_device.defaults.length = 11;
}

void FakeScanner::loadFeeder(int sheets)
{
    for (int i = 0; i < sheets; ++i)
        m_feeder.append(Sheet{});
}

void FakeScanner::loadFeeder(const QList<Sheet> &sheets)
{
    m_feeder += sheets;
}

void FakeScanner::failNextScan(int pagesFirst, int number, const QString &text)
{
    m_failure = {pagesFirst, number, text};
}

QStringList FakeScanner::listDevices()
{
    return m_present ? QStringList{m_device.name} : QStringList{};
}

DeviceInfo FakeScanner::openDevice(const QString &name)
{
    if (!m_present || name != m_device.name)
        throw VbError(scanErr::NoScanner, QStringLiteral("No scanner found"));
    m_options = m_device.options;
    return m_device;
}

QImage FakeScanner::pageFor(const ScanSettings &s, const QImage &given) const
{
    if (!given.isNull())
        return given;
    const int w = int(std::floor(s.width * s.resolution + 1e-6));
    const int h = int(std::floor(s.length * s.resolution + 1e-6));
    QImage img;
    if (s.pixelType == pixelKind::Bilevel) {
        img = QImage(w, h, QImage::Format_Mono);
        img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        img.fill(0);
    } else {
        img = QImage(w, h, s.pixelType == pixelKind::Grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
        img.fill(Qt::white);
    }
    const int dpm = qRound(s.resolution / 0.0254);
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    return img;
}

int FakeScanner::runScan(const ScanJob &job, const PageSink &sink)
{
    m_jobs.append(job);
    m_cancelled = false;
    for (auto it = job.optionWrites.constBegin(); it != job.optionWrites.constEnd(); ++it)
        m_options.insert(it.key(), it.value());
    const ScanSettings &s = job.settings;
    Failure failure = m_failure;
    m_failure = Failure{};
    int pages = 0;
    auto deliver = [&](const QImage &given, int side) {
        if (failure.page == pages)
            throw VbError(failure.number, failure.text);
        ScannedPage p;
        p.image = pageFor(s, given);
        p.resolution = s.resolution;
        p.side = side;
        ++pages;
        sink(p);
    };

    if (s.paperSource == paperSrc::Flatbed) {
        deliver(m_flatbed, 0);
        return pages;
    }
    do {
        if (m_cancelled)
            break;
        if (m_feeder.isEmpty()) {
            if (failure.page == pages)
                throw VbError(failure.number, failure.text);
            if (pages == 0 || !job.allSheets)
                throw VbError(scanErr::NoPaper, QStringLiteral("Document feeder out of documents"));
            break;
        }
        const Sheet sheet = m_feeder.takeFirst();
        deliver(sheet.front, 0);
        if (s.duplex)
            deliver(sheet.back, 1);
    } while (job.allSheets);
    return pages;
}
