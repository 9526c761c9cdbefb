#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

// A scanner model's table of numbered settings: number -> device option, with an optional map
// from the program's numbers to the option's values. The table may also give the model an alias
// for its source name.
//
// File format (one file per model, *.tbl, '#' starts a comment):
//   model = <model name or "vendor model">   (one or more lines, matched without regard to case)
//   alias = <source name to report>
//   <number> = <option> [| <value>=<option text> ...]
struct SettingEntry {
    QString option;
    QMap<int, QString> values;  // empty: the number is the option's value
};

class SettingsTable {
public:
    static SettingsTable parse(const QString &text);
    // The first *.tbl file of the folder (by name) whose model lines match; empty when none.
    static SettingsTable forModel(const QString &folder, const QString &vendor, const QString &model);

    bool matches(const QString &vendor, const QString &model) const;
    bool isEmpty() const { return m_models.isEmpty() && m_entries.isEmpty(); }
    QString alias() const { return m_alias; }
    const SettingEntry *entry(int number) const;
    const QMap<int, SettingEntry> &entries() const { return m_entries; }

    // The option value written for the program's value.
    QString optionValue(int number, int value) const;
    // The program's value for an option value; false when it has none.
    bool programValue(int number, const QString &optionValue, int *value) const;

private:
    QStringList m_models;
    QString m_alias;
    QMap<int, SettingEntry> m_entries;
};
