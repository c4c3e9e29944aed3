// wlmacfilter: address syntax, filter modes, list edits and the view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cfg_framework.h"
#include "commands.h"
#include "testutil.h"
#include "wlmgr.h"

using dt::Lines;
using dt::R;

namespace {

std::string mf(const std::string &args)
{
    return dt::run_request("wlmacfilter " + args);
}

// "IFNAME MAC" of every entry: in this process's working copy as it stands,
// or as stored when reload is set.
Lines filter_list(bool reload)
{
    if (reload) {
        EXPECT_EQ(cfgLck_acquireLockTraced("test"), 0);
        wlmgr_loadWorkingCopy();
        cfgLck_releaseLockTraced("test");
    }
    Lines out;
    char mac[WLMGR_MAC_SIZE], ifname[WLMGR_IFNAME_SIZE];
    for (void *c = wlmgr_getFilterMac(nullptr, mac, 0, ifname); c; c = wlmgr_getFilterMac(c, mac, 0, ifname))
        out.push_back(std::string(ifname) + " " + mac);
    return out;
}

// The handler's trace with these writes, saved or not.
Lines bracket(const std::string &writes, bool saved = true)
{
    return dt::bracket("processWlMacfilterCmd", writes, saved);
}

const std::string kHelp = R("wlmacfilterhelp");

class MacfilterTest : public ::testing::Test {
protected:
    dt::TempRoot root;
    void SetUp() override
    {
        dt::seed({{"wlEnbl_wl0v0", "1"}, {"wlEnbl_wl0v1", "1"}, {"wlEnbl_wl0v2", "0"}, {"wlEnbl_wl0v3", "1"}});
        root.clear_trace();
    }
};

}  // namespace

TEST(VerifyMacAddress, SyntaxTable)
{
    // 18 characters are the most taken, 19 too many.
    for (const char *ok : {"00:11:22:33:44:55", "0:1:2:3:4:5", ":0:1:2:3:4:5", "aA:bB:cC:dD:eE:fF",
                           "0::1:2:3:4:5", "000:11:22:33:44:55", "00:11:22:33:44:55:"})
        EXPECT_TRUE(verifyMacAddress(ok)) << ok;
    for (const char *bad : {"", ":::", "00-11-22-33-44-55", "00:11:22:33:44", "00:11:22:33:44:5g",
                            "00:11:22:33:44:100", "0000:11:22:33:44:55", "0:1:2:3:4:5:6", "+0:1:2:3:4:5",
                            "0:-1:2:3:4:5", "0x1:1:2:3:4:5", " 1:1:2:3:4:5", "1:1:2:3:4:\t5", "1:1:2:3:4:5 "})
        EXPECT_FALSE(verifyMacAddress(bad)) << bad;
    EXPECT_FALSE(verifyMacAddress(nullptr));
}

TEST_F(MacfilterTest, PartialFailureKeepsEarlierItemsUnsaved)
{
    EXPECT_EQ(mf("addmac --interface wl0.1 --macaddr 00:11:22:33:44:55,00:11:22:33:44,66:77:88:99:aa:bb"),
              R("Add wireless MAC filter for 00:11:22:33:44 failed. Status: 1."));
    EXPECT_EQ(root.trace(), bracket("wlSsidIdx=1", false));
    EXPECT_EQ(filter_list(false), (Lines{"wl0.1 00:11:22:33:44:55"}));
    EXPECT_TRUE(filter_list(true).empty());
}

// wl0.1's line passes 512 bytes and is still shown whole.
TEST_F(MacfilterTest, ViewListsEntriesUnderTheirInterface)
{
    const std::string ssid = "Guest net" + std::string(246, 'g'), mode = "Deny" + std::string(251, 'd');
    dt::seed({{"wlSsid_wl0v0", "Home"}, {"wlSsid_wl0v1", ssid}, {"wlSsid_wl0v2", ""}, {"wlSsid_wl0v3", "c"},
              {"wlEnbl_wl0v3", "2"}, {"wlFltMacMode_wl0v0", "allow"}, {"wlFltMacMode_wl0v1", mode},
              {"wlFltMacMode_wl0v2", ""}, {"wlFltMacMode_wl0v3", "disable"}});
    ASSERT_EQ(mf("addmac --interface wl0 --macaddr 00:11:22:33:44:55,66:77:88:99:aa:bb"),
              R("addmac for wl0 successfully!!\n"));
    ASSERT_EQ(mf("addmac --interface wl0.1 --macaddr 0:1:2:3:4:5"), R("addmac for wl0.1 successfully!!\n"));
    ASSERT_EQ(cfgLck_acquireLockTraced("test"), 0);
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_addFilterMac("12:12:12:12:12:12", "x", ""), 0);
    wlmgr_storeWorkingCopy();
    cfgLck_releaseLockTraced("test");

    // The entry without an interface name shows nowhere.
    EXPECT_EQ(mf("SHOW anything"),
              R("wl0:enabled  wlSsid:Home  wlFltMacMode:allow maclist: 00:11:22:33:44:55  66:77:88:99:aa:bb  \n"
                "wl0.1:enabled  wlSsid:" + ssid + "  wlFltMacMode:" + mode + " maclist: 0:1:2:3:4:5  \n"
                "wl0.2:disabled  wlSsid:  wlFltMacMode: maclist: \n"
                "wl0.3:2  wlSsid:c  wlFltMacMode:disable maclist: \n"));
}

