#pragma once
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/imaging/pagedocument.h"
#include "platform/vb/vberror.h"

// Multi-page TIFF in memory through libtiff: directory scan without decoding, page decode,
// and writing with raw strip copies where a page is stored unchanged.
namespace tiffcodec {

// Private tag of a page's directory holding its annotation set.
constexpr unsigned AnnotationTag = 65101;

// Largest decoded page accepted (pixels), and its longest side: a page whose header claims more
// is damaged.
constexpr qint64 MaxPixels = qint64(1) << 28;
constexpr qint64 MaxSide = qint64(1) << 18;

struct Directory {
    QelPageInfo info;
    QByteArray annotations;
};

class Handle;
struct OutPage;

// A disk file as it was when opened: the same again only while it is unchanged.
struct FileId {
    quint64 dev = 0, ino = 0;
    qint64 size = 0, sec = 0, nsec = 0;
    bool operator==(const FileId &) const = default;
};

// A TIFF in memory (its bytes, or a disk file mapped) read through one handle that stays open,
// so a page is reached without reading the directories before it again.
class File {
public:
    File(QByteArray bytes = {}); // NOLINT: bytes are a file
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    // A disk file mapped (read when it cannot be), or the content of a "mem:" file. Raises
    // ezErr::FileNotFound.
    static std::shared_ptr<const File> open(const QString &path);
    // A disk file read as it is asked for, never mapped (another may cut it short meanwhile: a
    // read then fails, where a mapping would kill the process). Raises ezErr::FileNotFound.
    static std::shared_ptr<const File> openUnmapped(const QString &path);
    // Takes the marks of the pages of from known to decode, this being a whole copy of it.
    void takeMarks(const File &from) const;
    // The bytes in memory (none for a file opened unmapped).
    const QByteArray &bytes() const { return m_bytes; }
    qint64 size() const { return m_size; }
    int descriptor() const { return m_fd; }

private:
    friend struct FileAccess;
    friend std::vector<std::shared_ptr<const File>> coded(const std::vector<OutPage> &pages);

    QByteArray m_bytes;
    void *m_map = nullptr; // the disk file's pages m_bytes lies on
    int m_fd = -1;         // or the file read through its descriptor
    qint64 m_size = 0;
    mutable std::unique_ptr<Handle> m_reader;
    mutable std::mutex m_lock;
    mutable std::set<int> m_sound; // directories known to decode
    bool m_allSound = false;       // a file this process wrote
    std::optional<FileId> m_id;    // of a disk file
    mutable std::mutex m_soundLock;
};

// Raises ezErr::BadImageFile for bytes that are not a readable TIFF (or hold no page). A page
// whose data runs past the end is marked damaged. With damage given, a file that breaks off (a
// directory that cannot be read) gives the pages before the break instead, and damage holds the
// first error, a damaged page's too (number 0 when the file is whole).
std::vector<Directory> readDirectories(const File &file, VbError *damage = nullptr);

// Decodes one directory: Format_Mono (bilevel), Grayscale8 (grey of any depth) or RGB888 (any
// other layout), each pixel as libtiff's RGBA reader gives it laid on white paper (a grey page of
// 16 bits or with alpha in tiles from its samples, which that reader garbles), dots per metre set.
QImage decode(const File &file, int directory);
// Decodes one directory made smaller by a whole factor as its rows come (see QelRowReducer):
// Grayscale8 for bilevel and grey pages, RGB32 for colour; factor 1 is decode(). A decode in the
// background (that no one waits for) keeps to its own thread, leaving the others to the screen.
QImage decodeReduced(const File &file, int directory, int factor, bool background = false);
// Pages decoded by this process so far (what a road costs in decodes).
qint64 decodeCount();
// Pages checked to decode before they were copied as stored (see write), so far.
qint64 checkCount();

struct OutPage {
    // Copy the compressed strips of this directory as they are (when set; a directory that
    // cannot be copied is decoded and encoded a row at a time as it is written, a JPEG page as
    // JPEG at the quality it had) ...
    const File *rawFile = nullptr;
    int rawDirectory = -1;
    // With a canvas (and a raw page): the page's rows written on that larger canvas, the new
    // pixels in the fill colour, decoded and encoded a row at a time.
    QSize canvas;
    QRgb fill = 0xFFFFFFFF;
    // With a raw palette, 2- or 4-bit grey or kept-samples page: turned by quarter turns clockwise
    // (its samples turned, a map kept); other pages are written upright. With image and a layout
    // page that is the page itself: the turns its pixels were turned by from that page.
    int turns = 0;
    // ... or encode these pixels (as JPEG at this quality when set, unless bilevel; else in the
    // lossless coding of the page they came from when it is Deflate or PackBits, else LZW).
    QImage image;
    int jpegQuality = 0;
    // A colour JPEG page's chroma samples across and down: halved (2) or each pixel's (1).
    uint16_t jpegChroma[2] = {2, 2};
    uint16_t lossless = 0;
    // With image: the stored page whose layout the pixels keep where they fit it (its palette,
    // its 2- or 4-bit grey, JPEG at its quality, its lossless coding).
    const File *layoutFile = nullptr;
    int layoutDirectory = -1;
    // When that page is the page itself (turned by turns), the areas annotations were burned
    // into: outside them its own samples are written where its layout holds more than the
    // pixels (16 bits, alpha); inside them no stored sample is kept.
    bool layoutIsPage = false;
    QList<QRect> drawn;
    double xDpi = 0;
    double yDpi = 0;
    QByteArray annotations;
};

// A page copied as it is stored is checked to decode first (unless unchecked). Raises
// ezErr::BadImageFile for a page that does not (nothing written), ezErr::WriteFailed.
QByteArray write(const std::vector<OutPage> &pages, bool checked = true);
// Each page coded alone into a file of its own (known to decode), side by side.
std::vector<std::shared_ptr<const File>> coded(const std::vector<OutPage> &pages);
// What readDirectories gives for the page write() codes from p.image (p.jpegQuality 0), known
// without coding it.
QelPageInfo codedInfo(const OutPage &p);
// Writes straight into the file (a disk file under a temporary name, renamed into place when
// whole; a "mem:" file when complete). Raises ezErr::WriteFailed. Unchecked, pages copied as
// stored are not checked to decode, and a later open of the file checks them as ones it did
// not write (a copy kept only to be put back).
void write(const QString &path, const std::vector<OutPage> &pages, bool checked = true);

// Image turned by quarter turns clockwise (any of the three page formats).
QImage rotated(const QImage &image, int quarterTurns);

}
