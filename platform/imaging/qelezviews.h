#pragma once
#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QTransform>
#include <QWidget>

class QelEzImage;

// Image pixels of a page (with its pending turns) to widget pixels at a given scale; the page's
// top-left corner lands on the origin.
QTransform pageTransform(QSize stored, int quarterTurns, double scale);

// The page view: the current page fit to the window (or at the zoom ratio), its annotations
// and regions; rubber-band zoom, region drawing, annotation drawing and selection.
class QelEzPageArea : public QWidget {
    Q_OBJECT
public:
    explicit QelEzPageArea(QelEzImage *control);
    double scale() const;
    QTransform imageToWidget() const;
    void resetZoom() { m_center = QPointF(-1, -1); }
    void invalidate() { m_shown = QImage(); m_shownIndex = -1; update(); }

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void resizeEvent(QResizeEvent *) override { invalidate(); }

private:
    enum class Drag { None, Region, Zoom, Draw, Move };
    QRect imageRect(QPoint a, QPoint b) const;
    void zoomTo(const QRect &widgetRect);

    QelEzImage *m_ctl;
    Drag m_drag = Drag::None;
    QPoint m_from, m_to;
    QPointF m_center{-1, -1};   // rotated-page point shown at the centre when zoomed
    QImage m_shown;              // the page scaled for display
    int m_shownIndex = -1;
    double m_shownScale = 0;
    void *m_movedItem = nullptr;
    QRect m_movedStart;
};

// The thumbnail tree: one cell per page with its number; click, Ctrl and Shift select;
// dragging moves a page; the Delete key raises the delete command.
class QelEzThumbnailArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit QelEzThumbnailArea(QelEzImage *control);
    void invalidate();
    void invalidatePage(int index) { m_thumbs.remove(index); viewport()->update(); }
    int cellAt(QPoint viewportPos) const;
    QRect cellRect(int index) const;
    void ensureVisible(int index);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    // The cells follow the pane's width less room for the scroll bar, shown or not: showing it
    // changes no cell, and so never hides it again.
    int thumbWidth() const;
    int cellHeight() const;
    // decode: false when called from a paint: a grey or colour page that would need decoding
    // is left for fillPending.
    QImage thumbnail(int index, bool decode);
    double thumbnailScale(int index) const;
    void fillPending();
    void updateScrollBar();

    QelEzImage *m_ctl;
    QHash<int, QImage> m_thumbs;
    int m_thumbWidth = -1;
    QList<int> m_pending;   // cells painted empty, filled one by one after the paint
    bool m_fillPosted = false;
    int m_anchor = -1;
    int m_pressed = -1;
    int m_dropAt = -1;
    QPoint m_pressPos;
    bool m_dragging = false;
};
