#include "platform/system/help.h"

#include "platform/vb/vberror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QKeyEvent>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

// Contents, back and forward over the pages; a search box whose hits list beside them.
class HelpWindow : public QWidget {
public:
    HelpWindow()
    {
        setObjectName(QStringLiteral("frmHelp"));
        setWindowTitle(QStringLiteral("Korvane - Scan Tool Online Help"));
        auto *contents = new QPushButton(QStringLiteral("&Contents"), this);
        auto *back = new QPushButton(QStringLiteral("&Back"), this);
        auto *forward = new QPushButton(QStringLiteral("&Forward"), this);
        search = new QLineEdit(this);
        search->setObjectName(QStringLiteral("txtSearch"));
        search->setPlaceholderText(QStringLiteral("Search"));
        auto *find = new QPushButton(QStringLiteral("&Search"), this);
        hits = new QListWidget(this);
        hits->setObjectName(QStringLiteral("lstHits"));
        browser = new QTextBrowser(this);
        browser->setObjectName(QStringLiteral("txtPage"));
        browser->setOpenLinks(true);

        auto *bar = new QHBoxLayout;
        for (QWidget *w : {static_cast<QWidget *>(contents), static_cast<QWidget *>(back),
                           static_cast<QWidget *>(forward)})
            bar->addWidget(w);
        bar->addStretch();
        bar->addWidget(search);
        bar->addWidget(find);
        auto *split = new QSplitter(this);
        split->addWidget(hits);
        split->addWidget(browser);
        split->setStretchFactor(1, 4);
        auto *outer = new QVBoxLayout(this);
        outer->addLayout(bar);
        outer->addWidget(split);
        hits->setVisible(false);
        resize(760, 560);

        connect(contents, &QPushButton::clicked, browser, &QTextBrowser::home);
        connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
        connect(forward, &QPushButton::clicked, browser, &QTextBrowser::forward);
        connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        connect(browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
        connect(search, &QLineEdit::returnPressed, this, [this] { list(search->text()); });
        connect(find, &QPushButton::clicked, this, [this] { list(search->text()); });
        connect(hits, &QListWidget::itemActivated, this, &HelpWindow::openHit);
        connect(hits, &QListWidget::itemClicked, this, &HelpWindow::openHit);
    }

    // Escape closes the window from wherever the focus is in it.
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
            close();
        else
            QWidget::keyPressEvent(event);
    }

    void openContents(const QString &page)
    {
        folder = QFileInfo(page).absolutePath();
        browser->clearHistory();
        browser->setSearchPaths({folder});
        browser->setSource(QUrl::fromLocalFile(page));
    }

    QStringList list(const QString &words)
    {
        hits->clear();
        const QStringList terms = words.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QStringList found;
        if (terms.isEmpty()) {
            hits->setVisible(false);
            return found;
        }
        const QStringList pages = QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
        for (const QString &name : pages) {
            QFile file(QDir(folder).filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            QTextDocument doc;
            doc.setHtml(QString::fromUtf8(file.readAll()));
            const QString text = doc.toPlainText();
            bool all = true;
            for (const QString &t : terms)
                all = all && text.contains(t, Qt::CaseInsensitive);
            if (!all)
                continue;
            found << name;
            auto *item = new QListWidgetItem(doc.metaInformation(QTextDocument::DocumentTitle), hits);
            item->setData(Qt::UserRole, name);
        }
        if (found.isEmpty())
            new QListWidgetItem(QStringLiteral("No page holds: ") + words, hits);
        hits->setVisible(true);
        return found;
    }

    QTextBrowser *browser;

private:
    void openHit(QListWidgetItem *item)
    {
        const QString name = item->data(Qt::UserRole).toString();
        if (name.isEmpty())
            return;
        browser->setSource(QUrl::fromLocalFile(QDir(folder).filePath(name)));
        const QStringList terms = search->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!terms.isEmpty())
            browser->find(terms.first());
    }

    QLineEdit *search;
    QListWidget *hits;
    QString folder;
};

QPointer<HelpWindow> g_window;

} // namespace

QString helpContentsPage(const QString &helpFile)
{
    const QFileInfo file(helpFile);
    return file.absolutePath() + QStringLiteral("/data/help/index.html");
}

void showHelp(const QString &helpFile, int command, const QString &helpKey, QWidget *owner)
{
    Q_UNUSED(helpKey);
    if (command != HELP_CONTENTS)
        raiseVbError(vbErr::InvalidProcedureCall);
    const QString page = helpContentsPage(helpFile);
    if (!QFileInfo(page).isFile())
        raiseVbError(vbErr::FileNotFound);
    if (!g_window) {
        g_window = new HelpWindow;
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    QWidget *ownerWindow = owner ? owner->window() : nullptr;
    if (g_window->parentWidget() != ownerWindow)
        g_window->setParent(ownerWindow, Qt::Window);
    g_window->openContents(page);
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
}

QTextBrowser *helpBrowser() { return g_window ? g_window->browser : nullptr; }

QStringList searchHelp(const QString &words) { return g_window ? g_window->list(words) : QStringList(); }
