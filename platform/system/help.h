#pragma once
#include <QString>

class QTextBrowser;
class QWidget;

// Online help. A help file name "<folder>/<name>.hlp" stands for the pages shipped in
// <folder>/data/help/, whose contents page is index.html; they open in the help window.
constexpr int HELP_CONTENTS = 3;
// The contents page the help file name stands for.
QString helpContentsPage(const QString &helpFile);
// Opens (or brings back) the help window at the contents, owned by the window of `owner` (it
// closes with it). Raises VbError (53 when the pages are missing, 5 for a command other than
// the contents).
void showHelp(const QString &helpFile, int command = HELP_CONTENTS, const QString &helpKey = QString(),
              QWidget *owner = nullptr);
// The help window's page browser; null until the help was first shown.
QTextBrowser *helpBrowser();
// The pages of the open help whose text holds every word of `words`, as file names, in the
// order of the contents folder; also listed in the window.
QStringList searchHelp(const QString &words);
