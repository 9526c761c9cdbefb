#include "capture/printredact.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QStatusBar>

#include "annotate/frmImagePrintPreview.h"
#include "annotate/frmImageRedaction.h"
#include "annotate/security.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/recovery.h"
#include "core/reset.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"

namespace {

const QString kTitle = QStringLiteral("The Korvane Scan Tool");

// Writes what the page view shows back into its working file, through temp + workName; the
// views are left empty. Returns the working file: scanned pages, held in memory only, get the
// document's working file "temp.tif" here.
QString writeBack(QelEzImage &page, QelEzImage &tree, const QString &workName)
{
    QString orig = page.imageFile();
    if (orig.isEmpty())
        orig = g_strTempPath + QStringLiteral("temp.tif");
    const QString work = g_strTempPath + workName;
    {
        const QelEzPageWalk pageWalk(page);
        const QelEzPageWalk treeWalk(tree);
        for (int p = 1; p <= page.pageCount(); ++p) {
            page.setPage(p);
            page.setAnnotationOption(1);
            page.setAnnotationLayer(0);
        }
        page.setPage(1);
    }
    page.setSaveFileName(work);
    page.save();
    page.clearImage();
    tree.clearImage();
    // The copy replaces the working file only once it is complete.
    CopyFile(work, orig);
    return orig;
}


// A form made for one road (not a default instance, so nothing else deletes it): unloaded if
// still loaded, and deleted, however the road ends.
class RoadForm {
public:
    RoadForm() = default;
    RoadForm(const RoadForm &) = delete;
    RoadForm &operator=(const RoadForm &) = delete;
    ~RoadForm() { release(); }
    void hold(Form *form) { m_form = form; }
    Form *get() const { return m_form; }
    void release()
    {
        if (m_form && m_form->isLoaded())
            m_form->Unload();
        delete m_form.data();
    }

private:
    QPointer<Form> m_form;
};

// The main window's Print and Redact go off while the views are empty; once the road has shown
// the document again they are as they were when it began.
class CommandsKept {
public:
    explicit CommandsKept(const QelEzImage &page)
        : m_page(page), m_print(frmMain().btnPrint->isEnabled()), m_redact(frmMain().btnRedact->isEnabled())
    {
    }
    CommandsKept(const CommandsKept &) = delete;
    CommandsKept &operator=(const CommandsKept &) = delete;
    ~CommandsKept()
    {
        if (m_page.pageCount() == 0)
            return;
        frmMain().btnPrint->setEnabled(m_print);
        frmMain().btnRedact->setEnabled(m_redact);
    }

private:
    const QelEzImage &m_page;
    bool m_print;
    bool m_redact;
};

// After a failure: the document shown again from its working file when the road had taken it
// out of the views or left one of its copies there.
void showAgain(QelEzImage &page, const QString &orig, const QString &road)
{
    if ((page.imageFile() == orig && page.pageCount() > 0) || !QFileInfo::exists(orig))
        return;
    try {
        page.clearImage();
        page.setImageFile(orig);
        page.setSaveFileName(QString());
    } catch (...) {
        reportCurrentError(road, Trap{});
    }
}

// Shows the form modally over the main window, then unloads and deletes it.
void showModalAndRelease(RoadForm &form)
{
    if (!form.get())
        return;
    form.get()->Show(vb::vbModal, &frmMain());
    form.release();
}

} // namespace

QString databaseDisplayName(qint32 mode)
{
    static const char *const names[] = {"Massachusetts Recorded Land",
                                        "Massachusetts Land Court",
                                        "Massachusetts Land Court Plans",
                                        "Updated Maine Book Scan",
                                        "Updated Maine Recorded Land",
                                        "New York Recorded Land",
                                        "New York Misc Records",
                                        "New York Court Records",
                                        "Vaverezoduv",
                                        "Massachusetts Recorded Land Book Scan",
                                        "New York Book Scan",
                                        "New York Barcode Scan",
                                        "Massachusetts Land Court Certificate"};
    if (mode < 0 || mode >= qint32(std::size(names)))
        return QString();
    return QString::fromLatin1(names[mode]);
}

bool do_print_button_click(QelEzImage &pageView, QelEzImage &treeView, qint32 useDefaultPrinter)
{
    Road::Run run(frmMain().editRoad);
    if (!run)
        return false;
    Trap trap;
    const CommandsKept commands(pageView);
    RoadForm previewForm; // unloaded after a failure's report
    // The document's working file: never one of the copies deleted on the way out.
    QString orig = pageView.imageFile();
    try {
        trap(1);
        if (g_blnPromptStore && gdtCurrentDocType == 0) {
            MsgBox(QStringLiteral("This manually scanned document has unsaved changes that need to be "
                                  "saved before printing.  Please store the document before "
                                  "attempting to print."),
                   vb::vbOKCancel, kTitle);
            return true;
        }

        trap(2);
        DeleteTempFile(QStringLiteral("temp2.tif"));
        DeleteTempFile(QStringLiteral("tempprintpreview2.tif"));
        orig = writeBack(pageView, treeView, QStringLiteral("temp2.tif"));
        const HeldDocument inFile(orig);

        // The print copy, annotations burnt in.
        trap(3);
        const QString printFile = g_strTempPath + QStringLiteral("tempprintpreview2.tif");
        pageView.setImageFile(g_strTempPath + QStringLiteral("temp2.tif"));
        pageView.setSaveFileName(printFile);
        pageView.setAnnotationOption(0);
        pageView.setPage(1);
        pageView.save();
        pageView.clearImage();
        treeView.clearImage();
        pageView.setImageFile(printFile);

        trap(4);
        do_print();
        pageView.setAnnotationMode(0);
        pageView.setPage(1);
        pageView.setAnnotationOption(0);
        pageView.clearImage();
        pageView.setImageFile(printFile);

        trap(5);
        if (useDefaultPrinter == 1) {
            printAtDefaultScale(treeView);
            pageView.clearImage();
            treeView.clearImage();
        } else {
            auto *preview = new FrmImagePrintPreview;
            previewForm.hold(preview);
            preview->Load();
            const QString path = pageView.imageFile();
            pageView.clearImage();
            treeView.clearImage();
            preview->setCaption(preview->caption() + QStringLiteral(": ") + databaseDisplayName(g_dbMode));
            if (preview->StatusBar1)
                preview->StatusBar1->showMessage(QStringLiteral("Ready"));
            preview->setImageFile(path);
            preview->SetupPrintPreview();
            showModalAndRelease(previewForm);
        }

        trap(6);
        pageView.setImageFile(orig);
        pageView.setSaveFileName(QString());
        DeleteEditorCopies(orig);
        return true;
    } catch (...) {
        reportRoadFailure(QStringLiteral("do_print_button_click"), trap);
    }
    showAgain(pageView, orig, QStringLiteral("do_print_button_click"));
    DeleteEditorCopies(orig);
    return false;
}

bool do_redact_button_click(QelEzImage &pageView, QelEzImage &treeView)
{
    Road::Run run(frmMain().editRoad);
    if (!run)
        return false;
    Trap trap;
    const CommandsKept commands(pageView);
    RoadForm editorForm; // unloaded after a failure's report
    // The document's working file: never one of the copies deleted on the way out.
    QString orig = pageView.imageFile();
    try {
        trap(1);
        auto *editor = new FrmImageRedaction;
        editorForm.hold(editor);
        editor->Load();
        bool restrictFirst = false;
        DeleteTempFile(QStringLiteral("tempredact.tif"));
        DeleteTempFile(QStringLiteral("resize2.tif"));
        DeleteTempFile(QStringLiteral("redact2.tif"));
        orig = writeBack(pageView, treeView, QStringLiteral("redact2.tif"));
        const HeldDocument inFile(orig);

        // The editor's own copy: annotations stay items the operator can select; the store burns
        // the redactions.
        trap(2);
        const QString edit = g_strTempPath + QStringLiteral("tempredact.tif");
        pageView.setImageFile(g_strTempPath + QStringLiteral("redact2.tif"));
        pageView.setSaveFileName(edit);
        pageView.setAnnotationOption(1);
        pageView.setPage(1);
        pageView.save();
        pageView.clearImage();
        treeView.clearImage();

        trap(3);
        editor->setCaption(editor->caption() + QStringLiteral(": ") + databaseDisplayName(g_dbMode));
        editor->setImageFile(edit);
        gsRedactCropped = QStringLiteral("N");

        // A cover sheet in front keeps its page out of reach.
        trap(4);
        restrictFirst = gdtCurrentDocType == 1 && gsCoverPageStatus == u"Y" && !gsCoverPagePath.isEmpty();

        trap(5);
        editor->SetupRedaction(gdtCurrentDocType, restrictFirst, QVariant());
        const HeldDocument inEditor(*editor->QelEzImage2); // with the changes not saved yet
        QCoreApplication::processEvents();
        showModalAndRelease(editorForm);

        trap(6);
        pageView.clearImage();
        treeView.clearImage();
        if (gsRedactCropped == u"N") {
            pageView.resetView();
            pageView.setImageFile(orig);
            pageView.setSaveFileName(QString());
            DeleteEditorCopies(orig);
            return true;
        }

        // The editor changed the copy: it becomes the working file.
        trap(7);
        DeleteTempFile(QStringLiteral("resize.tif"));
        pageView.resetView();
        pageView.setImageFile(edit);
        {
            const QelEzPageWalk walk(pageView);
            for (int p = 1; p <= pageView.pageCount(); ++p) {
                pageView.setPage(p);
                pageView.setAnnotationOption(1);
                pageView.setAnnotationLayer(0);
            }
        }
        do_set_annotation_security(pageView);
        pageView.setSaveFileName(orig);
        pageView.setPage(1);
        pageView.save();
        pageView.clearImage();
        treeView.clearImage();
        pageView.resetView();
        pageView.setImageFile(orig);
        pageView.setSaveFileName(QString());
        pageView.setPage(1);
        gsRedacted = QStringLiteral("Y");
        DeleteEditorCopies(orig);
        return true;
    } catch (...) {
        reportRoadFailure(QStringLiteral("do_redact_button_click"), trap);
    }
    showAgain(pageView, orig, QStringLiteral("do_redact_button_click"));
    DeleteEditorCopies(orig);
    return false;
}

QVariant do_print()
{
    Trap trap;
    try {
        trap(1);
        if (gdtCurrentDocType != 0)
            return do_print_electronic();
        return do_print_manual();
    } catch (...) {
        reportCurrentError(QStringLiteral("do_print"), trap);
    }
    return false;
}

// Nothing of its own to prepare: the print runs from the entry point.
QVariant do_print_electronic()
{
    return true;
}

QVariant do_print_manual()
{
    return true;
}
