#include "platform/forms/builders.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QVBoxLayout>

#include "platform/forms/forms.h"

QLabel *addLabel(Form &form, QWidget *parent, const QString &name, const QString &caption, int x, int y,
                 int width)
{
    auto *label = form.addControl(new QLabel(caption, parent), name);
    label->setGeometry(x, y, width, 20);
    return label;
}

QLineEdit *addField(Form &form, QWidget *parent, const QString &name, int x, int y, int width)
{
    auto *field = form.addControl(new QLineEdit(parent), name);
    field->setGeometry(x, y, width, 22);
    return field;
}

QGroupBox *addFrame(Form &form, QWidget *parent, const QString &name, const QString &caption,
                    const QRect &geometry)
{
    auto *frame = form.addControl(new QGroupBox(caption, parent), name);
    frame->setGeometry(geometry);
    return frame;
}

QWidget *addMenuBar(Form &form, QMenuBar *&menuBar)
{
    auto *outer = new QVBoxLayout(&form);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    menuBar = new QMenuBar(&form);
    outer->setMenuBar(menuBar);
    auto *client = new QWidget(&form);
    client->setObjectName(QStringLiteral("client"));
    outer->addWidget(client);
    form.setClientArea(client);
    return client;
}
