// wlwds: bridge restriction off and on, the view and the peer scan.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cfg_framework.h"
#include "commands.h"
#include "testutil.h"
#include "wlmgr.h"

using dt::R;
using Lines = std::vector<std::string>;

namespace {

std::string wds(const std::string &args)
{
    return dt::run_request("wlwds " + args);
}

const std::string kOk = " set macs for wireless bridge restrict successfully!!\n";

class WdsTest : public ::testing::Test {
protected:
    dt::TempRoot root;
    void peers(const std::string &lines) const
    {
        mkdir(root.file("var/dorvan").c_str(), 0755);
        mkdir(root.file("var/dorvan/radio").c_str(), 0755);
        dt::write_file(root.file("var/dorvan/radio/wds_peers"), lines);
    }
    // Whether mac is in the WDS list: of this process's working copy, or as
    // stored when reload is set.
    static bool configured(const char *mac, bool reload)
    {
        if (reload) {
            EXPECT_EQ(cfgLck_acquireLockTraced("test"), 0);
            wlmgr_loadWorkingCopy();
            cfgLck_releaseLockTraced("test");
        }
        return wlmgr_isWdsMacConfigured(mac) != 0;
    }
};

}  // namespace

TEST(Convertmac, UpperCasesInPlace)
{
    char a[] = "0a:bc:de:f1:23:45", b[] = "", c[] = "x-Y\t\xe9";
    convertmac(a);
    convertmac(b);
    convertmac(c);
    EXPECT_STREQ(a, "0A:BC:DE:F1:23:45");
    EXPECT_STREQ(b, "");
    EXPECT_STREQ(c, "X-Y\t\xe9");
}

TEST_F(WdsTest, DisableRestrict)
{
    const std::string done = R("set  Bridge Restrict to be disabled successfully!!\n");
    EXPECT_EQ(done.size(), 52u);
    EXPECT_EQ(wds("DisableRestrict --WLMODE AP extra"), done);
    EXPECT_EQ(root.trace(), (Lines{"lock\tprocessWlWDSCmd", "load", "set\twlMode\tAP", "set\twlLazyWds\t1", "store",
                                   "save", "unlock\tprocessWlWDSCmd"}));
    root.clear_trace();
    for (const char *bad : {"", "disablerestrict", "disablerestrict --wlMode", "disablerestrict --wlMode sta",
                            "disablerestrict --mode ap", "bogus"})
        EXPECT_EQ(wds(bad), R("wlwdshelp")) << bad;
    EXPECT_TRUE(root.trace().empty());
}

TEST_F(WdsTest, EnableStaticWritesFilledSlotsOnly)
{
    dt::seed({{"wlWds0", "11:11:11:11:11:11"}});
    root.clear_trace();
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode static --wlWds2 0a:1b:2c:3d:4e:5f --wlWds 00:00"), R(kOk));
    EXPECT_EQ(root.trace(), (Lines{"lock\tprocessWlWDSCmd", "load", "set\twlMode\tap", "set\twlLazyWds\t0",
                                   "set\twlWds2\t0A:1B:2C:3D:4E:5F", "store", "save", "unlock\tprocessWlWDSCmd"}));
    EXPECT_EQ(dt::stored("wlWds0"), "11:11:11:11:11:11");
    // A --wdsmode in another case counts as its lower-case word.
    EXPECT_EQ(wds("ENABLERESTRICT --wdsmode Static --WLWDS3 0:1:2:3:4:5 --wlMode Wds"), R(kOk));
    EXPECT_EQ(dt::stored("wlLazyWds"), "0");
    EXPECT_EQ(dt::stored("wlWds3"), "0:1:2:3:4:5");
    EXPECT_EQ(dt::stored("wlMode"), "Wds");
}

TEST_F(WdsTest, EnableRefusalsTakeNoLock)
{
    for (const char *bad : {"enablerestrict --wlMode ap", "enablerestrict --wdsmode static",
                            "enablerestrict --wlMode ap --wdsmode static --wlWds1 00:11:22:33:44",
                            "enablerestrict --wlMode sta --wdsmode static",
                            "enablerestrict --wlMode ap --wdsmode statical",
                            "enablerestrict --wlMode bad --wlMode ap --wdsmode static"})
        EXPECT_EQ(wds(bad), R("wlwdshelp")) << bad;
    // A --wlWds of 256 characters does not fit; 255 do.
    const std::string list = std::string(238, ',') + "00:11:22:33:44:55";
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode dynamic --wlWds ," + list), R("wlwdshelp"));
    EXPECT_TRUE(root.trace().empty());
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode dynamic --wlWds " + list), R(kOk));
}

TEST_F(WdsTest, EnableDynamicAddsList)
{
    EXPECT_EQ(wds("enablerestrict --wlMode wds --wdsmode dynamic"), R(kOk));
    EXPECT_EQ(dt::stored("wlLazyWds"), "2");
    ASSERT_EQ(wds("enablerestrict --wlMode ap --wdsmode DYNAMIC --wlWds 00:11:22:33:44:66"), R(kOk));
    root.clear_trace();
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode dynamic --wlWds 00:11:22:33:44:55,00:11:22:33:44:66,,"
                  "aa:bb:cc:dd:ee:ff"),
              R("The mac 00:11:22:33:44:66 has already been configured.\n " + kOk));
    EXPECT_EQ(root.trace(), (Lines{"lock\tprocessWlWDSCmd", "load", "set\twlMode\tap", "set\twlLazyWds\t2", "store",
                                   "save", "unlock\tprocessWlWDSCmd"}));
    EXPECT_TRUE(configured("00:11:22:33:44:55", true));
    EXPECT_TRUE(configured("AA:BB:CC:DD:EE:FF", false));
}

TEST_F(WdsTest, DynamicFailureKeepsEarlierItemsUnsaved)
{
    root.clear_trace();
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode dynamic --wlWds 0a:11:22:33:44:55,zz:11,0b:11:22:33:44:55"),
              R("Add wireless MAC filter for ZZ:11 failed. Status: 1."));
    EXPECT_EQ(root.trace(), (Lines{"lock\tprocessWlWDSCmd", "load", "set\twlMode\tap", "set\twlLazyWds\t2",
                                   "unlock\tprocessWlWDSCmd"}));
    EXPECT_TRUE(configured("0A:11:22:33:44:55", false));
    EXPECT_FALSE(configured("0B:11:22:33:44:55", false));
    EXPECT_FALSE(configured("0A:11:22:33:44:55", true));
}

TEST_F(WdsTest, ViewByLazyWds)
{
    dt::seed({{"wlMode", "Ap"}, {"wlWds0", "00:11:22:33:44:55"}, {"wlWds3", "0A:0B:0C:0D:0E:0F"}});
    const std::string fixed = R("AP Mode:Ap  Bridge Restrict:enabled    [wds0:00:11:22:33:44:55] [wds1:] [wds2:] "
                                "[wds3:0A:0B:0C:0D:0E:0F]\n");
    for (const char *lazy : {"0", ""}) {
        dt::seed({{"wlLazyWds", lazy}});
        EXPECT_EQ(wds("Show"), fixed) << lazy;
    }
    for (const char *lazy : {"1", "3"}) {
        dt::seed({{"wlLazyWds", lazy}});
        EXPECT_EQ(wds("show"), R("AP Mode:Ap  Bridge Restrict:disabled  \n")) << lazy;
    }
    dt::seed({{"wlLazyWds", "2"}});
    root.clear_trace();
    EXPECT_EQ(wds("show"), R("AP Mode:Ap  Bridge Restrict:enabled(scan)   \n"));
    EXPECT_EQ(root.trace(), (Lines{"lock\tcmdWlWDSView", "load", "unlock\tcmdWlWDSView"}));
    peers("00:11:22:33:44:55 Net one\n66:77:88:99:AA:BB x\n");
    EXPECT_EQ(wds("show"), R("AP Mode:Ap  Bridge Restrict:enabled(scan)   [ssid:Net one mac:00:11:22:33:44:55 "
                             "configured] [ssid:x mac:66:77:88:99:AA:BB unconfigured] \n"));
}

TEST_F(WdsTest, ScanReplies)
{
    EXPECT_EQ(wds("SCANWDSMAC"), R(""));
    EXPECT_EQ(root.trace(), (Lines{"lock\tprocessWlWDSCmd", "load", "unlock\tprocessWlWDSCmd"}));
    dt::seed({{"wlWds1", "00:11:22:33:44:55"}});
    peers("00:11:22:33:44:55 Net one");
    EXPECT_EQ(wds("scanwdsmac ignored"), R(" ssid:Net one mac:00:11:22:33:44:55 configured\n"));
}

// Long scans stop at the last whole entry that fits and still end the line.
TEST_F(WdsTest, OverflowingScansStopAtWholeEntries)
{
    std::string list;
    for (int i = 0; i < 200; i++)
        list += "00:11:22:33:44:" + std::to_string(10 + i % 90) + " peer-" + std::string(30, 'a' + i % 26) + "\n";
    peers(list);
    // Every peer line has the same length here; the next one must not fit.
    std::string scan = wds("scanwdsmac");
    const size_t line = scan.find('\n') + 1;
    ASSERT_LE(scan.size(), 4096u);
    EXPECT_GT(scan.size() - 1 + line, 4095u);
    EXPECT_EQ((scan.size() - 1) % line, 0u);
    EXPECT_EQ(scan.substr(scan.size() - 2), R("\n"));

    // A mode length that lets whole entries fill the buffer exactly, so the
    // line end only fits when room was kept for it.
    const size_t entry_len = std::string(" [ssid:peer-").size() + 30 + 5 + 17 + 14;
    const size_t head_len = std::string("AP Mode:  Bridge Restrict:enabled(scan)  ").size();
    dt::seed({{"wlLazyWds", "2"}, {"wlMode", std::string((4095 - head_len) % entry_len, 'M')}});
    std::string view = wds("show");
    const size_t head = view.find(" [");
    const size_t entry = view.find(" [", head + 1) - head;
    ASSERT_LE(view.size(), 4096u);
    EXPECT_GT(view.size() - 1 + entry + 2, 4095u);
    EXPECT_EQ((view.size() - 1 - head - 2) % entry, 0u);
    EXPECT_EQ(view.substr(view.size() - 4), R("] \n"));
}

TEST_F(WdsTest, LockHeldElsewhereGivesNoReply)
{
    dt::LockHolder holder;
    for (const char *req : {"show", "scanwdsmac", "disablerestrict --wlMode ap",
                            "enablerestrict --wlMode ap --wdsmode static"})
        EXPECT_EQ(wds(req), "") << req;
    EXPECT_TRUE(root.trace().empty());
}
