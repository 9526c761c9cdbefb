#include "platform/forms/msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

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

int MsgBoxScript::respond(const QString &prompt, int buttons, const QString &title)
{
    int result = m_answers.isEmpty() ? firstButton(buttons) : m_answers.takeFirst();
    m_calls.append({prompt, buttons, title, result});
    return result;
}

int MsgBox(const QString &prompt, int buttons, const QString &title)
{
    if (g_script)
        return g_script->respond(prompt, buttons, title);

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? g_appTitle : title);
    box.setText(prompt);
    switch (buttons & 0x70) {
    case vb::vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vb::vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vb::vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vb::vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    struct B { QMessageBox::StandardButton qt; int vb; };
    QList<B> set;
    switch (buttons & 0x7) {
    case vb::vbOKCancel: set = {{QMessageBox::Ok, vb::vbOK}, {QMessageBox::Cancel, vb::vbCancel}}; break;
    case vb::vbAbortRetryIgnore: set = {{QMessageBox::Abort, vb::vbAbort}, {QMessageBox::Retry, vb::vbRetry}, {QMessageBox::Ignore, vb::vbIgnore}}; break;
    case vb::vbYesNoCancel: set = {{QMessageBox::Yes, vb::vbYes}, {QMessageBox::No, vb::vbNo}, {QMessageBox::Cancel, vb::vbCancel}}; break;
    case vb::vbYesNo: set = {{QMessageBox::Yes, vb::vbYes}, {QMessageBox::No, vb::vbNo}}; break;
    case vb::vbRetryCancel: set = {{QMessageBox::Retry, vb::vbRetry}, {QMessageBox::Cancel, vb::vbCancel}}; break;
    default: set = {{QMessageBox::Ok, vb::vbOK}}; break;
    }
    QMessageBox::StandardButtons all;
    for (const B &b : set)
        all |= b.qt;
    box.setStandardButtons(all);
    int def = (buttons & 0x300) >> 8;
    if (def < set.size())
        box.setDefaultButton(set[def].qt);
    auto clicked = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const B &b : set)
        if (b.qt == clicked)
            return b.vb;
    return set.last().vb;  // closed by Escape: the last (cancelling) button
}
