#pragma once
#include <QList>
#include <QString>

// Message boxes through one seam: the program shows Qt dialogs; a test installs a MsgBoxScript
// that answers from a queue and records every call.

namespace vb {
enum MsgBoxStyle : int {
    vbOKOnly = 0, vbOKCancel = 1, vbAbortRetryIgnore = 2, vbYesNoCancel = 3, vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16, vbQuestion = 32, vbExclamation = 48, vbInformation = 64,
    vbDefaultButton1 = 0, vbDefaultButton2 = 256, vbDefaultButton3 = 512,
    vbApplicationModal = 0, vbSystemModal = 4096,
};
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };
}

// Shows a message box; a title left empty shows the application title. Once the program is
// asked to end (quitRequested) a box is not shown: it answers quitAnswer when one is given (a
// question whose default would start work the operator has not confirmed), else Cancel, or its
// default button when it has no Cancel; boxes open at that moment are answered the same way.
int MsgBox(const QString &prompt, int buttons = vb::vbOKOnly, const QString &title = QString(), int quitAnswer = 0);
// Answers the message boxes that are open now as above (used by requestQuit).
void answerOpenMessageBoxesForQuit();

// The application title shown by a box given no title of its own.
QString appTitle();
void setAppTitle(const QString &title);

struct MsgBoxCall {
    QString prompt;
    int buttons = 0;  // the whole style word: buttons + icon + default button
    QString title;    // as passed (empty when none was given)
    int answer = 0;
    int quitAnswer = 0; // as passed (0 when none was given)
    int buttonSet() const { return buttons & 0x7; }
    int icon() const { return buttons & 0x70; }
};

// While one is alive, MsgBox shows nothing: it pops the next queued answer (or, with the queue
// empty, the box's first button) and records the call.
class MsgBoxScript {
public:
    MsgBoxScript();
    ~MsgBoxScript();
    MsgBoxScript(const MsgBoxScript &) = delete;
    MsgBoxScript &operator=(const MsgBoxScript &) = delete;

    void answer(int result);
    const QList<MsgBoxCall> &calls() const { return m_calls; }
    void clear() { m_calls.clear(); }

    static MsgBoxScript *current();
    int respond(const QString &prompt, int buttons, const QString &title, int quitAnswer = 0);

private:
    QList<int> m_answers;
    QList<MsgBoxCall> m_calls;
    MsgBoxScript *m_previous = nullptr;
};
