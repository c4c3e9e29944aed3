// What the commands cannot show of the MAC filter list and WDS scan results,
// and how planted peer files and filters without an interface reach the
// commands (the lists through the commands: tests/golden/wlmacfilter.txt and
// wlwds.txt).
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

// (address, SSID) of each scan result, into buffers of the sizes the
// command uses.
Pairs scan_walk()
{
    Pairs got;
    char mac[WLMGR_MAC_SIZE], ssid[WLMGR_VALUE_SIZE];
    for (void *c = wlmgr_getScanWdsMacSSID(nullptr, mac, ssid); c; c = wlmgr_getScanWdsMacSSID(c, mac, ssid))
        got.emplace_back(mac, ssid);
    return got;
}

}  // namespace

// A root, its working copy loaded.
struct Lists : ::testing::Test {
    dt::TempRoot root;
    Lists() { wlmgr_loadWorkingCopy(); }
};

// Only a stored file can hold an entry without an interface name: it shows
// under no interface. An address longer than a command lets through is
// refused here too.
TEST_F(Lists, FilterWithoutInterfaceShowsNowhere)
{
    ASSERT_EQ(wlmgr_addFilterMac("12:12:12:12:12:12", "x", ""), 0);
    EXPECT_EQ(wlmgr_addFilterMac(std::string(WLMGR_MAC_SIZE - 1, 'm').c_str(), "", "wl0"), 0);
    EXPECT_EQ(wlmgr_addFilterMac(std::string(WLMGR_MAC_SIZE, 'm').c_str(), "", "wl0"), WLMGR_LIST_BADARG);
    wlmgr_storeWorkingCopy();
    const std::string view = dt::run_request("wlmacfilter show");
    EXPECT_NE(view.find("\nwl0.3:"), std::string::npos) << view;
    EXPECT_EQ(view.find("12:12"), std::string::npos) << view;
}

// A carriage return ends an SSID; at most WLMGR_WDS_SCAN_MAX results are
// kept, more than a reply shows (which lines count: tests/golden/wlwds.txt).
TEST_F(Lists, ScanResultsAreBoundedAndClearedByANewScan)
{
    std::string text = "AA:BB:CC:DD:EE:01 \r\n" + std::string(WLMGR_MAC_SIZE, 'M') + " long address\n";
    for (int i = 0; i < 300; i++)
        text += "02:00:00:00:00:" + std::to_string(i) + " n" + std::to_string(i) + "\n";
    dt::write_file(root.file(DORVAN_WDS_PEERS_FILE), text);
    wlmgr_scanWdsMacStart();
    wlmgr_scanWdsMacResult();
    Pairs got = scan_walk();
    ASSERT_EQ(got.size(), (size_t)WLMGR_WDS_SCAN_MAX);
    EXPECT_EQ(got[0], (std::pair<std::string, std::string>{"AA:BB:CC:DD:EE:01", ""}));
    EXPECT_EQ(got[1].first, "02:00:00:00:00:0");
    EXPECT_EQ(got.back().second, "n254");
    wlmgr_scanWdsMacStart();
    EXPECT_TRUE(scan_walk().empty());
}

// A FIFO at the peer file blocked the scan with the lock held (a link to
// /dev/zero kept it reading: the same check refuses both): now an empty
// scan, logged once.
TEST_F(Lists, PlantedPeerFileFailsTheScanQuickly)
{
    const std::string path = root.file(DORVAN_WDS_PEERS_FILE);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    unlink(root.file("log").c_str());
    pid_t pid = fork();
    if (pid == 0) {
        alarm(5);
        _exit(dt::run_request("wlwds scanwdsmac") == dt::R("") && dt::run_request("wlwds scanwdsmac") == dt::R("") ? 0 : 1);
    }
    int st = -1;
    waitpid(pid, &st, 0);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(dt::lines(root.log()).size(), 1u) << root.log();
    EXPECT_NE(root.log().find(path + ": not a regular file"), std::string::npos);
    EXPECT_EQ(root.trace().back(), "unlock\tprocessWlWDSCmd");
}
