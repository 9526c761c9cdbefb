#include "platform/vb/vb.h"

#include <QCoreApplication>
#include <QTime>

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Parses numeric text as the runtime does: surrounding blanks, "$", a sign (or parentheses),
// digits with thousands commas, one decimal point, an exponent (E or D), or &H / &O integers.
bool parseNumber(const QString &text, double &out)
{
    int b = 0, e = int(text.size());
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    if (b == e)
        return false;
    const QString s = text.mid(b, e - b);

    if (s.size() > 2 && s[0] == u'&') {
        const QChar k = s[1].toUpper();
        const int base = k == u'H' ? 16 : k == u'O' ? 8 : 0;
        if (!base)
            return false;
        bool ok = false;
        const qulonglong v = s.mid(2).toULongLong(&ok, base);
        if (!ok || v > 0xFFFFFFFFull)
            return false;
        // 16-bit or 32-bit two's complement, as the runtime reads it.
        if (v <= 0xFFFF)
            out = double(qint16(quint16(v)));
        else
            out = double(qint32(quint32(v)));
        return true;
    }

    int i = 0;
    const int n = int(s.size());
    bool negative = false, parens = false;
    if (s[i] == u'(') {
        parens = true;
        ++i;
    }
    if (i < n && s[i] == u'$')
        ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (parens && negative)
        return false;
    if (i < n && s[i] == u'$')
        ++i;
    QByteArray digits;
    bool any = false;
    while (i < n && (s[i].isDigit() || (s[i] == u',' && any))) {
        if (s[i] != u',')
            digits += char(s[i].unicode());
        any = true;
        ++i;
    }
    if (i < n && s[i] == u'.') {
        digits += '.';
        ++i;
        while (i < n && s[i].isDigit()) {
            digits += char(s[i].unicode());
            any = true;
            ++i;
        }
    }
    if (!any)
        return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        QByteArray ex = "e";
        int j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            ex += char(s[j++].unicode());
        bool expDigits = false;
        while (j < n && s[j].isDigit()) {
            ex += char(s[j++].unicode());
            expDigits = true;
        }
        if (!expDigits)
            return false;
        digits += ex;
        i = j;
    }
    if (parens) {
        if (i >= n || s[i] != u')')
            return false;
        ++i;
        negative = true;
    }
    if (i != n)
        return false;
    bool ok = false;
    double v = digits.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    out = negative ? -v : v;
    return true;
}

// The value as a double, raising 13 when it is none.
double toDouble(const QVariant &v)
{
    if (!v.isValid())
        return 0;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? -1 : 0;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return v.toDouble();
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QChar: {
        const QString s = v.toString();
        double d = 0;
        if (parseNumber(s, d))
            return d;
        const QString t = s.trimmed();
        if (t.compare(u"True", Qt::CaseInsensitive) == 0)
            return -1;
        if (t.compare(u"False", Qt::CaseInsensitive) == 0)
            return 0;
        raiseVbError(vbErr::TypeMismatch);
    }
    case QMetaType::QDateTime:
    case QMetaType::QDate: {
        // Days since 30 Dec 1899, the time as the fraction.
        const QDateTime dt = v.toDateTime();
        const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
        const qint64 secs = epoch.secsTo(QDateTime(dt.date(), dt.time()));
        return double(secs) / 86400.0;
    }
    default:
        raiseVbError(vbErr::TypeMismatch);
    }
}

double roundHalfEven(double x)
{
    const int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(old);
    return r;
}

// Fixed-point text of a non-negative value rounded half away from zero, working on its decimal
// digits (15 significant) so that 1.005 rounds as it reads.
QString fixedHalfUp(double value, int decimals)
{
    QString ip = QStringLiteral("0"), fp(decimals, u'0');
    if (value != 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.14e", value);
        const QString t = QString::fromLatin1(buf);
        const int e = int(t.indexOf(u'e'));
        QString digits = t.left(e).remove(u'.');
        int point = t.mid(e + 1).toInt() + 1; // digits before the decimal point
        if (point <= 0) {
            digits.prepend(QString(-point, u'0'));
            point = 0;
        } else if (point > digits.size()) {
            digits.append(QString(point - digits.size(), u'0'));
        }
        QString all = digits.left(point + decimals);
        all.append(QString(point + decimals - all.size(), u'0'));
        if (point + decimals < digits.size() && digits[point + decimals] >= u'5') {
            int i = int(all.size()) - 1;
            for (; i >= 0; --i) {
                if (all[i] == u'9') {
                    all[i] = u'0';
                } else {
                    all[i] = QChar(all[i].unicode() + 1);
                    break;
                }
            }
            if (i < 0) {
                all.prepend(u'1');
                ++point;
            }
        }
        ip = all.left(point);
        fp = all.mid(point);
        while (ip.size() > 1 && ip.startsWith(u'0'))
            ip.remove(0, 1);
        if (ip.isEmpty())
            ip = QStringLiteral("0");
    }
    return decimals > 0 ? ip + u'.' + fp : ip;
}

bool isZeroText(const QString &t)
{
    for (QChar c : t)
        if (c.isDigit() && c != u'0')
            return false;
    return true;
}

const char *const kMonths[] = {"January", "February", "March", "April", "May", "June", "July",
                               "August", "September", "October", "November", "December"};
const char *const kDays[] = {"Monday", "Tuesday", "Wednesday", "Thursday",
                             "Friday", "Saturday", "Sunday"};

QString twelveHour(const QTime &t, bool pad)
{
    int h = t.hour() % 12;
    if (h == 0)
        h = 12;
    return pad ? QStringLiteral("%1").arg(h, 2, 10, QChar(u'0')) : QString::number(h);
}

QString longTime(const QTime &t)
{
    return QStringLiteral("%1:%2:%3 %4")
        .arg(twelveHour(t, false))
        .arg(t.minute(), 2, 10, QChar(u'0'))
        .arg(t.second(), 2, 10, QChar(u'0'))
        .arg(t.hour() < 12 ? u"AM" : u"PM");
}

QString shortDate(const QDate &d)
{
    return QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year(), 4, 10, QChar(u'0'));
}

QString longDate(const QDate &d)
{
    return QStringLiteral("%1, %2 %3, %4")
        .arg(QLatin1String(kDays[d.dayOfWeek() - 1]), QLatin1String(kMonths[d.month() - 1]))
        .arg(d.day())
        .arg(d.year());
}

bool parseDate(const QString &text, QDateTime &out)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    const QStringList dateForms = {QStringLiteral("M/d/yyyy"), QStringLiteral("M-d-yyyy"),
                                   QStringLiteral("yyyy-MM-dd"), QStringLiteral("M/d/yy")};
    const QStringList timeForms = {QStringLiteral("h:mm:ss AP"), QStringLiteral("h:mm AP"),
                                   QStringLiteral("H:mm:ss"), QStringLiteral("H:mm")};
    for (const QString &df : dateForms) {
        QDate d = QDate::fromString(s, df);
        if (d.isValid()) {
            if (df == u"M/d/yy" && d.year() < 1930)
                d = d.addYears(100);
            out = QDateTime(d, QTime(0, 0));
            return true;
        }
        for (const QString &tf : timeForms) {
            const QDateTime dt = QDateTime::fromString(s, df + u' ' + tf);
            if (dt.isValid()) {
                out = dt;
                return true;
            }
        }
    }
    for (const QString &tf : timeForms) {
        const QTime t = QTime::fromString(s, tf);
        if (t.isValid()) {
            out = QDateTime(QDate(1899, 12, 30), t);
            return true;
        }
    }
    return false;
}

bool toDateTime(const QVariant &v, QDateTime &out)
{
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate) {
        out = v.toDateTime();
        return out.isValid();
    }
    if (v.typeId() == QMetaType::QTime) {
        out = QDateTime(QDate(1899, 12, 30), v.toTime());
        return true;
    }
    if (v.typeId() == QMetaType::QString)
        return parseDate(v.toString(), out);
    return false;
}

// --- date patterns -------------------------------------------------------------------------

bool isDatePattern(const QString &p)
{
    static const QStringList named = {"General Date", "Long Date", "Medium Date", "Short Date",
                                      "Long Time",    "Medium Time", "Short Time"};
    static const QStringList numeric = {"General Number", "Currency", "Fixed", "Standard",
                                        "Percent", "Scientific", "Yes/No", "True/False", "On/Off"};
    if (named.contains(p, Qt::CaseInsensitive))
        return true;
    if (numeric.contains(p, Qt::CaseInsensitive))
        return false;
    bool quoted = false;
    for (int i = 0; i < p.size(); ++i) {
        const QChar c = p[i];
        if (c == u'"')
            quoted = !quoted;
        if (quoted || c == u'"')
            continue;
        if (c == u'\\') {
            ++i;
            continue;
        }
        const QChar l = c.toLower();
        if (l == u'd' || l == u'm' || l == u'y' || l == u'h' || l == u'n' || l == u's' || l == u'w'
            || l == u'q' || l == u'c' || l == u't')
            return true;
        if (l == u'0' || l == u'#')
            return false;
    }
    return false;
}

QString formatDate(const QDateTime &dt, const QString &pattern)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    const QString np = pattern.toLower();
    if (np == u"general date")
        return generalDate(dt);
    if (np == u"long date")
        return longDate(d);
    if (np == u"medium date")
        return QStringLiteral("%1-%2-%3")
            .arg(d.day(), 2, 10, QChar(u'0'))
            .arg(QLatin1String(kMonths[d.month() - 1]).left(3))
            .arg(d.year() % 100, 2, 10, QChar(u'0'));
    if (np == u"short date")
        return shortDate(d);
    if (np == u"long time")
        return longTime(t);
    if (np == u"medium time")
        return QStringLiteral("%1:%2 %3")
            .arg(twelveHour(t, true))
            .arg(t.minute(), 2, 10, QChar(u'0'))
            .arg(t.hour() < 12 ? u"AM" : u"PM");
    if (np == u"short time")
        return QStringLiteral("%1:%2").arg(t.hour(), 2, 10, QChar(u'0')).arg(t.minute(), 2, 10, QChar(u'0'));

    // Twelve-hour clock when the pattern holds an AM/PM marker.
    const bool twelve = np.contains(u"am/pm") || np.contains(u"a/p") || np.contains(u"ampm");
    auto pad2 = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QChar(u'0')); };
    QString out;
    bool lastWasHour = false;
    const int n = int(pattern.size());
    for (int i = 0; i < n;) {
        const QChar c = pattern[i];
        const QChar l = c.toLower();
        int run = 1;
        while (i + run < n && pattern[i + run].toLower() == l)
            ++run;
        if (c == u'\\' && i + 1 < n) {
            out += pattern[i + 1];
            i += 2;
            continue;
        }
        if (c == u'"') {
            const int end = int(pattern.indexOf(u'"', i + 1));
            const int stop = end < 0 ? n : end;
            out += pattern.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (np.mid(i, 5) == u"am/pm") {
            const QString m = t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            out += pattern[i].isUpper() ? m : m.toLower();
            i += 5;
            continue;
        }
        if (np.mid(i, 4) == u"ampm") {
            out += t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            i += 4;
            continue;
        }
        if (np.mid(i, 3) == u"a/p") {
            const QString m = t.hour() < 12 ? QStringLiteral("A") : QStringLiteral("P");
            out += pattern[i].isUpper() ? m : m.toLower();
            i += 3;
            continue;
        }
        if (l == u'd') {
            if (run == 1)
                out += QString::number(d.day());
            else if (run == 2)
                out += pad2(d.day());
            else if (run == 3)
                out += QLatin1String(kDays[d.dayOfWeek() - 1]).left(3);
            else if (run == 4)
                out += QLatin1String(kDays[d.dayOfWeek() - 1]);
            else if (run == 5)
                out += shortDate(d);
            else
                out += longDate(d);
            lastWasHour = false;
        } else if (l == u'm') {
            // "m" right after an hour (or before seconds) means minutes.
            int k = i + run;
            while (k < n && !QStringLiteral("dmyhnswq").contains(pattern[k].toLower()))
                ++k;
            const bool minute = run <= 2 && (lastWasHour || (k < n && pattern[k].toLower() == u's'));
            if (minute)
                out += run == 1 ? QString::number(t.minute()) : pad2(t.minute());
            else if (run == 1)
                out += QString::number(d.month());
            else if (run == 2)
                out += pad2(d.month());
            else if (run == 3)
                out += QLatin1String(kMonths[d.month() - 1]).left(3);
            else
                out += QLatin1String(kMonths[d.month() - 1]);
            lastWasHour = false;
        } else if (l == u'y') {
            if (run >= 3)
                out += QStringLiteral("%1").arg(d.year(), 4, 10, QChar(u'0'));
            else if (run == 2)
                out += pad2(d.year() % 100);
            else
                out += QString::number(d.dayOfYear());
            lastWasHour = false;
        } else if (l == u'h') {
            const int h = twelve ? (t.hour() % 12 == 0 ? 12 : t.hour() % 12) : t.hour();
            out += run >= 2 ? pad2(h) : QString::number(h);
            lastWasHour = true;
        } else if (l == u'n') {
            out += run >= 2 ? pad2(t.minute()) : QString::number(t.minute());
            lastWasHour = false;
        } else if (l == u's') {
            out += run >= 2 ? pad2(t.second()) : QString::number(t.second());
            lastWasHour = false;
        } else if (l == u'w') {
            if (run == 1)
                out += QString::number(d.dayOfWeek() % 7 + 1); // Sunday = 1
            else
                out += QString::number((d.dayOfYear() + QDate(d.year(), 1, 1).dayOfWeek() % 7 - 1) / 7 + 1);
            lastWasHour = false;
        } else if (l == u'q') {
            out += QString::number((d.month() - 1) / 3 + 1);
        } else if (l == u'c' && run == 1) {
            out += generalDate(dt);
        } else if (l == u't' && run == 5) {
            out += longTime(t);
        } else {
            // Separators, blanks and other characters stand for themselves.
            out += pattern.mid(i, run);
        }
        i += run;
    }
    return out;
}

// --- number patterns -----------------------------------------------------------------------

QString groupThousands(const QString &digits)
{
    QString out;
    const int n = int(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += u',';
        out += digits[i];
    }
    return out;
}

// Splits a pattern into its sections at ";" outside quotes.
QStringList sections(const QString &p)
{
    QStringList out;
    QString cur;
    bool quoted = false;
    for (int i = 0; i < p.size(); ++i) {
        const QChar c = p[i];
        if (c == u'"')
            quoted = !quoted;
        if (c == u'\\' && i + 1 < p.size()) {
            cur += c;
            cur += p[++i];
            continue;
        }
        if (c == u';' && !quoted) {
            out << cur;
            cur.clear();
            continue;
        }
        cur += c;
    }
    out << cur;
    return out;
}

// One section applied to a non-negative value.
QString formatSection(double value, const QString &sec)
{
    // Read the placeholders: integer part, decimals, grouping, percent.
    int intZeros = 0, decZeros = 0, decHashes = 0;
    bool seenDot = false, grouping = false, percent = false;
    int firstPh = -1, lastPh = -1;
    bool quoted = false;
    for (int i = 0; i < sec.size(); ++i) {
        const QChar c = sec[i];
        if (c == u'"') {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == u'\\') {
            ++i;
            continue;
        }
        if (c == u'0' || c == u'#') {
            if (firstPh < 0)
                firstPh = i;
            lastPh = i;
            if (seenDot)
                (c == u'0' ? decZeros : decHashes)++;
            else if (c == u'0')
                ++intZeros;
        } else if (c == u'.' && !seenDot) {
            seenDot = true;
            if (firstPh < 0)
                firstPh = i;
            lastPh = i;
        } else if (c == u',' && firstPh >= 0 && !seenDot) {
            grouping = true;
        } else if (c == u'%') {
            percent = true;
        }
    }
    if (percent)
        value *= 100;
    const int decimals = decZeros + decHashes;
    const QString num = fixedHalfUp(std::fabs(value), decimals);
    QString ip = num, dp;
    const int dot = int(num.indexOf(u'.'));
    if (dot >= 0) {
        ip = num.left(dot);
        dp = num.mid(dot + 1);
    }
    while (dp.size() > decZeros && dp.endsWith(u'0'))
        dp.chop(1);
    if (ip == u"0" && intZeros == 0)
        ip.clear();
    while (ip.size() < intZeros)
        ip.prepend(u'0');
    if (grouping)
        ip = groupThousands(ip);
    QString body = ip;
    if (seenDot)
        body += u'.' + dp;

    // Assemble: literals before and after the digit block kept in place.
    QString out;
    quoted = false;
    bool placed = false;
    for (int i = 0; i < sec.size(); ++i) {
        const QChar c = sec[i];
        if (c == u'"') {
            quoted = !quoted;
            continue;
        }
        if (quoted) {
            out += c;
            continue;
        }
        if (c == u'\\' && i + 1 < sec.size()) {
            out += sec[++i];
            continue;
        }
        if (firstPh >= 0 && i >= firstPh && i <= lastPh) {
            if (!placed) {
                out += body;
                placed = true;
            }
            continue;
        }
        if (c == u',' && firstPh >= 0 && i > lastPh)
            continue;
        out += c;
    }
    return out;
}

QString formatNumber(double v, const QString &pattern)
{
    const QString np = pattern.toLower();
    if (np == u"general number")
        return numberText(v);
    if (np == u"fixed")
        return formatNumber(v, QStringLiteral("0.00"));
    if (np == u"standard")
        return formatNumber(v, QStringLiteral("#,##0.00"));
    if (np == u"percent")
        return formatNumber(v, QStringLiteral("0.00%"));
    if (np == u"currency")
        return formatNumber(v, QStringLiteral("$#,##0.00;($#,##0.00)"));
    if (np == u"yes/no")
        return v != 0 ? QStringLiteral("Yes") : QStringLiteral("No");
    if (np == u"true/false")
        return v != 0 ? QStringLiteral("True") : QStringLiteral("False");
    if (np == u"on/off")
        return v != 0 ? QStringLiteral("On") : QStringLiteral("Off");

    const QStringList secs = sections(pattern);
    if (v == 0 && secs.size() >= 3 && !secs[2].isEmpty())
        return formatSection(0, secs[2]);
    if (v < 0 && secs.size() >= 2 && !secs[1].isEmpty())
        return formatSection(-v, secs[1]);
    const QString text = formatSection(std::fabs(v), secs[0]);
    // A value that rounds to zero keeps no sign.
    return v < 0 && !isZeroText(text) ? u'-' + text : text;
}

} // namespace

// --- conversions -----------------------------------------------------------------------------

short CInt(const QVariant &v)
{
    const double r = roundHalfEven(toDouble(v));
    if (!(r >= -32768.0 && r <= 32767.0))
        raiseVbError(vbErr::Overflow);
    return short(r);
}

int CLng(const QVariant &v)
{
    const double r = roundHalfEven(toDouble(v));
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        raiseVbError(vbErr::Overflow);
    return int(r);
}

double CDbl(const QVariant &v) { return toDouble(v); }

float CSng(const QVariant &v)
{
    const double d = toDouble(v);
    if (std::fabs(d) > double(std::numeric_limits<float>::max()))
        raiseVbError(vbErr::Overflow);
    return float(d);
}

bool CBool(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    return toDouble(v) != 0;
}

QString numberText(double x, int significantDigits)
{
    if (x == 0)
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", significantDigits, x);
    QString s = QString::fromLatin1(buf);
    // "1.5E-07" stays; "1E+15" keeps its sign and at least two exponent digits as printf gives.
    const int e = int(s.indexOf(u'E'));
    if (e >= 0) {
        QString mant = s.left(e);
        if (mant.contains(u'.')) {
            while (mant.endsWith(u'0'))
                mant.chop(1);
            if (mant.endsWith(u'.'))
                mant.chop(1);
        }
        s = mant + s.mid(e);
    }
    return s;
}

QString CStr(const QVariant &v)
{
    if (!v.isValid())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
        return numberText(v.toDouble());
    case QMetaType::Float:
        return numberText(double(v.toFloat()), 7);
    case QMetaType::QDateTime:
        return generalDate(v.toDateTime());
    case QMetaType::QDate:
        return shortDate(v.toDate());
    case QMetaType::QTime:
        return longTime(v.toTime());
    default:
        if (v.canConvert<QString>())
            return v.toString();
        raiseVbError(vbErr::TypeMismatch);
    }
}

double Val(const QString &s)
{
    // Blanks anywhere are skipped; the number ends at the first character that cannot extend it.
    QString t;
    for (QChar c : s)
        if (!isBlank(c))
            t += c;
    if (t.size() > 2 && t[0] == u'&') {
        const QChar k = t[1].toUpper();
        const int base = k == u'H' ? 16 : k == u'O' ? 8 : 0;
        if (base) {
            int i = 2;
            while (i < t.size() && QStringLiteral("0123456789ABCDEF").left(base).contains(t[i].toUpper()))
                ++i;
            double d = 0;
            parseNumber(t.left(i), d);
            return d;
        }
    }
    int i = 0;
    const int n = int(t.size());
    QByteArray num;
    if (i < n && (t[i] == u'+' || t[i] == u'-'))
        num += char(t[i++].unicode());
    bool any = false, dot = false;
    while (i < n && (t[i].isDigit() || (t[i] == u'.' && !dot))) {
        if (t[i] == u'.')
            dot = true;
        else
            any = true;
        num += char(t[i++].unicode());
    }
    if (!any)
        return 0;
    if (i < n && (t[i] == u'e' || t[i] == u'E' || t[i] == u'd' || t[i] == u'D')) {
        int j = i + 1;
        QByteArray ex = "e";
        if (j < n && (t[j] == u'+' || t[j] == u'-'))
            ex += char(t[j++].unicode());
        bool expDigits = false;
        while (j < n && t[j].isDigit()) {
            ex += char(t[j++].unicode());
            expDigits = true;
        }
        if (expDigits)
            num += ex;
    }
    const double d = num.toDouble();
    if (!std::isfinite(d))
        raiseVbError(vbErr::Overflow);
    return d;
}

bool IsNumeric(const QVariant &v)
{
    if (!v.isValid())
        return true; // Empty counts as 0
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QChar: {
        double d = 0;
        return parseNumber(v.toString(), d);
    }
    default:
        return false;
    }
}

bool IsDate(const QVariant &v)
{
    QDateTime dt;
    return toDateTime(v, dt);
}

double Int(double x) { return std::floor(x); }
double Fix(double x) { return std::trunc(x); }

double Round(double x, int digits)
{
    if (digits < 0)
        raiseVbError(vbErr::InvalidProcedureCall);
    const double scale = std::pow(10.0, digits);
    return roundHalfEven(x * scale) / scale;
}

QString Hex(qint64 x)
{
    if (x < 0 && x >= -2147483648LL)
        return QString::number(quint32(qint32(x)), 16).toUpper();
    return QString::number(x, 16).toUpper();
}

QString Chr(int code)
{
    if (code < 0 || code > 0xFFFF)
        raiseVbError(vbErr::InvalidProcedureCall);
    return QString(QChar(char16_t(code)));
}

int Asc(const QString &s)
{
    if (s.isEmpty())
        raiseVbError(vbErr::InvalidProcedureCall);
    return s[0].unicode();
}

QString Format(const QVariant &value, const QString &pattern)
{
    if (!value.isValid())
        return QString();
    if (pattern.isEmpty())
        return CStr(value);
    QDateTime dt;
    const bool dateValue = value.typeId() == QMetaType::QDateTime || value.typeId() == QMetaType::QDate
                           || value.typeId() == QMetaType::QTime;
    if (dateValue || (isDatePattern(pattern) && !IsNumeric(value) && toDateTime(value, dt))) {
        if (dateValue)
            toDateTime(value, dt);
        if (isDatePattern(pattern))
            return formatDate(dt, pattern);
        return formatNumber(toDouble(QVariant(dt)), pattern);
    }
    if (value.typeId() == QMetaType::Bool) {
        const QString np = pattern.toLower();
        if (np == u"yes/no" || np == u"true/false" || np == u"on/off")
            return formatNumber(value.toBool() ? -1 : 0, pattern);
    }
    if (IsNumeric(value)) {
        const double d = toDouble(value);
        if (isDatePattern(pattern)) {
            const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
            return formatDate(epoch.addMSecs(qint64(std::llround(d * 86400000.0))), pattern);
        }
        return formatNumber(d, pattern);
    }
    // Text that is neither number nor date passes unchanged.
    return value.toString();
}

QString generalDate(const QDateTime &dt)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    if (d == QDate(1899, 12, 30))
        return longTime(t);
    if (t == QTime(0, 0))
        return shortDate(d);
    return shortDate(d) + u' ' + longTime(t);
}

QDateTime NowDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QTime t = now.time();
    return QDateTime(now.date(), QTime(t.hour(), t.minute(), t.second()));
}

QString Now() { return generalDate(NowDateTime()); }
QString DateText() { return shortDate(QDate::currentDate()); }
QString TimeText() { return longTime(QTime::currentTime()); }

QDateTime CDate(const QVariant &v)
{
    QDateTime dt;
    if (toDateTime(v, dt))
        return dt;
    if (IsNumeric(v)) {
        const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
        return epoch.addMSecs(qint64(std::llround(toDouble(v) * 86400000.0)));
    }
    raiseVbError(vbErr::TypeMismatch);
}

double Timer()
{
    const QTime t = QTime::currentTime();
    return t.msecsSinceStartOfDay() / 1000.0;
}

// --- strings -------------------------------------------------------------------------------

QString LTrim(const QString &s)
{
    int i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    return s.mid(i);
}

QString RTrim(const QString &s)
{
    qsizetype e = s.size();
    while (e > 0 && s[e - 1] == u' ')
        --e;
    return s.left(e);
}

QString Trim(const QString &s) { return LTrim(RTrim(s)); }

QString Left(const QString &s, int n)
{
    if (n < 0)
        raiseVbError(vbErr::InvalidProcedureCall);
    return s.left(n);
}

QString Right(const QString &s, int n)
{
    if (n < 0)
        raiseVbError(vbErr::InvalidProcedureCall);
    return n >= s.size() ? s : s.right(n);
}

QString Mid(const QString &s, int start, int length)
{
    if (start < 1 || length < -1)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (start > s.size())
        return QString();
    return s.mid(start - 1, length);
}

int InStr(const QString &s, const QString &find, int compare) { return InStr(1, s, find, compare); }

int InStr(int start, const QString &s, const QString &find, int compare)
{
    if (start < 1)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (start > s.size())
        return 0;
    if (find.isEmpty())
        return start;
    const auto cs = compare == vbTextCompare ? Qt::CaseInsensitive : Qt::CaseSensitive;
    return int(s.indexOf(find, start - 1, cs)) + 1;
}

int InStrRev(const QString &s, const QString &find, int start, int compare)
{
    if (start == 0 || start < -1)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (start == -1)
        start = int(s.size());
    if (find.isEmpty())
        return start;
    if (start > s.size())
        return 0;
    const int from = start - int(find.size());
    if (from < 0)
        return 0;
    const auto cs = compare == vbTextCompare ? Qt::CaseInsensitive : Qt::CaseSensitive;
    return int(s.lastIndexOf(find, from, cs)) + 1;
}

QString UCase(const QString &s) { return s.toUpper(); }
QString LCase(const QString &s) { return s.toLower(); }
int Len(const QString &s) { return int(s.size()); }

QString Replace(const QString &s, const QString &find, const QString &with, int start, int count,
                int compare)
{
    if (start < 1 || count < -1)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (start > s.size())
        return QString();
    // The result begins at start, as the runtime's Replace does.
    QString src = s.mid(start - 1);
    if (find.isEmpty() || count == 0)
        return src;
    const auto cs = compare == vbTextCompare ? Qt::CaseInsensitive : Qt::CaseSensitive;
    QString out;
    qsizetype pos = 0;
    int done = 0;
    while (count < 0 || done < count) {
        const qsizetype hit = src.indexOf(find, pos, cs);
        if (hit < 0)
            break;
        out += QStringView(src).mid(pos, hit - pos);
        out += with;
        pos = hit + find.size();
        ++done;
    }
    out += QStringView(src).mid(pos);
    return out;
}

QString Space(int n)
{
    if (n < 0)
        raiseVbError(vbErr::InvalidProcedureCall);
    return QString(n, u' ');
}

QString StringOf(int n, QChar ch)
{
    if (n < 0)
        raiseVbError(vbErr::InvalidProcedureCall);
    return QString(n, ch);
}

QString StringOf(int n, const QString &ch)
{
    if (ch.isEmpty())
        raiseVbError(vbErr::InvalidProcedureCall);
    return StringOf(n, ch[0]);
}

QStringList Split(const QString &s, const QString &delim, int limit)
{
    if (limit < -1)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (s.isEmpty() || limit == 0)
        return {};
    if (delim.isEmpty())
        return {s};
    QStringList out;
    qsizetype pos = 0;
    while (limit < 0 || out.size() < limit - 1) {
        const qsizetype hit = s.indexOf(delim, pos);
        if (hit < 0)
            break;
        out << s.mid(pos, hit - pos);
        pos = hit + delim.size();
    }
    out << s.mid(pos);
    return out;
}

QString Join(const QStringList &parts, const QString &delim) { return parts.join(delim); }

int StrComp(const QString &a, const QString &b, int compare)
{
    const int c = QString::compare(a, b, compare == vbTextCompare ? Qt::CaseInsensitive : Qt::CaseSensitive);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void DoEvents() { QCoreApplication::processEvents(); }
