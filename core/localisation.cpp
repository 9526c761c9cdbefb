#include "core/localisation.h"

#include <QFile>
#include <QFontMetrics>
#include <QLocale>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>
#include <cmath>
#include <functional>

#include "core/errors.h"
#include "platform/forms/forms.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"

namespace {

// Runs one step; a failing step is skipped and the caller goes on with the next.
void step(const std::function<void()> &body)
{
    try {
        body();
    } catch (...) {
    }
}

void appendLocLog(const QString &line)
{
    QFile file(locLogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        raiseVbError(75, QStringLiteral("Path/File access error"));
    file.write((line + QStringLiteral("\r\n")).toLocal8Bit());
}

// Nearest 16-bit integer, ties to even; 6 when out of range.
qint16 toInteger(double x)
{
    const double r = std::nearbyint(x);
    if (!std::isfinite(r) || r < -32768 || r > 32767)
        raiseVbError(vbErr::Overflow);
    return qint16(r);
}

}

QString NoLocalize(const QString &text) { return text; }

QString locLogPath() { return logsFolder() + QStringLiteral("/loc.log"); }

QString fontSizeText(double pointSize)
{
    return QLocale::system().toString(pointSize, 'g', QLocale::FloatingPointShortest);
}

QString LocalizeString(const QString &key)
{
    QVariant value = QString();
    if (QelLocalizeLookupVariant(QVariant(key), value) == 0)
        return value.toString();
    return key;
}

bool LocalizeFont(QFont &font)
{
    bool result = false;
    step([&] {
        const QString key = font.family() + QStringLiteral("/") + fontSizeText(font.pointSizeF());
        const QString translation = LocalizeString(key);
        if (translation != key) {
            const QStringList parts = Split(translation, QStringLiteral("/"), 2);
            step([&] { font.setFamily(parts.value(0)); });
            step([&] {
                if (parts.size() < 2)
                    raiseVbError(vbErr::SubscriptOutOfRange);
                font.setPointSizeF(CDbl(parts[1]));
            });
            // The character set of the standard "System" font: Qt fonts carry none.
            result = true;
            return;
        }
        const QString scaledKey = font.family() + QStringLiteral("/Scaled");
        const QString scaled = LocalizeString(scaledKey);
        if (scaled != scaledKey) {
            const QStringList parts = Split(scaled, QStringLiteral("/"), 2);
            step([&] { font.setFamily(parts.value(0)); });
            step([&] {
                if (parts.size() < 2)
                    raiseVbError(vbErr::SubscriptOutOfRange);
                const double size = Int(CDbl(parts[1])) * font.pointSizeF() / 100.0;
                font.setPointSizeF(size);
            });
            result = true;
        }
    });
    return result;
}

void MarkLongString(qint16 mode, const Form &form, QObject *control, const QString &text)
{
    if (mode != 1)
        return;
    const int tpp = Screen::TwipsPerPixelX();
    const double pixels = QFontMetrics(form.font()).horizontalAdvance(text);
    const int twips = CLng(pixels * tpp);
    const int width = ctl::width(control);
    if (twips > width) {
        ctl::setForeColor(control, QColor(255, 0, 0));
        appendLocLog(QStringLiteral("  ") + text + QStringLiteral("(") + numberText(double(twips) / tpp)
                     + QStringLiteral(") width: ") + numberText(double(float(width) / float(tpp)), 7));
    }
}

void LocalizeForm(Form &form)
{
    int locale = 0;
    step([&] { locale = QelLocalizeGetLocale(); });
    if (locale == 1033)
        return;

    // Every control keeps its own font from here on, as the design's controls do.
    for (QObject *c : form.controls())
        if (auto *w = qobject_cast<QWidget *>(c))
            w->setFont(w->font());

    qint16 mode = 0;
    step([&] {
        mode = CInt(GetSetting(APP_TITLE, NoLocalize(QStringLiteral("Settings")),
                               NoLocalize(QStringLiteral("LongStringsRed")), QStringLiteral("0")));
    });
    if (mode != 0)
        step([&] {
            appendLocLog(QStringLiteral("[") + form.caption() + QStringLiteral(" - ")
                         + QString::number(QelLocalizeGetLocale()) + QStringLiteral("]"));
        });
    step([&] { form.setCaption(LocalizeString(form.caption())); });

    bool scaled = false;
    qint16 hFactor = 1000, vFactor = 1000;
    step([&] {
        LocnSize before, after;
        QelLocalizeGetCurSizeIFont(form.font(), before);
        QFont font = form.font();
        if (!LocalizeFont(font))
            return;
        form.setFont(font);
        QelLocalizeGetCurSizeIFont(form.font(), after);
        // A "before" measure of 0 leaves no factor: nothing is scaled.
        if (before.cx == 0 || before.cy == 0)
            return;
        hFactor = toInteger(double(qint32(after.cx * 1000)) / before.cx);
        vFactor = toInteger(double(qint32(after.cy * 1000)) / before.cy);
        const float width = float(form.Width()) * hFactor / 1000;
        const float height = float(form.Height()) * vFactor / 1000;
        form.Move(form.Left(), form.Top(), qRound(width), qRound(height));
        scaled = true;
    });

    const QString pictureBox = NoLocalize(QStringLiteral("PictureBox"));
    const QString line = NoLocalize(QStringLiteral("Line"));
    const QList<QObject *> controls = form.controls();
    for (QObject *c : controls) {
        const QString type = ctl::typeName(c);
        auto scale = [](double value, qint16 factor) { return value * factor / 1000; };

        if (type == pictureBox) {
        } else if (type == line) {
            if (scaled)
                for (const char *end : {"x1", "y1", "x2", "y2"})
                    step([&] {
                        const QVariant v = c->property(end);
                        if (!v.isValid())
                            raiseVbError(438, QStringLiteral("Object doesn't support this property or method"));
                        c->setProperty(end, scale(v.toDouble(), end[0] == 'x' ? hFactor : vFactor));
                    });
        } else {
            if (scaled) {
                step([&] { ctl::setLeft(c, scale(ctl::left(c), hFactor)); });
                step([&] { ctl::setTop(c, scale(ctl::top(c), vFactor)); });
                step([&] { ctl::setWidth(c, scale(ctl::width(c), hFactor)); });
                step([&] { ctl::setHeight(c, scale(ctl::height(c), vFactor)); });
            }
            step([&] {
                QFont font = ctl::font(c);
                if (LocalizeFont(font))
                    ctl::setFont(c, font);
            });
        }

        auto translateCaption = [&] { step([&] { ctl::setCaption(c, LocalizeString(ctl::caption(c))); }); };
        auto markCaption = [&] { step([&] { MarkLongString(mode, form, c, ctl::caption(c)); }); };
        auto translateToolTip = [&] {
            step([&] { ctl::setToolTipText(c, LocalizeString(ctl::toolTipText(c))); });
        };

        if (type == NoLocalize(QStringLiteral("Menu"))) {
            translateCaption();
        } else if (type == NoLocalize(QStringLiteral("Label"))) {
            translateCaption();
            markCaption();
        } else if (type == NoLocalize(QStringLiteral("TabStrip"))) {
            step([&] {
                auto *tabs = qobject_cast<QTabBar *>(c);
                if (!tabs)
                    raiseVbError(438, QStringLiteral("Object doesn't support this property or method"));
                for (int i = 0; i < tabs->count(); ++i) {
                    step([&] { tabs->setTabText(i, LocalizeString(tabs->tabText(i))); });
                    step([&] { tabs->setTabToolTip(i, LocalizeString(tabs->tabToolTip(i))); });
                }
            });
        } else if (type == NoLocalize(QStringLiteral("Toolbar"))) {
            step([&] {
                auto *bar = qobject_cast<QToolBar *>(c);
                if (!bar)
                    raiseVbError(438, QStringLiteral("Object doesn't support this property or method"));
                for (QAction *button : bar->actions()) {
                    step([&] { button->setToolTip(LocalizeString(button->toolTip())); });
                    step([&] { button->setText(LocalizeString(button->text())); });
                    step([&] { button->setStatusTip(LocalizeString(button->statusTip())); });
                }
            });
        } else if (type == NoLocalize(QStringLiteral("ListView"))) {
            step([&] {
                auto *view = qobject_cast<QTreeWidget *>(c);
                if (!view)
                    raiseVbError(438, QStringLiteral("Object doesn't support this property or method"));
                QTreeWidgetItem *header = view->headerItem();
                for (int i = 0; i < header->columnCount(); ++i)
                    step([&] { header->setText(i, LocalizeString(header->text(i))); });
            });
        } else if (type == NoLocalize(QStringLiteral("TextBox"))) {
            step([&] { ctl::setText(c, LocalizeString(ctl::text(c))); });
            step([&] { MarkLongString(mode, form, c, ctl::text(c)); });
        } else if (type == NoLocalize(QStringLiteral("QelEzSaveControl"))) {
            if (c->property("ControlType").toInt() != 10) {
                translateCaption();
                translateToolTip();
            }
            markCaption();
        } else {
            translateCaption();
            markCaption();
            translateToolTip();
        }
    }
}
