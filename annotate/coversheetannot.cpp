#include "annotate/coversheetannot.h"

#include "annotate/grouplayout.h"
#include "annotate/textplace.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/vb/vb.h"

#include <limits>

namespace {
constexpr qint32 CoverTextLeft = 250;
constexpr qint32 CoverRowGap = 20;
} // namespace

QVariant do_apply_annotations_electronic_coversheet(QelEzImage &control)
{
    Trap at;
    try {
        for (const CoverPageLine &line : g_CoverPageLines) {
            at(1);
            if (line.Text.isEmpty() || line.Code < 1)
                continue;
            at(2);
            const QSize size = do_calculate_textsize_in_pixels(CInt(line.Text.length()),
                                                               g_intCoverTextFontSize);
            at(3);
            const qint64 top = qint64(line.Code) * (qint64(size.height()) + CoverRowGap);
            if (top > std::numeric_limits<qint32>::max())
                raiseVbError(vbErr::Overflow);
            at(4);
            do_AddTextAnnotation(control, line.Text, TextPos::Custom, 1, 1, 1, g_intCoverTextFontSize,
                                 CInt(line.Text.length()), 0, 0, false, false, QString(), QString(),
                                 qint32(top), CoverTextLeft, 0, 0);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("do_apply_annotations_electronic_coversheet"), at);
    }
    return {};
}
