#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <utility>

#include "platform/forms/forms.h"
#include "support/checks.h"

namespace {

// A small form recording its events.
class Probe : public Form {
public:
    explicit Probe(const QString &name = QStringLiteral("frmProbe")) : Form(name)
    {
        text = addControl(new QLineEdit(this), QStringLiteral("txtField"));
        ok = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("btnOK"));
        other = addControl(new QPushButton(QStringLiteral("Other"), this), QStringLiteral("btnOther"));
        cancelBtn = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("btnCancel"));
        text->setGeometry(0, 0, 100, 20);
        ok->setGeometry(0, 30, 60, 20);
        other->setGeometry(70, 30, 60, 20);
        cancelBtn->setGeometry(140, 30, 60, 20);
        QObject::connect(ok, &QPushButton::clicked, [this] { ++okClicks; });
        QObject::connect(other, &QPushButton::clicked, [this] { ++otherClicks; });
        QObject::connect(cancelBtn, &QPushButton::clicked, [this] { ++cancelClicks; });
        QObject::connect(text, &QLineEdit::returnPressed, [this] { ++returnPresses; });
    }
    void Form_Load() override { ++loads; }
    void Form_Activate() override { ++activations; }
    void Form_QueryUnload(int &cancel, int mode) override
    {
        queryModes.append(mode);
        cancel = refuseQuery;
    }
    void Form_Unload(int &cancel) override
    {
        ++unloads;
        cancel = refuseUnload;
    }
    void Form_KeyDown(int &keyCode, int shift) override
    {
        keys.append({keyCode, shift});
        if (onKey)
            std::exchange(onKey, nullptr)();
        if (swallowKeys)
            keyCode = 0;
    }

    QLineEdit *text;
    QPushButton *ok, *other, *cancelBtn;
    int loads = 0, activations = 0, unloads = 0;
    int okClicks = 0, otherClicks = 0, cancelClicks = 0, returnPresses = 0;
    int refuseQuery = 0, refuseUnload = 0;
    bool swallowKeys = false;
    std::function<void()> onKey; // once, inside the next key's preview
    QList<int> queryModes;
    QList<QPair<int, int>> keys;
};

int g_defaultLoads = 0;
class DefaultProbe : public Form {
public:
    DefaultProbe() : Form(QStringLiteral("frmDefaultProbe")) {}
    void Form_Load() override
    {
        ++g_defaultLoads;
        // The instance being loaded is the default instance already.
        sameDuringLoad = &defaultInstance<DefaultProbe>() == this;
    }
    bool sameDuringLoad = false;
};

} // namespace

// A form loads once, in load order. Unloaded by code or closed by its frame, QueryUnload is asked
// with the way, and it or Unload refusing keeps the form (Unload does not run after a refused
// QueryUnload).
TEST(FormLifeCycle, LoadOnceUnloadEitherWayAndCancellable)
{
    Probe a(QStringLiteral("frmA")), b(QStringLiteral("frmB"));
    b.Load();
    a.Load();
    a.Load();
    EXPECT_EQ(a.loads, 1);
    ASSERT_GE(Forms().size(), 2);
    EXPECT_LT(Forms().indexOf(&b), Forms().indexOf(&a)); // load order, not creation order
    b.Unload();
    for (const int mode : {int(vb::vbFormCode), int(vb::vbFormControlMenu)}) {
        SCOPED_TRACE(mode);
        Probe p;
        p.Show();
        EXPECT_EQ(p.activations, 1);
        const auto out = [&] { return mode == vb::vbFormCode ? p.Unload() : (p.close(), !p.isLoaded()); };
        p.refuseQuery = 1;
        EXPECT_FALSE(out());
        EXPECT_EQ(p.unloads, 0);
        p.refuseQuery = 0;
        p.refuseUnload = 1;
        EXPECT_FALSE(out());
        EXPECT_TRUE(p.isLoaded() && p.isVisible());
        p.refuseUnload = 0;
        EXPECT_TRUE(out());
        EXPECT_FALSE(p.isLoaded() || p.isVisible() || Forms().contains(&p));
        EXPECT_EQ(p.queryModes, QList<int>(3, mode));
    }
    a.Unload();
}

TEST(FormLifeCycle, DefaultInstanceIsRecreatedAfterUnload)
{
    g_defaultLoads = 0;
    EXPECT_EQ(loadedInstance<DefaultProbe>(), nullptr);
    EXPECT_EQ(g_defaultLoads, 0) << "looking for a loaded form never loads one";
    DefaultProbe &first = defaultInstance<DefaultProbe>();
    EXPECT_EQ(loadedInstance<DefaultProbe>(), &first);
    EXPECT_EQ(g_defaultLoads, 1);
    EXPECT_TRUE(first.sameDuringLoad);
    EXPECT_EQ(&defaultInstance<DefaultProbe>(), &first);
    EXPECT_EQ(g_defaultLoads, 1);

    QPointer<DefaultProbe> old(&first);
    ASSERT_TRUE(first.Unload());
    EXPECT_EQ(loadedInstance<DefaultProbe>(), nullptr);
    DefaultProbe &second = defaultInstance<DefaultProbe>();
    EXPECT_EQ(g_defaultLoads, 2);
    EXPECT_TRUE(second.isLoaded());
    EXPECT_TRUE(Forms().contains(&second));
    // The unloaded instance goes away once the event loop runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    second.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

namespace {
// A default-instance form whose road yields; the test closes it from its frame meanwhile.
class RoadProbe : public Form {
public:
    RoadProbe() : Form(QStringLiteral("frmRoadProbe")) {}
    // Yields until asked to stop (by an abort) or the count runs out; reads the form at every
    // step, as a road reads its labels. -1 when the road already runs.
    int run(int steps)
    {
        Road::Run running(road);
        if (!running)
            return -1;
        int done = 0;
        for (; done < steps && !road.aborted(); ++done) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            setWindowTitle(QString::number(done));
        }
        return done;
    }
    int aborts = 0;
    Road road{*this, [this] { ++aborts; }};
};
}

TEST(Road, FrameCloseWhileTheRoadRunsBecomesItsAbortAndCodeUnloadWaitsForTheEnd)
{
    RoadProbe &form = defaultInstance<RoadProbe>();
    QPointer<RoadProbe> guard(&form);
    form.Show();
    QTimer::singleShot(0, &form, [&form] { form.close(); });
    EXPECT_EQ(form.run(50), 1) << "the close became the road's abort at its first yield";
    EXPECT_EQ(form.aborts, 1);
    EXPECT_TRUE(form.isLoaded());
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.roadRunning());
    // With the road over, the frame closes the form as always.
    form.close();
    EXPECT_FALSE(form.isLoaded());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());

    // Unloaded by code in the middle of its road: gone from Forms() at once, alive until the
    // road ends, then deleted.
    RoadProbe &second = defaultInstance<RoadProbe>();
    QPointer<RoadProbe> alive(&second);
    second.Show();
    QTimer::singleShot(0, &second, [&second] { EXPECT_TRUE(second.Unload(vb::vbFormCode)); });
    EXPECT_EQ(second.run(5), 5);
    ASSERT_FALSE(alive.isNull());
    EXPECT_FALSE(second.isLoaded());
    EXPECT_FALSE(Forms().contains(&second));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());

    // An unload that waits for the road: the road is asked to abort, the form stays loaded while
    // it ends, and is unloaded (QueryUnload and all) once it has ended.
    RoadProbe &third = defaultInstance<RoadProbe>();
    QPointer<RoadProbe> waiting(&third);
    third.Show();
    QTimer::singleShot(0, &third, [&third] { third.unloadAfterRoads(vb::vbFormCode); });
    EXPECT_EQ(third.run(50), 1);
    EXPECT_EQ(third.aborts, 1);
    EXPECT_TRUE(third.isLoaded()) << "unloaded before its road ended";
    QTRY_VERIFY(!waiting || !waiting->isLoaded());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(waiting.isNull());
}

TEST(Road, ASecondStartIsRefusedAndTheEndUnwindsWhatTheRunDidNotFinish)
{
    RoadProbe &form = defaultInstance<RoadProbe>();
    QTemporaryDir dir;
    const auto makeFile = [&](const QString &name) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return f.fileName();
    };
    QStringList undone;
    int nested = 0;
    {
        Road::Run run(form.road);
        ASSERT_TRUE(run);
        EXPECT_TRUE(form.roadRunning());
        nested = form.run(3); // started again from an event handled while it yields
        form.road.addUndo([&] { undone << "first"; });
        form.road.addUndo([&] { undone << "second"; });
        form.road.addFile(makeFile("work.tif"));
        form.road.abort();
        form.road.abort();
        EXPECT_TRUE(form.road.aborted());
    }
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(form.aborts, 1) << "the form's Abort runs once per run";
    EXPECT_EQ(undone, QStringList({"second", "first"}));
    EXPECT_FALSE(QFile::exists(dir.filePath("work.tif")));
    EXPECT_FALSE(form.roadRunning());
    EXPECT_FALSE(form.road.aborted());

    // A run that reached its end undoes nothing; its working files still go.
    undone.clear();
    {
        Road::Run run(form.road);
        form.road.addUndo([&] { undone << "rollback"; });
        form.road.addFile(makeFile("part.tif"));
        form.road.done();
    }
    EXPECT_TRUE(undone.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("part.tif")));
    form.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(FormKeys, EnterClicksTheDefaultButtonOnlyWhenEnabledAndVisible)
{
    Probe p;
    p.setDefaultButton(p.ok);
    p.setCancelButton(p.cancelBtn);
    p.Show();

    QTest::keyClick(p.text, Qt::Key_Return);
    EXPECT_EQ(p.okClicks, 1);
    EXPECT_EQ(p.returnPresses, 0);  // the default button took Enter

    p.ok->setEnabled(false);
    QTest::keyClick(p.text, Qt::Key_Return);
    EXPECT_EQ(p.okClicks, 1);
    EXPECT_EQ(p.returnPresses, 1);  // the text box sees Enter itself

    p.ok->setEnabled(true);
    p.ok->setVisible(false);
    QTest::keyClick(p.text, Qt::Key_Enter);
    EXPECT_EQ(p.okClicks, 1);
    p.ok->setVisible(true);

    // Enter on another button clicks that button, not the default one.
    QTest::keyClick(p.other, Qt::Key_Return);
    EXPECT_EQ(p.otherClicks, 1);
    EXPECT_EQ(p.okClicks, 1);

    QTest::keyClick(p.text, Qt::Key_Escape);
    EXPECT_EQ(p.cancelClicks, 1);
    p.Unload();
}

TEST(FormKeys, KeyPreviewSeesKeysFirstAndCanSwallowThem)
{
    Probe p;
    p.Show();
    QTest::keyClick(p.text, Qt::Key_PageDown);
    EXPECT_TRUE(p.keys.isEmpty());  // no preview: the form sees nothing

    p.setKeyPreview(true);
    QTest::keyClick(p.text, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(p.text, Qt::Key_F12);
    QTest::keyClick(p.text, Qt::Key_Comma);
    // The Ctrl key itself comes first, as its own key.
    ASSERT_EQ(p.keys.size(), 4);
    EXPECT_EQ(p.keys[0].first, int(vb::vbKeyControl));
    EXPECT_EQ(p.keys[1], qMakePair(int(vb::vbKeyZ), int(vb::vbCtrlMask)));
    EXPECT_EQ(p.keys[2].first, int(vb::vbKeyF12));
    EXPECT_EQ(p.keys[3], qMakePair(int(vb::vbKeyComma), 0));
    // The comma reached the text box: one key event, one form call.
    EXPECT_EQ(p.text->text(), ",");

    // A swallowed key code stops keys without text; typed characters still arrive.
    p.swallowKeys = true;
    p.text->setText("abc");
    p.text->setCursorPosition(3);
    QTest::keyClick(p.text, Qt::Key_Home);
    EXPECT_EQ(p.text->cursorPosition(), 3);
    QTest::keyClick(p.text, Qt::Key_D);
    EXPECT_EQ(p.text->text(), "abcd");

    // A key the button leaves travels on to its parents; a preview that yields meanwhile, even
    // to another key, still sees it once.
    p.swallowKeys = false;
    p.keys.clear();
    p.onKey = [&p] {
        QCoreApplication::postEvent(p.text, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QTest::keyClick(p.other, Qt::Key_F11);
    };
    QTest::keyClick(p.ok, Qt::Key_Greater);
    EXPECT_EQ(p.keys, (QList<QPair<int, int>>{{vb::vbKeyPeriod, 0}, {vb::vbKeyF11, 0}}));
    p.Unload();
}

TEST(FormTabOrder, SettingAnIndexMovesTheControlAndShiftsTheOthers)
{
    Probe p;
    // Creation order: txtField 0, btnOK 1, btnOther 2, btnCancel 3.
    EXPECT_EQ(p.tabIndex(p.cancelBtn), 3);
    p.setTabIndex(p.cancelBtn, 1);
    EXPECT_EQ(p.tabOrder(), (QList<QWidget *>{p.text, p.cancelBtn, p.ok, p.other}));
    p.setTabIndex(p.text, 99);  // beyond the end: last
    EXPECT_EQ(p.tabOrder(), (QList<QWidget *>{p.cancelBtn, p.ok, p.other, p.text}));
    EXPECT_EQ(ctl::tabIndex(p.text), 3);
    // The keyboard order follows (wrapping round from the last to the first).
    auto nextTabStop = [](QWidget *w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    EXPECT_EQ(nextTabStop(p.cancelBtn), p.ok);
    EXPECT_EQ(nextTabStop(p.ok), p.other);
    EXPECT_EQ(nextTabStop(p.other), p.text);
    EXPECT_EQ(nextTabStop(p.text), p.cancelBtn);

    EXPECT_EQ(errorOf([&] { p.setTabIndex(p.ok, -1); }), 380) << "a negative tab index is refused";
}

TEST(FormModalSeam, ScriptRunsActivateThenItsActionAndRecordsTheOwner)
{
    Probe owner(QStringLiteral("frmOwner"));
    Probe dialog(QStringLiteral("frmDialog"));
    FormScript script;
    script.onShow(QStringLiteral("frmDialog"), [](Form &f) {
        auto &d = static_cast<Probe &>(f);
        EXPECT_EQ(d.activations, 1);  // activation came first
        d.text->setText("typed");
        d.ok->click();
    });
    dialog.Show(vb::vbModal, &owner);
    ASSERT_EQ(script.calls().size(), 1);
    EXPECT_EQ(script.calls()[0].form, "frmDialog");
    EXPECT_EQ(script.calls()[0].owner, "frmOwner");
    EXPECT_EQ(dialog.okClicks, 1);
    EXPECT_EQ(dialog.text->text(), "typed");
    EXPECT_TRUE(dialog.isLoaded());
    EXPECT_FALSE(dialog.isShownModal());  // the modal showing has ended

    // An action that unloads the form ends the showing too; no action: only Activate runs.
    script.onShow(QString(), [](Form &f) { f.Unload(); });
    dialog.Show(vb::vbModal);
    EXPECT_FALSE(dialog.isLoaded());
    dialog.Show(vb::vbModal);
    EXPECT_TRUE(dialog.isLoaded());
    EXPECT_EQ(dialog.loads, 2);
    EXPECT_EQ(script.calls().size(), 3);
    dialog.Unload();
}

TEST(FormModalSeam, RealModalShowReturnsWhenTheFormHides)
{
    Probe dialog(QStringLiteral("frmReal"));
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.Hide(); });
    dialog.Show(vb::vbModal);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.isLoaded());
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.Unload(); });
    dialog.Show(vb::vbModal);
    EXPECT_FALSE(dialog.isLoaded());
}

namespace {
// A modal window whose unload handler pumps events for a while, as the redaction editor's does.
class SlowUnload : public Form {
public:
    SlowUnload() : Form(QStringLiteral("frmSlowUnload")) {}
    void Form_QueryUnload(int &, int) override
    {
        ++entered;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 400)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    int entered = 0;
};
}

// The quit's passes run every 100 ms: one that comes while a window's unload yields must not
// unload it again in the middle (the editor's pages were freed under its own unload).
TEST(FormModalSeam, AQuitUnloadsAWindowWhoseUnloadYieldsOnce)
{
    SlowUnload dialog;
    bool closed = false;
    QTimer::singleShot(0, &dialog, [&closed] { requestQuit([&closed] { closed = true; }); });
    dialog.Show(vb::vbModal);
    EXPECT_FALSE(dialog.isLoaded());
    EXPECT_EQ(dialog.entered, 1);
    QTRY_VERIFY(closed);
    EXPECT_FALSE(quitRequested());
}

// A form whose activation does its whole job and unloads (progress and store windows).
class SelfUnloading : public Form {
public:
    SelfUnloading() : Form(QStringLiteral("frmSelfUnloading")) {}
    void Form_Activate() override
    {
        ++runs;
        windowUp = windowHandle() && windowHandle()->isVisible();
        Unload();
    }
    int runs = 0;
    bool windowUp = false;
};

// Unloading half-way through the window being shown left the other windows refusing input.
TEST(FormModalSeam, AModalFormActivatesOnceItsWindowIsUpAndMayUnloadThere)
{
    QWidget other;
    auto *button = new QPushButton(QStringLiteral("Go"), &other);
    button->resize(80, 30);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));

    QPointer<SelfUnloading> job = &defaultInstance<SelfUnloading>();
    job->Show(vb::vbModal, &other);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->runs, 1);
    EXPECT_TRUE(job->windowUp);
    EXPECT_FALSE(job->isLoaded());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST(FormComboBox, StartsEmptyAndRaisesClickOnlyForSelectionChanges)
{
    ComboBox combo;
    QSignalSpy clicks(&combo, &ComboBox::Click);
    EXPECT_EQ(combo.listIndex(), -1);
    combo.addItem("Scanner");
    combo.addItem("e-File");
    EXPECT_EQ(combo.listIndex(), -1);
    EXPECT_EQ(clicks.count(), 0);

    combo.setListIndex(1);
    EXPECT_EQ(clicks.count(), 1);
    combo.setListIndex(1);
    EXPECT_EQ(clicks.count(), 1);
    combo.addItem("third");  // adding keeps the selection and stays quiet
    EXPECT_EQ(combo.listIndex(), 1);
    EXPECT_EQ(clicks.count(), 1);

    combo.setListItemData(0, 7);
    combo.setListItemData(2, -3);
    EXPECT_EQ(combo.listItemData(0), 7);
    EXPECT_EQ(combo.listItemData(2), -3);
    EXPECT_EQ(combo.listItemData(1), 0);

    combo.clear();
    EXPECT_EQ(combo.listIndex(), -1);
    EXPECT_EQ(combo.listCount(), 0);
    EXPECT_EQ(clicks.count(), 1);

    EXPECT_EQ(errorOf([&] { combo.setListIndex(0); }), 380);
    EXPECT_EQ(errorOf([&] { combo.listItemData(0); }), 381);
}

TEST(FormGeometry, TwipsFollowTheScreenScale)
{
    const int tx = Screen::TwipsPerPixelX();
    ASSERT_GT(tx, 0);
    Screen::setSizeOverride(QSize(1280, 1024));
    EXPECT_EQ(Screen::Width(), 1280 * tx);
    EXPECT_EQ(Screen::Height(), 1024 * Screen::TwipsPerPixelY());
    Screen::setSizeOverride(QSize());

    Probe p;
    p.Move(30 * tx, 60 * Screen::TwipsPerPixelY(), 200 * tx, 100 * Screen::TwipsPerPixelY());
    EXPECT_EQ(p.Left(), 30 * tx);
    EXPECT_EQ(p.Width(), 200 * tx);
    EXPECT_EQ(p.geometry().height(), 100);
    ctl::setWidth(p.text, 50 * tx);
    EXPECT_EQ(p.text->width(), 50);
    EXPECT_EQ(ctl::width(p.text), 50 * tx);
}

TEST(FormControls, PropertiesByDesignNameAndMissingOnesRaise438)
{
    Probe p;
    auto *label = p.addControl(new QLabel("Book:", &p), "lblBook");
    auto *timer = p.addControl(new QTimer(&p), "timTick");
    auto *combo = p.addControl(new ComboBox(&p), "cboKind");
    EXPECT_EQ(p.control("LBLBOOK"), label);
    EXPECT_EQ(label->objectName(), "lblBook");
    EXPECT_EQ(p.controls().indexOf(timer), p.controls().size() - 2);

    EXPECT_EQ(ctl::typeName(label), "Label");
    EXPECT_EQ(ctl::typeName(p.text), "TextBox");
    EXPECT_EQ(ctl::typeName(p.ok), "CommandButton");
    EXPECT_EQ(ctl::typeName(timer), "Timer");
    EXPECT_EQ(ctl::typeName(combo), "ComboBox");
    label->setProperty("vbType", "PictureBox");
    EXPECT_EQ(ctl::typeName(label), "PictureBox");

    ctl::setCaption(p.ok, "Go");
    EXPECT_EQ(p.ok->text(), "Go");
    EXPECT_EQ(errorOf([&] { ctl::width(timer); }), 438);
    EXPECT_EQ(errorOf([&] { ctl::caption(combo); }), 438);
    EXPECT_EQ(errorOf([&] { ctl::text(label); }), 438);
    EXPECT_EQ(errorOf([&] { ctl::toolTipText(timer); }), 438);

    p.removeControl("lblBook");
    EXPECT_EQ(p.control("lblBook"), nullptr);
}
