#pragma once
// Text onto page images: one bold "Courier New" text item per page of a range, at a position
// computed from the page size, the resolution and the measured width of the line.
#include <QString>
#include <QVariant>

class QelEzImage;

// Position codes of a text item.
namespace TextPos {
constexpr qint32 TopLeft = 0;
constexpr qint32 TopRight = 1;
constexpr qint32 TopCentre = 2;
constexpr qint32 BottomLeft = 3;
constexpr qint32 BottomRight = 4;
constexpr qint32 BottomCentre = 5;
constexpr qint32 Custom = 12;
}

// Adds the text to pages startPage..endPage of the control (only in modes 0, 1, 4, 5). The
// offsets and customBottom/customRight are traced only. With blankBeforeWriting a white type 11
// rectangle goes under the text; with writeUserStorage the item (and the rectangle) carry
// userKey = userValue. Errors are reported; pages done keep their items.
void do_AddTextAnnotation(QelEzImage &control, const QString &annotationText, qint32 textPosition,
                          qint16 startPage, qint16 endPage, qint32 orientation, qint16 fontSize,
                          qint16 maxLineLength, qint16 verticalOffset, qint16 horizontalOffset,
                          bool blankBeforeWriting, bool writeUserStorage, const QVariant &userKey,
                          const QVariant &userValue, qint32 customTop, qint32 customLeft,
                          qint32 customBottom, qint32 customRight);
