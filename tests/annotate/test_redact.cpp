// The redaction editor and the print preview, driven the way the operator drives them.
#include <QAction>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "annotate/frmImagePrintPreview.h"
#include "annotate/frmImageRedaction.h"
#include "annotate/security.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"

namespace {

QImage whitePage(int width, int height)
{
    QImage page(width, height, QImage::Format_Mono);
    page.fill(1);
    page.setDotsPerMeterX(7874);
    page.setDotsPerMeterY(7874);
    return page;
}

struct Item {
    int page;
    int type;
    QRect bounds;
};

// A TIFF of `pages` white pages of 400 x 600 with the items stored as annotations.
void writeDocument(const QString &path, int pages, const QList<Item> &items = {})
{
    QelEzImage c;
    for (int i = 0; i < pages; ++i)
        c.appendPage(whitePage(400, 600));
    for (const Item &it : items) {
        c.setPage(it.page);
        auto item = it.type == QelAnnotType::Text ? std::make_unique<QelAnnotTextItem>()
                                                  : std::make_unique<QelAnnotItem>(it.type);
        item->setBounds(it.bounds);
        if (it.type == QelAnnotType::Text)
            item->setText(QStringLiteral("TEXT"));
        c.annotationSet()->setSecurity(nullptr);
        ASSERT_TRUE(c.annotationSet()->add(std::move(item)));
    }
    c.setSaveFileName(path);
    c.setAnnotationOption(1);
    c.save();
}

// Items of each page of a stored file, by type.
QList<QList<int>> storedTypes(const QString &path)
{
    QelEzImage c;
    c.setImageFile(path);
    QList<QList<int>> out;
    for (int p = 1; p <= c.pageCount(); ++p) {
        c.setPage(p);
        QList<int> types;
        for (int i = 0; i < c.annotationCount(); ++i)
            types << c.item(i)->type();
        out << types;
    }
    return out;
}

template <class Handler> bool pageHandlerIs(QelEzImage &view, int page)
{
    view.setPage(page);
    return dynamic_cast<Handler *>(view.annotationSet()->security()) != nullptr;
}

class RedactTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        resetState();
        g_strTempPath = dir.path() + QLatin1Char('/');
        gsRedactCropped = QStringLiteral("N");
        file = dir.filePath(QStringLiteral("tempredact.tif"));
        boxes = std::make_unique<MsgBoxScript>();
    }
    void TearDown() override
    {
        if (editor) {
            editor->QelEzImage2->clearImage();
            delete editor;
        }
        if (preview) {
            preview->QelEzImage2->clearImage();
            delete preview;
        }
        QelPrintSeam::instance() = QelPrintSeam{};
        boxes.reset();
        resetState();
    }

    FrmImageRedaction &openEditor(bool restricted = false)
    {
        editor = new FrmImageRedaction;
        editor->Load();
        editor->setImageFile(file);
        editor->SetupRedaction(0, restricted, QVariant());
        return *editor;
    }

    FrmImagePrintPreview &openPreview()
    {
        preview = new FrmImagePrintPreview;
        preview->Load();
        preview->setImageFile(file);
        preview->SetupPrintPreview();
        return *preview;
    }

    // Shows the editor and returns a mapping from page pixels to page-view widget points.
    std::function<QPoint(int, int)> showEditor()
    {
        editor->resize(900, 900);
        editor->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(editor));
        area = editor->QelEzImage2->findChild<QWidget *>(QStringLiteral("pageArea"));
        EXPECT_NE(area, nullptr);
        const double s = editor->QelEzImage2->scaleRatio();
        const QPointF origin((area->width() - 400 * s) / 2, (area->height() - 600 * s) / 2);
        return [origin, s](int x, int y) { return (origin + QPointF(x, y) * s).toPoint(); };
    }

    void drag(QPoint a, QPoint b)
    {
        QTest::mousePress(area, Qt::LeftButton, {}, a);
        QTest::mouseMove(area, b);
        QTest::mouseRelease(area, Qt::LeftButton, {}, b);
        QCoreApplication::processEvents();
    }

    QStringList prompts() const
    {
        QStringList out;
        for (const MsgBoxCall &c : boxes->calls())
            out << c.prompt;
        return out;
    }

    QTemporaryDir dir;
    QString file;
    std::unique_ptr<MsgBoxScript> boxes;
    FrmImageRedaction *editor = nullptr;
    FrmImagePrintPreview *preview = nullptr;
    QWidget *area = nullptr;
};

const QString kSaveQuestion = QStringLiteral(
    "Annotations have been added, changed, or deleted.  Would you like to save these changes?");
const QString kCropQuestion = QStringLiteral(
    "Are you sure you want to Crop this image?  Any annotations outside the cropped area will be lost.");

} // namespace

// Restricted, the first page gets selection rights only and the others full rights; the flag kept
// is the last page's, and a later seeding of unset bytes goes by it.
TEST_F(RedactTest, SetupRestrictsOnlyTheFirstPageAndInstallsRedactHandlers)
{
    for (const int pages : {3, 1}) {
        SCOPED_TRACE(pages);
        writeDocument(file, pages);
        FrmImageRedaction &ed = openEditor(true);
        QelEzImage &view = *ed.QelEzImage2;
        ASSERT_EQ(view.pageCount(), pages);
        EXPECT_EQ(view.page(), 1);
        for (int page = 1; page <= pages; ++page) {
            view.setPage(page);
            for (int type : {QelAnnotType::Redaction, QelAnnotType::Text, QelAnnotType::Rectangle})
                EXPECT_EQ(AnnotPerms::GetPerm(view.annotationSet(), type), page == 1 ? 16 : 255)
                    << "page " << page << " type " << type;
            EXPECT_TRUE(pageHandlerIs<ItemSecurityRedact>(view, page)) << page;
            EXPECT_FALSE(view.annotationSet()->isModified()) << "seeding is no edit";
        }
        EXPECT_EQ(ed.restrictedFlag(), pages == 1);
        EXPECT_EQ(ed.QelEzImage1->pageCount(), pages) << "the strip shows the same document";
        EXPECT_FALSE(view.cropAllPages());
        EXPECT_TRUE(boxes->calls().isEmpty()) << prompts().join('|').toStdString();

        // Unset bytes are seeded by the flag, set bytes stay; each page gets a plain ItemSecurity.
        view.setPage(pages);
        qint32 zero = 0;
        AnnotPerms::SetPerm(view.annotationSet(), QelAnnotType::Text, zero);
        EXPECT_TRUE(ed.redact_set_annotation_security());
        view.setPage(1);
        EXPECT_EQ(AnnotPerms::GetPerm(view.annotationSet(), QelAnnotType::Redaction), 16);
        view.setPage(pages);
        EXPECT_EQ(AnnotPerms::GetPerm(view.annotationSet(), QelAnnotType::Text), pages == 1 ? 16 : 255);
        for (int page = 1; page <= pages; ++page) {
            EXPECT_TRUE(pageHandlerIs<ItemSecurity>(view, page));
            EXPECT_FALSE(pageHandlerIs<ItemSecurityRedact>(view, page));
        }
        // The free procedure reaches the editor through a plain widget, and nothing else.
        EXPECT_TRUE(redact_set_annotation_security(&ed));
        QWidget other;
        EXPECT_FALSE(redact_set_annotation_security(&other));
        view.clearImage();
        delete std::exchange(editor, nullptr);
    }
}

TEST_F(RedactTest, InitPermRedactSetsOnlyUnsetBytes)
{
    writeDocument(file, 1);
    FrmImageRedaction &ed = openEditor();
    const struct {
        int before, after;
    } cases[] = {{0, 255}, {16, 16}, {255, 255}, {3, 3}};
    for (const auto &c : cases) {
        QelAnnotDocument doc;
        qint32 v = c.before;
        AnnotPerms::SetPerm(&doc, 2, v);
        ed.InitPermRedact(&doc, 2);
        EXPECT_EQ(AnnotPerms::GetPerm(&doc, 2), c.after) << c.before;
    }
    // No document: nothing to seed, nothing reported.
    ed.InitPermRedact(nullptr, 7);
    EXPECT_TRUE(boxes->calls().isEmpty());
}

// A drawn redaction and the save question on leaving: Yes saves it with its colour and marks the
// document unstored, No drops it and leaves the mark as it was.
TEST_F(RedactTest, DrawnRedactionIsSavedOnYesAndDroppedOnNo)
{
    for (const int answer : {vb::vbNo, vb::vbYes}) {
        const bool yes = answer == vb::vbYes;
        SCOPED_TRACE(yes ? "Yes" : "No");
        writeDocument(file, 2);
        g_RedactionDefaultFillColor = 0x000000;
        g_blnPromptStore = !yes; // No must not clear it
        boxes->clear();
        FrmImageRedaction &ed = openEditor();
        auto at = showEditor();
        ed.btnAnnRedactControl->click();
        drag(at(100, 100), at(300, 200));
        QelEzImage &view = *ed.QelEzImage2;
        ASSERT_EQ(view.annotationCount(), 1);
        EXPECT_EQ(view.item(0)->type(), QelAnnotType::Redaction);
        EXPECT_EQ(view.item(0)->fillColor(), 0x000000u);
        EXPECT_EQ(view.regionCount(), 0) << "drawing an item is no region";
        EXPECT_FALSE(ed.btnCrop->isEnabled());

        boxes->answer(answer);
        ed.mnuRedactionExit->trigger();
        ASSERT_EQ(prompts(), QStringList{kSaveQuestion});
        EXPECT_EQ(boxes->calls()[0].buttonSet(), vb::vbYesNo);
        EXPECT_EQ(boxes->calls()[0].title, QStringLiteral("The Korvane Scan Tool - Image Redaction Annotation Save"));
        EXPECT_EQ(gsRedactCropped, yes ? QStringLiteral("Y") : QStringLiteral("N"));
        EXPECT_TRUE(g_blnPromptStore);
        EXPECT_FALSE(ed.isVisible());
        EXPECT_EQ(view.pageCount(), 0) << "the document is closed on leaving";
        EXPECT_EQ(storedTypes(file), (QList<QList<int>>{yes ? QList<int>{QelAnnotType::Redaction} : QList<int>{}, {}}));
        delete std::exchange(editor, nullptr);
    }

    // Saved with burn-in, as the caller takes it over: the covered pixels are black.
    QelEzImage taken;
    taken.setImageFile(file);
    taken.setAnnotationOption(0);
    const QString burnt = dir.filePath(QStringLiteral("burnt.tif"));
    taken.setSaveFileName(burnt);
    taken.save();
    taken.clearImage();
    QelEzImage check;
    check.setImageFile(burnt);
    const QImage page = check.pageImage();
    EXPECT_EQ(qGray(page.pixel(200, 150)), 0);
    EXPECT_EQ(qGray(page.pixel(50, 50)), 255);
    EXPECT_EQ(qGray(page.pixel(200, 400)), 255);
}

TEST_F(RedactTest, SaveQueryAnswers)
{
    writeDocument(file, 2);
    FrmImageRedaction &ed = openEditor();
    struct Case {
        const char *name;
        int format;
        bool region;
        int answer; // 0: no question expected
        int action, formatAfter;
        QString cropped;
        int promptStore; // -1: as it was before
    };
    const Case cases[] = {
        {"non-TIFF", 1, false, 0, 0, 1, QStringLiteral("keep"), -1},
        {"asked yes", 3, false, vb::vbYes, 2, 3, QStringLiteral("Y"), 1},
        {"asked no", 3, false, vb::vbNo, 3, 3, QStringLiteral("N"), -1},
        {"region drawn", 3, true, 0, 2, 3, QStringLiteral("Y"), 1}, // the flag stays from here on
    };
    for (const Case &c : cases)
    for (const bool before : {false, true}) {
        SCOPED_TRACE(before ? "not stored before" : "stored before");
        boxes->clear();
        gsRedactCropped = QStringLiteral("keep");
        g_blnPromptStore = before;
        ed.QelEzImage2->setPage(2);
        if (c.region)
            ed.QelEzImage2_RegionChange(1);
        if (c.answer)
            boxes->answer(c.answer);
        qint32 action = 99, format = c.format;
        ed.QelEzImage2_AnnotationQuerySave(action, format);
        EXPECT_EQ(action, c.action) << c.name;
        EXPECT_EQ(format, c.formatAfter) << c.name;
        EXPECT_EQ(gsRedactCropped, c.cropped) << c.name;
        EXPECT_EQ(g_blnPromptStore, c.promptStore < 0 ? before : c.promptStore == 1) << c.name;
        ASSERT_EQ(boxes->calls().size(), c.region ? 0 : 1) << c.name;
        if (c.format == 1) {
            EXPECT_EQ(boxes->calls()[0].prompt,
                      QStringLiteral("We are unable to save Redaction Annotations for Non-TIFF Image files.  Press "
                                     "OK to cancel Redaction processing and contact your system administrator."));
        }
        if (c.action == 2) {
            EXPECT_EQ(ed.QelEzImage2->page(), 1) << c.name;
        }
    }
}

TEST_F(RedactTest, RegionCropNoThenYes)
{
    writeDocument(file, 2, {{1, QelAnnotType::Redaction, QRect(20, 20, 40, 40)}});
    FrmImageRedaction &ed = openEditor();
    auto at = showEditor();
    drag(at(40, 40), at(240, 340));
    QelEzImage &view = *ed.QelEzImage2;
    ASSERT_EQ(view.regionCount(), 1);
    EXPECT_TRUE(ed.btnCrop->isEnabled());
    EXPECT_TRUE(ed.regionFlag());
    const QRect region = view.currentRegion();

    boxes->answer(vb::vbNo);
    ed.btnCrop->click();
    ASSERT_EQ(prompts(), QStringList{kCropQuestion});
    EXPECT_EQ(boxes->calls()[0].title, QStringLiteral("The Korvane Scan Tool - Image Crop"));
    EXPECT_EQ(view.regionCount(), 1);
    EXPECT_EQ(gsRedactCropped, QStringLiteral("N"));
    EXPECT_EQ(view.imageWidth(), 400);

    boxes->clear();
    boxes->answer(vb::vbYes);
    ed.QelEzImage2_DblClick(); // the same as the button while a region exists
    EXPECT_EQ(prompts(), QStringList{kCropQuestion});
    EXPECT_EQ(gsRedactCropped, QStringLiteral("Y"));
    EXPECT_EQ(view.regionCount(), 0);
    EXPECT_FALSE(ed.btnCrop->isEnabled());
    EXPECT_FALSE(ed.regionFlag());
    ASSERT_EQ(view.pageCount(), 2);
    view.setPage(1);
    EXPECT_NEAR(view.imageWidth(), region.width(), 8) << "byte-aligned crop of page 1";
    EXPECT_NEAR(view.imageHeight(), region.height(), 8);
    view.setPage(2);
    EXPECT_EQ(view.imageWidth(), 400) << "crop-all was off";

    // The crop cleared the region flag: leaving the editor its own way asks the save question.
    boxes->clear();
    boxes->answer(vb::vbNo);
    g_blnPromptStore = false;
    ed.mnuRedactionExit->trigger();
    EXPECT_EQ(prompts(), QStringList{kSaveQuestion});
    EXPECT_EQ(gsRedactCropped, QStringLiteral("N")) << "a later No takes the crop back";
    EXPECT_FALSE(g_blnPromptStore) << "a stored document stays stored";
    EXPECT_FALSE(ed.isVisible());
}

TEST_F(RedactTest, DoubleClickDeleteKeyAndCropAll)
{
    writeDocument(file, 1);
    FrmImageRedaction &ed = openEditor();
    QelEzImage &view = *ed.QelEzImage2;

    ed.QelEzImage2_DblClick();
    EXPECT_TRUE(boxes->calls().isEmpty()) << "no region, no question";

    view.addRegion(QRect(10, 10, 50, 50));
    view.addRegion(QRect(100, 100, 50, 50));
    ed.QelEzImage2_RegionChange(1);
    int key = vb::vbKeyDelete;
    ed.Form_KeyDown(key, 0);
    EXPECT_EQ(view.regionCount(), 0);
    EXPECT_FALSE(ed.btnCrop->isEnabled());
    EXPECT_TRUE(ed.regionFlag()) << "the Delete key leaves the flag";
    for (int kind : {0, 2, 3, 4, 5}) {
        ed.QelEzImage2_RegionChange(kind);
        EXPECT_FALSE(ed.btnCrop->isEnabled()) << kind;
    }

    ed.mnuOptionCropAll->trigger();
    EXPECT_TRUE(ed.cropAll());
    EXPECT_TRUE(ed.mnuOptionCropAll->isChecked());
    EXPECT_TRUE(view.cropAllPages());
    EXPECT_TRUE(ed.QelEzImage1->cropAllPages());
    ed.mnuOptionCropAll->trigger();
    EXPECT_FALSE(ed.cropAll());
    EXPECT_FALSE(ed.mnuOptionCropAll->isChecked());
    EXPECT_FALSE(view.cropAllPages());
    EXPECT_FALSE(ed.QelEzImage1->cropAllPages());
}

TEST_F(RedactTest, StickyModeSelectAndDeleteSelected)
{
    writeDocument(file, 1, {{1, QelAnnotType::Redaction, QRect(20, 20, 40, 40)}});
    FrmImageRedaction &ed = openEditor();
    QelEzImage &view = *ed.QelEzImage2;
    ed.mnuOptionSticky->trigger();
    EXPECT_TRUE(view.annotationToolObject().sticky());
    EXPECT_TRUE(ed.mnuOptionSticky->isChecked()) << "the mark follows the tool";
    ed.mnuOptionSticky->trigger();
    EXPECT_FALSE(view.annotationToolObject().sticky());
    EXPECT_FALSE(ed.mnuOptionSticky->isChecked());

    ed.btnAnnRedactControl->click();
    EXPECT_NE(view.annotationToolObject().templateItem(), nullptr);
    ed.btnAnnSelectControl->click();
    EXPECT_EQ(view.annotationToolObject().templateItem(), nullptr);

    view.selectItem(view.item(0));
    ed.mnuEditDelete->trigger();
    EXPECT_EQ(view.annotationCount(), 0) << "full rights on a redaction item allow removing it";
}

// ---- print preview -------------------------------------------------------------------------------

TEST_F(RedactTest, PreviewMarksFollowThePrintScale)
{
    writeDocument(file, 1);
    const struct {
        int scale;
        bool fit, size, pixels;
    } cases[] = {{0, true, false, false}, {1, false, true, false}, {2, false, false, true}, {7, false, false, false}};
    for (const auto &c : cases) {
        g_intDefaultPrintScale = qint16(c.scale);
        FrmImagePrintPreview &p = openPreview();
        EXPECT_EQ(p.mnuPrintPagesFitPage->isChecked(), c.fit) << c.scale;
        EXPECT_EQ(p.mnuPrintPagesActualSize->isChecked(), c.size) << c.scale;
        EXPECT_EQ(p.mnuPrintPagesActualPixels->isChecked(), c.pixels) << c.scale;
        // Choosing the other two changes nothing.
        p.mnuPrintPagesActualPixels->trigger();
        EXPECT_EQ(p.mnuPrintPagesActualPixels->isChecked(), c.pixels) << c.scale;
        p.QelEzImage2->clearImage();
        delete preview;
        preview = nullptr;
    }
}

TEST_F(RedactTest, PreviewPrintsThroughTheStripAndSetupDecides)
{
    writeDocument(file, 2);
    g_intDefaultPrintScale = 1;
    int prints = 0;
    int setupAnswer = -4526;
    QelPrintSeam::instance().configure = [&](QPrinter &printer) {
        ++prints;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("out%1.pdf").arg(prints)));
    };
    QelPrintSeam::instance().setupDialog = [&](QPrinter &) { return setupAnswer; };
    FrmImagePrintPreview &p = openPreview();
    EXPECT_EQ(p.caption(), QStringLiteral("Korvane Scan Tool - Image Print Preview"));
    ASSERT_EQ(p.QelEzImage1->pageCount(), 2);

    p.mnuPrintPagesFitPage->trigger();
    EXPECT_EQ(prints, 1);
    EXPECT_EQ(p.QelEzImage1->printScale(), 1);
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("out1.pdf"))).size(), 0);
    EXPECT_EQ(p.QelEzImage2->pageCount(), 2) << "the window stays open";

    p.mnuPrintPrintSetup->trigger();
    EXPECT_EQ(prints, 1) << "a refused set-up prints nothing";
    EXPECT_EQ(p.QelEzImage2->pageCount(), 2);

    setupAnswer = 0;
    p.Toolbar1_ButtonClick(1);
    EXPECT_EQ(prints, 2);
    EXPECT_EQ(p.QelEzImage2->pageCount(), 0) << "a confirmed set-up prints and leaves";
    EXPECT_TRUE(boxes->calls().isEmpty()) << prompts().join('|').toStdString();
}

TEST_F(RedactTest, PreviewSeedsTextForSelectionOnlyAndRedactionFully)
{
    writeDocument(file, 1,
                  {{1, QelAnnotType::Text, QRect(10, 10, 100, 30)},
                   {1, QelAnnotType::Redaction, QRect(10, 100, 100, 30)}});
    FrmImagePrintPreview &p = openPreview();
    QelEzImage &view = *p.QelEzImage2;
    QelAnnotDocument *doc = view.annotationSet();
    EXPECT_EQ(AnnotPerms::GetPerm(doc, QelAnnotType::Redaction), 255);
    EXPECT_EQ(AnnotPerms::GetPerm(doc, QelAnnotType::Text), 16);
    EXPECT_EQ(AnnotPerms::GetPerm(doc, QelAnnotType::Rectangle), 0) << "type 11 untouched";
    EXPECT_TRUE(pageHandlerIs<ItemSecurityRedact>(view, 1));

    QelAnnotItem *text = view.item(0);
    QelAnnotItem *redaction = view.item(1);
    text->moveTo(50, 50);
    EXPECT_EQ(text->bounds().topLeft(), QPoint(10, 10)) << "a text item cannot be moved";
    redaction->moveTo(50, 200);
    EXPECT_EQ(redaction->bounds().topLeft(), QPoint(50, 200));

    // Double-click: nothing without the left button; with it every item is selected.
    p.QelEzImage2_MouseDown(2, 0, 0, 0);
    EXPECT_FALSE(g_MouseButtons[0]);
    EXPECT_TRUE(g_MouseButtons[2]);
    p.QelEzImage2_DblClick();
    EXPECT_TRUE(view.selectedItems().isEmpty());
    p.QelEzImage2_MouseDown(1, 1 | 2 | 4, 0, 0);
    EXPECT_EQ(g_MouseButtons, (std::array<bool, 6>{true, false, false, true, true, true}));
    p.QelEzImage2_DblClick();
    EXPECT_EQ(view.selectedItems().size(), 2);
}
