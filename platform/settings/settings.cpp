#include "platform/settings/settings.h"

#include "platform/system/system.h"
#include "platform/vb/vberror.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

namespace {

QString g_folder;
QString g_machineFile;
std::function<void(const QString &)> g_problemHandler;
// A folder that cannot be written: the values of this run, by app, section and key in lower case.
bool g_inMemory = false;
QHash<QString, QString> g_memory;
QSet<QString> g_checkedFiles;

QString memoryKey(const QString &app, const QString &section, const QString &key)
{
    return app.toLower() + u'\x1f' + section.toLower() + u'\x1f' + key.toLower();
}

void tell(const QString &message)
{
    if (g_problemHandler)
        g_problemHandler(message);
}

// From the first failed write on, the values live in memory; said once.
void keepInMemory(const QString &why)
{
    if (g_inMemory)
        return;
    g_inMemory = true;
    tell(QStringLiteral("The settings folder %1 cannot be written (%2).  The settings are kept for this "
                        "session only; make the folder writable (check HOME) to keep them.")
             .arg(QDir::toNativeSeparators(settingsFolder()), why));
}

// A settings file that is not text an INI reader can take is set aside before anything reads
// or writes it, once per file.
void setAsideUnreadable(const QString &file)
{
    if (g_checkedFiles.contains(file))
        return;
    g_checkedFiles.insert(file);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    f.close();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    bool readable = !utf8.hasError() && !bytes.contains('\0');
    if (readable) {
        QSettings s(file, QSettings::IniFormat);
        readable = s.status() == QSettings::NoError;
    }
    if (readable)
        return;
    const QString aside = file + QStringLiteral(".bad");
    QFile::remove(aside);
    if (!QFile::rename(file, aside))
        return;
    tell(QStringLiteral("The settings file %1 could not be read; it was set aside as %2.  The program "
                        "starts with empty settings: enter the iSeries settings again.")
             .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(aside)));
}

QString iniFile(const QString &app)
{
    QString name = app;
    name.replace(u'/', u'_').replace(u'\\', u'_');
    if (name.isEmpty())
        raiseVbError(vbErr::InvalidProcedureCall);
    return QDir(settingsFolder()).filePath(name + QStringLiteral(".ini"));
}

// The stored spelling of a child group or key that matches name without regard to case;
// the name itself when there is none.
QString storedName(const QStringList &names, const QString &name)
{
    for (const QString &n : names)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    return name;
}

QString valueText(const QVariant &v)
{
    // A hand-edited value with commas reads back as a list; the store keeps plain text.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

void checkNames(const QString &section, const QString &key)
{
    // Slashes would address nested groups in QSettings.
    if (section.isEmpty() || section.contains(u'/') || section.contains(u'\\') || key.contains(u'/')
        || key.contains(u'\\'))
        raiseVbError(vbErr::InvalidProcedureCall);
}

void finish(QSettings &s)
{
    s.sync();
    if (s.status() != QSettings::NoError)
        raiseVbError(vbErr::PathFileAccessError);
    QFile::setPermissions(s.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

void setSettingsFolder(const QString &folder)
{
    g_folder = folder;
    g_inMemory = false;
    g_memory.clear();
    g_checkedFiles.clear();
}

void setSettingsProblemHandler(std::function<void(const QString &)> handler)
{
    g_problemHandler = std::move(handler);
}

QString settingsFolder()
{
    if (!g_folder.isEmpty())
        return g_folder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/quorla");
}

QString GetSetting(const QString &app, const QString &section, const QString &key, const QString &def)
{
    checkNames(section, key);
    if (const auto kept = g_memory.constFind(memoryKey(app, section, key)); kept != g_memory.cend())
        return *kept;
    const QString file = iniFile(app);
    if (!QFile::exists(file))
        return def;
    setAsideUnreadable(file);
    if (!QFile::exists(file))
        return def;
    QSettings s(file, QSettings::IniFormat);
    const QString group = storedName(s.childGroups(), section);
    s.beginGroup(group);
    const QString k = storedName(s.childKeys(), key);
    if (!s.contains(k))
        return def;
    return valueText(s.value(k));
}

void SaveSetting(const QString &app, const QString &section, const QString &key, const QString &value)
{
    checkNames(section, key);
    if (key.isEmpty())
        raiseVbError(vbErr::InvalidProcedureCall);
    const QString file = iniFile(app);
    if (!g_inMemory) {
        if (!QDir().mkpath(settingsFolder())) {
            keepInMemory(QStringLiteral("it cannot be made"));
        } else if (setAsideUnreadable(file), !QFile::exists(file)) {
            // Create the file private before anything is written into it.
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly))
                keepInMemory(f.errorString());
        }
    }
    if (!g_inMemory) {
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QSettings s(file, QSettings::IniFormat);
        const QString group = storedName(s.childGroups(), section);
        s.beginGroup(group);
        s.setValue(storedName(s.childKeys(), key), value);
        s.endGroup();
        s.sync();
        if (s.status() == QSettings::NoError)
            return;
        keepInMemory(QStringLiteral("the file %1 cannot be written").arg(QDir::toNativeSeparators(file)));
    }
    g_memory.insert(memoryKey(app, section, key), value);
}

void DeleteSetting(const QString &app, const QString &section, const QString &key)
{
    checkNames(section, key);
    if (!key.isEmpty() && g_memory.remove(memoryKey(app, section, key)) > 0)
        return;
    const QString file = iniFile(app);
    if (!QFile::exists(file))
        raiseVbError(vbErr::InvalidProcedureCall);
    QSettings s(file, QSettings::IniFormat);
    const QStringList groups = s.childGroups();
    const QString group = storedName(groups, section);
    if (!groups.contains(group))
        raiseVbError(vbErr::InvalidProcedureCall);
    if (key.isEmpty()) {
        s.remove(group);
    } else {
        s.beginGroup(group);
        const QStringList keys = s.childKeys();
        const QString k = storedName(keys, key);
        if (!keys.contains(k))
            raiseVbError(vbErr::InvalidProcedureCall);
        s.remove(k);
        s.endGroup();
    }
    finish(s);
}

void setMachineKeysFile(const QString &file) { g_machineFile = file; }

namespace {

// The stored form of one machine value (see the header); nullopt when it is malformed.
std::optional<RegValue> parseMachineValue(const QVariant &stored)
{
    const QString text = stored.typeId() == QMetaType::QStringList
                             ? stored.toStringList().join(u',')
                             : stored.toString();
    if (text.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive)) {
        const QString digits = text.mid(6).trimmed();
        bool ok = false;
        const quint32 n = digits.toUInt(&ok, 16);
        if (!ok || digits.size() > 8)
            return std::nullopt;
        RegValue v{REG_DWORD, QByteArray(4, '\0')};
        for (int i = 0; i < 4; ++i)
            v.data[i] = char((n >> (8 * i)) & 0xff);
        return v;
    }
    if (text.startsWith(QStringLiteral("hex"), Qt::CaseInsensitive)) {
        const qsizetype colon = text.indexOf(u':');
        if (colon < 0)
            return std::nullopt;
        const QString kind = text.mid(3, colon - 3);
        RegValue v{REG_BINARY, {}};
        if (!kind.isEmpty()) {
            bool ok = false;
            if (kind.startsWith(u'(') && kind.endsWith(u')'))
                v.type = kind.mid(1, kind.size() - 2).toUInt(&ok, 16);
            if (!ok)
                return std::nullopt;
        }
        const QString bytes = text.mid(colon + 1).trimmed();
        if (!bytes.isEmpty()) {
            for (const QString &b : bytes.split(u',')) {
                bool ok = false;
                const uint byte = b.trimmed().toUInt(&ok, 16);
                if (!ok || byte > 0xff)
                    return std::nullopt;
                v.data.append(char(byte));
            }
        }
        return v;
    }
    RegValue v{REG_SZ, valueText(stored).toUtf8()};
    v.data.append('\0');
    return v;
}

} // namespace

std::optional<RegValue> machineValue(quint32 root, const QString &path, const QString &name)
{
    if (root != HKEY_LOCAL_MACHINE)
        return std::nullopt;
    const QString file = g_machineFile.isEmpty()
                             ? programFolder() + QStringLiteral("/data/machine.ini")
                             : g_machineFile;
    if (!QFile::exists(file))
        return std::nullopt;
    QSettings s(file, QSettings::IniFormat);
    if (s.status() != QSettings::NoError)
        return std::nullopt;
    QString wanted = path;
    wanted.replace(u'\\', u'/');
    while (wanted.endsWith(u'/'))
        wanted.chop(1);
    wanted += u'/' + name;
    const QStringList keys = s.allKeys();
    for (const QString &k : keys)
        if (k.compare(wanted, Qt::CaseInsensitive) == 0)
            return parseMachineValue(s.value(k));
    return std::nullopt;
}
