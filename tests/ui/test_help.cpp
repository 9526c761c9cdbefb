// The shipped help: F6 opens it at its contents, every link lands on a page (and anchor) that
// exists, it covers every database the window offers, its search finds pages, and the keys it
// describes do what it says.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include "core/reset.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/system/system.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

QString helpSource() { return qEnvironmentVariable("QUORLA_SOURCE_DIR") + QStringLiteral("/data/help"); }

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString plainText(const QString &path)
{
    QTextDocument doc;
    doc.setHtml(readText(path));
    return doc.toPlainText().simplified();
}

// The help pages beside the test's program, as the build puts them beside the program.
void installHelp()
{
    const QString target = programFolder() + QStringLiteral("/data/help");
    QDir().mkpath(target);
    for (const QString &name : QDir(helpSource()).entryList(QDir::Files)) {
        QFile::remove(target + QLatin1Char('/') + name);
        ASSERT_TRUE(QFile::copy(helpSource() + QLatin1Char('/') + name, target + QLatin1Char('/') + name));
    }
}

} // namespace

TEST(Help, F6OpensTheHelpWindowAtItsContentsAndEscapeClosesIt)
{
    installHelp();
    frmMain();
    MsgBoxScript boxes;
    int shift = 0;
    checkKeyDown(117, shift);
    EXPECT_TRUE(boxes.calls().isEmpty()) << boxes.calls().value(0).prompt.toStdString();
    QTextBrowser *browser = helpBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->window()->isVisible());
    EXPECT_EQ(browser->source().toLocalFile(), programFolder() + QStringLiteral("/data/help/index.html"));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Contents")));

    // Away from the contents and back with F6: the contents again, in the same window.
    browser->setSource(QUrl::fromLocalFile(programFolder() + QStringLiteral("/data/help/keys.html")));
    checkKeyDown(117, shift);
    EXPECT_EQ(helpBrowser(), browser);
    EXPECT_TRUE(browser->source().toLocalFile().endsWith(QStringLiteral("/index.html")));

    // The search lists the pages that hold every word.
    const QStringList hits = searchHelp(QStringLiteral("duplex feeder"));
    EXPECT_TRUE(hits.contains(QStringLiteral("scanning.html")));
    EXPECT_FALSE(hits.contains(QStringLiteral("barcodes.html")));
    EXPECT_TRUE(searchHelp(QStringLiteral("xyzzy")).isEmpty());

    // Escape closes the window wherever the focus is in it; F6 brings it back.
    for (const char *focus : {"txtPage", "txtSearch"}) {
        SCOPED_TRACE(focus);
        checkKeyDown(117, shift);
        ASSERT_EQ(helpBrowser(), browser);
        QWidget *window = browser->window();
        ASSERT_TRUE(window->isVisible());
        QWidget *target = window->findChild<QWidget *>(QString::fromLatin1(focus));
        ASSERT_NE(target, nullptr);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST(Help, EveryLinkResolvesToAPageAndAnchor)
{
    const QDir dir(helpSource());
    const QStringList pages = dir.entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_TRUE(pages.contains(QStringLiteral("index.html")));
    QSet<QString> reached{QStringLiteral("index.html")};
    int links = 0;
    for (const QString &page : pages) {
        SCOPED_TRACE(page.toStdString());
        QTextDocument doc;
        doc.setHtml(readText(dir.filePath(page)));
        EXPECT_FALSE(doc.metaInformation(QTextDocument::DocumentTitle).isEmpty());
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QString href = it.fragment().charFormat().anchorHref();
                if (href.isEmpty())
                    continue;
                ++links;
                const QUrl url(href);
                EXPECT_TRUE(url.isRelative()) << href.toStdString();
                const QString target = url.path().isEmpty() ? page : url.path();
                ASSERT_TRUE(dir.exists(target)) << href.toStdString();
                reached.insert(target);
                if (url.hasFragment())
                    EXPECT_TRUE(readText(dir.filePath(target)).contains(QStringLiteral("name=\"") + url.fragment() + '"'))
                        << href.toStdString();
            }
        }
    }
    EXPECT_GT(links, 20);
    // No page stands apart from the links.
    EXPECT_EQ(reached.size(), pages.size());
}

TEST(Help, CoversEveryDatabaseOfTheMenu)
{
    const QString databases = plainText(helpSource() + QStringLiteral("/databases.html"));
    for (QAction *entry : frmMain().databaseEntries()) {
        const QString caption = entry->text().remove(QLatin1Char('&'));
        EXPECT_TRUE(databases.contains(caption.simplified())) << caption.toStdString();
    }
}

namespace {

// Where a shared mnemonic put the operator: the menu it opened, else the control with the focus.
// A menu left open is closed with Escape first.
QString reachedBy(FrmMain &f, Qt::Key key)
{
    if (QWidget *menu = QApplication::activePopupWidget())
        QTest::keyClick(menu, Qt::Key_Escape);
    QWidget *to = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::focusWidget();
    QTest::keyClick(to ? to : &f, key, Qt::AltModifier);
    QWidget *now = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::focusWidget();
    return now ? now->objectName() : QString();
}

} // namespace

TEST(HelpKeys, SharedMnemonicsMoveBetweenTheirControlsAndPressNothing)
{
    FrmMain &f = frmMain();
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    // as a looked-up document leaves them
    f.btnRedact->setEnabled(true);
    f.btnShowTree->setVisible(true);
    f.chkDuplex->setEnabled(true);
    f.chkDuplex->setChecked(false);
    showTree();
    const struct {
        Qt::Key key;
        QSet<QString> sharing;
    } rows[] = {
        {Qt::Key_D, {"mnuDatabase", "btnRedact", "chkDuplex"}},
        {Qt::Key_I, {"mnuSettings", "btnShowTree"}},
    };
    for (const auto &r : rows) {
        QSet<QString> reached;
        for (int press = 0; press < 2 * int(r.sharing.size()); ++press)
            reached.insert(reachedBy(f, r.key));
        EXPECT_EQ(reached, r.sharing) << QKeySequence(r.key).toString().toStdString();
        // Escape closes the menu, a second one leaves the menu bar.
        for (QWidget *menu = QApplication::activePopupWidget(); menu; menu = QApplication::activePopupWidget())
            QTest::keyClick(menu, Qt::Key_Escape);
        if (f.menuBar->hasFocus())
            QTest::keyClick(f.menuBar, Qt::Key_Escape);
        EXPECT_FALSE(f.menuBar->hasFocus());
    }
    // Moving there ticks nothing and shows no other window (a button's own mnemonic clicks it
    // a moment later).
    QTest::qWait(200);
    EXPECT_FALSE(f.chkDuplex->isChecked());
    EXPECT_EQ(f.btnShowTree->text(), "Hide Thumbna&ils");
    // Space on the focused box then ticks it.
    f.chkDuplex->setFocus();
    QTest::keyClick(f.chkDuplex, Qt::Key_Space);
    EXPECT_TRUE(f.chkDuplex->isChecked());
    f.chkDuplex->setChecked(false);
    hideTree();
    // The offscreen platform leaves the closed menu the active window: the main window takes
    // it back for the next test.
    QApplication::setActiveWindow(&f);
    EXPECT_EQ(QApplication::activeWindow(), &f);
}
