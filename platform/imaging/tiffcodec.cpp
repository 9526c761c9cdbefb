#include "platform/imaging/tiffcodec.h"

#include <QFile>
#include <QLoggingCategory>
#include <QThreadPool>
#include <QTransform>

#include <tiffio.h>

#include <cstdarg>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <numeric>
#include <cstring>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/imaging/imagingerror.h"
#include "platform/imaging/memfiles.h"
#include "platform/imaging/reduction.h"

Q_LOGGING_CATEGORY(lcImaging, "quorla.imaging")

namespace tiffcodec {
namespace {

constexpr tmsize_t MaxSingleAlloc = tmsize_t(512) * 1024 * 1024;
constexpr int MaxDirectories = 100000;
std::atomic<qint64> g_decodes{0};

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

int onError(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    auto *err = static_cast<QString *>(user);
    if (err->isEmpty())
        *err = QString::fromUtf8(module ? module : "") + QStringLiteral(": ") + QString::fromUtf8(buf);
    return 1;
}

int onWarning(TIFF *, void *, const char *module, const char *fmt, va_list ap)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    qCWarning(lcImaging) << (module ? module : "") << buf;
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
        TIFFOpenOptionsSetWarningHandlerExtR(o, onWarning, nullptr);
        TIFFOpenOptionsSetMaxSingleMemAlloc(o, MaxSingleAlloc);
        m_tif = TIFFClientOpenExt("memory", mode, thandle_t(&m_io), ioRead, ioWrite, ioSeek,
                                  ioClose, ioSize, ioMap, ioUnmap, o);
        TIFFOpenOptionsFree(o);
    }

    MemIO m_io;
    TIFF *m_tif = nullptr;
    QString m_error;
};

// The handle a file keeps, opened on first use; the caller holds the lock.
struct FileAccess {
    static std::mutex &lock(const File &file) { return file.m_lock; }
    static Handle &reader(const File &file)
    {
        if (!file.m_reader)
            file.m_reader = std::make_unique<Handle>(file.m_bytes);
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

enum class Kind { Bilevel, Grey, Rgb, Other };

struct Fields {
    uint32_t width = 0, height = 0;
    uint16_t bps = 1, spp = 1, compression = 1, photometric = 0, planar = 1, orientation = 1;
    uint16_t unit = RESUNIT_INCH;
    float xres = 0, yres = 0;
    bool tiled = false;

    Kind kind() const
    {
        if (tiled || planar != PLANARCONFIG_CONTIG || orientation != ORIENTATION_TOPLEFT)
            return Kind::Other;
        bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
        if (spp == 1 && bps == 1 && grey)
            return Kind::Bilevel;
        if (spp == 1 && bps == 8 && grey)
            return Kind::Grey;
        // JPEG pages in YCbCr are read as RGB rows (the codec converts them)
        if (spp == 3 && bps == 8
            && (photometric == PHOTOMETRIC_RGB || (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG)))
            return Kind::Rgb;
        return Kind::Other;
    }
};

// Strips of such a directory can be written again as they are.
bool rawCopyable(const Fields &f)
{
    const Kind k = f.kind();
    return (k == Kind::Bilevel && f.compression == COMPRESSION_CCITTFAX4)
           || ((k == Kind::Grey || k == Kind::Rgb) && (f.compression == COMPRESSION_LZW || f.compression == COMPRESSION_JPEG));
}

// Bytes of a decoded row of a directory whose kind has a row reader.
qsizetype rowBytesOf(const Fields &f)
{
    return f.kind() == Kind::Bilevel ? (qsizetype(f.width) + 7) / 8 : qsizetype(f.width) * f.spp;
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
    if (f.compression == COMPRESSION_JPEG && f.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    if (f.width == 0 || f.height == 0)
        badFile(h, "empty page");
    if (qint64(f.width) * qint64(f.height) > MaxPixels)
        raiseImagingError(ezErr::ImageTooLarge);
    return f;
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
    Handle &h = FileAccess::reader(file);
    h.clearError();
    if (!h.tif() || directory < 0 || !TIFFSetDirectory(h.tif(), tdir_t(directory)))
        badFile(h, "page directory not found");
    return h;
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
    if (f.compression == COMPRESSION_LZW) {
        uint16_t predictor = 1;
        TIFFGetFieldDefaulted(s, TIFFTAG_PREDICTOR, &predictor);
        TIFFSetField(dst, TIFFTAG_PREDICTOR, predictor);
    }
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

    uint64_t *counts = nullptr;
    if (!TIFFGetField(s, TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts)
        badFile(src, "no strip byte counts");
    uint32_t strips = TIFFNumberOfStrips(s);
    QByteArray buf;
    for (uint32_t i = 0; i < strips; ++i) {
        if (counts[i] > uint64_t(MaxSingleAlloc))
            badFile(src, "strip too large");
        buf.resize(qsizetype(counts[i]));
        tmsize_t n = TIFFReadRawStrip(s, i, buf.data(), tmsize_t(buf.size()));
        if (n < 0)
            badFile(src, "unreadable strip");
        if (TIFFWriteRawStrip(dst, i, buf.data(), n) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
    return true;
}

void encode(TIFF *t, const OutPage &p)
{
    QImage img = p.image;
    Kind kind;
    if (img.format() == QImage::Format_Mono || img.format() == QImage::Format_MonoLSB) {
        kind = Kind::Bilevel;
        if (img.format() == QImage::Format_MonoLSB)
            img = img.convertToFormat(QImage::Format_Mono);
    } else if (img.isGrayscale()) {
        kind = Kind::Grey;
        if (img.format() != QImage::Format_Grayscale8)
            img = img.convertToFormat(QImage::Format_Grayscale8);
    } else {
        kind = Kind::Rgb;
        if (img.format() != QImage::Format_RGB888)
            img = img.convertToFormat(QImage::Format_RGB888);
    }
    const uint32_t w = uint32_t(img.width()), h = uint32_t(img.height());
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    qsizetype rowBytes;
    uint32_t rps;
    bool invert = false;
    if (kind == Kind::Bilevel) {
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISWHITE));
        TIFFSetField(t, TIFFTAG_FILLORDER, uint16_t(FILLORDER_MSB2LSB));
        rowBytes = (w + 7) / 8;
        rps = h;
        // Stored bits are 1 = black; flip when the image's index 1 is the lighter colour.
        QList<QRgb> ct = img.colorTable();
        if (ct.size() >= 2)
            invert = qGray(ct[1]) > qGray(ct[0]);
    } else {
        const uint16_t spp = kind == Kind::Grey ? 1 : 3;
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
        TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     uint16_t(kind == Kind::Grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB));
        rowBytes = qsizetype(w) * spp;
        rps = std::max<uint32_t>(1, uint32_t(64 * 1024 / rowBytes));
        rps = std::min(rps, h);
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
    writeResolution(t, p.xDpi, p.yDpi);
    writeAnnotations(t, p.annotations);

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

// Writes a stored page again a row at a time (on its canvas when it has one): each row is
// decoded, the new pixels on its right filled, and encoded (bilevel G4 in the page's own
// photometric, others LZW). False, with nothing written, for a layout without a row reader (a
// canvas then cannot be had).
bool copyRows(TIFF *dst, const OutPage &p)
{
    std::lock_guard lock(FileAccess::lock(*p.rawFile));
    Handle &src = atDirectory(*p.rawFile, p.rawDirectory);
    const Fields f = readFields(src);
    const Kind kind = f.kind();
    if (kind == Kind::Other) {
        if (p.canvas.isValid())
            badFile(src, "unsupported page layout");
        return false;
    }
    ++g_decodes;
    const uint32_t w = f.width, hgt = f.height;
    const uint32_t nw = p.canvas.isValid() ? std::max<uint32_t>(w, uint32_t(p.canvas.width())) : w;
    const uint32_t nh = p.canvas.isValid() ? std::max<uint32_t>(hgt, uint32_t(p.canvas.height())) : hgt;
    const QRgb c = p.fill;
    const bool light = qGray(c) >= 128;
    TIFFSetField(dst, TIFFTAG_IMAGEWIDTH, nw);
    TIFFSetField(dst, TIFFTAG_IMAGELENGTH, nh);
    TIFFSetField(dst, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(dst, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFSetField(dst, TIFFTAG_BITSPERSAMPLE, f.bps);
    const uint16_t spp = kind == Kind::Rgb ? 3 : 1;
    TIFFSetField(dst, TIFFTAG_SAMPLESPERPIXEL, spp);
    const qsizetype oldBytes = rowBytesOf(f);
    qsizetype rowBytes;
    uint32_t rps;
    uchar fillByte[3];
    if (kind == Kind::Bilevel) {
        TIFFSetField(dst, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4));
        TIFFSetField(dst, TIFFTAG_PHOTOMETRIC, f.photometric);
        TIFFSetField(dst, TIFFTAG_FILLORDER, uint16_t(FILLORDER_MSB2LSB));
        rowBytes = (qsizetype(nw) + 7) / 8;
        rps = nh;
        // A set bit is white on a black-is-0 page.
        const bool setBit = light == (f.photometric == PHOTOMETRIC_MINISBLACK);
        fillByte[0] = setBit ? 0xFF : 0x00;
    } else {
        TIFFSetField(dst, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
        TIFFSetField(dst, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL));
        TIFFSetField(dst, TIFFTAG_PHOTOMETRIC, kind == Kind::Grey ? f.photometric : uint16_t(PHOTOMETRIC_RGB));
        rowBytes = qsizetype(nw) * spp;
        rps = std::clamp<uint32_t>(uint32_t(64 * 1024 / rowBytes), 1, nh);
        if (kind == Kind::Grey) {
            const int g = qGray(c);
            fillByte[0] = uchar(f.photometric == PHOTOMETRIC_MINISWHITE ? 255 - g : g);
        } else {
            fillByte[0] = uchar(qRed(c));
            fillByte[1] = uchar(qGreen(c));
            fillByte[2] = uchar(qBlue(c));
        }
    }
    TIFFSetField(dst, TIFFTAG_ROWSPERSTRIP, rps);
    writeResolution(dst, p.xDpi, p.yDpi);
    writeAnnotations(dst, p.annotations);

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
        } else if (spp == 1) {
            std::memset(row + from, fillByte[0], size_t(rowBytes - from));
        } else {
            for (qsizetype i = qsizetype(from) * 3; i < rowBytes; i += 3)
                std::memcpy(row + i, fillByte, 3);
        }
    };
    if (TIFFScanlineSize64(src.tif()) != uint64_t(oldBytes))
        badFile(src, "unexpected row size");
    for (uint32_t y = 0; y < nh; ++y) {
        if (y < hgt) {
            if (TIFFReadScanline(src.tif(), row, y, 0) < 0)
                badFile(src, "unreadable strip");
            fillFrom(w);
        } else {
            fillFrom(0);
        }
        if (TIFFWriteScanline(dst, row, y, 0) < 0)
            raiseImagingError(ezErr::WriteFailed);
    }
    if (!src.error().isEmpty())
        badFile(src, "damaged page data");
    return true;
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

bool canCopyRaw(const QelPageInfo &info) { return info.rawCopyable; }

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
            if (damage && !dataInsideFile(h.tif(), file.bytes().size()))
                badFile(h, "page data past the end of the file");
            d.info.width = int(f.width);
            d.info.height = int(f.height);
            d.info.xDpi = toDpi(f.xres, f.unit);
            d.info.yDpi = toDpi(f.yres, f.unit);
            d.info.bitsPerSample = f.bps;
            d.info.samplesPerPixel = f.spp;
            d.info.compression = f.compression;
            d.info.rawCopyable = rawCopyable(f);
            d.info.rowsReadable = f.kind() != Kind::Other;
        } catch (const VbError &e) {
            if (!damage)
                throw;
            *damage = VbError(e.number, QStringLiteral("%1 (page %2)").arg(e.description).arg(dirs.size() + 1), e.source);
            return dirs;
        }
        uint32_t n = 0;
        void *data = nullptr;
        if (TIFFGetField(h.tif(), ttag_t(AnnotationTag), &n, &data) && data && n > 0)
            d.annotations = QByteArray(static_cast<const char *>(data), qsizetype(n));
        dirs.push_back(std::move(d));
        if (dirs.size() > size_t(MaxDirectories))
            badFile(h, "too many pages");
    } while (TIFFReadDirectory(h.tif()));
    if (!h.error().isEmpty()) {
        if (!damage)
            badFile(h, "unreadable directory");
        *damage = VbError(ezErr::BadImageFile, QStringLiteral("%1: %2 (page %3)")
                                                   .arg(imagingErrorText(ezErr::BadImageFile), h.error())
                                                   .arg(dirs.size() + 1),
                          QStringLiteral("QelEzImage"));
    }
    return dirs;
}

qint64 decodeCount() { return g_decodes.load(); }

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

// Decodes rows y0 .. y1 - 1 of the handle's directory in order, each into the buffer rowAt(y)
// gives, then handed to rowDone. y0 starts a strip.
template <typename RowAt, typename RowDone>
void readRows(Handle &h, qsizetype rowBytes, uint32_t y0, uint32_t y1, RowAt rowAt, RowDone rowDone)
{
    TIFF *t = h.tif();
    if (TIFFScanlineSize64(t) != uint64_t(rowBytes))
        badFile(h, "unexpected row size");
    for (uint32_t y = y0; y < y1; ++y) {
        uchar *row = rowAt(y);
        if (TIFFReadScanline(t, row, y, 0) < 0)
            badFile(h, "unreadable strip");
        rowDone(row);
    }
    if (!h.error().isEmpty())
        badFile(h, "damaged page data");
}

// Whole pixels of a directory whose layout has no row reader of ours, through libtiff's RGBA
// reader.
QImage decodeRgba(Handle &h, const Fields &f)
{
    const int w = int(f.width), hgt = int(f.height);
    std::vector<uint32_t> raster;
    raster.resize(size_t(w) * size_t(hgt));
    if (!TIFFReadRGBAImageOriented(h.tif(), f.width, f.height, raster.data(), ORIENTATION_TOPLEFT, 0))
        badFile(h, "unsupported page layout");
    return QImage(reinterpret_cast<const uchar *>(raster.data()), w, hgt, w * 4, QImage::Format_RGBA8888)
        .convertToFormat(QImage::Format_RGB888);
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
    // blocks of the reduction, two strips a band at least, of coded pages of a megabyte or more.
    uint32_t bandRows(TIFF *t, int threads) const
    {
        uint32_t rps = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rps);
        rps = std::clamp<uint32_t>(rps, 1, m_f.height);
        const uint64_t unit = std::lcm(uint64_t(rps), uint64_t(m_k));
        if (threads < 2 || TIFFIsTiled(t) || m_f.compression == COMPRESSION_NONE // rows copied, not decoded
            || qint64(m_rowBytes) * m_rows < (qint64(1) << 20))
            return 0;
        const uint64_t per = (m_rows + uint64_t(threads) - 1) / uint64_t(threads);
        const uint64_t band = (per + unit - 1) / unit * unit;
        return band < m_rows && band >= 2 * uint64_t(rps) ? uint32_t(band) : 0;
    }

    // Rows y0 .. y1 - 1 (y0 starts a strip and a block) decoded from the handle.
    void decode(Handle &h, uint32_t y0, uint32_t y1)
    {
        const bool invert = m_kind == Kind::Grey && m_f.photometric == PHOTOMETRIC_MINISWHITE;
        auto flip = [&](uchar *r) {
            if (invert)
                for (qsizetype i = 0; i < m_rowBytes; ++i)
                    r[i] = uchar(~r[i]);
        };
        if (m_k == 1) {
            readRows(h, m_rowBytes, y0, y1, [&](uint32_t y) { return m_bits + qsizetype(y) * m_stride; }, flip);
            return;
        }
        const auto rk = m_kind == Kind::Bilevel ? QelRowReducer::Kind::Bilevel
                        : m_kind == Kind::Grey  ? QelRowReducer::Kind::Grey
                                                : QelRowReducer::Kind::Rgb;
        QelRowReducer reducer(int(m_f.width), int(y1 - y0), rk, m_k, m_f.photometric != PHOTOMETRIC_MINISBLACK);
        QByteArray row(m_rowBytes, Qt::Uninitialized);
        readRows(h, m_rowBytes, y0, y1, [&](uint32_t) { return reinterpret_cast<uchar *>(row.data()); },
                 [&](uchar *r) {
                     flip(r);
                     reducer.addRow(r);
                 });
        const QImage band = reducer.result();
        const int oy = int(y0) / m_k;
        for (int y = 0; y < band.height() && oy + y < m_img.height(); ++y)
            std::memcpy(m_bits + qsizetype(oy + y) * m_stride, band.constScanLine(y), size_t(band.bytesPerLine()));
    }

    QImage result()
    {
        if (m_k == 1 && m_kind == Kind::Bilevel) {
            if (m_f.photometric == PHOTOMETRIC_MINISWHITE)
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
    QImage img;
    if (f.kind() == Kind::Other) {
        img = reducedImage(decodeRgba(h, f), k);
    } else {
        PageRows page(f, k);
        const int threads = background ? 1 : std::min(8, QThreadPool::globalInstance()->maxThreadCount());
        const uint32_t band = page.bandRows(h.tif(), threads);
        if (band == 0) {
            page.decode(h, 0, page.rows());
        } else {
            // Strips are coded apart: bands of them decoded side by side, each through a handle
            // of its own on the same bytes, without the file's lock.
            const uint64_t offset = TIFFCurrentDirOffset(h.tif());
            lock.unlock();
            const int bands = int((page.rows() + band - 1) / band);
            sideBySide(bands, [&](int b) {
                Handle own(file.bytes(), "rh");
                if (!own.tif() || !TIFFSetSubDirectory(own.tif(), offset))
                    badFile(own, "page directory not found");
                readFields(own);
                page.decode(own, uint32_t(b) * band, std::min(page.rows(), uint32_t(b + 1) * band));
            });
        }
        img = page.result();
    }
    setDpm(img, toDpi(f.xres, f.unit) / k, toDpi(f.yres, f.unit) / k);
    return img;
}

} // namespace

QImage decode(const File &file, int directory) { return decodeAt(file, directory, 1, false); }

QImage decodeReduced(const File &file, int directory, int factor, bool background)
{
    return decodeAt(file, directory, std::max(1, factor), background);
}

namespace {

void writePages(Handle &h, const std::vector<OutPage> &pages)
{
    if (!h.tif())
        raiseImagingError(ezErr::WriteFailed, h.error());
    for (const OutPage &p : pages) {
        if (!p.rawFile) {
            encode(h.tif(), p);
        } else if ((p.canvas.isValid() || !copyRaw(h.tif(), p)) && !copyRows(h.tif(), p)) {
            // decoded only now, so that one page at a time is held
            OutPage decoded = p;
            decoded.rawFile = nullptr;
            decoded.image = decode(*p.rawFile, p.rawDirectory);
            encode(h.tif(), decoded);
        }
        if (!TIFFWriteDirectory(h.tif()))
            raiseImagingError(ezErr::WriteFailed, h.error());
    }
    if (!h.close())
        raiseImagingError(ezErr::WriteFailed, h.error());
}

} // namespace

QByteArray write(const std::vector<OutPage> &pages)
{
    QByteArray out;
    Handle h(&out);
    writePages(h, pages);
    return out;
}

void write(const QString &path, const std::vector<OutPage> &pages)
{
    if (path.isEmpty() || memfiles::isMemPath(path)) {
        memfiles::writeAll(path, write(pages));
        return;
    }
    // libtiff reads back what it wrote while linking the pages.
    memfiles::replaceFile(path, [&](QIODevice &f) {
        Handle h(static_cast<QFileDevice &>(f).handle());
        writePages(h, pages);
    });
}

// ---- files -------------------------------------------------------------------------------------

File::File(QByteArray bytes) : m_bytes(std::move(bytes)) {}

File::~File()
{
    m_reader.reset();
    const qsizetype size = m_bytes.size();
    m_bytes = QByteArray();
    if (m_map)
        ::munmap(m_map, size_t(size));
}

std::shared_ptr<const File> File::open(const QString &path)
{
    if (memfiles::isMemPath(path))
        return std::make_shared<const File>(memfiles::readAll(path));
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        raiseImagingError(ezErr::FileNotFound, path);
    const qint64 size = f.size();
    // The mapping outlives the descriptor, and a file renamed over this one leaves it whole.
    void *data = size > 0 ? ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, f.handle(), 0) : MAP_FAILED;
    if (data != MAP_FAILED) {
        auto file = std::make_shared<File>(QByteArray::fromRawData(static_cast<const char *>(data), size));
        file->m_map = data;
        return file;
    }
    return std::make_shared<const File>(f.readAll());
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
