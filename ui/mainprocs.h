#pragma once
#include <QVariant>
#include <QWidget>

#include <functional>

class FrmMain;
class Form;
class QLineEdit;
class QComboBox;

// Procedures of the global module that work on the main window.
void setPromptStore();
// True when the document may be left: nothing unstored, or the operator agrees to lose it. During
// the main window's scan the scan stops at the sheet in hand and the answer is False; `again`
// (the command asking) then runs once the scan has ended.
bool promptStore(const std::function<void()> &again = {});
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

// Keyboard shortcuts of the main window (shift by reference, as the key event gives it).
void checkKeyDown(int keyCode, int &shift);
// Fits the main window's controls to its inner size (twips).
void resizeElements();
// The status text back at its start, its scroll bar shown when the text is taller than its frame.
void layoutStatusText(FrmMain &f);
// Selects in an e-file partner combo the entry whose identifier is `id` (case-sensitive).
bool selectEfileProvider(QComboBox *combo, const QString &id);
// F6: the help file of the program folder, at its contents.
void showOnlineHelp();
