#pragma once
// The chains the page procedures build, for the analysis tests and benchmarks, and their results.
#include "platform/analysis/ip2.h"

#include <memory>
#include <string>
#include <vector>

// The blank test's chain for one page.
inline FilterChain blankChain(int sensitivity, const QString &margin = QStringLiteral("1/30in"))
{
    auto margins = std::make_shared<IP2MarginFilter>();
    margins->setSecondMeasure(margin);
    margins->setFirstMeasure(margin);
    margins->setThirdMeasure(QStringLiteral("0in"));
    auto blank = std::make_shared<IP2BlankDetector>();
    blank->setSensitivity(sensitivity);
    FilterChain chain;
    chain.add(std::make_shared<IP2PrefilterA>(), 1);
    chain.add(std::make_shared<IP2PrefilterB>(), 2);
    chain.add(margins, 3);
    chain.add(blank, 4);
    return chain;
}

// The "Blank" result's value, -1 without one.
inline int blankValue(const IP2Image &out)
{
    for (int i = 1; i <= out.results().count(); ++i)
        if (out.results().item(i).name() == u"Blank")
            return out.results().item(i).value().toInt();
    return -1;
}

// The blank test's verdicts at sensitivities 0 to 9, 'B' blank and 'c' content: the filters
// before the verdict once, then the verdict at each sensitivity.
inline std::string blankVerdicts(const QImage &scan, const QString &margin = QStringLiteral("1/30in"))
{
    FilterChain filters = blankChain(3, margin);
    filters.remove(4);
    const IP2Image filtered = filters.apply(scan);
    std::string verdicts;
    for (int s = 0; s <= 9; ++s) {
        IP2Image out = filtered;
        IP2BlankDetector detector;
        detector.setSensitivity(s);
        detector.apply(out);
        verdicts += blankValue(out) == 1 ? 'B' : 'c';
    }
    return verdicts;
}

// True when no verdict turns from blank back to content as the sensitivity rises.
inline bool risesMonotonely(const std::string &verdicts)
{
    const size_t firstBlank = verdicts.find('B');
    return firstBlank == std::string::npos || verdicts.find('c', firstBlank) == std::string::npos;
}

// The barcode chain with the cover-sheet zone (left 0in, width 8in, top 5in, height 3in).
inline FilterChain barcodeChain()
{
    IP2Zone zone;
    zone.setMeasure(2, QStringLiteral("8in"));
    zone.setMeasure(1, QStringLiteral("0in"));
    zone.setMeasure(3, QStringLiteral("5in"));
    zone.setMeasure(4, QStringLiteral("3in"));
    auto reader = std::make_shared<IP2BarcodeReader>();
    auto margins = std::make_shared<IP2MarginFilter>();
    auto pre = std::make_shared<IP2BarcodePrefilter>();
    reader->setZone(zone);
    margins->setZone(zone);
    pre->setZone(zone);
    FilterChain chain;
    chain.add(margins, 1);
    chain.add(pre, 2);
    chain.add(reader, 3);
    return chain;
}

inline std::vector<IP2Barcode> barcodes(const IP2Image &out)
{
    std::vector<IP2Barcode> list;
    for (int i = 1; i <= out.results().count(); ++i)
        if (out.results().item(i).name() == u"Barcode")
            list.push_back(out.results().item(i).value().value<IP2Barcode>());
    return list;
}
