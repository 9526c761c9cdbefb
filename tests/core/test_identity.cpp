#include "capture/dbname.h"
#include "core/identity.h"
#include "coretest.h"
#include "platform/forms/msgbox.h"

namespace {

class Identity : public CoreTest {
protected:
    void TearDown() override
    {
        setNetworkAdaptersSource({});
        CoreTest::TearDown();
    }
};

} // namespace

TEST_F(Identity, AdapterChoice)
{
    struct Case {
        const char *name;
        QList<NetworkAdapter> adapters;
        const char *expected;
    };
    const QList<Case> cases = {
        {"sonic preferred", {{"Intel Ethernet", true, {"10.0.0.5"}},
                             {"Sonic wireless", true, {"192.168.1.9", "fe80::1"}}}, "192.168.1.9"},
        {"first without sonic", {{"eth0", true, {"10.0.0.5", "10.0.0.6"}}, {"eth1", true, {"10.1.1.1"}}}, "10.0.0.5"},
        {"lower-case word not preferred", {{"eth0", true, {"10.0.0.5"}}, {"sonic card", true, {"10.9.9.9"}}}, "10.0.0.5"},
        {"later sonic replaces earlier", {{"Sonic A", true, {"1.1.1.1"}}, {"Sonic B", true, {"2.2.2.2"}}}, "2.2.2.2"},
        {"sonic without address falls back", {{"Sonic A", true, {}}, {"eth0", true, {"3.3.3.3"}}}, "3.3.3.3"},
        {"sonic without address keeps the earlier", {{"Sonic A", true, {"1.1.1.1"}}, {"Sonic B", true, {}}}, "1.1.1.1"},
        {"disabled adapters ignored", {{"Sonic off", false, {"5.5.5.5"}}, {"eth1", true, {"6.6.6.6"}}}, "6.6.6.6"},
        // the first adapter counts as taken without an address: the second is never looked at
        {"no address", {{"eth0", true, {}}, {"eth1", true, {"4.4.4.4"}}, {"lo", false, {"127.0.0.1"}}}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MsgBoxScript boxes;
        const QList<NetworkAdapter> list = c.adapters;
        setNetworkAdaptersSource([list] { return list; });
        EXPECT_EQ(RetrieveNICInfo(), QString::fromLatin1(c.expected));
        // No address: said in a critical box.
        ASSERT_EQ(boxes.calls().size(), *c.expected ? 0 : 1);
        if (!*c.expected) {
            EXPECT_EQ(boxes.calls()[0].prompt,
                      "Unable to retrieve an IP Address for this workstation.  Some functions will be disabled.");
            EXPECT_EQ(boxes.calls()[0].icon(), int(vb::vbCritical));
            EXPECT_EQ(boxes.calls()[0].title, "The Korvane Scan Tool");
        }
    }
}

TEST_F(Identity, ComputerNameIsTheMachineName)
{
    GetWorkstationInfo();
    EXPECT_EQ(computername, computerName());
    EXPECT_FALSE(computername.isEmpty());
}

TEST(DatabaseCode, EveryMode)
{
    const std::pair<qint16, const char *> table[] = {
        {0, "LR"}, {1, "LC"}, {2, "LP"}, {3, ""},  {4, "LR"}, {5, "LR"}, {6, "MD"}, {7, "CT"},
        {8, ""},   {9, ""},   {10, ""},  {11, ""}, {12, ""},  {13, ""},  {-1, ""}, {32767, ""},
    };
    for (const auto &[mode, code] : table) {
        const qint16 m = mode;
        EXPECT_EQ(do_find_dbname(m), QString::fromLatin1(code)) << mode;
        EXPECT_EQ(m, mode);
    }
}
