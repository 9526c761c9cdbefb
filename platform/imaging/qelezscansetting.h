#pragma once
#include <QWidget>

// The page-size / setting widget of the imaging family: only its visibility and its change
// event are used.
class QelEzScanSetting : public QWidget {
    Q_OBJECT
public:
    explicit QelEzScanSetting(QWidget *parent = nullptr);
    // Raises change() (the setting's value was changed by the operator or the program).
    void notifyChange() { emit change(); }

signals:
    void change();
};
