#include "annotate/imprintgroups.h"

#include "annotate/grouplayout.h"
#include "annotate/grouppos.h"
#include "annotate/textplace.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

#include <limits>

namespace {

const QString Letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");

bool isUnmarked(const QVariant &entry)
{
    return IsNumeric(entry) && CDbl(entry) == 0;
}

qint16 int16(qint64 v)
{
    if (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
        raiseVbError(vbErr::Overflow);
    return qint16(v);
}

// "#" and the control number in the New York recording mode, the instrument number otherwise.
QString documentNumberPart()
{
    const QString &number = g_dbMode == MODE_NYRG ? g_CTLNum : g_InstNum;
    return QStringLiteral(" #") + QString::number(CLng(number));
}

// The imprint of one page, 0.15 inch below the top and half an inch plus the margin
// adjustment left of the right edge; only on a page whose state entry is 0.
void addPageImprint(QelEzImage &control, const ImprintStates &states, int page, const QString &text)
{
    const qint16 fontSize = g_GroupTextInfo[0].FontSize;
    const qint16 length = CInt(text.length());
    const QSize block = do_calculate_text_block_size(text, fontSize, length, 0);
    control.setPage(page);
    const qint32 top = CLng(0.15 * control.yResolution());
    const qint16 adjust = do_get_right_margin_adjustments(fontSize, block.width(),
                                                          CInt(control.xResolution()));
    const qint32 left = CLng(double(control.imageWidth())
                             - (0.5 * control.xResolution() + (qint64(block.width()) + adjust)));
    const qint32 bottom = long32(qint64(top) + block.height());
    const qint32 right = long32(qint64(left) + block.width());
    if (page - 1 >= states.size())
        raiseVbError(vbErr::SubscriptOutOfRange);
    if (isUnmarked(states[page - 1].second))
        do_AddTextAnnotation(control, text, TextPos::Custom, int16(page), int16(page), 1, fontSize,
                             int16(qint64(length) + 2), 0, 0, false, true, IMPRINT_TAG_KEY,
                             QVariant(qint16(1)), top, left, bottom, right);
}

} // namespace

QVariant do_apply_annotations_electronic(ImprintStates &states)
{
    Trap at;
    try {
        QelEzImage &control = *frmMain().ezPageView;
        at(1);
        for (int g = 1; g <= 4; ++g) {
            const GroupTextInfo &info = g_GroupTextInfo[size_t(g - 1)];
            if (info.Text.isEmpty())
                continue;
            at(2);
            const int pages = control.pageCount();
            if (g == 3 && pages == 0)
                continue;
            const GroupRect rect = do_get_group_rect(qint16(g));
            const qint16 page = info.PageScope == u"F" ? qint16(1) : int16(pages);
            at(3);
            do_AddTextAnnotation(control, info.Text, TextPos::Custom, page, page, 1, info.FontSize,
                                 info.MaxLen, 0, 0, false, false, QString(), QString(), rect.Top,
                                 rect.Left, rect.Bottom, rect.Right);
        }

        at(4);
        const int pages = control.pageCount();
        if (g_GroupTextInfo[0].Text.isEmpty() || pages <= 1)
            return {};
        at(5);
        if (g_KyCd != u"B") {
            for (int page = 2; page <= pages; ++page)
                addPageImprint(control, states, page,
                               gsGroup1FirstLine + QStringLiteral(" Page ") + QString::number(page)
                                   + QStringLiteral(" of ") + QString::number(pages));
            return {};
        }

        at(6);
        // The book number is read only for book-and-page imprints.
        const QString book = g_BookCode.isEmpty() ? QString::number(CLng(g_Book))
                                                  : QString::number(CInt(g_Book));
        const QString bookPart = QStringLiteral("Bk ") + g_BookCode + book + QStringLiteral(" Pg");
        const qint64 allotted = qint64(Val(g_NumPages));
        const qint16 firstPage = CInt(g_Page);
        for (qint64 page = 2; page <= allotted && page <= pages; ++page)
            addPageImprint(control, states, int(page),
                           bookPart + QString::number(int16(firstPage + page - 1)) + documentNumberPart());
        at(7);
        // Sheets beyond the allotted pages carry the last allotted page and a letter; the first
        // page never gets an imprint, also when no pages were allotted.
        const qint16 lastAllotted = int16(firstPage + allotted - 1);
        for (qint64 page = std::max<qint64>(allotted + 1, 2); page <= pages; ++page) {
            const qint64 sheet = page - allotted;
            const QString letter = sheet <= 26 ? Letters.mid(int(sheet - 1), 1) : QStringLiteral("Z");
            addPageImprint(control, states, int(page),
                           bookPart + QString::number(lastAllotted) + letter + documentNumberPart());
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("do_apply_annotations_electronic"), at);
    }
    return {};
}
