#include "host/grouptext.h"

#include "annotate/grouppos.h"
#include "core/state.h"
#include "platform/vb/vb.h"

namespace {

struct GroupLayout {
    int fields;
    int width;
};
// Fields per group and their width; field k starts at k * width.
constexpr GroupLayout kLayout[4] = {{2, 40}, {5, 50}, {5, 50}, {3, 40}};

QString field(const QString &raw, int group, int k)
{
    return Trim(raw.mid(k * kLayout[group].width, kLayout[group].width));
}

} // namespace

void do_load_grouptext_lines()
{
    for (GroupTextInfo &g : g_GroupTextInfo)
        g.Text.clear();

    for (int group = 0; group < 4; ++group) {
        GroupTextInfo &g = g_GroupTextInfo[size_t(group)];
        g.FieldLen.fill(0);
        g.LineCount = 0;
        for (int k = 0; k < kLayout[group].fields; ++k) {
            g.FieldLen[size_t(k)] = qint16(field(g.RawText, group, k).size());
            if (g.FieldLen[size_t(k)] > 0)
                ++g.LineCount;
        }
    }

    gsGroup1FirstLine = field(g_GroupTextInfo[0].RawText, 0, 0);

    for (int group = 0; group < 4; ++group) {
        GroupTextInfo &g = g_GroupTextInfo[size_t(group)];
        g.MaxLen = g.FieldLen[0];
        for (int k = 1; k < kLayout[group].fields; ++k)
            g.MaxLen = std::max(g.MaxLen, g.FieldLen[size_t(k)]);
        if (group < 3) {
            // a blank first field leaves an empty first line
            if (g.FieldLen[0] > 0)
                g.Text = field(g.RawText, group, 0);
            for (int k = 1; k < kLayout[group].fields; ++k)
                if (g.FieldLen[size_t(k)] > 0)
                    g.Text += vbCrLf + field(g.RawText, group, k);
        } else {
            for (int k = 0; k < kLayout[group].fields; ++k) {
                if (g.FieldLen[size_t(k)] <= 0)
                    continue;
                g.Text = g.Text.isEmpty() ? field(g.RawText, group, k) : g.Text + vbCrLf + field(g.RawText, group, k);
            }
        }
    }

    for (int group = 0; group < 4; ++group) {
        const GroupTextInfo &g = g_GroupTextInfo[size_t(group)];
        if (!g.Text.isEmpty())
            do_load_groupannotations_positions(qint16(group + 1), g.Edge, g.Location, g.PageScope, g.FontSize);
    }
}
