#include "platform/system/system.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QThread>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool touch(const QString &path, const QByteArray &data = {})
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

class SystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setTempBase(dir.filePath("tmp"));
    }
    void TearDown() override
    {
        setTempBase(QString());
        setProgramFolder(QString());
        setNetworkAdaptersSource({});
        qunsetenv("QUORLA_SHARE_ROOT");
    }
    QTemporaryDir dir;
};

// --- private temp folder -------------------------------------------------------------------

// Whatever lies in its place, the program gets a folder of its own, closed to others, without an
// error: made when missing, tightened when open, another one beside a link or another user's
// folder, and below the system's temp folder when TMPDIR cannot be made.
TEST_F(SystemTest, PrivateTempFolderIsOwnedAndClosedWhateverLiesInItsPlace)
{
    const QString base = dir.filePath("tmp");
    const QString fixed = base + QString("/quorla-%1").arg(::getuid());
    const QString elsewhere = dir.filePath("elsewhere");
    const QString missing = dir.filePath("no/such/folder");
    ASSERT_TRUE(QDir().mkpath(base) && QDir().mkpath(elsewhere) && touch(dir.filePath("plain")));
    const QByteArray savedTmpdir = qgetenv("TMPDIR");
    const struct {
        const char *name;
        std::function<void()> plant;
        std::function<bool(const QString &)> expected;
        bool needsRoot = false;
    } cases[] = {
        {"nothing", [] {}, [&](const QString &p) { return p.startsWith(base + '/'); }},
        {"an open folder",
         [&] {
             QDir().mkpath(fixed);
             ::chmod(QFile::encodeName(fixed).constData(), 0777);
         },
         [&](const QString &p) { return p == fixed + '/'; }},
        {"a link", [&] { QFile::link(elsewhere, fixed); },
         [&](const QString &p) { return p != fixed + '/' && !p.startsWith(elsewhere); }},
        {"another user's folder",
         [&] {
             QDir().mkpath(fixed);
             (void)::chown(QFile::encodeName(fixed).constData(), 4321, 4321);
         },
         [&](const QString &p) { return p != fixed + '/'; }, true},
        {"TMPDIR not made yet",
         [&] {
             setTempBase(QString());
             qputenv("TMPDIR", QFile::encodeName(missing));
         },
         [&](const QString &p) { return p.startsWith(missing + '/'); }},
        {"TMPDIR below a file",
         [&] {
             setTempBase(QString());
             qputenv("TMPDIR", QFile::encodeName(dir.filePath("plain/sub")));
         },
         [](const QString &p) { return p.startsWith("/tmp/quorla-"); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0)
            continue; // giving a folder to another user needs root
        QFile::remove(fixed);
        QDir(fixed).removeRecursively();
        setTempBase(base);
        c.plant();
        QString p;
        EXPECT_EQ(errorOf([&] { p = privateTempPath(); }), 0);
        EXPECT_TRUE(c.expected(p)) << p.toStdString();
        EXPECT_TRUE(p.endsWith('/'));
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(p).constData(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(st.st_uid, ::getuid());
        EXPECT_EQ(privateTempPath(), p) << "stable within the run";
        EXPECT_TRUE(touch(p + "temp.tif"));
        QFile::remove(p + "temp.tif");
    }
    if (savedTmpdir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmpdir);
}

// --- identity ------------------------------------------------------------------------------

TEST_F(SystemTest, ComputerNameIsTheShortNameUpperCased)
{
    const QString name = computerName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(name.contains('.'));
    EXPECT_EQ(name, name.toUpper());
    EXPECT_TRUE(QSysInfo::machineHostName().toUpper().startsWith(name));
}

TEST_F(SystemTest, AdaptersComeFromTheSystemOrTheInjectedSource)
{
    bool sawLoopback = false;
    for (const NetworkAdapter &a : networkAdapters()) {
        if (a.addresses.contains("127.0.0.1")) {
            sawLoopback = true;
            EXPECT_FALSE(a.ipEnabled) << "loopback counted as a network adapter";
        }
        for (const QString &addr : a.addresses)
            EXPECT_FALSE(addr.contains('%')) << addr.toStdString();
    }
    EXPECT_TRUE(sawLoopback);

    setNetworkAdaptersSource([] {
        return QList<NetworkAdapter>{{"Sonic wireless", true, {"192.168.1.9", "fe80::1"}}};
    });
    ASSERT_EQ(networkAdapters().size(), 1);
    EXPECT_EQ(networkAdapters()[0].addresses.first(), "192.168.1.9");
    setNetworkAdaptersSource({});
    EXPECT_GT(networkAdapters().size(), 0);
}

// --- paths ---------------------------------------------------------------------------------

TEST_F(SystemTest, ShortPathIsThePathWhenItExists)
{
    const QString f = dir.filePath("clear.tif");
    ASSERT_TRUE(touch(f));
    EXPECT_EQ(shortPath(f), f);
    EXPECT_EQ(shortPath(dir.filePath("missing.tif")), "");
    EXPECT_EQ(shortPath(""), "");
}

TEST_F(SystemTest, HostPathsMapUnderTheShareRoot)
{
    const QString root = dir.filePath("shares");
    ASSERT_TRUE(QDir().mkpath(root + "/IMGSRV/Images/Book 12"));
    ASSERT_TRUE(QDir().mkpath(root + "/FILESRV/Scans"));
    ASSERT_TRUE(QDir().mkpath(root + "/FILESRV/scans"));
    qputenv("QUORLA_SHARE_ROOT", QFile::encodeName(root + "/"));

    const struct {
        const char *in;
        QString out;
    } accepted[] = {
        {"\\\\imgsrv\\IMAGES\\book 12\\p1.tif", root + "/IMGSRV/Images/Book 12/p1.tif"},
        // The exact spelling wins over a case-insensitive one.
        {"\\\\FILESRV\\scans\\x.tif", root + "/FILESRV/scans/x.tif"},
        {"\\\\FILESRV\\Scans\\x.tif", root + "/FILESRV/Scans/x.tif"},
        {"\\\\IMGSRV\\Images\\Book 12\\", root + "/IMGSRV/Images/Book 12/"},
        {"\\\\newhost\\Share\\Dir\\f.tif", root + "/newhost/Share/Dir/f.tif"},
        {"//IMGSRV/Images/a.tif", root + "/IMGSRV/Images/a.tif"},
        {"\\\\IMGSRV\\Images", root + "/IMGSRV/Images"},
        {"\\\\IMGSRV\\Images\\..x\\a.tif", root + "/IMGSRV/Images/..x/a.tif"},
    };
    for (const auto &c : accepted) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(hostPathToLocal(c.in), c.out);
    }

    // Through a link on the share, out of it.
    ASSERT_TRUE(QFile::link(dir.path(), root + "/IMGSRV/Images/out"));
    const char *refused[] = {
        "\\\\IMGSRV\\Images\\..\\..\\..\\etc\\passwd",
        "\\\\IMGSRV\\Images\\Book 12\\..\\x.tif",
        "//IMGSRV/Images/./a.tif",
        "\\\\IMGSRV\\\\Images\\a.tif",
        "\\\\IMGSRV\\Images\\\\a.tif",
        "\\\\\\IMGSRV\\Images\\a.tif",
        "\\\\..\\Images\\a.tif",
        "\\\\IMGSRV",
        "\\\\",
        "",
        "C:\\Program Files\\x.tif",
        "\\\\IMGSRV\\C:\\x.tif",
        "/tmp/x",
        "/etc/passwd",
        "temp.tif",
        "..\\..\\x.tif",
        "\\\\IMGSRV\\Images\\out\\share\\x.tif",
    };
    for (const char *in : refused) {
        SCOPED_TRACE(in);
        const VbError e = raisedBy([&] { hostPathToLocal(QString::fromUtf8(in)); });
        EXPECT_EQ(e.number, vbErr::BadFileName);
        EXPECT_TRUE(e.description.contains(QString::fromUtf8(in))) << e.description.toStdString();
    }
    qunsetenv("QUORLA_SHARE_ROOT");
}

// Beside bin, else beneath the program; where a file blocks the folder, in the user's data folder.
TEST_F(SystemTest, LogsFolderBesideBinOrBeneathTheProgram)
{
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    const struct {
        const char *program;
        const char *logs;
        const char *blocked = nullptr; // a file in the folder's place
    } cases[] = {
        {"prog/bin", "prog/Logs"},
        {"prog2/BiN/", "prog2/Logs"},
        {"prog3/tools", "prog3/tools/Logs"},
        {"prog4/cabin", "prog4/cabin/Logs"},
        {"prog5/bin", "data/quorla/Logs", "prog5/Logs"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        ASSERT_TRUE(QDir().mkpath(dir.filePath(c.program)));
        if (c.blocked) {
            ASSERT_TRUE(touch(dir.filePath(c.blocked)));
        }
        setProgramFolder(dir.filePath(c.program));
        EXPECT_EQ(logsFolder(), dir.filePath(c.logs));
        EXPECT_TRUE(QDir(dir.filePath(c.logs)).exists());
    }
    if (oldData.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData);
}

TEST_F(SystemTest, ProgramFolderDefaultsToTheExecutable)
{
    EXPECT_EQ(programFolder(), QCoreApplication::applicationDirPath());
    setProgramFolder("/opt/quorla/bin/");
    EXPECT_EQ(programFolder(), "/opt/quorla/bin");
}

// --- starting programs ---------------------------------------------------------------------

bool waitForFile(const QString &path)
{
    for (int i = 0; i < 200 && !QFile::exists(path); ++i)
        QThread::msleep(20);
    return QFile::exists(path);
}

TEST_F(SystemTest, StartHiddenPassesArgumentsWithoutAShell)
{
    const QString odd = dir.filePath("a b; touch injected");
    ASSERT_TRUE(startHidden("/usr/bin/touch", {odd}));
    EXPECT_TRUE(waitForFile(odd));
    EXPECT_FALSE(QFile::exists(dir.filePath("injected")));
    EXPECT_FALSE(QFile::exists("injected"));

    const QString script = dir.filePath("force.sh");
    ASSERT_TRUE(touch(script, "echo done > \"$1\"\n"));
    ASSERT_TRUE(startHidden("/bin/sh", {script, dir.filePath("out.txt")}));
    EXPECT_TRUE(waitForFile(dir.filePath("out.txt")));

    EXPECT_FALSE(startHidden(dir.filePath("no-such-program"), {}));
    EXPECT_FALSE(startHidden("", {}));
}

// --- audit log -----------------------------------------------------------------------------

QStringList linesOf(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

TEST_F(SystemTest, AuditLogWritesOneFilePerDayWithTimeAndLevel)
{
    const QString logs = dir.filePath("prog/Logs");
    AuditLog log;
    log.setNumericSetting(60);
    log.setApplicationName("Korvane Scanning Utility");
    log.setLogFolder(logs);
    log.logEntry("not written before the switch", 6);
    EXPECT_FALSE(QFile::exists(log.currentFile()));

    log.setEnabled(true);
    log.logEntry("Korvane Scan Tool - Starting the Korvane Scan Tool", 6);
    log.write("Korvane Scan Tool::throwError::report", 4);

    const QString expected = logs + "/Korvane Scanning Utility_"
                             + QDate::currentDate().toString("yyyyMMdd") + ".log";
    EXPECT_EQ(log.currentFile(), expected);
    EXPECT_EQ(QDir(logs).entryList(QDir::Files), QStringList({QFileInfo(expected).fileName()}));
    const QStringList lines = linesOf(expected);
    ASSERT_EQ(lines.size(), 2);
    const QRegularExpression entry(
        "^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} \\[(\\d+)\\] (.*)$");
    const auto m1 = entry.match(lines[0]);
    const auto m2 = entry.match(lines[1]);
    ASSERT_TRUE(m1.hasMatch() && m2.hasMatch());
    EXPECT_EQ(m1.captured(1), "6");
    EXPECT_EQ(m1.captured(2), "Korvane Scan Tool - Starting the Korvane Scan Tool");
    EXPECT_EQ(m2.captured(1), "4");

    // Entries are appended, never overwritten.
    AuditLog again;
    again.open(logs, "Korvane Scanning Utility");
    again.logEntry("third", 6);
    EXPECT_EQ(linesOf(expected).size(), 3);
}

TEST_F(SystemTest, AuditLogPrunesOnlyItsOwnOldDays)
{
    const QString logs = dir.filePath("Logs");
    ASSERT_TRUE(QDir().mkpath(logs));
    const QString old = logs + "/app_" + QDate::currentDate().addDays(-61).toString("yyyyMMdd") + ".log";
    const QString recent = logs + "/app_" + QDate::currentDate().addDays(-59).toString("yyyyMMdd") + ".log";
    const QString foreign = logs + "/other_" + QDate::currentDate().addDays(-90).toString("yyyyMMdd") + ".log";
    ASSERT_TRUE(touch(old) && touch(recent) && touch(foreign));
    AuditLog log;
    log.setNumericSetting(60);
    log.setApplicationName("app");
    log.setLogFolder(logs);
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_TRUE(QFile::exists(recent));
    EXPECT_TRUE(QFile::exists(foreign));
}

TEST_F(SystemTest, AuditLogFailuresRaise)
{
    ASSERT_TRUE(touch(dir.filePath("blocked")));
    AuditLog log;
    EXPECT_EQ(errorOf([&] { log.setLogFolder(dir.filePath("blocked/Logs")); }), 76);
    log.open(dir.filePath("Logs"), "app");
    ASSERT_TRUE(QDir().mkpath(log.currentFile())); // a folder in the file's place
    EXPECT_EQ(errorOf([&] { log.logEntry("x", 6); }), 75);
}

// --- single instance -----------------------------------------------------------------------

TEST_F(SystemTest, SecondCopyAsksTheFirstToRaiseItself)
{
    auto first = std::make_unique<SingleInstance>("quorla-test");
    QSignalSpy raised(first.get(), &SingleInstance::raiseRequested);
    ASSERT_TRUE(first->start());
    EXPECT_TRUE(first->isPrimary());

    SingleInstance second("quorla-test");
    EXPECT_FALSE(second.start());
    EXPECT_FALSE(second.isPrimary());
    EXPECT_TRUE(raised.wait(3000));
    EXPECT_EQ(raised.count(), 1);

    // Another name is another program.
    SingleInstance other("quorla-other");
    EXPECT_TRUE(other.start());

    // Once the first ends, the next copy is the first again.
    first.reset();
    SingleInstance third("quorla-test");
    EXPECT_TRUE(third.start());
}

// --- localisation catalogue ----------------------------------------------------------------

class Catalogue : public SystemTest {
protected:
    void SetUp() override
    {
        SystemTest::SetUp();
        ASSERT_TRUE(touch(dir.filePath("1036.txt"),
                          "# French\n"
                          "Scanner Settings\tParam\xc3\xa8tres du scanner\n"
                          "Arial/8.25\tArial/10\n"
                          "Two\\tParts\tDeux\\nlignes\n"
                          "broken line without tab\n"));
        setCatalogueFolder(dir.path());
    }
    void TearDown() override
    {
        setLocaleOverride(0);
        setCatalogueFolder(QString());
        QLocale::setDefault(QLocale::c());
        SystemTest::TearDown();
    }
};

TEST_F(Catalogue, LocaleIdComesFromTheLocale)
{
    QLocale::setDefault(QLocale("en_US"));
    EXPECT_EQ(localeId(), 1033);
    QLocale::setDefault(QLocale("fr_FR"));
    EXPECT_EQ(localeId(), 1036);
    EXPECT_EQ(QelLocalizeGetLocale(), 1036);
    QLocale::setDefault(QLocale("de_DE"));
    EXPECT_EQ(localeId(), 1031);
    setLocaleOverride(3084);
    EXPECT_EQ(localeId(), 3084);
}

TEST_F(Catalogue, LookupFindsTranslationsOfTheCurrentLocale)
{
    setLocaleOverride(1036);
    QVariant value = QString();
    EXPECT_EQ(QelLocalizeLookupVariant(QString("Scanner Settings"), value), 0);
    EXPECT_EQ(value.toString(), QString::fromUtf8("Param\xc3\xa8tres du scanner"));
    EXPECT_EQ(QelLocalizeLookupVariant(QString("Arial/8.25"), value), 0);
    EXPECT_EQ(value.toString(), "Arial/10");
    EXPECT_EQ(QelLocalizeLookupVariant(QString("Two\tParts"), value), 0);
    EXPECT_EQ(value.toString(), "Deux\nlignes");

    QVariant untouched = QString("keep");
    EXPECT_NE(QelLocalizeLookupVariant(QString("No such key"), untouched), 0);
    EXPECT_EQ(untouched.toString(), "keep");
    EXPECT_NE(QelLocalizeLookupVariant(QString("broken line without tab"), untouched), 0);

    // Another locale reads another file; none here.
    setLocaleOverride(1033);
    EXPECT_NE(QelLocalizeLookupVariant(QString("Scanner Settings"), untouched), 0);
}

TEST_F(Catalogue, FontMeasuresGrowWithTheFont)
{
    LocnSize small, large;
    QFont f("Liberation Sans");
    f.setPointSizeF(8.25);
    EXPECT_EQ(QelLocalizeGetCurSizeIFont(f, small), 0);
    f.setPointSizeF(16.5);
    QelLocalizeGetCurSizeIFont(f, large);
    EXPECT_GT(small.cx, 0);
    EXPECT_GT(small.cy, 0);
    EXPECT_GT(large.cx, small.cx);
    EXPECT_GT(large.cy, small.cy);
}

// --- online help ---------------------------------------------------------------------------

TEST_F(SystemTest, HelpFileStandsForThePagesBesideIt)
{
    const QString help = dir.filePath("quorla.hlp");
    EXPECT_EQ(helpContentsPage(help), dir.filePath("data/help/index.html"));
    // Nothing shipped yet: file not found, whatever lies at the help file's own name.
    ASSERT_TRUE(touch(help, "<html></html>"));
    EXPECT_EQ(errorOf([&] { showHelp(help); }), 53);
    QDir().mkpath(dir.filePath("data/help"));
    ASSERT_TRUE(touch(dir.filePath("data/help/index.html"),
                      "<html><head><title>Help</title></head><body><a href=\"two.html\">Two</a></body></html>"));
    ASSERT_TRUE(touch(dir.filePath("data/help/two.html"), "<html><body>second page, duplex</body></html>"));
    showHelp(help, HELP_CONTENTS);
    ASSERT_NE(helpBrowser(), nullptr);
    EXPECT_EQ(helpBrowser()->source().toLocalFile(), dir.filePath("data/help/index.html"));
    EXPECT_EQ(searchHelp("DUPLEX second"), QStringList{"two.html"});
    EXPECT_EQ(errorOf([&] { showHelp(help, 1); }), 5);
    helpBrowser()->window()->close();
}

} // namespace

