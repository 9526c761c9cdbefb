// The keys the help's key page names, pressed on the main window as an operator presses them,
// with the result that page states.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>

#include <functional>

#include "core/state.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"
#include "ui_env.h"

namespace {

// What a row sees after its key: the page shown, the page count, the pages lying on their side
// ("2,3"), the rotate option, Scan Upside Down, and the modal forms opened.
struct Seen {
    int page, count;
    QString turned;
    int rotateOpt;
    bool upsideDown;
    QStringList forms;
    bool operator==(const Seen &) const = default;
};

void PrintTo(const Seen &s, std::ostream *os)
{
    *os << "page " << s.page << "/" << s.count << " turned {" << s.turned.toStdString() << "} rotate "
        << s.rotateOpt << " upside down " << s.upsideDown << " forms {" << s.forms.join(',').toStdString() << "}";
}

Seen seen(FrmMain &f, const FormScript &forms)
{
    Seen s{f.ezPageView->page(), f.ezPageView->pageCount(), {}, f.cboRotateOpt->listIndex(),
           f.chkScanUD->isChecked(), {}};
    QStringList turned;
    for (int p = 1; p <= s.count; ++p) {
        f.ezPageView->setPage(p);
        if (f.ezPageView->imageWidth() > f.ezPageView->imageHeight())
            turned << QString::number(p);
    }
    f.ezPageView->setPage(s.page);
    s.turned = turned.join(',');
    for (const FormScript::Call &c : forms.calls())
        s.forms << c.form;
    return s;
}

// Three upright pages in both views, the first one shown, thumbnails on.
void loadThreePages(FrmMain &f)
{
    showPages(f, 3);
    // as a loaded document leaves them
    f.btnRotate->setVisible(true);
    f.cboRotateOpt->setVisible(true);
    showTree();
}

} // namespace

TEST(HelpKeys, EachKeyDoesWhatTheKeyPageSays)
{
    FrmMain &f = frmMain();
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    MsgBoxScript boxes;
    f.btnScan->setEnabled(true);
    f.btnRotate->setEnabled(true);
    f.chkScanUD->setEnabled(true);
    f.mnuOverhead->setVisible(true);
    f.mnuBatchScan->setEnabled(true);

    const Seen start{1, 3, "", 0, false, {}};
    struct Row {
        const char *key; // as the help names it
        std::function<void()> before;
        Qt::Key qtKey;
        Qt::KeyboardModifiers mods;
        Seen after;
    };
    auto at = [&](int page) { return [&f, page] { f.ezPageView->setPage(page); f.ezTreeView->setPage(page); }; };
    auto empty = [&f] {
        f.ezTreeView->clearImage();
        f.ezPageView->clearImage();
    };
    auto with = [&](std::function<void(Seen &)> change) {
        Seen s = start;
        change(s);
        return s;
    };
    const Row rows[] = {
        {"Page Down", at(1), Qt::Key_PageDown, {}, with([](Seen &s) { s.page = 2; })},
        {"Page Down on the last page", at(3), Qt::Key_PageDown, {}, with([](Seen &s) { s.page = 3; })},
        {"Page Up", at(3), Qt::Key_PageUp, {}, with([](Seen &s) { s.page = 2; })},
        {"Page Up on the first page", at(1), Qt::Key_PageUp, {}, start},
        {"F12", [] {}, Qt::Key_F12, {}, with([](Seen &s) { s.rotateOpt = 1; })},
        {"F11", [&f] { f.cboRotateOpt->setListIndex(1); }, Qt::Key_F11, {}, start},
        {"Alt-R, single page", [&f] { f.cboRotateOpt->setListIndex(0); f.ezPageView->setPage(2); }, Qt::Key_R,
         Qt::AltModifier, with([](Seen &s) { s.page = 2; s.turned = "2"; })},
        {"Alt-R, all pages", [&f] { f.cboRotateOpt->setListIndex(1); f.ezPageView->setPage(2); }, Qt::Key_R,
         Qt::AltModifier, with([](Seen &s) { s.page = 2; s.turned = "1,2,3"; s.rotateOpt = 1; })},
        {"Alt-U", [] {}, Qt::Key_U, Qt::AltModifier, with([](Seen &s) { s.upsideDown = true; })},
        {"Alt-U again", [&f] { f.chkScanUD->setChecked(true); }, Qt::Key_U, Qt::AltModifier, start},
        {"Delete", [&f] { f.ezTreeView->setSelectedPages("2"); }, Qt::Key_Delete, {},
         with([](Seen &s) { s.count = 2; })},
        {"Delete, asked and confirmed", [&f, &boxes] {
             g_blnPromptOnDelete = true;
             boxes.answer(vb::vbOK);
             f.ezTreeView->setSelectedPages("2,3");
         }, Qt::Key_Delete, {}, with([](Seen &s) { s.count = 1; })},
        {"Delete, asked and cancelled", [&f, &boxes] {
             g_blnPromptOnDelete = true;
             boxes.answer(vb::vbCancel);
             f.ezTreeView->setSelectedPages("2");
         }, Qt::Key_Delete, {}, start},
        {"F8 with pages: Rescan Options first", [] {}, Qt::Key_F8, {}, with([](Seen &s) { s.forms = {"frmRescan"}; })},
        // The dialogs' own tests take it from there.
        {"F7", empty, Qt::Key_F7, {}, {0, 0, "", 0, false, {"frmOverhead"}}},
        {"F8", empty, Qt::Key_F8, {}, {0, 0, "", 0, false, {"frmHandFeed"}}},
        {"F9", empty, Qt::Key_F9, {}, {0, 0, "", 0, false, {"frmBatchRotate"}}},
        {"F10", empty, Qt::Key_F10, {}, {0, 0, "", 0, false, {"frmBatch"}}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.key);
        NewForms loaded;
        loadThreePages(f);
        f.chkScanUD->setChecked(false);
        f.cboRotateOpt->setListIndex(0);
        g_blnPromptOnDelete = false;
        r.before();
        FormScript forms;
        // Delete goes to the thumbnails, where the selection is; the window previews every key.
        QWidget *to = r.qtKey == Qt::Key_Delete ? f.ezTreeView->findChild<QWidget *>("thumbnailArea")
                                                : f.ezPageView->findChild<QWidget *>("pageArea");
        ASSERT_NE(to, nullptr);
        to->setFocus();
        QTest::keyClick(to, r.qtKey, r.mods);
        if (r.mods & Qt::AltModifier)
            QTest::qWait(300); // a mnemonic clicks its control a moment later
        EXPECT_EQ(seen(f, forms), r.after);
        if (r.qtKey == Qt::Key_PageDown || r.qtKey == Qt::Key_PageUp) {
            EXPECT_EQ(f.ezTreeView->page(), f.ezPageView->page()) << "the thumbnails follow";
        }
    }
    // Only the deletes with the preference ticked asked.
    ASSERT_EQ(boxes.calls().size(), 2);
    EXPECT_EQ(boxes.calls()[0].prompt, "You have selected 2 pages to be deleted.  Do you want to proceed?");
    EXPECT_EQ(boxes.calls()[1].prompt, "You have selected 1 pages to be deleted.  Do you want to proceed?");

    g_blnPromptOnDelete = false;
    f.chkScanUD->setChecked(false);
    hideTree();
    f.ezTreeView->clearImage();
    f.ezPageView->clearImage();
}
