#pragma once
#include <QImage>
#include <QString>

#include <memory>
#include <vector>

namespace tiffcodec {
class File;
}

// The page toolkit: opens a multi-page TIFF, works on one selected page at a time (canvas resize,
// crop) and saves the pages again. Pixels and resolution only: annotations are not carried.
// Pages that were not changed are written back from their stored strips without decoding; a
// page whose canvas was only enlarged is written a row at a time from its stored rows.
class ImagingToolkit {
public:
    ImagingToolkit();
    ~ImagingToolkit();
    ImagingToolkit(const ImagingToolkit &) = delete;
    ImagingToolkit &operator=(const ImagingToolkit &) = delete;

    // Raises 53 for a missing file, 321 for one that is not a readable TIFF.
    void open(const QString &path, int flags = 0, const QString &options = QString());
    int pageCount() const;
    void selectPage(int index);        // counted from 0; raises 9 outside the pages
    int selectedPage() const { return m_selected; }
    int width() const;                 // of the selected page, pixels
    int height() const;
    // A colour from an RGB value (red in the low byte) and an alpha of 0..255.
    unsigned makeColor(unsigned rgb, int alpha = 255) const;
    // New canvas of the selected page; the old pixels stay at the top-left corner and the rest is
    // filled with the colour (white or black on bilevel pages, by brightness).
    void resizeCanvas(int newWidth, int newHeight, unsigned color, int left = 0, int top = 0,
                      const QString &options = QString());
    // Cuts the selected page to the rectangle, clipped to the page; raises 5 when nothing of it
    // lies on the page.
    void crop(int left, int top, int width, int height, const QString &options = QString());
    // format 3: TIFF (bilevel G4, others LZW). Raises 58 when the file exists and overwrite is
    // False, 5 for another format, 75 when the file cannot be written.
    void save(const QString &path, int format, int compression, bool overwrite);

    // The selected page's pixels (decoded on demand).
    QImage pageImage() const;

private:
    struct Page;
    Page &selected();
    const Page &selected() const;
    QImage &decoded(Page &page) const;

    std::shared_ptr<const tiffcodec::File> m_file;
    std::vector<Page> m_pages;
    int m_selected = -1;
};
