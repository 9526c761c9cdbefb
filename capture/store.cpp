#include "capture/store.h"

#include "batch/frmBarcodeScan.h"
#include "capture/efilestore.h"
#include "capture/frmStore.h"
#include "capture/paperstore.h"
#include "core/errors.h"
#include "core/recovery.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "ui/frmMain.h"

QVariant do_save()
{
    Trap trap;
    try {
        trap(1);
        if (g_dbMode == MODE_NYBR) {
            const int answer = MsgBox(
                QStringLiteral("Be sure all Blank Pages are removed, and all pages are in the correct orientation.  "
                               "They cannot be changed after this point.  Do you wish to continue to store these "
                               "documents?"),
                vb::vbYesNo, QStringLiteral("Wait..."), vb::vbNo);
            if (answer == vb::vbYes)
                frmBarcodeScan().Show(vb::vbModal, &frmMain());
            return {};
        }
        trap(2);
        if (g_blnIsBatch)
            return do_store(true);
        trap(3);
        g_blnStoreReturnValue = false;
        frmStore().Show(vb::vbModal, &frmMain());
        const bool stored = g_blnStoreReturnValue;
        // The next document kept when the program was ended comes back in its turn.
        if (stored)
            restoreRecoveryDocument();
        return stored;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_save"), trap);
        return {};
    }
}

bool do_store(bool advance)
{
    Trap trap;
    try {
        trap(1);
        if (gdtCurrentDocType == 0)
            return do_store_manual(advance);
        trap(2);
        return do_store_electronic(advance);
    } catch (...) {
        reportCurrentError(QStringLiteral("do_store"), trap);
        return false;
    }
}
