#include "platform/system/help.h"

#include "platform/vb/vberror.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

void showHelp(const QString &helpFile, int command, const QString &helpKey)
{
    Q_UNUSED(helpKey);
    if (command != HELP_CONTENTS)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (!QFileInfo(helpFile).isFile())
        raiseVbError(vbErr::FileNotFound);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath())))
        raiseVbError(vbErr::DeviceIOError, QStringLiteral("Unable to open the help file ") + helpFile);
}
