#include "capture/view.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>

#include <future>

#include "annotate/annotfiles.h"
#include "annotate/efileannot.h"
#include "annotate/grouplayout.h"
#include "annotate/grouppos.h"
#include "batch/pageops.h"
#include "capture/coversheet.h"
#include "capture/frmStore.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "core/workfiles.h"
#include "host/grouptext.h"
#include "host/hostcall.h"
#include "host/im091r.h"
#include "host/im656r.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/pagedocument.h"
#include "platform/system/system.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

const QString kTitle = QStringLiteral("The Korvane Scan Tool");

// The working copy of the stored file, made by a worker while the first page is shown from the
// stored file itself; complete when this ends.
class WorkingCopy {
public:
    WorkingCopy(const QString &source, const QString &copy)
        : m_done(std::async(std::launch::async, [source, copy] { copyIntoPlace(source, copy, CopyMode::Replace); }))
    {
    }
    WorkingCopy(const WorkingCopy &) = delete;
    WorkingCopy &operator=(const WorkingCopy &) = delete;
    ~WorkingCopy() { wait(); }

    // True when the copy is whole; a failed copy is reported as CopyFile reports it.
    bool wait()
    {
        if (!m_done.valid())
            return m_whole;
        Trap at;
        try {
            at(2);
            m_done.get();
            m_whole = true;
        } catch (...) {
            reportCurrentError(QStringLiteral("CopyFile"), at);
        }
        return m_whole;
    }

private:
    std::future<void> m_done;
    bool m_whole = false;
};

void saveReload(QelEzImage &view, const QString &saveAs, const QString &reload)
{
    view.setSaveFileName(saveAs);
    view.save();
    view.clearImage();
    view.setImageFile(reload);
}

bool allGroupTextsEmpty()
{
    for (const GroupTextInfo &g : g_GroupTextInfo)
        if (!g.Text.isEmpty())
            return false;
    return true;
}

} // namespace

QString storedImagePath(const QString &hostName, const QString &flNm, const QString &sbDr,
                        const QString &imid)
{
    const QString root = QStringLiteral("\\\\") + hostName + QLatin1Char('\\');
    const QString folder = hostPathText(flNm);
    const QString file = hostPathText(imid);
    if (sbDr == u"SUBDIREC.001")
        return root + QStringLiteral("ROOT\\") + folder + QLatin1Char('\\') + sbDr + QLatin1Char('\\') + file;
    if (folder == u"KVTEMP")
        return root + folder + QLatin1Char('\\') + hostPathText(sbDr) + QLatin1Char('\\') + file;
    return root + QStringLiteral("IMAGES\\") + folder + QLatin1Char('\\') + file;
}

bool isTiffFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(2);
    return head == "II" || head == "MM";
}

QString damagedPageText(const VbError &e)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\(page (\\d+)\\)$")).match(e.description);
    return (m.hasMatch() ? QStringLiteral("Page ") + m.captured(1) : QStringLiteral("A page"))
           + QStringLiteral(" of this document is damaged");
}

bool do_view(AdoConnection &conn, const QString &hostName)
{
    Trap trap;
    try {
        FrmMain &w = frmMain();
        QelEzImage &view = *w.ezPageView;
        QelEzImage &tree = *w.ezTreeView;
        const QString temp = g_strTempPath;

        // 1. Working files of the previous document, and its parked annotation files.
        int oldPages = 0;
        runStep(trap, 1, [&] { oldPages = view.pageCount(); });
        runStep(trap, 2, [&] { DeleteTemp(); });
        runStep(trap, 3, [&] {
            for (const QString &name : workFileNames(WorkspaceFile))
                DeleteTempFile(name);
            DeleteTempFile(QStringLiteral("tempextrastep.tif"));
            DeleteTempFile(QStringLiteral("temp8.tif"));
        });
        runStep(trap, 4, [&] {
            for (int n = 1; n <= oldPages; ++n)
                DeleteFile(annotationSetFile(ANN_FILE_STORE, n));
        });

        // 2. Status.
        runStep(trap, 5, [&] {
            w.lblStatus->setText(QStringLiteral("Retrieving Document from ") + hostName);
            w.lblStatus->repaint();
        });

        // 3. Where the image lies.
        QString path;
        trap(6);
        if (gdtCurrentDocType != 0) {
            path = hostPathText(gsInDocPath);
        } else {
            const IM091RAnswer a = IM091R(conn, g_ImID);
            if (!a.errMsg.isEmpty()) {
                trap(7);
                MsgBox(a.errMsg, vb::vbOKOnly, kTitle);
                return false;
            }
            g_ImID = a.imid;
            path = storedImagePath(hostName, a.flNm, a.sbDr, a.imid);
        }

        // 4, 5. The file must be there (a folder of its name is no file).
        runStep(trap, 8, [&] { view.setAnnotationLayer(0); });
        trap(9);
        const QString local = hostPathToLocal(path);
        if (!QFileInfo(local).isFile()) {
            trap(10);
            const QString text = QStringLiteral("File Not Found: ") + path;
            MsgBox(text, vb::vbOKOnly, kTitle);
            w.lblStatus->setText(text);
            conn.close();
            return false;
        }

        // 6, 7. Local copy, its kind, and the first load: the first page is painted while the
        // copy is written.
        trap(11);
        const QString copy = temp + QStringLiteral("temp.tif");
        WorkingCopy working(local, copy);
        // The pages read from the copy once it is whole.
        const auto useCopy = [&] {
            const auto doc = QelPageDocument::fromHandle(view.imageHandle());
            if (working.wait() && doc && doc->fileName() == copy)
                doc->readLoadedFile();
        };
        g_blnTif = isTiffFile(local);
        trap(12);
        try {
            view.setImageFile(copy, local);
            view.repaint();
        } catch (const VbError &e) {
            // A damaged stored image: reported once; the pages that could be read are shown and
            // the document can be scanned again.
            if (e.number != ezErr::BadImageFile)
                throw;
            const auto doc = QelPageDocument::fromHandle(view.imageHandle());
            bool none = true;
            for (int i = 0; doc && i < doc->pageCount(); ++i)
                none = none && doc->info(i).damaged;
            MsgBox(damagedPageText(e) + (none ? QStringLiteral(" and cannot be shown.")
                                              : QStringLiteral("; the pages that can be read are shown."))
                       + QStringLiteral(" Scan the document again to replace it."),
                   vb::vbExclamation | vb::vbOKOnly, kTitle);
            if (none)
                return false; // not one page could be read
        }

        // 8. E-filed: cover sheet in front of a working copy.
        if (gdtCurrentDocType == 1) {
            useCopy();
            runStep(trap, 13, [&] {
                view.setSaveFileName(temp + QStringLiteral("temp3.tif"));
                view.save();
                view.clearImage();
            });
            runStep(trap, 14, [&] { DeleteTempFile(QStringLiteral("temp2.tif")); });
            runStep(trap, 15, [&] { view.setImageFile(temp + QStringLiteral("temp3.tif")); });
            runStep(trap, 16, [&] {
                view.setSaveFileName(temp + QStringLiteral("temp2.tif"));
                view.save();
                view.clearImage();
            });
            runStep(trap, 17, [&] { IM656R(conn); });
            runStep(trap, 18, [&] { do_cover_sheet(view, temp + QStringLiteral("temp3.tif")); });
            runStep(trap, 19, [&] {
                view.setImageFile(temp + QStringLiteral("temp3.tif"));
                view.setSaveFileName(QString());
            });
        }

        // The first page is on screen; the walks below pass every page and paint none.
        const QelEzPageWalk walk(view);

        // 9, 10. Thumbnails follow the page view; page label.
        runStep(trap, 20, [&] { tree.setImageHandle(view.imageHandle()); });
        const int pages = view.pageCount();
        runStep(trap, 21, [&] { w.lblPageNum->setText(QStringLiteral("Page 1/") + QString::number(pages)); });

        // 11. Byte alignment of every page.
        runStep(trap, 22, [&] {
            g_blnByteAligned = true;
            for (int p = 1; p <= pages; ++p) {
                view.setPage(p);
                if (view.imageWidth() % 8 != 0)
                    g_blnByteAligned = false;
            }
            view.setPage(1);
        });

        // 12. Thumbnail pane.
        runStep(trap, 23, [&] {
            if (pages >= 2)
                showTree();
            else
                hideTree();
        });

        if (pages == 0) {
            // Nothing readable to adjust.
        } else if (gdtCurrentDocType != 1) {
            // 13. Paper documents.
            runStep(trap, 24, [&] { do_adjust_text_annotations_with_bogus_data(&w, view, 1, true, true); });
            runStep(trap, 25, [&] { view.setPage(1); });
        } else {
            // 14. E-filed documents: annotation flags and the group-text lines.
            runStep(trap, 26, [&] {
                view.setAnnotationFlagsA(64);
                view.setAnnotationFlagsB(64);
                view.setAnnotationFlagsC(64);
            });
            runStep(trap, 27, [&] { do_load_grouptext_lines(); });

            // 15. Nothing to lay out.
            if (!allGroupTextsEmpty()) {
                // 16. The document rewritten through a fresh file before the texts are laid.
                trap(28);
                if (!do_resizeImage(view)) {
                    trap(29);
                    MsgBox(QStringLiteral("Resize of e-file document ") + path +
                               QStringLiteral(" for annotation failed."),
                           vb::vbOKOnly, kTitle);
                    conn.close();
                    return false;
                }

                // 17. Block sizes.
                runStep(trap, 30, [&] {
                    for (GroupTextInfo &g : g_GroupTextInfo) {
                        const QSize s = do_calculate_text_block_size(g.Text, g.FontSize, g.MaxLen, 0);
                        g.BlockWidth = s.width();
                        g.BlockHeight = s.height();
                    }
                });

                // 18. Positions: first page, then the other pages.
                static const char *const places[6][2] = {{"T", "L"}, {"T", "C"}, {"T", "R"},
                                                         {"B", "L"}, {"B", "C"}, {"B", "R"}};
                for (const char *scope : {"F", "O"}) {
                    const qint16 page = qint16(*scope == 'F' ? 1 : view.pageCount());
                    for (const auto &pl : places) {
                        runStep(trap, 31, [&] {
                            const QString edge = QString::fromLatin1(pl[0]);
                            const QString loc = QString::fromLatin1(pl[1]);
                            const int list = groupPosListIndex(edge, loc, QString::fromLatin1(scope));
                            do_calculate_grouptext_positions(g_GroupPos[size_t(list)], view, edge,
                                                             loc, page);
                        });
                    }
                }

                // 19. Annotations processed, parked per page, and put back.
                runStep(trap, 32, [&] {
                    bool park = true;
                    do_process_efile_annotations(view, tree, park, false);
                });
                runStep(trap, 33, [&] {
                    const int count = view.pageCount();
                    for (int p = 1; p <= count; ++p) {
                        view.setPage(p);
                        const QString parked = annotationSetFile(ANN_FILE_STORE, p);
                        if (QFile::exists(parked)) {
                            view.loadAnnotations(parked);
                            DeleteFile(parked);
                        }
                    }
                });

                // 20. The final working image.
                runStep(trap, 34, [&] {
                    saveReload(view, temp + QStringLiteral("temp3.tif"), temp + QStringLiteral("temp3.tif"));
                });
                runStep(trap, 35, [&] {
                    saveReload(view, temp + QStringLiteral("tempextrastep.tif"),
                               temp + QStringLiteral("tempextrastep.tif"));
                });
            }
        }

        useCopy();

        // 21. Common end: controls and the note.
        runStep(trap, 36, [&] {
            w.btnRotate->setVisible(true);
            w.cboRotateOpt->setVisible(true);
            w.btnShowTree->setVisible(true);
            w.lblStatus->setText(QString());
            if (!g_blnTif) {
                w.lblNonTiff->setText(NOTE_NOT_TIFF);
                w.fraNonTiff->setVisible(true);
            } else if (!g_blnByteAligned) {
                w.lblNonTiff->setText(NOTE_NOT_BYTE_ALIGNED);
                w.fraNonTiff->setVisible(true);
            } else {
                w.fraNonTiff->setVisible(false);
            }
            if (isShown<FrmStore>())
                frmStore().Hide();
            w.btnScan->setEnabled(true);
            w.setDefaultButton(w.btnScan);
        });

        // 22. Commands for the document just shown.
        runStep(trap, 37, [&] {
            const bool paper = gdtCurrentDocType != 1;
            const bool editable = paper || gsUnIndexedEFileDoc != u"1";
            // A stored image with no readable page has nothing to store, turn or redact.
            const bool pagesShown = editable && pages > 0;
            w.btnStore->setEnabled(pagesShown);
            w.mnuStore->setEnabled(pagesShown);
            w.btnRedact->setEnabled(pagesShown);
            w.mnuRotate->setEnabled(pagesShown);
            w.btnRotate->setEnabled(pagesShown);
            w.cboRotateOpt->setEnabled(pagesShown);
            w.btnRefresh->setEnabled(!paper);
        });
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_view"), trap);
    }
    return false;
}
