#include "annotate/imprint.h"

#include "annotate/textplace.h"
#include "core/state.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"

namespace {

// A zero-padded digit text as a number without leading zeros.
qint64 wholeNumber(const QString &digits) { return qint64(Fix(Val(digits))); }

bool isUnmarked(const QVariant &entry)
{
    return IsNumeric(entry) && CDbl(entry) == 0;
}

} // namespace

QString bookPageImprintText(qint64 runningPage)
{
    const qint64 first = wholeNumber(g_Page);
    const qint64 allotted = wholeNumber(g_NumPages);
    QString pagePart;
    if (runningPage < first + allotted)
        pagePart = QString::number(runningPage);
    else
        pagePart = QString::number(first + allotted - 1)
                   + Chr(int(65 + runningPage - (first + allotted)));
    const QString book = QString::number(wholeNumber(g_Book));
    if (g_dbMode == MODE_NYRG)
        return QStringLiteral("Bk ") + g_BookCode + book + QStringLiteral(" Pg") + pagePart
               + QStringLiteral(" #") + QString::number(wholeNumber(g_CTLNum));
    return QStringLiteral("Bk ") + book + QStringLiteral(" Pg") + pagePart + QStringLiteral(" #")
           + QString::number(wholeNumber(g_InstNum));
}

void addBookPageImprint(QelEzImage &control, const ImprintStates &states)
{
    const int pages = control.pageCount();
    const bool go = g_dbMode == MODE_MARG || g_dbMode == MODE_MERG_UPD
                    || (g_dbMode == MODE_NYRG && pages >= 2);
    if (!go)
        return;
    if (Val(g_NumPages) == 0)
        g_NumPages = QString::number(pages);
    qint64 running = wholeNumber(g_Page) + 1;
    if (pages < 2) {
        control.refresh();
        return;
    }
    // The pages passed are not painted; the one current at the end is, once.
    const QelEzPageWalk walk(control);
    for (int page = 2; page <= pages; ++page) {
        control.setPage(page);
        DoEvents();
        const QString text = bookPageImprintText(running);
        ++running;
        if (page - 1 >= states.size())
            raiseVbError(vbErr::SubscriptOutOfRange);
        if (isUnmarked(states[page - 1].second))
            do_AddTextAnnotation(control, text, TextPos::TopRight, qint16(page), qint16(page), 1,
                                 14, qint16(text.length() + 2), 0, 0, false, true,
                                 IMPRINT_TAG_KEY, QVariant(qint16(1)), 0, 0, 0, 0);
    }
    control.refresh();
}
