#include "platform/forms/autosizelabel.h"

#include <QResizeEvent>

AutoSizeLabel::AutoSizeLabel(QWidget *parent) : QLabel(parent)
{
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void AutoSizeLabel::setText(const QString &text)
{
    QLabel::setText(text);
    fit();
}

int AutoSizeLabel::neededHeight() const
{
    return heightForWidth(width());
}

void AutoSizeLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fit();
}

void AutoSizeLabel::fit()
{
    const int needed = std::max(neededHeight(), fontMetrics().height());
    if (needed == height())
        return;
    resize(width(), needed);
    emit heightChanged();
}
