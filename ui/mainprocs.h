#pragma once
#include <QVariant>
#include <QWidget>

class Form;
class QLineEdit;
class QComboBox;

// Procedures of the global module that work on the main window.
void setPromptStore();
bool promptStore();
void clear_checks();
void hideFrames();
void hideTree();
void showTree();
void selectAllText(QLineEdit *textBox);
QVariant clampNonNegative(int value);

// Single instance and focus.
bool CheckUnique(Form &form);
// Name of the single-instance guard of a window caption (copies with one caption are one program).
QString singleInstanceName(const QString &caption);
bool trySetFocus(QWidget *control);
