#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/vb/vberror.h"

// The conversions and string functions of the language runtime, with its semantics:
// positions are 1-based, conversions round half to even, failures raise VbError
// (6 overflow, 13 type mismatch, 5 invalid argument).

inline const QString vbCrLf = QStringLiteral("\r\n");
inline const QString vbCr = QStringLiteral("\r");
inline const QString vbLf = QStringLiteral("\n");
inline const QString vbTab = QStringLiteral("\t");
inline const QString vbNullString;

constexpr int vbBinaryCompare = 0;
constexpr int vbTextCompare = 1;

// --- conversions ---------------------------------------------------------------------------
short CInt(const QVariant &v);        // 16-bit, half to even; 6 out of range, 13 not numeric
int CLng(const QVariant &v);          // 32-bit, half to even; 6 out of range, 13 not numeric
double CDbl(const QVariant &v);       // 13 not numeric
float CSng(const QVariant &v);        // 13 not numeric, 6 out of range
bool CBool(const QVariant &v);        // numbers (0 = False), "True"/"False" in any case; else 13
QString CStr(const QVariant &v);      // Booleans as "True"/"False", numbers in general form
double Val(const QString &s);         // leading number of the text, blanks ignored; 0 when none
bool IsNumeric(const QVariant &v);    // true when CDbl would succeed
bool IsDate(const QVariant &v);
double Int(double x);                 // largest integer not above x
double Fix(double x);                 // integer part, towards zero
double Round(double x, int digits = 0); // half to even
QString Hex(qint64 x);
QString Chr(int code);
int Asc(const QString &s);            // 5 on an empty text

// Text of a number in the runtime's general form (up to 15 significant digits for doubles).
QString numberText(double x, int significantDigits = 15);

// Format(value, pattern): numeric patterns ("0000", "00", "#####0.000", "#,##0.00", "0.0%"),
// named formats ("General Number", "Fixed", "Standard", "Percent", "General Date",
// "Long Date", "Short Date", "Long Time", "Short Time", "Yes/No", "True/False", "On/Off"),
// and date patterns ("mm/dd/yyyy", "yyyymmdd", "hh:nn:ss", "AM/PM", ...). A text value that is
// numeric is formatted as a number, one that reads as a date as a date.
QString Format(const QVariant &value, const QString &pattern = QString());

// Date and time.
QString generalDate(const QDateTime &dt);   // "12/8/2026 10:36:09 PM"; date only at midnight
QString Now();                              // general-date text of the current local time
QDateTime NowDateTime();
QString DateText();                         // short date of today, "12/8/2026"
QString TimeText();                         // "10:36:09 PM"
QDateTime CDate(const QVariant &v);         // 13 when the value is no date
double Timer();                             // seconds since midnight

// --- strings -------------------------------------------------------------------------------
QString Trim(const QString &s);      // blanks (spaces) only, as the runtime does
QString LTrim(const QString &s);
QString RTrim(const QString &s);
QString Left(const QString &s, int n);               // 5 when n < 0
QString Right(const QString &s, int n);              // 5 when n < 0
QString Mid(const QString &s, int start, int length = -1); // 5 when start < 1 or length < -1
int InStr(const QString &s, const QString &find, int compare = vbBinaryCompare);
int InStr(int start, const QString &s, const QString &find, int compare = vbBinaryCompare);
int InStrRev(const QString &s, const QString &find, int start = -1, int compare = vbBinaryCompare);
QString UCase(const QString &s);
QString LCase(const QString &s);
int Len(const QString &s);
QString Replace(const QString &s, const QString &find, const QString &with,
                int start = 1, int count = -1, int compare = vbBinaryCompare);
QString Space(int n);
QString StringOf(int n, QChar ch);
QString StringOf(int n, const QString &ch);          // first character of ch
QStringList Split(const QString &s, const QString &delim = QStringLiteral(" "), int limit = -1);
QString Join(const QStringList &parts, const QString &delim = QStringLiteral(" "));
int StrComp(const QString &a, const QString &b, int compare = vbBinaryCompare);

// Lets queued events run (the UI stays responsive on long roads).
void DoEvents();
