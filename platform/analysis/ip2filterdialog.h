#pragma once
#include <QDialog>

#include "platform/analysis/ip2.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

// Filter-configuration dialog: the operator orders the filters of a chain and edits each one's
// settings. OK replaces the chain only when every filter's settings are valid.
class IP2FilterDialog : public QDialog {
    Q_OBJECT
public:
    explicit IP2FilterDialog(const FilterChain &chain, QWidget *parent = nullptr);

    // Shows the dialog modally over the chain; True when the operator confirmed a change.
    // `list` is accepted for the callers' sake and not used.
    static bool edit(FilterChain &chain, const QString &list = QString(), QWidget *parent = nullptr);

    QString chainText() const; // the settings text of the chain as edited so far
    const FilterChain &editedChain() const { return m_result; }

    void addFilter(const QString &className);  // behind the selected filter (or at the end)
    void removeSelected();
    void moveSelected(int step);               // -1 up, +1 down
    void setSelectedSettings(const QString &arguments); // "arg;arg" of the selected filter
    void accept() override;

private:
    void select(int row);
    QListWidget *m_list;
    QComboBox *m_classes;
    QLineEdit *m_settings;
    QLabel *m_error;
    FilterChain m_result;
};
