// The paper store of a 50-page, 300 dpi bilevel document with a few annotations, against the
// emulator: from Store (do_store) to the next document shown in the views.
#include "bench/workstation.h"
#include "capture/store.h"
#include "core/files.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/tiffcodec.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QPainter>

namespace {

QString g_document; // the scanned document, written once

void loadScannedDocument()
{
    QelEzImage &view = *frmMain().ezPageView;
    view.clearImage();
    view.setImageFile(g_document);
    for (int page : {1, 17, 50}) {
        view.setPage(page);
        if (QelAnnotItem *item = view.createAnnotation(4))
            item->setBounds(QRect(100, 100, 400, 120));
    }
    view.setPage(1);
    frmMain().ezTreeView->setImageHandle(view.imageHandle());
    g_Book = QStringLiteral("001010");
    g_Page = QStringLiteral("0001");
    g_DocId = QStringLiteral("LR201900101");
    g_NumPages = QStringLiteral("0");
    g_blnPromptStore = true;
    g_blnTif = true;
}

void BM_StoreFiftyPagesToTheNextDocument(benchmark::State &state)
{
    MsgBoxScript boxes;
    qint64 decodes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        loadScannedDocument();
        boxes.clear();
        const qint64 before = tiffcodec::decodeCount();
        state.ResumeTiming();
        const bool stored = do_store(true);
        state.PauseTiming();
        decodes += tiffcodec::decodeCount() - before;
        if (!stored || g_Page != u"0002" || frmMain().ezPageView->pageCount() != 1) {
            state.SkipWithError(("store or next document failed: "
                                 + boxes.calls().value(0).prompt).toStdString().c_str());
            break;
        }
        state.ResumeTiming();
    }
    state.counters["decodes_per_page"] = double(decodes) / (50.0 * double(state.iterations()));
}
BENCHMARK(BM_StoreFiftyPagesToTheNextDocument)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    return workstationBenchmarkMain(argc, argv, [](const QTemporaryDir &dir) {
        setUpWorkstation(dir, QStringLiteral(
            "INSERT INTO operators(user_id, password) VALUES('JSMITH','Secret1');\n"
            "INSERT INTO image_master(imid, folder, subdir, member, num_pages, doc_type, redacted, size) VALUES"
            "  ('IM0000000002', 'IMG2019', '', 'IMAGES', '0001', 'DEED', 'Y', 100);\n"
            "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type, imid) "
            "VALUES ('LR', '001010', '0001', '2019', '04', '01', '00101', '100001', 'K', 'LR201900101', 'DEED', ''),"
            " ('LR', '001010', '0002', '2019', '04', '01', '00102', '100002', 'K', 'LR201900102', 'DEED', "
            "'IM0000000002');\n"));
        for (const char *sub : {"share/QHOST/KvTemp/Scans", "share/QHOST/IMAGES/IMG2019"})
            QDir(dir.path()).mkpath(QString::fromLatin1(sub));
        {
            QelEzImage next;
            next.appendPage(letterPage(0));
            next.setSaveFileName(dir.filePath("share/QHOST/IMAGES/IMG2019/IM0000000002"));
            next.save();
            QelEzImage scanned;
            for (int i = 0; i < 50; ++i)
                scanned.appendPage(letterPage(i));
            g_document = dir.filePath("scanned.tif");
            scanned.setSaveFileName(g_document);
            scanned.save();
        }
        resetState();
        g_strTempPath = getTempPath();
        computername = QStringLiteral("WORKSTATION01");
        g_USER_ID = QStringLiteral("JSMITH");
        g_WrkStationIP = QStringLiteral("10.0.0.1");
        g_blnLoggedIn = true;
        g_dbMode = MODE_MARG;
    });
}
