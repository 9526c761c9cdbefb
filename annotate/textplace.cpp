#include "annotate/textplace.h"

#include "annotate/grouplayout.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"

namespace {

const QString TraceHead = QStringLiteral("Korvane Scan Tool::do_AddTextAnnotation::About to add an annotation.  ");

QString traceField(const QString &label, const QVariant &value)
{
    return vbCrLf + vbTab + label + CStr(value);
}

bool placesText(qint16 mode)
{
    return mode == MODE_MARG || mode == MODE_MALC || mode == MODE_MERG_UPD || mode == MODE_NYRG;
}

} // namespace

void do_AddTextAnnotation(QelEzImage &control, const QString &annotationText, qint32 textPosition,
                          qint16 startPage, qint16 endPage, qint32 orientation, qint16 fontSize,
                          qint16 maxLineLength, qint16 verticalOffset, qint16 horizontalOffset,
                          bool blankBeforeWriting, bool writeUserStorage, const QVariant &userKey,
                          const QVariant &userValue, qint32 customTop, qint32 customLeft,
                          qint32 customBottom, qint32 customRight)
{
    Trap at;
    try {
        at(1);
        if (!placesText(g_dbMode))
            return;
        if (Val(g_NumPages) == 0)
            g_NumPages = QString::number(control.pageCount());
        at(2);
        QelAnnotFont font;
        font.name = QStringLiteral("Courier New");
        font.pointSize = fontSize;
        font.bold = true;
        if (g_blnDebug)
            traceLine(TraceHead + QStringLiteral("Here are the debug values: ")
                      + traceField(QStringLiteral("Font Name = "), font.name)
                      + traceField(QStringLiteral("Font Size = "), font.pointSize)
                      + traceField(QStringLiteral("Total Pages = "), g_NumPages)
                      + traceField(QStringLiteral("Annotation Text = "), annotationText)
                      + traceField(QStringLiteral("Text Position = "), textPosition)
                      + traceField(QStringLiteral("Start Page = "), startPage)
                      + traceField(QStringLiteral("End Page = "), endPage)
                      + traceField(QStringLiteral("Orientation = "), orientation)
                      + traceField(QStringLiteral("Max Line Length = "), maxLineLength)
                      + traceField(QStringLiteral("Vertical Offset = "), verticalOffset)
                      + traceField(QStringLiteral("Horizontal Offset = "), horizontalOffset)
                      + traceField(QStringLiteral("Blank Before Writing = "), blankBeforeWriting)
                      + traceField(QStringLiteral("Write User Storage = "), writeUserStorage)
                      + traceField(QStringLiteral("Custom Top = "), customTop)
                      + traceField(QStringLiteral("Custom Left = "), customLeft)
                      + traceField(QStringLiteral("Custom Bottom = "), customBottom)
                      + traceField(QStringLiteral("Custom Right = "), customRight));

        qint32 top = 0, left = 0; // kept from the previous page for codes without a place
        const QelEzPageWalk walk(control);
        for (int page = startPage; page <= endPage; ++page) {
            at(3);
            control.setPage(page);
            DoEvents();
            control.setRotation(1);
            at(4);
            QelAnnotDocument *doc = control.annotationSet();
            if (!doc)
                raiseVbError(vbErr::ObjectVariableNotSet);
            auto item = std::make_unique<QelAnnotTextItem>();
            item->setText(annotationText);
            item->setFont(font);
            if (writeUserStorage)
                item->setUserStorage(userKey.toString(), userValue);

            at(5);
            const QSize size = do_calculate_textsize_in_pixels(maxLineLength, fontSize);
            const qint64 cx = size.width(), cy = size.height();
            const qint64 w = control.imageWidth(), l = control.imageHeight();
            const qint64 rx = control.xResolution();
            // Traced only; a zero line height leaves it 0 rather than failing the page.
            const qint32 linesPerPage = cy != 0 ? CLng(double(l) / double(cy)) : 0;

            at(6);
            const qint32 bottomTop = long32(l - 200);
            const qint32 leftTopRight = long32(w - cx - 2 * rx);
            const qint32 leftTopCentre = CLng(double(w) / 2.0 - double(cx) / 2.0);
            const qint32 leftBottomRight = long32(w - 600);
            const qint32 leftBottomCentre = CLng(double(w) / 2.0 - (double(cx) / 2.0 + 150.0));
            switch (textPosition) {
            case TextPos::TopLeft: top = 10; left = 50; break;
            case TextPos::TopRight: top = 5; left = leftTopRight; break;
            case TextPos::TopCentre: top = 10; left = leftTopCentre; break;
            case TextPos::BottomLeft: top = bottomTop; left = 25; break;
            case TextPos::BottomRight: top = bottomTop; left = leftBottomRight; break;
            case TextPos::BottomCentre: top = bottomTop; left = leftBottomCentre; break;
            case TextPos::Custom: top = customTop; left = customLeft; break;
            default: break;
            }

            at(7);
            if (orientation == 1) {
                item->setTextOrientation(1);
            } else if (orientation == 2) {
                item->setJustification(2);
                item->setTextOrientation(4);
            }

            if (blankBeforeWriting) {
                at(8);
                // The control adds the rectangle at once; a refused one is left out.
                if (QelAnnotItem *blank = control.createAnnotation(QelAnnotType::Rectangle)) {
                    blank->setValue(QelAnnotProp::FillColor, 0xFFFFFF);
                    blank->setValue(QelAnnotProp::LineColor, 0xFFFFFF);
                    blank->setValue(QelAnnotProp::Width, 775);
                    blank->setValue(QelAnnotProp::Height, 65);
                    blank->setValue(QelAnnotProp::Top, top);
                    blank->setValue(QelAnnotProp::Left, long32(qint64(left) - 100));
                    if (writeUserStorage)
                        blank->setUserStorage(userKey.toString(), userValue);
                }
                DoEvents();
            }

            if (g_blnDebug)
                traceLine(TraceHead + QStringLiteral("Calculated values: ")
                          + traceField(QStringLiteral("usize.cx = "), cx)
                          + traceField(QStringLiteral("usize.cy = "), cy)
                          + traceField(QStringLiteral("Lines Per Page = "), linesPerPage)
                          + traceField(QStringLiteral("lAnnotTop = "), top)
                          + traceField(QStringLiteral("lAnnotLeft = "), left)
                          + traceField(QStringLiteral("ez.PageWidth = "), w)
                          + traceField(QStringLiteral("ez.PageLength = "), l)
                          + traceField(QStringLiteral("ez.PageXResolution = "), rx)
                          + traceField(QStringLiteral("ez.PageYResolution = "),
                                       control.yResolution()));

            at(9);
            // The yield above may have closed the document or deleted the page.
            doc = control.annotationSet();
            if (!doc)
                raiseVbError(vbErr::ObjectVariableNotSet);
            item->resize(doc->dpiX(), doc->dpiY());
            item->moveTo(left, top);
            at(10);
            doc->add(std::move(item));
            control.annotationFile(3, QString());
            DoEvents();
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("do_AddTextAnnotation"), at);
    }
}
