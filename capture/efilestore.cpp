#include "capture/efilestore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "annotate/annotfiles.h"
#include "annotate/security.h"
#include "capture/paperstore.h"
#include "capture/request.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "host/im650r.h"
#include "host/signon.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/system/system.h"
#include "ui/frmMain.h"

namespace {

// The hand-over: a refusal gives the host's burned image back and the pages with it. The host
// cannot be asked afterwards whether it took one whose answer was lost: that counts as done.
bool finishHandOver(StoreRollback &rollback)
{
    bool result = run_program(QStringLiteral("S"));
    if (!result && !lastLookupFound()) {
        if (!hostReplyLost()) {
            g_blnPromptStore = true; // the hand-over is still to be done
            return false;
        }
        reportAnswerLostCountedStored();
        result = true;
    }
    rollback.release();
    closeOpenRegistration();
    g_blnPromptStore = false;
    // Registered: a second Store would register it again.
    leaveAsStored();
    return result;
}

// The image is registered already: only the hand-over is left, with the registered image as the
// burned one.
bool handOver(const QString &registered)
{
    FrmMain &w = frmMain();
    StoreRollback rollback(*w.ezPageView, *w.ezTreeView);
    rollback.stageOver(registered, hostPathToLocal(hostPathText(gsBurnedImagePath)));
    rollback.swapStaged();
    return finishHandOver(rollback);
}

} // namespace

bool do_store_electronic(bool advance)
{
    (void)advance;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        if (!ensureLoggedIn())
            return false;
        trap(2);
        const HostSettings s = readHostSettings();
        AdoConnection conn;
        conn.open(hostConnectionString(s.dsn), s.uid, s.pwd, adOptionUnspecified);
        const QString folder = storeFolderPath(s.dsn);
        // The host asked how far a store of this document got (an earlier one may have reached it,
        // its answer lost, perhaps in an earlier session): only what is missing is done.
        const EFiledHolding holding = eFiledHolding(s);
        switch (holding.state) {
        case EFiledStore::Unknown:
            return false;
        case EFiledStore::HandedOver:
            reportAlreadyStored();
            closeOpenRegistration();
            leaveAsStored();
            return true;
        case EFiledStore::Registered:
            return handOver(holding.image);
        case EFiledStore::Open:
            break;
        }
        trap(3);
        const QString imageName = storeBaseName() + QStringLiteral(".T");
        const QString annotName = storeBaseName() + QStringLiteral(".A");
        FrmMain &w = frmMain();
        QelEzImage &tree = *w.ezTreeView;
        QelEzImage &view = *w.ezPageView;
        trap(4);
        const qint16 pageCount = qint16(tree.thumbnailCount());

        trap(5);
        for (const char *name : {"tempburn.tif", "temp4.tif", "temp8.tif", "byteAlign.tif", "temp5.tif"})
            DeleteTempFile(QString::fromLatin1(name));
        deleteParkedAnnotations(view.pageCount());
        trap(6);
        deleteOnShare(folder, imageName);
        deleteOnShare(folder, annotName);

        // From here on the views change; a store that does not succeed puts the document back.
        StoreRollback rollback(view, tree);

        trap(7);
        do_set_annotation_security(view);
        // Redactions leave as pixels only, burned once here; the editor's unburned copies go.
        burnRedactionItems(view);
        DeleteEditorCopies(view.imageFile());

        trap(8);
        const QString image = g_strTempPath + QStringLiteral("temp8.tif");
        const QString annots = g_strTempPath + QStringLiteral("temp2.tif");
        view.setSaveFileName(image);
        view.save();
        view.clearImage();
        DeleteFile(annots);
        view.setImageFile(image);
        view.setSaveFileName(annots);
        view.save();
        QCoreApplication::processEvents();
        refreshStoreWindow();

        trap(9);
        view.setPage(1);
        if (!runAnnotationMerge())
            return false;
        tree.clearImage();
        view.clearImage();

        trap(10);
        const auto missing = [](const QString &path) {
            if (QFileInfo::exists(path))
                return false;
            MsgBox(path + QStringLiteral(" not found."));
            return true;
        };
        if (missing(image))
            return false;
        const qint64 fileSize = QFileInfo(image).size();
        // Refused before anything goes to the share when the host's fields cannot carry it.
        if (!fitsTheHost(fileSize, pageCount))
            return false;
        if (g_intAnnotCount > 0) {
            if (missing(annots))
                return false;
            copyToShare(annots, hostPathToLocal(folder + annotName));
            rollback.placed(hostPathToLocal(folder + annotName));
        }
        refreshStoreWindow();
        copyToShare(image, hostPathToLocal(folder + imageName));
        rollback.placed(hostPathToLocal(folder + imageName));
        refreshStoreWindow();
        // The host's burned image is replaced only once the image is registered.
        const QString burned = hostPathToLocal(hostPathText(gsBurnedImagePath));
        rollback.stageOver(image, burned);
        refreshStoreWindow();

        trap(11);
        const SentImage sent = sentImage(image, imageName, pageCount);
        if (!IM650R(conn, QStringLiteral("S"), imageName, padZeros(qint32(fileSize), 9), padZeros(pageCount, 4))) {
            if (hostReplyLost()) {
                keepOpenRegistration(sent);
                g_blnPromptStore = true; // a store to finish: kept or asked about at the end
                reportUnknownOutcome();
            }
            return false;
        }
        // Registered: a hand-over that does not go through leaves only itself to do.
        keepOpenRegistration(sent);
        rollback.swapStaged();

        trap(12);
        result = finishHandOver(rollback);

        trap(13);
        deleteOnShare(folder, imageName);
        deleteOnShare(folder, annotName);
        return result;
    } catch (...) {
        reportRoadFailure(QStringLiteral("do_store_electronic"), trap);
        return false;
    }
}
