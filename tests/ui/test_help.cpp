// The shipped help: F6 opens it at its contents, every link lands on a page (and anchor) that
// exists, it covers every database and key the window offers, and its search finds pages.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include "core/reset.h"
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

TEST(Help, F6OpensTheHelpWindowAtItsContents)
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
    browser->window()->close();
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

TEST(Help, CoversEveryDatabaseAndEveryKeyOfTheWindow)
{
    const QString databases = plainText(helpSource() + QStringLiteral("/databases.html"));
    for (QAction *entry : frmMain().databaseEntries()) {
        const QString caption = entry->text().remove(QLatin1Char('&'));
        EXPECT_TRUE(databases.contains(caption.simplified())) << caption.toStdString();
    }
    const QString keys = plainText(helpSource() + QStringLiteral("/keys.html"));
    for (const QString &line : keyHelpText().split(QStringLiteral("\r\n"))) {
        const int colon = line.indexOf(QStringLiteral(": "));
        if (colon <= 0 || line.startsWith(QStringLiteral("Shortcuts")))
            continue;
        EXPECT_TRUE(keys.contains(line.left(colon).simplified() + QLatin1Char(' ') + line.mid(colon + 2).simplified()))
            << line.toStdString();
    }
}
