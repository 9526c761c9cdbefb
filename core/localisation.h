#pragma once
// Adapts a form to the interface language: texts translated, fonts replaced, the form and its
// controls scaled with its font; over-wide texts marked red and logged to "loc.log" when the
// setting "LongStringsRed" asks for it. Locale 1033 changes nothing.
#include <QFont>
#include <QString>

class Form;
class QObject;

void LocalizeForm(Form &form);
// The translation of a key, or the key itself when the catalogue has none.
QString LocalizeString(const QString &key);
// Applies the translation of "<name>/<size>" or else "<name>/Scaled"; true when one applied.
bool LocalizeFont(QFont &font);
// Mode 1 only: a text wider than the control turns the control red and is logged.
void MarkLongString(qint16 mode, const Form &form, QObject *control, const QString &text);
QString NoLocalize(const QString &text);

// The font's size as its key writes it: regional decimal text without trailing zeros.
QString fontSizeText(double pointSize);
// Where over-wide texts are logged: "loc.log" in the Logs folder.
QString locLogPath();
