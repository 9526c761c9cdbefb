// Book and page imprint texts and where they go.
#include "annotate_env.h"

#include "annotate/imprint.h"
#include "platform/vb/vberror.h"

namespace {

class Imprint : public AnnotTest {
protected:
    void SetUp() override
    {
        AnnotTest::SetUp();
        g_dbMode = MODE_MARG;
        g_Book = QStringLiteral("00012");
        g_Page = QStringLiteral("00100");
        g_NumPages = QStringLiteral("003");
        g_InstNum = QStringLiteral("000045");
        g_BookCode = QStringLiteral("L");
        g_CTLNum = QStringLiteral("0000123");
    }

    static ImprintStates unmarked(int pages)
    {
        ImprintStates s;
        for (int i = 1; i <= pages; ++i)
            s.append({QString::number(i), QVariant(qint16(0))});
        return s;
    }

    // The imprint text of each page ("" for none).
    QStringList texts()
    {
        QStringList out;
        for (int page = 1; page <= view().pageCount(); ++page) {
            view().setPage(page);
            QString t;
            for (int i = 0; i < view().annotationCount(); ++i)
                if (view().annotationObject(i)->userStorage(IMPRINT_TAG_KEY).toString() == "1")
                    t = view().annotationObject(i)->text();
            out << t;
        }
        return out;
    }

    LineMetrics metrics{[](int letters, int, bool) { return QSize(letters * 10, 20); }};
};

} // namespace

TEST_F(Imprint, TextsForEveryFormIncludingExtraSheets)
{
    const struct {
        qint16 mode;
        qint64 running;
        const char *text;
    } table[] = {
        {MODE_MARG, 101, "Bk 12 Pg101 #45"},      {MODE_MARG, 102, "Bk 12 Pg102 #45"},
        {MODE_MARG, 103, "Bk 12 Pg102A #45"},     {MODE_MARG, 104, "Bk 12 Pg102B #45"},
        {MODE_MERG_UPD, 101, "Bk 12 Pg101 #45"},  {MODE_NYRG, 101, "Bk L12 Pg101 #123"},
        {MODE_NYRG, 105, "Bk L12 Pg102C #123"},
    };
    for (const auto &row : table) {
        g_dbMode = row.mode;
        EXPECT_EQ(bookPageImprintText(row.running), QString::fromLatin1(row.text))
            << "mode " << row.mode << " page " << row.running;
    }
}

// Marked pages (text zero counts as unmarked) are skipped but still counted; a missing page
// count becomes the scanned count in the imprint modes, except NYRG on a single page.
TEST_F(Imprint, EveryPageAfterTheFirstInTheImprintModes)
{
    const QString p101 = "Bk 12 Pg101 #45", p102 = "Bk 12 Pg102 #45";
    const struct {
        qint16 mode;
        int pages;
        const char *numPages;
        QList<std::pair<int, QVariant>> marks;
        QStringList texts;
        const char *numPagesAfter;
    } cases[] = {
        {MODE_MARG, 5, "003", {}, {"", p101, p102, "Bk 12 Pg102A #45", "Bk 12 Pg102B #45"}, "003"},
        {MODE_MARG, 5, "003", {{3, qint16(1)}, {4, QStringLiteral("0")}},
         {"", p101, "", "Bk 12 Pg102A #45", "Bk 12 Pg102B #45"}, "003"},
        {MODE_MARG, 5, "0", {}, {"", p101, p102, "Bk 12 Pg103 #45", "Bk 12 Pg104 #45"}, "5"},
        {MODE_MARG, 1, "0", {}, {""}, "1"},
        {MODE_NYRG, 1, "0", {}, {""}, "0"},
        {MODE_MALC, 3, "003", {}, {"", "", ""}, "003"},
        {MODE_MALCP, 3, "003", {}, {"", "", ""}, "003"},
        {MODE_NYMD, 3, "003", {}, {"", "", ""}, "003"},
        {MODE_NYBR, 3, "003", {}, {"", "", ""}, "003"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.pages) + " " + c.numPages);
        view().clearImage();
        addPages(c.pages);
        g_dbMode = c.mode;
        g_NumPages = c.numPages;
        ImprintStates states = unmarked(c.pages);
        for (const auto &[page, mark] : c.marks)
            states[page - 1].second = mark;
        addBookPageImprint(view(), states);
        EXPECT_EQ(texts(), c.texts);
        EXPECT_EQ(g_NumPages, c.numPagesAfter);
        int items = 0;
        for (int page = 1; page <= c.pages; ++page) {
            view().setPage(page);
            items += view().annotationCount();
        }
        EXPECT_EQ(items, c.pages - c.texts.count(QString())) << "one item a page imprinted, none elsewhere";
    }
}

TEST_F(Imprint, ImprintSitsInTheTopRightCorner)
{
    addPages(2, 2550, 3300, 300);
    addBookPageImprint(view(), unmarked(2));
    view().setPage(2);
    ASSERT_EQ(view().annotationCount(), 1);
    QelAnnotItem *item = view().annotationObject(0);
    // Measured at the text's length + 2 letters at 14 points; Left = W - cx - 2 * Rx.
    EXPECT_EQ(metrics.measured.first(), qMakePair(qint16(17), qint16(14)));
    EXPECT_EQ(item->bounds().topLeft(), QPoint(2550 - 170 - 600, 5));
    EXPECT_EQ(item->font().pointSize, 14);
}

TEST_F(Imprint, ShortCollectionRaisesToTheCaller)
{
    addPages(3);
    EXPECT_EQ(errorOf([&] { addBookPageImprint(view(), unmarked(2)); }), 9);
    EXPECT_EQ(texts(), (QStringList{"", "Bk 12 Pg101 #45", ""}));
}
