#include "platform/settings/settings.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

const QString App = QStringLiteral("Korvane Scanning Utility");

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setSettingsFolder(dir.filePath("config"));
    }
    void TearDown() override
    {
        setSettingsFolder(QString());
        setMachineKeysFile(QString());
    }
    QString iniPath() const { return dir.filePath("config/" + App + ".ini"); }
    QTemporaryDir dir;
};

TEST_F(SettingsStore, MissingValuesGiveTheDefault)
{
    EXPECT_EQ(GetSetting(App, "Settings", "FilterSettings2", "NOTFOUND"), "NOTFOUND");
    EXPECT_EQ(GetSetting(App, "frmConfig", "DSN"), "");
    SaveSetting(App, "Preferences", "g_APP_STATE", "3");
    EXPECT_EQ(GetSetting(App, "Preferences", "g_dbMode", "0"), "0");
    EXPECT_EQ(GetSetting(App, "Other", "g_APP_STATE", "7"), "7");
    EXPECT_EQ(GetSetting("Another App", "Preferences", "g_APP_STATE", "x"), "x");
}

TEST_F(SettingsStore, SectionsAndKeysIgnoreCase)
{
    SaveSetting(App, "Preferences", "g_blnProcessBatch", "True");
    EXPECT_EQ(GetSetting(App, "Preferences", "g_blnprocessBatch", "x"), "True");
    EXPECT_EQ(GetSetting(App, "PREFERENCES", "G_BLNPROCESSBATCH", "x"), "True");

    SaveSetting(App, "preferences", "g_blnprocessBatch", "False");
    EXPECT_EQ(GetSetting(App, "Preferences", "g_blnProcessBatch", "x"), "False");

    // One section, one key in the file: the first spelling is kept.
    QSettings s(iniPath(), QSettings::IniFormat);
    EXPECT_EQ(s.childGroups(), QStringList({"Preferences"}));
    s.beginGroup("Preferences");
    EXPECT_EQ(s.childKeys(), QStringList({"g_blnProcessBatch"}));
}

TEST_F(SettingsStore, ValuesRoundTripAsText)
{
    const QStringList values = {"",       "True",          "-32768",          "c:\\bytealignlog.txt",
                                "a, b, c", "  padded  ",   "x=y;z",           "@at",
                                "Zoë",    "12/8/2026 10:36:09 PM: Barcode Scan Log Initialized\r\n"};
    int i = 0;
    for (const QString &v : values)
        SaveSetting(App, "Strings", QString("k%1").arg(i++), v);
    i = 0;
    for (const QString &v : values) {
        SCOPED_TRACE(v.toStdString());
        EXPECT_EQ(GetSetting(App, "Strings", QString("k%1").arg(i++), "default"), v);
    }
}

TEST_F(SettingsStore, FileIsPrivate)
{
    SaveSetting(App, "frmConfig", "PWD", "secret");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(iniPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A file left readable by others is tightened on the next write.
    ::chmod(QFile::encodeName(iniPath()).constData(), 0644);
    SaveSetting(App, "frmConfig", "UID", "op");
    ASSERT_EQ(::stat(QFile::encodeName(iniPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(GetSetting(App, "frmConfig", "PWD"), "secret");
}

TEST_F(SettingsStore, DeleteKeyOrSection)
{
    SaveSetting(App, "Strings", "strOutputText", "log");
    SaveSetting(App, "Strings", "other", "1");
    DeleteSetting(App, "strings", "STROUTPUTTEXT");
    EXPECT_EQ(GetSetting(App, "Strings", "strOutputText", "gone"), "gone");
    EXPECT_EQ(GetSetting(App, "Strings", "other"), "1");
    DeleteSetting(App, "STRINGS");
    EXPECT_EQ(GetSetting(App, "Strings", "other", "gone"), "gone");

    EXPECT_EQ(errorOf([] { DeleteSetting(App, "Strings", "other"); }), 5);
    EXPECT_EQ(errorOf([] { DeleteSetting(App, "Nothing"); }), 5);
    EXPECT_EQ(errorOf([] { SaveSetting(App, "a/b", "k", "v"); }), 5);
    EXPECT_EQ(errorOf([] { SaveSetting(App, "Settings", "", "v"); }), 5);
}

TEST_F(SettingsStore, AnUnreadableFileIsSetAsideAndAnUnwritableFolderKeepsValuesInMemory)
{
    QStringList told;
    setSettingsProblemHandler([&told](const QString &message) { told << message; });
    const QByteArray garbage = QByteArray("\x89\x00\xff[\x01garbage=\xfe\n", 15).repeated(40);
    QDir().mkpath(dir.filePath("config"));
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(garbage);
    }
    EXPECT_EQ(GetSetting(App, "frmConfig", "DSN", "none"), "none");
    SaveSetting(App, "frmConfig", "DSN", "RECHOST");
    EXPECT_EQ(GetSetting(App, "frmConfig", "DSN"), "RECHOST");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(iniPath() + ".bad")) << told[0].toStdString();
    QFile aside(iniPath() + ".bad");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), garbage) << "set aside as it was";
    QFile written(iniPath());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "[frmConfig]\nDSN=RECHOST\n");

    // A folder that cannot be made: the run goes on with what it saved, said once.
    told.clear();
    setSettingsFolder("/proc/quorla-no-such-folder/config");
    EXPECT_EQ(errorOf([] { SaveSetting(App, "frmConfig", "UID", "SCANSVC"); }), 0);
    SaveSetting(App, "Preferences", "g_APP_STATE", "3");
    EXPECT_EQ(GetSetting(App, "FRMCONFIG", "uid"), "SCANSVC");
    EXPECT_EQ(GetSetting(App, "Preferences", "g_APP_STATE"), "3");
    DeleteSetting(App, "Preferences", "g_APP_STATE");
    EXPECT_EQ(GetSetting(App, "Preferences", "g_APP_STATE", "gone"), "gone");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("/proc/quorla-no-such-folder/config")) << told[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists("/proc/quorla-no-such-folder"));
    setSettingsProblemHandler(nullptr);
}

TEST_F(SettingsStore, MachineKeysIgnoreCaseAndKeepTheirTypes)
{
    const QString file = dir.filePath("machine.ini");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[SOFTWARE]\nKorvane\\Quorla\\InstallDir=/opt/quorla\nKorvane\\Quorla\\Pages=dword:0001f400\n"
                "Korvane\\Quorla\\Raw=hex(7):61,00,00\nKorvane\\Quorla\\Bad=dword:1x\n");
    }
    setMachineKeysFile(file);
    const QString key = "SOFTWARE\\Korvane\\Quorla";
    auto read = [&](quint32 root, const QString &path, const QString &name) {
        const std::optional<RegValue> v = machineValue(root, path, name);
        return v ? std::make_pair(v->type, v->data) : std::make_pair(0u, QByteArray("none"));
    };
    const auto text = std::make_pair(REG_SZ, QByteArray("/opt/quorla", 12));
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, key, "InstallDir"), text);
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, "software\\korvane\\quorla\\", "installdir"), text);
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, key, "Pages"), std::make_pair(REG_DWORD, QByteArray("\x00\xf4\x01\x00", 4)));
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, key, "Raw"), std::make_pair(7u, QByteArray("a\0\0", 3)));
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, key, "Bad").second, "none");
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, key, "Missing").second, "none");
    EXPECT_EQ(read(HKEY_CURRENT_USER, key, "InstallDir").second, "none");
    setMachineKeysFile(dir.filePath("none.ini"));
    EXPECT_EQ(read(HKEY_LOCAL_MACHINE, key, "InstallDir").second, "none");
}

} // namespace
