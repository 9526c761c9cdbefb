#include "textfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>

namespace {

QString plain(QString text)
{
    // a mnemonic marker takes no room; "&&" shows one ampersand
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

QString describe(const QWidget *window, const QWidget *w, const QString &text, QSize need, QSize have)
{
    return QStringLiteral("%1.%2: \"%3\" needs %4 x %5, has %6 x %7")
        .arg(window->objectName(), w->objectName(), text)
        .arg(need.width())
        .arg(need.height())
        .arg(have.width())
        .arg(have.height());
}

// The size a text needs in a control, or an empty size when the control shows no text of ours.
QSize needed(const QWidget *w, QString &text)
{
    const QFontMetrics fm = w->fontMetrics();
    if (auto *label = qobject_cast<const QLabel *>(w)) {
        text = label->text();
        if (text.isEmpty() || label->textFormat() == Qt::RichText || Qt::mightBeRichText(text))
            return {};
        if (label->wordWrap())
            return {0, label->heightForWidth(label->width())};
        const QString shown = label->textInteractionFlags() ? text : plain(text);
        QSize s;
        for (const QString &line : shown.split(QLatin1Char('\n')))
            s.setWidth(std::max(s.width(), fm.horizontalAdvance(line)));
        const int m = label->margin() * 2 + label->contentsMargins().left() + label->contentsMargins().right();
        s.rwidth() += m;
        s.setHeight(fm.height() * int(shown.count(QLatin1Char('\n')) + 1));
        return s;
    }
    if (auto *button = qobject_cast<const QAbstractButton *>(w)) {
        text = button->text();
        if (text.isEmpty())
            return {};
        const QString shown = plain(text);
        if (qobject_cast<const QCheckBox *>(w) || qobject_cast<const QRadioButton *>(w)) {
            // indicator, spacing and text, as the style lays them out
            QSize hint = button->sizeHint();
            return {hint.width(), fm.height()};
        }
        if (qobject_cast<const QPushButton *>(w)) {
            // the text inside the button's frame and margins
            const int frame = w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
            return {fm.horizontalAdvance(shown) + frame + 4, fm.height()};
        }
        return {};
    }
    if (auto *box = qobject_cast<const QGroupBox *>(w)) {
        text = box->title();
        if (text.isEmpty())
            return {};
        return {fm.horizontalAdvance(plain(text)) + 16, 0};
    }
    return {};
}

} // namespace

QStringList textsThatDoNotFit(QWidget *window)
{
    // a form laid out by layouts takes its size and places its controls when shown
    if (window->layout() && !window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    for (QLayout *layout : window->findChildren<QLayout *>())
        layout->activate();
    QStringList out;
    for (const QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window) || w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QString text;
        const QSize need = needed(w, text);
        if (!need.isValid())
            continue;
        if (need.width() > w->width() || need.height() > w->height()) {
            out << describe(window, w, text, need, w->size());
            continue;
        }
        // a label reads a caption's "&&" as one ampersand only with a buddy to take its key
        if (auto *label = qobject_cast<const QLabel *>(w); label && !label->buddy() && text.contains(QStringLiteral("&&")))
            out << QStringLiteral("%1.%2: \"%3\" shows \"&&\"").arg(window->objectName(), w->objectName(), text);
        // a text box lying on the text hides part of it
        const QRect textArea(w->pos(), QSize(need.width() > 0 ? need.width() : w->width(), w->height()));
        for (const QLineEdit *box : w->parentWidget()->findChildren<QLineEdit *>(Qt::FindDirectChildrenOnly))
            if (box->isVisibleTo(window) && box->geometry().intersects(textArea))
                out << QStringLiteral("%1.%2: \"%3\" is covered by %4")
                           .arg(window->objectName(), w->objectName(), text, box->objectName());
    }
    return out;
}
