#pragma once
// Measuring annotation texts in pixels, and laying the group texts of one position list out on
// a page.
#include <QSize>
#include <QString>
#include <array>

#include "core/state.h"

class QelEzImage;

// A 32-bit result of the layout arithmetic; overflow (error 6) beyond it.
qint32 long32(qint64 v);

// Widest line and summed line heights of a CR LF block in bold "Courier New" at fontSize points;
// with fill non-zero every non-empty line counts as maxLen letters "W". Empty lines add nothing.
QSize do_calculate_text_block_size(const QString &text, qint16 fontSize, qint16 maxLen, qint16 fill);

// Size (cx, cy) of one line of maxLen letters "W" in "Courier New" (not bold) at fontSize points.
QSize do_calculate_textsize_in_pixels(qint16 maxLen, qint16 fontSize);

// Writes Top, Left, Bottom and Right of every used record of one list of g_GroupPos for the edge
// and location, on the given page of the control (bottom-edge anchors move to the group's page).
// False for a bad edge, location or group number, or after a reported error.
bool do_calculate_grouptext_positions(std::array<GroupPosition, 4> &list, QelEzImage &control,
                                      const QString &edge, const QString &location, qint16 page);
