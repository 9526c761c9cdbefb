// The blank verdict over a corpus of generated scans: blank sheets with dust, edge bands and
// bleed-through, sheets that carry only a small mark, and full text, at 200 and 300 dpi, bilevel
// and grey, each skewed a little. Prints the verdicts at every sensitivity.
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace {

using namespace scanpages;

struct CorpusPage {
    std::string name;
    QImage scan;
    bool blank;
};

std::vector<CorpusPage> makeCorpus()
{
    std::vector<CorpusPage> pages;
    unsigned seed = 1;
    for (int dpi : {200, 300})
        for (Depth depth : {Depth::Bilevel, Depth::Grey}) {
            const std::string where = std::to_string(dpi) + (depth == Depth::Grey ? " grey " : " bilevel ");
            const auto add = [&](const std::string &name, Content content, ScanOptions o) {
                ++seed;
                // Skews from -1.2 to +1.2 degrees, varied by page.
                Sheet sheet(dpi, (int(seed * 7 % 25) - 12) / 10.0);
                draw(sheet, content, seed);
                o.depth = depth;
                o.seed = seed;
                pages.push_back({where + name, sheet.scan(o), content == Content::None});
            };
            add("blank clean", Content::None, {});
            add("blank light dust", Content::None, {.dust = Dust::Light});
            add("blank typical dust", Content::None, {.dust = Dust::Typical});
            add("blank heavy dust", Content::None, {.dust = Dust::Heavy});
            add("blank edge bands", Content::None, {.dust = Dust::Typical, .edgeBands = true});
            if (depth == Depth::Grey)
                add("blank bleed-through", Content::None, {.dust = Dust::Typical, .bleedThrough = true});
            for (Content c : {Content::PageNumber, Content::Initials, Content::SignatureLine, Content::Void,
                              Content::Stamp, Content::Continued})
                add(contentName(c), c, {.dust = Dust::Typical, .bleedThrough = true});
            add("page number, heavy dust, bands", Content::PageNumber,
                {.dust = Dust::Heavy, .edgeBands = true});
            add(contentName(Content::FullText), Content::FullText, {.dust = Dust::Typical});
        }
    return pages;
}

bool blankVerdict(const QImage &scan, int sensitivity, const QString &margin)
{
    const int value = blankValue(blankChain(sensitivity, margin).apply(scan));
    EXPECT_NE(value, -1) << "no Blank result";
    return value == 1;
}

} // namespace

TEST(BlankCorpus, RightAtTheDefaultSensitivityAndMonotone)
{
    const std::vector<CorpusPage> corpus = makeCorpus();
    std::ostringstream table;
    table << "page                                         expected  s0 s1 s2 s3 s4 s5 s6 s7 s8 s9\n";
    for (const CorpusPage &p : corpus) {
        table << p.name << std::string(45 - std::min<size_t>(44, p.name.size()), ' ')
              << (p.blank ? "blank   " : "content ");
        bool blank[10];
        for (int s = 0; s <= 9; ++s) {
            blank[s] = blankVerdict(p.scan, s, QStringLiteral("1/30in"));
            table << "  " << (blank[s] ? 'B' : 'c');
        }
        table << '\n';
        EXPECT_EQ(blank[3], p.blank) << p.name;
        // In the barcode mode's wider margin too.
        EXPECT_EQ(blankVerdict(p.scan, 3, QStringLiteral("1/10in")), p.blank) << p.name << ", 1/10in margin";
        for (int s = 1; s <= 9; ++s)
            EXPECT_TRUE(blank[s] || !blank[s - 1]) << p.name << ": blank at " << s - 1 << " but content at " << s;
    }
    // Full text is content and a clean sheet blank at every sensitivity.
    for (const CorpusPage &p : corpus) {
        if (p.name.ends_with("full text") || p.name.ends_with("blank clean")) {
            for (int s : {0, 9})
                EXPECT_EQ(blankVerdict(p.scan, s, QStringLiteral("1/30in")), p.blank) << p.name << " at " << s;
        }
    }
    std::cout << table.str();
}
