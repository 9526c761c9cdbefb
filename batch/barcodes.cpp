#include "batch/barcodes.h"

#include "core/errors.h"
#include "platform/analysis/ip2.h"
#include "platform/imaging/qelezimage.h"

bool IP2::readBarcodeResults(const IP2Image &image, std::vector<BarcodeRecord> &records)
{
    records.assign(1, BarcodeRecord{});
    bool found = false;
    size_t next = 0;
    const IP2Results &results = image.results();
    const int count = results.count();
    if (count < 1)
        return false;
    for (int i = 1; i <= count; ++i) {
        const IP2Result &item = results.item(i);
        if (item.name() != QLatin1String("Barcode"))
            continue;
        const IP2Barcode code = item.value().value<IP2Barcode>();
        if (records.size() < next + 1)
            records.resize(next + 1);
        BarcodeRecord &r = records[next];
        r.Left = float(code.left());
        r.Top = float(code.top());
        r.Right = float(code.left() + code.width());
        r.Bottom = float(code.top() + code.height());
        r.Text = cleanBarcodeText(code.text());
        found = true;
        ++next;
    }
    return found;
}

QString IP2::cleanBarcodeText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        if (c == QChar(10))
            continue;
        if (c == QChar(13))
            out += QStringLiteral("\\n");
        else
            out += c;
    }
    return out;
}

QString DetectBarcode(QelEzImage &control)
{
    Trap trap;
    try {
        trap(1);
        IP2Zone zone;
        zone.setMeasure(2, QStringLiteral("8in"));
        zone.setMeasure(1, QStringLiteral("0in"));
        zone.setMeasure(3, QStringLiteral("5in"));
        zone.setMeasure(4, QStringLiteral("3in"));

        trap(2);
        auto reader = std::make_shared<IP2BarcodeReader>();
        auto margins = std::make_shared<IP2MarginFilter>();
        auto prefilter = std::make_shared<IP2BarcodePrefilter>();
        reader->setZone(zone);
        margins->setZone(zone);
        prefilter->setZone(zone);

        trap(3);
        FilterChain chain;
        chain.add(margins, 1);
        chain.add(prefilter, 2);
        chain.add(reader, 3);

        trap(4);
        QString result;
        if (control.hasImage()) {
            const IP2Image out = chain.apply(control.pageImage());
            std::vector<BarcodeRecord> records;
            if (IP2::readBarcodeResults(out, records))
                for (const BarcodeRecord &r : records)
                    result = r.Text;
        }
        return result;
    } catch (...) {
        reportCurrentError(QStringLiteral("DetectBarcode"), trap);
    }
    return QString();
}
