// Every page layout a share may hold, through the imaging layer: open to the first page shown
// (reduced for the screen), Page Down, thumbnails, the whole page, and the store (aligned, nothing
// decoded before), each per page against libtiff decoding the same pages (every strip or tile,
// as tiffcp -c none does); and memory over repeated open and close. Not a test.
//   imaging_layouts [--pages=4] [--width=2550] [--layouts=pal4,grey16-tiles,...] [--cycles=5] [folder]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "layoutpages.h"
#include "platform/imaging/pagedocument.h"

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Cost {
    double wall = -1, cpu = -1;
};

// The cheaper of a few runs of work (by wall time).
template <class F>
Cost best(int runs, F work)
{
    Cost b;
    for (int r = 0; r < runs; ++r) {
        QThreadPool::globalInstance()->waitForDone();
        QElapsedTimer t;
        const double c0 = cpuMs();
        t.start();
        work();
        const double wall = t.nsecsElapsed() / 1e6, cpu = cpuMs() - c0;
        if (b.wall < 0 || wall < b.wall)
            b = {wall, cpu};
    }
    return b;
}

// libtiff decoding every strip or tile of every page (JPEG colour to RGB, as tiffcp -c none does).
void libtiffDecode(const QString &path)
{
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!t)
        return;
    std::vector<uint8_t> buf;
    do {
        uint16_t compression = 1, photometric = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
        if (compression == COMPRESSION_JPEG && photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        const bool tiled = TIFFIsTiled(t);
        const tmsize_t size = tiled ? TIFFTileSize(t) : TIFFStripSize(t);
        buf.resize(size_t(size));
        const uint32_t n = tiled ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
        for (uint32_t i = 0; i < n; ++i)
            tiled ? TIFFReadEncodedTile(t, i, buf.data(), size) : TIFFReadEncodedStrip(t, i, buf.data(), size);
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
}

// tiffcp copying the file in its own coding (a decode and a code again), a whole process.
void tiffcpCopy(const QString &path, const QString &to)
{
    QProcess p;
    p.start(QStringLiteral("tiffcp"), {path, to});
    p.waitForFinished(600000);
}

double residentMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().split(' ').value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

QString option(int argc, char **argv, const char *name, const QString &fallback)
{
    const QByteArray prefix = QByteArray("--") + name + "=";
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]).startsWith(prefix))
            return QString::fromLocal8Bit(argv[i] + prefix.size());
    return fallback;
}

const char *kAll =
    "pal1,pal2,pal4,pal8,grey1,white1,grey2,grey4,grey8,white8,grey16,greya8,rgb8,rgb16,rgba8,rgba16,cmyk8,lab8,jpeg,"
    "jpeggrey,"
    "pal1-tiles,pal4-tiles,pal8-tiles,grey1-tiles,grey4-tiles,grey8-tiles,grey16-tiles,rgb8-tiles,rgb16-tiles,"
    "rgba8-tiles,cmyk8-tiles,jpeg-tiles,"
    "rgb8-planar,rgb16-planar,rgba8-planar,cmyk8-planar,rgb8-tiles-planar,"
    "grey8-o2,grey8-o3,grey8-o4,grey8-o5,grey8-o6,grey8-o7,grey8-o8,grey1-o3,grey1-o6,pal4-o3,pal8-o6,"
    "rgb8-o3,rgb8-o6,jpeg-o3,jpeg-o6,grey16-o6,"
    "grey8-zip,rgb8-zip,grey8-none,rgb8-none,grey8-packbits";

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int pages = option(argc, argv, "pages", QStringLiteral("4")).toInt();
    const int width = option(argc, argv, "width", QStringLiteral("2550")).toInt();
    const int cycles = option(argc, argv, "cycles", QStringLiteral("5")).toInt();
    const QStringList layouts = option(argc, argv, "layouts", QString::fromLatin1(kAll)).split(u',');
    QString folder;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-')
            folder = QString::fromLocal8Bit(argv[i]);
    QTemporaryDir tmp(QStringLiteral("/dev/shm/imaging_layouts_XXXXXX"));
    if (folder.isEmpty())
        folder = tmp.path();
    QDir().mkpath(folder);
    const QString src = folder + QStringLiteral("/layout.tif"), out = folder + QStringLiteral("/stored.tif");
    double load = 0;
    if (QFile f(QStringLiteral("/proc/loadavg")); f.open(QIODevice::ReadOnly))
        load = f.readAll().split(' ').value(0).toDouble();
    std::printf("%d pages of %d x 3300 at 300 dpi a document; load average %.2f at the start\n", pages, width, load);
    std::printf("ms a page, wall/cpu, then ours / libtiff's decode of the page (libtiff: every strip or tile, in "
                "process), wall/cpu; first: open to the first page reduced for the screen (1/4); pgdn: each next page "
                "(1/4, worst); thumb: 1/16; whole: the page decoded; store: aligned to 8, nothing decoded before, "
                "against tiffcp's copy (whole process, wall), and its size against the scan; mem: MB more after %d "
                "cycles\n",
                cycles);
    std::printf("%-18s | %9s %9s | %9s %9s | %9s %9s | %9s %9s | %9s %9s | %9s %6s %5s %5s\n", "layout", "libtiff",
                "tiffcp", "first", "ratio", "pgdn", "ratio", "thumb", "ratio", "whole", "ratio", "store", "x cp", "size",
                "mem");
    for (const QString &name : layouts) {
        PageLayout l;
        if (!parseLayout(name.toStdString(), l)) {
            std::printf("%-18s unknown layout\n", qPrintable(name));
            continue;
        }
        QFile::remove(src);
        if (!writeLayoutDocument(src, l, pages, uint32_t(width), 3300, 300)) {
            std::printf("%-18s not written\n", qPrintable(name));
            continue;
        }
        const Cost ref = best(2, [&] { libtiffDecode(src); });
        const double refPage = ref.wall / pages, refCpu = ref.cpu / pages;
        const Cost copy = best(2, [&] { tiffcpCopy(src, out); });
        QFile::remove(out);
        auto per = [&](Cost c, int n) { return Cost{c.wall / n, c.cpu / n}; };
        QString failed;
        Cost first, pgdn, thumb, whole, store;
        double grown = 0, mem = 0;
        try {
            first = best(2, [&] {
                auto d = QelPageDocument::create();
                d->load(src);
                d->reduced(0, 4);
            });
            {
                auto d = QelPageDocument::create();
                d->load(src);
                d->reduced(0, 4);
                for (int i = 1; i < pages; ++i) {
                    const Cost c = best(1, [&] { d->reduced(i, 4); });
                    if (c.wall > pgdn.wall)
                        pgdn = c;
                }
            }
            thumb = per(best(1, [&] {
                            auto d = QelPageDocument::create();
                            d->load(src);
                            for (int i = 0; i < pages; ++i)
                                d->reduced(i, 16);
                        }),
                        pages);
            whole = per(best(1, [&] {
                            auto d = QelPageDocument::create();
                            d->load(src);
                            for (int i = 0; i < pages; ++i)
                                d->image(i);
                        }),
                        pages);
            store = per(best(2, [&] {
                            auto d = QelPageDocument::create();
                            d->load(src);
                            QelSaveOptions o;
                            o.alignTo = 8;
                            d->save(out, o);
                        }),
                        pages);
            grown = double(QFileInfo(out).size()) / double(QFileInfo(src).size());
            auto d = QelPageDocument::create();
            auto cycle = [&] {
                d->load(src);
                for (int i = 0; i < pages; ++i) {
                    d->reduced(i, 4);
                    d->reduced(i, 16);
                    d->image(i);
                }
                d->clear();
            };
            cycle();
            cycle();
            const double settled = residentMb();
            for (int i = 0; i < cycles; ++i)
                cycle();
            mem = residentMb() - settled;
        } catch (const VbError &e) {
            failed = e.description;
        }
        if (!failed.isEmpty()) {
            std::printf("%-18s | %4.0f/%4.0f | failed: %s\n", qPrintable(name), refPage, refCpu,
                        qPrintable(failed));
            continue;
        }
        auto cell = [](Cost c) { return QStringLiteral("%1/%2").arg(c.wall, 4, 'f', 0).arg(c.cpu, 4, 'f', 0); };
        auto ratio = [&](Cost c) {
            return QStringLiteral("%1/%2").arg(c.wall / refPage, 4, 'f', 1).arg(c.cpu / refCpu, 4, 'f', 1);
        };
        std::printf("%-18s | %9s %9.0f | %9s %9s | %9s %9s | %9s %9s | %9s %9s | %9s %6.2f %5.2f %5.1f\n", qPrintable(name),
                    qPrintable(cell(per(ref, pages))), copy.wall / pages, qPrintable(cell(first)), qPrintable(ratio(first)),
                    qPrintable(cell(pgdn)), qPrintable(ratio(pgdn)), qPrintable(cell(thumb)), qPrintable(ratio(thumb)),
                    qPrintable(cell(whole)), qPrintable(ratio(whole)), qPrintable(cell(store)),
                    store.wall / (copy.wall / pages), grown, mem);
        std::fflush(stdout);
    }
    if (QFile f(QStringLiteral("/proc/loadavg")); f.open(QIODevice::ReadOnly))
        load = f.readAll().split(' ').value(0).toDouble();
    std::printf("load average %.2f at the end\n", load);
    QFile::remove(src);
    QFile::remove(out);
    return 0;
}
