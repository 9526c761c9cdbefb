#pragma once
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "platform/vb/vberror.h"

class QelAnnotDocument;
namespace tiffcodec {
class File;
}

// What a page's TIFF directory says about it, read without decoding the pixels.
struct QelPageInfo {
    int width = 0;
    int height = 0;
    double xDpi = 0;
    double yDpi = 0;
    int bitsPerSample = 1;
    int samplesPerPixel = 1;
    int compression = 1;   // TIFF compression tag value of the stored page
    bool rawCopyable = false; // strips can be written again as they are
    int jpegQuality = 0;      // the quality a JPEG page was coded at
    uint16_t jpegChroma[2] = {2, 2}; // and its chroma sampling across and down (colour)
    bool damaged = false;     // its data lies outside the file
    bool palette = false;     // rows of indexes into a colour map, kept so when stored
    bool packed = false;      // palette, 2-/4-bit grey or 16-bit rows: stored at their depth, turned or not
    bool bilevel() const { return bitsPerSample == 1 && samplesPerPixel == 1; }
};

struct QelSaveOptions {
    bool burnAnnotations = false; // draw the annotations into the pixels and store none
    bool append = false;          // add the pages behind those of an existing target
    // >1: from the first page whose width is not a whole multiple of it on, pages written on a
    // canvas of whole multiples, widened and lengthened in white
    int alignTo = 0;
    // false: pages copied as stored are not checked to decode (a copy kept only to be put back;
    // see tiffcodec::write)
    bool checked = true;
};

// The pages of one document, shared by any number of controls. Pages stay compressed (each one
// a directory of a TIFF in memory or of the mapped file) and are decoded on demand through a cache. Every
// page carries a pending orientation and an annotation document. Page indexes count from 0.
class QelPageDocument : public QObject {
    Q_OBJECT
public:
    QelPageDocument();
    ~QelPageDocument() override;

    // A number naming this document while it lives; fromHandle gives it back.
    qint64 handle() const { return m_handle; }
    static std::shared_ptr<QelPageDocument> fromHandle(qint64 handle);
    static std::shared_ptr<QelPageDocument> create();

    // Replaces the pages by those of a TIFF file (disk or "mem:"), with the annotations stored in
    // it. Raises ezErr::FileNotFound (the document is left empty) or ezErr::BadImageFile; a file
    // that breaks off keeps the pages before the break (none when the first one is broken), a
    // damaged page stays in its place. Such a document is not saved (see save) until loaded or
    // cleared again.
    void load(const QString &path);
    // As load, the pages read from the file source (unmapped: it may change under us) while
    // path is being made a copy of it, until readLoadedFile().
    void load(const QString &path, const QString &source);
    // The pages as loaded are read from fileName() from now on, a whole copy of their source.
    void readLoadedFile();
    // Replaces the pages by those of TIFF bytes (fileName stays empty).
    void loadBytes(const QByteArray &tiff);
    void clear();
    QString fileName() const { return m_fileName; }
    bool isEmpty() const { return m_pages.empty(); }

    int pageCount() const { return int(m_pages.size()); }
    const QelPageInfo &info(int index) const;
    // Decoded pixels of the stored page (no pending rotation applied): Format_Mono for bilevel
    // pages, Grayscale8 for grey, RGB888 for colour; dots per metre set from the resolution.
    QImage image(int index) const;
    // The page made smaller by a whole factor for the screen (Grayscale8 for bilevel and grey,
    // RGB32 for colour; about 1/factor of the size, no pending rotation): from a larger copy the
    // cache keeps when there is one, else decoded a row at a time. Kept in the cache.
    QImage reduced(int index, int factor) const;
    // True when reduced(index, factor) needs no decode (a copy, or one at most that size, kept).
    bool hasReduced(int index, int factor) const;
    // Starts decoding a grey or colour page for reduced() on a worker thread (a bilevel page
    // decodes fast enough when asked); one such page at a time.
    void prefetchReduced(int index, int factor) const;
    void replaceImage(int index, const QImage &image);
    void insertImage(int index, const QImage &image);

    // Pending orientation in quarter turns clockwise, 0..3.
    int quarterTurns(int index) const;
    void setQuarterTurns(int index, int turns);

    // Every page has one; created empty when the file had none.
    QelAnnotDocument *annotations(int index);
    const QelAnnotDocument *annotations(int index) const;
    // Takes the page's set as it is now to be written into the loaded file when the commits are
    // flushed; later changes count as uncommitted again.
    void commitAnnotations(int index);
    bool hasUncommittedAnnotationChanges() const;
    // Writes the committed sets into the loaded file and forgets the commit marks.
    void flushCommittedAnnotations();

    // Removes pages (indexes in any order, duplicates ignored).
    void deletePages(QList<int> indexes);
    void movePage(int from, int to);

    // Writes every page in its layout (see tiffcodec::OutPage), resolution kept, pending rotations
    // turned into the pixels and annotations (burned in as boxes its layout holds, when asked);
    // afterwards the pages are upright. Raises ezErr::EmptyDocument, ezErr::WriteFailed, and
    // ezErr::BadImageFile (nothing written) for a document loaded damaged or a page whose data
    // does not decode.
    void save(const QString &path, const QelSaveOptions &options = {});

    // Memory the decoded and reduced pages kept may take: five 300 dpi colour letter pages, a
    // hundred bilevel ones. The page decoded last is kept whatever its size.
    static constexpr qint64 cacheBytes = qint64(128) << 20;

signals:
    void reset();           // loaded or cleared
    void pagesChanged();    // pages inserted, removed or moved
    void pageChanged(int index); // pixels or orientation of one page
    void annotationsChanged(int index);

private:
    struct Page;
    Page &pageAt(int index) const;
    void setPages(std::vector<std::unique_ptr<Page>> pages);
    void loadFile(std::shared_ptr<const tiffcodec::File> file);
    std::unique_ptr<Page> newPage(std::shared_ptr<const tiffcodec::File> file, int dir,
                                  const QelPageInfo &info, const QByteArray &annotations);
    void setPixels(Page &page, const QImage &image);
    // Codes the pixels held but those of keepHeld when together they grow past cacheBytes.
    void codeHeld(const Page *keepHeld);
    bool samePixels(const Page &page, const QImage &image) const;
    void dropCached(const Page *page) const;
    QImage decodePage(const Page &page) const;
    QImage cachedPage(const Page &page, int factor) const;
    void keep(const Page &page, int factor, const QImage &image) const;

    qint64 m_handle;
    QString m_fileName;
    VbError m_damage{0, QString()}; // of the file loaded, when it was damaged
    std::vector<std::unique_ptr<Page>> m_pages;
    struct Cached {
        const Page *page;
        int factor; // 1: the decoded page
        QImage image;
    };
    mutable QList<Cached> m_cache; // the one used last first
    struct Prefetch;
    mutable std::unique_ptr<Prefetch> m_prefetch;
    void harvestPrefetch(const Page *page) const;
};
