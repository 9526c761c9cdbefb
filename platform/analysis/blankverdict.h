#pragma once
#include <QImage>

// True when the page (Format_Mono, Grayscale8 or RGB888) carries nothing written, printed or
// stamped: only paper, dust and the marks holes, staples, creases, streaks and copier borders
// leave. Sensitivity 0..9 (clamped): the higher, the fainter and smaller the marks a page may
// carry and still be blank. What cannot be told from writing counts as writing. The marks are
// those that lie in `kept`, wholly or in part: one that reaches out of it (a figure the margins
// cut) is measured whole on the page.
bool isBlankPage(const QImage &page, const QRect &kept, int sensitivity);

// True when a grey page holds only two levels, ink and paper, with next to nothing between them:
// a dithered bilevel page read again as grey, its paper white and its dots unlike their
// neighbours. Such a page is
// judged, and its bands cleaned, as the bilevel page it is. `inkShare`, when given: the share of
// its pixels that are ink.
bool looksBilevel(const QImage &page, double *inkShare = nullptr);
