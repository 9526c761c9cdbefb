// The blank verdict over pages generated at random: writing, print and stamps of any size,
// pen, colour and contrast anywhere on the page, and blank sheets with the marks paper and
// scanners leave. At the default sensitivity no page with content is judged blank, and no
// page's verdict turns from blank back to content as the sensitivity rises. A blank page that
// is kept costs the operator a glance, not a record: those are counted and listed.
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <gtest/gtest.h>

#include <iostream>

TEST(BlankPages, NoPageWithContentIsBlankAtTheDefaultAndVerdictsRiseWithSensitivity)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr unsigned Pages = 50; // the sanitizers' build checks the memory on a quarter of them
#else
    constexpr unsigned Pages = 200;
#endif
    int blanks = 0;
    std::string kept;
    for (unsigned seed = 1; seed <= Pages; ++seed) {
        const scanpages::RandomPage page = scanpages::randomPage(seed);
        // The filters before the verdict once (in the barcode mode's margin now and then), then
        // the verdict at every sensitivity.
        FilterChain filters = blankChain(3, seed % 5 == 0 ? QStringLiteral("1/10in") : QStringLiteral("1/30in"));
        filters.remove(4);
        const IP2Image filtered = filters.apply(page.scan);
        std::string verdicts;
        for (int s = 0; s <= 9; ++s) {
            IP2Image out = filtered;
            IP2BlankDetector detector;
            detector.setSensitivity(s);
            detector.apply(out);
            verdicts += blankValue(out) == 1 ? 'B' : 'c';
        }
        const std::string row = "page " + std::to_string(seed) + " (" + page.what + "): " + verdicts;
        if (page.content)
            EXPECT_EQ(verdicts[3], 'c') << row;
        else if (++blanks, verdicts[3] == 'c')
            kept += row + '\n';
        const size_t firstBlank = verdicts.find('B');
        EXPECT_TRUE(firstBlank == std::string::npos || verdicts.find('c', firstBlank) == std::string::npos) << row;
    }
    const auto keptCount = std::count(kept.begin(), kept.end(), '\n');
    std::cout << keptCount << " of " << blanks << " blank pages kept at the default sensitivity\n" << kept;
    // The verdict still removes blank pages: at most about one in seven is kept (most of those
    // show through as darkly as faint writing).
    EXPECT_LE(keptCount * 100, blanks * 15);
}
