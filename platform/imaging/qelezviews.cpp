#include "platform/imaging/qelezviews.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/annot/annotdocument.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vberror.h"

namespace {

int vbButton(Qt::MouseButtons b)
{
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
}

int vbShift(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

// The rectangle a drag from a to b spans (b itself is not inside).
QRect span(QPoint a, QPoint b)
{
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QSize(std::abs(a.x() - b.x()), std::abs(a.y() - b.y())));
}

QSizeF turnedSize(QSize stored, int turns)
{
    return turns % 2 ? QSizeF(stored.height(), stored.width()) : QSizeF(stored);
}

// The whole factor a page is reduced by before the painter scales it by what remains.
int reductionFactor(double scale)
{
    return scale < 1.0 ? std::max(1, int(1.0 / scale)) : 1;
}

// The page for the screen at a scale: the document's reduced copy, or the page itself (bilevel
// pages as grey) when the scale leaves nothing to reduce by. Pages made smaller come as RGB32,
// which the painter scales several times faster than grey.
QImage shownPage(const QelPageDocument &doc, int index, double scale)
{
    const int k = reductionFactor(scale);
    if (k > 1)
        return doc.reduced(index, k).convertToFormat(QImage::Format_RGB32);
    const QImage img = doc.image(index);
    return img.depth() == 1 && scale < 1.0 ? img.convertToFormat(QImage::Format_RGB32) : img;
}

} // namespace

QTransform pageTransform(QSize stored, int quarterTurns, double scale)
{
    const QSizeF t = turnedSize(stored, quarterTurns);
    const QTransform r = QTransform::fromTranslate(-stored.width() / 2.0, -stored.height() / 2.0)
                         * QTransform().rotate(90.0 * quarterTurns)
                         * QTransform::fromTranslate(t.width() / 2.0, t.height() / 2.0);
    return r * QTransform::fromScale(scale, scale);
}

// ---- page view -------------------------------------------------------------------------------

QelEzPageArea::QelEzPageArea(QelEzImage *control) : QWidget(control), m_ctl(control)
{
    setObjectName(QStringLiteral("pageArea"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void QelEzPageArea::keyPressEvent(QKeyEvent *e)
{
    if (!m_ctl->hasImage())
        return QWidget::keyPressEvent(e);
    const int page = m_ctl->page(), last = m_ctl->pageCount();
    int to;
    switch (e->key()) {
    case Qt::Key_PageDown: to = std::min(page + 1, last); break;
    case Qt::Key_PageUp: to = std::max(page - 1, 1); break;
    case Qt::Key_Home: to = 1; break;
    case Qt::Key_End: to = last; break;
    default: return QWidget::keyPressEvent(e);
    }
    m_ctl->setPage(to);
}

double QelEzPageArea::scale() const
{
    if (m_ctl->m_zoom.ratio() > 0)
        return m_ctl->m_zoom.ratio();
    if (!m_ctl->hasImage())
        return 0;
    const QelPageInfo &info = m_ctl->m_doc->info(m_ctl->index());
    const QSizeF t = turnedSize(QSize(info.width, info.height), m_ctl->m_doc->quarterTurns(m_ctl->index()));
    return std::max(1e-6, std::min(width() / t.width(), height() / t.height()));
}

QTransform QelEzPageArea::imageToWidget() const
{
    const QelPageInfo &info = m_ctl->m_doc->info(m_ctl->index());
    const QSize stored(info.width, info.height);
    const int turns = m_ctl->m_doc->quarterTurns(m_ctl->index());
    const double s = scale();
    const QSizeF t = turnedSize(stored, turns) * s;
    double ox = (width() - t.width()) / 2.0, oy = (height() - t.height()) / 2.0;
    if (m_ctl->m_zoom.ratio() > 0 && m_center.x() >= 0) {
        ox = width() / 2.0 - m_center.x() * s;
        oy = height() / 2.0 - m_center.y() * s;
    }
    return pageTransform(stored, turns, s) * QTransform::fromTranslate(ox, oy);
}

void QelEzPageArea::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(128, 128, 128));
    if (!m_ctl->hasImage())
        return;
    const int idx = m_ctl->index();
    const QelPageInfo &info = m_ctl->m_doc->info(idx);
    const double s = scale();
    const QTransform m = imageToWidget();
    if (m_shown.isNull() || m_shownIndex != idx || m_shownScale != s) {
        if (m_ctl->m_walks > 0)
            return; // a page a walk passes is not decoded
        try {
            m_shown = shownPage(*m_ctl->m_doc, idx, s);
            // the page a Page Down shows next, decoded meanwhile
            if (idx + 1 < m_ctl->pageCount())
                m_ctl->m_doc->prefetchReduced(idx + 1, reductionFactor(s));
        } catch (const VbError &e) {
            // A page that cannot be decoded is reported on screen, never thrown out of a paint.
            p.setPen(Qt::white);
            p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                       e.number == ezErr::BadImageFile ? QStringLiteral("This page is damaged and cannot be shown.")
                                                       : e.description);
            return;
        }
        m_shownIndex = idx;
        m_shownScale = s;
    }
    p.save();
    p.setTransform(QTransform::fromScale(double(info.width) / m_shown.width(),
                                         double(info.height) / m_shown.height()) * m);
    p.setRenderHint(QPainter::SmoothPixmapTransform, s < 1.0);
    p.drawImage(QPointF(0, 0), m_shown);
    p.restore();
    m_ctl->m_doc->annotations(idx)->paint(p, m);

    p.setPen(QPen(Qt::blue, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    for (const QRect &r : std::as_const(m_ctl->m_regions))
        p.drawPolygon(m.map(QPolygonF(QRectF(r))));
    if (m_drag == Drag::Region || m_drag == Drag::Zoom || m_drag == Drag::Draw) {
        p.setPen(QPen(m_drag == Drag::Zoom ? Qt::red : Qt::blue, 1, Qt::DashLine));
        p.drawRect(span(m_from, m_to));
    }
}

QRect QelEzPageArea::imageRect(QPoint a, QPoint b) const
{
    const QTransform inv = imageToWidget().inverted();
    const QelPageInfo &info = m_ctl->m_doc->info(m_ctl->index());
    QRectF r = QRectF(inv.map(QPointF(a)), inv.map(QPointF(b))).normalized();
    return r.toAlignedRect().intersected(QRect(0, 0, info.width, info.height));
}

void QelEzPageArea::zoomTo(const QRect &widgetRect)
{
    const double s = scale();
    const QTransform m = imageToWidget();
    // Offsets of the turned page in the widget.
    const QTransform place = pageTransform(QSize(m_ctl->m_doc->info(m_ctl->index()).width,
                                                 m_ctl->m_doc->info(m_ctl->index()).height),
                                           m_ctl->m_doc->quarterTurns(m_ctl->index()), s);
    const QPointF origin = m.map(place.inverted().map(QPointF(0, 0)));
    const QPointF centre = (QRectF(widgetRect).center() - origin) / s;
    const double ratio = s * std::min(width() / double(widgetRect.width()), height() / double(widgetRect.height()));
    m_center = centre;
    m_ctl->m_zoom.set(ratio, 1.0);
}

void QelEzPageArea::mousePressEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    emit m_ctl->mouseDown(vbButton(e->button()), vbShift(e->modifiers()), pos.x(), pos.y());
    if (!m_ctl->hasImage())
        return;
    m_from = m_to = pos;
    m_drag = Drag::None;
    QelAnnotDocument *set = m_ctl->annotationSet();
    if (e->button() == Qt::RightButton) {
        m_drag = Drag::Zoom;
    } else if (e->button() == Qt::LeftButton) {
        if (m_ctl->m_tool.templateItem()) {
            m_drag = Drag::Draw;
        } else if (m_ctl->annotationTool() == 1) {
            const QPoint at = imageToWidget().inverted().map(pos);
            QelAnnotItem *item = set->itemAt(at);
            QelAnnotTools tools;
            tools.select(*set, item, e->modifiers() & Qt::ControlModifier);
            if (item) {
                m_drag = Drag::Move;
                m_movedItem = item;
                m_movedStart = item->bounds();
            }
        } else {
            m_drag = Drag::Region;
        }
    }
}

void QelEzPageArea::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    emit m_ctl->mouseMove(vbButton(e->buttons()), vbShift(e->modifiers()), pos.x(), pos.y());
    if (m_drag == Drag::None || !m_ctl->hasImage())
        return;
    m_to = pos;
    if (m_drag == Drag::Move) {
        const QTransform inv = imageToWidget().inverted();
        const QPointF d = inv.map(QPointF(m_to)) - inv.map(QPointF(m_from));
        auto *item = static_cast<QelAnnotItem *>(m_movedItem);
        item->moveTo(m_movedStart.left() + qRound(d.x()), m_movedStart.top() + qRound(d.y()));
    }
    update();
}

void QelEzPageArea::mouseReleaseEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    emit m_ctl->mouseUp(vbButton(e->button()), vbShift(e->modifiers()), pos.x(), pos.y());
    const Drag drag = m_drag;
    m_drag = Drag::None;
    m_movedItem = nullptr;
    if (!m_ctl->hasImage())
        return;
    m_to = pos;
    const QRect widgetRect = span(m_from, m_to);
    const bool big = widgetRect.width() > 3 && widgetRect.height() > 3;
    switch (drag) {
    case Drag::Draw:
        if (big) {
            QelAnnotTools tools;
            tools.setItemTemplate(m_ctl->m_tool.templateItem());
            tools.setSticky(m_ctl->m_tool.sticky());
            tools.draw(*m_ctl->annotationSet(), imageRect(m_from, m_to));
            if (tools.itemTemplate() != m_ctl->m_tool.templateItem())
                m_ctl->m_tool.setTemplate(tools.itemTemplate());
        }
        break;
    case Drag::Region:
        if (big)
            m_ctl->addRegion(imageRect(m_from, m_to));
        break;
    case Drag::Zoom:
        if (big)
            zoomTo(widgetRect);
        break;
    default:
        break;
    }
    update();
}

void QelEzPageArea::mouseDoubleClickEvent(QMouseEvent *)
{
    m_drag = Drag::None;
    emit m_ctl->dblClick();
    m_ctl->resetView();
}

// ---- thumbnails ------------------------------------------------------------------------------

QelEzThumbnailArea::QelEzThumbnailArea(QelEzImage *control) : QAbstractScrollArea(control), m_ctl(control)
{
    setObjectName(QStringLiteral("thumbnailArea"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void QelEzThumbnailArea::invalidate()
{
    m_thumbs.clear();
    updateScrollBar();
    viewport()->update();
}

int QelEzThumbnailArea::thumbWidth() const
{
    const int inner = width() - 2 * frameWidth() - verticalScrollBar()->sizeHint().width();
    return std::max(16, inner - 16);
}

int QelEzThumbnailArea::cellHeight() const
{
    return int(thumbWidth() * 1.3) + 24;
}

QRect QelEzThumbnailArea::cellRect(int index) const
{
    const int ch = cellHeight();
    return QRect(0, index * ch - verticalScrollBar()->value(), viewport()->width(), ch);
}

int QelEzThumbnailArea::cellAt(QPoint pos) const
{
    const int i = (pos.y() + verticalScrollBar()->value()) / cellHeight();
    return pos.y() >= 0 && i < m_ctl->pageCount() ? i : -1;
}

void QelEzThumbnailArea::ensureVisible(int index)
{
    const int ch = cellHeight(), top = index * ch, h = viewport()->height();
    QScrollBar *bar = verticalScrollBar();
    if (top < bar->value())
        bar->setValue(top);
    else if (top + ch > bar->value() + h)
        bar->setValue(top + ch - h);
}

void QelEzThumbnailArea::updateScrollBar()
{
    const int total = m_ctl->pageCount() * cellHeight();
    verticalScrollBar()->setRange(0, std::max(0, total - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(cellHeight() / 4);
}

void QelEzThumbnailArea::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    if (thumbWidth() != m_thumbWidth) {
        m_thumbWidth = thumbWidth();
        m_thumbs.clear();
    }
    updateScrollBar();
    viewport()->update();
}

double QelEzThumbnailArea::thumbnailScale(int index) const
{
    const QelPageDocument &doc = *m_ctl->m_doc;
    const QelPageInfo &info = doc.info(index);
    const QSizeF t = turnedSize(QSize(info.width, info.height), doc.quarterTurns(index));
    const int tw = thumbWidth(), th = int(tw * 1.3);
    return std::min(tw / t.width(), th / t.height());
}

void QelEzThumbnailArea::fillPending()
{
    m_fillPosted = false;
    if (m_ctl->m_walks > 0)
        return;
    bool filled = false;
    for (int index : std::as_const(m_pending))
        if (index < m_ctl->pageCount() && !m_thumbs.contains(index) && cellRect(index).intersects(viewport()->rect())) {
            thumbnail(index, true);
            filled = true;
            break;
        }
    m_pending.clear();
    if (filled)
        viewport()->update();
}

QImage QelEzThumbnailArea::thumbnail(int index, bool decode)
{
    auto it = m_thumbs.constFind(index);
    if (it != m_thumbs.constEnd())
        return *it;
    QelPageDocument &doc = *m_ctl->m_doc;
    const QelPageInfo &info = doc.info(index);
    const QSize stored(info.width, info.height);
    const int turns = doc.quarterTurns(index);
    const QSizeF t = turnedSize(stored, turns);
    const double f = thumbnailScale(index);
    // A page not yet decoded waits for the paint after this one: the page view comes first.
    if (!decode && !info.bilevel() && !doc.hasReduced(index, reductionFactor(f))) {
        m_pending.append(index);
        if (!m_fillPosted) {
            m_fillPosted = true;
            QTimer::singleShot(0, this, &QelEzThumbnailArea::fillPending);
        }
        return QImage();
    }
    QImage small;
    try {
        small = shownPage(doc, index, f);
        const QSize exact(std::max(1, int(std::lround(stored.width() * f))),
                          std::max(1, int(std::lround(stored.height() * f))));
        if (small.size() != exact)
            small = small.scaled(exact, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        small = small.convertToFormat(QImage::Format_RGB32);
    } catch (const VbError &) {
        small = QImage(std::max(1, int(t.width() * f)), std::max(1, int(t.height() * f)), QImage::Format_RGB32);
        small.fill(Qt::lightGray);
        m_thumbs.insert(index, small);
        return small;
    }
    if (turns)
        small = small.transformed(QTransform().rotate(90.0 * turns));
    QPainter p(&small);
    const QTransform m = pageTransform(stored, turns, double(small.width()) / t.width());
    doc.annotations(index)->paint(p, m);
    p.end();
    m_thumbs.insert(index, small);
    return small;
}

void QelEzThumbnailArea::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().base());
    if (m_ctl->m_walks > 0)
        return; // the pages a walk passes are not decoded
    const int count = m_ctl->pageCount();
    const int ch = cellHeight();
    const int first = verticalScrollBar()->value() / ch;
    for (int i = first; i < count; ++i) {
        const QRect cell = cellRect(i);
        if (!cell.intersects(viewport()->rect()))
            break;
        QImage img = thumbnail(i, false);
        const QRect box(8, cell.top() + 4, cell.width() - 16, ch - 24);
        if (img.isNull()) { // an empty frame of the page's size until its pixels come
            const QSizeF t = turnedSize(QSize(m_ctl->m_doc->info(i).width, m_ctl->m_doc->info(i).height),
                                        m_ctl->m_doc->quarterTurns(i)) * thumbnailScale(i);
            img = QImage(std::max(1, int(t.width())), std::max(1, int(t.height())), QImage::Format_RGB32);
            img.fill(Qt::white);
        }
        const QRect target(box.left() + (box.width() - img.width()) / 2,
                           box.top() + (box.height() - img.height()) / 2, img.width(), img.height());
        const bool selected = m_ctl->m_selection.contains(i + 1);
        if (selected)
            p.fillRect(box.adjusted(-4, -3, 4, 3), palette().highlight());
        p.drawImage(target, img);
        p.setPen(i + 1 == m_ctl->page() ? QPen(Qt::blue, 2) : QPen(Qt::darkGray, 1));
        p.drawRect(target.adjusted(-1, -1, 0, 0));
        p.setPen(palette().text().color());
        p.drawText(QRect(0, box.bottom() + 2, cell.width(), 18), Qt::AlignCenter, QString::number(i + 1));
        if (m_dragging && m_dropAt == i) {
            p.setPen(QPen(Qt::red, 3));
            const int y = m_dropAt > m_pressed ? cell.bottom() : cell.top();
            p.drawLine(0, y, cell.width(), y);
        }
    }
}

void QelEzThumbnailArea::mousePressEvent(QMouseEvent *e)
{
    const int i = cellAt(e->position().toPoint());
    emit m_ctl->mouseDown(vbButton(e->button()), vbShift(e->modifiers()), int(e->position().x()),
                          int(e->position().y()));
    if (i < 0 || e->button() != Qt::LeftButton)
        return;
    QList<int> &sel = m_ctl->m_selection;
    if (e->modifiers() & Qt::ControlModifier) {
        if (!sel.removeOne(i + 1))
            sel << i + 1;
        std::sort(sel.begin(), sel.end());
    } else if ((e->modifiers() & Qt::ShiftModifier) && m_anchor >= 0) {
        sel.clear();
        for (int k = std::min(m_anchor, i); k <= std::max(m_anchor, i); ++k)
            sel << k + 1;
    } else {
        sel = {i + 1};
    }
    if (!(e->modifiers() & Qt::ShiftModifier))
        m_anchor = i;
    m_pressed = i;
    m_pressPos = e->position().toPoint();
    m_ctl->setPage(i + 1);
    viewport()->update();
}

void QelEzThumbnailArea::mouseMoveEvent(QMouseEvent *e)
{
    emit m_ctl->mouseMove(vbButton(e->buttons()), vbShift(e->modifiers()), int(e->position().x()),
                          int(e->position().y()));
    if (m_pressed < 0 || !(e->buttons() & Qt::LeftButton) || !m_ctl->allowPageMove())
        return;
    const QPoint pos = e->position().toPoint();
    if (!m_dragging && (pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    m_dragging = true;
    const int at = cellAt(pos);
    m_dropAt = at >= 0 ? at : (pos.y() < 0 ? 0 : m_ctl->pageCount() - 1);
    viewport()->update();
}

void QelEzThumbnailArea::mouseReleaseEvent(QMouseEvent *e)
{
    emit m_ctl->mouseUp(vbButton(e->button()), vbShift(e->modifiers()), int(e->position().x()),
                        int(e->position().y()));
    const bool move = m_dragging && m_dropAt >= 0 && m_dropAt != m_pressed;
    const int from = m_pressed, to = m_dropAt;
    m_dragging = false;
    m_pressed = m_dropAt = -1;
    if (move)
        m_ctl->movePage(from + 1, to + 1);
    viewport()->update();
}

void QelEzThumbnailArea::keyPressEvent(QKeyEvent *e)
{
    const int page = m_ctl->page();
    switch (e->key()) {
    case Qt::Key_Delete:
        m_ctl->requestDelete();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End: {
        if (!m_ctl->hasImage())
            return;
        int to = e->key() == Qt::Key_Up     ? page - 1
                 : e->key() == Qt::Key_Down ? page + 1
                 : e->key() == Qt::Key_Home ? 1
                                            : m_ctl->pageCount();
        to = std::clamp(to, 1, m_ctl->pageCount());
        m_ctl->m_selection = {to};
        m_anchor = to - 1;
        m_ctl->setPage(to);
        viewport()->update();
        return;
    }
    default:
        QAbstractScrollArea::keyPressEvent(e);
    }
}
