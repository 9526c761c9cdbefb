#include <gtest/gtest.h>
#include <functional>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>
#include <sys/stat.h>

#include "capture/frmRescan.h"
#include "capture/printredact.h"
#include "core/recovery.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "support/checks.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/system/system.h"
#include "ui/closesignals.h"
#include "ui/frmConfig.h"
#include "ui/frmMain.h"
#include "ui/frmShutdown.h"
#include "ui_env.h"

namespace {
QString forceScript() { return programFolder() + "/force.sh"; }
QString marker() { return testRoot() + "/force-ran"; }

void writeForceScript()
{
    QFile f(forceScript());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QStringLiteral("touch '%1'\n").arg(marker()).toUtf8());
}
}

// File > Exit and the close box, from idle and during a scan (which stops at the sheet in hand and
// is asked about once it has ended): the question comes once, No keeps the window, force still runs.
TEST(MainWindowClose, NoToTheQuestionKeepsTheWindowAndStillRunsForce)
{
    writeForceScript();
    FrmMain &f = frmMain();
    const std::function<void()> ways[] = {[&] { f.mnuExit->trigger(); }, [&] { f.close(); }};
    for (const bool scanning : {false, true}) {
        for (size_t way = 0; way < std::size(ways); ++way) {
            SCOPED_TRACE(std::string(way == 0 ? "Exit" : "close box") + (scanning ? " during a scan" : ""));
            QFile::remove(marker());
            FormScript forms;
            MsgBoxScript boxes;
            std::optional<Road::Run> scan;
            if (scanning)
                scan.emplace(f.scanRoad);
            g_blnPromptStore = true;
            boxes.answer(vb::vbNo);
            ways[way]();
            if (scanning) {
                EXPECT_TRUE(boxes.calls().isEmpty());
                EXPECT_TRUE(f.scanRoad.aborted()) << "the scan goes on";
                scan.reset();
            }
            EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.calls().size() == 1; }, 5000)) << boxes.calls().size();
            EXPECT_TRUE(f.isLoaded());
            EXPECT_TRUE(forms.calls().isEmpty());  // no shutdown window
            EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker()); }, 5000));
        }
    }
    g_blnPromptStore = false;
}

TEST(MainWindowClose, MissingForceScriptIsReported)
{
    QFile::remove(forceScript());
    FrmMain &f = frmMain();
    FormScript forms;
    MsgBoxScript boxes;
    g_blnPromptStore = true;
    boxes.answer(vb::vbNo);
    EXPECT_FALSE(f.Unload());
    ASSERT_EQ(boxes.calls().size(), 2);
    EXPECT_EQ(boxes.calls()[1].icon(), vb::vbCritical);
    EXPECT_TRUE(boxes.calls()[1].prompt.contains("frmMain::Unload"));
    g_blnPromptStore = false;
}

TEST(MainWindowClose, ShutdownWindowUnloadsTheOthersThenTheMainWindowGoes)
{
    writeForceScript();
    FormScript forms;
    MsgBoxScript boxes;
    FrmMain &f = frmMain();
    QPointer<FrmMain> old(&f);
    frmConfig();  // another loaded window
    ASSERT_TRUE(Forms().contains(&frmConfig()));
    g_blnPromptStore = false;

    EXPECT_TRUE(f.Unload());
    ASSERT_EQ(forms.calls().size(), 1);
    EXPECT_EQ(forms.calls()[0].form, "frmShutdown");
    EXPECT_EQ(forms.calls()[0].owner, "frmMain");
    for (Form *form : Forms()) {
        EXPECT_NE(form->objectName(), "frmConfig");
        EXPECT_NE(form->objectName(), "frmShutdown");
        EXPECT_NE(form->objectName(), "frmMain");
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    // The next use brings a fresh main window.
    EXPECT_TRUE(frmMain().isLoaded());
}

namespace {

// The permission bits of a file.
int mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// The signals that ask a process to end, with their names.
struct EndingSignal {
    int number;
    const char *name;
};
QList<EndingSignal> endingSignals()
{
    QList<EndingSignal> s{{SIGHUP, "SIGHUP"},     {SIGINT, "SIGINT"},       {SIGQUIT, "SIGQUIT"},
                          {SIGTERM, "SIGTERM"},   {SIGUSR1, "SIGUSR1"},     {SIGUSR2, "SIGUSR2"},
                          {SIGALRM, "SIGALRM"},   {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"},
                          {SIGXCPU, "SIGXCPU"},   {SIGIO, "SIGIO"},         {SIGPWR, "SIGPWR"},
                          {SIGRTMIN, "SIGRTMIN"}, {SIGRTMAX, "SIGRTMAX"}};
    return s;
}

// The kept documents of the recovery folder, by their index files.
QStringList keptIndexes() { return QDir(recoveryFolder()).entryList({"*.ini"}, QDir::Files, QDir::Name); }

// Two pages with an item on the second, the book field filled, not stored.
void unstoredPages(FrmMain &f, const QString &book)
{
    QImage page(240, 160, QImage::Format_Mono);
    page.fill(1);
    f.ezPageView->appendPage(page);
    f.ezPageView->appendPage(page);
    f.ezPageView->setPage(2);
    ASSERT_NE(f.ezPageView->createAnnotation(4), nullptr);
    f.txtBook_MARG->setText(book);
    g_blnPromptStore = true;
}

} // namespace

// Every signal whose default action ends the process closes the program without asking and
// keeps the unstored pages, each time in a pair of files of its own (an earlier one is never
// replaced), private to the user, with the index values and every page. A signal the parent set
// to be ignored stays ignored, and a failed write (SIGPIPE, SIGXFSZ) is not the end.
TEST(MainWindowClose, EverySignalThatEndsAProcessKeepsTheUnstoredPages)
{
    writeForceScript();
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QList<int> ignoredBefore;
    for (const EndingSignal &s : endingSignals()) {
        struct sigaction old = {};
        ::sigaction(s.number, nullptr, &old);
        if (old.sa_handler == SIG_IGN)
            ignoredBefore << s.number;
    }
    installCloseOnSignals();
    for (int sig : {SIGPIPE, SIGXFSZ}) {
        ASSERT_EQ(::signal(sig, SIG_IGN), SIG_IGN) << sig;
        ::raise(sig); // the test goes on
    }
    int kept = 0;
    for (const EndingSignal &s : endingSignals()) {
        SCOPED_TRACE(s.name);
        struct sigaction now = {};
        ::sigaction(s.number, nullptr, &now);
        if (ignoredBefore.contains(s.number)) {
            EXPECT_EQ(now.sa_handler, SIG_IGN);
            continue;
        }
        ASSERT_NE(now.sa_handler, SIG_DFL) << "the signal would end the process at once";
        FormScript forms;
        MsgBoxScript boxes;
        FrmMain &f = frmMain();
        QPointer<FrmMain> old(&f);
        const QString book = QString::number(1000 + kept);
        unstoredPages(f, book);

        ::raise(s.number);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !old || !old->isLoaded(); }, 3000));
        for (const auto &box : boxes.calls())
            EXPECT_FALSE(box.prompt.contains("has not been stored")) << "asked about the unstored pages";
        ASSERT_EQ(forms.calls().size(), 1);
        EXPECT_EQ(forms.calls()[0].form, "frmShutdown");
        EXPECT_FALSE(g_blnPromptStore);

        const QStringList indexes = keptIndexes();
        ASSERT_EQ(indexes.size(), ++kept);
        EXPECT_TRUE(recoveryFolder().startsWith(data.path()));
        EXPECT_EQ(mode(recoveryFolder()), 0700);
        const QString newest = recoveryFolder() + u'/' + indexes.last();
        QSettings ini(newest, QSettings::IniFormat);
        EXPECT_EQ(ini.value("document/pages").toInt(), 2);
        EXPECT_EQ(ini.value("fields/txtBook_MARG").toString(), book);
        const QString image = newest.chopped(4) + ".tif";
        for (const QString &file : {newest, image})
            EXPECT_EQ(mode(file), 0600) << file.toStdString();
        QelEzImage check;
        check.setImageFile(image);
        ASSERT_EQ(check.pageCount(), 2);
        check.setPage(2);
        EXPECT_EQ(check.annotationCount(), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(old.isNull());
    }
    EXPECT_GE(kept, endingSignals().size() - 2);

    // At the next start (no sign-on here), each kept document that cannot be looked up is named
    // with its folder and file; the operator discards the first and keeps the rest.
    {
        FormScript forms;
        MsgBoxScript boxes;
        frmMain();
        boxes.clear();
        for (const QString &index : keptIndexes().mid(3)) {
            QFile::remove(recoveryFolder() + u'/' + index);
            QFile::remove(recoveryFolder() + u'/' + index.chopped(4) + ".tif");
        }
        const QStringList before = keptIndexes();
        boxes.answer(vb::vbNo);
        restoreRecoveryDocument();
        ASSERT_EQ(boxes.calls().size(), before.size());
        for (int i = 0; i < before.size(); ++i) {
            const QString named = boxes.calls()[i].prompt;
            EXPECT_TRUE(named.contains("could not be brought back now")) << named.toStdString();
            EXPECT_TRUE(named.contains(QDir::toNativeSeparators(recoveryFolder()))) << named.toStdString();
            EXPECT_TRUE(named.contains(before[i].chopped(4) + ".tif")) << named.toStdString();
        }
        EXPECT_EQ(keptIndexes(), before.mid(1)) << "the first discarded, the others kept";
        // Each is tried once in a session.
        boxes.clear();
        restoreRecoveryDocument();
        EXPECT_TRUE(boxes.calls().isEmpty());
    }
    qunsetenv("XDG_DATA_HOME");
}

namespace {

// Pages of a blank document, a redaction item not saved yet on the first.
void blankPages(QelEzImage &view, int count)
{
    QImage page(240, 160, QImage::Format_Mono);
    page.fill(1);
    for (int i = 0; i < count; ++i)
        view.appendPage(page);
    view.setPage(1);
    QelAnnotItem *box = view.createAnnotation(QelAnnotType::Redaction);
    ASSERT_NE(box, nullptr);
    box->setBounds(QRect(20, 20, 60, 40));
}

} // namespace

// The document in hand is kept wherever it is when the program is ended from outside: in the
// page view once marked not stored, or while a scan brings pages in before it marks them; in the
// editor's view (its unsaved box burned) or the file a road holds it in while the views are
// empty. When the per-user folder cannot be made the fallback takes it; when neither can, the
// failure names both and leaves nothing behind.
TEST(MainWindowClose, KeepsTheDocumentInHandWhereverItIs)
{
    QTemporaryDir data, temp;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    const QString oldTemp = std::exchange(g_strTempPath, temp.path() + u'/');
    enum Where { MainView, EditorView, HeldFile, EditorGoneFile };
    enum Blocked { None, Recovery, Both };
    struct Case {
        const char *name;
        Where where;
        bool promptStore;
        bool scanning;
        Blocked blocked;
        int pages; // kept; 0: nothing
        bool rescanAsked = false; // the scan's rescan question open: nothing scanned yet
    };
    const Case cases[] = {
        {"marked, in the page view", MainView, true, false, None, 3},
        {"not marked, nothing under way", MainView, false, false, None, 0},
        {"a scan bringing pages in", MainView, false, true, None, 3},
        {"a stored document, the rescan question open", MainView, false, true, None, 0, true},
        {"in the editor, a box not saved", EditorView, true, false, None, 3},
        {"stored, in the editor", EditorView, false, false, None, 0},
        {"in the file a road holds", HeldFile, true, false, None, 3},
        {"the editor gone, its file left", EditorGoneFile, true, false, None, 3},
        {"per-user folder blocked", MainView, true, false, Recovery, 3},
        {"both folders blocked", MainView, true, false, Both, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FormScript forms;
        MsgBoxScript boxes;
        FrmMain &f = frmMain();
        f.ezPageView->clearImage();
        f.ezTreeView->clearImage();
        for (const QString &folder : {recoveryFolder(), fallbackRecoveryFolder()}) {
            QDir(folder).removeRecursively();
            QFile::remove(folder);
        }
        // A file where a folder should be stops even the superuser.
        if (c.blocked != None) {
            QDir().mkpath(QFileInfo(recoveryFolder()).path());
            QFile(recoveryFolder()).open(QIODevice::WriteOnly);
        }
        if (c.blocked == Both)
            QFile(fallbackRecoveryFolder()).open(QIODevice::WriteOnly);

        auto editor = std::make_unique<QelEzImage>(QelEzImage::Kind::PageView);
        const QString heldFile = temp.path() + "/held.tif";
        std::optional<HeldDocument> heldInFile, heldInEditor;
        switch (c.where) {
        case MainView: blankPages(*f.ezPageView, 3); break;
        case EditorView:
            blankPages(*editor, 3);
            heldInFile.emplace(heldFile); // the road's file is older than the editor's view
            heldInEditor.emplace(*editor);
            break;
        case HeldFile:
        case EditorGoneFile: {
            QelEzImage doc;
            blankPages(doc, 3);
            doc.setSaveFileName(heldFile);
            doc.setAnnotationOption(1);
            doc.save();
            heldInFile.emplace(heldFile);
            if (c.where == EditorGoneFile) {
                heldInEditor.emplace(*editor);
                editor.reset();
            }
            break;
        }
        }
        g_blnPromptStore = c.promptStore;
        std::optional<Road::Run> scan;
        if (c.scanning)
            scan.emplace(f.scanRoad);
        if (c.rescanAsked)
            defaultInstance<FrmRescan>().Show();

        bool kept = false;
        const QString failure = errorTextOf([&] { kept = saveRecoveryDocument(); });
        if (c.rescanAsked)
            defaultInstance<FrmRescan>().Unload();
        scan.reset();
        const QString folder = c.blocked == None ? recoveryFolder() : fallbackRecoveryFolder();
        if (c.pages < 0) {
            EXPECT_TRUE(failure.contains(QDir::toNativeSeparators(recoveryFolder()))) << failure.toStdString();
            EXPECT_TRUE(failure.contains(QDir::toNativeSeparators(fallbackRecoveryFolder()))) << failure.toStdString();
        } else {
            EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
            EXPECT_EQ(kept, c.pages > 0);
        }
        const QStringList images = QDir(folder).entryList({"*.tif*"}, QDir::Files);
        ASSERT_EQ(images.size(), c.pages > 0 ? 1 : 0) << images.join(' ').toStdString();
        if (c.pages > 0) {
            EXPECT_EQ(mode(folder), 0700);
            QelEzImage check;
            check.setImageFile(folder + u'/' + images[0]);
            ASSERT_EQ(check.pageCount(), c.pages);
            check.setPage(1);
            EXPECT_EQ(check.annotationCount(), 0) << "the redaction is burned, not an item";
            EXPECT_EQ(qGray(check.pageImage().pixel(50, 40)), 0) << "the box is in the pixels";
            EXPECT_EQ(qGray(check.pageImage().pixel(150, 120)), 255);
        }
        heldInEditor.reset();
        heldInFile.reset();
        g_blnPromptStore = false;
    }
    for (const QString &folder : {recoveryFolder(), fallbackRecoveryFolder()}) {
        QDir(folder).removeRecursively();
        QFile::remove(folder);
    }
    frmMain().ezPageView->clearImage();
    frmMain().ezTreeView->clearImage();
    g_strTempPath = oldTemp;
    qunsetenv("XDG_DATA_HOME");
}

// Signals far beyond what the socket to the event loop holds before it is read: the handler never
// blocks, and the program still ends once.
TEST(MainWindowClose, AFloodOfSignalsNeverBlocksTheHandler)
{
    writeForceScript();
    installCloseOnSignals();
    FormScript forms;
    MsgBoxScript boxes;
    QPointer<FrmMain> old(&frmMain());
    g_blnPromptStore = false;
    for (int i = 0; i < 20000; ++i)
        ::raise(SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !old || !old->isLoaded(); }, 5000));
    EXPECT_EQ(forms.calls().size(), 1) << "closed once";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A quit while the redaction editor or the print preview holds the document waits until the
// road has put it back in the views: the main window was closed and freed under the road, which
// then wrote into its views (the crash at a signal with the editor open). Both ways out of the
// editor the quit can take: its save question answered, or the window unloaded.
TEST(MainWindowClose, AQuitWaitsForTheEditorAndThePreviewToGiveTheDocumentBack)
{
    QTemporaryDir temp;
    const QString oldTemp = std::exchange(g_strTempPath, temp.path() + u'/');
    struct Case {
        const char *name;
        const char *form;
        bool redact;
    };
    const Case cases[] = {{"redaction editor", "frmImageRedaction", true},
                          {"print preview", "frmImagePrintPreview", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FormScript forms;
        MsgBoxScript boxes;
        FrmMain &f = frmMain();
        blankPages(*f.ezPageView, 2);
        g_blnPromptStore = false; // stored: the preview is allowed
        bool inRoad = true;
        bool closedInRoad = false, closed = false;
        forms.onShow(c.form, [&](Form &) {
            requestQuit([&] {
                closed = true;
                closedInRoad = inRoad;
            });
            QTest::qWait(400); // the quit's passes run while the window is up
        });
        if (c.redact)
            do_redact_button_click(*f.ezPageView, *f.ezTreeView);
        else
            do_print_button_click(*f.ezPageView, *f.ezTreeView, 0);
        inRoad = false;
        EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, 5000));
        EXPECT_FALSE(closedInRoad) << "closed before the document was back";
        EXPECT_EQ(f.ezPageView->pageCount(), 2);
        f.ezPageView->clearImage();
        f.ezTreeView->clearImage();
    }
    g_strTempPath = oldTemp;
}

// An image kept without its index (the program ended between the two renames) is not passed
// over at the next start: it is set aside and named with its folder.
TEST(MainWindowClose, AKeptImageWithoutItsIndexIsNamedAtTheNextStart)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    FormScript forms;
    MsgBoxScript boxes;
    frmMain();
    boxes.clear();
    ASSERT_TRUE(QDir().mkpath(recoveryFolder()));
    QFile orphan(recoveryFolder() + "/kept-20260101-000000-01.tif");
    ASSERT_TRUE(orphan.open(QIODevice::WriteOnly));
    orphan.write("II*\0", 4);
    orphan.close();
    restoreRecoveryDocument();
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.contains(QDir::toNativeSeparators(recoveryFolder())))
        << boxes.calls()[0].prompt.toStdString();
    EXPECT_FALSE(orphan.exists()) << "set aside";
    const QStringList aside = QDir(recoveryFolder()).entryList({"*.bad"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    // the name told is the file's name as it now lies in the folder
    EXPECT_TRUE(boxes.calls()[0].prompt.contains(aside[0])) << boxes.calls()[0].prompt.toStdString();
    qunsetenv("XDG_DATA_HOME");
}
