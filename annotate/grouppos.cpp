#include "annotate/grouppos.h"

#include "core/state.h"
#include "platform/vb/vb.h"

#include <algorithm>

qint32 getTextAnnotationPostion(const QString &edge, const QString &location)
{
    if (edge == u"T") {
        if (location == u"L")
            return 0;
        if (location == u"C")
            return 2;
        return 1;
    }
    if (edge == u"B") {
        if (location == u"L")
            return 3;
        if (location == u"C")
            return 5;
        return 4;
    }
    return 0;
}

qint16 do_setGroupFontSize(const QString &fontCode)
{
    if (fontCode == u"1")
        return 8;
    if (fontCode == u"2")
        return 10;
    if (fontCode == u"3")
        return 12;
    if (fontCode == u"4")
        return 14;
    return 10;
}

int groupPosListIndex(const QString &edge, const QString &location, const QString &pageScope)
{
    int e;
    if (edge == u"T")
        e = 0;
    else if (edge == u"B")
        e = 1;
    else
        return -1;
    int l;
    if (location == u"L")
        l = 0;
    else if (location == u"C")
        l = 1;
    else if (location == u"R")
        l = 2;
    else
        return -1;
    const int scope = pageScope == u"F" ? 0 : 6;
    return scope + e * 3 + l;
}

bool do_load_groupannotations_positions(qint16 groupId, const QString &edge, const QString &location,
                                        const QString &pageScope, qint16 fontSize)
{
    const int list = groupPosListIndex(edge, location, pageScope);
    if (list < 0)
        return true;
    for (GroupPosition &rec : g_GroupPos[size_t(list)]) {
        if (rec.GroupId == 0) {
            rec.GroupId = groupId;
            rec.FontSize = fontSize;
            break;
        }
    }
    return true;
}

void clearGroupPositions()
{
    for (auto &list : g_GroupPos)
        list.fill(GroupPosition{});
}

GroupRect do_get_group_rect(qint16 groupId)
{
    for (const auto &list : g_GroupPos)
        for (const GroupPosition &rec : list)
            if (rec.GroupId == groupId)
                return {rec.Top, rec.Left, rec.Bottom, rec.Right};
    return {};
}

qint16 do_calculate_spacing_buffer(qint16 fontSize, const QString &edge)
{
    const bool top = edge == u"T";
    switch (fontSize) {
    case 8: return 70;
    case 10: return top ? 85 : 80;
    case 12: return top ? 95 : 90;
    case 14: return top ? 105 : 100;
    default: return top ? 30 : 0;
    }
}

qint16 do_get_bottom_margin_adjustments(qint16 fontSize, qint16 resolution)
{
    if (resolution != 200 && resolution != 300)
        return 0;
    const bool high = resolution == 300;
    switch (fontSize) {
    case 8: return high ? 50 : 25;
    case 10: return high ? 75 : 35;
    case 12: return high ? 90 : 45;
    case 14: return high ? 105 : 55;
    default: return 25;
    }
}

namespace {

// Columns: 200 dpi 8, 10, 12, 14 pt, then 300 dpi 8, 10, 12, 14 pt.
constexpr int kBase[8] = {50, 140, 150, 160, 100, 140, 150, 160};
// Rows: widths 0-125, then bands of 25 up to 526-550, then 551 and more.
constexpr double kFactor[19][8] = {
    {0.75, 0.25, 0.25, 0.375, 1.25, 1.125, 0.9, 0.9},
    {1.125, 0.5, 0.5, 0.6, 1.75, 1.5, 1.25, 1.25},
    {1.625, 0.75, 0.675, 0.75, 2.375, 1.875, 1.5, 1.5},
    {2.0, 1.0, 0.75, 0.95, 2.75, 2.25, 1.875, 2.0},
    {2.375, 1.125, 1.0, 1.125, 3.125, 2.625, 2.25, 2.25},
    {2.75, 1.35, 1.25, 1.25, 3.5, 3.0, 2.625, 2.625},
    {3.125, 1.5, 1.375, 1.5, 3.75, 3.375, 3.0, 3.0},
    {3.5, 1.625, 1.6, 1.625, 4.5, 3.875, 3.25, 3.375},
    {4.25, 1.875, 1.675, 1.75, 5.25, 4.25, 3.5, 3.75},
    {4.75, 2.0, 1.875, 1.95, 5.75, 4.75, 3.9, 4.125},
    {5.0, 2.2, 2.0, 2.125, 6.0, 5.25, 4.2, 4.4},
    {5.0, 2.5, 2.25, 2.25, 6.0, 5.625, 4.75, 4.75},
    {5.0, 2.0, 2.4, 2.5, 6.0, 5.75, 5.0, 5.25},
    {5.0, 2.0, 2.625, 2.625, 6.0, 5.75, 5.375, 5.5},
    {5.0, 2.0, 2.75, 2.85, 6.0, 5.75, 5.875, 5.875},
    {5.0, 2.0, 3.0, 2.95, 6.0, 5.75, 6.25, 6.25},
    {5.0, 2.0, 3.5, 3.125, 6.0, 5.75, 6.5, 6.625},
    {5.0, 2.0, 3.5, 3.375, 6.0, 5.75, 6.5, 7.125},
    {5.0, 2.0, 3.5, 3.75, 6.0, 5.75, 6.5, 7.25},
};

int widthBand(qint32 blockWidth)
{
    if (blockWidth <= 125)
        return 0;
    return std::min((blockWidth - 126) / 25 + 1, 18);
}

} // namespace

qint16 do_get_right_margin_adjustments(qint16 fontSize, qint32 blockWidth, qint16 resolution)
{
    if (resolution != 200 && resolution != 300)
        return 0;
    int column;
    switch (fontSize) {
    case 8: column = 0; break;
    case 10: column = 1; break;
    case 12: column = 2; break;
    case 14: column = 3; break;
    default: return 100;
    }
    if (resolution == 300)
        column += 4;
    const double factor = blockWidth < 0 ? 1.0 : kFactor[widthBand(blockWidth)][column];
    return qint16(Round(kBase[column] * factor));
}
