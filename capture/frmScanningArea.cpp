#include "capture/frmScanningArea.h"

#include "core/files.h"
#include "core/localisation.h"
#include "platform/forms/builders.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/vb/vb.h"

#include <QMouseEvent>

FrmScanningArea &frmScanningArea() { return defaultInstance<FrmScanningArea>(); }

namespace {

int vbButton(Qt::MouseButton b)
{
    return b == Qt::LeftButton ? 1 : b == Qt::RightButton ? 2 : b == Qt::MiddleButton ? 4 : 0;
}

} // namespace

FrmScanningArea::FrmScanningArea() : Form(QStringLiteral("frmScanningArea"))
{
    setCaption(QStringLiteral("Set Scanning Area"));
    QelEzImage1 = addControl(new QelEzImage(QelEzImage::Kind::PageView, this), QStringLiteral("QelEzImage1"));
    QelEzImage1->setGeometry(8, 8, 240, 300);
    // The rubber band lives on a transparent cover over the preview, which also takes the mouse.
    m_overlay = new QWidget(QelEzImage1);
    m_overlay->setObjectName(QStringLiteral("previewCover"));
    m_overlay->setGeometry(QelEzImage1->rect());
    m_overlay->setAttribute(Qt::WA_NoSystemBackground);
    m_overlay->installEventFilter(this);
    QelEzImage1->installEventFilter(this);
    m_band = new QRubberBand(QRubberBand::Rectangle, m_overlay);

    Label1 = addLabel(*this, this, QStringLiteral("Label1"), QStringLiteral("&Units:"), 260, 10, 80);
    cboUnits = addControl(new ComboBox(this), QStringLiteral("cboUnits"));
    cboUnits->setGeometry(344, 8, 110, 22);
    Label2 = addLabel(*this, this, QStringLiteral("Label2"), QStringLiteral("&X Position:"), 260, 44, 80);
    txtXPosition = addField(*this, this, QStringLiteral("txtXPosition"), 344, 42, 100);
    Label3 = addLabel(*this, this, QStringLiteral("Label3"), QStringLiteral("&Y Position:"), 260, 74, 80);
    txtYPosition = addField(*this, this, QStringLiteral("txtYPosition"), 344, 72, 100);
    Label4 = addLabel(*this, this, QStringLiteral("Label4"), QStringLiteral("&Width:"), 260, 104, 80);
    txtWidth = addField(*this, this, QStringLiteral("txtWidth"), 344, 102, 100);
    Label5 = addLabel(*this, this, QStringLiteral("Label5"), QStringLiteral("&Length:"), 260, 134, 80);
    txtLength = addField(*this, this, QStringLiteral("txtLength"), 344, 132, 100);
    Label1->setBuddy(cboUnits);
    Label2->setBuddy(txtXPosition);
    Label3->setBuddy(txtYPosition);
    Label4->setBuddy(txtWidth);
    Label5->setBuddy(txtLength);
    for (QLineEdit *t : {txtXPosition, txtYPosition, txtWidth, txtLength})
        t->installEventFilter(this);
    cmdOk = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOk"));
    cmdOk->setGeometry(264, 280, 90, 26);
    cmdCancel = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(364, 280, 90, 26);
    cmdOk->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);
    setDefaultButton(cmdOk);
    setCancelButton(cmdCancel);
    resize(466, 316);

    connect(cboUnits, &ComboBox::Click, this, &FrmScanningArea::cboUnits_Click);
    connect(cmdOk, &QPushButton::clicked, this, &FrmScanningArea::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmScanningArea::cmdCancel_Click);
}

void FrmScanningArea::Form_Load()
{
    LocalizeForm(*this);
    m_overlay->setGeometry(QelEzImage1->rect());
    cboUnits->clear();
    const char *const units[] = {"Inches", "Millimeters", "Pixels"};
    for (int i = 0; i < 3; ++i) {
        cboUnits->addItem(LocalizeString(QString::fromLatin1(units[i])));
        cboUnits->setListItemData(i, i);
    }
}

void FrmScanningArea::Form_Activate()
{
    txtXPosition->setFocus();
    txtXPosition->selectAll();
}

void FrmScanningArea::Form_Unload(int &) { m_bound = nullptr; }

QString FrmScanningArea::ConvertUnits(const QString &text, int target, int source) const
{
    QPointer<QelEzImage> bound = m_bound;
    return convertTrimUnits(text, target, source, [bound]() -> qint16 {
        if (!bound)
            return 0;
        return CInt(ezScanner(*bound).resolution());
    });
}

int FrmScanningArea::StartForm(QelEzImage &control)
{
    m_bound = &control;
    QelEzScanner &scanner = ezScanner(control);
    const int length = scanner.regionLength();
    const int width = scanner.regionWidth();
    const int top = scanner.regionTop();
    const int left = scanner.regionLeft();

    // The scanner's whole area: the control keeps no more than it.
    scanner.setRegionLeft(0);
    scanner.setRegionTop(0);
    scanner.setRegionWidth(32000);
    scanner.setRegionLength(32000);
    m_maxWidth = scanner.regionWidth();
    m_maxLength = scanner.regionLength();
    const int tx = Screen::TwipsPerPixelX(), ty = Screen::TwipsPerPixelY();
    m_areaWidth = QelEzImage1->width() * tx;
    m_areaHeight = QelEzImage1->height() * ty;
    scanner.setRegionLeft(left);
    scanner.setRegionTop(top);
    scanner.setRegionWidth(width);
    scanner.setRegionLength(length);

    // No page of the control's: the preview shows none (not a page of an earlier use).
    if (control.pageCount() == 0)
        QelEzImage1->setImageHandle(QelPageDocument::create()->handle());
    if (control.pageCount() != 0 && m_maxWidth > 0 && m_maxLength > 0) {
        QelEzImage1->setImageHandle(control.imageHandle());
        const double previewW = QelEzImage1->width() * tx, previewH = QelEzImage1->height() * ty;
        // The area is in the scanner's pixels; the page's pixels are drawn at its own resolution.
        const double res = scanner.resolution(), dpi = QelEzImage1->xResolution();
        const double pagePixelsPerScannerPixel = res > 0 && dpi > 0 ? dpi / res : 1.0;
        if (previewH / m_maxLength > previewW / m_maxWidth) {
            QelEzImage1->zoom().set(float(previewW * 10), double(m_maxWidth) * 149 * pagePixelsPerScannerPixel);
            m_areaHeight = CLng(previewW * m_maxLength / m_maxWidth);
        } else {
            QelEzImage1->zoom().set(float(previewH * 10), double(m_maxLength) * 149 * pagePixelsPerScannerPixel);
            m_areaWidth = CLng(previewH * m_maxWidth / m_maxLength);
        }
    }

    // From here on a failing step is passed over.
    const auto step = [](const std::function<void()> &fn) {
        try {
            fn();
        } catch (const VbError &) {
        }
    };
    m_currentUnit = Pixels;
    if (!m_unitChosen) {
        m_shownUnit = Inches;
        m_unitChosen = true;
    }
    step([&] {
        txtYPosition->setText(QString::number(scanner.regionTop()));
        txtXPosition->setText(QString::number(scanner.regionLeft()));
        txtWidth->setText(QString::number(scanner.regionWidth()));
        txtLength->setText(QString::number(scanner.regionLength()));
    });
    step([&] {
        cboUnits->setListIndex(m_shownUnit);
        cboUnits_Click();
    });
    m_savedIndex = cboUnits->listIndex();
    m_result = 0;
    m_band->hide(); // a band of an earlier session is not the area in force
    m_dragging = false;
    step([&] { Show(vb::vbModal); });
    if (isLoaded())
        Hide();
    return m_result;
}

void FrmScanningArea::cboUnits_Click()
{
    const int i = cboUnits->listIndex();
    if (i < 0)
        return;
    m_shownUnit = cboUnits->listItemData(i);
    if (m_shownUnit == m_currentUnit)
        return;
    for (QLineEdit *t : {txtXPosition, txtYPosition, txtWidth, txtLength})
        t->setText(ConvertUnits(t->text(), m_shownUnit, m_currentUnit));
    m_currentUnit = m_shownUnit;
}

void FrmScanningArea::fillFields(int left, int top, int width, int length)
{
    txtXPosition->setText(ConvertUnits(QString::number(left), m_shownUnit, Pixels));
    txtYPosition->setText(ConvertUnits(QString::number(top), m_shownUnit, Pixels));
    txtWidth->setText(ConvertUnits(QString::number(width), m_shownUnit, Pixels));
    txtLength->setText(ConvertUnits(QString::number(length), m_shownUnit, Pixels));
}

void FrmScanningArea::reloadFromControl()
{
    QelEzScanner &s = ezScanner(*m_bound);
    fillFields(s.regionLeft(), s.regionTop(), s.regionWidth(), s.regionLength());
}

void FrmScanningArea::cmdOk_Click()
{
    if (!m_bound)
        return;
    QelEzScanner &scanner = ezScanner(*m_bound);
    if (cboUnits->listIndex() >= 0)
        m_currentUnit = cboUnits->listItemData(cboUnits->listIndex());

    struct Check {
        QLineEdit *field;
        const char *message;
        int (QelEzScanner::*read)() const;
    };
    const Check checks[] = {
        {txtXPosition, "X Position Is Not Valid", &QelEzScanner::regionLeft},
        {txtYPosition, "Y Position Is Not Valid", &QelEzScanner::regionTop},
        {txtWidth, "Width Is Not Valid", &QelEzScanner::regionWidth},
        {txtLength, "Length Is Not Valid", &QelEzScanner::regionLength},
    };
    for (const Check &c : checks) {
        const QString text = c.field->text();
        const bool valid = IsNumeric(text) && CDbl(Trim(text)) >= 0
                           && !(m_currentUnit == Pixels && text.contains(QLatin1Char('.')));
        if (valid)
            continue;
        MsgBox(LocalizeString(QString::fromLatin1(c.message)), vb::vbOKOnly);
        c.field->setText(ConvertUnits(QString::number((scanner.*c.read)()), m_shownUnit, Pixels));
        c.field->setFocus();
        return;
    }

    const QString x = ConvertUnits(txtXPosition->text(), Pixels, m_currentUnit);
    const QString y = ConvertUnits(txtYPosition->text(), Pixels, m_currentUnit);
    const QString w = ConvertUnits(txtWidth->text(), Pixels, m_currentUnit);
    const QString l = ConvertUnits(txtLength->text(), Pixels, m_currentUnit);
    if (x.isEmpty() || y.isEmpty() || w.isEmpty() || l.isEmpty()) {
        // No pixel value without a resolution.
        MsgBox(LocalizeString(QStringLiteral("Resolution Is Not Valid")), vb::vbOKOnly);
        return;
    }
    const qint32 length = CLng(l);
    scanner.setRegionTop(CLng(y));
    scanner.setRegionLeft(CLng(x));
    scanner.setRegionWidth(CLng(w));
    scanner.setRegionLength(length);

    const qint32 top = scanner.regionTop(), left = scanner.regionLeft();
    const qint32 width = scanner.regionWidth(), kept = scanner.regionLength();
    if (CDbl(y) > top || CDbl(x) > left || CDbl(w) > width || length > kept) {
        MsgBox(LocalizeString(QStringLiteral("Out of Bounds")), vb::vbOKOnly);
        fillFields(left, top, width, kept);
        return;
    }
    Hide();
    m_result = 1;
}

void FrmScanningArea::cmdCancel_Click()
{
    if (cboUnits->listIndex() != m_savedIndex)
        cboUnits->setListIndex(m_savedIndex);
    Hide();
    m_result = 0;
}

void FrmScanningArea::QelEzImage1_DblClick()
{
    fillFields(0, 0, m_maxWidth, m_maxLength);
}

void FrmScanningArea::QelEzImage1_MouseDown(int, int, float x, float y)
{
    m_overlay->grabMouse();
    m_band->hide();  // the refresh wipes an earlier frame
    QelEzImage1->refresh();
    m_dragging = true;
    m_startX = m_curX = x;
    m_startY = m_curY = y;
    DrawBox(m_startX, m_startY, m_curX, m_curY);
}

void FrmScanningArea::QelEzImage1_MouseMove(int, int, float x, float y)
{
    if (!m_dragging)
        return;
    DrawBox(m_startX, m_startY, m_curX, m_curY);
    DrawBox(m_startX, m_startY, x, y);
    m_curX = x;
    m_curY = y;
    mapBand(x, y);
}

void FrmScanningArea::QelEzImage1_MouseUp(int button, int shift, float x, float y)
{
    if (m_dragging) {
        QelEzImage1_MouseMove(button, shift, x, y);
        m_dragging = false;
    }
    m_overlay->releaseMouse();
}

void FrmScanningArea::mapBand(float x, float y)
{
    // The scanner's area starts at the shown page's top-left corner; without a page it fills the
    // preview from its own corner.
    const float tx = float(Screen::TwipsPerPixelX()), ty = float(Screen::TwipsPerPixelY());
    float originX = 0, originY = 0, perPixelX = 0, perPixelY = 0; // twips of the preview per scanner pixel
    const QRectF page = QelEzImage1->pageCount() > 0 ? QelEzImage1->shownPageRect() : QRectF();
    if (!page.isEmpty() && m_bound) {
        // The page's pixels at the scanner's resolution (the page's own when it names none).
        const double res = ezScanner(*m_bound).resolution();
        const double dpiX = QelEzImage1->xResolution(), dpiY = QelEzImage1->yResolution();
        const double pixelsX = QelEzImage1->imageWidth() * (res > 0 && dpiX > 0 ? res / dpiX : 1.0);
        const double pixelsY = QelEzImage1->imageHeight() * (res > 0 && dpiY > 0 ? res / dpiY : 1.0);
        originX = float(page.left()) * tx;
        originY = float(page.top()) * ty;
        perPixelX = float(page.width() * tx / pixelsX);
        perPixelY = float(page.height() * ty / pixelsY);
    } else if (m_areaWidth > 0 && m_areaHeight > 0 && m_maxWidth > 0 && m_maxLength > 0) {
        perPixelX = float(m_areaWidth) / float(m_maxWidth);
        perPixelY = float(m_areaHeight) / float(m_maxLength);
    }
    if (perPixelX <= 0 || perPixelY <= 0)
        return;
    const auto pixels = [](float v, float origin, float perPixel, int max) {
        return std::min(float(max), std::max(0.0f, (v - origin) / perPixel));
    };
    const float left = pixels(std::min(x, m_startX), originX, perPixelX, m_maxWidth);
    const float right = pixels(std::max(x, m_startX), originX, perPixelX, m_maxWidth);
    const float top = pixels(std::min(y, m_startY), originY, perPixelY, m_maxLength);
    const float bottom = pixels(std::max(y, m_startY), originY, perPixelY, m_maxLength);
    const auto text = [this](float v) { return ConvertUnits(QString::number(v), m_shownUnit, Pixels); };
    txtXPosition->setText(text(left));
    txtYPosition->setText(text(top));
    txtWidth->setText(text(right - left));
    txtLength->setText(text(bottom - top));
}

void FrmScanningArea::DrawBox(float x1, float y1, float x2, float y2)
{
    const float tx = float(Screen::TwipsPerPixelX()), ty = float(Screen::TwipsPerPixelY());
    const QRect frame(QPoint(qRound(std::min(x1, x2) / tx), qRound(std::min(y1, y2) / ty)),
                      QPoint(qRound(std::max(x1, x2) / tx), qRound(std::max(y1, y2) / ty)));
    // Drawn twice, the frame is gone again.
    if (!m_band->isHidden() && m_band->geometry() == frame) {
        m_band->hide();
        return;
    }
    m_band->setGeometry(frame);
    m_band->show();
}

bool FrmScanningArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QelEzImage1 && event->type() == QEvent::Resize) {
        m_overlay->setGeometry(QelEzImage1->rect());
    } else if (watched == m_overlay) {
        const float tx = float(Screen::TwipsPerPixelX()), ty = float(Screen::TwipsPerPixelY());
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto *m = static_cast<QMouseEvent *>(event);
            const float x = float(m->position().x()) * tx, y = float(m->position().y()) * ty;
            const int button = vbButton(m->button()) | vbButton(Qt::MouseButton(int(m->buttons())));
            const int shift = vbShiftState(m->modifiers());
            if (event->type() == QEvent::MouseButtonPress)
                QelEzImage1_MouseDown(button, shift, x, y);
            else if (event->type() == QEvent::MouseMove)
                QelEzImage1_MouseMove(button, shift, x, y);
            else
                QelEzImage1_MouseUp(button, shift, x, y);
            return true;
        }
        case QEvent::MouseButtonDblClick:
            QelEzImage1_DblClick();
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::FocusIn) {
        if (auto *t = qobject_cast<QLineEdit *>(watched))
            QMetaObject::invokeMethod(t, &QLineEdit::selectAll, Qt::QueuedConnection);
    }
    return Form::eventFilter(watched, event);
}
