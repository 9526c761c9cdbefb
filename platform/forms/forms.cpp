#include "platform/forms/forms.h"

#include <QPointer>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include "platform/forms/msgbox.h"
#include "platform/vb/vberror.h"

namespace {
QList<Form *> g_forms;
Form *g_activeForm = nullptr;
FormScript *g_formScript = nullptr;
QSize g_screenOverride;

[[noreturn]] void noSuchProperty()
{
    throw VbError(438, QStringLiteral("Object doesn't support this property or method"));
}

[[noreturn]] void invalidValue()
{
    throw VbError(380, QStringLiteral("Invalid property value"));
}
}

int vbKeyCode(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return vb::vbKeyA + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return vb::vbKey0 + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F16)
        return vb::vbKeyF1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return vb::vbKeyBack;
    case Qt::Key_Tab: case Qt::Key_Backtab: return vb::vbKeyTab;
    case Qt::Key_Return: case Qt::Key_Enter: return vb::vbKeyReturn;
    case Qt::Key_Shift: return vb::vbKeyShift;
    case Qt::Key_Control: return vb::vbKeyControl;
    case Qt::Key_Alt: return vb::vbKeyMenu;
    case Qt::Key_Escape: return vb::vbKeyEscape;
    case Qt::Key_Space: return vb::vbKeySpace;
    case Qt::Key_PageUp: return vb::vbKeyPageUp;
    case Qt::Key_PageDown: return vb::vbKeyPageDown;
    case Qt::Key_End: return vb::vbKeyEnd;
    case Qt::Key_Home: return vb::vbKeyHome;
    case Qt::Key_Left: return vb::vbKeyLeft;
    case Qt::Key_Up: return vb::vbKeyUp;
    case Qt::Key_Right: return vb::vbKeyRight;
    case Qt::Key_Down: return vb::vbKeyDown;
    case Qt::Key_Insert: return vb::vbKeyInsert;
    case Qt::Key_Delete: return vb::vbKeyDelete;
    case Qt::Key_Comma: case Qt::Key_Less: return vb::vbKeyComma;
    case Qt::Key_Period: case Qt::Key_Greater: return vb::vbKeyPeriod;
    default: return 0;
    }
}

int vbShiftState(Qt::KeyboardModifiers mods)
{
    int shift = 0;
    if (mods & Qt::ShiftModifier)
        shift |= vb::vbShiftMask;
    if (mods & Qt::ControlModifier)
        shift |= vb::vbCtrlMask;
    if (mods & Qt::AltModifier)
        shift |= vb::vbAltMask;
    return shift;
}

// ---------------------------------------------------------------------------------------------
// Form

Form::Form(const QString &name, QWidget *parent)
    : QWidget(parent, Qt::Window), m_loadRoad(std::make_unique<Road>(*this))
{
    setObjectName(name);
    qApp->installEventFilter(this);
}

Form::~Form()
{
    // The controls die after this form's members: stop their bookkeeping first.
    for (QObject *c : std::as_const(m_controls))
        disconnect(c, nullptr, this, nullptr);
    g_forms.removeOne(this);
    if (g_activeForm == this)
        g_activeForm = nullptr;
    if (m_defaultSlot && *m_defaultSlot == this)
        *m_defaultSlot = nullptr;
}

const QList<Form *> &Forms() { return g_forms; }

void Form::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    g_forms.append(this);
    {
        // The form is not pulled away in the middle of its loading.
        Road::Run loading(*m_loadRoad);
        Form_Load();
    }
    emit loaded();
}

bool Form::Unload(int unloadMode)
{
    if (!m_loaded || m_unloading)
        return true;
    if (roadRunning() && unloadMode != vb::vbFormCode) {
        abortRoads();
        return false;
    }
    int cancel = 0;
    Form_QueryUnload(cancel, unloadMode);
    if (cancel != 0)
        return false;
    Form_Unload(cancel);
    if (cancel != 0)
        return false;

    m_unloading = true;
    m_loaded = false;
    m_modal = false;
    g_forms.removeOne(this);
    if (g_activeForm == this)
        g_activeForm = nullptr;
    const bool wasDefault = m_defaultSlot && *m_defaultSlot == this;
    if (wasDefault)
        *m_defaultSlot = nullptr;
    hide();
    emit unloaded();
    m_unloading = false;
    // A default instance belongs to its accessor; any other form to whoever created it.
    if (wasDefault) {
        if (roadRunning())
            m_deleteAfterRoad = true;
        else
            deleteLater();
    }
    return true;
}

bool Form::roadRunning() const
{
    return std::any_of(m_roads.cbegin(), m_roads.cend(), [](const Road *r) { return r->running(); });
}

void Form::unloadAfterRoads(int unloadMode)
{
    if (!roadRunning()) {
        Unload(unloadMode);
        return;
    }
    m_unloadAfterRoads = unloadMode;
    abortRoads();
}

void Form::abortRoads()
{
    for (Road *r : std::as_const(m_roads))
        if (r->running())
            r->abort();
}

// ---------------------------------------------------------------------------------------------
// Road

Road::Road(Form &form, std::function<void()> abort) : m_form(&form), m_abort(std::move(abort))
{
    form.m_roads.append(this);
}

Road::~Road() { m_form->m_roads.removeOne(this); }

void Road::abort()
{
    if (!m_running || m_aborted)
        return;
    m_aborted = true;
    if (m_abort)
        m_abort();
}

void Road::abortThen(std::function<void()> step)
{
    if (!m_running)
        return;
    m_then = std::move(step);
    abort();
}

void Road::addUndo(std::function<void()> step) { m_undo.append(std::move(step)); }

void Road::addFile(const QString &path) { m_files.append(path); }

void Road::unwind()
{
    // A step that fails does not keep the steps before it from running.
    while (!m_undo.isEmpty()) {
        try {
            m_undo.takeLast()();
        } catch (...) {
        }
    }
    for (const QString &path : std::as_const(m_files))
        QFile::remove(path);
    m_files.clear();
    m_running = false;
    m_aborted = false;
}

Road::Run::Run(Road &road)
{
    if (road.m_running)
        return;
    m_road = &road;
    m_form = road.m_form;
    road.m_running = true;
    road.m_aborted = false;
}

Road::Run::~Run()
{
    if (!m_road || !m_form) // the form, and its road with it, was deleted under the run
        return;
    m_road->unwind();
    if (std::function<void()> then = std::exchange(m_road->m_then, {}))
        QTimer::singleShot(0, m_form, [then = std::move(then)] {
            if (!quitRequested())
                then();
        });
    if (m_form->roadRunning())
        return;
    if (const int mode = std::exchange(m_form->m_unloadAfterRoads, -1); mode >= 0)
        QTimer::singleShot(0, m_form, [form = m_form, mode] {
            if (form)
                form->Unload(mode);
        });
    if (!m_form->m_deleteAfterRoad)
        return;
    m_form->m_deleteAfterRoad = false;
    m_form->deleteLater();
}

void Form::Show(int modal, QWidget *owner)
{
    Load();
    if (!m_loaded)
        return;  // its load handler unloaded it
    if (modal == vb::vbModeless) {
        show();
        raise();
        activate();
        return;
    }
    if (FormScript *script = FormScript::current()) {
        script->showModal(*this, owner);
        return;
    }
    QPointer<Form> self(this);
    m_modal = true;
    setWindowModality(Qt::ApplicationModal);
    if (owner) {
        winId();
        if (windowHandle() && owner->window()->windowHandle())
            windowHandle()->setTransientParent(owner->window()->windowHandle());
    }
    QEventLoop loop;
    connect(this, &Form::hidden, &loop, &QEventLoop::quit);
    connect(this, &Form::unloaded, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    // Activate runs once the window is up, inside the modal loop: a form whose activation does
    // its job and unloads must not be hidden half-way through being shown.
    m_activateLater = true;
    show();
    raise();
    activateWindow();
    if (self && self->m_modal && self->isVisible())
        loop.exec();
    if (self) {
        self->m_modal = false;
        self->setWindowModality(Qt::NonModal);
    }
}

void Form::Hide()
{
    const bool wasModal = m_modal;
    m_modal = false;
    hide();
    if (wasModal || !isVisible())
        emit hidden();
}

void Form::activate()
{
    if (g_activeForm == this)
        return;
    g_activeForm = this;
    Form_Activate();
}

void Form::setDefaultButton(QAbstractButton *button) { m_default = button; }

void Form::registerControl(QObject *control, const QString &name)
{
    control->setObjectName(name);
    m_controls.append(control);
    if (auto *w = qobject_cast<QWidget *>(control)) {
        m_tabOrder.append(w);
        connect(w, &QObject::destroyed, this, [this, w] { m_tabOrder.removeOne(w); });
    }
    connect(control, &QObject::destroyed, this, [this, control] { m_controls.removeOne(control); });
}

void Form::removeControl(const QString &name)
{
    if (QObject *c = control(name))
        delete c;
}

QObject *Form::control(const QString &name) const
{
    for (QObject *c : m_controls)
        if (c->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

void Form::setTabIndex(QWidget *control, int index)
{
    if (index < 0)
        invalidValue();
    const int at = m_tabOrder.indexOf(control);
    if (at < 0)
        noSuchProperty();
    m_tabOrder.removeAt(at);
    m_tabOrder.insert(qMin(index, int(m_tabOrder.size())), control);
    applyTabOrder();
}

int Form::tabIndex(QWidget *control) const { return m_tabOrder.indexOf(control); }

void Form::applyTabOrder()
{
    QWidget *previous = nullptr;
    for (QWidget *w : m_tabOrder) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

int Form::Left() const { return x() * Screen::TwipsPerPixelX(); }
int Form::Top() const { return y() * Screen::TwipsPerPixelY(); }
int Form::Width() const { return width() * Screen::TwipsPerPixelX(); }
int Form::Height() const { return height() * Screen::TwipsPerPixelY(); }
int Form::ScaleWidth() const { return clientArea()->width() * Screen::TwipsPerPixelX(); }
int Form::ScaleHeight() const { return clientArea()->height() * Screen::TwipsPerPixelY(); }

void Form::Move(int left, int top, int width, int height)
{
    const int tx = Screen::TwipsPerPixelX(), ty = Screen::TwipsPerPixelY();
    const int w = width < 0 ? this->width() : qRound(double(width) / tx);
    const int h = height < 0 ? this->height() : qRound(double(height) / ty);
    setGeometry(qRound(double(left) / tx), qRound(double(top) / ty), w, h);
}

void Form::closeEvent(QCloseEvent *event)
{
    if (m_unloading || !m_loaded || Unload(vb::vbFormControlMenu))
        event->accept();
    else
        event->ignore();
}

void Form::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_activateLater) {
        activate();
        return;
    }
    m_activateLater = false;
    m_activationQueued = true;
    QMetaObject::invokeMethod(this, [self = QPointer<Form>(this)] {
        if (!self)
            return;
        self->m_activationQueued = false;
        if (self->isVisible())
            self->activate();
    }, Qt::QueuedConnection);
}

void Form::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (g_activeForm == this)
        g_activeForm = nullptr;
    if (m_modal) {
        m_modal = false;
        emit hidden();
    }
}

void Form::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_loaded)
        Form_Resize();
}

bool Form::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_loaded)
        activate();
    return QWidget::event(event);
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    // A key event not taken by its receiver travels on to the parents, passing this filter
    // again; only its first receiver counts. Another event ends that way (a later key may reuse
    // the address), unless it came while a key was handled here: handlers yield.
    static const QEvent *lastKey = nullptr;
    static QPointer<QWidget> lastReceiver;
    static int handling = 0;
    if (event->type() != QEvent::KeyPress) {
        if (handling == 0)
            lastKey = nullptr;
        return false;
    }
    auto *w = qobject_cast<QWidget *>(watched);
    if (!w || w->window() != this || !m_loaded)
        return false;
    if (event == lastKey && lastReceiver && w->isAncestorOf(lastReceiver))
        return false;
    const QPointer<QWidget> receiver = w;
    ++handling;
    lastKey = event;
    lastReceiver = receiver;
    const bool taken = handleKey(w, static_cast<QKeyEvent *>(event));
    --handling;
    // Keys handled meanwhile do not count as this one's first receiver.
    lastKey = event;
    lastReceiver = receiver;
    return taken;
}

bool Form::handleKey(QWidget *target, QKeyEvent *key)
{
    QPointer<Form> self(this);
    bool consumed = false;
    if (m_keyPreview) {
        int keyCode = vbKeyCode(key->key());
        if (keyCode != 0) {
            Form_KeyDown(keyCode, vbShiftState(key->modifiers()));
            if (!self)
                return true;
            // A zeroed key code swallows the key; characters still reach the key-press stage.
            if (keyCode == 0 && key->text().isEmpty())
                consumed = true;
        }
        if (!key->text().isEmpty()) {
            int keyAscii = key->text().at(0).unicode();
            Form_KeyPress(keyAscii);
            if (!self)
                return true;
            if (keyAscii == 0)
                return true;
        }
    }
    if (consumed)
        return true;

    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool escape = key->key() == Qt::Key_Escape;
    if (enter || escape) {
        if (enter) {
            if (auto *focusedButton = qobject_cast<QAbstractButton *>(target);
                focusedButton && !qobject_cast<QCheckBox *>(target)
                && !qobject_cast<QRadioButton *>(target)) {
                focusedButton->click();
                return true;
            }
        }
        // Escape never stops a road running in the form: that is its Abort's work.
        QAbstractButton *button = enter ? m_default.data() : roadRunning() ? nullptr : m_cancel.data();
        if (button && button->isEnabled() && button->isVisibleTo(this)
            && (!isVisible() || button->isVisible())) {
            button->click();
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Ending the program on request

namespace {
bool g_quitRequested = false;
std::function<void()> g_closeProgram;
QPointer<QTimer> g_quitTimer;
}

bool quitRequested() { return g_quitRequested; }

// One pass, the innermost window first; the program is closed once nothing is left to wait for.
void sweepForQuit()
{
    // A step may yield (a window's unload handler pumps events): the timer's next pass waits
    // for this one, or it would unload the same window again in the middle of its unload.
    static bool sweeping = false;
    if (sweeping)
        return;
    const QScopedValueRollback<bool> once(sweeping, true);
    bool clear = true;
    const QList<Form *> loaded = Forms();
    for (auto it = loaded.crbegin(); it != loaded.crend(); ++it) {
        QPointer<Form> f(*it);
        if (!f || !Forms().contains(f))
            continue;
        if (f->roadRunning()) {
            f->abortRoads(); // and wait for it; the windows around it stay
            return;
        }
        if (!f->m_modal)
            continue;
        clear = false;
        if (f->m_activationQueued)
            return;
        QAbstractButton *cancel = f->cancelButton();
        if (cancel && cancel->isEnabled())
            cancel->click();
        else if (!f->Unload(vb::vbAppWindows) && f)
            f->Hide();
        return; // the window's own loop ends first; the next pass looks again
    }
    if (QWidget *modal = QApplication::activeModalWidget(); modal && !qobject_cast<Form *>(modal)) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        return;
    }
    if (!clear)
        return;
    // The close runs while the request is on, so that nothing it shows waits for an answer; the
    // request ends with it, and a later request starts again.
    if (g_quitTimer) {
        g_quitTimer->stop();
        g_quitTimer->deleteLater();
    }
    sweeping = false; // what the close shows is answered by the passes of a later request
    if (auto close = std::exchange(g_closeProgram, nullptr))
        close();
    g_quitRequested = false;
}

void requestQuit(std::function<void()> closeProgram)
{
    g_closeProgram = std::move(closeProgram);
    if (g_quitRequested)
        return;
    g_quitRequested = true;
    answerOpenMessageBoxesForQuit();
    auto *timer = new QTimer(QCoreApplication::instance());
    g_quitTimer = timer;
    QObject::connect(timer, &QTimer::timeout, timer, [] { sweepForQuit(); });
    timer->start(100);
    QTimer::singleShot(0, timer, [] { sweepForQuit(); });
}

// ---------------------------------------------------------------------------------------------
// FormScript

FormScript::FormScript() : m_previous(g_formScript) { g_formScript = this; }
FormScript::~FormScript() { g_formScript = m_previous; }
FormScript *FormScript::current() { return g_formScript; }

void FormScript::onShow(const QString &formName, Action action)
{
    m_actions.append({formName, std::move(action)});
}

void FormScript::showModal(Form &form, QWidget *owner)
{
    m_calls.append({form.objectName(), owner ? owner->window()->objectName() : QString()});
    QPointer<Form> f(&form);
    form.m_modal = true;
    form.activate();
    if (f && f->m_loaded && f->m_modal) {
        for (int i = 0; i < m_actions.size(); ++i) {
            if (m_actions[i].first.isEmpty() || m_actions[i].first == form.objectName()) {
                Action action = m_actions.takeAt(i).second;
                action(form);
                break;
            }
        }
    }
    if (f && f->m_loaded && f->m_modal)
        f->Hide();
    if (f) {
        f->m_modal = false;
        if (g_activeForm == f)
            g_activeForm = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// ComboBox

ComboBox::ComboBox(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_quiet)
            emit Click();
    });
}

void ComboBox::addItem(const QString &text)
{
    const int before = currentIndex();
    m_quiet = true;
    QComboBox::addItem(text);
    if (before == -1 && currentIndex() != -1)
        setCurrentIndex(-1);
    m_quiet = false;
}

void ComboBox::clear()
{
    m_quiet = true;
    QComboBox::clear();
    m_quiet = false;
}

void ComboBox::setListIndex(int index)
{
    if (index < -1 || index >= count())
        invalidValue();
    setCurrentIndex(index);
}

int ComboBox::listItemData(int index) const
{
    if (index < 0 || index >= count())
        throw VbError(381, QStringLiteral("Invalid property array index"));
    return itemData(index, Qt::UserRole).toInt();
}

void ComboBox::setListItemData(int index, int value)
{
    if (index < 0 || index >= count())
        throw VbError(381, QStringLiteral("Invalid property array index"));
    setItemData(index, value, Qt::UserRole);
}

// ---------------------------------------------------------------------------------------------
// Screen

namespace Screen {
static int twipsPer(double dpi) { return dpi > 0 ? qRound(1440.0 / dpi) : 15; }

int TwipsPerPixelX()
{
    QScreen *s = QGuiApplication::primaryScreen();
    return s ? twipsPer(s->logicalDotsPerInchX()) : 15;
}

int TwipsPerPixelY()
{
    QScreen *s = QGuiApplication::primaryScreen();
    return s ? twipsPer(s->logicalDotsPerInchY()) : 15;
}

static QSize pixels()
{
    if (!g_screenOverride.isEmpty())
        return g_screenOverride;
    QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(1024, 768);
}

int Width() { return pixels().width() * TwipsPerPixelX(); }
int Height() { return pixels().height() * TwipsPerPixelY(); }
void setSizeOverride(const QSize &px) { g_screenOverride = px; }
}

// ---------------------------------------------------------------------------------------------
// Control properties

namespace ctl {

QString typeName(const QObject *c)
{
    const QVariant own = c->property("vbType");
    if (own.isValid())
        return own.toString();
    if (qobject_cast<const QAction *>(c) || qobject_cast<const QMenu *>(c))
        return QStringLiteral("Menu");
    if (qobject_cast<const QToolBar *>(c))
        return QStringLiteral("Toolbar");
    if (qobject_cast<const QLabel *>(c))
        return QStringLiteral("Label");
    if (qobject_cast<const QLineEdit *>(c))
        return QStringLiteral("TextBox");
    if (qobject_cast<const QComboBox *>(c))
        return QStringLiteral("ComboBox");
    if (qobject_cast<const QCheckBox *>(c))
        return QStringLiteral("CheckBox");
    if (qobject_cast<const QRadioButton *>(c))
        return QStringLiteral("OptionButton");
    if (qobject_cast<const QAbstractButton *>(c))
        return QStringLiteral("CommandButton");
    if (qobject_cast<const QGroupBox *>(c))
        return QStringLiteral("Frame");
    if (qobject_cast<const QTimer *>(c))
        return QStringLiteral("Timer");
    if (auto *bar = qobject_cast<const QScrollBar *>(c))
        return bar->orientation() == Qt::Vertical ? QStringLiteral("VScrollBar")
                                                  : QStringLiteral("HScrollBar");
    if (qobject_cast<const Form *>(c))
        return QStringLiteral("Form");
    return QString::fromLatin1(c->metaObject()->className());
}

static const QWidget *widgetOf(const QObject *c)
{
    auto *w = qobject_cast<const QWidget *>(c);
    if (!w || qobject_cast<const QMenu *>(c))
        noSuchProperty();
    return w;
}

static QWidget *widgetOf(QObject *c)
{
    return const_cast<QWidget *>(widgetOf(static_cast<const QObject *>(c)));
}

int left(const QObject *c) { return widgetOf(c)->x() * Screen::TwipsPerPixelX(); }
int top(const QObject *c) { return widgetOf(c)->y() * Screen::TwipsPerPixelY(); }
int width(const QObject *c) { return widgetOf(c)->width() * Screen::TwipsPerPixelX(); }
int height(const QObject *c) { return widgetOf(c)->height() * Screen::TwipsPerPixelY(); }

void setLeft(QObject *c, double twips)
{
    QWidget *w = widgetOf(c);
    w->move(qRound(twips / Screen::TwipsPerPixelX()), w->y());
}

void setTop(QObject *c, double twips)
{
    QWidget *w = widgetOf(c);
    w->move(w->x(), qRound(twips / Screen::TwipsPerPixelY()));
}

void setWidth(QObject *c, double twips)
{
    QWidget *w = widgetOf(c);
    w->resize(qMax(0, qRound(twips / Screen::TwipsPerPixelX())), w->height());
}

void setHeight(QObject *c, double twips)
{
    QWidget *w = widgetOf(c);
    w->resize(w->width(), qMax(0, qRound(twips / Screen::TwipsPerPixelY())));
}

QString caption(const QObject *c)
{
    if (auto *l = qobject_cast<const QLabel *>(c))
        return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(c))
        return b->text();
    if (auto *g = qobject_cast<const QGroupBox *>(c))
        return g->title();
    if (auto *a = qobject_cast<const QAction *>(c))
        return a->text();
    if (auto *m = qobject_cast<const QMenu *>(c))
        return m->title();
    if (auto *f = qobject_cast<const Form *>(c))
        return f->windowTitle();
    if (const QVariant own = c->property("Caption"); own.isValid())
        return own.toString();
    noSuchProperty();
}

void setCaption(QObject *c, const QString &text)
{
    if (auto *l = qobject_cast<QLabel *>(c))
        l->setText(text);
    else if (auto *b = qobject_cast<QAbstractButton *>(c))
        b->setText(text);
    else if (auto *g = qobject_cast<QGroupBox *>(c))
        g->setTitle(text);
    else if (auto *a = qobject_cast<QAction *>(c))
        a->setText(text);
    else if (auto *m = qobject_cast<QMenu *>(c))
        m->setTitle(text);
    else if (auto *f = qobject_cast<Form *>(c))
        f->setWindowTitle(text);
    else if (c->property("Caption").isValid())
        c->setProperty("Caption", text);
    else
        noSuchProperty();
}

QString text(const QObject *c)
{
    if (auto *e = qobject_cast<const QLineEdit *>(c))
        return e->text();
    if (auto *cb = qobject_cast<const QComboBox *>(c))
        return cb->currentText();
    noSuchProperty();
}

void setText(QObject *c, const QString &value)
{
    if (auto *e = qobject_cast<QLineEdit *>(c))
        e->setText(value);
    else if (auto *cb = qobject_cast<QComboBox *>(c); cb && cb->isEditable())
        cb->setEditText(value);
    else
        noSuchProperty();
}

QString toolTipText(const QObject *c)
{
    if (auto *a = qobject_cast<const QAction *>(c))
        return a->toolTip();
    if (auto *w = qobject_cast<const QWidget *>(c); w && !qobject_cast<const Form *>(c))
        return w->toolTip();
    noSuchProperty();
}

void setToolTipText(QObject *c, const QString &value)
{
    if (auto *a = qobject_cast<QAction *>(c))
        a->setToolTip(value);
    else if (auto *w = qobject_cast<QWidget *>(c); w && !qobject_cast<Form *>(c))
        w->setToolTip(value);
    else
        noSuchProperty();
}

QFont font(const QObject *c)
{
    if (auto *w = qobject_cast<const QWidget *>(c))
        return w->font();
    noSuchProperty();
}

void setFont(QObject *c, const QFont &f)
{
    if (auto *w = qobject_cast<QWidget *>(c))
        w->setFont(f);
    else
        noSuchProperty();
}

QColor foreColor(const QObject *c)
{
    const QWidget *w = widgetOf(c);
    return w->palette().color(w->foregroundRole());
}

void setForeColor(QObject *c, const QColor &color)
{
    QWidget *w = widgetOf(c);
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    p.setColor(QPalette::ButtonText, color);
    w->setPalette(p);
}

int tabIndex(const QObject *c)
{
    const QWidget *w = widgetOf(c);
    auto *form = qobject_cast<const Form *>(w->window());
    if (!form || form == w)
        noSuchProperty();
    const int index = form->tabIndex(const_cast<QWidget *>(w));
    if (index < 0)
        noSuchProperty();
    return index;
}

}
