// Print and redact entry points: the page view's document goes back into its working file, the
// preview or editor gets a copy, and the working file is shown again afterwards.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QPrinter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include "annotate/frmImagePrintPreview.h"
#include "annotate/frmImageRedaction.h"
#include "annotate/security.h"
#include "capture/printredact.h"
#include "capture_env.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/vb/vberror.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"

namespace {

QImage blankPage(int width, int height)
{
    QImage img(width, height, QImage::Format_Mono);
    img.fill(1);
    img.setDotsPerMeterX(7874);
    img.setDotsPerMeterY(7874);
    return img;
}

void writeTiff(const QString &path, int pages)
{
    QelEzImage maker;
    for (int i = 0; i < pages; ++i)
        maker.appendPage(blankPage(1728, 400));
    maker.setSaveFileName(path);
    maker.save();
}

struct FileContent {
    int pages = 0;
    int itemsOnPage1 = 0;
};

FileContent contentOf(const QString &path)
{
    QelEzImage probe;
    probe.setImageFile(path);
    FileContent c;
    c.pages = probe.pageCount();
    if (c.pages > 0) {
        probe.setPage(1);
        c.itemsOnPage1 = probe.annotationCount();
    }
    return c;
}

class PrintRedactTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        frmMain();  // its first load starts the program, which sets the globals up
        resetState();
        QDir(dir.path()).mkpath(QStringLiteral("temp"));
        g_strTempPath = dir.filePath(QStringLiteral("temp")) + u'/';
        msg = std::make_unique<MsgBoxScript>();
        script = std::make_unique<FormScript>();
        QelPrintSeam::instance().configure = [this](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath(QStringLiteral("out.pdf")));
        };
    }

    void TearDown() override
    {
        QelPrintSeam::instance() = QelPrintSeam{};
        frmMain().ezTreeView->clearImage();
        frmMain().ezPageView->clearImage();
        script.reset();
        msg.reset();
        resetState();
    }

    // A document of `pages` pages shown from working file `name`, with one item drawn on page 1
    // since it was loaded (not yet in the file).
    void showDocument(const QString &name, int pages)
    {
        QelEzImage &view = *frmMain().ezPageView;
        QelEzImage &tree = *frmMain().ezTreeView;
        work = g_strTempPath + name;
        writeTiff(work, pages);
        view.clearImage();
        view.setImageFile(work);
        tree.setImageHandle(view.imageHandle());
        view.setPage(1);
        QelAnnotItem *item = view.createAnnotation(QelAnnotType::Rectangle);
        ASSERT_NE(item, nullptr);
        item->setBounds(QRect(10, 10, 40, 20));
    }

    bool print(int useDefault)
    {
        return do_print_button_click(*frmMain().ezPageView, *frmMain().ezTreeView, useDefault);
    }
    bool redact() { return do_redact_button_click(*frmMain().ezPageView, *frmMain().ezTreeView); }

    QTemporaryDir dir;
    QString work;
    std::unique_ptr<MsgBoxScript> msg;
    std::unique_ptr<FormScript> script;
};

TEST_F(PrintRedactTest, UnsavedPaperDocumentIsNotPrinted)
{
    showDocument(QStringLiteral("temp.tif"), 2);
    g_blnPromptStore = true;
    EXPECT_TRUE(print(1));
    ASSERT_EQ(msg->calls().size(), 1);
    EXPECT_EQ(msg->calls()[0].prompt,
              "This manually scanned document has unsaved changes that need to be saved before "
              "printing.  Please store the document before attempting to print.");
    EXPECT_EQ(msg->calls()[0].buttonSet(), vb::vbOKCancel);
    EXPECT_EQ(msg->calls()[0].title, "The Korvane Scan Tool");
    EXPECT_FALSE(QFile::exists(g_strTempPath + "temp2.tif"));
    EXPECT_FALSE(QFile::exists(dir.filePath("out.pdf")));
    EXPECT_EQ(frmMain().ezPageView->pageCount(), 2);
}

TEST_F(PrintRedactTest, DefaultPrinterPrintsWithoutThePreview)
{
    showDocument(QStringLiteral("temp3.tif"), 3);
    gdtCurrentDocType = 1;  // e-filed: unsaved changes do not stop the print
    g_blnPromptStore = true;
    g_intDefaultPrintScale = 2;
    int itemsInPrintCopy = -1;
    QelPrintSeam::instance().configure = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("out.pdf")));
        itemsInPrintCopy = contentOf(g_strTempPath + "tempprintpreview2.tif").itemsOnPage1;
    };
    ASSERT_TRUE(print(1));
    EXPECT_TRUE(msg->calls().isEmpty());
    EXPECT_TRUE(script->calls().isEmpty());
    EXPECT_GT(QFileInfo(dir.filePath("out.pdf")).size(), 0);
    EXPECT_EQ(frmMain().ezTreeView->printScale(), 2);
    // the print copy carries the drawn item burnt in and is gone afterwards; the working file
    // keeps the item as an item
    EXPECT_EQ(itemsInPrintCopy, 0);
    EXPECT_FALSE(QFileInfo::exists(g_strTempPath + "tempprintpreview2.tif"));
    EXPECT_FALSE(QFileInfo::exists(g_strTempPath + "temp2.tif"));
    const FileContent saved = contentOf(work);
    EXPECT_EQ(saved.pages, 3);
    EXPECT_EQ(saved.itemsOnPage1, 1);
    QelEzImage &view = *frmMain().ezPageView;
    EXPECT_EQ(view.imageFile(), work);
    EXPECT_EQ(view.pageCount(), 3);
    EXPECT_EQ(view.saveFileName(), "");
}

TEST_F(PrintRedactTest, PreviewGetsThePrintCopyUnderTheDatabaseName)
{
    struct Row {
        qint16 mode;
        const char *suffix;
    } rows[] = {{MODE_NYCR, ": New York Court Records"},
                {MODE_MACC, ": Massachusetts Land Court Certificate"},
                {13, ": "}};
    for (const Row &r : rows) {
        showDocument(QStringLiteral("temp.tif"), 2);
        g_dbMode = r.mode;
        QString caption, file, owner;
        QPointer<Form> preview;
        script->clear();
        script->onShow(QStringLiteral("frmImagePrintPreview"), [&](Form &f) {
            caption = f.caption();
            file = static_cast<FrmImagePrintPreview &>(f).ImageFile();
            preview = &f;
        });
        ASSERT_TRUE(print(0));
        EXPECT_TRUE(preview.isNull()) << "the preview is deleted once it closed";
        ASSERT_EQ(script->calls().size(), 1);
        EXPECT_EQ(script->calls()[0].owner, "frmMain");
        EXPECT_TRUE(caption.endsWith(QString::fromLatin1(r.suffix))) << caption.toStdString();
        EXPECT_FALSE(caption.startsWith(": ")) << caption.toStdString();
        EXPECT_EQ(file, g_strTempPath + "tempprintpreview2.tif");
        EXPECT_EQ(frmMain().ezPageView->imageFile(), work);
        EXPECT_EQ(contentOf(work).itemsOnPage1, 1);
    }
    // the preview is gone once it closed
    for (Form *f : Forms())
        EXPECT_NE(f->objectName(), "frmImagePrintPreview");
}

TEST_F(PrintRedactTest, FailuresWhilePrinting)
{
    struct Row {
        int number;
        bool ends;
        const char *prompt;
        int icon;
    } rows[] = {
        {int(0x80010108u), true,
         "The application encountered an unrecoverable error while processing you request.  Please "
         "restart the application and try your requestion again.",
         vb::vbCritical},
        {30012, false, "Error in do_print_button_click at line 5", vb::vbCritical},
    };
    const auto savedEnd = coreHooks().endProcess;
    for (const Row &r : rows) {
        showDocument(QStringLiteral("temp.tif"), 1);
        msg->clear();
        int ended = -1;
        coreHooks().endProcess = [&](int code) { ended = code; };
        QelPrintSeam::instance().configure = [&](QPrinter &) { throw VbError(r.number, QStringLiteral("gone")); };
        EXPECT_FALSE(print(1));
        ASSERT_EQ(msg->calls().size(), 1);
        EXPECT_TRUE(msg->calls()[0].prompt.startsWith(QString::fromLatin1(r.prompt))) << msg->calls()[0].prompt.toStdString();
        EXPECT_EQ(msg->calls()[0].icon(), r.icon);
        EXPECT_EQ(ended, r.ends ? 1 : -1); // the store's handler ends the same way
        // the document is shown again from its working file
        EXPECT_EQ(frmMain().ezPageView->pageCount(), 1);
        EXPECT_EQ(frmMain().ezPageView->imageFile(), work);
    }
    coreHooks().endProcess = savedEnd;
}

TEST_F(PrintRedactTest, WorkingFileNamedLikeThePrintWorkFileSurvives)
{
    showDocument(QStringLiteral("temp2.tif"), 2);
    ASSERT_TRUE(print(1));
    EXPECT_EQ(contentOf(work).pages, 2);
    EXPECT_EQ(frmMain().ezPageView->pageCount(), 2);

    // A working file named like one of the copies survives a failed print too.
    showDocument(QStringLiteral("resize.tif"), 2);
    QelPrintSeam::instance().configure = [](QPrinter &) { throw VbError(30012, QStringLiteral("gone")); };
    EXPECT_FALSE(print(1));
    EXPECT_EQ(contentOf(work).pages, 2);
    EXPECT_FALSE(QFileInfo::exists(g_strTempPath + "tempprintpreview2.tif"));
}

TEST_F(PrintRedactTest, ClosingTheEditorUnchangedKeepsTheDocument)
{
    showDocument(QStringLiteral("temp.tif"), 3);
    gsRedacted = QStringLiteral("N");
    QString editFile;
    QPointer<Form> editor;
    script->onShow(QStringLiteral("frmImageRedaction"), [&](Form &f) {
        editFile = static_cast<FrmImageRedaction &>(f).ImageFile();
        editor = &f;
    });
    ASSERT_TRUE(redact());
    EXPECT_TRUE(editor.isNull()) << "the editor is deleted once it closed";
    EXPECT_EQ(editFile, g_strTempPath + "tempredact.tif");
    EXPECT_EQ(gsRedactCropped, "N");
    EXPECT_EQ(gsRedacted, "N");
    const FileContent saved = contentOf(work);
    EXPECT_EQ(saved.pages, 3);
    EXPECT_EQ(saved.itemsOnPage1, 1);  // the write-back kept the drawn item
    EXPECT_EQ(frmMain().ezPageView->imageFile(), work);
    for (Form *f : Forms())
        EXPECT_NE(f->objectName(), "frmImageRedaction");
}

TEST_F(PrintRedactTest, EditorResultIsTakenOver)
{
    showDocument(QStringLiteral("tempextrastep.tif"), 3);
    script->onShow(QStringLiteral("frmImageRedaction"), [&](Form &f) {
        // the editor cropped away a page and saved
        writeTiff(static_cast<FrmImageRedaction &>(f).ImageFile(), 2);
        gsRedactCropped = QStringLiteral("Y");
    });
    ASSERT_TRUE(redact());
    EXPECT_EQ(gsRedacted, "Y");
    EXPECT_EQ(contentOf(work).pages, 2);
    QelEzImage &view = *frmMain().ezPageView;
    EXPECT_EQ(view.imageFile(), work);
    EXPECT_EQ(view.pageCount(), 2);
    EXPECT_EQ(view.page(), 1);
    EXPECT_EQ(view.saveFileName(), "");
}

TEST_F(PrintRedactTest, CoverSheetPageIsRestrictedInTheEditor)
{
    struct Row {
        qint32 docType;
        const char *status, *path;
        bool restricted;
    } rows[] = {
        {1, "Y", "\\\\QHOST\\COVERS\\COVER.TIF", true},
        {1, "N", "\\\\QHOST\\COVERS\\COVER.TIF", false},
        {1, "Y", "", false},
        {0, "Y", "\\\\QHOST\\COVERS\\COVER.TIF", false},
    };
    for (const Row &r : rows) {
        showDocument(QStringLiteral("temp3.tif"), 2);
        gdtCurrentDocType = r.docType;
        gsCoverPageStatus = QString::fromLatin1(r.status);
        gsCoverPagePath = QString::fromLatin1(r.path);
        bool restricted = !r.restricted;
        script->onShow(QStringLiteral("frmImageRedaction"), [&](Form &f) {
            // page 1 answers to the restricted permission set, page 2 to the full one
            QelEzImage &editorView = *static_cast<FrmImageRedaction &>(f).QelEzImage2;
            editorView.setPage(2);
            EXPECT_EQ(AnnotPerms::GetPerm(editorView.annotationSet(), QelAnnotType::Redaction), AnnotPermBit::All);
            editorView.setPage(1);
            restricted = AnnotPerms::GetPerm(editorView.annotationSet(), QelAnnotType::Redaction) != AnnotPermBit::All;
        });
        ASSERT_TRUE(redact());
        EXPECT_EQ(restricted, r.restricted) << r.docType << r.status << r.path;
    }
}

} // namespace
