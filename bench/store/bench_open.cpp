// Opening a stored document the way the operator does: the main window shown and signed on,
// the book-and-page lookup against the emulator (run_program "A") fetching and showing a stored
// G4 document of 50, 200 or 500 letter pages, until the window is idle; then page flips.
// Reported: first page painted, pages decoded per open, milliseconds per flip. The files store
// black as 1 (white-is-0) or as 0 (black-is-0).
#include "bench/workstation.h"
#include "capture/request.h"
#include "core/files.h"
#include "core/reset.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/tiffcodec.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <vector>

namespace {

const int kSizes[] = {50, 200, 500};

// A multi-page G4 file written by libtiff itself, black stored as 1 or as 0.
void writeG4(const QString &path, int pages, bool blackIsZero)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "w");
    for (int n = 0; n < pages; ++n) {
        QImage img = letterPage(n % 7);
        if (blackIsZero)
            img.invertPixels();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(img.width()));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(img.height()));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     uint16_t(blackIsZero ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(img.height()));
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0f);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
        for (int y = 0; y < img.height(); ++y)
            TIFFWriteScanline(t, img.scanLine(y), uint32_t(y));
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

// Document n of the seeded book: page 000n of book 001010 with image IM000000000n.
QString imid(int n) { return QStringLiteral("IM%1").arg(n, 10, 10, QChar('0')); }

// Times the first paint of the page view after start.
class FirstPaint : public QObject {
public:
    QElapsedTimer clock;
    qint64 shownNs = -1;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && shownNs < 0 && frmMain().ezPageView->hasImage())
            shownNs = clock.nsecsElapsed();
        return false;
    }
};

void BM_OpenStoredDocument(benchmark::State &state)
{
    const int doc = int(state.range(0));
    const int pages = kSizes[doc % 3];
    FrmMain &w = frmMain();
    QWidget *area = w.ezPageView->findChild<QWidget *>(QStringLiteral("pageArea"));
    FirstPaint paint;
    area->installEventFilter(&paint);
    MsgBoxScript boxes;
    double shown = 0, decodes = 0, flips = 0;
    int flipCount = 0;
    for (auto _ : state) {
        state.PauseTiming();
        new_bkPg(false, true);
        QCoreApplication::processEvents();
        g_Book = QStringLiteral("001010");
        g_Page = QStringLiteral("%1").arg(doc + 1, 4, 10, QChar('0'));
        boxes.clear();
        const qint64 before = tiffcodec::decodeCount();
        paint.shownNs = -1;
        paint.clock.start();
        state.ResumeTiming();
        const bool ok = run_program(QStringLiteral("A"));
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (!ok || w.ezPageView->pageCount() != pages || paint.shownNs < 0) {
            state.SkipWithError(("the document was not shown: " + boxes.calls().value(0).prompt).toStdString().c_str());
            break;
        }
        shown += paint.shownNs / 1e6;
        decodes += double(tiffcodec::decodeCount() - before);
        for (int p = 2; p <= 6; ++p) {
            QElapsedTimer flip;
            flip.start();
            w.ezPageView->setPage(p);
            QCoreApplication::processEvents();
            flips += flip.nsecsElapsed() / 1e6;
            ++flipCount;
        }
        state.ResumeTiming();
    }
    area->removeEventFilter(&paint);
    const double n = double(state.iterations());
    state.counters["pages"] = pages;
    state.counters["shown_ms"] = shown / n;
    state.counters["decodes"] = decodes / n;
    state.counters["flip_ms"] = flipCount ? flips / flipCount : 0;
    state.SetLabel(doc < 3 ? "white-is-0" : "black-is-0");
}
BENCHMARK(BM_OpenStoredDocument)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    return workstationBenchmarkMain(argc, argv, [](const QTemporaryDir &dir) {
        QString sql = QStringLiteral("INSERT INTO operators(user_id, password) VALUES('JSMITH','Secret1');\n");
        for (int n = 0; n < 6; ++n) {
            sql += QStringLiteral("INSERT INTO image_master(imid, folder, subdir, member, num_pages, doc_type, "
                                  "redacted, size) VALUES ('%1', 'IMG2019', '', 'IMAGES', '%2', 'DEED', 'Y', 100);\n")
                       .arg(imid(n + 1))
                       .arg(kSizes[n % 3], 4, 10, QChar('0'));
            sql += QStringLiteral("INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, "
                                  "doc_id, doc_type, imid) VALUES ('LR', '001010', '%1', '2019', '04', '01', "
                                  "'0010%2', '10000%2', 'K', 'LR20190010%2', 'DEED', '%3');\n")
                       .arg(n + 1, 4, 10, QChar('0'))
                       .arg(n + 1)
                       .arg(imid(n + 1));
        }
        setUpWorkstation(dir, sql);
        QDir(dir.path()).mkpath(QStringLiteral("share/QHOST/IMAGES/IMG2019"));
        for (int n = 0; n < 6; ++n)
            writeG4(dir.filePath(QStringLiteral("share/QHOST/IMAGES/IMG2019/") + imid(n + 1)), kSizes[n % 3], n >= 3);
        g_strTempPath = getTempPath();
        g_WrkStationIP = QStringLiteral("10.0.0.1");
        g_blnLoggedIn = true;
        g_dbMode = MODE_MARG;
        frmMain().resize(1024, 768);
        frmMain().show();
        QCoreApplication::processEvents();
    });
}
