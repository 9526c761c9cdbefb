// The blank verdict over pages generated at random: writing, print, stamps and empty forms of
// any size, pen, hand, colour and contrast, in corners, along edges and over or beside holes,
// staples and creases, on thresholded, dithered, grey, colour and JPEG scans; and blank sheets
// with the marks paper, offices and scanners leave. At the default sensitivity no page with
// content is judged blank, and no page's verdict turns from blank back to content as the
// sensitivity rises. A blank page that is kept costs the operator a glance, not a record: those
// are counted and listed, block by block of 25 pages.
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

constexpr unsigned Block = 25;
#if defined(__SANITIZE_ADDRESS__)
constexpr unsigned Blocks = 2; // the sanitizers' build checks the memory on a sixth of them
#else
constexpr unsigned Blocks = 12;
#endif

class BlankPages : public testing::TestWithParam<unsigned> {};

} // namespace

TEST(BlankPagesFonts, EveryHandIsInstalled)
{
    for (const QString &family : scanpages::missingHandFonts())
        ADD_FAILURE() << "font family not installed: " << family.toStdString();
}

TEST_P(BlankPages, NoPageWithContentIsBlankAtTheDefaultAndVerdictsRiseWithSensitivity)
{
    int blanks = 0;
    std::string kept;
    for (unsigned seed = GetParam() * Block + 1; seed <= (GetParam() + 1) * Block; ++seed) {
        const scanpages::RandomPage page = scanpages::randomPage(seed);
        // Now and then in the barcode mode's margin.
        const std::string verdicts = blankVerdicts(page.scan, seed % 5 == 0 ? QStringLiteral("1/10in") : QStringLiteral("1/30in"));
        const std::string row = "page " + std::to_string(seed) + " (" + page.what + "): " + verdicts;
        if (page.content)
            EXPECT_EQ(verdicts[3], 'c') << row;
        else if (++blanks, verdicts[3] == 'c')
            kept += row + '\n';
        EXPECT_TRUE(risesMonotonely(verdicts)) << row;
    }
    const auto keptCount = std::count(kept.begin(), kept.end(), '\n');
    std::cout << keptCount << " of " << blanks << " blank pages kept at the default sensitivity\n" << kept;
    RecordProperty("blanks", blanks);
    RecordProperty("kept", int(keptCount));
}

INSTANTIATE_TEST_SUITE_P(Blocks, BlankPages, testing::Range(0u, Blocks));
