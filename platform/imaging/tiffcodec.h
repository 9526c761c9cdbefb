#pragma once
#include <QByteArray>
#include <QImage>

#include <vector>

#include "platform/imaging/pagedocument.h"
#include "platform/vb/vberror.h"

// Multi-page TIFF in memory through libtiff: directory scan without decoding, page decode,
// and writing with raw strip copies where a page is stored unchanged.
namespace tiffcodec {

// Private tag of a page's directory holding its annotation set.
constexpr unsigned AnnotationTag = 65101;

// Largest decoded page accepted (pixels).
constexpr qint64 MaxPixels = qint64(1) << 28;

struct Directory {
    QelPageInfo info;
    QByteArray annotations;
};

// Raises ezErr::BadImageFile for bytes that are not a readable TIFF (or hold no page). With
// damage given, a file that breaks off (a directory that cannot be read, a page whose data runs
// past the end) gives the pages before the break instead, and damage holds the error (number 0
// when the file is whole).
std::vector<Directory> readDirectories(const QByteArray &file, VbError *damage = nullptr);

// Decodes one directory: Format_Mono (bilevel), Grayscale8 or RGB888, dots per metre set.
QImage decode(const QByteArray &file, int directory);
// Pages decoded by this process so far (what a road costs in decodes).
qint64 decodeCount();

struct OutPage {
    // Copy the compressed strips of this directory as they are (when set) ...
    const QByteArray *rawFile = nullptr;
    int rawDirectory = -1;
    // ... or encode these pixels.
    QImage image;
    double xDpi = 0;
    double yDpi = 0;
    QByteArray annotations;
};

// True when a stored page can be written again without decoding.
bool canCopyRaw(const QelPageInfo &info);

QByteArray write(const std::vector<OutPage> &pages);

// Image turned by quarter turns clockwise (any of the three page formats).
QImage rotated(const QImage &image, int quarterTurns);

}
