// E-file group texts, page imprints, cover-sheet lines and the rewrite of an e-filed document.
#include "annotate_env.h"

#include <QFile>

#include "annotate/annotfiles.h"
#include "annotate/coversheetannot.h"
#include "annotate/efileannot.h"
#include "annotate/imprintgroups.h"
#include "platform/forms/msgbox.h"

namespace {

struct Placed {
    QString text;
    QPoint topLeft;
    bool tagged;
};

class GroupEfile : public AnnotTest {
protected:
    void SetUp() override
    {
        AnnotTest::SetUp();
        g_dbMode = MODE_MARG;
    }

    static void setGroup(int group, const QString &text, const char *scope, qint16 fontSize = 10)
    {
        GroupTextInfo &g = g_GroupTextInfo[size_t(group - 1)];
        g.Text = text;
        g.PageScope = QString::fromLatin1(scope);
        g.FontSize = fontSize;
        g.MaxLen = qint16(text.length());
    }
    static ImprintStates states(int pages, int markedPage = 0)
    {
        ImprintStates s;
        for (int p = 1; p <= pages; ++p)
            s.append({QString::number(p), QVariant(qint16(p == markedPage ? 1 : 0))});
        return s;
    }
    static QList<Placed> placed(int page)
    {
        view().setPage(page);
        QList<Placed> out;
        for (int i = 0; i < view().annotationCount(); ++i) {
            QelAnnotItem *item = view().annotationObject(i);
            out.append({item->text(), item->bounds().topLeft(),
                        item->userStorage(IMPRINT_TAG_KEY).toString() == "1"});
        }
        return out;
    }
    static QStringList texts(int page)
    {
        QStringList out;
        for (const Placed &p : placed(page))
            out << p.text;
        return out;
    }

    LineMetrics metrics;
};

} // namespace

TEST_F(GroupEfile, GroupsLandAtTheirRectanglesOnFirstOrLastPage)
{
    addPages(3, 1700, 2200, 200);
    setGroup(1, "G1", "F");
    setGroup(2, "G2\r\nsecond", "L");
    setGroup(4, "G4", "X");
    g_GroupPos[0][0] = {1, 10, 30, 50, 70, 350};
    g_GroupPos[11][0] = {2, 10, 2000, 1200, 2040, 1500};
    gsGroup1FirstLine = "LABEL";
    ImprintStates s = states(3, 3);
    do_apply_annotations_electronic(s);

    const QList<Placed> first = placed(1);
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first[0].text, "G1");
    EXPECT_EQ(first[0].topLeft, QPoint(50, 30));
    EXPECT_FALSE(first[0].tagged);
    view().setPage(1);
    EXPECT_EQ(view().annotationObject(0)->font().pointSize, 10);

    // group 4 was never laid out: the zero rectangle; page 3's state keeps its imprint away
    const QList<Placed> last = placed(3);
    ASSERT_EQ(last.size(), 2);
    EXPECT_EQ(last[0].text, "G2\r\nsecond");
    EXPECT_EQ(last[0].topLeft, QPoint(1200, 2000));
    EXPECT_EQ(last[1].text, "G4");
    EXPECT_EQ(last[1].topLeft, QPoint(0, 0));
    EXPECT_EQ(texts(2), QStringList{"LABEL Page 2 of 3"});
}

TEST_F(GroupEfile, PageOfCountImprintsSitTopRight)
{
    addPages(5, 1700, 2200, 200);
    setGroup(1, "RECORDED", "F", 10);
    gsGroup1FirstLine = "RECORDED";
    g_KyCd = "A";
    ImprintStates s = states(5);
    MsgBoxScript boxes;
    do_apply_annotations_electronic(s);
    for (const auto &call : boxes.calls())
        ADD_FAILURE() << call.prompt.toStdString();
    for (int page = 2; page <= 5; ++page) {
        const QList<Placed> items = placed(page);
        ASSERT_EQ(items.size(), 1) << page;
        EXPECT_EQ(items[0].text, QString("RECORDED Page %1 of 5").arg(page));
        EXPECT_TRUE(items[0].tagged);
        // 20 letters of 11 pixels; right adjustment 140 x 1.125 = 157.5 -> 158
        EXPECT_EQ(items[0].topLeft, QPoint(1700 - (100 + 220 + 158), 30));
    }
    EXPECT_EQ(texts(1), QStringList{"RECORDED"});
}

TEST_F(GroupEfile, BookAndPageImprintsWithLettersForExtraSheetsThatStopAtZ)
{
    QStringList thirtyExtra;
    for (int page = 2; page <= 31; ++page)
        thirtyExtra << QStringLiteral("Bk 12 Pg100%1 #45").arg(QChar(u'A' + std::min(page - 2, 25)));
    struct Case {
        qint16 mode;
        const char *bookCode, *numPages;
        int pages;
        QStringList expected; // pages 2 onwards
    } cases[] = {
        {MODE_MARG, "", "3", 6,
         {"Bk 12 Pg101 #45", "Bk 12 Pg102 #45", "Bk 12 Pg102A #45", "Bk 12 Pg102B #45",
          "Bk 12 Pg102C #45"}},
        {MODE_MARG, "", "1", 3, {"Bk 12 Pg100A #45", "Bk 12 Pg100B #45"}},
        {MODE_NYRG, "X", "2", 3, {"Bk X12 Pg101 #77", "Bk X12 Pg101A #77"}},
        {MODE_MARG, "", "9", 3, {"Bk 12 Pg101 #45", "Bk 12 Pg102 #45"}},
        // No pages allotted: the group text placed first takes the page count as the allotment,
        // so no sheet counts as an extra one.
        {MODE_MARG, "", "0", 3, {"Bk 12 Pg101 #45", "Bk 12 Pg102 #45"}},
        {MODE_MARG, "", "1", 31, thirtyExtra},
    };
    for (const Case &c : cases) {
        resetState();
        g_strTempPath = dir.path() + QLatin1Char('/');
        view().clearImage();
        addPages(c.pages, 1700, 2200, 200);
        g_dbMode = c.mode;
        setGroup(1, "G1", "F", 8);
        g_KyCd = "B";
        g_Book = "00012";
        g_BookCode = c.bookCode;
        g_Page = "00100";
        g_NumPages = c.numPages;
        g_InstNum = "000045";
        g_CTLNum = "000077";
        ImprintStates s = states(c.pages);
        do_apply_annotations_electronic(s);
        QStringList got;
        for (int page = 2; page <= c.pages; ++page) {
            const QList<Placed> items = placed(page);
            ASSERT_EQ(items.size(), 1) << page;
            EXPECT_TRUE(items[0].tagged);
            got << items[0].text;
        }
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(texts(1), QStringList{"G1"});
    }
}

TEST_F(GroupEfile, NothingWithoutTextsAndNoImprintOnASinglePage)
{
    addPages(3, 1700, 2200, 200);
    ImprintStates s = states(3);
    do_apply_annotations_electronic(s);
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(texts(page).isEmpty()) << page;

    view().clearImage();
    addPages(1, 1700, 2200, 200);
    setGroup(1, "G1", "F");
    setGroup(2, "G2", "L");
    s = states(1);
    do_apply_annotations_electronic(s);
    EXPECT_EQ(texts(1), (QStringList{"G1", "G2"}));
}

TEST_F(GroupEfile, ShortImprintStateIsReportedAndEarlierTextsStay)
{
    addPages(3, 1700, 2200, 200);
    setGroup(1, "G1", "F");
    gsGroup1FirstLine = "L";
    ImprintStates s = states(2);
    MsgBoxScript boxes;
    do_apply_annotations_electronic(s);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith("Error in do_apply_annotations_electronic"));
    EXPECT_EQ(texts(2), QStringList{"L Page 2 of 3"});
    EXPECT_TRUE(texts(3).isEmpty());
}

TEST_F(GroupEfile, CoverLinesByRow)
{
    addPages(2, 1700, 2200, 200);
    g_intCoverTextFontSize = 20; // measured line height 40
    g_CoverPageLines[0] = {"", 3, "THIRD ROW"};
    g_CoverPageLines[1] = {"", 0, "NEVER"};
    g_CoverPageLines[2] = {"", 1, ""};
    g_CoverPageLines[5] = {"", 1, "FIRST"};
    g_CoverPageLines[29] = {"", 3, "SAME ROW"};
    MsgBoxScript boxes;
    EXPECT_FALSE(do_apply_annotations_electronic_coversheet(view()).isValid());
    const QList<Placed> items = placed(1);
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].text, "THIRD ROW");
    EXPECT_EQ(items[0].topLeft, QPoint(250, 180));
    EXPECT_EQ(items[1].text, "FIRST");
    EXPECT_EQ(items[1].topLeft, QPoint(250, 60));
    EXPECT_EQ(items[2].topLeft, QPoint(250, 180));
    view().setPage(1);
    EXPECT_EQ(view().annotationObject(0)->font().pointSize, 20);
    EXPECT_TRUE(texts(2).isEmpty());

    // thirty empty lines add nothing
    view().setPage(1);
    view().annotationSet()->clear();
    for (CoverPageLine &line : g_CoverPageLines)
        line = {};
    do_apply_annotations_electronic_coversheet(view());
    EXPECT_TRUE(texts(1).isEmpty());
    EXPECT_TRUE(boxes.calls().isEmpty());
}

namespace {

class EfileProcess : public GroupEfile {
protected:
    void SetUp() override
    {
        GroupEfile::SetUp();
        // A three-page document, 1701 pixels wide: page 1 with a note, page 2 with an earlier
        // imprint and a note, page 3 bare.
        addPages(3, 1701, 2200, 200);
        addItem(1, QelAnnotType::Text, QRect(10, 10, 50, 20), "NOTE ONE");
        addItem(2, QelAnnotType::Text, QRect(1500, 30, 60, 20), "OLD IMPRINT")
            ->setUserStorage(IMPRINT_TAG_KEY, QVariant(qint16(1)));
        addItem(2, QelAnnotType::Text, QRect(10, 10, 50, 20), "NOTE TWO");
        path = dir.filePath("efile.tif");
        view().setSaveFileName(path);
        view().setAnnotationOption(1);
        view().save();
        view().setSaveFileName(QString());
        view().setImageFile(path);

        setGroup(1, "GROUP ONE", "F");
        gsGroup1FirstLine = "LABEL";
        g_KyCd = "A";
        g_GroupPos[0][0] = {1, 10, 40, 60, 60, 160};
    }
    QVariant run(bool parking, bool cover = false)
    {
        return do_process_efile_annotations(view(), *frmMain().ezTreeView, parking, QVariant(cover));
    }
    bool parked(int page) const { return QFile::exists(annotationSetFile(ANN_FILE_STORE, page)); }

    QString path;
};

} // namespace

TEST_F(EfileProcess, ParkedAnnotationsClearedImageAlignedAndGroupsLaid)
{
    MsgBoxScript boxes;
    EXPECT_EQ(run(true), QVariant(true));
    for (const auto &call : boxes.calls())
        ADD_FAILURE() << call.prompt.toStdString();
    EXPECT_TRUE(g_blnByteAligned);
    EXPECT_EQ(view().imageFile(), path);
    EXPECT_EQ(view().pageCount(), 3);
    view().setPage(3);
    EXPECT_EQ(view().imageWidth(), 1704);

    EXPECT_TRUE(parked(1));
    EXPECT_TRUE(parked(2));
    EXPECT_FALSE(parked(3));
    EXPECT_TRUE(QFile::exists(g_strTempPath + "tempprocessannotate.tif"));
    EXPECT_TRUE(QFile::exists(g_strTempPath + "temp5.tif"));

    // old notes are gone; page 2 kept its parked imprint, so only page 3 gets a new one
    EXPECT_EQ(texts(1), QStringList{"GROUP ONE"});
    EXPECT_EQ(placed(1)[0].topLeft, QPoint(60, 40));
    EXPECT_TRUE(texts(2).isEmpty());
    EXPECT_EQ(texts(3), QStringList{"LABEL Page 3 of 3"});

    // the file on disk holds the new state, and the parked set loads back
    QelEzImage other;
    other.setImageFile(path);
    other.setPage(1);
    ASSERT_EQ(other.annotationCount(), 1);
    EXPECT_EQ(other.annotationObject(0)->text(), "GROUP ONE");
    view().setPage(2);
    view().loadAnnotations(annotationSetFile(ANN_FILE_STORE, 2));
    EXPECT_EQ(texts(2), (QStringList{"OLD IMPRINT", "NOTE TWO"}));
}

TEST_F(EfileProcess, WithoutParkingAnnotationsAreDroppedAndEveryPageMayGetAnImprint)
{
    QFile stale(annotationSetFile(ANN_FILE_STORE, 2));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("stale");
    stale.close();
    QFile bare(annotationSetFile(ANN_FILE_STORE, 3));
    ASSERT_TRUE(bare.open(QIODevice::WriteOnly));
    bare.write("stale");
    bare.close();

    EXPECT_EQ(run(false, true), QVariant(true));
    EXPECT_FALSE(parked(1));
    EXPECT_FALSE(parked(2)); // the page had annotations: its stale file went
    EXPECT_TRUE(parked(3));  // a bare page leaves its file alone
    EXPECT_EQ(texts(1), QStringList{"GROUP ONE"});
    EXPECT_EQ(texts(2), QStringList{"LABEL Page 2 of 3"});
    EXPECT_EQ(texts(3), QStringList{"LABEL Page 3 of 3"});
}

TEST_F(EfileProcess, CoverLinesGoOnPageOneWhenAsked)
{
    g_intCoverTextFontSize = 10;
    g_CoverPageLines[0] = {"", 2, "COVER"};
    EXPECT_EQ(run(true, true), QVariant(true));
    EXPECT_EQ(texts(1), (QStringList{"COVER", "GROUP ONE"}));
    EXPECT_EQ(placed(1)[0].topLeft, QPoint(250, 80)); // 2 x (20 + 20)
}

TEST_F(EfileProcess, NoGroupTextsLeaveTheDocumentAsLoaded)
{
    for (GroupTextInfo &g : g_GroupTextInfo)
        g.Text.clear();
    QFile old(g_strTempPath + "temp5.tif");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    EXPECT_EQ(run(true), QVariant(true));
    EXPECT_FALSE(QFile::exists(g_strTempPath + "temp5.tif"));
    EXPECT_FALSE(parked(1));
    EXPECT_EQ(texts(1), QStringList{"NOTE ONE"});
    EXPECT_EQ(texts(2), (QStringList{"OLD IMPRINT", "NOTE TWO"}));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    view().setPage(1);
    EXPECT_EQ(view().imageWidth(), 1701);
}

TEST_F(EfileProcess, FailureIsReportedWithAnEmptyResult)
{
    view().clearImage();
    MsgBoxScript boxes;
    EXPECT_FALSE(run(true).isValid());
    ASSERT_FALSE(boxes.calls().isEmpty());
    EXPECT_TRUE(boxes.calls().last().prompt.startsWith("Error in do_process_efile_annotations"));
}
