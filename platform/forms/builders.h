#pragma once
// The controls forms lay out at design positions (pixels): each builder creates the control,
// adds it to the form's controls under its name and places it.
#include <QRect>
#include <QString>

class Form;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QWidget;

// A caption, 20 pixels high.
QLabel *addLabel(Form &form, QWidget *parent, const QString &name, const QString &caption, int x, int y,
                 int width);
// A text field, 22 pixels high.
QLineEdit *addField(Form &form, QWidget *parent, const QString &name, int x, int y, int width);
// A frame around a group of controls, with its caption.
QGroupBox *addFrame(Form &form, QWidget *parent, const QString &name, const QString &caption,
                    const QRect &geometry);

// A menu bar at the top of the form and, below it, the client area where the controls live
// (the form's clientArea from now on). Returns the client area.
QWidget *addMenuBar(Form &form, QMenuBar *&menuBar);
