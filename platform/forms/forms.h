#pragma once
#include <QAbstractButton>
#include <QComboBox>
#include <QList>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

// Forms the way the workstation's code expects them: a life cycle (Load, Activate,
// QueryUnload, Unload), a collection of the loaded forms in load order, default instances
// that come back fresh after an unload, key preview, default and cancel buttons, a per-form
// tab order, a control collection, and sizes in twips.

namespace vb {
enum QueryUnloadConstants : int {
    vbFormControlMenu = 0, vbFormCode = 1, vbAppWindows = 2, vbAppTaskManager = 3, vbFormOwner = 5,
};
enum FormShowConstants : int { vbModeless = 0, vbModal = 1 };
enum ShiftConstants : int { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };
enum KeyCodeConstants : int {
    vbKeyBack = 8, vbKeyTab = 9, vbKeyReturn = 13, vbKeyShift = 16, vbKeyControl = 17,
    vbKeyMenu = 18, vbKeyEscape = 27, vbKeySpace = 32, vbKeyPageUp = 33, vbKeyPageDown = 34,
    vbKeyEnd = 35, vbKeyHome = 36, vbKeyLeft = 37, vbKeyUp = 38, vbKeyRight = 39, vbKeyDown = 40,
    vbKeyInsert = 45, vbKeyDelete = 46, vbKey0 = 48, vbKeyA = 65, vbKeyZ = 90,
    vbKeyF1 = 112, vbKeyF6 = 117, vbKeyF7 = 118, vbKeyF8 = 119, vbKeyF9 = 120, vbKeyF10 = 121,
    vbKeyF11 = 122, vbKeyF12 = 123, vbKeyComma = 188, vbKeyPeriod = 190,
};
}

// Key code and shift state of a Qt key event (0 when the key has no code).
int vbKeyCode(int qtKey);
int vbShiftState(Qt::KeyboardModifiers mods);

class Road;

class Form : public QWidget {
    Q_OBJECT
public:
    // name: the form's design name, also its objectName ("frmMain").
    explicit Form(const QString &name, QWidget *parent = nullptr);
    ~Form() override;

    // Event handlers of the form; the defaults do nothing.
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_QueryUnload(int &cancel, int unloadMode) { (void)cancel; (void)unloadMode; }
    virtual void Form_Unload(int &cancel) { (void)cancel; }
    virtual void Form_KeyDown(int &keyCode, int shift) { (void)keyCode; (void)shift; }
    virtual void Form_KeyPress(int &keyAscii) { (void)keyAscii; }
    virtual void Form_Resize() {}

    // Runs Form_Load once and adds the form to Forms(); nothing when already loaded.
    void Load();
    bool isLoaded() const { return m_loaded; }
    // QueryUnload then Unload; either may cancel (returns false, the form stays). Otherwise
    // the form is hidden, leaves Forms(), its default instance is dropped (the next use
    // creates a fresh one) and it is deleted once control returns to the event loop.
    bool Unload(int unloadMode = vb::vbFormCode);
    // Loads the form when needed and shows it. Modal: returns when the form is hidden or
    // unloaded; while a FormScript is alive nothing is shown and the script decides.
    void Show(int modal = vb::vbModeless, QWidget *owner = nullptr);
    void Hide();
    bool isShownModal() const { return m_modal; }

    // True while one of the form's roads runs; see Road.
    bool roadRunning() const;
    // Unload(unloadMode) now, or, while a road runs, once the road asked to abort has ended.
    void unloadAfterRoads(int unloadMode);

    QString caption() const { return windowTitle(); }
    void setCaption(const QString &text) { setWindowTitle(text); }

    // Key preview: the form's key handlers see keys before its controls; a handler that sets
    // the key code (or character) to 0 consumes the key.
    bool keyPreview() const { return m_keyPreview; }
    void setKeyPreview(bool on) { m_keyPreview = on; }

    // Enter clicks the default button when it is enabled and visible (unless the focus is on
    // another button, which takes Enter itself); Escape clicks the cancel button likewise,
    // except while a road runs in the form.
    QAbstractButton *defaultButton() const { return m_default; }
    void setDefaultButton(QAbstractButton *button);
    QAbstractButton *cancelButton() const { return m_cancel; }
    void setCancelButton(QAbstractButton *button) { m_cancel = button; }

    // The control collection, in the order controls were added. A control is a widget, a menu
    // entry (QAction), a menu (QMenu) or a timer. addControl sets the objectName and, for
    // widgets, appends the control to the tab order.
    template <class T> T *addControl(T *control, const QString &name)
    {
        registerControl(control, name);
        return control;
    }
    void registerControl(QObject *control, const QString &name);
    void removeControl(const QString &name); // deletes it
    const QList<QObject *> &controls() const { return m_controls; }
    QObject *control(const QString &name) const;

    // Tab order as the design keeps it: every widget control has a position (TabIndex) from 0;
    // setting one moves the control to that position and the others shift.
    void setTabIndex(QWidget *control, int index);
    int tabIndex(QWidget *control) const; // -1 for a widget that is not a control of the form
    const QList<QWidget *> &tabOrder() const { return m_tabOrder; }

    // The inner area where the controls live (below a menu bar); the form itself by default.
    QWidget *clientArea() const { return m_client ? m_client : const_cast<Form *>(this); }
    void setClientArea(QWidget *client) { m_client = client; }

    // Position and size in twips; ScaleWidth/ScaleHeight are the inner area's.
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    int ScaleWidth() const;
    int ScaleHeight() const;
    void Move(int left, int top, int width = -1, int height = -1);

signals:
    void loaded();
    void unloaded();
    void hidden();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    template <class F> friend F &defaultInstance();
    friend class FormScript;
    friend void sweepForQuit();
    friend class Road;
    void activate();
    void applyTabOrder();
    bool handleKey(QWidget *target, QKeyEvent *key);

    bool m_loaded = false;
    bool m_unloading = false;
    bool m_modal = false;
    bool m_activateLater = false; // a modal showing activates from its own loop
    bool m_activationQueued = false; // shown, its activation not run yet
    bool m_keyPreview = false;
    QPointer<QAbstractButton> m_default;
    QPointer<QAbstractButton> m_cancel;
    QWidget *m_client = nullptr;
    QList<QObject *> m_controls;
    QList<QWidget *> m_tabOrder;
    Form **m_defaultSlot = nullptr;
    QList<Road *> m_roads;
    std::unique_ptr<Road> m_loadRoad; // loading is a road of its own
    bool m_deleteAfterRoad = false; // unloaded by code while a road ran: deleted when it ends
    int m_unloadAfterRoads = -1; // the unload mode to run once the roads ended, or -1
    void abortRoads();
};

// A long road run from a form's events (a scan, a batch job, a store), declared once as a
// member of its form. While it runs it is the only guard against being entered again (a second
// start from an event handled while it yields) and against closing: a close from the frame, or
// any unload not made by the program's code, is refused and aborts the road; a quit request
// aborts it and waits for it; an unload by code goes through but the form stays alive until the
// road ends, so the road's references stay valid across its yields. It carries the form's Abort,
// and owns what it must undo and the working files it made: when a run ends without done(),
// its undo steps run, last first; its files are deleted however it ends.
class Road {
public:
    // `abort`: the form's Abort, run (once per run) when the road is asked to abort.
    explicit Road(Form &form, std::function<void()> abort = {});
    ~Road();
    Road(const Road &) = delete;
    Road &operator=(const Road &) = delete;

    bool running() const { return m_running; }
    // Asked to abort during this run; the road checks it at its yields.
    bool aborted() const { return m_aborted; }
    void abort();
    // Aborts the run and runs `step` from the event loop once the run has ended, unless the
    // program is ending by then. A later step replaces one still waiting.
    void abortThen(std::function<void()> step);

    // While the road runs: what to undo should it not reach done(), and its working files.
    void addUndo(std::function<void()> step);
    void addFile(const QString &path);
    // The road reached its end: nothing is undone.
    void done() { m_undo.clear(); }

    // One run of the road, for the lifetime of this object. Test it: false when the road
    // already runs (the caller returns at once). Its end unwinds the road.
    class Run {
    public:
        explicit Run(Road &road);
        ~Run();
        Run(const Run &) = delete;
        Run &operator=(const Run &) = delete;
        explicit operator bool() const { return m_road != nullptr; }

    private:
        Road *m_road = nullptr;
        QPointer<Form> m_form;
    };

private:
    void unwind();

    Form *m_form;
    std::function<void()> m_abort;
    bool m_running = false;
    bool m_aborted = false;
    QList<std::function<void()>> m_undo;
    QStringList m_files;
    std::function<void()> m_then;
};

// The loaded forms in load order.
const QList<Form *> &Forms();

// The program is asked to end (a termination signal). From then on every message box is
// answered at once (see MsgBox) and, at the next safe point, every modal window that is up is
// answered as Cancel: its cancel button when it has an enabled one, else it is unloaded. A
// form whose road runs is asked to abort and waited for. Checked every 100 ms; once no modal
// window and no road is left, closeProgram runs once and the request ends (a close the operator
// refuses keeps the program; a later request starts again).
void requestQuit(std::function<void()> closeProgram);
bool quitRequested();

// The default instance of a form class: created and loaded on first use, created afresh
// after it was unloaded. The instance is reachable from inside its own Form_Load.
template <class F> Form *&defaultInstanceSlot()
{
    static Form *instance = nullptr;
    return instance;
}

template <class F> F &defaultInstance()
{
    Form *&instance = defaultInstanceSlot<F>();
    if (!instance) {
        F *form = new F;
        instance = form;
        form->m_defaultSlot = &instance;
        form->Load();
    }
    return *static_cast<F *>(instance);
}

// The default instance of a form class while it is loaded, else null; never creates one.
template <class F> F *loadedInstance()
{
    Form *instance = defaultInstanceSlot<F>();
    return instance && instance->isLoaded() ? static_cast<F *>(instance) : nullptr;
}

// True when the default instance of a form class is loaded and shown, a scripted modal showing
// included; never creates one.
template <class F> bool isShown()
{
    const F *form = loadedInstance<F>();
    return form && (form->isVisible() || form->isShownModal());
}

// Modal forms in tests: while one is alive, Show(vbModal) shows nothing. It loads the form,
// records the call, runs Form_Activate (as a real showing would), then runs the next queued
// action for that form (which may set fields and click buttons). When the action leaves the
// form loaded and shown, the modal showing ends by hiding it.
class FormScript {
public:
    struct Call {
        QString form;
        QString owner; // objectName of the owner, empty when none
    };
    using Action = std::function<void(Form &)>;

    FormScript();
    ~FormScript();
    FormScript(const FormScript &) = delete;
    FormScript &operator=(const FormScript &) = delete;

    void onShow(const QString &formName, Action action);
    const QList<Call> &calls() const { return m_calls; }
    void clear() { m_calls.clear(); }

    static FormScript *current();
    void showModal(Form &form, QWidget *owner);

private:
    QList<QPair<QString, Action>> m_actions;
    QList<Call> m_calls;
    FormScript *m_previous = nullptr;
};

// A combo box as the design uses it: it starts with no entry selected (list index -1), adding
// and clearing entries raise no change event, every entry carries a number (ItemData), and
// Click is raised by every change of the list index, by the operator or by the program.
class ComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ComboBox(QWidget *parent = nullptr);

    void addItem(const QString &text);
    void clear();
    int listIndex() const { return currentIndex(); }
    void setListIndex(int index);
    int listCount() const { return count(); }
    QString list(int index) const { return itemText(index); }
    int listItemData(int index) const;
    void setListItemData(int index, int value);

signals:
    void Click();

private:
    bool m_quiet = false;
};

// The screen in twips.
namespace Screen {
int TwipsPerPixelX();
int TwipsPerPixelY();
int Width();
int Height();
// Tests: a screen of this many pixels (an empty size returns to the real screen).
void setSizeOverride(const QSize &pixels);
}

// Control properties under their design names, in twips where they are lengths. A control
// that lacks a property raises error 438 ("Object doesn't support this property or method").
namespace ctl {
QString typeName(const QObject *control); // "Label", "TextBox", "CommandButton", "Menu", ...
int left(const QObject *control);
int top(const QObject *control);
int width(const QObject *control);
int height(const QObject *control);
void setLeft(QObject *control, double twips);
void setTop(QObject *control, double twips);
void setWidth(QObject *control, double twips);
void setHeight(QObject *control, double twips);
QString caption(const QObject *control);
void setCaption(QObject *control, const QString &text);
QString text(const QObject *control);
void setText(QObject *control, const QString &text);
QString toolTipText(const QObject *control);
void setToolTipText(QObject *control, const QString &text);
QFont font(const QObject *control);
void setFont(QObject *control, const QFont &font);
void setForeColor(QObject *control, const QColor &color);
QColor foreColor(const QObject *control);
int tabIndex(const QObject *control); // through its form
}
