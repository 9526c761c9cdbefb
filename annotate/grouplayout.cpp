#include "annotate/grouplayout.h"

#include <QLineEdit>

#include "annotate/grouppos.h"
#include "core/errors.h"
#include "platform/annot/annotdocument.h"
#include "platform/forms/forms.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

#include <limits>

qint32 long32(qint64 v)
{
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        raiseVbError(vbErr::Overflow);
    return qint32(v);
}

namespace {

const QString MeasureBoxName = QStringLiteral("tcAnnotation");
const QString LayoutHead = QStringLiteral("Korvane Scan Tool::do_calculate_grouptext_positions::");

QString field(const QString &label, const QVariant &value)
{
    return vbCrLf + vbTab + label + CStr(value);
}

// The hidden text box on the main window that a measurement puts its text through; removed
// again when the measurement ends, however it ends. One left by an earlier failure goes first.
class MeasureBox {
public:
    MeasureBox(const QString &fontName, qint16 fontSize, bool bold)
    {
        frmMain().removeControl(MeasureBoxName);
        m_box = frmMain().addControl(new QLineEdit(&frmMain()), MeasureBoxName);
        m_box->hide();
        m_box->setMaxLength(std::numeric_limits<int>::max());
        m_font.name = fontName;
        m_font.pointSize = fontSize;
        m_font.bold = bold;
        QFont qfont = m_font.toQFont(fontSize * QelTextMetrics::Dpi / 72.0);
        m_box->setFont(qfont);
    }
    ~MeasureBox() { frmMain().removeControl(MeasureBoxName); }
    MeasureBox(const MeasureBox &) = delete;
    MeasureBox &operator=(const MeasureBox &) = delete;

    // Puts the text into the box and gives back what the box holds.
    QString pass(const QString &text)
    {
        m_box->setText(text);
        return m_box->text();
    }
    QSize measure(const QString &line) const
    {
        return QelTextMetrics::instance().measureLine(line, m_font);
    }

private:
    QLineEdit *m_box = nullptr;
    QelAnnotFont m_font;
};


QString listName(const QString &edge, const QString &location)
{
    const QString e = edge == u"T" ? QStringLiteral("Top") : QStringLiteral("Bottom");
    if (location == u"L")
        return e + QStringLiteral(" Left");
    if (location == u"C")
        return e + QStringLiteral(" Center");
    return e + QStringLiteral(" Right");
}

} // namespace

QSize do_calculate_text_block_size(const QString &text, qint16 fontSize, qint16 maxLen, qint16 fill)
{
    Trap at;
    qint32 width = 0, height = 0;
    try {
        at(1);
        QStringList lines = Split(text, vbCrLf);
        if (text.isEmpty())
            lines.clear();
        if (lines.isEmpty())
            return {0, 0};
        at(2);
        MeasureBox box(QStringLiteral("Courier New"), fontSize, true);
        at(3);
        for (QString &line : lines) {
            const QString held = box.pass(line);
            if (held.isEmpty())
                continue;
            if (fill != 0)
                line = box.pass(StringOf(std::max<int>(maxLen, 0), QChar(u'W')));
            const QSize size = box.measure(line);
            height = long32(qint64(height) + size.height());
            width = std::max(width, qint32(size.width()));
        }
        if (g_blnDebug)
            traceLine(QStringLiteral("Korvane Scan Tool::do_calculate_text_block_size::Calculating Text Block Size: ")
                      + field(QStringLiteral("Text Block = "), text)
                      + field(QStringLiteral("Size in TWIPS - X = "), qint64(width) * Screen::TwipsPerPixelX())
                      + field(QStringLiteral("Size in TWIPS - Y = "), qint64(height) * Screen::TwipsPerPixelY())
                      + field(QStringLiteral("Size in Pixels - X = "), width)
                      + field(QStringLiteral("Size in Pixels - Y "), height) + vbCrLf + vbTab);
    } catch (...) {
        reportCurrentError(QStringLiteral("do_calculate_text_block_size"), at);
    }
    return {width, height};
}

QSize do_calculate_textsize_in_pixels(qint16 maxLen, qint16 fontSize)
{
    Trap at;
    QSize size(0, 0);
    try {
        at(1);
        MeasureBox box(QStringLiteral("Courier New"), fontSize, false);
        at(2);
        const QString line = box.pass(StringOf(std::max<int>(maxLen, 0), QChar(u'W')));
        size = box.measure(line);
        if (g_blnDebug)
            traceLine(QStringLiteral("Korvane Scan Tool::do_calculate_textsize_in_pixels::Calculated Text Size: ")
                      + field(QStringLiteral("Size in Pixels - X = "), size.width())
                      + field(QStringLiteral("Size in Pixels - Y = "), size.height()) + vbCrLf + vbTab);
    } catch (...) {
        reportCurrentError(QStringLiteral("do_calculate_textsize_in_pixels"), at);
    }
    return size;
}

bool do_calculate_grouptext_positions(std::array<GroupPosition, 4> &list, QelEzImage &control,
                                      const QString &edge, const QString &location, qint16 page)
{
    Trap at;
    bool result = true;
    try {
        at(1);
        const int shownPage = control.page();
        control.setPage(page);
        int currentPage = page;
        qint16 length = CInt(control.imageHeight());
        qint16 width = CInt(control.imageWidth());
        const double scale = control.scaleRatio();
        const int xres = control.xResolution();
        const int yres = control.yResolution();
        const qint16 leftMargin = CInt(xres * 0.25);
        const qint16 rightMargin = CInt(xres * 0.5);
        const qint16 topMargin = CInt(yres * 0.15);
        const qint16 bottomMargin = CInt(yres * 0.25);
        if (g_blnDebug)
            traceLine(LayoutHead + QStringLiteral("About to start calculating Group Text Positions: ")
                      + field(QStringLiteral("iCurrentPage = "), shownPage)
                      + field(QStringLiteral("sPageLengthInPixels = "), length)
                      + field(QStringLiteral("sPageWidthInPixels = "), width)
                      + field(QStringLiteral("prScaleRatio = "), scale)
                      + field(QStringLiteral("sLeftMarginSizeInPixels = "), leftMargin)
                      + field(QStringLiteral("sRightMarginSizeInPixels = "), rightMargin)
                      + field(QStringLiteral("sTopMarginSizeInPixels = "), topMargin)
                      + field(QStringLiteral("sBottomMarginSizeInPixels = "), bottomMargin)
                      + field(QStringLiteral("Edge = "), edge)
                      + field(QStringLiteral("Location = "), location) + vbCrLf + vbTab);

        at(2);
        if ((edge != u"T" && edge != u"B")
            || (location != u"L" && location != u"C" && location != u"R"))
            return false;
        const bool topEdge = edge == u"T";
        const qint16 resolution = CInt(xres);

        at(3);
        bool anchored = false;
        qint32 top = 0;
        for (GroupPosition &rec : list) {
            if (rec.GroupId < 1)
                continue;
            const int g = rec.GroupId;
            if (g > 4) {
                result = false;
                continue;
            }
            const GroupTextInfo &info = g_GroupTextInfo[size_t(g - 1)];
            const qint64 blockHeight = info.BlockHeight, blockWidth = info.BlockWidth;

            at(4);
            if (!anchored) {
                if (topEdge) {
                    top = topMargin;
                } else {
                    if (info.PageScope == u"F") {
                        control.setPage(1);
                        currentPage = 1;
                    } else {
                        currentPage = control.pageCount();
                        control.setPage(currentPage);
                        length = CInt(control.imageHeight());
                        width = CInt(control.imageWidth());
                    }
                    top = long32(length - (qint64(do_get_bottom_margin_adjustments(rec.FontSize, resolution))
                                           + bottomMargin + blockHeight));
                }
                anchored = true;
            } else if (topEdge) {
                top = long32(qint64(top) + do_calculate_spacing_buffer(rec.FontSize, edge) + blockHeight);
            } else {
                top = long32(qint64(top) - (do_calculate_spacing_buffer(rec.FontSize, edge) + blockHeight));
            }

            at(5);
            qint32 left;
            if (location == u"L")
                left = leftMargin;
            else if (location == u"C")
                left = CLng(double(width) / 2.0 - double(blockWidth) / 2.0);
            else
                left = long32(width - (rightMargin + blockWidth
                                       + do_get_right_margin_adjustments(rec.FontSize, info.BlockWidth,
                                                                         resolution)));

            at(6);
            rec.Top = top;
            rec.Left = left;
            rec.Bottom = long32(qint64(top) + blockHeight);
            rec.Right = long32(qint64(left) + blockWidth);
            if (g_blnDebug)
                traceLine(LayoutHead + QStringLiteral("Calculating ") + listName(edge, location)
                          + QStringLiteral(" Group Text Position #: ") + QString::number(g)
                          + field(QStringLiteral("iCurrentPage = "), currentPage)
                          + field(QStringLiteral("Top = "), rec.Top)
                          + field(QStringLiteral("Left = "), rec.Left)
                          + field(QStringLiteral("Bottom = "), rec.Bottom)
                          + field(QStringLiteral("Right = "), rec.Right) + vbCrLf + vbTab);
        }
        return result;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_calculate_grouptext_positions"), at);
        return false;
    }
}
