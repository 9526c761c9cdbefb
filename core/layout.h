#pragma once
// A snapshot of a form's control positions and sizes, and centring a form on the screen.
#include <QList>
#include <QString>

class Form;

// One recorded control. Values are kept in 32 bits, so wide screens and large forms fit.
struct ControlLayout {
    qint32 TabIndex = 0;
    QString Name;
    qint32 Left = 0;
    qint32 Top = 0;
    qint32 Width = 0;
    qint32 Height = 0;
};

// Replaces the table with the form's controls (menus and toolbars left out) and the form's
// height and width. A control lacking one of the properties raises at that control; the
// entries recorded before it stay.
void saveControlLayout(Form &form);
// Rescales every recorded control in proportion to the form's present size against the recorded
// one, then centres the form.
void resizeControls(Form &form);
// Moves the form to the middle of the screen; its size stays.
void centerForm(Form &form);

const QList<ControlLayout> &controlLayouts();
qint32 layoutFormHeight();
qint32 layoutFormWidth();
