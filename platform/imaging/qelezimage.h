#pragma once
#include <QImage>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariant>
#include <QWidget>

#include "platform/imaging/qelezscanner.h"

#include <functional>
#include <memory>

class QelAnnotDocument;
class QelEzImage;
class QelAnnotItem;
class QelPageDocument;
class QPainter;
class QPrinter;
class QelEzThumbnailArea;
class QelEzPageArea;

// The delete command the thumbnail tree raises instead of deleting (command 1001). A handler
// that sets outFlag to 1 has dealt with it; otherwise the control deletes the selected pages.
struct QelEzCommand {
    int command = 0;
    QString text1;
    QString text2;
    int number = 0;
    int outNumber = 0;
    int outFlag = 0;
    QVariant value;        // for 1001: the number of selected pages
};

// Codes of the notify event.
namespace ezNotify {
constexpr int PageNumber = 10;   // current page or page count changed
constexpr int PagesMoved = 13;   // page order changed by dragging
constexpr int PagesDeleted = 17; // pages removed
}

// Display scale of a view: image pixels times ratio gives widget pixels.
class QelEzZoom {
public:
    // The ratio numerator / denominator, e.g. (preview extent × 10, maximum × 149).
    void set(double numerator, double denominator);
    double ratio() const { return m_ratio; }
private:
    friend class QelEzImage;
    double m_ratio = 0;   // 0: fit to the window
    std::function<void()> m_changed;
};

// The annotation tool of a page view: the template of the item the next drag draws (none:
// selection), stickiness (the tool stays after drawing), and deletion of the selected items.
class QelEzAnnotTool {
public:
    void setTemplate(const QelAnnotItem *item);   // nullptr: selection
    const QelAnnotItem *templateItem() const { return m_template; }
    bool sticky() const { return m_sticky; }
    void setSticky(bool on);
    void deleteSelected();
private:
    friend class QelEzImage;
    const QelAnnotItem *m_template = nullptr;
    bool m_sticky = false;
    QelEzImage *m_owner = nullptr;
};

// Printing seam: the program uses the default printer and a set-up dialog; tests install their
// own (for instance printing to a PDF file and answering the set-up).
struct QelPrintSeam {
    std::function<void(QPrinter &)> configure;     // called before each print
    std::function<int(QPrinter &)> setupDialog;    // 0 when the operator confirmed
    static QelPrintSeam &instance();
};

// The image control: a thumbnail tree or a page view over a page document that any number of
// controls can share (imageHandle / setImageHandle). Pages count from 1.
class QelEzImage : public QWidget, public QelEzScanner {
    Q_OBJECT
public:
    enum class Kind { PageView, Thumbnails };
    explicit QelEzImage(Kind kind = Kind::PageView, QWidget *parent = nullptr);
    ~QelEzImage() override;
    Kind kind() const { return m_kind; }

    // --- Document and pages ---------------------------------------------------------------
    bool hasImage() const;                         // non-zero default value
    QString imageFile() const;
    void setImageFile(const QString &path);        // loads (the annotations stored with it)
    // The file at path, being copied there from source meanwhile: loaded from source.
    void setImageFile(const QString &path, const QString &source);
    void clearImage();                             // save query for uncommitted changes, then empty
    void resetView();                              // fit to window, no zoom
    int pageCount() const;
    int thumbnailCount() const;
    int page() const;                              // 0 when empty
    void setPage(int page);
    int currentPage() const { return page(); }
    void setCurrentPage(int p) { setPage(p); }
    qint64 imageHandle() const;
    void setImageHandle(qint64 handle);            // show that document from now on
    int imageWidth() const;                        // current page, pending rotation applied
    int imageHeight() const;
    int xResolution() const;                       // dots per inch
    int yResolution() const;
    // Pending orientation: put 1 upright, 3 upside down, -1 one more quarter turn clockwise
    // (2 and 4 a quarter / three quarters); read 1..4.
    int rotation() const;
    void setRotation(int value);
    QString selectedPages() const;                 // "2,4-6"
    void setSelectedPages(const QString &pages);
    // Thumbnails can be dragged to reorder the pages while this is on.
    bool allowPageMove() const { return m_allowPageMove; }
    void setAllowPageMove(bool on) { m_allowPageMove = on; }
    int deletePages(const QString &pages);         // 0 when done; an empty list deletes nothing
    bool cropAllPages() const { return m_cropAll; }
    void setCropAllPages(bool on) { m_cropAll = on; }
    QString workingFileName() const { return m_workingFile; }
    void setWorkingFileName(const QString &name) { m_workingFile = name; }
    QImage pageImage() const;                      // the current page's stored pixels
    void setPageImage(const QImage &image);        // replaces the current page's pixels
    void insertPage(const QImage &image);          // after the current page; it becomes current
    void appendPage(const QImage &image);          // behind the last page; it becomes current
    std::shared_ptr<QelPageDocument> document() const { return m_doc; }

    // --- Saving and printing --------------------------------------------------------------
    QString saveFileName() const { return m_saveFileName; }
    void setSaveFileName(const QString &path) { m_saveFileName = path; }
    // alignTo > 1: pages byte-aligned as they are written; unchecked: a copy kept only to be put
    // back (see QelSaveOptions)
    void save(int alignTo = 0, bool checked = true);
    int saveOption() const { return m_saveOption; }
    void setSaveOption(int v) { m_saveOption = v; }
    int saveAppend() const { return m_saveAppend; }
    void setSaveAppend(int v) { m_saveAppend = v; }
    void print();
    int printScale() const { return m_printScale; }  // 0 fit page, 1 actual size, 2 actual pixels
    void setPrintScale(int scale);
    int printerSetup();                              // 0 when confirmed
    QelEzZoom &zoom() { return m_zoom; }
    double scaleRatio() const;                       // image to widget pixels as shown
    QRectF shownPageRect() const;                    // the current page as drawn, in this control's pixels

    // --- Annotations -----------------------------------------------------------------------
    QelAnnotDocument *annotationSet();               // the current page's set (nullptr: empty)
    int annotationCount() const;
    // mode 1: write the current page's set to path; mode 3: commit it into the loaded file.
    void annotationFile(int mode, const QString &path);
    void loadAnnotations(const QString &path);       // adds the file's items to the current page
    int annotationMode() const { return m_annotationMode; }
    void setAnnotationMode(int v);
    int annotationLayer() const { return m_annotationLayer; }
    void setAnnotationLayer(int v) { m_annotationLayer = v; }
    int annotationOption() const { return m_annotationOption; } // 0 burn on save, 1 keep
    void setAnnotationOption(int v);
    int annotationFlagsA() const { return m_flagsA; }
    void setAnnotationFlagsA(int v) { m_flagsA = v; }
    int annotationFlagsB() const { return m_flagsB; }
    void setAnnotationFlagsB(int v) { m_flagsB = v; }
    int annotationFlagsC() const { return m_flagsC; }
    void setAnnotationFlagsC(int v) { m_flagsC = v; }
    int pageAnnotations() const;                     // names the current page's set
    int activeAnnotations() const { return m_activeAnnotations; }
    void setActiveAnnotations(int v) { m_activeAnnotations = v; }
    void mergeAnnotations(int flags);                // the active set's items onto this page
    int annotationTool() const { return m_annotationToolValue; } // 1: select
    void setAnnotationTool(int v);
    QelEzAnnotTool &annotationToolObject() { return m_tool; }
    QelAnnotItem *annotationObject(int index);       // item of the current page by index
    QelAnnotItem *createAnnotation(int type);        // a new item of that type on the page
    // Default item per type: its properties (colour...) are given to items drawn by the tool.
    static QelAnnotItem *itemTemplate(int type);
    // The items of the current page and their selection.
    int itemCount() const;
    QelAnnotItem *item(int index);
    void selectItem(QelAnnotItem *item);
    QList<QelAnnotItem *> selectedItems() const;

    // --- Regions (drawn by dragging in the page view) ---------------------------------------
    QRect currentRegion() const;                     // image pixels; empty when none
    int regionCount() const { return int(m_regions.size()); }
    QRect region(int index) const;
    void removeRegion(const QRect &region);
    void addRegion(const QRect &region);

    // --- Standard members ------------------------------------------------------------------
    qint64 hWnd() const { return qint64(winId()); }
    void refresh() { update(); }
    int left() const { return x(); }
    int top() const { return y(); }
    void setLeft(int v) { move(v, y()); }
    void setTop(int v) { move(x(), v); }
    void setWidth(int v) { resize(v, height()); }
    void setHeight(int v) { resize(width(), v); }

    // Scanner members: ezScanner(control) in qelezscanner.h, over the scanner session.

signals:
    void pageChange();
    void pagesLoaded();
    void changed();
    void command(QelEzCommand &command);
    void notify(int code);
    void dblClick();
    void mouseDown(int button, int shift, int x, int y);
    void mouseMove(int button, int shift, int x, int y);
    void mouseUp(int button, int shift, int x, int y);
    // Raised by clearImage for uncommitted annotation changes. format: 3 TIFF. Answer action
    // 2 to save them into the loaded file, 3 (the default) to discard them.
    void annotationQuerySave(int &action, int &format);
    void annotationModeChange();

protected:
    void insertScannedPage(const ScannedPage &page, int position) override
    {
        insertScannedPageInto(*this, page, position);
    }

private:
    friend class QelEzThumbnailArea;
    friend class QelEzPageArea;
    friend class QelEzAnnotTool;
    friend class QelEzPageWalk;
    void attach(std::shared_ptr<QelPageDocument> doc);
    void onReset();
    void onPagesChanged();
    void onPageChanged(int index);
    void onAnnotationsChanged(int index);
    void requireImage() const;
    int index() const { return m_page - 1; }
    void setPageInternal(int page, bool emitEvents);
    void requestDelete();
    void movePage(int from, int to);
    void releaseDocument();
    QList<int> parsePages(const QString &text) const;
    void paintPage(QPainter &painter, int index, const QTransform &imageToDevice) const;

    Kind m_kind;
    std::shared_ptr<QelPageDocument> m_doc;
    QList<QMetaObject::Connection> m_docConnections;
    int m_page = 0;
    QList<int> m_selection;           // pages, from 1
    QString m_saveFileName;
    QString m_workingFile;
    int m_saveOption = 0;
    int m_saveAppend = 0;
    int m_printScale = 0;
    int m_annotationMode = 0;
    int m_annotationLayer = 0;
    int m_annotationOption = 1;
    int m_flagsA = 0, m_flagsB = 0, m_flagsC = 0;
    int m_activeAnnotations = 0;
    int m_annotationToolValue = 0;
    bool m_cropAll = false;
    QelEzZoom m_zoom;
    QelEzAnnotTool m_tool;
    bool m_allowPageMove = true;
    std::unique_ptr<QPrinter> m_printer;
    QList<QRect> m_regions;
    QelEzThumbnailArea *m_thumbs = nullptr;
    QelEzPageArea *m_view = nullptr;
    int m_walks = 0;                  // page walks holding the page view
    QRect m_heldArea;                 // where the control lay when the first walk took hold
};

// Held by a road while it walks the pages of a control: the pages (or thumbnails) it passes are
// neither decoded nor painted; what is current when the last hold ends is painted once, by the
// event loop, and so is what lies behind where the control was (hidden or moved while held, it
// left no mark of its own to repaint).
class QelEzPageWalk {
public:
    explicit QelEzPageWalk(QelEzImage &control);
    ~QelEzPageWalk();
    QelEzPageWalk(const QelEzPageWalk &) = delete;
    QelEzPageWalk &operator=(const QelEzPageWalk &) = delete;

private:
    QPointer<QelEzImage> m_control; // the control may be closed while the road yields
};
