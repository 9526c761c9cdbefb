// The blank verdict over pages generated at random, judged through the filter pass's chain with
// its margins: writing, print, stamps and empty forms of any size, pen, hand, colour and contrast,
// in corners and along edges (some hard against them, where the margins cut them), across edge
// shadows and copier borders, and over or beside holes, staples and creases, on thresholded,
// dithered, grey, colour and JPEG scans; and blank sheets with the marks paper, offices and
// scanners leave. Every sixth page is one of the hard cases (faint ink, pencil on a dither, a
// figure on a crease, a coloured letter by a hole, a light form, a figure standing out of an edge
// shadow, a small figure hard in a corner or against an edge, a mark across a hole's rim, a form
// of dotted or dashed rules, a small letter near a corner, a form of thin rules a threshold breaks
// into specks, a thin hand's small figure); a second run of blocks draws those alone, and a third
// pages of flat and graded bands of shade along the edges, dark and light, and ragged scanner
// shadows, with writing on them and beside them in every scan mode. At the
// default sensitivity no page with content is judged blank, and no page's verdict turns from
// blank back to content as the sensitivity rises. A blank page that is kept costs the operator a
// glance, not a record: those are counted and listed, block by block of 25 pages, and so are the
// content pages that sensitivity 5 would remove.
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <gtest/gtest.h>

#include <iostream>
#include <vector>

namespace {

constexpr unsigned Block = 25;
#if defined(__SANITIZE_ADDRESS__)
constexpr unsigned Blocks = 2; // the sanitizers' build checks the memory on a sixth of them
#else
constexpr unsigned Blocks = 12;
#endif

// The seeds of block b: every page, only the hard cases (every sixth seed), or pages of edge
// bands.
struct Pages {
    bool hard;
    unsigned block;
    bool bands = false;
};

std::vector<Pages> blocks(bool hard, bool bands = false)
{
    std::vector<Pages> all;
    for (unsigned b = 0; b < Blocks; ++b)
        all.push_back({hard, b, bands});
    return all;
}

class BlankPages : public testing::TestWithParam<Pages> {};

} // namespace

TEST(BlankPagesFonts, EveryHandIsInstalled)
{
    for (const QString &family : scanpages::missingHandFonts())
        ADD_FAILURE() << "font family not installed: " << family.toStdString();
}

TEST_P(BlankPages, NoPageWithContentIsBlankAtTheDefaultAndVerdictsRiseWithSensitivity)
{
    int blanks = 0, lostAtFive = 0;
    std::string kept;
    for (unsigned k = GetParam().block * Block; k < (GetParam().block + 1) * Block; ++k) {
        const unsigned seed = GetParam().hard && !GetParam().bands ? 6 * k + 5 : k + 1;
        const scanpages::RandomPage page = scanpages::randomPage(seed, GetParam().bands);
        // Now and then in the barcode mode's margin, where it leaves some of the content.
        const bool wide = seed % 5 == 0 && (!page.content || page.inward > 0.15);
        const std::string verdicts = blankVerdicts(page.scan, wide ? QStringLiteral("1/10in") : QStringLiteral("1/30in"));
        const std::string row = "page " + std::to_string(seed) + " (" + page.what + "): " + verdicts;
        if (page.content) {
            EXPECT_EQ(verdicts[3], 'c') << row;
            if (verdicts[5] == 'B' && ++lostAtFive)
                std::cout << "removed at sensitivity 5: " << row << '\n';
        } else if (++blanks, verdicts[3] == 'c') {
            kept += row + '\n';
        }
        EXPECT_TRUE(risesMonotonely(verdicts)) << row;
    }
    const auto keptCount = std::count(kept.begin(), kept.end(), '\n');
    std::cout << keptCount << " of " << blanks << " blank pages kept at the default sensitivity\n" << kept;
    RecordProperty("blanks", blanks);
    RecordProperty("kept", int(keptCount));
    RecordProperty("contentRemovedAtFive", lostAtFive);
}

INSTANTIATE_TEST_SUITE_P(Blocks, BlankPages, testing::ValuesIn(blocks(false)));
INSTANTIATE_TEST_SUITE_P(HardCases, BlankPages, testing::ValuesIn(blocks(true)));
INSTANTIATE_TEST_SUITE_P(EdgeBands, BlankPages, testing::ValuesIn(blocks(false, true)));
