#include "platform/vb/vb.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <QDateTime>

namespace {

int cint(const QVariant &v) { return CInt(v); }

struct IntCase {
    QVariant in;
    int expected; // value, or the error number when error is set
    bool error;
    int (*convert)(const QVariant &) = cint;
};

TEST(VbConversions, CIntAndCLngRoundHalfToEvenAndCheckTheirRange)
{
    const auto clng = [](const QVariant &v) { return CLng(v); };
    const IntCase cases[] = {
        {2.5, 2, false},          {3.5, 4, false},         {-2.5, -2, false},
        {-3.5, -4, false},        {0.5, 0, false},         {1.5, 2, false},
        {2.4999, 2, false},       {QString("2.5"), 2, false}, {QString(" 3.5 "), 4, false},
        {QString("-7"), -7, false}, {QString("1e3"), 1000, false}, {QString("+12"), 12, false},
        {32767, 32767, false},    {-32768, -32768, false}, {32767.5, 6, true},
        {40000, 6, true},         {QString("40000"), 6, true}, {-32768.5, -32768, false},
        {-32769, 6, true},        {QString(""), 13, true}, {QString("abc"), 13, true},
        {QString("12abc"), 13, true}, {true, -1, false},   {false, 0, false},
        {QVariant(), 0, false},   {QString("True"), -1, false},
        {QString("2147483647"), 2147483647, false, clng}, {-2147483648.0, int(-2147483648LL), false, clng},
        {2147483647.5, 6, true, clng}, {QString("9999999999"), 6, true, clng}, {QString(""), 13, true, clng},
        {QString("1,000"), 1000, false, clng}, {40000, 40000, false, clng}, {6.5, 6, false, clng},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in.toString().toStdString() + (c.convert == cint ? " CInt" : " CLng"));
        if (c.error) {
            EXPECT_EQ(errorOf([&] { c.convert(c.in); }), c.expected);
        } else {
            EXPECT_EQ(c.convert(c.in), c.expected);
        }
    }
}

TEST(VbConversions, CBoolAndCStr)
{
    EXPECT_TRUE(CBool(QString("True")));
    EXPECT_TRUE(CBool(QString("true")));
    EXPECT_FALSE(CBool(QString("FALSE")));
    EXPECT_TRUE(CBool(QString("-1")));
    EXPECT_TRUE(CBool(QString("2")));
    EXPECT_FALSE(CBool(QString("0")));
    EXPECT_EQ(errorOf([] { CBool(QString("yes")); }), 13);
    EXPECT_EQ(errorOf([] { CBool(QString("")); }), 13);

    EXPECT_EQ(CStr(true), "True");
    EXPECT_EQ(CStr(false), "False");
    EXPECT_EQ(CStr(128), "128");
    EXPECT_EQ(CStr(2.5), "2.5");
    EXPECT_EQ(CStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(CStr(1e15), "1E+15");
    EXPECT_EQ(CStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(CStr(QVariant()), "");
    EXPECT_EQ(CStr(QDateTime(QDate(2026, 12, 8), QTime(22, 36, 9))), "12/8/2026 10:36:09 PM");
    // Single precision keeps 7 significant digits.
    EXPECT_EQ(numberText(double(1000.0f / 15.0f), 7), "66.66666");
}

TEST(VbConversions, IsNumeric)
{
    const std::pair<const char *, bool> cases[] = {
        {"12", true},     {" 12 ", true},   {"-3.5", true},  {"+3.5", true},   {".5", true},
        {"5.", true},     {"1e5", true},    {"1E-5", true},  {"1D2", true},    {"1,000.25", true},
        {"\t7\t", true},  {"&H1F", true},   {"(5)", true},   {"$12", true},    {"", false},
        {" ", false},     {"abc", false},   {"12abc", false}, {"1e", false},   {"--1", false},
        {"1.2.3", false}, {",5", false},    {"True", false}, {"- 1", false},   {"(-5)", false},
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(IsNumeric(QString(text)), expected);
    }
    EXPECT_TRUE(IsNumeric(3));
    EXPECT_FALSE(IsNumeric(QDateTime::currentDateTime()));
}

TEST(VbConversions, ValReadsTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(Val("12abc"), 12);
    EXPECT_DOUBLE_EQ(Val("  -3.5e2x"), -350);
    EXPECT_DOUBLE_EQ(Val("1 2 3"), 123);
    EXPECT_DOUBLE_EQ(Val(""), 0);
    EXPECT_DOUBLE_EQ(Val("abc"), 0);
    EXPECT_DOUBLE_EQ(Val("1,000"), 1);
    EXPECT_DOUBLE_EQ(Val("&HFF"), 255);
    EXPECT_DOUBLE_EQ(Val("3.14.15"), 3.14);
}

TEST(VbConversions, IntFixRound)
{
    EXPECT_EQ(Int(12.7), 12);
    EXPECT_EQ(Int(-3.5), -4);
    EXPECT_EQ(Fix(-3.5), -3);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_DOUBLE_EQ(Round(1.25, 1), 1.2);
    EXPECT_EQ(Hex(255), "FF");
    EXPECT_EQ(Hex(-1), "FFFFFFFF");
    EXPECT_EQ(Asc("A"), 65);
    EXPECT_EQ(errorOf([] { Asc(""); }), 5);
}

TEST(VbFormat, NumberPatterns)
{
    const struct {
        QVariant value;
        const char *pattern;
        const char *expected;
    } cases[] = {
        {5, "0000", "0005"},
        {12345, "0000", "12345"},
        {QString("7"), "0000", "0007"},
        {3, "00", "03"},
        {2026, "00", "2026"},
        {1.0, "#####0.000", "1.000"},
        {25.4, "######0.000", "25.400"},
        {2540000.0, "######0.000", "2540000.000"},
        {0.0, "#####0.000", "0.000"},
        {0.0005, "#####0.000", "0.001"},
        {1.0005, "#####0.000", "1.001"},
        {2.5, "######0", "3"},
        {-2.5, "######0", "-3"},
        {-0.0001, "0.00", "0.00"},
        {1.005, "0.00", "1.01"},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {0.256, "0.0%", "25.6%"},
        {5, "#.##", "5."},
        {0.5, "#.00", ".50"},
        {-5, "0;(0)", "(5)"},
        {0, "0;(0);\"zero\"", "zero"},
        {42, "\"No. \"000", "No. 042"},
        {1234.5, "Fixed", "1234.50"},
        {1234.5, "Standard", "1,234.50"},
        {0.5, "Percent", "50.00%"},
        {2.5, "General Number", "2.5"},
        {true, "Yes/No", "Yes"},
        {0, "True/False", "False"},
        {QString("abc"), "0000", "abc"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " on " + c.value.toString().toStdString());
        EXPECT_EQ(Format(c.value, c.pattern), QString(c.expected));
    }
}

TEST(VbFormat, DatePatterns)
{
    const QDateTime evening(QDate(2026, 12, 8), QTime(22, 36, 9));
    const QDateTime morning(QDate(2026, 3, 4), QTime(7, 5, 3));
    const struct {
        QDateTime value;
        const char *pattern;
        const char *expected;
    } cases[] = {
        {evening, "mm/dd/yyyy", "12/08/2026"},
        {morning, "mm/dd/yyyy", "03/04/2026"},
        {morning, "m/d/yy", "3/4/26"},
        {morning, "yyyymmdd", "20260304"},
        {morning, "hh:mm:ss", "07:05:03"},
        {evening, "hh:nn:ss AM/PM", "10:36:09 PM"},
        {evening, "h:nn am/pm", "10:36 pm"},
        {evening, "General Date", "12/8/2026 10:36:09 PM"},
        {QDateTime(QDate(2026, 12, 8), QTime(0, 0)), "General Date", "12/8/2026"},
        {evening, "Short Date", "12/8/2026"},
        {evening, "Long Date", "Tuesday, December 8, 2026"},
        {evening, "Long Time", "10:36:09 PM"},
        {evening, "Short Time", "22:36"},
        {evening, "dddd mmmm d", "Tuesday December 8"},
        {evening, "ddd mmm", "Tue Dec"},
        {morning, "hh\\hmm", "07h05"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(Format(c.value, c.pattern), QString(c.expected));
    }
    // Text that reads as a date is formatted as one.
    EXPECT_EQ(Format(QString("12/8/2026 10:36:09 PM"), "mm/dd/yyyy hh:nn"), "12/08/2026 22:36");
    EXPECT_EQ(Format(QString("3/4/2026"), "yyyy-mm-dd"), "2026-03-04");
}

TEST(VbFormat, NowIsGeneralDateText)
{
    const QString now = Now();
    const QDateTime parsed = CDate(now);
    ASSERT_TRUE(parsed.isValid()) << now.toStdString();
    EXPECT_LE(std::abs(parsed.secsTo(QDateTime::currentDateTime())), 2);
    EXPECT_TRUE(now.endsWith(" AM") || now.endsWith(" PM") || !now.contains(':'));
    EXPECT_EQ(errorOf([] { CDate(QString("not a date")); }), 13);
}

TEST(VbStrings, PositionsAreOneBased)
{
    EXPECT_EQ(Mid("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Mid("abcdef", 4), "def");
    EXPECT_EQ(Mid("abc", 5), "");
    EXPECT_EQ(errorOf([] { Mid("abc", 0); }), 5);
    EXPECT_EQ(Left("abc", 5), "abc");
    EXPECT_EQ(Right("abcdef", 2), "ef");
    EXPECT_EQ(errorOf([] { Left("abc", -1); }), 5);

    EXPECT_EQ(InStr("abcabc", "c"), 3);
    EXPECT_EQ(InStr(4, "abcabc", "c"), 6);
    EXPECT_EQ(InStr("abc", "x"), 0);
    EXPECT_EQ(InStr("abc", ""), 1);
    EXPECT_EQ(InStr(5, "abc", "a"), 0);
    EXPECT_EQ(InStr("ABC", "b", vbTextCompare), 2);
    EXPECT_EQ(InStr("ABC", "b"), 0);
    EXPECT_EQ(InStrRev("a,b,c", ","), 4);
    EXPECT_EQ(InStrRev("a,b,c", ",", 3), 2);
    EXPECT_EQ(InStrRev("abc", "x"), 0);
    EXPECT_EQ(InStrRev("abcabc", "abc", 5), 1);
}

TEST(VbStrings, TrimReplaceSplitJoin)
{
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("\tx\t"), "\tx\t"); // only spaces
    EXPECT_EQ(LTrim("  a "), "a ");
    EXPECT_EQ(RTrim("  a "), "  a");

    EXPECT_EQ(Replace("a\\b\\c", "\\", "/"), "a/b/c");
    EXPECT_EQ(Replace("abcabc", "a", "x", 3), "cxbc");
    EXPECT_EQ(Replace("aaaa", "a", "b", 1, 2), "bbaa");
    EXPECT_EQ(Replace("Sonic", "SONIC", "x", 1, -1, vbTextCompare), "x");
    EXPECT_EQ(Replace("abc", "", "x"), "abc");

    EXPECT_EQ(Split("a,b,,c", ","), QStringList({"a", "b", "", "c"}));
    EXPECT_EQ(Split("", ",").size(), 0);
    EXPECT_EQ(Split("a,b,c", ",", 2), QStringList({"a", "b,c"}));
    EXPECT_EQ(Split("abc", ""), QStringList({"abc"}));
    EXPECT_EQ(Join({"10.0.0.5", "fe80::1"}, ", "), "10.0.0.5, fe80::1");

    EXPECT_EQ(Space(3), "   ");
    EXPECT_EQ(StringOf(4, '-'), "----");
    EXPECT_EQ(StringOf(3, QString("xy")), "xxx");
    EXPECT_EQ(StringOf(96, '-').size(), 96);
    EXPECT_EQ(errorOf([] { Space(-1); }), 5);
    EXPECT_EQ(StrComp("a", "B", vbTextCompare), -1);
    EXPECT_EQ(StrComp("a", "B"), 1);
}

} // namespace
