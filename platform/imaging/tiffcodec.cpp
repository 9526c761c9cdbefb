#include "platform/imaging/tiffcodec.h"

#include <QFile>
#include <QHash>
#include <QLoggingCategory>
#include <QThreadPool>
#include <QTransform>

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <numeric>
#include <cstring>
#include <mutex>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/imaging/imagingerror.h"
#include "platform/imaging/memfiles.h"
#include "platform/imaging/reduction.h"

Q_LOGGING_CATEGORY(lcImaging, "quorla.imaging")

namespace tiffcodec {
namespace {

constexpr tmsize_t MaxSingleAlloc = tmsize_t(512) * 1024 * 1024;
constexpr int MaxDirectories = 100000;
constexpr qint64 StripBytesHeld = qint64(16) << 20; // decoded strips held whole, at most
std::atomic<qint64> g_decodes{0};
std::atomic<qint64> g_checks{0};

// ---- tag registration ------------------------------------------------------------------
TIFFExtendProc g_parentExtender = nullptr;

void extendTags(TIFF *tif)
{
    static const TIFFFieldInfo fields[] = {
        {ttag_t(AnnotationTag), TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1,
         const_cast<char *>("QuorlaAnnotations")},
    };
    TIFFMergeFieldInfo(tif, fields, 1);
    if (g_parentExtender)
        g_parentExtender(tif);
}

void registerTags()
{
    static std::once_flag once;
    std::call_once(once, [] { g_parentExtender = TIFFSetTagExtender(extendTags); });
}

// ---- memory I/O ---------------------------------------------------------------------------
struct MemIO {
    const char *data = nullptr;   // reading
    qint64 size = 0;
    QByteArray *out = nullptr;    // writing into memory ...
    int fd = -1;                  // ... or straight into an open file
    qint64 pos = 0;
};

const char *ioData(const MemIO &m) { return m.out ? m.out->constData() : m.data; }

tmsize_t ioRead(thandle_t h, void *buf, tmsize_t n)
{
    auto *m = static_cast<MemIO *>(h);
    if (m->fd >= 0) {
        if (n < 0)
            return 0;
        const ssize_t k = ::pread(m->fd, buf, size_t(n), off_t(m->pos));
        m->pos += std::max<qint64>(k, 0);
        return tmsize_t(k);
    }
    if (n < 0 || m->pos >= m->size)
        return 0;
    qint64 k = std::min<qint64>(n, m->size - m->pos);
    std::memcpy(buf, ioData(*m) + m->pos, size_t(k));
    m->pos += k;
    return tmsize_t(k);
}

tmsize_t ioWrite(thandle_t h, void *buf, tmsize_t n)
{
    auto *m = static_cast<MemIO *>(h);
    if (m->fd >= 0) {
        // what libtiff hands over goes to the file at once: no copy into a buffer of our own
        const char *p = static_cast<const char *>(buf);
        for (tmsize_t done = 0; done < n;) {
            const ssize_t k = ::pwrite(m->fd, p + done, size_t(n - done), off_t(m->pos + done));
            if (k <= 0)
                return -1;
            done += k;
        }
        m->pos += n;
        m->size = std::max(m->size, m->pos);
        return n;
    }
    if (!m->out || n < 0)
        return -1;
    qint64 end = m->pos + n;
    if (end > m->out->size()) {
        if (end > m->out->capacity())
            m->out->reserve(std::max<qint64>(end, m->out->capacity() * 2));
        m->out->resize(end);
    }
    std::memcpy(m->out->data() + m->pos, buf, size_t(n));
    m->pos = end;
    m->size = std::max(m->size, end);
    return n;
}

toff_t ioSeek(thandle_t h, toff_t off, int whence)
{
    auto *m = static_cast<MemIO *>(h);
    qint64 base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
    qint64 p = base + qint64(off);
    if (p < 0 || (!m->out && m->fd < 0 && p > m->size))
        return toff_t(-1);
    m->pos = p;
    return toff_t(p);
}

int ioClose(thandle_t) { return 0; }
toff_t ioSize(thandle_t h) { return toff_t(static_cast<MemIO *>(h)->size); }

int ioMap(thandle_t h, void **base, toff_t *size)
{
    auto *m = static_cast<MemIO *>(h);
    if (m->out || m->fd >= 0)
        return 0;
    *base = const_cast<char *>(m->data);
    *size = toff_t(m->size);
    return 1;
}

void ioUnmap(thandle_t, void *, toff_t) {}

// The part of libtiff that speaks, left out where it names the handle (a name of ours, not the
// operator's file).
QString speaker(TIFF *tif, const char *module)
{
    if (!module || !*module || (tif && std::strcmp(module, TIFFFileName(tif)) == 0))
        return {};
    return QString::fromUtf8(module) + QStringLiteral(": ");
}

int onError(TIFF *tif, void *user, const char *module, const char *fmt, va_list ap)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    auto *err = static_cast<QString *>(user);
    if (err->isEmpty())
        *err = speaker(tif, module) + QString::fromUtf8(buf);
    return 1;
}

// Warnings are logged; those of the JPEG and fax decoders tell of damaged data and count as
// errors.
int onWarning(TIFF *tif, void *user, const char *module, const char *fmt, va_list ap)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    const QString from = QString::fromUtf8(module ? module : "");
    qCWarning(lcImaging) << from << buf;
    auto *err = static_cast<QString *>(user);
    if ((from == u"JPEGLib" || from.startsWith(u"Fax")) && err->isEmpty())
        *err = speaker(tif, module) + QString::fromUtf8(buf);
    return 1;
}

} // namespace

// One open TIFF over memory or a file being written; closes itself.
class Handle {
public:
    // mode "rh": the header only, no directory read yet
    explicit Handle(const QByteArray &in, const char *mode = "r")
    {
        m_io.data = in.constData();
        m_io.size = in.size();
        open(mode);
    }
    explicit Handle(QByteArray *out) { m_io.out = out; open("w"); }
    explicit Handle(int fd) { m_io.fd = fd; open("w"); }
    // A file read through its descriptor (never mapped), size bytes long.
    Handle(int fd, qint64 size, const char *mode)
    {
        m_io.fd = fd;
        m_io.size = size;
        open(mode);
    }
    // The handle for reading a file, as it is held.
    static std::unique_ptr<Handle> reading(const File &file, const char *mode)
    {
        return file.descriptor() >= 0 ? std::make_unique<Handle>(file.descriptor(), file.size(), mode)
                                      : std::make_unique<Handle>(file.bytes(), mode);
    }
    ~Handle() { close(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    TIFF *tif() const { return m_tif; }
    const QString &error() const { return m_error; }
    // A handle kept open forgets the error of its last use (not that of opening).
    void clearError()
    {
        if (m_tif)
            m_error.clear();
    }
    bool close()
    {
        if (m_tif) {
            TIFFClose(m_tif);
            m_tif = nullptr;
            if (m_io.out)
                m_io.out->resize(m_io.size);
        }
        return m_error.isEmpty();
    }

private:
    void open(const char *mode)
    {
        registerTags();
        TIFFOpenOptions *o = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(o, onError, &m_error);
        TIFFOpenOptionsSetWarningHandlerExtR(o, onWarning, &m_error);
        TIFFOpenOptionsSetMaxSingleMemAlloc(o, MaxSingleAlloc);
        m_tif = TIFFClientOpenExt("memory", mode, thandle_t(&m_io), ioRead, ioWrite, ioSeek,
                                  ioClose, ioSize, ioMap, ioUnmap, o);
        TIFFOpenOptionsFree(o);
    }

    MemIO m_io;
    TIFF *m_tif = nullptr;
    QString m_error;
};

namespace {

// Disk files this process wrote whole, the latest few (their pages known to decode), and the
// disk files open now: one open keeps its file from being reused under the same identity, so
// another open of it may take its marks.
std::mutex g_knownLock;
std::vector<FileId> g_written;
std::vector<std::weak_ptr<const File>> g_open;

FileId identity(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec),
            qint64(st.st_mtim.tv_nsec)};
}

} // namespace

// The handle a file keeps, opened on first use; the caller holds the lock.
struct FileAccess {
    static std::mutex &lock(const File &file) { return file.m_lock; }
    // Directories decoded whole without an error.
    static bool sound(const File &file, int directory)
    {
        std::lock_guard g(file.m_soundLock);
        return file.m_allSound || file.m_sound.contains(directory);
    }
    static void setSound(const File &file, int directory)
    {
        std::lock_guard g(file.m_soundLock);
        file.m_sound.insert(directory);
    }
    // A disk file just opened takes the marks of its opens still open, or is one written here.
    static void opened(const std::shared_ptr<File> &file, const struct stat &st)
    {
        file->m_id = identity(st);
        std::lock_guard g(g_knownLock);
        file->m_allSound = std::find(g_written.begin(), g_written.end(), *file->m_id) != g_written.end();
        std::erase_if(g_open, [](const auto &w) { return w.expired(); });
        for (const auto &w : g_open)
            if (const auto other = w.lock(); other && other->m_id == file->m_id) {
                std::lock_guard o(other->m_soundLock);
                file->m_sound.insert(other->m_sound.begin(), other->m_sound.end());
            }
        g_open.push_back(file);
    }
    static Handle &reader(const File &file, bool fresh = false)
    {
        if (!file.m_reader || fresh)
            file.m_reader = Handle::reading(file, "r");
        return *file.m_reader;
    }
};

namespace {

[[noreturn]] void badFile(const Handle &h, const char *what)
{
    raiseImagingError(ezErr::BadImageFile,
                      h.error().isEmpty() ? QString::fromLatin1(what) : h.error());
}

double toDpi(float value, uint16_t unit)
{
    if (!(value > 0) || value > 1e6f)
        return 0;
    return unit == RESUNIT_CENTIMETER ? double(value) * 2.54 : double(value);
}

// What a decoded row holds: packed bits, a grey byte a pixel, or three bytes of RGB.
enum class Kind { Bilevel, Grey, Rgb };

struct Fields {
    uint32_t width = 0, height = 0;     // as shown (rows and columns swapped for orientations 5-8)
    uint32_t storedWidth = 0, storedHeight = 0;
    uint32_t rowsPerBand = 1; // rows a strip (or a row of tiles) holds
    uint16_t bps = 1, spp = 1, compression = 1, photometric = 0, planar = 1, orientation = 1;
    uint16_t unit = RESUNIT_INCH;
    float xres = 0, yres = 0;
    bool tiled = false;
    uint16_t alpha = 0; // the extra sample libtiff's RGBA reader takes as alpha (EXTRASAMPLE_*)
    // How the stored samples become rows of the page's kind in our own reader (None: libtiff's
    // RGBA reader reads them): bilevel bits, grey levels, palette indexes, RGB or CMYK samples.
    enum class Samples { None, Bits, Grey, Palette, Rgb, Cmyk, Lab } samples = Samples::None;

    Kind kind() const
    {
        const bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
        if (grey && spp == 1 && bps == 1)
            return Kind::Bilevel;
        return grey ? Kind::Grey : Kind::Rgb;
    }
    // Rows decoded as they are stored; other layouts come through libtiff's RGBA reader.
    bool direct() const
    {
        if (tiled || planar != PLANARCONFIG_CONTIG || orientation != ORIENTATION_TOPLEFT)
            return false;
        switch (kind()) {
        case Kind::Bilevel:
            return true;
        case Kind::Grey:
            return bps == 8 && spp == 1;
        case Kind::Rgb:
            // JPEG pages in YCbCr are read as RGB rows (the codec converts them)
            return (photometric == PHOTOMETRIC_PALETTE && bps == 8 && spp == 1)
                   || (bps == 8 && spp == 3
                       && (photometric == PHOTOMETRIC_RGB || (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG)));
        }
        return false;
    }
    // Rows of 1-, 2-, 4- or 8-bit indexes into a colour map, or of 2- or 4-bit grey, in strips, in
    // any orientation: stored again at their depth.
    bool packedRows() const
    {
        const bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
        return spp == 1
               && ((photometric == PHOTOMETRIC_PALETTE && (bps == 1 || bps == 2 || bps == 4 || bps == 8))
                   || (grey && (bps == 2 || bps == 4)));
    }
    bool paletteIndexes() const { return photometric == PHOTOMETRIC_PALETTE && packedRows(); }
    // Rows of 16-bit grey or RGB samples, or of grey or RGB with alpha (8 or 16 bits), in strips
    // or tiles (RGB also in planes apart), in any orientation: stored again as their samples are
    // (keeping depth and alpha).
    bool keptSamples() const
    {
        const bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
        if (bps != 8 && bps != 16)
            return false;
        if (grey)
            return planar == PLANARCONFIG_CONTIG && ((spp == 1 && bps == 16) || (spp == 2 && alpha));
        return photometric == PHOTOMETRIC_RGB && ((spp == 3 && bps == 16) || (spp == 4 && alpha));
    }
    // How the decoded rows are to be read: our own reader's bilevel and grey rows in the stored
    // photometric; RGBA rows give bilevel rows with 1 black and grey rows with 0 black.
    uint16_t rowPhotometric() const
    {
        if (kind() == Kind::Rgb)
            return PHOTOMETRIC_RGB;
        if (samples != Samples::None)
            return photometric;
        return kind() == Kind::Bilevel ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    }
    // Stored rows are the shown page's columns.
    bool transposed() const { return orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT; }
    bool vFlipped() const
    {
        return orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT
               || orientation == ORIENTATION_RIGHTBOT || orientation == ORIENTATION_LEFTBOT;
    }
    // Stored rows are shown right to left (orientations 2 and 3).
    bool hFlipped() const { return orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT; }
};

// The layouts our own reader turns into rows as libtiff's RGBA reader would (grey of 1 to 16
// bits, palettes, RGB and RGBA of 8 or 16 bits, CMYK, CIE L*a*b*, JPEG colour as RGB; strips or
// tiles, planes side by side or apart); others are left to that reader.
Fields::Samples sampleKind(const Fields &f)
{
    using S = Fields::Samples;
    const bool grey = f.photometric == PHOTOMETRIC_MINISWHITE || f.photometric == PHOTOMETRIC_MINISBLACK;
    const bool contig = f.planar == PLANARCONFIG_CONTIG;
    if (f.compression == COMPRESSION_OJPEG)
        return S::None;
    if (f.spp == 1 && grey)
        return f.bps == 1 ? S::Bits : f.bps == 2 || f.bps == 4 || f.bps == 8 || f.bps == 16 ? S::Grey : S::None;
    if (f.spp == 2 && grey && contig && (f.bps == 8 || f.bps == 16))
        return S::Grey; // with alpha, or another extra sample
    if (f.spp == 1 && f.photometric == PHOTOMETRIC_PALETTE)
        return f.bps == 1 || f.bps == 2 || f.bps == 4 || f.bps == 8 ? S::Palette : S::None;
    if ((f.photometric == PHOTOMETRIC_RGB && f.spp >= 3 && (f.bps == 8 || f.bps == 16))
        || (f.photometric == PHOTOMETRIC_YCBCR && f.compression == COMPRESSION_JPEG && contig && f.spp == 3 && f.bps == 8))
        return S::Rgb;
    if (f.photometric == PHOTOMETRIC_SEPARATED && f.bps == 8 && f.spp >= 4 && (contig || f.spp == 4))
        return S::Cmyk;
    if (f.photometric == PHOTOMETRIC_CIELAB && f.bps == 8 && f.spp == 3 && contig)
        return S::Lab;
    return S::None;
}

// Copies a page's extra samples tag (what its last sample is) when it has one.
void copyExtraSamples(TIFF *from, TIFF *to)
{
    uint16_t n = 0;
    uint16_t *info = nullptr;
    if (TIFFGetField(from, TIFFTAG_EXTRASAMPLES, &n, &info) && n > 0 && info)
        TIFFSetField(to, TIFFTAG_EXTRASAMPLES, n, info);
}

// An opaque pixel of colour c (8-bit samples) in a page's kept samples (keptSamples), into out:
// each sample widened to the page's depth, alpha full.
void opaquePixel(const Fields &f, QRgb c, uchar *out)
{
    const bool grey = f.photometric != PHOTOMETRIC_RGB;
    int v[4] = {qRed(c), qGreen(c), qBlue(c), 255};
    if (grey)
        v[0] = f.photometric == PHOTOMETRIC_MINISWHITE ? 255 - qGray(c) : qGray(c);
    for (size_t i = 0; i < f.spp; ++i) {
        const int sample = grey && i > 0 ? 255 : !grey && i > 3 ? 255 : v[i];
        if (f.bps == 16) {
            const uint16_t wide = uint16_t(sample * 257);
            std::memcpy(out + 2 * i, &wide, 2);
        } else {
            out[i] = uchar(sample);
        }
    }
}

// Strips of such a directory can be written again as they are.
bool rawCopyable(const Fields &f)
{
    const Kind k = f.kind();
    return (f.direct() || ((f.keptSamples() || f.packedRows()) && !f.tiled && f.orientation == ORIENTATION_TOPLEFT))
           && ((k == Kind::Bilevel && f.compression == COMPRESSION_CCITTFAX4)
               || (k != Kind::Bilevel
                   && (f.compression == COMPRESSION_LZW || f.compression == COMPRESSION_JPEG
                       || f.compression == COMPRESSION_ADOBE_DEFLATE || f.compression == COMPRESSION_DEFLATE
                       || f.compression == COMPRESSION_PACKBITS)));
}

// The lossless coding of a page written again: its own where it is one we write, else LZW.
uint16_t losslessCoding(uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return COMPRESSION_ADOBE_DEFLATE;
    case COMPRESSION_PACKBITS:
        return COMPRESSION_PACKBITS;
    default:
        return COMPRESSION_LZW;
    }
}

// Sets a lossless coding; LZW and Deflate take the horizontal predictor when asked.
void setLossless(TIFF *t, uint16_t coding, bool predictor)
{
    TIFFSetField(t, TIFFTAG_COMPRESSION, coding);
    if (predictor && coding != COMPRESSION_PACKBITS)
        TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL));
}

// Bytes of a decoded row.
qsizetype rowBytesOf(const Fields &f)
{
    return f.kind() == Kind::Bilevel ? (qsizetype(f.width) + 7) / 8
                                     : qsizetype(f.width) * (f.kind() == Kind::Grey ? 1 : 3);
}

Fields readFields(const Handle &h)
{
    TIFF *t = h.tif();
    Fields f;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &f.width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &f.height))
        badFile(h, "page without width or length");
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &f.bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &f.spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &f.planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &f.orientation);
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &f.unit);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &f.photometric))
        f.photometric = f.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    TIFFGetField(t, TIFFTAG_XRESOLUTION, &f.xres);
    TIFFGetField(t, TIFFTAG_YRESOLUTION, &f.yres);
    f.tiled = TIFFIsTiled(t);
    if (f.tiled)
        TIFFGetFieldDefaulted(t, TIFFTAG_TILELENGTH, &f.rowsPerBand);
    else
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &f.rowsPerBand);
    if (f.compression == COMPRESSION_JPEG && f.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    // sizes no page has, and rows or tiles too long to hold
    if (f.width == 0 || f.height == 0)
        badFile(h, "empty page");
    if (f.width > MaxSide || f.height > MaxSide || qint64(f.width) * qint64(f.height) > MaxPixels)
        badFile(h, "page size out of range");
    if (f.spp == 0 || f.bps == 0 || (uint64_t(f.width) * f.bps * f.spp + 7) / 8 > uint64_t(MaxSingleAlloc))
        badFile(h, "rows too long");
    if (f.tiled) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
        if (tw == 0 || th == 0 || tw > MaxSide || th > MaxSide || TIFFTileSize64(t) > uint64_t(MaxSingleAlloc))
            badFile(h, "tiles out of range");
    }
    f.rowsPerBand = std::clamp<uint32_t>(f.rowsPerBand, 1, f.height);
    // the extra sample taken as alpha, as libtiff's RGBA reader takes it
    uint16_t extras = 0;
    uint16_t *info = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extras, &info);
    if (extras >= 1 && info) {
        if (info[0] == EXTRASAMPLE_UNSPECIFIED && f.spp > 3)
            f.alpha = EXTRASAMPLE_ASSOCALPHA;
        else if (info[0] == EXTRASAMPLE_ASSOCALPHA || info[0] == EXTRASAMPLE_UNASSALPHA)
            f.alpha = info[0];
    } else if (extras == 0 && f.spp == 4 && f.photometric == PHOTOMETRIC_RGB) {
        f.alpha = EXTRASAMPLE_ASSOCALPHA;
    }
    f.samples = sampleKind(f);
    if (f.samples != Fields::Samples::None) {
        char emsg[1024] = "";
        if (!TIFFRGBAImageOK(t, emsg))
            f.samples = Fields::Samples::None; // refused as that reader refuses it
    }
    f.storedWidth = f.width;
    f.storedHeight = f.height;
    if (f.transposed()) {
        std::swap(f.width, f.height);
        std::swap(f.xres, f.yres);
    }
    return f;
}

// A JPEG page's chroma sampling across and down, to code it again with: a YCbCr page's own, an
// RGB page's every pixel.
void jpegChroma(TIFF *t, const Fields &f, uint16_t chroma[2])
{
    chroma[0] = chroma[1] = 1;
    if (f.photometric == PHOTOMETRIC_YCBCR)
        TIFFGetFieldDefaulted(t, TIFFTAG_YCBCRSUBSAMPLING, &chroma[0], &chroma[1]);
}

// The quality a JPEG page was coded at (IJG scaling of the standard tables), read from its
// luminance quantisation table; 0 for other pages.
int jpegQuality(TIFF *t, const Fields &f)
{
    if (f.compression != COMPRESSION_JPEG)
        return 0;
    static const int standard[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    // the tables the strips share, else the head of the first strip
    QByteArray bytes;
    uint32_t count = 0;
    void *tables = nullptr;
    if (TIFFGetField(t, TIFFTAG_JPEGTABLES, &count, &tables) && tables && count > 0) {
        bytes = QByteArray(static_cast<const char *>(tables), qsizetype(count));
    } else {
        bytes.resize(4096);
        const tmsize_t n = TIFFReadRawStrip(t, 0, bytes.data(), tmsize_t(bytes.size()));
        bytes.resize(std::max<qsizetype>(0, qsizetype(n)));
    }
    const auto *b = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 2; i + 4 <= n;) {
        if (b[i] != 0xFF) {
            ++i;
            continue;
        }
        const uchar marker = b[i + 1];
        const qsizetype len = (b[i + 2] << 8) | b[i + 3];
        if (marker == 0xDA || marker == 0xD9)
            break;
        if (marker == 0xDB) {
            for (qsizetype at = i + 4; at < i + 2 + len && at < n;) {
                const int precision = b[at] >> 4, id = b[at] & 15;
                const qsizetype size = 64 * (precision ? 2 : 1);
                if (at + 1 + size > n)
                    break;
                if (id == 0) {
                    long sum = 0, ref = 0;
                    for (int k = 0; k < 64; ++k) {
                        sum += precision ? (b[at + 1 + 2 * k] << 8) | b[at + 2 + 2 * k] : b[at + 1 + k];
                        ref += standard[k];
                    }
                    const double scale = 100.0 * double(sum) / double(ref);
                    const double q = scale <= 100 ? (200 - scale) / 2 : 5000 / scale;
                    return std::clamp(int(std::lround(q)), 1, 100);
                }
                at += 1 + size;
            }
        }
        i += 2 + len;
    }
    return 75;
}

void setDpm(QImage &img, double xDpi, double yDpi)
{
    if (xDpi > 0)
        img.setDotsPerMeterX(qRound(xDpi / 0.0254));
    if (yDpi > 0)
        img.setDotsPerMeterY(qRound(yDpi / 0.0254));
}

void writeResolution(TIFF *t, double xDpi, double yDpi)
{
    if (xDpi > 0 && yDpi > 0) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, float(xDpi));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, float(yDpi));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    }
}

void writeAnnotations(TIFF *t, const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        TIFFSetField(t, ttag_t(AnnotationTag), uint32_t(bytes.size()), bytes.constData());
}

// The file's handle on the given directory.
Handle &atDirectory(const File &file, int directory)
{
    Handle *reader = &FileAccess::reader(file);
    reader->clearError();
    if (!reader->tif() || directory < 0 || !TIFFSetDirectory(reader->tif(), tdir_t(directory)))
        badFile(*reader, "page directory not found");
    // Once a JPEG page's colours were asked for as RGB, libtiff sizes the rows of every later
    // YCbCr page of the handle as if not subsampled: such a page is read on a handle just opened.
    uint16_t photometric = 0, compression = COMPRESSION_NONE;
    TIFFGetField(reader->tif(), TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(reader->tif(), TIFFTAG_COMPRESSION, &compression);
    if (photometric == PHOTOMETRIC_YCBCR && compression != COMPRESSION_JPEG) {
        reader = &FileAccess::reader(file, true);
        if (!reader->tif() || !TIFFSetDirectory(reader->tif(), tdir_t(directory)))
            badFile(*reader, "page directory not found");
    }
    Handle &h = *reader;
    // A page whose bits libtiff reverses is read through a buffer of its own; after a page read
    // straight from the mapped file, libtiff would take the mapping for a caller's buffer too
    // small for the strip.
    uint16_t fill = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(h.tif(), TIFFTAG_FILLORDER, &fill);
    if (fill == FILLORDER_LSB2MSB && !TIFFReadBufferSetup(h.tif(), nullptr, 1024))
        badFile(h, "no memory for the page");
    return h;
}

// The offset of a directory of the file, to open a handle of one's own on it.
uint64_t directoryOffset(const File &file, int directory)
{
    std::lock_guard lock(FileAccess::lock(file));
    return TIFFCurrentDirOffset(atDirectory(file, directory).tif());
}

// A handle of one's own on the file's bytes, at the directory at that offset.
std::unique_ptr<Handle> ownHandle(const File &file, uint64_t offset)
{
    auto own = Handle::reading(file, "rh");
    if (!own->tif() || !TIFFSetSubDirectory(own->tif(), offset))
        badFile(*own, "page directory not found");
    return own;
}

// The colour map of a palette page, RGB bytes for each of its entries (256, black past the
// page's own), scaled as libtiff's RGBA reader scales it (a map whose values all fit in 8 bits
// is taken as 8-bit).
std::vector<uchar> colourTable(const Handle &h)
{
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr, bps = 8;
    if (!TIFFGetField(h.tif(), TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
        badFile(h, "palette page without a colour map");
    TIFFGetFieldDefaulted(h.tif(), TIFFTAG_BITSPERSAMPLE, &bps);
    const int entries = 1 << std::min<int>(bps, 8);
    bool wide = false;
    for (int i = 0; i < entries; ++i)
        wide = wide || r[i] >= 256 || g[i] >= 256 || b[i] >= 256;
    const int shift = wide ? 8 : 0;
    std::vector<uchar> out(256 * 3);
    for (int i = 0; i < entries; ++i) {
        out[size_t(i) * 3] = uchar(r[i] >> shift);
        out[size_t(i) * 3 + 1] = uchar(g[i] >> shift);
        out[size_t(i) * 3 + 2] = uchar(b[i] >> shift);
    }
    return out;
}

// A page as stored (rows as they lie) turned upright by its orientation.
QImage upright(const QImage &stored, int o)
{
    switch (o) {
    case ORIENTATION_TOPRIGHT:
        return stored.mirrored(true, false);
    case ORIENTATION_BOTRIGHT:
        return stored.mirrored(true, true);
    case ORIENTATION_BOTLEFT:
        return stored.mirrored(false, true);
    case ORIENTATION_LEFTTOP: // transposed
        return rotated(stored, 1).mirrored(true, false);
    case ORIENTATION_RIGHTTOP: // turned clockwise
        return rotated(stored, 1);
    case ORIENTATION_RIGHTBOT: // turned and upside down
        return rotated(stored, 1).mirrored(false, true);
    case ORIENTATION_LEFTBOT: // turned anticlockwise
        return rotated(stored, 3);
    default:
        return stored;
    }
}

// Indexes (or levels) of bps bits packed in a row, a byte each.
void unpackIndexes(const uchar *in, uint32_t w, int bps, uchar *out)
{
    if (bps == 8) {
        std::memcpy(out, in, w);
        return;
    }
    // each byte's samples, for 1, 2 and 4 bits
    static const auto tables = [] {
        std::array<std::array<uchar, 256 * 8>, 3> t{};
        for (int k = 0; k < 3; ++k) {
            const int bits = 1 << k, per = 8 / bits, mask = (1 << bits) - 1;
            for (int b = 0; b < 256; ++b)
                for (int i = 0; i < per; ++i)
                    t[size_t(k)][size_t(b * 8 + i)] = uchar((b >> (8 - bits * (i + 1))) & mask);
        }
        return t;
    }();
    const auto &table = tables[bps == 1 ? 0 : bps == 2 ? 1 : 2];
    const uint32_t per = 8 / uint32_t(bps), whole = w / per;
    for (uint32_t b = 0; b < whole; ++b)
        std::memcpy(out + size_t(b) * per, &table[size_t(in[b]) * 8], per);
    if (const uint32_t rest = w - whole * per)
        std::memcpy(out + size_t(whole) * per, &table[size_t(in[whole]) * 8], rest);
}

// The stored rows of a page in strips or tiles, their planes side by side: a band of whole strips
// (or a row of tiles) decoded at a time, any row asked for in any order (the band holding it
// decoded when it is not the one held). Whole strips decode faster than a row at a time
// (libtiff's Deflate and JPEG decoders take them in one piece); strips too large to hold are read
// a row at a time when the rows are asked for in order.
class StoredBands {
public:
    StoredBands(Handle &h, const Fields &f, bool inOrder = true) : m_h(h), m_f(f)
    {
        TIFF *t = h.tif();
        m_planes = f.planar == PLANARCONFIG_SEPARATE && f.spp > 1 ? f.spp : 1;
        const size_t pieceBits = size_t(f.bps) * (m_planes > 1 ? 1 : f.spp);
        if (m_planes > 1 && f.bps != 8 && f.bps != 16)
            badFile(h, "unexpected sample planes");
        m_rowBytes = (size_t(f.storedWidth) * f.bps * f.spp + 7) / 8;
        m_pieceRow = (size_t(f.storedWidth) * pieceBits + 7) / 8;
        if (f.tiled) {
            TIFFGetField(t, TIFFTAG_TILEWIDTH, &m_tw);
            TIFFGetField(t, TIFFTAG_TILELENGTH, &m_th);
            m_tileRow = (size_t(m_tw) * pieceBits + 7) / 8;
            if (m_tw == 0 || m_th == 0 || m_tw % 8 || TIFFTileSize64(t) != uint64_t(m_tileRow) * m_th
                || uint64_t(m_tileRow) * m_th > uint64_t(MaxSingleAlloc))
                badFile(h, "unexpected tile size");
            m_unit = m_th;
        } else {
            if (TIFFScanlineSize64(t) != m_pieceRow)
                badFile(h, "unexpected row size");
            m_unit = f.rowsPerBand;
            m_rowByRow = inOrder && m_planes == 1 && uint64_t(m_unit) * m_rowBytes > uint64_t(StripBytesHeld);
            if (m_rowByRow)
                m_unit = 1;
        }
        if (uint64_t(m_unit) * m_rowBytes > uint64_t(MaxSingleAlloc))
            badFile(h, "strips too large");
    }

    size_t rowBytes() const { return m_rowBytes; }

    const uchar *row(uint32_t r)
    {
        if (r < m_first || r >= m_first + m_rows)
            load(r / m_unit * m_unit);
        return m_band.data() + size_t(r - m_first) * m_rowBytes;
    }

private:
    void load(uint32_t first)
    {
        TIFF *t = m_h.tif();
        const uint32_t rows = std::min(m_unit, m_f.storedHeight - first);
        m_first = first;
        m_rows = 0;
        m_band.resize(size_t(rows) * m_rowBytes);
        if (m_rowByRow) {
            if (TIFFReadScanline(t, m_band.data(), first, 0) < 0)
                badFile(m_h, "unreadable strip");
        } else if (!m_f.tiled && m_planes == 1) {
            if (TIFFReadEncodedStrip(t, TIFFComputeStrip(t, first, 0), m_band.data(), tmsize_t(m_band.size())) < 0)
                badFile(m_h, "unreadable strip");
        } else if (!m_f.tiled) {
            m_piece.resize(size_t(rows) * m_pieceRow);
            for (int p = 0; p < m_planes; ++p) {
                if (TIFFReadEncodedStrip(t, TIFFComputeStrip(t, first, uint16_t(p)), m_piece.data(),
                                         tmsize_t(m_piece.size())) < 0)
                    badFile(m_h, "unreadable strip");
                for (uint32_t y = 0; y < rows; ++y)
                    interleave(m_piece.data() + size_t(y) * m_pieceRow, p, m_f.storedWidth,
                               m_band.data() + size_t(y) * m_rowBytes);
            }
        } else {
            m_piece.resize(m_tileRow * m_th);
            for (int p = 0; p < m_planes; ++p)
                for (uint32_t tx = 0; tx < m_f.storedWidth; tx += m_tw) {
                    if (TIFFReadTile(t, m_piece.data(), tx, first, 0, uint16_t(p)) < 0)
                        badFile(m_h, "unreadable tile");
                    const uint32_t n = std::min(m_tw, m_f.storedWidth - tx);
                    for (uint32_t y = 0; y < rows; ++y) {
                        const uchar *in = m_piece.data() + size_t(y) * m_tileRow;
                        uchar *out = m_band.data() + size_t(y) * m_rowBytes;
                        if (m_planes == 1) {
                            const size_t at = size_t(tx) * m_f.bps * m_f.spp / 8;
                            std::memcpy(out + at, in, std::min(m_tileRow, m_rowBytes - at));
                        } else {
                            interleave(in, p, n, out + size_t(tx) * m_f.spp * m_f.bps / 8);
                        }
                    }
                }
        }
        m_rows = rows;
    }

    // n samples of plane p into their places among the pixels' samples
    void interleave(const uchar *in, int p, uint32_t n, uchar *out) const
    {
        const size_t spp = m_f.spp;
        if (m_f.bps == 8) {
            for (uint32_t x = 0; x < n; ++x)
                out[x * spp + size_t(p)] = in[x];
        } else {
            const auto *i16 = reinterpret_cast<const uint16_t *>(in);
            auto *o16 = reinterpret_cast<uint16_t *>(out);
            for (uint32_t x = 0; x < n; ++x)
                o16[x * spp + size_t(p)] = i16[x];
        }
    }

    Handle &m_h;
    const Fields &m_f;
    int m_planes = 1;
    size_t m_rowBytes = 0, m_pieceRow = 0, m_tileRow = 0;
    uint32_t m_tw = 0, m_th = 0, m_unit = 1;
    bool m_rowByRow = false;
    std::vector<uchar> m_band, m_piece;
    uint32_t m_first = 0, m_rows = 0;
};

// A stored row of samples (planes side by side) as a row of the page's kind, as libtiff's RGBA
// reader gives it: bilevel bits and grey levels (on 8 bits) as stored, colour as RGB laid on
// white paper (a transparent pixel is white).
class SampleRow {
public:
    SampleRow(const Handle &h, const Fields &f) : m_f(f)
    {
        if (f.samples == Fields::Samples::Palette)
            m_colours = colourTable(h);
        if (f.samples == Fields::Samples::Lab) {
            // libtiff's own conversion, set up as its RGBA reader sets it up for the page
            char emsg[1024] = "";
            if (!TIFFRGBAImageBegin(&m_lab, h.tif(), 0, emsg) || !m_lab.cielab)
                badFile(h, emsg[0] ? emsg : "unsupported page layout");
            m_labBegun = true;
            m_labSeen.assign(size_t(1) << 16, 0);
            m_labColour.assign(size_t(1) << 16, 0);
        }
        if ((f.samples == Fields::Samples::Palette || f.samples == Fields::Samples::Grey) && f.bps < 8)
            m_indexes.resize(f.storedWidth);
    }

    // A stored row is such a row as it is.
    bool copies() const
    {
        using S = Fields::Samples;
        return m_f.samples == S::Bits || (m_f.samples == S::Grey && m_f.bps == 8 && m_f.spp == 1)
               || (m_f.samples == S::Rgb && m_f.bps == 8 && m_f.spp == 3);
    }

    void operator()(const uchar *in, uchar *out)
    {
        using S = Fields::Samples;
        const uint32_t w = m_f.storedWidth;
        const auto *in16 = reinterpret_cast<const uint16_t *>(in);
        if (copies()) {
            std::memcpy(out, in, m_f.samples == S::Bits ? (size_t(w) + 7) / 8 : size_t(w) * m_f.spp);
            return;
        }
        switch (m_f.samples) {
        case S::Bits:
            std::memcpy(out, in, (size_t(w) + 7) / 8);
            break;
        case S::Grey:
            if (m_f.bps >= 8) {
                // the high byte of 16-bit samples; 8-bit grey with alpha laid on white as libtiff
                // lays it (the grey as it is, whatever the alpha), 16-bit grey's alpha left out
                const size_t spp = m_f.spp;
                const bool alpha = spp == 2 && m_f.bps == 8 && m_f.alpha;
                const bool white = m_f.photometric == PHOTOMETRIC_MINISWHITE;
                for (uint32_t x = 0; x < w; ++x) {
                    uchar g = m_f.bps == 16 ? uchar(in16[x * spp] >> 8) : in[x * spp];
                    if (alpha) {
                        const int shown = std::min(255, (white ? 255 - g : g) + 255 - in[x * spp + 1]);
                        g = uchar(white ? 255 - shown : shown);
                    }
                    out[x] = g;
                }
            } else {
                unpackIndexes(in, w, m_f.bps, out);
                const uchar step = uchar(255 / ((1 << m_f.bps) - 1));
                for (uint32_t x = 0; x < w && step != 1; ++x)
                    out[x] = uchar(out[x] * step);
            }
            break;
        case S::Palette: {
            const uchar *ix = in;
            if (m_f.bps < 8) {
                unpackIndexes(in, w, m_f.bps, m_indexes.data());
                ix = m_indexes.data();
            }
            for (uint32_t x = 0; x < w; ++x)
                std::memcpy(out + size_t(x) * 3, &m_colours[size_t(ix[x]) * 3], 3);
            break;
        }
        case S::Rgb: {
            const size_t spp = m_f.spp;
            const auto &to8 = depth16To8();
            const auto sample = [&](size_t i) -> unsigned { return m_f.bps == 16 ? to8[in16[i]] : in[i]; };
            if (!m_f.alpha) {
                for (uint32_t x = 0; x < w; ++x)
                    for (size_t c = 0; c < 3; ++c)
                        out[size_t(x) * 3 + c] = uchar(sample(x * spp + c));
            } else {
                const uchar *table = onWhite(m_f.alpha == EXTRASAMPLE_UNASSALPHA);
                for (uint32_t x = 0; x < w; ++x) {
                    const unsigned a = sample(x * spp + 3) << 8;
                    for (size_t c = 0; c < 3; ++c)
                        out[size_t(x) * 3 + c] = table[a | sample(x * spp + c)];
                }
            }
            break;
        }
        case S::Cmyk: {
            // as libtiff does it: each of red, green and blue is (255 - k) (255 - c) / 255
            static const auto table = [] {
                std::vector<uchar> t(65536);
                for (int k = 0; k < 256; ++k)
                    for (int c = 0; c < 256; ++c)
                        t[size_t(k << 8 | c)] = uchar((255 - k) * (255 - c) / 255);
                return t;
            }();
            const size_t spp = m_f.spp;
            for (uint32_t x = 0; x < w; ++x) {
                const uchar *p = in + x * spp;
                for (size_t c = 0; c < 3; ++c)
                    out[size_t(x) * 3 + c] = table[size_t(p[3]) << 8 | p[c]];
            }
            break;
        }
        case S::Lab:
            // each colour converted once a page, most of them (a direct-mapped memory of them)
            for (uint32_t x = 0; x < w; ++x) {
                const uchar *p = in + size_t(x) * 3;
                const uint32_t key = (uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) + 1;
                const size_t slot = (key * 2654435761u) >> 16;
                if (m_labSeen[slot] != key) {
                    float X, Y, Z;
                    uint32_t r, g, b;
                    TIFFCIELabToXYZ(m_lab.cielab, p[0], int8_t(p[1]), int8_t(p[2]), &X, &Y, &Z);
                    TIFFXYZToRGB(m_lab.cielab, X, Y, Z, &r, &g, &b);
                    m_labSeen[slot] = key;
                    m_labColour[slot] = qRgb(int(r), int(g), int(b));
                }
                const QRgb c = m_labColour[slot];
                out[size_t(x) * 3] = uchar(qRed(c));
                out[size_t(x) * 3 + 1] = uchar(qGreen(c));
                out[size_t(x) * 3 + 2] = uchar(qBlue(c));
            }
            break;
        case S::None:
            break;
        }
    }

    ~SampleRow()
    {
        if (m_labBegun)
            TIFFRGBAImageEnd(&m_lab);
    }
    SampleRow(const SampleRow &) = delete;
    SampleRow &operator=(const SampleRow &) = delete;

private:
    // libtiff's 16-bit to 8-bit sample: (v + 128) / 257
    static const std::vector<uchar> &depth16To8()
    {
        static const auto table = [] {
            std::vector<uchar> t(65536);
            for (size_t v = 0; v < t.size(); ++v)
                t[v] = uchar((v + 128) / 257);
            return t;
        }();
        return table;
    }
    // A colour sample c with alpha a (index a << 8 | c) laid on white: associated alpha as it is
    // stored, unassociated first made associated as libtiff makes it ((c a + 127) / 255).
    static const uchar *onWhite(bool unassociated)
    {
        static const auto tables = [] {
            std::vector<uchar> t(2 * 65536);
            for (int a = 0; a < 256; ++a)
                for (int c = 0; c < 256; ++c) {
                    t[size_t(a << 8 | c)] = uchar(std::min(255, c + 255 - a));
                    t[65536 + size_t(a << 8 | c)] = uchar((c * a + 127) / 255 + 255 - a);
                }
            return t;
        }();
        return tables.data() + (unassociated ? 65536 : 0);
    }

    const Fields &m_f;
    std::vector<uchar> m_colours; // a palette page's map: RGB of each entry
    std::vector<uchar> m_indexes; // a row's packed samples, a byte each
    TIFFRGBAImage m_lab{};        // a CIE L*a*b* page's conversion
    bool m_labBegun = false;
    std::vector<uint32_t> m_labSeen; // its colours converted: L a b + 1, and RGB
    std::vector<QRgb> m_labColour;
};

// A row of the page's kind turned right to left.
void mirrorRow(uchar *row, uint32_t w, Kind kind)
{
    if (kind == Kind::Grey) {
        std::reverse(row, row + w);
    } else if (kind == Kind::Rgb) {
        for (uint32_t a = 0, b = w - 1; a < b; ++a, --b)
            for (int c = 0; c < 3; ++c)
                std::swap(row[a * 3 + uint32_t(c)], row[b * 3 + uint32_t(c)]);
    } else {
        // bytes reversed, each byte's bits reversed, then moved left over the padding bits
        static const auto reversed = [] {
            std::array<uchar, 256> t{};
            for (int b = 0; b < 256; ++b)
                for (int i = 0; i < 8; ++i)
                    if (b & (1 << i))
                        t[size_t(b)] |= uchar(0x80 >> i);
            return t;
        }();
        const uint32_t n = (w + 7) / 8, pad = n * 8 - w;
        std::reverse(row, row + n);
        for (uint32_t i = 0; i < n; ++i)
            row[i] = reversed[row[i]];
        if (pad)
            for (uint32_t i = 0; i < n; ++i)
                row[i] = uchar(row[i] << pad | (i + 1 < n ? row[i + 1] >> (8 - pad) : 0));
    }
}

// The rows of the handle's directory, top down, in the form of its kind (rowBytesOf): from its
// samples by our own reader (SampleRow) where it reads them, else from libtiff's RGBA reader a
// band of whole strips (or tiles) at a time; turned upright as its orientation says.
class RowReader {
public:
    RowReader(Handle &h, const Fields &f) : m_h(h), m_f(f), m_convert(h, f)
    {
        if (f.samples != Fields::Samples::None) {
            if (f.transposed())
                readWhole();
            else
                m_bands.emplace(h, f, !f.vFlipped());
            return;
        }
        char emsg[1024] = "";
        if (!TIFFRGBAImageOK(h.tif(), emsg) || !TIFFRGBAImageBegin(&m_img, h.tif(), 0, emsg))
            badFile(h, emsg[0] ? emsg : "unsupported page layout");
        m_begun = true;
        m_img.req_orientation = ORIENTATION_TOPLEFT;
        if (f.transposed()) {
            // A constructor that throws runs no destructor.
            try {
                readTransposed();
            } catch (...) {
                TIFFRGBAImageEnd(&m_img);
                throw;
            }
        }
    }
    ~RowReader()
    {
        if (m_begun)
            TIFFRGBAImageEnd(&m_img);
    }
    RowReader(const RowReader &) = delete;
    RowReader &operator=(const RowReader &) = delete;

    // Row y of the upright page into row; rows are asked for in order, from one that starts a
    // strip.
    void read(uint32_t y, uchar *row)
    {
        if (!m_shown.isNull()) {
            std::memcpy(row, m_shown.constScanLine(int(y)), size_t(rowBytesOf(m_f)));
            return;
        }
        if (m_f.samples != Fields::Samples::None) {
            m_convert(m_bands->row(m_f.vFlipped() ? m_f.height - 1 - y : y), row);
            if (m_f.hFlipped())
                mirrorRow(row, m_f.width, m_f.kind());
            return;
        }
        if (y < m_bandY || y >= m_bandY + m_bandRows)
            readBand(y);
        toRow(m_band.data() + size_t(y - m_bandY) * m_f.width, m_f.width, row);
    }

    // Damage libtiff noted on the way.
    void finish()
    {
        if (!m_h.error().isEmpty())
            badFile(m_h, "damaged page data");
    }

private:
    // RGBA pixels (alpha premultiplied, as the reader gives them) as a row of the page's kind,
    // laid on white paper: a transparent pixel is white.
    void toRow(const uint32_t *px, uint32_t w, uchar *row) const
    {
        auto onWhite = [](uint32_t c, uint32_t p) { return uchar(std::min<uint32_t>(255, c + 255 - TIFFGetA(p))); };
        switch (m_f.kind()) {
        case Kind::Bilevel:
            std::memset(row, 0, size_t(w + 7) / 8);
            for (uint32_t x = 0; x < w; ++x)
                if (TIFFGetR(px[x]) < 128)
                    row[x >> 3] |= uchar(0x80 >> (x & 7));
            break;
        case Kind::Grey:
            for (uint32_t x = 0; x < w; ++x)
                row[x] = onWhite(TIFFGetR(px[x]), px[x]);
            break;
        case Kind::Rgb:
            for (uint32_t x = 0; x < w; ++x, row += 3) {
                row[0] = onWhite(TIFFGetR(px[x]), px[x]);
                row[1] = onWhite(TIFFGetG(px[x]), px[x]);
                row[2] = onWhite(TIFFGetB(px[x]), px[x]);
            }
            break;
        }
    }

    // The page as stored, in the form of its kind.
    QImage storedImage() const
    {
        const Kind k = m_f.kind();
        QImage stored(int(m_f.storedWidth), int(m_f.storedHeight), k == Kind::Bilevel ? QImage::Format_Mono
                                                                   : k == Kind::Grey  ? QImage::Format_Grayscale8
                                                                                      : QImage::Format_RGB888);
        if (stored.isNull())
            raiseImagingError(ezErr::ImageTooLarge);
        return stored;
    }

    // A page whose stored rows are its columns: read whole from its samples, each few stored
    // rows laid into the columns they are of the upright page (the writes a run of pixels of
    // each of its rows).
    void readWhole()
    {
        const uint32_t sw = m_f.storedWidth, sh = m_f.storedHeight;
        const Kind k = m_f.kind();
        m_shown = QImage(int(sh), int(sw), k == Kind::Bilevel ? QImage::Format_Mono
                                           : k == Kind::Grey  ? QImage::Format_Grayscale8
                                                              : QImage::Format_RGB888);
        if (m_shown.isNull())
            raiseImagingError(ezErr::ImageTooLarge);
        // stored row r is column x of the page, stored column c its row y
        const bool xBack = m_f.orientation == ORIENTATION_RIGHTTOP || m_f.orientation == ORIENTATION_RIGHTBOT;
        const bool yBack = m_f.orientation == ORIENTATION_RIGHTBOT || m_f.orientation == ORIENTATION_LEFTBOT;
        StoredBands bands(m_h, m_f);
        uchar *const base = m_shown.bits();
        const qsizetype bpl = m_shown.bytesPerLine();
        if (k == Kind::Bilevel) {
            // the page filled with paper, then each stored row's ink bits set in their rows
            const bool inkIsOne = m_f.photometric == PHOTOMETRIC_MINISWHITE;
            m_shown.fill(inkIsOne ? 0 : 1);
            const uint32_t bytes = (sw + 7) / 8;
            std::vector<uchar> row(bytes);
            const uchar tail = uchar(0xFF << ((8 - sw % 8) % 8));
            for (uint32_t r = 0; r < sh; ++r) {
                m_convert(bands.row(r), row.data());
                const uint32_t x = xBack ? sh - 1 - r : r;
                const uchar bit = uchar(0x80 >> (x & 7));
                for (uint32_t b = 0; b < bytes; ++b) {
                    unsigned v = uchar((inkIsOne ? row[b] : ~row[b]) & (b + 1 == bytes ? tail : 0xFF));
                    while (v) {
                        const int i = __builtin_clz(v) - 24;
                        v &= ~(0x80u >> i);
                        const uint32_t c = b * 8 + uint32_t(i);
                        base[qsizetype(yBack ? sw - 1 - c : c) * bpl + (x >> 3)] ^= bit;
                    }
                }
            }
            return;
        }
        // each few stored rows laid into the columns they are of the page (the writes a run of
        // pixels of each of its rows)
        const size_t px = k == Kind::Rgb ? 3 : 1, rowBytes = size_t(sw) * px;
        constexpr uint32_t Group = 32;
        std::vector<uchar> rows(size_t(Group) * rowBytes);
        for (uint32_t r0 = 0; r0 < sh; r0 += Group) {
            const uint32_t n = std::min(Group, sh - r0);
            for (uint32_t i = 0; i < n; ++i)
                m_convert(bands.row(r0 + i), rows.data() + i * rowBytes);
            // the first column of the page the group lands in, and the way its rows go
            const uint32_t x0 = xBack ? sh - 1 - r0 : r0;
            const ptrdiff_t step = xBack ? -1 : 1;
            for (uint32_t c = 0; c < sw; ++c) {
                uchar *out = base + qsizetype(yBack ? sw - 1 - c : c) * bpl;
                const uchar *in = rows.data() + c * px;
                if (px == 1) {
                    uchar *o = out + x0;
                    for (uint32_t i = 0; i < n; ++i, in += rowBytes, o += step)
                        *o = *in;
                } else {
                    uchar *o = out + size_t(x0) * 3;
                    for (uint32_t i = 0; i < n; ++i, in += rowBytes, o += 3 * step) {
                        o[0] = in[0];
                        o[1] = in[1];
                        o[2] = in[2];
                    }
                }
            }
        }
    }

    // The same through libtiff's RGBA reader: read whole as stored and turned upright.
    void readTransposed()
    {
        const uint32_t sw = m_f.storedWidth, sh = m_f.storedHeight;
        std::vector<uint32_t> raster(size_t(sw) * sh);
        m_img.orientation = ORIENTATION_TOPLEFT; // rows as they are stored
        if (!TIFFRGBAImageGet(&m_img, raster.data(), sw, sh))
            badFile(m_h, "unreadable strip");
        QImage stored = storedImage();
        for (uint32_t y = 0; y < sh; ++y)
            toRow(raster.data() + size_t(y) * sw, sw, stored.scanLine(int(y)));
        raster = {};
        m_shown = upright(stored, m_f.orientation);
    }

    // The rows from y down to the end of its strip, and of the strips after it up to a few
    // megabytes of pixels. A page the reader flips upside down is read from its other end.
    void readBand(uint32_t y)
    {
        const uint32_t h = m_f.height, unit = m_f.rowsPerBand;
        const uint32_t cap = std::max<uint32_t>(1, uint32_t((qint64(16) << 20) / (qint64(m_f.width) * 4)));
        const bool flip = m_f.vFlipped();
        const uint32_t from = flip ? h - y : y; // stored rows left to read, or the first of them
        uint32_t n = flip ? (from - 1) % unit + 1 : unit - from % unit;
        while (n < 64 && n + unit <= cap && y + n + unit <= h)
            n += unit;
        n = std::min({n, h - y, std::max<uint32_t>(1, cap)});
        m_band.resize(size_t(n) * m_f.width);
        m_img.row_offset = int(flip ? h - y - n : y);
        m_img.col_offset = 0;
        if (!TIFFRGBAImageGet(&m_img, m_band.data(), m_f.width, n))
            badFile(m_h, "unreadable strip");
        m_bandY = y;
        m_bandRows = n;
    }

    Handle &m_h;
    const Fields &m_f;
    SampleRow m_convert;
    std::optional<StoredBands> m_bands; // the stored rows, for our own reader
    TIFFRGBAImage m_img{};
    bool m_begun = false;
    std::vector<uint32_t> m_band;
    uint32_t m_bandY = 0, m_bandRows = 0;
    QImage m_shown; // a transposed page, upright
};

// Raises ezErr::BadImageFile unless every strip of the directory decodes; a directory decoded
// whole before is known to.
void verifyStrips(const File &file, int directory)
{
    if (FileAccess::sound(file, directory))
        return;
    ++g_checks;
    const auto own = ownHandle(file, directoryOffset(file, directory));
    readFields(*own);
    TIFF *t = own->tif();
    const tmsize_t size = TIFFStripSize(t);
    if (size <= 0)
        badFile(*own, "damaged page data");
    std::vector<char> buf(static_cast<size_t>(size));
    const uint32_t strips = TIFFNumberOfStrips(t);
    for (uint32_t i = 0; i < strips; ++i)
        if (TIFFReadEncodedStrip(t, i, buf.data(), size) < 0 || !own->error().isEmpty())
            badFile(*own, "damaged page data");
    FileAccess::setSound(file, directory);
}

// False (nothing written) when the directory's strips cannot be written again as they are.
bool copyRaw(TIFF *dst, const OutPage &p)
{
    std::lock_guard lock(FileAccess::lock(*p.rawFile));
    Handle &src = atDirectory(*p.rawFile, p.rawDirectory);
    TIFF *s = src.tif();
    Fields f = readFields(src);
    if (!rawCopyable(f))
        return false;
    uint32_t rps = 0;
    TIFFGetFieldDefaulted(s, TIFFTAG_ROWSPERSTRIP, &rps);
    uint16_t fill = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(s, TIFFTAG_FILLORDER, &fill);
    TIFFSetField(dst, TIFFTAG_IMAGEWIDTH, f.width);
    TIFFSetField(dst, TIFFTAG_IMAGELENGTH, f.height);
    TIFFSetField(dst, TIFFTAG_BITSPERSAMPLE, f.bps);
    TIFFSetField(dst, TIFFTAG_SAMPLESPERPIXEL, f.spp);
    TIFFSetField(dst, TIFFTAG_COMPRESSION, f.compression);
    TIFFSetField(dst, TIFFTAG_PHOTOMETRIC, f.photometric);
    TIFFSetField(dst, TIFFTAG_PLANARCONFIG, f.planar);
    TIFFSetField(dst, TIFFTAG_FILLORDER, fill);
    TIFFSetField(dst, TIFFTAG_ROWSPERSTRIP, rps);
    if (f.compression == COMPRESSION_LZW || f.compression == COMPRESSION_ADOBE_DEFLATE
        || f.compression == COMPRESSION_DEFLATE) {
        uint16_t predictor = 1;
        TIFFGetFieldDefaulted(s, TIFFTAG_PREDICTOR, &predictor);
        TIFFSetField(dst, TIFFTAG_PREDICTOR, predictor);
    }
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (f.photometric == PHOTOMETRIC_PALETTE && TIFFGetField(s, TIFFTAG_COLORMAP, &red, &green, &blue))
        TIFFSetField(dst, TIFFTAG_COLORMAP, red, green, blue);
    copyExtraSamples(s, dst);
    uint32_t t6 = 0;
    if (f.compression == COMPRESSION_CCITTFAX4 && TIFFGetField(s, TIFFTAG_GROUP4OPTIONS, &t6))
        TIFFSetField(dst, TIFFTAG_GROUP4OPTIONS, t6);
    if (f.compression == COMPRESSION_JPEG) {
        // the strips' shared tables and, for YCbCr, how their chroma is sampled
        uint32_t count = 0;
        void *tables = nullptr;
        if (TIFFGetField(s, TIFFTAG_JPEGTABLES, &count, &tables) && count > 0)
            TIFFSetField(dst, TIFFTAG_JPEGTABLES, count, tables);
        if (f.photometric == PHOTOMETRIC_YCBCR) {
            uint16_t h = 2, v = 2, positioning = YCBCRPOSITION_CENTERED;
            TIFFGetFieldDefaulted(s, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
            TIFFSetField(dst, TIFFTAG_YCBCRSUBSAMPLING, h, v);
            TIFFGetFieldDefaulted(s, TIFFTAG_YCBCRPOSITIONING, &positioning);
            TIFFSetField(dst, TIFFTAG_YCBCRPOSITIONING, positioning);
            float *reference = nullptr;
            if (TIFFGetField(s, TIFFTAG_REFERENCEBLACKWHITE, &reference) && reference)
                TIFFSetField(dst, TIFFTAG_REFERENCEBLACKWHITE, reference);
        }
    }
    writeResolution(dst, p.xDpi, p.yDpi);
    writeAnnotations(dst, p.annotations);

    uint64_t *counts = nullptr, *offsets = nullptr;
    if (!TIFFGetField(s, TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts || !TIFFGetField(s, TIFFTAG_STRIPOFFSETS, &offsets)
        || !offsets)
        badFile(src, "no strip byte counts");
    const uint32_t strips = TIFFNumberOfStrips(s);
    const QByteArray &bytes = p.rawFile->bytes();
    // Strips lying in the file's bytes are written from there, as they lie.
    QByteArray buf;
    for (uint32_t i = 0; i < strips; ++i) {
        if (counts[i] > uint64_t(MaxSingleAlloc))
            badFile(src, "strip too large");
        const char *data;
        tmsize_t n;
        if (offsets[i] <= uint64_t(bytes.size()) && counts[i] <= uint64_t(bytes.size()) - offsets[i]) {
            data = bytes.constData() + offsets[i];
            n = tmsize_t(counts[i]);
        } else {
            buf.resize(qsizetype(counts[i]));
            n = TIFFReadRawStrip(s, i, buf.data(), tmsize_t(buf.size()));
            if (n < 0)
                badFile(src, "unreadable strip");
            data = buf.constData();
        }
        if (TIFFWriteRawStrip(dst, i, const_cast<char *>(data), n) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
    return true;
}

// Rows of a losslessly coded strip, for rows of that many samples: about half a million samples
// (a strip's code starts afresh, so short strips of clean paper code poorly), in whole 16s of
// rows so that bands decoded side by side for the screen's reductions are whole strips.
uint32_t losslessStripRows(size_t rowSamples, uint32_t h)
{
    uint32_t rows = uint32_t(size_t(512 * 1024) / std::max<size_t>(1, rowSamples));
    if (rows >= 16)
        rows = rows / 16 * 16;
    return std::clamp<uint32_t>(rows, 1, h);
}

// Tags of a page coded afresh, w x h pixels of the kind: bilevel G4 in the photometric given;
// others in the lossless coding given with the predictor, or JPEG at the quality given (grey in
// the photometric given, colour as YCbCr with p's chroma sampling). Gives the bytes of a row.
qsizetype beginPage(TIFF *t, Kind kind, uint16_t photometric, uint32_t w, uint32_t h, int jpegQuality,
                    uint16_t lossless, const OutPage &p)
{
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    qsizetype rowBytes;
    uint32_t rps;
    if (kind == Kind::Bilevel) {
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
        TIFFSetField(t, TIFFTAG_FILLORDER, uint16_t(FILLORDER_MSB2LSB));
        rowBytes = (qsizetype(w) + 7) / 8;
        rps = h;
    } else {
        const uint16_t spp = kind == Kind::Grey ? 1 : 3;
        rowBytes = qsizetype(w) * spp;
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
        if (jpegQuality > 0) {
            TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_JPEG));
            if (kind == Kind::Rgb) {
                TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_YCBCR));
                TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, p.jpegChroma[0], p.jpegChroma[1]);
            } else {
                TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
            }
            TIFFSetField(t, TIFFTAG_JPEGQUALITY, jpegQuality);
            TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            // whole rows of coding blocks
            rps = std::max<uint32_t>(16, uint32_t(256 * 1024 / rowBytes) / 16 * 16);
        } else {
            setLossless(t, lossless, true);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, kind == Kind::Grey ? photometric : uint16_t(PHOTOMETRIC_RGB));
            rps = losslessStripRows(size_t(rowBytes), h);
        }
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
    writeResolution(t, p.xDpi, p.yDpi);
    writeAnnotations(t, p.annotations);
    return rowBytes;
}

// How pixels are coded: bilevel, grey or colour.
Kind codedKind(const QImage &img)
{
    if (img.format() == QImage::Format_Mono || img.format() == QImage::Format_MonoLSB)
        return Kind::Bilevel;
    return img.isGrayscale() ? Kind::Grey : Kind::Rgb;
}

void encode(TIFF *t, const OutPage &p)
{
    QImage img = p.image;
    const Kind kind = codedKind(img);
    const QImage::Format format = kind == Kind::Bilevel ? QImage::Format_Mono
                                  : kind == Kind::Grey  ? QImage::Format_Grayscale8
                                                        : QImage::Format_RGB888;
    if (img.format() != format)
        img = img.convertToFormat(format);
    const uint32_t w = uint32_t(img.width()), h = uint32_t(img.height());
    const uint16_t photometric = kind == Kind::Bilevel ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    const qsizetype rowBytes = beginPage(t, kind, photometric, w, h, p.jpegQuality, losslessCoding(p.lossless), p);
    // Stored bits are 1 = black; flip when the image's index 1 is the lighter colour.
    const QList<QRgb> ct = img.colorTable();
    const bool invert = kind == Kind::Bilevel && ct.size() >= 2 && qGray(ct[1]) > qGray(ct[0]);

    // G4 coding only reads the rows it is given; the predictor changes its row, and inverted rows
    // are made, in one row of our own.
    const bool direct = kind == Kind::Bilevel && !invert;
    QByteArray row(direct ? 0 : rowBytes, Qt::Uninitialized);
    for (uint32_t y = 0; y < h; ++y) {
        const uchar *src = img.constScanLine(int(y));
        uchar *line = const_cast<uchar *>(src);
        if (!direct) {
            line = reinterpret_cast<uchar *>(row.data());
            if (invert)
                for (qsizetype i = 0; i < rowBytes; ++i)
                    line[i] = uchar(~src[i]);
            else
                std::memcpy(line, src, size_t(rowBytes));
        }
        if (TIFFWriteScanline(t, line, y, 0) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
}

// Bytes of a pixel of kept samples (keptSamples), and as turnedSamples holds it (16-bit RGB
// padded to four samples).
size_t pixelBytes(const Fields &f) { return size_t(f.spp) * f.bps / 8; }
size_t heldPixelBytes(const Fields &f) { return pixelBytes(f) == 6 ? 8 : pixelBytes(f); }

// A page's packed samples (packedRows, a byte each) or kept samples (keptSamples, a pixel's
// samples in an image of that many bytes a pixel: Grayscale16, ARGB32, RGBX64 with the fourth
// sample unused, RGBA64), upright and turned by quarter turns clockwise; none for a page in
// strips stored upright and not turned (its rows are read as they come).
QImage turnedSamples(Handle &src, const Fields &f, int turns)
{
    if (!f.tiled && f.orientation == ORIENTATION_TOPLEFT && turns % 4 == 0)
        return {};
    const size_t pixel = f.keptSamples() ? pixelBytes(f) : 1, held = f.keptSamples() ? heldPixelBytes(f) : 1;
    const QImage::Format format = held == 1 ? QImage::Format_Grayscale8
                                  : held == 2 ? QImage::Format_Grayscale16
                                  : held == 4 ? QImage::Format_ARGB32
                                  : pixel == 6 ? QImage::Format_RGBX64
                                               : QImage::Format_RGBA64;
    QImage stored(int(f.storedWidth), int(f.storedHeight), format);
    if (stored.isNull())
        raiseImagingError(ezErr::ImageTooLarge);
    StoredBands rows(src, f);
    for (uint32_t y = 0; y < f.storedHeight; ++y) {
        const uchar *in = rows.row(y);
        uchar *out = stored.scanLine(int(y));
        if (!f.keptSamples())
            unpackIndexes(in, f.storedWidth, f.bps, out);
        else if (held == pixel)
            std::memcpy(out, in, size_t(f.storedWidth) * pixel);
        else
            for (uint32_t x = 0; x < f.storedWidth; ++x)
                std::memcpy(out + size_t(x) * held, in + size_t(x) * pixel, pixel);
    }
    return rotated(upright(stored, f.orientation), turns);
}

// A palette page's map as written: red, green and blue, 1 << bps entries each.
struct ColourMap {
    uint16_t bps = 0;
    std::vector<uint16_t> rgb;
};

// The stored page's map in a map of that depth (entries past its own black).
ColourMap widenedMap(const Handle &src, const Fields &f, uint16_t bps)
{
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(src.tif(), TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        badFile(src, "palette page without a colour map");
    const size_t n = size_t(1) << bps, entries = size_t(1) << f.bps;
    ColourMap m{bps, std::vector<uint16_t>(3 * n, 0)};
    std::copy_n(red, entries, m.rgb.begin());
    std::copy_n(green, entries, m.rgb.begin() + ptrdiff_t(n));
    std::copy_n(blue, entries, m.rgb.begin() + ptrdiff_t(2 * n));
    return m;
}

// Sets entry i of the map to an 8-bit colour, in the map's own scale (8 or 16 bits).
void setEntry(ColourMap &m, size_t i, QRgb c)
{
    const size_t n = size_t(1) << m.bps;
    const bool wide = std::any_of(m.rgb.begin(), m.rgb.end(), [](uint16_t v) { return v >= 256; });
    const int want[3] = {qRed(c), qGreen(c), qBlue(c)};
    for (size_t k = 0; k < 3; ++k)
        m.rgb[k * n + i] = uint16_t(want[k] * (wide ? 257 : 1));
}

// A page of packed samples (packedRows) written again at its depth (LZW) on its canvas, from its
// stored rows or from its samples turned (turnedSamples), or from indexes into a map of their
// own (own; they cover the canvas). On a grey page the new pixels are the level nearest the
// fill; on a palette page the map's entry nearest the fill colour (a tinted paper's white), or,
// when no entry is within a few shades of it, the fill colour added to the map at twice the
// depth; false (nothing written) for an 8-bit map without such an entry.
bool copyPackedRows(TIFF *dst, Handle &src, const Fields &f, const OutPage &p, const QImage &indexes,
                    uint32_t nw, uint32_t nh, const ColourMap &own = {})
{
    const uint32_t w = indexes.isNull() ? f.width : uint32_t(indexes.width());
    const uint32_t h = indexes.isNull() ? f.height : uint32_t(indexes.height());
    const bool padded = nw > w || nh > h;
    const int entries = 1 << f.bps;
    uint16_t bps = f.bps;
    int fill = 0;
    ColourMap map;
    if (!own.rgb.empty()) {
        map = own;
        bps = own.bps;
    } else if (f.photometric == PHOTOMETRIC_PALETTE) {
        const std::vector<uchar> colours = colourTable(src);
        const int want[3] = {qRed(p.fill), qGreen(p.fill), qBlue(p.fill)};
        int best = 0;
        for (int i = 0; i < entries; ++i) {
            int far = 0;
            for (int c = 0; c < 3; ++c)
                far = std::max(far, std::abs(int(colours[size_t(i) * 3 + size_t(c)]) - want[c]));
            if (i == 0 || far < best) {
                fill = i;
                best = far;
            }
        }
        if (best > 32 && padded) {
            if (f.bps == 8)
                return false;
            bps = uint16_t(f.bps * 2);
            fill = entries;
        }
        map = widenedMap(src, f, bps);
        if (fill == entries)
            setEntry(map, size_t(fill), p.fill);
    } else {
        const int level = (qGray(p.fill) * (entries - 1) + 127) / 255;
        fill = f.photometric == PHOTOMETRIC_MINISWHITE ? entries - 1 - level : level;
    }
    std::optional<StoredBands> stored;
    if (indexes.isNull())
        stored.emplace(src, f);
    TIFFSetField(dst, TIFFTAG_IMAGEWIDTH, nw);
    TIFFSetField(dst, TIFFTAG_IMAGELENGTH, nh);
    TIFFSetField(dst, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(dst, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(dst, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(dst, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFSetField(dst, TIFFTAG_PHOTOMETRIC, f.photometric);
    if (!map.rgb.empty()) {
        const size_t n = map.rgb.size() / 3;
        TIFFSetField(dst, TIFFTAG_COLORMAP, map.rgb.data(), map.rgb.data() + n, map.rgb.data() + 2 * n);
    }
    setLossless(dst, losslessCoding(f.compression), false);
    TIFFSetField(dst, TIFFTAG_ROWSPERSTRIP, losslessStripRows(nw, nh));
    writeResolution(dst, p.xDpi, p.yDpi);
    writeAnnotations(dst, p.annotations);
    // rows are unpacked to a byte a sample, filled, and packed again
    const size_t outBytes = (size_t(nw) * bps + 7) / 8;
    std::vector<uchar> row(nw, uchar(fill));
    std::vector<uchar> out(bps < 8 ? outBytes : 0);
    const uint32_t perByte = 8 / bps;
    for (uint32_t y = 0; y < nh; ++y) {
        if (y < h) {
            if (stored) {
                unpackIndexes(stored->row(y), w, f.bps, row.data());
            } else {
                std::memcpy(row.data(), indexes.constScanLine(int(y)), w);
            }
            std::fill(row.begin() + w, row.end(), uchar(fill));
        } else if (y == h) {
            std::fill(row.begin(), row.end(), uchar(fill));
        }
        if (!out.empty()) {
            for (uint32_t b = 0, x = 0; b < outBytes; ++b) {
                uchar v = 0;
                for (uint32_t i = 0; i < perByte; ++i, ++x)
                    v = uchar(v << bps | (x < nw ? row[x] : 0));
                out[b] = v;
            }
        }
        if (TIFFWriteScanline(dst, out.empty() ? row.data() : out.data(), y, 0) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
    if (!src.error().isEmpty())
        badFile(src, "damaged page data");
    return true;
}

// Tags of a page of kept samples (keptSamples) written again w x h in its lossless coding with
// the predictor. Gives an opaque pixel of colour c in its samples (host order).
std::vector<uchar> beginSamples(TIFF *dst, Handle &src, const Fields &f, const OutPage &p, uint32_t w, uint32_t h,
                                QRgb c)
{
    TIFFSetField(dst, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(dst, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(dst, TIFFTAG_BITSPERSAMPLE, f.bps);
    TIFFSetField(dst, TIFFTAG_SAMPLESPERPIXEL, f.spp);
    TIFFSetField(dst, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(dst, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFSetField(dst, TIFFTAG_PHOTOMETRIC, f.photometric);
    copyExtraSamples(src.tif(), dst);
    setLossless(dst, losslessCoding(f.compression), true);
    TIFFSetField(dst, TIFFTAG_ROWSPERSTRIP, losslessStripRows(size_t(w) * f.spp, h));
    writeResolution(dst, p.xDpi, p.yDpi);
    writeAnnotations(dst, p.annotations);
    std::vector<uchar> fill(pixelBytes(f));
    opaquePixel(f, c, fill.data());
    return fill;
}

// A page of kept samples written again as they are (in its lossless coding, with the predictor)
// on its canvas, from its stored rows or from its samples turned (turnedSamples); the new pixels
// the fill colour, opaque.
void copySamples(TIFF *dst, Handle &src, const Fields &f, const OutPage &p, const QImage &samples, uint32_t nw,
                 uint32_t nh)
{
    const uint32_t w = samples.isNull() ? f.width : uint32_t(samples.width());
    const uint32_t h = samples.isNull() ? f.height : uint32_t(samples.height());
    const size_t pixel = pixelBytes(f), held = heldPixelBytes(f);
    std::optional<StoredBands> stored;
    if (samples.isNull())
        stored.emplace(src, f);
    const std::vector<uchar> fill = beginSamples(dst, src, f, p, nw, nh, p.fill);
    // the predictor changes the row on every write: filled again each time
    std::vector<uchar> row(size_t(nw) * pixel);
    for (uint32_t y = 0; y < nh; ++y) {
        uint32_t from = 0;
        if (y < h) {
            if (stored) {
                std::memcpy(row.data(), stored->row(y), size_t(w) * pixel);
            } else {
                const uchar *in = samples.constScanLine(int(y));
                for (uint32_t x = 0; x < w; ++x)
                    std::memcpy(row.data() + size_t(x) * pixel, in + size_t(x) * held, pixel);
            }
            from = w;
        }
        for (size_t x = from; x < nw; ++x)
            std::memcpy(row.data() + x * pixel, fill.data(), pixel);
        if (TIFFWriteScanline(dst, row.data(), y, 0) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
    if (!src.error().isEmpty())
        badFile(src, "damaged page data");
}

// Writes a stored page again a row at a time from its own handle (on its canvas when it has
// one): each row is decoded, the new pixels on its right filled, and encoded (bilevel G4 in the
// photometric of its rows, a JPEG page JPEG again at the quality it had, others in their own
// lossless coding: Deflate or PackBits, else LZW).
void copyRows(TIFF *dst, Handle &src, const OutPage &p)
{
    const Fields f = readFields(src);
    const Kind kind = f.kind();
    ++g_decodes;
    // a packed or 16-bit page turned, tiled or stored in another orientation, as samples upright
    const QImage indexes = f.packedRows() || f.keptSamples() ? turnedSamples(src, f, p.turns) : QImage();
    const bool odd = p.turns % 2;
    const uint32_t w = odd ? f.height : f.width, hgt = odd ? f.width : f.height;
    const uint32_t nw = p.canvas.isValid() ? std::max<uint32_t>(w, uint32_t(p.canvas.width())) : w;
    const uint32_t nh = p.canvas.isValid() ? std::max<uint32_t>(hgt, uint32_t(p.canvas.height())) : hgt;
    if (f.packedRows() && copyPackedRows(dst, src, f, p, indexes, nw, nh))
        return;
    if (f.keptSamples()) {
        copySamples(dst, src, f, p, indexes, nw, nh);
        return;
    }
    if (p.turns % 4 && indexes.isNull())
        raiseImagingError(ezErr::WriteFailed, QStringLiteral("only a palette page is turned as it is written"));
    const uint16_t photometric = f.rowPhotometric();
    OutPage q = p;
    jpegChroma(src.tif(), f, q.jpegChroma);
    const qsizetype rowBytes =
        beginPage(dst, kind, photometric, nw, nh, jpegQuality(src.tif(), f), losslessCoding(f.compression), q);
    const QRgb c = p.fill;
    uchar fillByte[3];
    if (kind == Kind::Bilevel) {
        // A set bit is white on a black-is-0 page.
        const bool setBit = (qGray(c) >= 128) == (photometric == PHOTOMETRIC_MINISBLACK);
        fillByte[0] = setBit ? 0xFF : 0x00;
    } else if (kind == Kind::Grey) {
        const int g = qGray(c);
        fillByte[0] = uchar(photometric == PHOTOMETRIC_MINISWHITE ? 255 - g : g);
    } else {
        fillByte[0] = uchar(qRed(c));
        fillByte[1] = uchar(qGreen(c));
        fillByte[2] = uchar(qBlue(c));
    }

    QByteArray buf(rowBytes, Qt::Uninitialized);
    uchar *row = reinterpret_cast<uchar *>(buf.data());
    // The new pixels of a row: from column `from` on (the predictor changes them on every write).
    auto fillFrom = [&](uint32_t from) {
        if (kind == Kind::Bilevel) {
            const qsizetype full = (qsizetype(from) + 7) / 8;
            if (from % 8) {
                const uchar keep = uchar(0xFF << (8 - from % 8));
                row[from / 8] = uchar((row[from / 8] & keep) | (fillByte[0] & ~keep));
            }
            std::memset(row + full, fillByte[0], size_t(rowBytes - full));
        } else if (kind == Kind::Grey) {
            std::memset(row + from, fillByte[0], size_t(rowBytes - from));
        } else {
            for (qsizetype i = qsizetype(from) * 3; i < rowBytes; i += 3)
                std::memcpy(row + i, fillByte, 3);
        }
    };
    // a turned palette page's rows from its indexes through the map
    std::optional<RowReader> rows;
    std::vector<uchar> colours;
    if (indexes.isNull())
        rows.emplace(src, f);
    else
        colours = colourTable(src);
    for (uint32_t y = 0; y < nh; ++y) {
        if (y < hgt) {
            if (rows) {
                rows->read(y, row);
            } else {
                const uchar *ix = indexes.constScanLine(int(y));
                for (uint32_t x = 0; x < w; ++x)
                    std::memcpy(row + size_t(x) * 3, &colours[size_t(ix[x]) * 3], 3);
            }
            fillFrom(w);
        } else {
            fillFrom(0);
        }
        if (TIFFWriteScanline(dst, row, y, 0) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
    if (rows)
        rows->finish();
}

// Turns a bilevel image, visiting only the bytes that hold index-1 pixels.
QImage rotateMono(const QImage &in, int turns)
{
    QImage src = in.format() == QImage::Format_Mono ? in : in.convertToFormat(QImage::Format_Mono);
    const int w = src.width(), h = src.height();
    QImage out(turns == 2 ? w : h, turns == 2 ? h : w, QImage::Format_Mono);
    out.setColorTable(src.colorTable());
    out.fill(0);
    uchar *bits = out.bits();
    const qsizetype stride = out.bytesPerLine();
    const int bytes = (w + 7) / 8;
    for (int y = 0; y < h; ++y) {
        const uchar *s = src.constScanLine(y);
        for (int b = 0; b < bytes; ++b) {
            unsigned v = s[b];
            while (v) {
                const int bit = __builtin_clz(v) - 24;
                v &= ~(0x80u >> bit);
                const int x = b * 8 + bit;
                if (x >= w)
                    break;
                int nx, ny;
                if (turns == 1) { nx = h - 1 - y; ny = x; }
                else if (turns == 2) { nx = w - 1 - x; ny = h - 1 - y; }
                else { nx = y; ny = w - 1 - x; }
                bits[ny * stride + (nx >> 3)] |= uchar(0x80 >> (nx & 7));
            }
        }
    }
    return out;
}

} // namespace

namespace {

// True when every strip (or tile) of the current directory lies inside the file.
bool dataInsideFile(TIFF *t, qint64 fileSize)
{
    uint64_t *offsets = nullptr;
    uint64_t *counts = nullptr;
    if (!TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) || !TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts)
        || !offsets || !counts)
        return false;
    const uint32_t n = TIFFIsTiled(t) ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
    for (uint32_t i = 0; i < n; ++i)
        if (offsets[i] > uint64_t(fileSize) || counts[i] > uint64_t(fileSize) - offsets[i])
            return false;
    return true;
}

} // namespace

std::vector<Directory> readDirectories(const File &file, VbError *damage)
{
    std::lock_guard lock(FileAccess::lock(file));
    Handle &h = FileAccess::reader(file);
    h.clearError();
    if (!h.tif() || !TIFFSetDirectory(h.tif(), 0)) {
        if (!damage)
            badFile(h, "not a TIFF file");
        *damage = VbError(ezErr::BadImageFile, imagingErrorText(ezErr::BadImageFile) + QStringLiteral(": ")
                                                   + (h.error().isEmpty() ? QStringLiteral("not a TIFF file") : h.error()),
                          QStringLiteral("QelEzImage"));
        return {};
    }
    std::vector<Directory> dirs;
    do {
        Directory d;
        try {
            Fields f = readFields(h);
            // a page whose data lies outside the file stays a page, and fails when decoded
            if (!dataInsideFile(h.tif(), file.size())) {
                d.info.damaged = true;
                if (damage && damage->number == 0)
                    *damage = VbError(ezErr::BadImageFile, QStringLiteral("%1: page data past the end of the file (page %2)")
                                                               .arg(imagingErrorText(ezErr::BadImageFile))
                                                               .arg(dirs.size() + 1),
                                      QStringLiteral("QelEzImage"));
            }
            d.info.width = int(f.width);
            d.info.height = int(f.height);
            d.info.xDpi = toDpi(f.xres, f.unit);
            d.info.yDpi = toDpi(f.yres, f.unit);
            d.info.bitsPerSample = f.bps;
            d.info.samplesPerPixel = f.spp;
            d.info.compression = f.compression;
            d.info.rawCopyable = rawCopyable(f);
            d.info.palette = f.paletteIndexes();
            d.info.packed = f.packedRows() || f.keptSamples();
            d.info.jpegQuality = jpegQuality(h.tif(), f);
            if (d.info.jpegQuality)
                jpegChroma(h.tif(), f, d.info.jpegChroma);
        } catch (const VbError &e) {
            if (!damage)
                throw;
            if (damage->number == 0 || e.number != ezErr::BadImageFile)
                *damage = VbError(e.number, QStringLiteral("%1 (page %2)").arg(e.description).arg(dirs.size() + 1), e.source);
            if (e.number != ezErr::BadImageFile)
                return dirs;
            // A page whose header no page can have stays a page, damaged, the size of the page
            // before it (letter at 200 dpi when first); the pages after it are read.
            d.info = dirs.empty() ? QelPageInfo{1700, 2200, 200, 200} : dirs.back().info;
            d.info.damaged = true;
            d.info.rawCopyable = false;
        }
        uint32_t n = 0;
        void *data = nullptr;
        if (TIFFGetField(h.tif(), ttag_t(AnnotationTag), &n, &data) && data && n > 0)
            d.annotations = QByteArray(static_cast<const char *>(data), qsizetype(n));
        dirs.push_back(std::move(d));
        if (dirs.size() > size_t(MaxDirectories))
            badFile(h, "too many pages");
    } while (TIFFReadDirectory(h.tif()));
    // A chain of pages that leads back to a page already read ends with no error, short of its end.
    const bool loops = h.error().isEmpty() && !TIFFLastDirectory(h.tif());
    if (!h.error().isEmpty() || loops) {
        if (!damage)
            badFile(h, loops ? "the pages lead back to an earlier page" : "unreadable directory");
        if (damage->number == 0)
            *damage = VbError(ezErr::BadImageFile, QStringLiteral("%1: %2 (page %3)")
                                                   .arg(imagingErrorText(ezErr::BadImageFile),
                                                        loops ? QStringLiteral("the pages lead back to an earlier page") : h.error())
                                                   .arg(dirs.size() + 1),
                          QStringLiteral("QelEzImage"));
    }
    return dirs;
}

qint64 decodeCount() { return g_decodes.load(); }

qint64 checkCount() { return g_checks.load(); }

namespace {

// Runs work(0) .. work(n - 1) on this thread and on pool threads side by side; returns when all
// are done, raising the first error one of them raised. A pool thread that starts after every
// item was taken finds nothing to do (so waiting never depends on a free pool thread).
void sideBySide(int n, const std::function<void(int)> &work)
{
    struct State {
        std::atomic<int> next{0};
        std::mutex lock;
        std::condition_variable done;
        int finished = 0;
        std::exception_ptr error;
    };
    const auto st = std::make_shared<State>();
    auto run = [st, n, &work] {
        for (int i; (i = st->next++) < n;) {
            std::exception_ptr error;
            try {
                work(i);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard g(st->lock);
            if (error && !st->error)
                st->error = error;
            if (++st->finished == n)
                st->done.notify_all();
        }
    };
    for (int i = 1; i < n; ++i)
        QThreadPool::globalInstance()->start(run);
    run();
    std::unique_lock g(st->lock);
    st->done.wait(g, [&] { return st->finished == n; });
    if (st->error)
        std::rethrow_exception(st->error);
}

// A page's rows decoded into an image made smaller by a whole factor (1: the page itself). The
// rows may come in bands, each from a handle of its own.
class PageRows {
public:
    PageRows(const Fields &f, int factor) : m_f(f), m_kind(f.kind()), m_k(factor), m_rowBytes(rowBytesOf(f))
    {
        const int w = int(f.width), hgt = int(f.height);
        // Rows past the last whole block of a reduction are left out (a page smaller than the
        // factor gives one row).
        m_rows = m_k > 1 && f.height >= uint32_t(m_k) ? f.height / uint32_t(m_k) * uint32_t(m_k) : f.height;
        if (m_k > 1)
            m_img = QImage(std::max(1, w / m_k), std::max(1, hgt / m_k),
                           m_kind == Kind::Rgb ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
        else
            m_img = QImage(w, hgt, m_kind == Kind::Bilevel ? QImage::Format_Mono
                                   : m_kind == Kind::Grey  ? QImage::Format_Grayscale8
                                                           : QImage::Format_RGB888);
        if (m_img.isNull())
            raiseImagingError(ezErr::ImageTooLarge);
        m_bits = m_img.bits();
        m_stride = m_img.bytesPerLine();
    }

    uint32_t rows() const { return m_rows; }

    // Rows per band when bands are decoded side by side (0: one piece): whole strips and whole
    // blocks of the reduction, two strips a band at least, of pages of a megabyte or more.
    uint32_t bandRows(int threads) const
    {
        const uint32_t rps = m_f.rowsPerBand;
        const uint64_t unit = std::lcm(uint64_t(rps), uint64_t(m_k));
        if (threads < 2 || m_f.transposed() || ((m_f.tiled || m_f.vFlipped()) && m_f.samples == Fields::Samples::None)
            || qint64(m_rowBytes) * m_rows < (qint64(1) << 20))
            return 0;
        const uint64_t per = (m_rows + uint64_t(threads) - 1) / uint64_t(threads);
        const uint64_t band = (per + unit - 1) / unit * unit;
        return band < m_rows && band >= 2 * uint64_t(rps) ? uint32_t(band) : 0;
    }

    // Rows y0 .. y1 - 1 (y0 starts a strip and a block) decoded from the handle.
    void decode(Handle &h, uint32_t y0, uint32_t y1)
    {
        const bool invert = m_kind == Kind::Grey && m_f.rowPhotometric() == PHOTOMETRIC_MINISWHITE;
        if (m_k > 1 && m_f.transposed() && m_f.samples != Fields::Samples::None && m_f.width >= uint32_t(m_k)
            && m_f.height >= uint32_t(m_k)) {
            decodeAcross(h, invert);
            return;
        }
        RowReader reader(h, m_f);
        auto read = [&](uint32_t y, uchar *r) {
            reader.read(y, r);
            if (invert)
                for (qsizetype i = 0; i < m_rowBytes; ++i)
                    r[i] = uchar(~r[i]);
        };
        if (m_k == 1) {
            for (uint32_t y = y0; y < y1; ++y)
                read(y, m_bits + qsizetype(y) * m_stride);
            reader.finish();
            return;
        }
        const auto rk = m_kind == Kind::Bilevel ? QelRowReducer::Kind::Bilevel
                        : m_kind == Kind::Grey  ? QelRowReducer::Kind::Grey
                                                : QelRowReducer::Kind::Rgb;
        QelRowReducer reducer(int(m_f.width), int(y1 - y0), rk, m_k, m_f.rowPhotometric() != PHOTOMETRIC_MINISBLACK);
        QByteArray row(m_rowBytes, Qt::Uninitialized);
        uchar *r = reinterpret_cast<uchar *>(row.data());
        for (uint32_t y = y0; y < y1; ++y) {
            read(y, r);
            reducer.addRow(r);
        }
        reader.finish();
        const QImage band = reducer.result();
        const int oy = int(y0) / m_k;
        for (int y = 0; y < band.height() && oy + y < m_img.height(); ++y)
            std::memcpy(m_bits + qsizetype(oy + y) * m_stride, band.constScanLine(y), size_t(band.bytesPerLine()));
    }

    // A page whose stored rows are its columns, made smaller as it is stored and then turned
    // upright: the blocks are those of the upright page (from its top-left corner, wherever that
    // lies among the stored rows), so the stored rows and columns before the first whole block
    // are left out.
    void decodeAcross(Handle &h, bool invert)
    {
        const uint32_t sw = m_f.storedWidth, sh = m_f.storedHeight, k = uint32_t(m_k);
        const uint16_t o = m_f.orientation;
        const uint32_t skipRows = o == ORIENTATION_RIGHTTOP || o == ORIENTATION_RIGHTBOT ? sh % k : 0;
        const uint32_t skipCols = o == ORIENTATION_RIGHTBOT || o == ORIENTATION_LEFTBOT ? sw % k : 0;
        const uint32_t rows = (sh - skipRows) / k * k, cols = sw - skipCols;
        StoredBands bands(h, m_f);
        SampleRow convert(h, m_f);
        const auto rk = m_kind == Kind::Bilevel ? QelRowReducer::Kind::Bilevel
                        : m_kind == Kind::Grey  ? QelRowReducer::Kind::Grey
                                                : QelRowReducer::Kind::Rgb;
        QelRowReducer reducer(int(cols), int(rows), rk, m_k, m_f.rowPhotometric() != PHOTOMETRIC_MINISBLACK);
        const size_t px = m_kind == Kind::Rgb ? 3 : 1;
        std::vector<uchar> row(m_kind == Kind::Bilevel ? (size_t(sw) + 7) / 8 + 1 : size_t(sw) * px);
        std::vector<uchar> shifted(m_kind == Kind::Bilevel && skipCols ? row.size() : 0);
        for (uint32_t r = skipRows; r < skipRows + rows; ++r) {
            convert(bands.row(r), row.data());
            const uchar *in = row.data();
            if (m_kind == Kind::Bilevel && skipCols) {
                const uint32_t at = skipCols / 8, by = skipCols % 8;
                for (size_t i = 0; i + at < row.size(); ++i)
                    shifted[i] = uchar(row[i + at] << by | (by && i + at + 1 < row.size() ? row[i + at + 1] >> (8 - by) : 0));
                in = shifted.data();
            } else if (m_kind != Kind::Bilevel) {
                in += size_t(skipCols) * px;
                if (invert)
                    for (size_t i = skipCols; i < sw; ++i)
                        row[i] = uchar(~row[i]);
            }
            reducer.addRow(in);
        }
        const QImage turned = upright(reducer.result(), o);
        for (int y = 0; y < turned.height() && y < m_img.height(); ++y)
            std::memcpy(m_bits + qsizetype(y) * m_stride, turned.constScanLine(y),
                        size_t(std::min(turned.bytesPerLine(), m_stride)));
    }

    QImage result()
    {
        if (m_k == 1 && m_kind == Kind::Bilevel) {
            if (m_f.rowPhotometric() == PHOTOMETRIC_MINISWHITE)
                m_img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
            else
                m_img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        }
        return std::move(m_img);
    }

private:
    const Fields m_f;
    const Kind m_kind;
    const int m_k;
    const qsizetype m_rowBytes;
    uint32_t m_rows = 0;
    QImage m_img;
    uchar *m_bits = nullptr;
    qsizetype m_stride = 0;
};

QImage decodeAt(const File &file, int directory, int factor, bool background)
{
    ++g_decodes;
    std::unique_lock lock(FileAccess::lock(file));
    Handle &h = atDirectory(file, directory);
    const Fields f = readFields(h);
    const int k = std::max(1, factor);
    PageRows page(f, k);
    const int threads = background ? 1 : std::min(8, QThreadPool::globalInstance()->maxThreadCount());
    const uint32_t band = page.bandRows(threads);
    if (band == 0) {
        page.decode(h, 0, page.rows());
    } else {
        // Strips are coded apart: bands of them decoded side by side, each through a handle of
        // its own on the same bytes, without the file's lock.
        const uint64_t offset = TIFFCurrentDirOffset(h.tif());
        lock.unlock();
        const int bands = int((page.rows() + band - 1) / band);
        sideBySide(bands, [&](int b) {
            const auto own = ownHandle(file, offset);
            readFields(*own);
            page.decode(*own, uint32_t(b) * band, std::min(page.rows(), uint32_t(b + 1) * band));
        });
    }
    QImage img = page.result();
    setDpm(img, toDpi(f.xres, f.unit) / k, toDpi(f.yres, f.unit) / k);
    if (page.rows() == f.height)
        FileAccess::setSound(file, directory);
    return img;
}

} // namespace

QImage decode(const File &file, int directory) { return decodeAt(file, directory, 1, false); }

QImage decodeReduced(const File &file, int directory, int factor, bool background)
{
    return decodeAt(file, directory, std::max(1, factor), background);
}

namespace {

// Pixels as indexes of a palette or 2- or 4-bit grey layout (packedRows, stored in any way): each
// pixel's map entry, or its grey level; none for grey pixels off its levels. Colours a palette's
// map lacks (a box burned in) take entries no pixel uses, else entries of a map of more bits; the
// map, when so, in own.
QImage layoutIndexes(const Handle &h, const Fields &f, const QImage &image, ColourMap &own)
{
    const bool grey = f.photometric == PHOTOMETRIC_MINISWHITE || f.photometric == PHOTOMETRIC_MINISBLACK;
    const bool palette = f.photometric == PHOTOMETRIC_PALETTE && (f.bps == 1 || f.bps == 2 || f.bps == 4 || f.bps == 8);
    if (f.spp != 1 || !(palette || (grey && (f.bps == 2 || f.bps == 4))) || codedKind(image) == Kind::Bilevel)
        return {};
    const int entries = 1 << f.bps;
    QImage out(image.size(), QImage::Format_Grayscale8);
    if (out.isNull())
        raiseImagingError(ezErr::ImageTooLarge);
    if (grey) {
        if (codedKind(image) != Kind::Grey)
            return {};
        const QImage g = image.convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y < g.height(); ++y) {
            const uchar *in = g.constScanLine(y);
            uchar *o = out.scanLine(y);
            for (int x = 0; x < g.width(); ++x) {
                const int level = (in[x] * (entries - 1) + 127) / 255;
                if (std::abs(level * 255 / (entries - 1) - in[x]) > 2)
                    return {};
                o[x] = uchar(f.photometric == PHOTOMETRIC_MINISWHITE ? entries - 1 - level : level);
            }
        }
        return out;
    }
    const std::vector<uchar> colours = colourTable(h);
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const auto colourAt = [&](int i) {
        return qRgb(colours[size_t(i) * 3], colours[size_t(i) * 3 + 1], colours[size_t(i) * 3 + 2]);
    };
    // each colour of the map, its first entry; the other colours pixels have, in order met
    QHash<QRgb, int> exact;
    for (int i = entries - 1; i >= 0; --i)
        exact.insert(colourAt(i), i);
    QHash<QRgb, int> other;
    std::vector<QRgb> others;
    std::vector<bool> used(size_t(entries), false), otherRows(size_t(rgb.height()), false);
    QRgb last = 0;
    int lastEntry = -2; // pixels come in runs of one colour
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar *in = rgb.constScanLine(y);
        uchar *o = out.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = qRgb(in[3 * x], in[3 * x + 1], in[3 * x + 2]);
            if (c != last || lastEntry == -2) {
                last = c;
                lastEntry = exact.value(c, -1);
                if (lastEntry < 0 && !other.contains(c)) {
                    if (others.size() >= 1 << 16) // pixels of many colours are not the page's palette
                        return {};
                    other.insert(c, int(others.size()));
                    others.push_back(c);
                }
            }
            if (lastEntry < 0) {
                otherRows[size_t(y)] = true;
            } else {
                used[size_t(lastEntry)] = true;
                o[x] = uchar(lastEntry);
            }
        }
    }
    if (others.empty())
        return out;
    // Where the other colours go (entry by order met, -1 to place): each as it is, in an entry no
    // pixel uses or in a map of twice the bits; when they do not all fit so, a colour near an
    // entry (within a few shades: a tinted paper's white, a smoothed edge) takes it and only the
    // others are placed, in the least depth that holds them.
    std::vector<int> entry(others.size(), -1);
    uint16_t bps = f.bps;
    std::vector<int> places;
    const auto placeAll = [&](int most) {
        std::vector<int> free;
        for (int i = 0; i < entries; ++i)
            if (!used[size_t(i)])
                free.push_back(i);
        const int n = int(std::count(entry.begin(), entry.end(), -1));
        if (n <= int(free.size())) {
            places = free;
            return true;
        }
        uint16_t wider = f.bps;
        while (wider < most && (1 << wider) < entries + n)
            wider = uint16_t(wider * 2);
        if ((1 << wider) < entries + n)
            return false;
        bps = wider;
        places.clear();
        for (int i = 0; i < n; ++i)
            places.push_back(entries + i);
        return true;
    };
    if (!placeAll(std::min(8, f.bps * 2))) {
        for (size_t k = 0; k < others.size(); ++k) {
            const int want[3] = {qRed(others[k]), qGreen(others[k]), qBlue(others[k])};
            int best = -1, bestFar = 33;
            for (int i = 0; i < entries; ++i) {
                int far = 0;
                for (int c = 0; c < 3; ++c)
                    far = std::max(far, std::abs(int(colours[size_t(i) * 3 + size_t(c)]) - want[c]));
                if (far < bestFar) {
                    best = i;
                    bestFar = far;
                }
            }
            if (best >= 0) {
                entry[k] = best;
                used[size_t(best)] = true;
            }
        }
        if (!placeAll(8))
            return {};
    }
    const bool placing = std::count(entry.begin(), entry.end(), -1) > 0;
    if (placing)
        own = widenedMap(h, f, bps);
    for (size_t k = 0, next = 0; k < others.size(); ++k)
        if (entry[k] < 0) {
            entry[k] = places[next++];
            setEntry(own, size_t(entry[k]), others[k]);
        }
    for (int y = 0; y < rgb.height(); ++y) {
        if (!otherRows[size_t(y)])
            continue;
        const uchar *in = rgb.constScanLine(y);
        uchar *o = out.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x)
            if (const QRgb c = qRgb(in[3 * x], in[3 * x + 1], in[3 * x + 2]); !exact.contains(c))
                o[x] = uchar(entry[size_t(other.value(c))]);
    }
    return out;
}

// Pixels of a kept-samples layout (keptSamples: 16 bits, alpha) written as such samples: inside
// the areas drawn over (everywhere, when the layout page is not the page itself) each pixel's
// shown value widened and opaque, so that nothing a box covers outlives it in a low byte or
// behind alpha; elsewhere the page's own samples. False (nothing written) for pixels smaller
// than the page or of another kind.
bool encodeSamples(TIFF *dst, const OutPage &p, Handle &src, const Fields &f)
{
    const bool grey = f.photometric != PHOTOMETRIC_RGB, odd = p.turns % 2;
    const uint32_t pw = odd ? f.height : f.width, ph = odd ? f.width : f.height;
    if (uint32_t(p.image.width()) < pw || uint32_t(p.image.height()) < ph
        || codedKind(p.image) != (grey ? Kind::Grey : Kind::Rgb))
        return false;
    const QImage image = p.image.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    const uint32_t w = uint32_t(image.width()), h = uint32_t(image.height());
    // the page's own samples, upright and turned as the pixels are
    QImage own;
    std::optional<StoredBands> stored;
    if (p.layoutIsPage) {
        own = turnedSamples(src, f, p.turns);
        if (own.isNull())
            stored.emplace(src, f);
    }
    beginSamples(dst, src, f, p, w, h, p.fill);
    const size_t pixel = pixelBytes(f), held = heldPixelBytes(f), px = grey ? 1 : 3;
    std::vector<uchar> row(size_t(w) * pixel), drawn(w);
    for (uint32_t y = 0; y < h; ++y) {
        const uchar *ownRow = y >= ph ? nullptr : !own.isNull() ? own.constScanLine(int(y)) : stored ? stored->row(y) : nullptr;
        const size_t ownStep = !own.isNull() ? held : pixel;
        std::fill(drawn.begin(), drawn.end(), uchar(ownRow ? 0 : 1));
        for (const QRect &r : p.drawn)
            if (int(y) >= r.top() && int(y) <= r.bottom())
                std::fill(drawn.begin() + std::clamp(r.left(), 0, int(w)), drawn.begin() + std::clamp(r.right() + 1, 0, int(w)),
                          uchar(1));
        const uchar *shown = image.constScanLine(int(y));
        for (uint32_t x = 0; x < w; ++x) {
            uchar *out = row.data() + size_t(x) * pixel;
            if (!drawn[x] && x < pw) {
                std::memcpy(out, ownRow + size_t(x) * ownStep, pixel);
                continue;
            }
            const uchar *c = shown + size_t(x) * px;
            opaquePixel(f, grey ? qRgb(c[0], c[0], c[0]) : qRgb(c[0], c[1], c[2]), out);
        }
        if (TIFFWriteScanline(dst, row.data(), y, 0) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
    if (!src.error().isEmpty())
        badFile(src, "damaged page data");
    return true;
}

// Pixels written in the layout of the stored page p names, where they fit it; else as pixels in
// its lossless coding (JPEG again at its quality).
void encodeInLayout(TIFF *dst, const OutPage &p)
{
    const auto src = ownHandle(*p.layoutFile, directoryOffset(*p.layoutFile, p.layoutDirectory));
    const Fields f = readFields(*src);
    ColourMap own;
    const QImage indexes = layoutIndexes(*src, f, p.image, own);
    if (!indexes.isNull()) {
        const uint32_t w = uint32_t(indexes.width()), h = uint32_t(indexes.height());
        copyPackedRows(dst, *src, f, p, indexes, w, h, own);
        return;
    }
    if (f.keptSamples() && encodeSamples(dst, p, *src, f))
        return;
    OutPage q = p;
    q.lossless = f.compression;
    q.jpegQuality = f.compression == COMPRESSION_JPEG ? jpegQuality(src->tif(), f) : 0;
    if (q.jpegQuality)
        jpegChroma(src->tif(), f, q.jpegChroma);
    encode(dst, q);
}

// True when the page is a stored one written as it is stored.
bool copiedAsStored(const OutPage &p)
{
    if (!p.rawFile || p.canvas.isValid() || p.turns % 4)
        return false;
    std::lock_guard lock(FileAccess::lock(*p.rawFile));
    return rawCopyable(readFields(atDirectory(*p.rawFile, p.rawDirectory)));
}

// A page coded again, alone in a TIFF of its own: a stored page's rows, or pixels.
QByteArray codedAlone(const OutPage &p)
{
    QByteArray out;
    Handle h(&out);
    if (!h.tif())
        raiseImagingError(ezErr::WriteFailed, h.error());
    if (p.rawFile) {
        const auto src = ownHandle(*p.rawFile, directoryOffset(*p.rawFile, p.rawDirectory));
        copyRows(h.tif(), *src, p);
    } else if (p.layoutFile) {
        encodeInLayout(h.tif(), p);
    } else {
        encode(h.tif(), p);
    }
    if (!TIFFWriteDirectory(h.tif()) || !h.close())
        raiseImagingError(ezErr::WriteFailed, h.error());
    return out;
}

void writePages(Handle &h, const std::vector<OutPage> &pages, bool checked)
{
    if (!h.tif())
        raiseImagingError(ezErr::WriteFailed, h.error());
    // Pages coded again are coded side by side, a few at a time, and their strips copied in
    // order; the others' strips are copied as they are stored.
    const size_t window = size_t(2 * std::max(1, QThreadPool::globalInstance()->maxThreadCount()));
    for (size_t first = 0; first < pages.size(); first += window) {
        const size_t n = std::min(window, pages.size() - first);
        std::vector<std::unique_ptr<File>> coded(n);
        sideBySide(int(n), [&](int j) {
            const OutPage &p = pages[first + size_t(j)];
            try {
                if (!copiedAsStored(p))
                    coded[size_t(j)] = std::make_unique<File>(codedAlone(p));
                else if (checked)
                    verifyStrips(*p.rawFile, p.rawDirectory);
            } catch (const VbError &e) {
                if (e.number != ezErr::BadImageFile)
                    throw;
                throw VbError(e.number, QStringLiteral("%1 (page %2)").arg(e.description).arg(first + size_t(j) + 1), e.source);
            }
        });
        for (size_t j = 0; j < n; ++j) {
            OutPage p = pages[first + j];
            if (coded[j]) {
                p.rawFile = coded[j].get();
                p.rawDirectory = 0;
                p.canvas = QSize();
                p.turns = 0;
            }
            if (!copyRaw(h.tif(), p))
                raiseImagingError(ezErr::WriteFailed, QStringLiteral("page %1 cannot be copied").arg(first + j + 1));
            if (!TIFFWriteDirectory(h.tif()))
                raiseImagingError(ezErr::WriteFailed, h.error());
        }
    }
    if (!h.close())
        raiseImagingError(ezErr::WriteFailed, h.error());
}

} // namespace

QelPageInfo codedInfo(const OutPage &p)
{
    QelPageInfo info;
    const Kind kind = codedKind(p.image);
    info.width = p.image.width();
    info.height = p.image.height();
    if (p.xDpi > 0 && p.yDpi > 0) { // as written and read back
        info.xDpi = toDpi(float(p.xDpi), RESUNIT_INCH);
        info.yDpi = toDpi(float(p.yDpi), RESUNIT_INCH);
    }
    info.bitsPerSample = kind == Kind::Bilevel ? 1 : 8;
    info.samplesPerPixel = kind == Kind::Rgb ? 3 : 1;
    info.compression = kind == Kind::Bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW;
    info.rawCopyable = true;
    return info;
}

QByteArray write(const std::vector<OutPage> &pages, bool checked)
{
    QByteArray out;
    Handle h(&out);
    writePages(h, pages, checked);
    return out;
}


void write(const QString &path, const std::vector<OutPage> &pages, bool checked)
{
    if (path.isEmpty() || memfiles::isMemPath(path)) {
        memfiles::writeAll(path, write(pages, checked));
        return;
    }
    // libtiff reads back what it wrote while linking the pages.
    memfiles::replaceFile(path, [&](QIODevice &f) {
        Handle h(static_cast<QFileDevice &>(f).handle());
        writePages(h, pages, checked);
    });
    struct stat st {};
    if (checked && ::stat(QFile::encodeName(path).constData(), &st) == 0) {
        std::lock_guard g(g_knownLock);
        g_written.push_back(identity(st));
        if (g_written.size() > 64)
            g_written.erase(g_written.begin());
    }
}

// ---- files -------------------------------------------------------------------------------------

File::File(QByteArray bytes) : m_bytes(std::move(bytes)), m_size(m_bytes.size()) {}

File::~File()
{
    m_reader.reset();
    const qsizetype size = m_bytes.size();
    m_bytes = QByteArray();
    if (m_map)
        ::munmap(m_map, size_t(size));
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<std::shared_ptr<const File>> coded(const std::vector<OutPage> &pages)
{
    std::vector<std::shared_ptr<const File>> files(pages.size());
    sideBySide(int(pages.size()), [&](int i) {
        auto file = std::make_shared<File>(write({pages[size_t(i)]}));
        file->m_allSound = true;
        files[size_t(i)] = std::move(file);
    });
    return files;
}

void File::takeMarks(const File &from) const
{
    std::set<int> marks;
    {
        std::lock_guard g(from.m_soundLock);
        marks = from.m_sound;
    }
    std::lock_guard g(m_soundLock);
    m_sound.insert(marks.begin(), marks.end());
}

std::shared_ptr<const File> File::openUnmapped(const QString &path)
{
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        raiseImagingError(ezErr::FileNotFound, path);
    auto file = std::make_shared<File>();
    file->m_fd = ::dup(f.handle());
    if (file->m_fd < 0)
        raiseImagingError(ezErr::FileNotFound, path);
    file->m_size = f.size();
    return file;
}

std::shared_ptr<const File> File::open(const QString &path)
{
    if (memfiles::isMemPath(path))
        return std::make_shared<const File>(memfiles::readAll(path));
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        raiseImagingError(ezErr::FileNotFound, path);
    const qint64 size = f.size();
    struct stat st {};
    const bool stated = ::fstat(f.handle(), &st) == 0;
    // The mapping outlives the descriptor, and a file renamed over this one leaves it whole.
    void *data = size > 0 ? ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, f.handle(), 0) : MAP_FAILED;
    std::shared_ptr<File> file;
    if (data != MAP_FAILED) {
        file = std::make_shared<File>(QByteArray::fromRawData(static_cast<const char *>(data), size));
        file->m_map = data;
    } else {
        file = std::make_shared<File>(f.readAll());
    }
    if (stated)
        FileAccess::opened(file, st);
    return file;
}

QImage rotated(const QImage &image, int quarterTurns)
{
    int turns = ((quarterTurns % 4) + 4) % 4;
    if (turns == 0 || image.isNull())
        return image;
    QImage out;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
        out = rotateMono(image, turns);
    else
        out = image.transformed(QTransform().rotate(90.0 * turns));
    if (turns % 2) {
        out.setDotsPerMeterX(image.dotsPerMeterY());
        out.setDotsPerMeterY(image.dotsPerMeterX());
    } else {
        out.setDotsPerMeterX(image.dotsPerMeterX());
        out.setDotsPerMeterY(image.dotsPerMeterY());
    }
    return out;
}

}
