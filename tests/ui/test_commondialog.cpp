#include <gtest/gtest.h>

#include <QWidget>

#include "support/checks.h"
#include "ui/commondialog/ccommondialog.h"

namespace {
const QChar NUL(u'\0');
QString nul(const char *text) { return QString::fromLatin1(text).replace(u'|', NUL); }

CommonDialogAnswer files(QStringList paths, int filterIndex = 1)
{
    CommonDialogAnswer a;
    a.ok = true;
    a.files = std::move(paths);
    a.filterIndex = filterIndex;
    return a;
}
}

TEST(CommonDialog, FilterPartsAndTheChosenPair)
{
    EXPECT_EQ(splitFilter("Images|*.tif|All files|*.*"), (QStringList{"Images", "*.tif", "All files", "*.*"}));
    EXPECT_EQ(splitFilter("TIFF: scans|*.tif"), (QStringList{"TIFF", " scans", "*.tif"}));

    const struct { const char *list; int n; const char *pair; } lookups[] = {
        {"", 1, ""}, {"A|*.a|B|*.b", 1, "A|*.a"}, {"A|*.a|B|*.b", 2, "B|*.b"}, {"A|*.a|B|*.b", 3, ""},
        {"A|*.a", 1, "A|*.a"}, {"A", 1, ""}, {"A|*.a|B|*.b", 0, ""},
    };
    for (const auto &l : lookups)
        EXPECT_EQ(FilterLookup(nul(l.list), l.n), nul(l.pair)) << l.list << " " << l.n;
}

TEST(CommonDialog, OpenPassesItsOwnBitsAndReturnsTheChoice)
{
    CommonDialogScript script;
    cCommonDialog d;
    EXPECT_EQ(d.FilterIndex(), 1);
    d.setFilter("Images|*.tif|All files|*.*");
    d.setFilterIndex(0);
    d.setFlags(4096 | 64 | 2 | 4);
    d.setDialogTitle("Pick");
    script.answer(files({"/data/in/page.tif"}, 2));
    d.ShowOpen();
    ASSERT_EQ(script.requests.size(), 1);
    const CommonDialogRequest &r = script.requests[0];
    EXPECT_EQ(r.kind, CommonDialogRequest::Open);
    EXPECT_EQ(r.flags, 4096 | 4); // no overwrite prompt, no template
    EXPECT_EQ(r.filterIndex, 1);
    EXPECT_EQ(r.title, "Pick");
    EXPECT_EQ(r.filterParts.size(), 4);
    EXPECT_EQ(d.Filename(), "/data/in/page.tif");
    EXPECT_EQ(d.FileTitle(), "page.tif");
    EXPECT_EQ(d.FilterIndex(), 2);
    EXPECT_EQ(d.Filter(), nul("All files|*.*"));
    EXPECT_EQ(d.flags() & 64, 0);

    d.setFlags(2);
    script.answer(files({"/out/x.tif"}));
    d.ShowSave();
    EXPECT_EQ(script.requests[1].kind, CommonDialogRequest::Save);
    EXPECT_EQ(script.requests[1].flags, 2 | 4);
}

TEST(CommonDialog, CancelRaisesOnlyWhenAskedTo)
{
    CommonDialogScript script; // no answers queued: every dialog is cancelled
    cCommonDialog d;
    d.setFilename("old.tif");
    d.setFilter("A|*.a");
    d.setFlags(4096);
    EXPECT_EQ(raisedBy([&] { d.ShowOpen(); }).number, 0);
    EXPECT_TRUE(d.Filename().isEmpty());
    EXPECT_TRUE(d.FileTitle().isEmpty());
    EXPECT_TRUE(d.Filter().isEmpty());
    EXPECT_EQ(d.flags(), 0);
    EXPECT_EQ(d.FilterIndex(), -1);
    d.ShowSave();
    EXPECT_EQ(d.FilterIndex(), 0);

    d.setColor(0x123456);
    d.ShowColor();
    EXPECT_EQ(d.Color(), 0x123456);

    d.setCancelError(true);
    for (const auto &show : std::initializer_list<std::function<void()>>{
             [&] { d.ShowOpen(); }, [&] { d.ShowSave(); }, [&] { d.ShowColor(); }, [&] { d.ShowFont(); }}) {
        const VbError e = raisedBy(show);
        EXPECT_EQ(e.number, 20001);
        EXPECT_EQ(e.description, "User selected cancel.");
        EXPECT_TRUE(e.source.endsWith(".cCommonDialog")) << e.source.toStdString();
    }
    // The print dialog never raises, and a cancel leaves its properties.
    d.setFromPage(2);
    d.setToPage(5);
    EXPECT_EQ(raisedBy([&] { d.ShowPrinter(); }).number, 0);
    EXPECT_EQ(d.FromPage(), 2);
    EXPECT_EQ(d.Copies(), 0);
    EXPECT_TRUE(d.PrinterName().isEmpty());
}

TEST(CommonDialog, PrinterColourAndFontResults)
{
    CommonDialogScript script;
    cCommonDialog d;
    CommonDialogAnswer printer;
    printer.ok = true;
    printer.copies = 3;
    printer.fromPage = 1;
    printer.toPage = 4;
    printer.printerName = "Office";
    script.answer(printer);
    d.setFlags(2); // page numbers allowed
    d.ShowPrinter();
    EXPECT_EQ(script.requests[0].flags & 8, 0);
    EXPECT_EQ(d.Copies(), 3);
    EXPECT_EQ(d.ToPage(), 4);
    EXPECT_EQ(d.PrinterName(), "Office");
    d.setFromPage(40000);
    EXPECT_EQ(raisedBy([&] { d.ShowPrinter(); }).number, 6);

    CommonDialogAnswer colour;
    colour.ok = true;
    colour.color = 0x0000FF;
    script.answer(colour);
    d.setFlags(256 | 4);
    d.ShowColor();
    EXPECT_EQ(script.requests.last().flags, 1 | 256 | 4);
    EXPECT_EQ(d.Color(), 0x0000FF);
    EXPECT_EQ(longToColor(d.Color()), QColor(255, 0, 0));

    // Without a colour or size limit: screen fonts, no effects, no size limit.
    d.setFlags(0);
    QFont f("Liberation Sans");
    f.setPointSizeF(10.5);
    d.setFont(f);
    EXPECT_EQ(d.FontSize(), 10);
    d.ShowFont();
    EXPECT_EQ(script.requests.last().flags, 1 | 64);
    d.setFontColor(0x00FF00);
    d.setMax(72);
    d.ShowFont();
    EXPECT_EQ(script.requests.last().flags, 1 | 64 | 256 | 8192);
}

TEST(CommonDialog, CustomColoursHoldSixteenEntries)
{
    cCommonDialog d;
    EXPECT_EQ(d.CustomColor(16), -1);
    EXPECT_EQ(d.CustomColor(-1), -1);
    const qint32 before = d.CustomColor(15);
    d.setCustomColor(-1, 0x111111);
    d.setCustomColor(16, 0x111111);
    EXPECT_EQ(d.CustomColor(15), before);
    d.setCustomColor(3, 0x222222);
    EXPECT_EQ(cCommonDialog().CustomColor(3), 0x222222); // one table for the program
}

TEST(CommonDialog, MultipleSelectionAndItsParsing)
{
    CommonDialogScript script;
    cCommonDialog d;
    d.setFlags(512);
    script.answer(files({"/scans/a.tif", "/scans/b.tif"}));
    d.ShowOpen();
    EXPECT_EQ(script.requests[0].flags, 512 | 524288);
    EXPECT_EQ(d.Filename(), nul("/scans|a.tif|b.tif||"));

    struct Case { QString fileName; QString dir; QStringList names; int count; };
    const Case cases[] = {
        {nul("C:\\scans|a.tif|b.tif||"), "C:\\scans", {"a.tif", "b.tif"}, 2},
        {"C:\\scans\\one.tif", "C:\\scans", {"one.tif"}, 1},
        {"/scans/one.tif", "/scans", {"one.tif"}, 1},
        {"one.tif", "", {"one.tif"}, 1},
        {"\\one.tif", "", {"\\one.tif"}, 1},
    };
    for (const Case &c : cases) {
        d.setFilename(c.fileName);
        QString dir;
        QStringList names;
        qint32 count = 0;
        d.ParseMultiFileName(dir, names, count);
        EXPECT_EQ(dir, c.dir) << c.fileName.toStdString();
        EXPECT_EQ(names, c.names) << c.fileName.toStdString();
        EXPECT_EQ(count, c.count) << c.fileName.toStdString();
    }
}

TEST(CommonDialog, HelpCommandsAndFailures)
{
    CommonDialogScript script;
    cCommonDialog d;
    d.setHelpFile("/opt/quorla/quorla.hlp");
    for (int command : {513, 515}) {
        d.setHelpCommand(command);
        const VbError e = raisedBy([&] { d.ShowHelp(); });
        EXPECT_EQ(e.number, 13705);
        EXPECT_EQ(e.description, "Invalid WinHelp Command Passed to ShowHelp function.");
        EXPECT_TRUE(e.source.endsWith(".cCommonDialog"));
    }
    EXPECT_TRUE(script.helpCalls.isEmpty());
    d.setHelpCommand(3);
    script.help = [](const QString &, int) { return false; };
    const VbError e = raisedBy([&] { d.ShowHelp(); });
    EXPECT_NE(e.number, 0);
    EXPECT_TRUE(e.source.endsWith(".cCommonDialog"));
    EXPECT_EQ(script.helpCalls.size(), 1);
}

TEST(CommonDialog, PageSetupConvertsMarginsByUnit)
{
    CommonDialogScript script;
    PageSetupArgs inches;
    inches.margins[0] = 0.5f;  // left
    inches.margins[1] = 0.25f; // smallest left
    inches.orientationDisabled = true;
    CommonDialogAnswer a;
    a.ok = true;
    a.margins[0] = 750;
    a.margins[6] = 1250;
    a.orientation = 2;
    script.answer(a);
    ASSERT_TRUE(VBPageSetupDlg2(inches));
    const CommonDialogRequest &r = script.requests[0];
    EXPECT_EQ(r.kind, CommonDialogRequest::PageSetup);
    EXPECT_EQ(r.flags, 256 | 4);
    EXPECT_EQ(r.margins[0], 500);
    EXPECT_EQ(r.margins[1], 250);
    EXPECT_FLOAT_EQ(inches.margins[0], 0.75f);
    EXPECT_FLOAT_EQ(inches.margins[6], 1.25f);
    EXPECT_EQ(inches.orientation, 2);

    PageSetupArgs mm;
    mm.units = 1;
    mm.margins[4] = 12.5f;
    mm.paperSize = 7;
    EXPECT_FALSE(VBPageSetupDlg2(mm)); // cancelled: nothing written
    EXPECT_EQ(script.requests[1].flags, 8);
    EXPECT_EQ(script.requests[1].margins[4], 1250);
    EXPECT_FLOAT_EQ(mm.margins[4], 12.5f);
    EXPECT_EQ(mm.paperSize, 7);
}

TEST(CommonDialog, HookedDialogsRaiseTheirEvents)
{
    CommonDialogScript script;
    cCommonDialog d;
    QStringList raisedEvents;
    bool refuseOk = true;
    d.events.FileChange = [&](QWidget *) { raisedEvents << "FileChange"; };
    d.events.DialogOK = [&](bool &cancel) {
        raisedEvents << "DialogOK";
        cancel = refuseOk;
    };
    d.events.DialogClose = [&] { raisedEvents << "DialogClose"; };
    QList<bool> confirmed;
    script.whileOpen = [&](const CommonDialogRequest &r) {
        if (!r.notify)
            return;
        EXPECT_EQ(r.notify->FileChange(nullptr), 0);
        confirmed << r.notify->ConfirmOK();
        refuseOk = false;
        confirmed << r.notify->ConfirmOK();
        r.notify->DialogClose();
    };
    d.ShowOpen(); // not hooked: no notifications
    EXPECT_TRUE(raisedEvents.isEmpty());
    EXPECT_EQ(script.requests[0].flags & (524288 | 32), 0);

    d.setHookDialog(true);
    d.ShowOpen();
    EXPECT_EQ(script.requests[1].notify, &d);
    EXPECT_EQ(script.requests[1].flags & (524288 | 32), 524288 | 32);
    EXPECT_EQ(raisedEvents, (QStringList{"FileChange", "DialogOK", "DialogOK", "DialogClose"}));
    EXPECT_EQ(confirmed, (QList<bool>{false, true}));

    // Each dialog has its own hook bit; the print dialog's depends on the set-up form bit.
    d.ShowColor();
    EXPECT_EQ(script.requests.last().flags & 16, 16);
    d.ShowFont();
    EXPECT_EQ(script.requests.last().flags & 8, 8);
    d.setFlags(0);
    d.ShowPrinter();
    EXPECT_EQ(script.requests.last().flags & (4096 | 8192), 4096);
    d.setFlags(64);
    d.ShowPrinter();
    EXPECT_EQ(script.requests.last().flags & (4096 | 8192), 8192);
}

TEST(CommonDialog, CentreDialogOnItsOwner)
{
    QWidget owner, dialog;
    owner.setGeometry(100, 100, 400, 300);
    dialog.resize(200, 100);
    cCommonDialog d;
    d.CentreDialog(&dialog, &owner);
    qint32 left = 0, top = 0, width = 0, height = 0;
    d.GetDialogSize(&dialog, left, top, width, height);
    const QRect o = owner.frameGeometry();
    EXPECT_EQ(left, o.left() + (o.width() - width) / 2);
    EXPECT_EQ(top, o.top() + (o.height() - height) / 2);
    EXPECT_EQ(width, dialog.frameGeometry().width());
}
