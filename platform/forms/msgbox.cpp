#include "platform/forms/msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "platform/forms/forms.h"

static QString g_appTitle;
static MsgBoxScript *g_script = nullptr;

QString appTitle() { return g_appTitle; }
void setAppTitle(const QString &title) { g_appTitle = title; }

MsgBoxScript::MsgBoxScript() : m_previous(g_script) { g_script = this; }
MsgBoxScript::~MsgBoxScript() { g_script = m_previous; }
MsgBoxScript *MsgBoxScript::current() { return g_script; }
void MsgBoxScript::answer(int result) { m_answers.append(result); }

static int firstButton(int buttons)
{
    switch (buttons & 0x7) {
    case vb::vbOKCancel: return vb::vbOK;
    case vb::vbAbortRetryIgnore: return vb::vbAbort;
    case vb::vbYesNoCancel:
    case vb::vbYesNo: return vb::vbYes;
    case vb::vbRetryCancel: return vb::vbRetry;
    default: return vb::vbOK;
    }
}

int MsgBoxScript::respond(const QString &prompt, int buttons, const QString &title, int quitAnswer)
{
    int result = m_answers.isEmpty() ? firstButton(buttons) : m_answers.takeFirst();
    m_calls.append({prompt, buttons, title, result, quitAnswer});
    return result;
}

namespace {
struct ButtonPair {
    QMessageBox::StandardButton qt;
    int vb;
};

QList<ButtonPair> buttonSet(int buttons)
{
    switch (buttons & 0x7) {
    case vb::vbOKCancel: return {{QMessageBox::Ok, vb::vbOK}, {QMessageBox::Cancel, vb::vbCancel}};
    case vb::vbAbortRetryIgnore:
        return {{QMessageBox::Abort, vb::vbAbort}, {QMessageBox::Retry, vb::vbRetry}, {QMessageBox::Ignore, vb::vbIgnore}};
    case vb::vbYesNoCancel:
        return {{QMessageBox::Yes, vb::vbYes}, {QMessageBox::No, vb::vbNo}, {QMessageBox::Cancel, vb::vbCancel}};
    case vb::vbYesNo: return {{QMessageBox::Yes, vb::vbYes}, {QMessageBox::No, vb::vbNo}};
    case vb::vbRetryCancel: return {{QMessageBox::Retry, vb::vbRetry}, {QMessageBox::Cancel, vb::vbCancel}};
    default: return {{QMessageBox::Ok, vb::vbOK}};
    }
}

// The answer a box gives when the program is asked to end: the one it names, else Cancel, else
// its default button.
ButtonPair quitAnswer(int buttons, int named)
{
    const QList<ButtonPair> set = buttonSet(buttons);
    for (const ButtonPair &b : set)
        if (b.vb == named)
            return b;
    for (const ButtonPair &b : set)
        if (b.vb == vb::vbCancel)
            return b;
    const int def = (buttons & 0x300) >> 8;
    return set[def < set.size() ? def : 0];
}

struct OpenBox {
    QPointer<QMessageBox> box;
    QMessageBox::StandardButton quit;
};
QList<OpenBox> g_openBoxes;
}

void answerOpenMessageBoxesForQuit()
{
    for (const OpenBox &open : QList<OpenBox>(g_openBoxes))
        if (open.box)
            open.box->done(open.quit);
}

int MsgBox(const QString &prompt, int buttons, const QString &title, int quitWith)
{
    if (g_script)
        return g_script->respond(prompt, buttons, title, quitWith);
    if (quitRequested())
        return quitAnswer(buttons, quitWith).vb;

    // On the heap: the window it stands over may go while it is open, and takes the box with it.
    const QPointer<QMessageBox> box = new QMessageBox(QApplication::activeWindow());
    box->setWindowTitle(title.isEmpty() ? g_appTitle : title);
    box->setText(prompt);
    switch (buttons & 0x70) {
    case vb::vbCritical: box->setIcon(QMessageBox::Critical); break;
    case vb::vbQuestion: box->setIcon(QMessageBox::Question); break;
    case vb::vbExclamation: box->setIcon(QMessageBox::Warning); break;
    case vb::vbInformation: box->setIcon(QMessageBox::Information); break;
    default: box->setIcon(QMessageBox::NoIcon); break;
    }
    const QList<ButtonPair> set = buttonSet(buttons);
    QMessageBox::StandardButtons all;
    for (const ButtonPair &b : set)
        all |= b.qt;
    box->setStandardButtons(all);
    int def = (buttons & 0x300) >> 8;
    if (def < set.size())
        box->setDefaultButton(set[def].qt);
    const ButtonPair quit = quitAnswer(buttons, quitWith);
    g_openBoxes.append({box, quit.qt});
    auto clicked = static_cast<QMessageBox::StandardButton>(box->exec());
    g_openBoxes.removeIf([&box](const OpenBox &open) { return !open.box || open.box == box; });
    if (!box)
        return quit.vb;
    delete box;
    for (const ButtonPair &b : set)
        if (b.qt == clicked)
            return b.vb;
    return set.last().vb;  // closed by Escape: the last (cancelling) button
}
