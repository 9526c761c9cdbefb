// Measures the imaging paths an office relies on and prints one table. Not a test.
//   bench_imaging [work folder]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/imaging/memfiles.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/tiffcodec.h"
#include "textpage.h"

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// High-water mark of resident memory of this process (not inherited through fork and exec).
long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--hold") {
        QelEzImage big;
        big.resize(850, 1100);
        big.show();
        if (argc > 2 && argv[2][0]) {
            big.setImageFile(QString::fromLocal8Bit(argv[2]));
            for (int pg = 1; pg <= big.pageCount(); ++pg) {
                big.setPage(pg);
                big.grab();
            }
        } else {
            big.grab();
        }
        std::printf("peak RSS %.1f MB\n", peakKb() / 1024.0);
        return 0;
    }
    QTemporaryDir tmp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(work);

    // 50 bilevel pages at 300 dpi: once uncompressed (tiffcp's input), once G4.
    std::vector<tiffcodec::OutPage> pages;
    for (int i = 0; i < 50; ++i) {
        tiffcodec::OutPage p;
        p.image = textPage(300, i, false);
        p.xDpi = p.yDpi = 300;
        pages.push_back(std::move(p));
    }
    const QString g4 = work + QStringLiteral("/g4_50.tif");
    const QString raw = work + QStringLiteral("/raw_50.tif");
    memfiles::writeAll(g4, tiffcodec::write(pages));
    {
        QProcess p;
        p.start(QStringLiteral("tiffcp"), {QStringLiteral("-c"), QStringLiteral("none"), g4, raw});
        p.waitForFinished(-1);
    }

    // Open to the first page shown.
    QelEzImage view;
    view.resize(850, 1100);
    view.show();
    std::vector<double> open, openLoad;
    for (int r = 0; r < 5; ++r) {
        view.clearImage();
        QElapsedTimer t;
        t.start();
        view.setImageFile(g4);
        openLoad.push_back(t.nsecsElapsed() / 1e6);
        view.grab();
        open.push_back(t.nsecsElapsed() / 1e6);
    }

    // The parts of opening: reading the directories, decoding the first page.
    std::vector<double> scan, first, docLoad;
    for (int r = 0; r < 5; ++r) {
        QElapsedTimer t;
        t.start();
        QelPageDocument::create()->load(g4);
        docLoad.push_back(t.nsecsElapsed() / 1e6);
        const QByteArray bytes = memfiles::readAll(g4);
        t.restart();
        const auto dirs = tiffcodec::readDirectories(bytes);
        scan.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        tiffcodec::decode(bytes, 0);
        first.push_back(t.nsecsElapsed() / 1e6);
    }

    // Page flip: decode and show the next page (never cached).
    std::vector<double> flip;
    for (int pg = 2; pg <= 50; ++pg) {
        QElapsedTimer t;
        t.start();
        view.setPage(pg);
        view.grab();
        flip.push_back(t.nsecsElapsed() / 1e6);
    }

    // Save 50 pages: unchanged (strips copied) and turned (decode, turn, G4 encode).
    std::vector<double> saveCopy, saveTurned, encode, tiffcp;
    for (int r = 0; r < 3; ++r) {
        view.setImageFile(g4);
        view.setSaveFileName(work + QStringLiteral("/saved.tif"));
        QElapsedTimer t;
        t.start();
        view.save();
        saveCopy.push_back(t.nsecsElapsed() / 1e6);
        for (int pg = 1; pg <= 50; ++pg) {
            view.setPage(pg);
            view.setRotation(3);
        }
        t.restart();
        view.save();
        saveTurned.push_back(t.nsecsElapsed() / 1e6);

        // The same pages G4-encoded by us and by tiffcp (from the uncompressed file).
        t.restart();
        QByteArray bytes = tiffcodec::write(pages);
        memfiles::writeAll(work + QStringLiteral("/ours.tif"), bytes);
        encode.push_back(t.nsecsElapsed() / 1e6);
        QProcess p;
        t.restart();
        p.start(QStringLiteral("tiffcp"), {QStringLiteral("-c"), QStringLiteral("g4"), raw,
                                           work + QStringLiteral("/theirs.tif")});
        p.waitForFinished(-1);
        tiffcp.push_back(t.nsecsElapsed() / 1e6);
    }
    view.clearImage();
    pages.clear();

    // 200 colour pages at 150 dpi: written here, then held and shown by a fresh process so its
    // peak memory is the document's alone.
    {
        auto doc = QelPageDocument::create();
        const QImage base = textPage(150, 0, true);
        for (int i = 0; i < 200; ++i)
            doc->insertImage(i, i % 10 ? base : textPage(150, i, true));
        const QString colour = work + QStringLiteral("/colour_200.tif");
        doc->save(colour);
        const double decodedMb = 200.0 * base.sizeInBytes() / 1048576.0;
        doc->clear();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), colour});
        child.waitForFinished(-1);
        std::printf("colour document: 200 pages, %.1f MB compressed, %.1f MB decoded; %s",
                    QFile(colour).size() / 1048576.0, decodedMb, child.readAllStandardOutput().constData());
        QProcess empty;
        empty.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), QString()});
        empty.waitForFinished(-1);
        std::printf("  same process without a document: %s", empty.readAllStandardOutput().constData());
    }

    std::printf("open 50-page 300 dpi G4 to first page shown: median %.1f ms (target < 150)\n", median(open));
    std::printf("  load %.1f ms (document alone %.1f ms); directory scan %.1f ms, first page decode %.1f ms\n", median(openLoad), median(docLoad), median(scan), median(first));
    std::printf("page flip: median %.1f ms, worst %.1f ms (target < 30)\n", median(flip),
                *std::max_element(flip.begin(), flip.end()));
    std::printf("save 50 pages unchanged (strip copy): median %.1f ms\n", median(saveCopy));
    std::printf("save 50 pages turned (decode, turn, G4): median %.1f ms\n", median(saveTurned));
    std::printf("G4 encode 50 pages: ours %.1f ms, tiffcp -c g4 %.1f ms, ratio %.2f (target <= 1.2)\n",
                median(encode), median(tiffcp), median(encode) / median(tiffcp));
    return 0;
}
