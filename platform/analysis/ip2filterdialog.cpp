#include "platform/analysis/ip2filterdialog.h"

#include "platform/vb/vberror.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {
// Each row holds one filter's text: "Name" or "Name(arg;arg)".
QString classOf(const QString &row) { return row.section(u'(', 0, 0); }
QString argumentsOf(const QString &row)
{
    const int open = row.indexOf(u'(');
    return open < 0 ? QString() : row.mid(open + 1, row.size() - open - 2);
}
QString defaultText(const QString &className)
{
    if (className == u"IP2MarginFilter")
        return className + QStringLiteral("(0in;0in;0in)");
    if (className == u"IP2BlankDetector")
        return className + QStringLiteral("(3)");
    return className;
}
} // namespace

IP2FilterDialog::IP2FilterDialog(const FilterChain &chain, QWidget *parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_classes(new QComboBox(this)),
      m_settings(new QLineEdit(this)), m_error(new QLabel(this)), m_result(chain)
{
    setObjectName(QStringLiteral("IP2FilterDialog"));
    setWindowTitle(tr("Image Filters"));
    m_list->setObjectName(QStringLiteral("lstFilters"));
    m_classes->setObjectName(QStringLiteral("cboFilterClass"));
    m_settings->setObjectName(QStringLiteral("txtSettings"));
    m_error->setObjectName(QStringLiteral("lblError"));
    m_classes->addItems({QStringLiteral("IP2PrefilterA"), QStringLiteral("IP2PrefilterB"),
                         QStringLiteral("IP2MarginFilter"), QStringLiteral("IP2BlankDetector"),
                         QStringLiteral("IP2BarcodePrefilter"), QStringLiteral("IP2BarcodeReader")});
    const QString text = chain.settingsText();
    if (!text.isEmpty())
        m_list->addItems(text.split(u'|'));

    auto *add = new QPushButton(tr("Add"), this);
    auto *remove = new QPushButton(tr("Remove"), this);
    auto *up = new QPushButton(tr("Up"), this);
    auto *down = new QPushButton(tr("Down"), this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(add, &QPushButton::clicked, this, [this] { addFilter(m_classes->currentText()); });
    connect(remove, &QPushButton::clicked, this, &IP2FilterDialog::removeSelected);
    connect(up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(m_settings, &QLineEdit::textEdited, this, &IP2FilterDialog::setSelectedSettings);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        m_settings->setText(row < 0 ? QString() : argumentsOf(m_list->item(row)->text()));
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &IP2FilterDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &IP2FilterDialog::reject);

    auto *row = new QHBoxLayout;
    row->addWidget(m_classes, 1);
    for (QPushButton *b : {add, remove, up, down})
        row->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(row);
    layout->addWidget(new QLabel(tr("Settings:"), this));
    layout->addWidget(m_settings);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
}

QString IP2FilterDialog::chainText() const
{
    QStringList rows;
    for (int i = 0; i < m_list->count(); ++i)
        rows << m_list->item(i)->text();
    return rows.join(u'|');
}

void IP2FilterDialog::select(int row)
{
    m_list->setCurrentRow(row);
}

void IP2FilterDialog::addFilter(const QString &className)
{
    const int at = m_list->currentRow() < 0 ? m_list->count() : m_list->currentRow() + 1;
    m_list->insertItem(at, defaultText(className));
    select(at);
}

void IP2FilterDialog::removeSelected()
{
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    delete m_list->takeItem(row);
    select(std::min(row, m_list->count() - 1));
}

void IP2FilterDialog::moveSelected(int step)
{
    const int row = m_list->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= m_list->count())
        return;
    QListWidgetItem *item = m_list->takeItem(row);
    m_list->insertItem(to, item);
    select(to);
}

void IP2FilterDialog::setSelectedSettings(const QString &arguments)
{
    QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    // The settings may not break the row's own separators.
    QString clean = arguments;
    clean.remove(QRegularExpression(QStringLiteral("[|()]")));
    const QString name = classOf(item->text());
    item->setText(clean.isEmpty() ? name : name + u'(' + clean + u')');
    if (clean != arguments)
        m_settings->setText(clean);
}

void IP2FilterDialog::accept()
{
    FilterChain edited;
    try {
        edited.loadFromText(chainText());
    } catch (const VbError &e) {
        m_error->setText(e.description);
        return;
    }
    m_result = std::move(edited);
    m_error->clear();
    QDialog::accept();
}

bool IP2FilterDialog::edit(FilterChain &chain, const QString &, QWidget *parent)
{
    IP2FilterDialog dialog(chain, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    chain = dialog.editedChain();
    return true;
}
