#include "ui/frmShutdown.h"

#include "core/errors.h"

#include "core/shutdown.h"

FrmShutdown &frmShutdown() { return defaultInstance<FrmShutdown>(); }

FrmShutdown::FrmShutdown() : Form(QStringLiteral("frmShutdown"))
{
    setCaption(APP_TITLE);
    lblMessage = addControl(new QLabel(QStringLiteral("Closing..."), this), QStringLiteral("lblMessage"));
    lblMessage->setGeometry(20, 20, 260, 24);
    resize(300, 64);
}

void FrmShutdown::Form_Activate()
{
    Road::Run run(m_road);
    if (!run)
        return;
    repaint();
    try {
        endProgram();
    } catch (...) {
        reportCurrentError(QStringLiteral("endProgram"), Trap{});
    }
    // Every other window goes, in load order; the main window closes itself afterwards.
    const QList<Form *> loaded = Forms();
    for (Form *f : loaded)
        if (f != this && f->objectName() != QLatin1String("frmMain") && Forms().contains(f))
            f->Unload(vb::vbFormCode);
    Unload(vb::vbFormCode);
}
