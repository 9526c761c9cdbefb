#include "platform/toolkit/imagingtoolkit.h"

#include "platform/imaging/imagingerror.h"
#include "platform/imaging/tiffcodec.h"
#include "platform/vb/vberror.h"

#include <QFile>

#include <cstring>

struct ImagingToolkit::Page {
    tiffcodec::Directory dir;
    int index = 0;      // directory in m_file
    QImage image;       // decoded pixels, once needed
    bool changed = false;
    QSize canvas;       // an enlarged canvas not yet made (the pixels are not decoded for it)
    QRgb fill = 0;
};

namespace {

// A new canvas with the old pixels at its top-left corner and the rest in the colour (white or
// black on bilevel pages, by brightness).
QImage resized(const QImage &src, int newWidth, int newHeight, QRgb color)
{
    QImage out(newWidth, newHeight, src.format());
    if (out.isNull())
        raiseVbError(7, QStringLiteral("Out of memory"));
    out.setDotsPerMeterX(src.dotsPerMeterX());
    out.setDotsPerMeterY(src.dotsPerMeterY());
    if (src.format() == QImage::Format_Mono) {
        out.setColorTable(src.colorTable());
        // The fill index is the colour-table entry nearer in brightness to the colour.
        const int light = qGray(src.color(0)) >= qGray(src.color(1)) ? 0 : 1;
        const int fill = qGray(color) >= 128 ? light : 1 - light;
        out.fill(fill);
        const int w = std::min(src.width(), newWidth), h = std::min(src.height(), newHeight);
        const int full = w / 8, tail = w % 8;
        for (int y = 0; y < h; ++y) {
            const uchar *s = src.constScanLine(y);
            uchar *d = out.scanLine(y);
            std::memcpy(d, s, full);
            if (tail) {
                const uchar mask = uchar(0xFF << (8 - tail));
                d[full] = uchar((s[full] & mask) | (d[full] & ~mask));
            }
        }
    } else {
        if (src.format() == QImage::Format_Grayscale8)
            out.fill(qGray(color));
        else
            out.fill(QColor(qRed(color), qGreen(color), qBlue(color)));
        const int bpp = src.format() == QImage::Format_Grayscale8 ? 1 : 3;
        const int w = std::min(src.width(), newWidth), h = std::min(src.height(), newHeight);
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), src.constScanLine(y), size_t(w) * bpp);
    }
    return out;
}

} // namespace

ImagingToolkit::ImagingToolkit() = default;
ImagingToolkit::~ImagingToolkit() = default;

void ImagingToolkit::open(const QString &path, int, const QString &)
{
    if (!QFile::exists(path))
        raiseVbError(vbErr::FileNotFound);
    std::shared_ptr<const tiffcodec::File> file;
    try {
        file = tiffcodec::File::open(path);
    } catch (const VbError &) {
        raiseVbError(vbErr::PathFileAccessError);
    }
    std::vector<tiffcodec::Directory> dirs;
    try {
        dirs = tiffcodec::readDirectories(*file);
    } catch (const VbError &) {
        raiseVbError(321, QStringLiteral("Invalid file format"));
    }
    std::vector<Page> pages(dirs.size());
    for (size_t i = 0; i < dirs.size(); ++i) {
        pages[i].dir = std::move(dirs[i]);
        pages[i].index = int(i);
    }
    m_file = std::move(file);
    m_pages = std::move(pages);
    m_selected = m_pages.empty() ? -1 : 0;
}

int ImagingToolkit::pageCount() const { return int(m_pages.size()); }

void ImagingToolkit::selectPage(int index)
{
    if (index < 0 || index >= pageCount())
        raiseVbError(vbErr::SubscriptOutOfRange);
    m_selected = index;
}

ImagingToolkit::Page &ImagingToolkit::selected()
{
    if (m_selected < 0 || m_selected >= pageCount())
        raiseVbError(vbErr::ObjectVariableNotSet);
    return m_pages[m_selected];
}

const ImagingToolkit::Page &ImagingToolkit::selected() const
{
    return const_cast<ImagingToolkit *>(this)->selected();
}

QImage &ImagingToolkit::decoded(Page &page) const
{
    if (page.image.isNull()) {
        try {
            page.image = tiffcodec::decode(*m_file, page.index);
        } catch (const VbError &) {
            raiseVbError(321, QStringLiteral("Invalid file format"));
        }
    }
    if (page.canvas.isValid()) {
        // the enlargement put off until now
        const QSize canvas = page.canvas;
        page.canvas = QSize();
        page.image = resized(page.image, canvas.width(), canvas.height(), page.fill);
    }
    return page.image;
}

int ImagingToolkit::width() const
{
    const Page &p = selected();
    return p.canvas.isValid() ? p.canvas.width() : p.image.isNull() ? p.dir.info.width : p.image.width();
}

int ImagingToolkit::height() const
{
    const Page &p = selected();
    return p.canvas.isValid() ? p.canvas.height() : p.image.isNull() ? p.dir.info.height : p.image.height();
}

unsigned ImagingToolkit::makeColor(unsigned rgb, int alpha) const
{
    if (rgb > 0xFFFFFFu || alpha < 0 || alpha > 255)
        raiseVbError(vbErr::InvalidProcedureCall);
    return qRgba(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF, alpha);
}

QImage ImagingToolkit::pageImage() const
{
    return decoded(const_cast<ImagingToolkit *>(this)->selected());
}

void ImagingToolkit::resizeCanvas(int newWidth, int newHeight, unsigned color, int, int, const QString &)
{
    Page &p = selected();
    if (newWidth < 1 || newHeight < 1 || qint64(newWidth) * newHeight > tiffcodec::MaxPixels)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (p.image.isNull() && newWidth >= width() && newHeight >= height()) {
        // Made when the page is written, a row at a time; or when its pixels are asked for.
        p.canvas = QSize(newWidth, newHeight);
        p.fill = QRgb(color);
        p.changed = true;
        return;
    }
    p.image = resized(decoded(p), newWidth, newHeight, QRgb(color));
    p.changed = true;
}

void ImagingToolkit::crop(int left, int top, int width, int height, const QString &)
{
    Page &p = selected();
    const QImage &src = decoded(p);
    const QRect r = QRect(left, top, width, height).intersected(src.rect());
    if (width < 1 || height < 1 || r.isEmpty())
        raiseVbError(vbErr::InvalidProcedureCall);
    QImage out = src.copy(r);
    out.setDotsPerMeterX(src.dotsPerMeterX());
    out.setDotsPerMeterY(src.dotsPerMeterY());
    p.image = std::move(out);
    p.changed = true;
}

void ImagingToolkit::save(const QString &path, int format, int, bool overwrite)
{
    if (format != 3)
        raiseVbError(vbErr::InvalidProcedureCall);
    if (m_pages.empty())
        raiseVbError(vbErr::ObjectVariableNotSet);
    if (!overwrite && QFile::exists(path))
        raiseVbError(vbErr::FileAlreadyExists);
    std::vector<tiffcodec::OutPage> out(m_pages.size());
    for (size_t i = 0; i < m_pages.size(); ++i) {
        Page &p = m_pages[i];
        tiffcodec::OutPage &o = out[i];
        o.xDpi = p.image.isNull() ? p.dir.info.xDpi : p.image.dotsPerMeterX() * 0.0254;
        o.yDpi = p.image.isNull() ? p.dir.info.yDpi : p.image.dotsPerMeterY() * 0.0254;
        if (p.canvas.isValid() || !p.changed) {
            o.rawFile = m_file.get();
            o.rawDirectory = p.index;
            o.canvas = p.canvas;
            o.fill = p.fill;
        } else {
            o.image = decoded(p);
        }
    }
    try {
        // Written beside the file and renamed into place: the pages read from it stay readable.
        tiffcodec::write(path, out);
    } catch (const VbError &e) {
        if (e.number == vbErr::DiskFull)
            throw;
        if (e.number == ezErr::WriteFailed)
            raiseVbError(vbErr::PathFileAccessError);
        raiseVbError(321, QStringLiteral("Invalid file format"));
    }
}
