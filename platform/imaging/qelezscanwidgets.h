#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableWidget>

#include "platform/imaging/qelezscansetting.h"
#include "platform/scan/settingstable.h"

// The scan-setting widgets of the imaging family. Each shows one setting of the process's
// scanner session, writes the operator's changes into it and then raises change(). refresh()
// reloads the widget from the session (the dialogs call it after Default).

// A setting shown as a list of choices.
class QelEzScanChoice : public QelEzScanSetting {
    Q_OBJECT
public:
    explicit QelEzScanChoice(QWidget *parent = nullptr);
    QComboBox *combo() const { return m_combo; }
    QString text() const { return m_combo->currentText(); }
    // Selects the entry with this text as the operator would (writes and raises change()).
    void choose(const QString &text);
    virtual void refresh() = 0;

protected:
    virtual void write(const QString &text) = 0;
    void fill(const QStringList &items, const QString &current);

private:
    QComboBox *m_combo;
    bool m_quiet = false;
};

// Pixel type: "Black and White", "Gray", "Color".
class QelEzScanModeSetting : public QelEzScanChoice {
    Q_OBJECT
public:
    explicit QelEzScanModeSetting(QWidget *parent = nullptr);
    void refresh() override;
protected:
    void write(const QString &text) override;
};

// Dithering of black-and-white scans: the session scans without ("None").
class QelEzScanDitherSetting : public QelEzScanChoice {
    Q_OBJECT
public:
    explicit QelEzScanDitherSetting(QWidget *parent = nullptr);
    void refresh() override;
protected:
    void write(const QString &) override {}
};

// Dots per inch among the device's resolutions.
class QelEzScanResolutionSetting : public QelEzScanChoice {
    Q_OBJECT
public:
    explicit QelEzScanResolutionSetting(QWidget *parent = nullptr);
    void refresh() override;
    static QList<int> choices();
protected:
    void write(const QString &text) override;
};

// Page size by its text; choosing one sets the scan region to it. The device's whole area is
// offered under maximumText ("Scanner's Maximum" unless set).
class QelEzScanPageSizeSetting : public QelEzScanChoice {
    Q_OBJECT
public:
    explicit QelEzScanPageSizeSetting(QWidget *parent = nullptr);
    void setMaximumText(const QString &text);
    void refresh() override;
protected:
    void write(const QString &text) override;
private:
    QString m_maximum;
};

// Sides: "Front" or "Front and Back" (duplex).
class QelEzScanSideSetting : public QelEzScanChoice {
    Q_OBJECT
public:
    explicit QelEzScanSideSetting(QWidget *parent = nullptr);
    void refresh() override;
protected:
    void write(const QString &text) override;
};

// A level 0..255 on a slider. Brightness is the session's own; another level (contrast) is
// the numbered setting the model's table maps to the named device option, and the slider is
// disabled when the table maps none.
class QelEzScanLevelSetting : public QelEzScanSetting {
    Q_OBJECT
public:
    enum Kind { Brightness, DeviceOption };
    explicit QelEzScanLevelSetting(Kind kind, const QString &option = QString(), QWidget *parent = nullptr);
    QSlider *slider() const { return m_slider; }
    int value() const { return m_slider->value(); }
    void setLevel(int value);  // as the operator would
    void refresh();
private:
    void write(int value);
    Kind m_kind;
    QString m_option;
    int m_number = -1;
    QSlider *m_slider;
    bool m_quiet = false;
};

// The number a level slider stands at.
class QelEzScanLevelValue : public QelEzScanSetting {
    Q_OBJECT
public:
    QelEzScanLevelValue(QelEzScanLevelSetting *level, QWidget *parent = nullptr);
    QString text() const;
private:
    class QLabel *m_label;
};

// A button that moves the brightness: lighter, normal (128) or darker by one step.
class QelEzScanBrightnessButton : public QelEzScanSetting {
    Q_OBJECT
public:
    enum Action { Lighten, Normal, Darken };
    static constexpr int Step = 16;
    QelEzScanBrightnessButton(Action action, const QString &caption, QWidget *parent = nullptr);
    QPushButton *button() const { return m_button; }
    void click();
private:
    Action m_action;
    QPushButton *m_button;
};

// A choice between automatic and manual level ("Automatic", "Auto", "Manual"): chosen,
// automatic puts the bound level back to its middle and disables its slider; manual enables it.
class QelEzScanAutoSetting : public QelEzScanSetting {
    Q_OBJECT
public:
    QelEzScanAutoSetting(const QString &caption, QelEzScanLevelSetting *level, bool manual = false,
                         QWidget *parent = nullptr);
    QRadioButton *radio() const { return m_radio; }
private:
    QRadioButton *m_radio;
    QelEzScanLevelSetting *m_level;
    bool m_manual;
};

// Duplex as a check box.
class QelEzScanDuplexSetting : public QelEzScanSetting {
    Q_OBJECT
public:
    explicit QelEzScanDuplexSetting(const QString &caption, QWidget *parent = nullptr);
    QCheckBox *box() const { return m_box; }
    void setChecked(bool on);  // as the operator would
    void refresh();
private:
    QCheckBox *m_box;
    bool m_quiet = false;
};

// The editor over the device's own options: every option with its current value; the options
// the model's table maps to a numbered setting can be changed (written as that setting).
class QelEzScanOptionsEditor : public QDialog {
    Q_OBJECT
public:
    explicit QelEzScanOptionsEditor(QWidget *parent = nullptr);
    QTableWidget *table() const { return m_table; }
    // Writes the edited values; true when something was written.
    bool apply();
private:
    struct Row { QString option; int number = -1; QString shown; };
    QTableWidget *m_table;
    QList<Row> m_rows;
    SettingsTable m_settings;
};

// "More...": opens the options editor modally.
class QelEzScanMoreSetting : public QelEzScanSetting {
    Q_OBJECT
public:
    explicit QelEzScanMoreSetting(const QString &caption, QWidget *parent = nullptr);
    QPushButton *button() const { return m_button; }
private:
    QPushButton *m_button;
};

// The table of the open device's model (empty when none).
SettingsTable currentSettingsTable();
