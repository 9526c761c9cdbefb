// Writes every page of a TIFF again through the imaging layer (bilevel as G4, others as LZW with
// the horizontal predictor): the whole process timed against tiffcp by encode_vs_tiffcp.sh.
//   imaging_encode <in.tif> <out.tif>
//   imaging_encode --samples <folder>   50 bilevel 300 dpi pages, 10 colour 300 dpi pages
#include <QGuiApplication>

#include <cstdio>

#include "platform/imaging/pagedocument.h"
#include "platform/vb/vberror.h"
#include "textpage.h"

namespace {

void writeSamples(const QString &folder)
{
    QelPageDocument bilevel, colour;
    for (int i = 0; i < 50; ++i)
        bilevel.insertImage(i, textPage(300, i, false));
    bilevel.save(folder + QStringLiteral("/bilevel_50.tif"));
    for (int i = 0; i < 10; ++i)
        colour.insertImage(i, textPage(300, i, true));
    colour.save(folder + QStringLiteral("/colour_10.tif"));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--samples") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv); // the pages' text needs fonts
        writeSamples(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: imaging_encode <in.tif> <out.tif>\n");
        return 2;
    }
    try {
        QelPageDocument doc;
        doc.load(QString::fromLocal8Bit(argv[1]));
        doc.save(QString::fromLocal8Bit(argv[2]));
    } catch (const VbError &e) {
        std::fprintf(stderr, "%s\n", e.description.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
