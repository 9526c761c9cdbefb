#include "platform/imaging/qelezimage.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/annot/annotdocument.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/memfiles.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/printjob.h"
#include "platform/imaging/qelezscansetting.h"
#include "platform/imaging/qelezviews.h"

namespace {
constexpr int SetupCancelled = -4526;
}

// ---- zoom, tool, print seam ------------------------------------------------------------------

void QelEzZoom::set(double numerator, double denominator)
{
    if (!(denominator > 0) || !(numerator > 0))
        raiseImagingError(ezErr::BadValue, QStringLiteral("zoom"));
    m_ratio = numerator / denominator;
    if (m_changed)
        m_changed();
}

void QelEzAnnotTool::setTemplate(const QelAnnotItem *item)
{
    m_template = item;
    if (m_owner)
        emit m_owner->annotationModeChange();
}

void QelEzAnnotTool::setSticky(bool on)
{
    m_sticky = on;
    if (m_owner)
        emit m_owner->annotationModeChange();
}

void QelEzAnnotTool::deleteSelected()
{
    if (QelAnnotDocument *doc = m_owner ? m_owner->annotationSet() : nullptr) {
        QelAnnotTools tools;
        tools.deleteSelected(*doc);
    }
}

QelPrintSeam &QelPrintSeam::instance()
{
    static QelPrintSeam seam;
    return seam;
}

QelEzScanSetting::QelEzScanSetting(QWidget *parent) : QWidget(parent) {}

// ---- the control -----------------------------------------------------------------------------

QelEzImage::QelEzImage(Kind kind, QWidget *parent) : QWidget(parent), m_kind(kind)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (kind == Kind::Thumbnails) {
        m_thumbs = new QelEzThumbnailArea(this);
        layout->addWidget(m_thumbs);
        setFocusProxy(m_thumbs);
    } else {
        m_view = new QelEzPageArea(this);
        layout->addWidget(m_view);
    }
    m_tool.m_owner = this;
    m_zoom.m_changed = [this] {
        if (m_view)
            m_view->invalidate();
    };
    attach(QelPageDocument::create());
}

QelEzImage::~QelEzImage()
{
    for (const auto &c : std::as_const(m_docConnections))
        disconnect(c);
}

void QelEzImage::attach(std::shared_ptr<QelPageDocument> doc)
{
    for (const auto &c : std::as_const(m_docConnections))
        disconnect(c);
    m_docConnections.clear();
    m_doc = std::move(doc);
    m_docConnections << connect(m_doc.get(), &QelPageDocument::reset, this, &QelEzImage::onReset)
                     << connect(m_doc.get(), &QelPageDocument::pagesChanged, this,
                                &QelEzImage::onPagesChanged)
                     << connect(m_doc.get(), &QelPageDocument::pageChanged, this,
                                &QelEzImage::onPageChanged)
                     << connect(m_doc.get(), &QelPageDocument::annotationsChanged, this,
                                &QelEzImage::onAnnotationsChanged);
    onReset();
}

void QelEzImage::onReset()
{
    const int before = m_page;
    m_page = m_doc->pageCount() > 0 ? 1 : 0;
    m_selection.clear();
    m_regions.clear();
    if (m_thumbs)
        m_thumbs->invalidate();
    if (m_view) {
        m_view->resetZoom();
        m_view->invalidate();
    }
    if (m_page != before || m_page > 0)
        emit pageChange();
    if (m_page > 0)
        emit pagesLoaded();
    emit notify(ezNotify::PageNumber);
}

void QelEzImage::onPagesChanged()
{
    const int count = m_doc->pageCount();
    const int before = m_page;
    if (count == 0)
        m_page = 0;
    else
        m_page = std::clamp(m_page, 1, count);
    m_selection.clear();
    if (m_thumbs)
        m_thumbs->invalidate();
    if (m_view)
        m_view->invalidate();
    emit changed();
    if (m_page != before)
        emit pageChange();
    emit notify(ezNotify::PageNumber);
}

void QelEzImage::onAnnotationsChanged(int index)
{
    if (m_thumbs)
        m_thumbs->invalidatePage(index);
    if (m_view && index == this->index())
        m_view->update();
    emit changed();
}

void QelEzImage::onPageChanged(int index)
{
    if (m_thumbs)
        m_thumbs->invalidatePage(index);
    if (m_view && index == this->index())
        m_view->invalidate();
    emit changed();
}

void QelEzImage::requireImage() const
{
    if (!hasImage())
        raiseImagingError(ezErr::NoImage);
}

QelEzPageWalk::QelEzPageWalk(QelEzImage &control) : m_control(&control)
{
    if (control.m_walks++ == 0) {
        control.m_heldArea = control.geometry();
        control.setUpdatesEnabled(false);
    }
}

QelEzPageWalk::~QelEzPageWalk()
{
    if (!m_control || --m_control->m_walks != 0)
        return;
    QelEzImage &control = *m_control;
    control.setUpdatesEnabled(true); // posts one paint of what is current
    // A control hidden or moved while updates were off did not mark the area it left.
    if (QWidget *parent = control.parentWidget())
        parent->update(control.m_heldArea | control.geometry());
}

// ---- document and pages ------------------------------------------------------------------------

bool QelEzImage::hasImage() const { return m_doc->pageCount() > 0; }

QString QelEzImage::imageFile() const { return m_doc->fileName(); }

void QelEzImage::releaseDocument()
{
    if (m_doc->hasUncommittedAnnotationChanges()) {
        int action = 3;
        int format = 3;
        emit annotationQuerySave(action, format);
        if (action == 2)
            for (int i = 0; i < m_doc->pageCount(); ++i)
                if (m_doc->annotations(i)->isModified())
                    m_doc->commitAnnotations(i);
    }
    m_doc->flushCommittedAnnotations();
}

void QelEzImage::setImageFile(const QString &path)
{
    if (path.isEmpty()) {
        clearImage();
        return;
    }
    releaseDocument();
    m_doc->load(path);
}

void QelEzImage::setImageFile(const QString &path, const QString &source)
{
    releaseDocument();
    m_doc->load(path, source);
}

void QelEzImage::clearImage()
{
    try {
        releaseDocument();
    } catch (...) {
        m_doc->clear();
        throw;
    }
    m_doc->clear();
}

void QelEzImage::resetView()
{
    m_zoom.m_ratio = 0;
    if (m_view) {
        m_view->resetZoom();
        m_view->invalidate();
    }
}

int QelEzImage::pageCount() const { return m_doc->pageCount(); }
int QelEzImage::thumbnailCount() const { return m_doc->pageCount(); }
int QelEzImage::page() const { return m_page; }

void QelEzImage::setPage(int page)
{
    if (!hasImage())
        return;
    if (page < 1 || page > pageCount())
        raiseImagingError(ezErr::InvalidPage, QString::number(page));
    setPageInternal(page, true);
}

void QelEzImage::setPageInternal(int page, bool emitEvents)
{
    if (page == m_page)
        return;
    m_page = page;
    m_regions.clear();
    if (m_view) {
        m_view->resetZoom();
        m_view->invalidate();
    }
    if (m_thumbs) {
        m_thumbs->ensureVisible(page - 1);
        m_thumbs->viewport()->update();
    }
    if (emitEvents) {
        emit pageChange();
        emit notify(ezNotify::PageNumber);
    }
}

qint64 QelEzImage::imageHandle() const { return m_doc->handle(); }

void QelEzImage::setImageHandle(qint64 handle)
{
    auto doc = QelPageDocument::fromHandle(handle);
    if (!doc)
        raiseImagingError(ezErr::BadHandle, QString::number(handle));
    if (doc != m_doc)
        attach(std::move(doc));
}

int QelEzImage::imageWidth() const
{
    requireImage();
    const QelPageInfo &i = m_doc->info(index());
    return m_doc->quarterTurns(index()) % 2 ? i.height : i.width;
}

int QelEzImage::imageHeight() const
{
    requireImage();
    const QelPageInfo &i = m_doc->info(index());
    return m_doc->quarterTurns(index()) % 2 ? i.width : i.height;
}

int QelEzImage::xResolution() const
{
    requireImage();
    const QelPageInfo &i = m_doc->info(index());
    return qRound(m_doc->quarterTurns(index()) % 2 ? i.yDpi : i.xDpi);
}

int QelEzImage::yResolution() const
{
    requireImage();
    const QelPageInfo &i = m_doc->info(index());
    return qRound(m_doc->quarterTurns(index()) % 2 ? i.xDpi : i.yDpi);
}

int QelEzImage::rotation() const
{
    requireImage();
    return m_doc->quarterTurns(index()) + 1;
}

void QelEzImage::setRotation(int value)
{
    requireImage();
    int turns;
    switch (value) {
    case 1: turns = 0; break;
    case 2: turns = 1; break;
    case 3: turns = 2; break;
    case 4: turns = 3; break;
    case -1: turns = m_doc->quarterTurns(index()) + 1; break;
    default: raiseImagingError(ezErr::BadValue, QStringLiteral("rotation %1").arg(value));
    }
    m_doc->setQuarterTurns(index(), turns);
}

QList<int> QelEzImage::parsePages(const QString &text) const
{
    QList<int> pages;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &raw : parts) {
        const QString part = raw.trimmed();
        const QStringList ends = part.split(QLatin1Char('-'));
        bool ok1 = false, ok2 = false;
        int a = ends.value(0).trimmed().toInt(&ok1);
        int b = ends.size() == 2 ? ends.value(1).trimmed().toInt(&ok2) : a;
        if (ends.size() == 1)
            ok2 = ok1;
        if (ends.size() > 2 || !ok1 || !ok2 || a < 1 || b < a || b > pageCount())
            raiseImagingError(ezErr::BadPageList, text);
        for (int p = a; p <= b; ++p)
            pages << p;
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

QString QelEzImage::selectedPages() const
{
    QStringList parts;
    for (qsizetype i = 0; i < m_selection.size();) {
        qsizetype j = i;
        while (j + 1 < m_selection.size() && m_selection[j + 1] == m_selection[j] + 1)
            ++j;
        parts << (j > i ? QStringLiteral("%1-%2").arg(m_selection[i]).arg(m_selection[j])
                        : QString::number(m_selection[i]));
        i = j + 1;
    }
    return parts.join(QLatin1Char(','));
}

void QelEzImage::setSelectedPages(const QString &pages)
{
    m_selection = pages.trimmed().isEmpty() ? QList<int>() : parsePages(pages);
    if (m_thumbs)
        m_thumbs->viewport()->update();
}

int QelEzImage::deletePages(const QString &pages)
{
    requireImage();
    if (pages.trimmed().isEmpty())
        return 0; // nothing to delete
    const QList<int> list = parsePages(pages);
    QList<int> indexes;
    for (int p : list)
        indexes << p - 1;
    m_doc->deletePages(indexes);
    emit notify(ezNotify::PagesDeleted);
    return 0;
}

void QelEzImage::requestDelete()
{
    if (m_selection.isEmpty())
        return;
    QelEzCommand cmd;
    cmd.command = 1001;
    cmd.value = int(m_selection.size());
    emit command(cmd);
    if (cmd.outFlag != 1)
        deletePages(selectedPages());
}

void QelEzImage::movePage(int from, int to)
{
    m_doc->movePage(from - 1, to - 1);
    m_selection = {to};
    setPageInternal(to, true);
    emit notify(ezNotify::PagesMoved);
}

QImage QelEzImage::pageImage() const
{
    requireImage();
    return m_doc->image(index());
}

void QelEzImage::setPageImage(const QImage &image)
{
    requireImage();
    m_doc->replaceImage(index(), image);
}

void QelEzImage::insertPage(const QImage &image)
{
    const int at = m_page; // behind the current page (0 when empty)
    m_doc->insertImage(at, image);
    setPageInternal(at + 1, true);
    emit pagesLoaded();
}

void QelEzImage::appendPage(const QImage &image)
{
    m_doc->insertImage(m_doc->pageCount(), image);
    setPageInternal(m_doc->pageCount(), true);
    emit pagesLoaded();
}

// ---- saving and printing -----------------------------------------------------------------------

void QelEzImage::save(int alignTo, bool checked)
{
    if (m_saveFileName.isEmpty())
        raiseImagingError(ezErr::NoSaveFileName);
    QelSaveOptions options;
    options.burnAnnotations = m_annotationOption == 0;
    options.append = m_saveAppend == 1;
    options.alignTo = alignTo;
    options.checked = checked;
    m_doc->save(m_saveFileName, options);
}

void QelEzImage::setPrintScale(int scale)
{
    if (scale < 0 || scale > 2)
        raiseImagingError(ezErr::BadValue, QStringLiteral("print scale %1").arg(scale));
    m_printScale = scale;
}

void QelEzImage::paintPage(QPainter &painter, int index, const QTransform &imageToDevice) const
{
    painter.save();
    painter.setTransform(imageToDevice);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QPointF(0, 0), m_doc->image(index));
    painter.restore();
    painter.save();
    painter.resetTransform();
    m_doc->annotations(index)->paint(painter, imageToDevice);
    painter.restore();
}

void QelEzImage::print()
{
    requireImage();
    // A set-up's choice serves the print that follows it; otherwise the default printer is read
    // now, so a printer added since the last print is found.
    std::unique_ptr<QPrinter> printer = std::move(m_printer);
    if (!printer)
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (QelPrintSeam::instance().configure)
        QelPrintSeam::instance().configure(*printer);
    // Our own PDF goes to the queue, so that what the print system does with it is known.
    const bool toQueue = printer->outputFileName().isEmpty();
    const QelPrintJob job{printer->printerName(), QString(), QFileInfo(imageFile()).fileName(), printer->copyCount(),
                          printer->duplex() != QPrinter::DuplexNone};
    if (toQueue && job.printer.isEmpty())
        failPrint(QString(), QStringLiteral("no printer is set up on this computer (add one to the system's printers)"));
    QTemporaryFile pdf(QDir::tempPath() + QStringLiteral("/quorla-print-XXXXXX.pdf"));
    if (toQueue) {
        if (!pdf.open())
            raiseImagingError(ezErr::PrintFailed, pdf.errorString());
        pdf.close();
        printer->setOutputFileName(pdf.fileName());
    }
    QPainter painter;
    if (!painter.begin(printer.get()))
        raiseImagingError(ezErr::PrintFailed);
    const QRectF area = printer->pageLayout().paintRectPixels(printer->resolution());
    const double deviceDpi = printer->resolution();
    for (int i = 0; i < pageCount(); ++i) {
        if (i > 0 && !printer->newPage())
            raiseImagingError(ezErr::PrintFailed);
        const QelPageInfo &info = m_doc->info(i);
        const int turns = m_doc->quarterTurns(i);
        const bool odd = turns % 2;
        const QSizeF pixels = odd ? QSizeF(info.height, info.width) : QSizeF(info.width, info.height);
        // Inches per pixel across and down the turned page (200 dpi when the file gives none).
        const double ix = 1.0 / ((odd ? info.yDpi : info.xDpi) > 0 ? (odd ? info.yDpi : info.xDpi) : 200.0);
        const double iy = 1.0 / ((odd ? info.xDpi : info.yDpi) > 0 ? (odd ? info.xDpi : info.yDpi) : 200.0);
        QTransform scale;
        switch (m_printScale) {
        case 1: // actual size
            scale = QTransform::fromScale(deviceDpi * ix, deviceDpi * iy);
            break;
        case 2: // one image pixel per device pixel
            break;
        default: { // the whole page on the paper, keeping its proportions
            const double k = std::min(area.width() / (pixels.width() * ix), area.height() / (pixels.height() * iy));
            scale = QTransform::fromScale(k * ix, k * iy);
        }
        }
        // The painter's origin is the top-left corner of the printable area.
        paintPage(painter, i, pageTransform(QSize(info.width, info.height), turns, 1.0) * scale);
    }
    if (!painter.end())
        raiseImagingError(ezErr::PrintFailed, QStringLiteral("the pages could not be written"));
    if (toQueue) {
        QelPrintJob pages = job;
        pages.file = pdf.fileName();
        submitPrintJob(pages);
    }
}

int QelEzImage::printerSetup()
{
    // The printers as they are now; the choice is kept for the next print only.
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    int result = SetupCancelled;
    if (QelPrintSeam::instance().setupDialog) {
        result = QelPrintSeam::instance().setupDialog(*m_printer);
    } else {
        QPrintDialog dialog(m_printer.get(), this);
        result = dialog.exec() == QDialog::Accepted ? 0 : SetupCancelled;
    }
    if (result != 0)
        m_printer.reset();
    return result;
}

double QelEzImage::scaleRatio() const
{
    if (m_view && hasImage())
        return m_view->scale();
    return m_zoom.ratio();
}

QRectF QelEzImage::shownPageRect() const
{
    if (!m_view || !hasImage())
        return {};
    const QelPageInfo &info = m_doc->info(index());
    return m_view->imageToWidget().mapRect(QRectF(0, 0, info.width, info.height)).translated(m_view->pos());
}

// ---- annotations -------------------------------------------------------------------------------

QelAnnotDocument *QelEzImage::annotationSet()
{
    return hasImage() ? m_doc->annotations(index()) : nullptr;
}

int QelEzImage::annotationCount() const
{
    return hasImage() ? m_doc->annotations(index())->count() : 0;
}

void QelEzImage::annotationFile(int mode, const QString &path)
{
    requireImage();
    switch (mode) {
    case 1:
        memfiles::writeAll(path, m_doc->annotations(index())->toBytes());
        break;
    case 3:
        m_doc->commitAnnotations(index());
        break;
    default:
        raiseImagingError(ezErr::BadValue, QStringLiteral("annotation file mode %1").arg(mode));
    }
}

void QelEzImage::loadAnnotations(const QString &path)
{
    requireImage();
    const QByteArray bytes = memfiles::readAll(path);
    try {
        m_doc->annotations(index())->appendFromBytes(bytes);
    } catch (const VbError &e) {
        raiseImagingError(ezErr::BadAnnotationData, e.description);
    }
}

void QelEzImage::setAnnotationMode(int v)
{
    m_annotationMode = v;
    emit annotationModeChange();
}

void QelEzImage::setAnnotationOption(int v)
{
    if (v != 0 && v != 1)
        raiseImagingError(ezErr::BadValue, QStringLiteral("annotation option %1").arg(v));
    m_annotationOption = v;
}

int QelEzImage::pageAnnotations() const { return m_page; }

void QelEzImage::mergeAnnotations(int)
{
    requireImage();
    const int from = m_activeAnnotations;
    if (from == m_page || from < 1 || from > pageCount())
        return;
    m_doc->annotations(index())->appendFromBytes(m_doc->annotations(from - 1)->toBytes());
}

void QelEzImage::setAnnotationTool(int v)
{
    m_annotationToolValue = v;
    if (v == 1)
        m_tool.m_template = nullptr;
    emit annotationModeChange();
}

QelAnnotItem *QelEzImage::annotationObject(int index)
{
    requireImage();
    return annotationSet()->item(index);
}

QelAnnotItem *QelEzImage::createAnnotation(int type)
{
    requireImage();
    std::unique_ptr<QelAnnotItem> item;
    if (type == QelAnnotType::Text)
        item = std::make_unique<QelAnnotTextItem>();
    else
        item = std::make_unique<QelAnnotItem>(type);
    QelAnnotItem *raw = item.get();
    return annotationSet()->add(std::move(item)) ? raw : nullptr;
}

QelAnnotItem *QelEzImage::itemTemplate(int type) { return &QelAnnotTools::defaultTemplate(type); }

int QelEzImage::itemCount() const { return annotationCount(); }

QelAnnotItem *QelEzImage::item(int index)
{
    requireImage();
    if (index < 0 || index >= annotationCount())
        raiseImagingError(ezErr::BadIndex, QString::number(index));
    return annotationSet()->item(index);
}

void QelEzImage::selectItem(QelAnnotItem *item)
{
    requireImage();
    QelAnnotTools tools;
    tools.select(*annotationSet(), item, true);
}

QList<QelAnnotItem *> QelEzImage::selectedItems() const
{
    QList<QelAnnotItem *> out;
    if (!hasImage())
        return out;
    const QelAnnotDocument *set = m_doc->annotations(index());
    for (int i = 0; i < set->count(); ++i)
        if (set->item(i)->isSelected())
            out << set->item(i);
    return out;
}

// ---- regions -----------------------------------------------------------------------------------

QRect QelEzImage::currentRegion() const { return m_regions.isEmpty() ? QRect() : m_regions.last(); }

QRect QelEzImage::region(int index) const
{
    if (index < 0 || index >= m_regions.size())
        raiseImagingError(ezErr::BadIndex, QString::number(index));
    return m_regions[index];
}

void QelEzImage::removeRegion(const QRect &region)
{
    m_regions.removeOne(region);
    if (m_view)
        m_view->update();
}

void QelEzImage::addRegion(const QRect &region)
{
    m_regions << region;
    if (m_view)
        m_view->update();
}
