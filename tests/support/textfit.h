#pragma once
// Finds the texts of a window that do not fit their controls at the font in force: captions,
// labels, check boxes, option buttons, buttons and frame titles that are shown.
#include <QStringList>

class QWidget;

// One line per text that does not fit: "<form>.<control>: "<text>" needs W x H, has w x h", or
// that a text box covers, or whose "&&" would show as two ampersands.
// Hidden controls are left out; a label that word-wraps counts by the height it needs.
QStringList textsThatDoNotFit(QWidget *window);
