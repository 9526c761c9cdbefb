#include "platform/imaging/pagedocument.h"

#include <QHash>
#include <QThreadPool>

#include <future>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/annot/annotdocument.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/memfiles.h"
#include "platform/imaging/reduction.h"
#include "platform/imaging/tiffcodec.h"

struct QelPageDocument::Page {
    std::shared_ptr<const tiffcodec::File> file; // the TIFF holding the compressed page ...
    QImage held; // ... or pixels put back, as a decode of them gives them, not coded yet
    int dir = 0;
    QelPageInfo info;
    int turns = 0;
    std::unique_ptr<QelAnnotDocument> annot;
    bool committed = false;
    QByteArray committedSet; // the set as it was when committed
    int origDir = -1; // directory of the loaded file this page came from
    // the stored page whose layout pixels put back keep when written, and what it is
    std::shared_ptr<const tiffcodec::File> layout;
    int layoutDir = 0;
    QelPageInfo layoutInfo;
};

struct QelPageDocument::Prefetch {
    const Page *page;
    int factor;
    std::future<QImage> result;
};

namespace {
QHash<qint64, std::weak_ptr<QelPageDocument>> &registry()
{
    static QHash<qint64, std::weak_ptr<QelPageDocument>> docs;
    return docs;
}
qint64 g_nextHandle = 0x10001;

// Dots per metre are whole numbers: 150 dpi comes back as 150.012, so snap to whole dpi.
double dpiOf(int dotsPerMeter)
{
    if (dotsPerMeter <= 0)
        return 0;
    const double dpi = dotsPerMeter * 0.0254;
    return std::abs(dpi - std::round(dpi)) < 0.05 ? std::round(dpi) : dpi;
}

// The colour a box of colour c is burned into a page of that layout in: a redaction must stay a
// box on the paper, in the colour drawn where the layout holds it. On a bilevel page black unless
// c is white; on a 2- or 4-bit grey page the nearest level of its depth that is not the paper's
// white unless c is white; on other pages c (a palette page takes it into its map).
QRgb boxColourOn(const QelPageInfo &layout, QRgb c)
{
    const bool white = (c & 0xFFFFFF) == 0xFFFFFF;
    if (layout.palette || layout.samplesPerPixel != 1 || white)
        return c;
    if (layout.bitsPerSample == 1)
        return qRgb(0, 0, 0);
    if (layout.packed && (layout.bitsPerSample == 2 || layout.bitsPerSample == 4)) {
        const int top = (1 << layout.bitsPerSample) - 1;
        const int level = std::min((qGray(c) * top + 127) / 255, top - 1);
        const int v = level * 255 / top;
        return qRgb(v, v, v);
    }
    return c;
}

// Draws the annotations into a copy of the pixels (same format), boxes in colours the layout
// holds.
QImage burned(const QImage &pixels, const QelAnnotDocument &annot, const QelPageInfo &layout)
{
    QImage canvas = pixels.copy();
    annot.burnInto(canvas, [&layout](QRgb c) { return boxColourOn(layout, c); });
    return canvas;
}

// The areas the annotations cover on the page (those burning them changes).
QList<QRect> coveredAreas(const QelAnnotDocument &annot, const QSize &page)
{
    QList<QRect> out;
    for (int i = 0; i < annot.count(); ++i)
        if (const QRect r = annot.item(i)->bounds() & QRect(QPoint(0, 0), page); !r.isEmpty())
            out.append(r);
    return out;
}

// The size rounded up to whole multiples of align (itself when align is 1 or less).
QSize alignedSize(const QSize &size, int align)
{
    if (align <= 1)
        return size;
    return QSize((size.width() + align - 1) / align * align, (size.height() + align - 1) / align * align);
}

// The image on a larger canvas, its new pixels white.
QImage onCanvas(const QImage &img, const QSize &canvas)
{
    if (img.size() == canvas)
        return img;
    QImage out(canvas, img.format());
    if (out.isNull())
        raiseImagingError(ezErr::ImageTooLarge);
    out.setDotsPerMeterX(img.dotsPerMeterX());
    out.setDotsPerMeterY(img.dotsPerMeterY());
    const int w = img.width();
    if (img.depth() == 1) {
        const QList<QRgb> ct = img.colorTable();
        out.setColorTable(ct);
        out.fill(uint(ct.size() >= 2 && qGray(ct[1]) > qGray(ct[0]) ? 1 : 0));
        for (int y = 0; y < img.height(); ++y) {
            std::memcpy(out.scanLine(y), img.constScanLine(y), size_t(w / 8));
            for (int x = w / 8 * 8; x < w; ++x)
                out.setPixel(x, y, uint(img.pixelIndex(x, y)));
        }
    } else {
        if (img.format() == QImage::Format_Indexed8)
            return onCanvas(img.convertToFormat(QImage::Format_RGB888), canvas);
        out.fill(Qt::white);
        for (int y = 0; y < img.height(); ++y)
            std::memcpy(out.scanLine(y), img.constScanLine(y), size_t(w) * size_t(img.depth() / 8));
    }
    return out;
}

// An image as a decode of the page encoded from it gives it back: such an image can stand in
// the cache for that page.
bool asDecoded(const QImage &image)
{
    return image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_RGB888
           || (image.format() == QImage::Format_Mono
               && image.colorTable() == QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)});
}

QByteArray annotationBytes(const QelAnnotDocument &annot)
{
    if (annot.count() == 0)
        return {};
    return annot.toBytes();
}
}

QelPageDocument::QelPageDocument() : m_handle(g_nextHandle++) {}

QelPageDocument::~QelPageDocument()
{
    registry().remove(m_handle);
}

std::shared_ptr<QelPageDocument> QelPageDocument::create()
{
    auto doc = std::make_shared<QelPageDocument>();
    registry().insert(doc->m_handle, doc);
    return doc;
}

std::shared_ptr<QelPageDocument> QelPageDocument::fromHandle(qint64 handle)
{
    return registry().value(handle).lock();
}

std::unique_ptr<QelPageDocument::Page> QelPageDocument::newPage(std::shared_ptr<const tiffcodec::File> file,
                                                                int dir, const QelPageInfo &info,
                                                                const QByteArray &annotations)
{
    auto p = std::make_unique<Page>();
    p->file = std::move(file);
    p->dir = dir;
    p->info = info;
    if (annotations.isEmpty()) {
        p->annot = std::make_unique<QelAnnotDocument>();
    } else {
        try {
            p->annot = QelAnnotDocument::fromBytes(annotations);
        } catch (const VbError &e) {
            raiseImagingError(ezErr::BadAnnotationData, e.description);
        }
    }
    p->annot->setPageInfo(QSize(info.width, info.height), info.xDpi > 0 ? info.xDpi : 200.0,
                          info.yDpi > 0 ? info.yDpi : 200.0);
    p->annot->setModified(false);
    Page *raw = p.get();
    p->annot->addChangeListener([this, raw] {
        for (int i = 0; i < pageCount(); ++i)
            if (m_pages[size_t(i)].get() == raw) {
                emit annotationsChanged(i);
                break;
            }
    });
    return p;
}

void QelPageDocument::setPages(std::vector<std::unique_ptr<Page>> pages)
{
    m_damage = VbError(0, QString());
    m_cache.clear();
    m_prefetch.reset();
    m_pages = std::move(pages);
}

void QelPageDocument::loadBytes(const QByteArray &tiff)
{
    loadFile(std::make_shared<const tiffcodec::File>(tiff));
}

void QelPageDocument::loadFile(std::shared_ptr<const tiffcodec::File> file)
{
    setPages({});
    m_fileName.clear();
    std::vector<std::unique_ptr<Page>> pages;
    VbError damage(0, QString());
    try {
        const auto dirs = tiffcodec::readDirectories(*file, &damage);
        for (size_t i = 0; i < dirs.size(); ++i) {
            pages.push_back(newPage(file, int(i), dirs[i].info, dirs[i].annotations));
            pages.back()->origDir = int(i);
        }
    } catch (...) {
        emit reset();
        throw;
    }
    setPages(std::move(pages));
    m_damage = damage;
    emit reset();
    if (damage.number != 0)
        throw damage;
}

void QelPageDocument::load(const QString &path)
{
    std::shared_ptr<const tiffcodec::File> file;
    try {
        file = tiffcodec::File::open(path);
    } catch (...) {
        clear();
        throw;
    }
    loadFile(std::move(file));
    m_fileName = path;
}

void QelPageDocument::load(const QString &path, const QString &source)
{
    std::shared_ptr<const tiffcodec::File> file;
    try {
        file = tiffcodec::File::openUnmapped(source);
    } catch (...) {
        clear();
        throw;
    }
    loadFile(std::move(file));
    m_fileName = path;
}

void QelPageDocument::readLoadedFile()
{
    const auto loaded = std::find_if(m_pages.begin(), m_pages.end(), [](const auto &p) { return p->origDir >= 0; });
    if (loaded == m_pages.end() || m_fileName.isEmpty())
        return;
    const std::shared_ptr<const tiffcodec::File> from = (*loaded)->file;
    const auto copy = tiffcodec::File::open(m_fileName);
    if (copy->size() != from->size())
        return;
    copy->takeMarks(*from);
    for (const auto &p : m_pages)
        if (p->file == from)
            p->file = copy;
}

void QelPageDocument::clear()
{
    setPages({});
    m_fileName.clear();
    emit reset();
}

QelPageDocument::Page &QelPageDocument::pageAt(int index) const
{
    if (index < 0 || index >= pageCount())
        raiseImagingError(ezErr::InvalidPage, QString::number(index + 1));
    return *m_pages[size_t(index)];
}

const QelPageInfo &QelPageDocument::info(int index) const { return pageAt(index).info; }

void QelPageDocument::dropCached(const Page *page) const
{
    m_cache.removeIf([page](const Cached &e) { return e.page == page; });
    if (m_prefetch && m_prefetch->page == page)
        m_prefetch.reset();
}

QImage QelPageDocument::image(int index) const
{
    return decodePage(pageAt(index));
}

QImage QelPageDocument::cachedPage(const Page &p, int factor) const
{
    for (qsizetype i = 0; i < m_cache.size(); ++i)
        if (m_cache[i].page == &p && m_cache[i].factor == factor) {
            if (i)
                m_cache.move(i, 0);
            return m_cache.first().image;
        }
    return QImage();
}

void QelPageDocument::keep(const Page &p, int factor, const QImage &image) const
{
    m_cache.prepend({&p, factor, image});
    qint64 bytes = 0;
    for (qsizetype i = 0; i < m_cache.size(); ++i) {
        bytes += m_cache[i].image.sizeInBytes();
        if (i > 0 && bytes > cacheBytes) {
            m_cache.resize(i);
            break;
        }
    }
}

QImage QelPageDocument::decodePage(const Page &p) const
{
    if (!p.held.isNull())
        return p.held;
    QImage img = cachedPage(p, 1);
    if (img.isNull()) {
        img = tiffcodec::decode(*p.file, p.dir);
        keep(p, 1, img);
    }
    return img;
}

void QelPageDocument::harvestPrefetch(const Page *page) const
{
    // A page decoded ahead joins the cache when it is asked for (waiting for it if need be), or
    // when it is done and another is to start.
    if (!m_prefetch || (page ? m_prefetch->page != page
                             : m_prefetch->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready))
        return;
    const std::unique_ptr<Prefetch> done = std::move(m_prefetch);
    try {
        keep(*done->page, done->factor, done->result.get());
    } catch (const VbError &) {
        // decoded again when asked for, and its error raised then
    }
}

bool QelPageDocument::hasReduced(int index, int factor) const
{
    const Page *p = &pageAt(index);
    if (!p->held.isNull())
        return true;
    if (m_prefetch && m_prefetch->page == p && m_prefetch->factor <= factor)
        return m_prefetch->result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    return std::any_of(m_cache.cbegin(), m_cache.cend(),
                       [&](const Cached &e) { return e.page == p && e.factor <= factor; });
}

void QelPageDocument::prefetchReduced(int index, int factor) const
{
    if (index < 0 || index >= pageCount() || factor <= 1)
        return;
    const Page &p = *m_pages[size_t(index)];
    harvestPrefetch(nullptr);
    if (m_prefetch || p.info.bilevel() || !p.held.isNull() || hasReduced(index, factor))
        return;
    auto promise = std::make_shared<std::promise<QImage>>();
    m_prefetch = std::make_unique<Prefetch>(Prefetch{&p, factor, promise->get_future()});
    QThreadPool::globalInstance()->start([file = p.file, dir = p.dir, factor, promise] {
        try {
            promise->set_value(tiffcodec::decodeReduced(*file, dir, factor, true));
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
}

QImage QelPageDocument::reduced(int index, int factor) const
{
    const Page &p = pageAt(index);
    harvestPrefetch(&p);
    if (factor <= 1)
        return decodePage(p);
    QImage img = cachedPage(p, factor);
    if (!img.isNull())
        return img;
    // The nearest larger copy kept (the decoded page, or the view's copy for a thumbnail).
    const Cached *from = nullptr;
    for (const Cached &e : std::as_const(m_cache))
        if (e.page == &p && e.factor < factor && (!from || e.factor > from->factor))
            from = &e;
    if (!p.held.isNull())
        img = reducedImage(p.held, factor);
    else
        img = from ? reducedImage(from->image, factor / from->factor) : tiffcodec::decodeReduced(*p.file, p.dir, factor);
    keep(p, factor, img);
    return img;
}

void QelPageDocument::setPixels(Page &p, const QImage &image)
{
    if (image.isNull())
        raiseImagingError(ezErr::BadValue, QStringLiteral("empty image"));
    if (!p.layout && p.held.isNull() && p.file) {
        p.layout = p.file;
        p.layoutDir = p.dir;
        p.layoutInfo = p.info;
    }
    tiffcodec::OutPage out;
    out.image = image;
    out.xDpi = dpiOf(image.dotsPerMeterX());
    out.yDpi = dpiOf(image.dotsPerMeterY());
    out.layoutFile = p.layout.get();
    out.layoutDirectory = p.layoutDir;
    QelPageInfo info = tiffcodec::codedInfo(out);
    dropCached(&p);
    p.dir = 0;
    p.origDir = -1;
    // Pixels as a decode of the page gives them are held, and coded when written (or when the
    // pages held grow past the cache's budget); others are coded now.
    if (asDecoded(image) && (image.format() == QImage::Format_RGB888) == (info.samplesPerPixel == 3)) {
        p.file.reset();
        p.held = image;
        codeHeld(&p);
    } else {
        p.held = QImage();
        p.file = tiffcodec::coded({out}).front();
        info = tiffcodec::readDirectories(*p.file).front().info;
    }
    p.info = info;
    bool modified = p.annot->isModified();
    p.annot->setPageInfo(QSize(info.width, info.height), info.xDpi > 0 ? info.xDpi : 200.0,
                         info.yDpi > 0 ? info.yDpi : 200.0);
    p.annot->setModified(modified);
}

void QelPageDocument::codeHeld(const Page *keepHeld)
{
    qint64 bytes = keepHeld->held.sizeInBytes();
    std::vector<Page *> held;
    for (const auto &q : m_pages)
        if (!q->held.isNull() && q.get() != keepHeld) {
            bytes += q->held.sizeInBytes();
            held.push_back(q.get());
        }
    if (bytes <= cacheBytes)
        return;
    std::vector<tiffcodec::OutPage> out(held.size());
    for (size_t i = 0; i < held.size(); ++i) {
        out[i].image = held[i]->held;
        out[i].xDpi = dpiOf(held[i]->held.dotsPerMeterX());
        out[i].yDpi = dpiOf(held[i]->held.dotsPerMeterY());
        out[i].layoutFile = held[i]->layout.get();
        out[i].layoutDirectory = held[i]->layoutDir;
    }
    const auto files = tiffcodec::coded(out);
    for (size_t i = 0; i < held.size(); ++i) {
        held[i]->file = files[i];
        held[i]->held = QImage();
    }
}

// True when the image is the page as it is: putting it back changes nothing.
bool QelPageDocument::samePixels(const Page &p, const QImage &image) const
{
    const QImage now = p.held.isNull() ? cachedPage(p, 1) : p.held;
    if (now.isNull() || now.dotsPerMeterX() != image.dotsPerMeterX() || now.dotsPerMeterY() != image.dotsPerMeterY())
        return false;
    return now.cacheKey() == image.cacheKey() || now == image;
}

void QelPageDocument::replaceImage(int index, const QImage &image)
{
    Page &p = pageAt(index);
    if (samePixels(p, image))
        return;
    setPixels(p, image);
    emit pageChanged(index);
}

void QelPageDocument::insertImage(int index, const QImage &image)
{
    if (index < 0 || index > pageCount())
        raiseImagingError(ezErr::InvalidPage, QString::number(index + 1));
    auto p = newPage(nullptr, 0, QelPageInfo{}, QByteArray());
    setPixels(*p, image);
    m_pages.insert(m_pages.begin() + index, std::move(p));
    emit pagesChanged();
}

int QelPageDocument::quarterTurns(int index) const { return pageAt(index).turns; }

void QelPageDocument::setQuarterTurns(int index, int turns)
{
    Page &p = pageAt(index);
    turns = ((turns % 4) + 4) % 4;
    if (p.turns == turns)
        return;
    p.turns = turns;
    emit pageChanged(index);
}

QelAnnotDocument *QelPageDocument::annotations(int index) { return pageAt(index).annot.get(); }

const QelAnnotDocument *QelPageDocument::annotations(int index) const
{
    return pageAt(index).annot.get();
}

void QelPageDocument::commitAnnotations(int index)
{
    Page &p = pageAt(index);
    p.committed = true;
    p.committedSet = annotationBytes(*p.annot);
    p.annot->setModified(false);
}

bool QelPageDocument::hasUncommittedAnnotationChanges() const
{
    return std::any_of(m_pages.begin(), m_pages.end(),
                       [](const auto &p) { return p->annot->isModified(); });
}

void QelPageDocument::flushCommittedAnnotations()
{
    std::vector<const Page *> committed;
    for (const auto &p : m_pages)
        if (p->committed && p->origDir >= 0)
            committed.push_back(p.get());
    std::vector<QByteArray> sets;
    for (const Page *p : committed)
        sets.push_back(p->committedSet);
    for (const auto &p : m_pages) {
        p->committed = false;
        p->committedSet.clear();
    }
    if (committed.empty() || m_fileName.isEmpty() || !memfiles::exists(m_fileName))
        return;
    const auto file = tiffcodec::File::open(m_fileName);
    const auto dirs = tiffcodec::readDirectories(*file);
    std::vector<tiffcodec::OutPage> out(dirs.size());
    for (size_t i = 0; i < dirs.size(); ++i) {
        tiffcodec::OutPage &o = out[i];
        o.xDpi = dirs[i].info.xDpi;
        o.yDpi = dirs[i].info.yDpi;
        o.annotations = dirs[i].annotations;
        o.rawFile = file.get();
        o.rawDirectory = int(i);
    }
    bool changed = false;
    for (size_t k = 0; k < committed.size(); ++k)
        if (size_t(committed[k]->origDir) < out.size() && out[size_t(committed[k]->origDir)].annotations != sets[k]) {
            out[size_t(committed[k]->origDir)].annotations = sets[k];
            changed = true;
        }
    if (changed)
        tiffcodec::write(m_fileName, out);
}

void QelPageDocument::deletePages(QList<int> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (int i : indexes)
        pageAt(i);
    for (auto it = indexes.crbegin(); it != indexes.crend(); ++it) {
        dropCached(m_pages[size_t(*it)].get());
        m_pages.erase(m_pages.begin() + *it);
    }
    if (!indexes.isEmpty())
        emit pagesChanged();
}

void QelPageDocument::movePage(int from, int to)
{
    pageAt(from);
    pageAt(to);
    if (from == to)
        return;
    auto page = std::move(m_pages[size_t(from)]);
    m_pages.erase(m_pages.begin() + from);
    m_pages.insert(m_pages.begin() + to, std::move(page));
    emit pagesChanged();
}

void QelPageDocument::save(const QString &path, const QelSaveOptions &options)
{
    if (m_pages.empty())
        raiseImagingError(ezErr::EmptyDocument);
    // A document that lost pages or holds a damaged one is not written as if it were whole.
    if (m_damage.number != 0)
        throw m_damage;

    // Pages of the existing target come first when appending.
    std::shared_ptr<const tiffcodec::File> existing;
    std::vector<tiffcodec::OutPage> out;
    if (options.append && memfiles::exists(path)) {
        existing = tiffcodec::File::open(path);
        const auto dirs = tiffcodec::readDirectories(*existing);
        for (size_t i = 0; i < dirs.size(); ++i) {
            tiffcodec::OutPage o;
            o.xDpi = dirs[i].info.xDpi;
            o.yDpi = dirs[i].info.yDpi;
            o.annotations = dirs[i].annotations;
            o.rawFile = existing.get();
            o.rawDirectory = int(i);
            out.push_back(std::move(o));
        }
    }
    const int first = int(out.size());

    // Aligned from the first page whose written width is not a whole multiple on.
    const auto writtenSize = [](const Page &p) {
        return p.turns % 2 ? QSize(p.info.height, p.info.width) : QSize(p.info.width, p.info.height);
    };
    int alignFrom = pageCount();
    for (int i = 0; options.alignTo > 1 && i < pageCount(); ++i)
        if (writtenSize(*m_pages[size_t(i)]).width() % options.alignTo) {
            alignFrom = i;
            break;
        }

    // Turned pages as written, held (within the cache's budget) for the pages that take them.
    std::vector<QImage> upright(m_pages.size());
    std::vector<bool> widened(m_pages.size());
    qint64 uprightBytes = 0;
    for (const auto &pp : m_pages) {
        const Page &p = *pp;
        tiffcodec::OutPage o;
        const bool odd = p.turns % 2;
        o.xDpi = odd ? p.info.yDpi : p.info.xDpi;
        o.yDpi = odd ? p.info.xDpi : p.info.yDpi;
        // Annotations travel with the page: turned on a copy, so a failed save changes nothing.
        std::unique_ptr<QelAnnotDocument> turned;
        const QelAnnotDocument *annot = p.annot.get();
        if (p.turns && annot->count()) {
            turned = QelAnnotDocument::fromBytes(annot->toBytes());
            turned->setPageInfo(QSize(p.info.width, p.info.height), annot->dpiX(), annot->dpiY());
            turned->rotateQuarterTurns(p.turns, QSize(p.info.width, p.info.height));
            turned->setPageInfo(odd ? QSize(p.info.height, p.info.width) : QSize(p.info.width, p.info.height),
                                odd ? annot->dpiY() : annot->dpiX(), odd ? annot->dpiX() : annot->dpiY());
            annot = turned.get();
        }
        const bool burn = options.burnAnnotations && annot->count() > 0;
        const QSize size = writtenSize(p);
        const QSize canvas = int(out.size()) - first >= alignFrom ? alignedSize(size, options.alignTo) : size;
        widened[out.size() - size_t(first)] = canvas != size;
        // Pixels put back are coded from them; a page still held decoded is widened from its
        // pixels (written as a new page is); a palette or 2- or 4-bit grey page from its rows,
        // turned or not, and a 16-bit page from its rows, to keep their depth.
        const bool ownRows = p.info.packed || p.info.bitsPerSample == 16;
        const bool pixels = !p.held.isNull() || (canvas != size && !ownRows && asDecoded(cachedPage(p, 1)));
        if ((p.turns == 0 || p.info.packed) && !burn && !pixels) {
            o.rawFile = p.file.get();
            o.rawDirectory = p.dir;
            o.turns = p.turns;
            if (canvas != size)
                o.canvas = canvas;
        } else {
            o.image = tiffcodec::rotated(decodePage(p), p.turns);
            if (burn) {
                o.image = burned(o.image, *annot, p.layout ? p.layoutInfo : p.info);
                // burned into the stored page itself: only what the annotations cover changed
                if (!p.layout && p.held.isNull()) {
                    o.layoutIsPage = true;
                    o.turns = p.turns;
                    o.drawn = coveredAreas(*annot, o.image.size());
                }
            }
            o.image = onCanvas(o.image, canvas);
            o.jpegQuality = p.info.jpegQuality;
            std::copy_n(p.info.jpegChroma, 2, o.jpegChroma);
            o.lossless = uint16_t(p.info.compression);
            // burned or put back, the pixels keep the stored page's layout
            if (p.layout || burn) {
                o.layoutFile = p.layout ? p.layout.get() : p.file.get();
                o.layoutDirectory = p.layout ? p.layoutDir : p.dir;
            }
            if ((p.turns || !p.held.isNull()) && !burn && !o.jpegQuality && !o.layoutFile && asDecoded(o.image)
                && uprightBytes + o.image.sizeInBytes() <= cacheBytes) {
                uprightBytes += o.image.sizeInBytes();
                upright[out.size() - size_t(first)] = o.image;
            }
        }
        if (!burn)
            o.annotations = annotationBytes(*annot);
        out.push_back(std::move(o));
    }

    tiffcodec::write(path, out, options.checked);
    out.clear();
    std::shared_ptr<const tiffcodec::File> written; // opened for the first turned page
    std::vector<tiffcodec::Directory> writtenDirs;

    // The pages are upright from now on: turned pages, and pixels held that were not widened,
    // take their pixels from what was written (or, when annotations were burned in, are held
    // again without them).
    const bool sameFile = !options.append && path == m_fileName;
    for (int i = 0; i < pageCount(); ++i) {
        Page &p = *m_pages[size_t(i)];
        const bool turned = p.turns != 0;
        const bool burnt = options.burnAnnotations && p.annot->count() > 0;
        const QSize before(p.info.width, p.info.height);
        if ((turned || (!p.held.isNull() && !widened[size_t(i)])) && !burnt) {
            dropCached(&p);
            if (!written) {
                written = tiffcodec::File::open(path);
                writtenDirs = tiffcodec::readDirectories(*written);
            }
            p.file = written;
            p.held = QImage();
            p.layout.reset();
            p.dir = first + i;
            p.info = writtenDirs.at(size_t(p.dir)).info;
            if (!upright[size_t(i)].isNull())
                keep(p, 1, upright[size_t(i)]);
        }
        if (turned) {
            const bool modified = p.annot->isModified();
            const double dx = p.annot->dpiX(), dy = p.annot->dpiY();
            if (burnt)
                setPixels(p, tiffcodec::rotated(decodePage(p), p.turns));
            p.annot->rotateQuarterTurns(p.turns, before);
            const bool odd = p.turns % 2;
            p.annot->setPageInfo(QSize(p.info.width, p.info.height), odd ? dy : dx, odd ? dx : dy);
            p.annot->setModified(modified);
            p.turns = 0;
        }
        // Written into the loaded file itself: its annotations there are now up to date.
        if (sameFile) {
            p.committed = false;
            p.committedSet.clear();
            p.origDir = options.burnAnnotations ? -1 : i;
            if (!options.burnAnnotations)
                p.annot->setModified(false);
        }
        if (turned)
            emit pageChanged(i);
    }
}

// The meta-object code here, not with the widgets', so that a program using the pages alone
// links none of the widgets.
#include "moc_pagedocument.cpp"
