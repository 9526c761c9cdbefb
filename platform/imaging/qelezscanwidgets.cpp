#include "platform/imaging/qelezscanwidgets.h"

#include "platform/scan/scannersession.h"
#include "platform/vb/vberror.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

namespace {

const char *const kModes[] = {"Black and White", "Gray", "Color"};

QHBoxLayout *bareLayout(QWidget *w)
{
    auto *l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    return l;
}

} // namespace

SettingsTable currentSettingsTable()
{
    const ScannerSession &s = scannerSession();
    if (!s.scannerOpen())
        return SettingsTable();
    return SettingsTable::forModel(s.tableFolder(), s.deviceInfo().vendor, s.deviceInfo().model);
}

// ---- choices ----

QelEzScanChoice::QelEzScanChoice(QWidget *parent) : QelEzScanSetting(parent), m_combo(new QComboBox(this))
{
    bareLayout(this)->addWidget(m_combo);
    connect(m_combo, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        if (m_quiet || text.isEmpty())
            return;
        write(text);
        refresh();
        notifyChange();
    });
}

void QelEzScanChoice::choose(const QString &text)
{
    const int i = m_combo->findText(text);
    if (i < 0)
        throw VbError(scanErr::InvalidValue, QStringLiteral("Invalid property value"));
    if (i == m_combo->currentIndex()) {
        write(text);
        refresh();
        notifyChange();
    } else {
        m_combo->setCurrentIndex(i);
    }
}

void QelEzScanChoice::fill(const QStringList &items, const QString &current)
{
    m_quiet = true;
    m_combo->clear();
    m_combo->addItems(items);
    m_combo->setCurrentIndex(m_combo->findText(current));
    m_quiet = false;
}

QelEzScanModeSetting::QelEzScanModeSetting(QWidget *parent) : QelEzScanChoice(parent) { refresh(); }

void QelEzScanModeSetting::refresh()
{
    QStringList items;
    for (const char *m : kModes)
        items << QString::fromLatin1(m);
    fill(items, items.value(scannerSession().pixelType()));
}

void QelEzScanModeSetting::write(const QString &text)
{
    for (int i = 0; i < 3; ++i) {
        if (text == QLatin1String(kModes[i]))
            scannerSession().setPixelType(i);
    }
}

QelEzScanDitherSetting::QelEzScanDitherSetting(QWidget *parent) : QelEzScanChoice(parent) { refresh(); }

void QelEzScanDitherSetting::refresh()
{
    fill({QStringLiteral("None")}, QStringLiteral("None"));
    setEnabled(scannerSession().pixelType() == pixelKind::Bilevel);
}

QelEzScanResolutionSetting::QelEzScanResolutionSetting(QWidget *parent) : QelEzScanChoice(parent) { refresh(); }

QList<int> QelEzScanResolutionSetting::choices()
{
    const ScannerSession &s = scannerSession();
    const DeviceInfo &d = s.deviceInfo();
    QList<int> out;
    if (s.scannerOpen() && !d.resolutions.isEmpty()) {
        out = d.resolutions;
    } else {
        for (int r : {75, 100, 150, 200, 240, 300, 400, 600, 1200}) {
            if (!s.scannerOpen() || (r >= d.minResolution && r <= d.maxResolution))
                out << r;
        }
    }
    if (!out.contains(s.resolution())) {
        out << s.resolution();
        std::sort(out.begin(), out.end());
    }
    return out;
}

void QelEzScanResolutionSetting::refresh()
{
    QStringList items;
    for (int r : choices())
        items << QString::number(r);
    fill(items, QString::number(scannerSession().resolution()));
}

void QelEzScanResolutionSetting::write(const QString &text)
{
    scannerSession().setResolution(text.toInt());
}

QelEzScanPageSizeSetting::QelEzScanPageSizeSetting(QWidget *parent)
    : QelEzScanChoice(parent), m_maximum(QStringLiteral("Scanner's Maximum"))
{
    refresh();
}

void QelEzScanPageSizeSetting::setMaximumText(const QString &text)
{
    m_maximum = text;
    refresh();
}

void QelEzScanPageSizeSetting::refresh()
{
    QStringList items;
    for (const QString &p : ScannerSession::pageSizeList()) {
        if (!p.contains(QLatin1String("Maximum")))
            items << p;
    }
    items << m_maximum;
    QString current = scannerSession().pageSize();
    if (current.contains(QLatin1String("Maximum")))
        current = m_maximum;
    fill(items, current);
}

void QelEzScanPageSizeSetting::write(const QString &text)
{
    scannerSession().setPageSize(text);
}

QelEzScanSideSetting::QelEzScanSideSetting(QWidget *parent) : QelEzScanChoice(parent) { refresh(); }

void QelEzScanSideSetting::refresh()
{
    const ScannerSession &s = scannerSession();
    fill({QStringLiteral("Front"), QStringLiteral("Front and Back")},
         s.duplex() ? QStringLiteral("Front and Back") : QStringLiteral("Front"));
    setEnabled(!s.scannerOpen() || s.deviceInfo().hasDuplex);
}

void QelEzScanSideSetting::write(const QString &text)
{
    scannerSession().setDuplex(text == QLatin1String("Front and Back") ? 1 : 0);
}

// ---- levels ----

QelEzScanLevelSetting::QelEzScanLevelSetting(Kind kind, const QString &option, QWidget *parent)
    : QelEzScanSetting(parent), m_kind(kind), m_option(option), m_slider(new QSlider(Qt::Horizontal, this))
{
    m_slider->setRange(0, 255);
    bareLayout(this)->addWidget(m_slider);
    connect(m_slider, &QSlider::valueChanged, this, [this](int v) {
        if (m_quiet)
            return;
        write(v);
        notifyChange();
    });
    refresh();
}

void QelEzScanLevelSetting::setLevel(int value)
{
    if (!m_slider->isEnabled())
        return;
    m_slider->setValue(value);
}

void QelEzScanLevelSetting::refresh()
{
    ScannerSession &s = scannerSession();
    int v = 128;
    bool offered = true;
    if (m_kind == Brightness) {
        v = s.brightness();
    } else {
        m_number = -1;
        const SettingsTable t = currentSettingsTable();
        for (auto it = t.entries().constBegin(); it != t.entries().constEnd(); ++it) {
            if (it.value().option == m_option)
                m_number = it.key();
        }
        offered = m_number >= 0;
        if (offered) {
            const int read = s.scannerSetting(m_number);
            v = read < 0 ? 128 : read;
        }
    }
    m_quiet = true;
    m_slider->setValue(qBound(0, v, 255));
    m_slider->setEnabled(offered);
    m_quiet = false;
}

void QelEzScanLevelSetting::write(int value)
{
    if (m_kind == Brightness)
        scannerSession().setBrightness(value);
    else if (m_number >= 0)
        scannerSession().setScannerSetting(m_number, value);
}

QelEzScanBrightnessButton::QelEzScanBrightnessButton(Action action, const QString &caption, QWidget *parent)
    : QelEzScanSetting(parent), m_action(action), m_button(new QPushButton(caption, this))
{
    m_button->setAutoDefault(false);
    bareLayout(this)->addWidget(m_button);
    connect(m_button, &QPushButton::clicked, this, &QelEzScanBrightnessButton::click);
}

void QelEzScanBrightnessButton::click()
{
    ScannerSession &s = scannerSession();
    switch (m_action) {
    case Lighten: s.setBrightness(s.brightness() + Step); break;
    case Normal: s.setBrightness(128); break;
    case Darken: s.setBrightness(s.brightness() - Step); break;
    }
    notifyChange();
}

QelEzScanLevelValue::QelEzScanLevelValue(QelEzScanLevelSetting *level, QWidget *parent)
    : QelEzScanSetting(parent), m_label(new QLabel(this))
{
    bareLayout(this)->addWidget(m_label);
    m_label->setText(QString::number(level->value()));
    connect(level->slider(), &QSlider::valueChanged, m_label, [this](int v) { m_label->setText(QString::number(v)); });
}

QString QelEzScanLevelValue::text() const { return m_label->text(); }

QelEzScanAutoSetting::QelEzScanAutoSetting(const QString &caption, QelEzScanLevelSetting *level, bool manual,
                                           QWidget *parent)
    : QelEzScanSetting(parent), m_radio(new QRadioButton(caption, this)), m_level(level), m_manual(manual)
{
    bareLayout(this)->addWidget(m_radio);
    connect(m_radio, &QRadioButton::toggled, this, [this](bool on) {
        if (!on || !m_level)
            return;
        if (m_manual) {
            m_level->refresh();
        } else {
            m_level->setLevel(128);
            m_level->slider()->setEnabled(false);
        }
        notifyChange();
    });
}

// ---- duplex ----

QelEzScanDuplexSetting::QelEzScanDuplexSetting(const QString &caption, QWidget *parent)
    : QelEzScanSetting(parent), m_box(new QCheckBox(caption, this))
{
    bareLayout(this)->addWidget(m_box);
    connect(m_box, &QCheckBox::toggled, this, [this](bool on) {
        if (m_quiet)
            return;
        scannerSession().setDuplex(on ? 1 : 0);
        refresh();
        notifyChange();
    });
    refresh();
}

void QelEzScanDuplexSetting::setChecked(bool on) { m_box->setChecked(on); }

void QelEzScanDuplexSetting::refresh()
{
    const ScannerSession &s = scannerSession();
    m_quiet = true;
    m_box->setChecked(s.duplex() != 0);
    m_box->setEnabled(!s.scannerOpen() || s.deviceInfo().hasDuplex);
    m_quiet = false;
}

// ---- device options ----

QelEzScanOptionsEditor::QelEzScanOptionsEditor(QWidget *parent)
    : QDialog(parent), m_table(new QTableWidget(this)), m_settings(currentSettingsTable())
{
    setWindowTitle(QStringLiteral("Scanner Options"));
    ScannerSession &s = scannerSession();
    const QMap<QString, QString> options = s.deviceInfo().options;
    m_table->setColumnCount(2);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Option"), QStringLiteral("Value")});
    m_table->setRowCount(int(options.size()));
    m_table->verticalHeader()->hide();
    int row = 0;
    for (auto it = options.constBegin(); it != options.constEnd(); ++it, ++row) {
        Row r{it.key(), -1, it.value()};
        for (auto e = m_settings.entries().constBegin(); e != m_settings.entries().constEnd(); ++e) {
            if (e.value().option == it.key())
                r.number = e.key();
        }
        if (r.number >= 0) {
            const int v = s.scannerSetting(r.number);
            if (v >= 0)
                r.shown = m_settings.optionValue(r.number, v);
        }
        auto *name = new QTableWidgetItem(r.option);
        name->setFlags(Qt::ItemIsEnabled);
        auto *value = new QTableWidgetItem(r.shown);
        value->setFlags(r.number >= 0 ? Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsSelectable
                                      : Qt::ItemIsEnabled);
        m_table->setItem(row, 0, name);
        m_table->setItem(row, 1, value);
        m_rows << r;
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        apply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool QelEzScanOptionsEditor::apply()
{
    bool wrote = false;
    for (int row = 0; row < m_rows.size(); ++row) {
        const Row &r = m_rows[row];
        const QString text = m_table->item(row, 1)->text().trimmed();
        if (r.number < 0 || text == r.shown)
            continue;
        int v = 0;
        if (!m_settings.programValue(r.number, text, &v)) {
            m_table->item(row, 1)->setText(r.shown);  // not a value of this option
            continue;
        }
        scannerSession().setScannerSetting(r.number, v);
        m_rows[row].shown = text;
        wrote = true;
    }
    return wrote;
}

QelEzScanMoreSetting::QelEzScanMoreSetting(const QString &caption, QWidget *parent)
    : QelEzScanSetting(parent), m_button(new QPushButton(caption, this))
{
    m_button->setAutoDefault(false);
    bareLayout(this)->addWidget(m_button);
    connect(m_button, &QPushButton::clicked, this, [this] {
        QelEzScanOptionsEditor editor(window());
        if (editor.exec() == QDialog::Accepted)
            notifyChange();
    });
}
