#include "platform/scan/settingstable.h"

#include <QDir>
#include <QFile>

SettingsTable SettingsTable::parse(const QString &text)
{
    SettingsTable t;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key.compare(QLatin1String("model"), Qt::CaseInsensitive) == 0) {
            if (!value.isEmpty())
                t.m_models << value;
        } else if (key.compare(QLatin1String("alias"), Qt::CaseInsensitive) == 0) {
            t.m_alias = value;
        } else {
            bool ok = false;
            const int number = key.toInt(&ok);
            if (!ok)
                continue;
            const QStringList parts = value.split(QLatin1Char('|'));
            SettingEntry e;
            e.option = parts.value(0).trimmed();
            if (e.option.isEmpty())
                continue;
            for (int i = 1; i < parts.size(); ++i) {
                const QString pair = parts[i].trimmed();
                const int peq = pair.indexOf(QLatin1Char('='));
                if (peq < 0)
                    continue;
                bool vok = false;
                const int v = pair.left(peq).trimmed().toInt(&vok);
                if (vok)
                    e.values.insert(v, pair.mid(peq + 1).trimmed());
            }
            t.m_entries.insert(number, e);
        }
    }
    return t;
}

SettingsTable SettingsTable::forModel(const QString &folder, const QString &vendor, const QString &model)
{
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.tbl")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        SettingsTable t = parse(QString::fromUtf8(f.readAll()));
        if (t.matches(vendor, model))
            return t;
    }
    return {};
}

bool SettingsTable::matches(const QString &vendor, const QString &model) const
{
    const QString full = vendor + QLatin1Char(' ') + model;
    for (const QString &m : m_models) {
        if (m.compare(model, Qt::CaseInsensitive) == 0 || m.compare(full, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

const SettingEntry *SettingsTable::entry(int number) const
{
    const auto it = m_entries.constFind(number);
    return it == m_entries.constEnd() ? nullptr : &it.value();
}

QString SettingsTable::optionValue(int number, int value) const
{
    const SettingEntry *e = entry(number);
    if (e && e->values.contains(value))
        return e->values.value(value);
    return QString::number(value);
}

bool SettingsTable::programValue(int number, const QString &optionValue, int *value) const
{
    const SettingEntry *e = entry(number);
    if (!e)
        return false;
    for (auto it = e->values.constBegin(); it != e->values.constEnd(); ++it) {
        if (it.value().compare(optionValue, Qt::CaseInsensitive) == 0) {
            *value = it.key();
            return true;
        }
    }
    bool ok = false;
    const double d = optionValue.toDouble(&ok);
    if (!ok)
        return false;
    *value = qRound(d);
    return true;
}
