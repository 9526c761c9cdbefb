#pragma once
// Group-text position codes, font sizes and the twelve group-position lists (g_GroupPos).
#include <QString>

// Position code of an edge ("T"/"B") and location ("L"/"C"/"R"): top-left 0, top-right 1,
// top-centre 2, bottom-left 3, bottom-right 4, bottom-centre 5. Letters are case-sensitive.
qint32 getTextAnnotationPostion(const QString &edge, const QString &location);

// Point size of a host font code: "1" 8, "2" 10, "3" 12, "4" 14, anything else 10.
qint16 do_setGroupFontSize(const QString &fontCode);

// Files a group in the first free record of the list for its edge, location and page scope
// ("F" first page, else other pages). Bad letters or a full list file nothing. True.
bool do_load_groupannotations_positions(qint16 groupId, const QString &edge, const QString &location,
                                        const QString &pageScope, qint16 fontSize);

// Index (0 to 11) of the list for edge, location and scope in the fixed search order; -1 when
// edge or location is not one of the letters.
int groupPosListIndex(const QString &edge, const QString &location, const QString &pageScope);

// Empties all twelve lists: every record zero.
void clearGroupPositions();

// The rectangle of a placed group, in pixels of the page image.
struct GroupRect {
    qint32 Top = 0;
    qint32 Left = 0;
    qint32 Bottom = 0;
    qint32 Right = 0;
    bool operator==(const GroupRect &) const = default;
};

// The rectangle of the first record with that group id, searching the twelve lists in their
// fixed order; the zero rectangle when there is none.
GroupRect do_get_group_rect(qint16 groupId);

// Pixels left between two stacked groups at the edge ("T" or any other).
qint16 do_calculate_spacing_buffer(qint16 fontSize, const QString &edge);

// Extra pixels kept free at the right margin of a right-aligned block of that width; 0 for any
// resolution but 200 and 300 dpi.
qint16 do_get_right_margin_adjustments(qint16 fontSize, qint32 blockWidth, qint16 resolution);

// Extra pixels kept free at the bottom margin; 0 for any resolution but 200 and 300 dpi.
qint16 do_get_bottom_margin_adjustments(qint16 fontSize, qint16 resolution);
