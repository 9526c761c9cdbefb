#include "annotate/grouppos.h"

#include "core/state.h"

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
