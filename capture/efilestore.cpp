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
        // After a registration whose answer was lost: the host may have it already.
        const EarlierStore earlier = checkEarlierStore(conn);
        if (earlier == EarlierStore::Unanswered)
            return false;
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
        if (g_intAnnotCount > 0) {
            if (missing(annots))
                return false;
            copyToShare(annots, hostPathToLocal(folder + annotName));
            rollback.placed(hostPathToLocal(folder + annotName));
        }
        refreshStoreWindow();
        if (missing(image))
            return false;
        copyToShare(image, hostPathToLocal(folder + imageName));
        rollback.placed(hostPathToLocal(folder + imageName));
        qint64 fileSize = QFileInfo(image).size();
        refreshStoreWindow();
        if (missing(image))
            return false;
        // The host's burned image is replaced only once the image is registered.
        const QString burned = hostPathToLocal(hostPathText(gsBurnedImagePath));
        const QString staged = copyBeside(image, burned);
        rollback.placed(staged);
        fileSize = QFileInfo(image).size();
        refreshStoreWindow();

        trap(11);
        if (earlier != EarlierStore::Stored
            && !IM650R(conn, QStringLiteral("S"), imageName, padZeros(qint32(fileSize), 9), padZeros(pageCount, 4))) {
            if (hostReplyLost()) {
                QFile::remove(staged);
                rollback.keepPlaced();
                reportUnknownOutcome();
            }
            return false;
        }
        moveIntoPlace(staged, burned);
        rollback.release();
        g_blnPromptStore = false;

        trap(12);
        result = run_program(QStringLiteral("S"));
        if (!result && hostReplyLost())
            reportUnknownOutcome();
        // Registered: a second Store would register it again.
        leaveAsStored();

        trap(13);
        deleteOnShare(folder, imageName);
        deleteOnShare(folder, annotName);
        return result;
    } catch (...) {
        reportRoadFailure(QStringLiteral("do_store_electronic"), trap);
        return false;
    }
}
