#include "core/layout.h"

#include "platform/forms/forms.h"

namespace {
QList<ControlLayout> g_layout;
qint32 g_formHeight = 0;
qint32 g_formWidth = 0;
}

const QList<ControlLayout> &controlLayouts() { return g_layout; }
qint32 layoutFormHeight() { return g_formHeight; }
qint32 layoutFormWidth() { return g_formWidth; }

void saveControlLayout(Form &form)
{
    g_layout.clear();
    for (QObject *c : form.controls()) {
        const QString type = ctl::typeName(c);
        if (type == QLatin1String("Toolbar") || type == QLatin1String("Menu"))
            continue;
        g_layout.append(ControlLayout{});
        ControlLayout &entry = g_layout.last();
        entry.Name = c->objectName();
        entry.TabIndex = ctl::tabIndex(c);
        entry.Left = ctl::left(c);
        entry.Top = ctl::top(c);
        entry.Width = ctl::width(c);
        entry.Height = ctl::height(c);
    }
    g_formHeight = form.Height();
    g_formWidth = form.Width();
}

void centerForm(Form &form)
{
    // Half the room, truncated toward zero; negative when the form is larger than the screen.
    const qint32 left = (Screen::Width() - form.Width()) / 2;
    const qint32 top = (Screen::Height() - form.Height()) / 2;
    form.Move(left, top);
}

void resizeControls(Form &form)
{
    if (g_formWidth > 0 && g_formHeight > 0) {
        const double sx = double(form.Width()) / g_formWidth;
        const double sy = double(form.Height()) / g_formHeight;
        for (QObject *c : form.controls()) {
            for (const ControlLayout &entry : std::as_const(g_layout)) {
                if (entry.Name != c->objectName())
                    continue;
                ctl::setLeft(c, entry.Left * sx);
                ctl::setTop(c, entry.Top * sy);
                ctl::setWidth(c, entry.Width * sx);
                ctl::setHeight(c, entry.Height * sy);
                break;
            }
        }
    }
    centerForm(form);
}
