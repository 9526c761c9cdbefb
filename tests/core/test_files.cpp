#include <QDir>
#include <QFile>

#include "core/files.h"
#include "coretest.h"
#include "platform/forms/msgbox.h"
#include "support/scratchmount.h"

namespace {

class Files : public CoreTest {};

void touch(const QString &path, const QByteArray &data = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(FormatFunctions, PadZeros)
{
    struct Case { qint32 value; qint16 width; const char *expected; };
    const Case cases[] = {
        {5, 4, "0005"}, {12345, 4, "12345"}, {-5, 4, "00-5"}, {0, 1, "0"}, {7, 0, "7"},
        {1234, 4, "1234"}, {2147483647, 12, "002147483647"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(padZeros(c.value, c.width), QString::fromLatin1(c.expected)) << c.value << " " << c.width;
}

TEST(FormatFunctions, PadNumericField)
{
    struct Case { const char *text; qint16 width; bool ok; const char *after; int error = 0; };
    const Case cases[] = {
        {"7", 3, true, "007"},       {"12.9", 4, true, "0012"},  {"-3.5", 3, true, "0-4"},
        {" 42 ", 5, true, "00042"},  {"abc", 4, false, "abc"},   {"", 4, false, ""},
        {"123456", 4, true, "123456"}, {"1e3", 5, true, "01000"},
        {"99999999999", 4, false, "99999999999", vbErr::Overflow}, // raised, the text left alone
    };
    for (const Case &c : cases) {
        QString text = QString::fromLatin1(c.text);
        bool ok = false;
        EXPECT_EQ(errorOf([&] { ok = padNumericField(text, c.width); }), c.error) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(text, QString::fromLatin1(c.after)) << c.text;
    }
}

TEST(FormatFunctions, ConvertTrimUnits)
{
    struct Case { const char *value; qint32 target, source; qint16 dpi; const char *expected; };
    const Case cases[] = {
        {"25.4", 0, 1, 200, "1.000"},
        {"1", 1, 0, 200, "25.400"},
        {"2.5", 0, 0, 200, "2.500"},          // equal units: reformatted only
        {"200000", 1, 0, 200, "2540000.000"}, // clamped at 100000 inches first
        {"400", 0, 2, 200, "2.000"},
        {"8.5", 2, 0, 200, "1700"},
        {"400", 0, 2, 0, ""},                 // resolution 0
        {"", 0, 1, 200, ""},
        {"   ", 0, 1, 200, ""},
        {"abc", 0, 1, 200, ""},
        {"1", 3, 0, 200, ""},                 // unknown target unit
    };
    for (const Case &c : cases) {
        const qint16 dpi = c.dpi;
        EXPECT_EQ(convertTrimUnits(QString::fromLatin1(c.value), c.target, c.source,
                                   [dpi] { return dpi; }),
                  QString::fromLatin1(c.expected))
            << c.value << " " << c.source << "->" << c.target;
    }
}

TEST(FormatFunctions, SafeCInt)
{
    struct Case { const char *text; qint16 expected; };
    const Case cases[] = {
        {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"", 0}, {"40000", 0}, {"32767", 32767},
        {"x1", 0}, {" 12 ", 12},
    };
    for (const Case &c : cases)
        EXPECT_EQ(safeCInt(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST_F(Files, DeleteTempFileResetsOldLengthWhetherOrNotTheFileExists)
{
    MsgBoxScript boxes;
    g_strTempPath = getTempPath();
    touch(g_strTempPath + "temp2.tif");
    g_intOldDocLength = 5;
    DeleteTempFile(QStringLiteral("temp2.tif"));
    EXPECT_FALSE(QFile::exists(g_strTempPath + "temp2.tif"));
    EXPECT_EQ(g_intOldDocLength, 0);
    g_intOldDocLength = 9;
    DeleteTempFile(QStringLiteral("nothere.tif"));
    EXPECT_EQ(g_intOldDocLength, 0);
    EXPECT_TRUE(boxes.calls().isEmpty());
}

TEST_F(Files, DeleteFileRemovesReadOnlyFilesAndIgnoresMissingOnes)
{
    MsgBoxScript boxes;
    const QString f = dir.filePath("ro.tif");
    touch(f);
    QFile::setPermissions(f, QFileDevice::ReadOwner);
    DeleteFile(f);
    EXPECT_FALSE(QFile::exists(f));
    DeleteFile(dir.filePath("gone.tif"));
    EXPECT_TRUE(boxes.calls().isEmpty());
}

TEST_F(Files, CopyFileOverwritesKeepsAFileCopiedOntoItselfAndReportsAMissingSource)
{
    const QString a = dir.filePath("a.tif"), b = dir.filePath("b.tif");
    const struct {
        const char *what;
        QString from, to;
        QByteArray after; // what `to` holds
        const char *box = nullptr;
    } rows[] = {
        {"over another file", a, b, "new"},
        {"onto itself", a, a, "new"},
        {"onto itself by another spelling of its path", a, dir.filePath("./a.tif"), "new"},
        {"from a missing file", dir.filePath("none.tif"), b, "old-content", "Error in CopyFile at line 1\r\n53: "},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        touch(a, "new");
        touch(b, "old-content");
        MsgBoxScript boxes;
        CopyFile(r.from, r.to);
        EXPECT_EQ(contents(r.to), r.after);
        ASSERT_EQ(boxes.calls().size(), r.box ? 1 : 0);
        if (r.box) {
            EXPECT_TRUE(boxes.calls()[0].prompt.startsWith(r.box)) << boxes.calls()[0].prompt.toStdString();
            EXPECT_EQ(boxes.calls()[0].icon(), int(vb::vbCritical));
        }
    }
}

TEST_F(Files, CopyFileThatCannotCompleteKeepsTheOldDestination)
{
    // A file system of 64 KiB that the copy of 200 KiB fills.
    const QString small = dir.filePath("small");
    ASSERT_TRUE(QDir().mkpath(small));
    ScratchMount mount(small, 64 * 1024, false, [](const QString &folder) {
        QFile f(folder + "/b.tif");
        if (f.open(QIODevice::WriteOnly))
            f.write("old-content");
    });
    if (!mount.ok())
        GTEST_SKIP() << mount.why().toStdString();
    const QString big = dir.filePath("big.tif");
    touch(big, QByteArray(200 * 1024, 'p'));

    MsgBoxScript boxes;
    CopyFile(big, small + "/b.tif");
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith("Error in CopyFile at line 2\r\n61: "))
        << boxes.calls()[0].prompt.toStdString();
    EXPECT_EQ(contents(small + "/b.tif"), QByteArray("old-content"));
    EXPECT_EQ(entries(small), QStringList{"b.tif"}); // no temporary left beside it
}

TEST_F(Files, CopyIntoPlaceCreatesOnlyAFreeName)
{
    const QString a = dir.filePath("a.tif"), b = dir.filePath("b.tif");
    touch(a, "new");
    touch(b, "taken");
    EXPECT_FALSE(copyIntoPlace(a, b, CopyMode::CreateNew));
    EXPECT_EQ(contents(b), QByteArray("taken"));
    EXPECT_TRUE(copyIntoPlace(a, dir.filePath("c.tif"), CopyMode::CreateNew));
    EXPECT_EQ(contents(dir.filePath("c.tif")), QByteArray("new"));
    EXPECT_EQ(entries(dir.path()), (QStringList{"a.tif", "b.tif", "c.tif"}));
    // A folder that is not there is a path error, and leaves nothing.
    EXPECT_EQ(errorOf([&] { copyIntoPlace(a, dir.filePath("none/d.tif"), CopyMode::Replace); }), vbErr::PathNotFound);
}
