// wlmacfilter: address syntax, filter modes, list edits and the view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cfg_framework.h"
#include "commands.h"
#include "testutil.h"
#include "wlmgr.h"

using dt::R;
using Lines = std::vector<std::string>;

namespace {

std::string mf(const std::string &args)
{
    return dt::run_request("wlmacfilter " + args);
}

// "IFNAME MAC" of every entry in this process's working copy, not reloaded.
Lines working_list()
{
    Lines out;
    char mac[WLMGR_MAC_SIZE], ifname[WLMGR_IFNAME_SIZE];
    for (void *c = wlmgr_getFilterMac(nullptr, mac, 0, ifname); c; c = wlmgr_getFilterMac(c, mac, 0, ifname))
        out.push_back(std::string(ifname) + " " + mac);
    return out;
}

// The same list as stored in the data model.
Lines stored_list()
{
    EXPECT_EQ(cfgLck_acquireLockTraced("test"), 0);
    wlmgr_loadWorkingCopy();
    Lines out = working_list();
    cfgLck_releaseLockTraced("test");
    return out;
}

const Lines kLocked = {"lock\tprocessWlMacfilterCmd", "load"};
const Lines kUnlocked = {"unlock\tprocessWlMacfilterCmd"};

Lines cat(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kIfaceNeeded = R(IFACE_NEEDED_TEXT);

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
    for (const char *ok : {"00:11:22:33:44:55", "0:1:2:3:4:5", ":0:1:2:3:4:5", "aA:bB:cC:dD:eE:fF",
                           "0::1:2:3:4:5", "000:11:22:33:44:55", "00:11:22:33:44:55:"})
        EXPECT_TRUE(verifyMacAddress(ok)) << ok;
    for (const char *bad : {"", ":::", "00-11-22-33-44-55", "00:11:22:33:44", "00:11:22:33:44:5g",
                            "00:11:22:33:44:100", "0000:11:22:33:44:55", "0:1:2:3:4:5:6", "+0:1:2:3:4:5",
                            "0:-1:2:3:4:5", "0x1:1:2:3:4:5", " 1:1:2:3:4:5", "1:1:2:3:4:\t5", "1:1:2:3:4:5 "})
        EXPECT_FALSE(verifyMacAddress(bad)) << bad;
    EXPECT_FALSE(verifyMacAddress(nullptr));
    EXPECT_EQ(std::string("000:11:22:33:44:55").size(), 18u);
    EXPECT_EQ(std::string("0000:11:22:33:44:55").size(), 19u);
}

TEST_F(MacfilterTest, HelpAndUnknownWords)
{
    EXPECT_EQ(mf(""), R("wlmacfilterhelp"));
    EXPECT_EQ(mf("   "), R("wlmacfilterhelp"));
    EXPECT_EQ(mf("disabled --interface wl0"), R("wlmacfilterhelp"));
    EXPECT_TRUE(root.trace().empty());
}

TEST_F(MacfilterTest, ModeStoredAsTyped)
{
    EXPECT_EQ(mf("Allow --interface wl0.1"), R("set Mac Restrict Mode:Allow for wl0.1 successfully!!\n"));
    EXPECT_EQ(root.trace(), cat(kLocked, cat({"set\twlSsidIdx\t1", "set\twlFltMacMode\tAllow", "store", "save"},
                                             kUnlocked)));
    EXPECT_EQ(dt::stored("wlFltMacMode_wl0v1"), "Allow");
    // Wireless off does not matter for the mode.
    EXPECT_EQ(mf("DENY --interface wl0.2"), R("set Mac Restrict Mode:DENY for wl0.2 successfully!!\n"));
}

TEST_F(MacfilterTest, ModeRefusalsTakeNoLock)
{
    EXPECT_EQ(kIfaceNeeded.size(), 48u);
    EXPECT_EQ(mf("allow --Interface wl0"), kIfaceNeeded);
    EXPECT_EQ(mf("deny --interface wl0 extra"), kIfaceNeeded);
    EXPECT_EQ(mf("deny --interface"), kIfaceNeeded);
    EXPECT_EQ(mf("disable"), kIfaceNeeded);
    EXPECT_EQ(mf("deny --interface wl5"), R("wlmacfilterhelp"));
    EXPECT_TRUE(root.trace().empty());
}

TEST_F(MacfilterTest, AddAndRemove)
{
    EXPECT_EQ(mf("AddMac --Interface wl0 --MacAddr 00:11:22:33:44:55,,aa:bb:cc:dd:ee:ff"),
              R("AddMac for wl0 successfully!!\n"));
    EXPECT_EQ(root.trace(), cat(kLocked, cat({"set\twlSsidIdx\t0", "store", "save"}, kUnlocked)));
    // Present again in another case: accepted, not doubled.
    EXPECT_EQ(mf("addmac --interface wl0 --macaddr AA:BB:CC:DD:EE:FF"), R("addmac for wl0 successfully!!\n"));
    EXPECT_EQ(stored_list(), (Lines{"wl0 00:11:22:33:44:55", "wl0 aa:bb:cc:dd:ee:ff"}));

    EXPECT_EQ(mf("removemac --macaddr aa:bb:cc:dd:ee:ff --interface wl0"), R("removemac for wl0 successfully!!\n"));
    EXPECT_EQ(stored_list(), (Lines{"wl0 00:11:22:33:44:55"}));
    // An absent address: status 2, nothing saved.
    root.clear_trace();
    EXPECT_EQ(mf("removemac --interface wl0 --macaddr aa:bb:cc:dd:ee:ff"),
              R("Remove wireless MAC filter for aa:bb:cc:dd:ee:ff failed. Status: 2."));
    EXPECT_EQ(root.trace(), cat(kLocked, cat({"set\twlSsidIdx\t0"}, kUnlocked)));
}

TEST_F(MacfilterTest, PartialFailureKeepsEarlierItemsUnsaved)
{
    EXPECT_EQ(mf("addmac --interface wl0.1 --macaddr 00:11:22:33:44:55,00:11:22:33:44,66:77:88:99:aa:bb"),
              R("Add wireless MAC filter for 00:11:22:33:44 failed. Status: 1."));
    EXPECT_EQ(root.trace(), cat(kLocked, cat({"set\twlSsidIdx\t1"}, kUnlocked)));
    EXPECT_EQ(working_list(), (Lines{"wl0.1 00:11:22:33:44:55"}));
    EXPECT_TRUE(stored_list().empty());

    // A full list (64 entries) refuses the next one with the manager's status.
    for (int batch = 0; batch < 8; batch++) {
        std::string list;
        for (int i = 0; i < 8; i++)
            list += (i ? ",00:00:00:00:" : "00:00:00:00:") + std::to_string(10 + batch) + ":" + std::to_string(10 + i);
        ASSERT_EQ(mf("addmac --interface wl0 --macaddr " + list), R("addmac for wl0 successfully!!\n"));
    }
    ASSERT_EQ(stored_list().size(), 64u);
    std::string reply = mf("addmac --interface wl0 --macaddr 00:11:22:33:44:55");
    EXPECT_EQ(reply.rfind("Add wireless MAC filter for 00:11:22:33:44:55 failed. Status: ", 0), 0u) << reply;
    EXPECT_NE(reply, R("Add wireless MAC filter for 00:11:22:33:44:55 failed. Status: 0."));
}

TEST_F(MacfilterTest, AddRemoveRefusals)
{
    const std::string mac = " --macaddr 00:11:22:33:44:55";
    EXPECT_EQ(mf("addmac" + mac), kIfaceNeeded);
    EXPECT_EQ(root.trace(), cat(kLocked, kUnlocked));
    EXPECT_EQ(mf("addmac" + mac + " --interface"), kIfaceNeeded);
    EXPECT_EQ(mf("addmac --interface wl0 --interface wl9" + mac), kIfaceNeeded);
    EXPECT_NE(root.log().find("interface value wl9 is invalid"), std::string::npos);
    const std::string off = R("Cannot add MAC filter address since wireless is currently disabled!\n");
    EXPECT_EQ(off.size(), 69u);
    EXPECT_EQ(mf("addmac --interface wl0.2" + mac), off);
    EXPECT_EQ(mf("removemac --interface wl0.2" + mac), off);
    // Missing or overlong address list: the help keyword, after the checks.
    root.clear_trace();
    EXPECT_EQ(mf("addmac --interface wl0"), R("wlmacfilterhelp"));
    EXPECT_EQ(mf("removemac --interface wl0.2"), off);
    EXPECT_EQ(mf("addmac --interface wl0 --macaddr " + std::string(143, ',') + "00:11:22:33:44:55"),
              R("wlmacfilterhelp"));
    for (const auto &line : root.trace())
        EXPECT_TRUE(line.rfind("lock", 0) == 0 || line == "load" || line.rfind("unlock", 0) == 0) << line;
    EXPECT_TRUE(stored_list().empty());
    // 159 characters fit; wl0 is not held back by its own enable flag.
    dt::seed({{"wlEnbl_wl0v0", "0"}});
    EXPECT_EQ(mf("addmac --interface wl0 --macaddr " + std::string(142, ',') + "00:11:22:33:44:55"),
              R("addmac for wl0 successfully!!\n"));
}

TEST_F(MacfilterTest, LockHeldElsewhereGivesNoReply)
{
    dt::LockHolder holder;
    EXPECT_EQ(mf("show"), "");
    EXPECT_EQ(mf("allow --interface wl0"), "");
    EXPECT_EQ(mf("addmac --interface wl0 --macaddr 00:11:22:33:44:55"), "");
    EXPECT_TRUE(root.trace().empty());
}

TEST_F(MacfilterTest, ViewListsEntriesUnderTheirInterface)
{
    dt::seed({{"wlSsid_wl0v0", "Home"}, {"wlSsid_wl0v1", "Guest net"}, {"wlSsid_wl0v2", ""}, {"wlSsid_wl0v3", "c"},
              {"wlEnbl_wl0v3", "2"}, {"wlFltMacMode_wl0v0", "allow"}, {"wlFltMacMode_wl0v1", "Deny"},
              {"wlFltMacMode_wl0v2", ""}, {"wlFltMacMode_wl0v3", "disable"}});
    ASSERT_EQ(mf("addmac --interface wl0 --macaddr 00:11:22:33:44:55,66:77:88:99:aa:bb"),
              R("addmac for wl0 successfully!!\n"));
    ASSERT_EQ(mf("addmac --interface wl0.1 --macaddr 0:1:2:3:4:5"), R("addmac for wl0.1 successfully!!\n"));
    ASSERT_EQ(cfgLck_acquireLockTraced("test"), 0);
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_addFilterMac("12:12:12:12:12:12", "x", ""), 0);
    wlmgr_storeWorkingCopy();
    cfgLck_releaseLockTraced("test");
    root.clear_trace();

    EXPECT_EQ(mf("SHOW anything"),
              R("wl0:enabled  wlSsid:Home  wlFltMacMode:allow maclist: 00:11:22:33:44:55  66:77:88:99:aa:bb  \n"
                "wl0.1:enabled  wlSsid:Guest net  wlFltMacMode:Deny maclist: 0:1:2:3:4:5  \n"
                "wl0.2:disabled  wlSsid:  wlFltMacMode: maclist: \n"
                "wl0.3:2  wlSsid:c  wlFltMacMode:disable maclist: \n"));
    EXPECT_EQ(root.trace(), (Lines{"lock\tcmdWlMacfilterView", "load", "set\twlSsidIdx\t0", "set\twlSsidIdx\t1",
                                   "set\twlSsidIdx\t2", "set\twlSsidIdx\t3", "unlock\tcmdWlMacfilterView"}));
}
