#include "batch/bookcheck.h"

#include "core/errors.h"
#include "core/state.h"
#include "host/rg632r.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/settings/settings.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

qint16 bookScanPageCheck()
{
    Trap trap;
    try {
        trap(1);
        const int scanned = frmMain().ezTreeView->pageCount();
        trap(2);
        const double expected = CDbl(g_NumPages);
        if (expected == scanned)
            return 1;
        const QString title = QStringLiteral("There's a problem");
        if (expected > scanned) {
            trap(3);
            MsgBox(QStringLiteral("The number of pages actually scanned is less than the number of pages "
                                  "expected for the book.  Pages may have stuck together in the book.  Fan "
                                  "the book and try again.  You may want to try scanning a portion of the "
                                  "book."),
                   vb::vbOKOnly, title);
            return 2;
        }
        trap(4);
        const int answer = MsgBox(
            QStringLiteral("The number of pages actually scanned is more than the number of pages expected "
                           "for the book.  Check the book for \u201Ca\u201D and \u201Cb\u201D pages and enter "
                           "them in the override maintenance and scan the book again."),
            vb::vbRetryCancel, title);
        if (answer != vb::vbRetry)
            return 2;
        trap(5);
        const QString dsn = GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"));
        const QString uid = GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"));
        const QString pwd = GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"));
        QLabel *status = frmMain().lblStatus;
        status->setText(QStringLiteral("Refreshing Document Data..."));
        status->repaint();
        trap(6);
        {
            AdoConnection conn;
            conn.open(QStringLiteral("provider=IBMDA400;data source=") + dsn + QStringLiteral(";"), uid, pwd);
            trap(7);
            // The scanned book must survive a refused refresh.
            const bool refreshed = RG632R(QStringLiteral("A"), conn, dsn, false);
            trap(8);
            // Said only when the host gave the data again; a refusal has shown its own message.
            status->setText(refreshed ? QStringLiteral("Document Data Refreshed!") : QString());
            status->repaint();
            conn.close();
        }
        trap(9);
        return bookScanPageCheck();
    } catch (...) {
        reportCurrentError(QStringLiteral("bookScanPageCheck"), trap);
    }
    return 0;
}
