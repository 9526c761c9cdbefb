#pragma once
#include <QString>

// Online help: opens the help file with the desktop's handler.
constexpr int HELP_CONTENTS = 3;
// Raises VbError (53 when the file is missing, else the failure of the desktop call).
void showHelp(const QString &helpFile, int command = HELP_CONTENTS, const QString &helpKey = QString());
