#include "capture/frmStore.h"

#include <QEvent>

#include "capture/store.h"
#include "core/state.h"
#include "platform/vb/vb.h"

FrmStore &frmStore() { return defaultInstance<FrmStore>(); }

FrmStore::FrmStore() : Form(QStringLiteral("frmStore"))
{
    Label1 = addControl(new QLabel(QStringLiteral("Please wait while this document is stored."), this),
                        QStringLiteral("Label1"));
    Label1->setGeometry(16, 16, 300, 24);
    Timer1 = addControl(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &FrmStore::Timer1_Timer);
    Timer1->start();
    resize(332, 56);
}

bool FrmStore::event(QEvent *event)
{
    const bool handled = Form::event(event);
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::WindowActivate)
        Form_GotFocus();
    return handled;
}

void FrmStore::Form_Activate() { Form_GotFocus(); }

void FrmStore::Form_GotFocus()
{
    // A focus that comes back while the store runs (a message box of the store closed) or
    // after it ran must not start it again.
    if (m_done)
        return;
    {
        Road::Run run(m_road);
        if (!run)
            return;
        g_blnStoreReturnValue = do_store(true);
    }
    m_done = true;
    Unload();
}

void FrmStore::Timer1_Timer() { DoEvents(); }
