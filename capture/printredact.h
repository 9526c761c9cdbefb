#pragma once
// Print and redact entry points of the main window: the page view's document is written back
// to its working file, a copy goes to the print preview or the redaction editor, and the
// working file is shown again afterwards.
#include <QString>
#include <QVariant>

class QelEzImage;

// Display name of a database mode for window captions; "" for an unknown mode.
QString databaseDisplayName(qint32 mode);

// Print: default printer when useDefaultPrinter is 1, else the print preview. True when run.
bool do_print_button_click(QelEzImage &pageView, QelEzImage &treeView, qint32 useDefaultPrinter);
// Opens the redaction editor on a copy and takes its result over when it changed anything.
bool do_redact_button_click(QelEzImage &pageView, QelEzImage &treeView);

QVariant do_print();
QVariant do_print_electronic();
QVariant do_print_manual();
