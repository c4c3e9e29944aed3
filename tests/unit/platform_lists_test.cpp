// MAC filter list, WDS peer list and scan results, and how planted peer
// files and filters without an interface reach the commands (their requests
// and replies: tests/golden/wlmacfilter.txt and wlwds.txt).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Pairs a list walk hands out, into buffers of the sizes its callers use.
template <size_t A, size_t B, typename Next> Pairs walk(Next next)
{
    Pairs got;
    char a[A], b[B];
    for (void *c = next(nullptr, a, b); c; c = next(c, a, b))
        got.emplace_back(a, b);
    return got;
}

// (address, interface) of each filter entry; (address, SSID) of each scan result.
Pairs filter_walk()
{
    return walk<WLMGR_MAC_SIZE, WLMGR_IFNAME_SIZE>(
        [](void *c, char *m, char *i) { return wlmgr_getFilterMac(c, m, 0, i); });
}
Pairs scan_walk() { return walk<WLMGR_MAC_SIZE, WLMGR_VALUE_SIZE>(wlmgr_getScanWdsMacSSID); }

}  // namespace

// A root, its working copy loaded; what a store leaves for the next process.
struct Lists : ::testing::Test {
    dt::TempRoot root;
    Lists() { wlmgr_loadWorkingCopy(); }
    DorvanImage stored_and_reloaded()
    {
        wlmgr_storeWorkingCopy();
        dorvan_reset_process_state();
        return dorvan_working_copy();
    }
};

TEST_F(Lists, FiltersAreIdempotentPerInterfaceBoundedAndRemovedOnTheSelectedOne)
{
    std::string longest(WLMGR_MAC_SIZE - 1, 'm');
    ASSERT_EQ(wlmgr_addFilterMac("aa:bb:cc:dd:ee:01", "Home", "wl0"), 0);
    ASSERT_EQ(wlmgr_addFilterMac("AA:BB:CC:DD:EE:01", "Home", "wl0"), 0);
    ASSERT_EQ(wlmgr_addFilterMac("aa:bb:cc:dd:ee:01", "Guest", "wl0.3"), 0);
    ASSERT_EQ(wlmgr_addFilterMac(longest.c_str(), "", "wl0.1"), 0);
    EXPECT_EQ(filter_walk(), (Pairs{{"aa:bb:cc:dd:ee:01", "wl0"}, {"aa:bb:cc:dd:ee:01", "wl0.3"}, {longest, "wl0.1"}}));
    EXPECT_EQ(wlmgr_addFilterMac((longest + "m").c_str(), "", "wl0"), WLMGR_LIST_BADARG);
    stored_and_reloaded();
    // Removal acts on the selected interface and needs a store.
    wlmgr_setVar("wlSsidIdx", "3");
    EXPECT_EQ(wlmgr_removeFilterMac("AA:BB:CC:DD:EE:01"), 0);
    EXPECT_EQ(wlmgr_removeFilterMac("aa:bb:cc:dd:ee:01"), WLMGR_LIST_ABSENT);
    EXPECT_EQ(filter_walk(), (Pairs{{"aa:bb:cc:dd:ee:01", "wl0"}, {longest, "wl0.1"}}));
    wlmgr_loadWorkingCopy();  // drops the unstored removal
    EXPECT_EQ(filter_walk().size(), 3u);
    wlmgr_setVar("wlSsidIdx", "0");
    EXPECT_EQ(wlmgr_removeFilterMac("aa:bb:cc:dd:ee:01"), 0);
    const DorvanImage img = stored_and_reloaded();
    EXPECT_EQ(filter_walk(), (Pairs{{"aa:bb:cc:dd:ee:01", "wl0.3"}, {longest, "wl0.1"}}));
    EXPECT_EQ(img.filters.at(0).ssid, "Guest");
    for (int i = 2; i < WLMGR_FILTER_MAX; i++)
        ASSERT_EQ(wlmgr_addFilterMac(("02:00:00:00:00:" + std::to_string(i)).c_str(), "", "wl0"), 0);
    EXPECT_EQ(wlmgr_addFilterMac("02:00:00:00:01:00", "", "wl0"), WLMGR_LIST_FULL);
    EXPECT_EQ(filter_walk().size(), (size_t)WLMGR_FILTER_MAX);
}

// Only a stored file can hold an entry without an interface name: it shows
// under no interface.
TEST_F(Lists, FilterWithoutInterfaceShowsNowhere)
{
    ASSERT_EQ(wlmgr_addFilterMac("12:12:12:12:12:12", "x", ""), 0);
    wlmgr_storeWorkingCopy();
    const std::string view = dt::run_request("wlmacfilter show");
    EXPECT_NE(view.find("\nwl0.3:"), std::string::npos) << view;
    EXPECT_EQ(view.find("12:12"), std::string::npos) << view;
}

TEST_F(Lists, WdsPeersAreUpperCaseUniqueAndBounded)
{
    EXPECT_EQ(wlmgr_addWdsMac("aa:bb:cc:00:00:01"), 0);
    EXPECT_EQ(wlmgr_addWdsMac("AA:bb:CC:00:00:01"), 0);
    wlmgr_setVar("wlWds2", "02:00:00:00:00:09");
    EXPECT_TRUE(wlmgr_isWdsMacConfigured("aa:BB:cc:00:00:01") && wlmgr_isWdsMacConfigured("02:00:00:00:00:09"));
    EXPECT_FALSE(wlmgr_isWdsMacConfigured("02:00:00:00:00:0a") || wlmgr_isWdsMacConfigured(""));
    for (int i = 1; i < WLMGR_WDS_MAX; i++)
        ASSERT_EQ(wlmgr_addWdsMac(("06:00:00:00:00:" + std::to_string(i)).c_str()), 0);
    EXPECT_EQ(wlmgr_addWdsMac("06:00:00:00:01:00"), WLMGR_LIST_FULL);
    const auto wds = stored_and_reloaded().wds;
    ASSERT_EQ(wds.size(), (size_t)WLMGR_WDS_MAX);
    EXPECT_EQ(wds[0], "AA:BB:CC:00:00:01");
}

TEST_F(Lists, ScanResultsKeepWholeLinesOnly)
{
    std::string text = "00:11:22:33:44:55 Home Net 5G\n\nAA:BB:CC:DD:EE:FF\nAA:BB:CC:DD:EE:01 \r\n" +
                       std::string(WLMGR_MAC_SIZE, 'M') + " long address\n" + "AA:BB:CC:DD:EE:02 " +
                       std::string(WLMGR_VALUE_SIZE, 's') + "\n" + std::string(10000, 'x') + "\n";
    for (int i = 0; i < 300; i++)
        text += "02:00:00:00:00:" + std::to_string(i) + " n" + std::to_string(i) + "\n";
    dt::write_file(root.file(DORVAN_WDS_PEERS_FILE), text + "last-without-newline x");
    wlmgr_scanWdsMacStart();
    wlmgr_scanWdsMacResult();
    Pairs got = scan_walk();
    ASSERT_EQ(got.size(), (size_t)WLMGR_WDS_SCAN_MAX);
    EXPECT_EQ(Pairs(got.begin(), got.begin() + 3),
              (Pairs{{"00:11:22:33:44:55", "Home Net 5G"}, {"AA:BB:CC:DD:EE:FF", ""}, {"AA:BB:CC:DD:EE:01", ""}}));
    EXPECT_EQ(got[3].first, "02:00:00:00:00:0");
    EXPECT_EQ(got.back().second, "n252");
    wlmgr_scanWdsMacStart();
    EXPECT_TRUE(scan_walk().empty());
}

// A FIFO at the peer file blocked the scan, a link to /dev/zero kept it
// reading, both with the lock held: now an empty scan, logged once.
TEST_F(Lists, PlantedPeerFilesFailTheScanQuickly)
{
    const std::string path = root.file(DORVAN_WDS_PEERS_FILE);
    for (bool fifo : {true, false}) {
        unlink(path.c_str());
        ASSERT_EQ(fifo ? mkfifo(path.c_str(), 0600) : symlink("/dev/zero", path.c_str()), 0);
        unlink(root.file("log").c_str());
        pid_t pid = fork();
        if (pid == 0) {
            alarm(5);
            _exit(dt::run_request("wlwds scanwdsmac") == dt::R("") && dt::run_request("wlwds scanwdsmac") == dt::R("") ? 0 : 1);
        }
        int st = -1;
        waitpid(pid, &st, 0);
        EXPECT_EQ(st, 0) << fifo;
        EXPECT_EQ(dt::lines(root.log()).size(), 1u) << root.log();
        EXPECT_NE(root.log().find(path + ": not a regular file"), std::string::npos);
        EXPECT_EQ(root.trace().back(), "unlock\tprocessWlWDSCmd");
    }
}
