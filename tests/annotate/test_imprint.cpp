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

TEST_F(Imprint, EveryPageAfterTheFirstInTheTopRightCorner)
{
    addPages(5, 2550, 3300, 300);
    addBookPageImprint(view(), unmarked(5));
    EXPECT_EQ(texts(), (QStringList{"", "Bk 12 Pg101 #45", "Bk 12 Pg102 #45", "Bk 12 Pg102A #45",
                                    "Bk 12 Pg102B #45"}));
    view().setPage(2);
    ASSERT_EQ(view().annotationCount(), 1);
    QelAnnotItem *item = view().annotationObject(0);
    // Measured at the text's length + 2 letters at 14 points; Left = W - cx - 2 * Rx.
    EXPECT_EQ(metrics.measured.first(), qMakePair(qint16(17), qint16(14)));
    EXPECT_EQ(item->bounds().topLeft(), QPoint(2550 - 170 - 600, 5));
    EXPECT_EQ(item->font().pointSize, 14);
}

TEST_F(Imprint, MarkedPagesAreSkippedButStillCounted)
{
    addPages(5);
    ImprintStates states = unmarked(5);
    states[2].second = qint16(1);
    states[3].second = QStringLiteral("0"); // text zero is unmarked too
    addBookPageImprint(view(), states);
    EXPECT_EQ(texts(), (QStringList{"", "Bk 12 Pg101 #45", "", "Bk 12 Pg102A #45",
                                    "Bk 12 Pg102B #45"}));
}

TEST_F(Imprint, MissingPageCountBecomesTheScannedCount)
{
    addPages(5);
    g_NumPages = QStringLiteral("0");
    addBookPageImprint(view(), unmarked(5));
    EXPECT_EQ(g_NumPages, QStringLiteral("5"));
    EXPECT_EQ(texts(), (QStringList{"", "Bk 12 Pg101 #45", "Bk 12 Pg102 #45", "Bk 12 Pg103 #45",
                                    "Bk 12 Pg104 #45"}));
}

TEST_F(Imprint, OnePageAndOtherModes)
{
    addPages(1);
    g_NumPages = QStringLiteral("0");
    addBookPageImprint(view(), unmarked(1));
    EXPECT_EQ(view().annotationCount(), 0);
    EXPECT_EQ(g_NumPages, QStringLiteral("1")) << "MARG goes on for one page";

    g_dbMode = MODE_NYRG;
    g_NumPages = QStringLiteral("0");
    addBookPageImprint(view(), unmarked(1));
    EXPECT_EQ(g_NumPages, QStringLiteral("0")) << "NYRG stops before anything for one page";

    view().clearImage();
    addPages(3);
    for (qint16 mode : {MODE_MALC, MODE_MALCP, MODE_NYMD, MODE_NYBR}) {
        g_dbMode = mode;
        addBookPageImprint(view(), unmarked(3));
        EXPECT_EQ(texts(), (QStringList{"", "", ""})) << "mode " << mode;
    }
}

TEST_F(Imprint, ShortCollectionRaisesToTheCaller)
{
    addPages(3);
    try {
        addBookPageImprint(view(), unmarked(2));
        FAIL() << "no error raised";
    } catch (const VbError &e) {
        EXPECT_EQ(e.number, 9);
    }
    EXPECT_EQ(texts(), (QStringList{"", "Bk 12 Pg101 #45", ""}));
}
