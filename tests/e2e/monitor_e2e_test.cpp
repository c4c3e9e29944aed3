// The real dorvand: board inputs pressed by hand, the first LAN scan, restore.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "testutil.h"

namespace {

size_t occurrences(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size())
        n++;
    return n;
}

}  // namespace

// Following the switch pass by pass: monitor_test.
TEST(MonitorE2E, FirstSyncThenFirstScanOnPass15)
{
    dt::TempRoot root;
    dt::Daemon d(root);
    auto has = [&](const char *line) { return [&d, line] { return d.out().find(line) != std::string::npos; }; };
    ASSERT_GE(dt::wait_for(has("First Sync : Wireless enabled !!!\n"), 15), 0);
    auto ninth = std::chrono::steady_clock::now();  // start of pass 9
    ASSERT_GE(dt::wait_for([&] { return !dt::stub_calls(root).empty(); }, 12), 0);
    // Pass 15's scan follows pass 9's start by seven sleeps.
    double gap = std::chrono::duration<double>(std::chrono::steady_clock::now() - ninth).count();
    EXPECT_GE(gap, 6.5);
    EXPECT_LT(gap, 7.9);
    EXPECT_EQ(dt::stub_calls(root), (dt::Lines{"nbtscan 127.0.0.1/24 -T 6 -m"}));
    EXPECT_TRUE(d.alive());
}

// The inputs mapped by board.conf to value files of either polarity; a bad
// line is logged and its input stays idle.
TEST(MonitorE2E, ResetHoldFromBoardConfRestoresFactoryAndRestarts)
{
    dt::TempRoot root;
    const std::string factory = dt::stored("wlSsid_wl0v0");
    dt::seed({{"wlSsid_wl0v0", "before-restore"}});
    ASSERT_EQ(dt::run("mkdir -p '" + root.file("etc/dorvan") + "' '" + root.file("gw") + "'"), 0);
    dt::write_file(root.file("etc/dorvan/board.conf"),
                   "reset  file /gw/reset  -  active-high\nswitch file /gw/rfkill - active-low\n"
                   "wps    file /gw/wps    -  active-hi\n");
    dt::write_file(root.file("gw/reset"), "0\n");
    dt::write_file(root.file("gw/rfkill"), "1\n");
    dt::write_file(root.file("gw/wps"), "0\n");
    // Short passes: this is about what happens, not about timing.
    setenv("DORVAN_PASS_MS", "100", 1);
    dt::Daemon d(root, {"-v", "1"});
    auto seen = [&](const std::string &s, size_t n) { return [&d, s, n] { return occurrences(d.out(), s) >= n; }; };
    ASSERT_GE(dt::wait_for(seen("First Sync : Wireless disabled !!!\n", 1), 5), 0);
    EXPECT_GE(dt::wait_for([] { return dt::stored("wlEnbl") == "0"; }, 2), 0);
    // Pressed after the first alignment, so a second one proves a restart.
    dt::write_file(root.file("gw/reset"), "1\n");
    ASSERT_GE(dt::wait_for(seen("reset_button_cnt=5\n", 1), 5), 0);
    EXPECT_EQ(dt::stored("wlSsid_wl0v0"), "before-restore");
    dt::write_file(root.file("gw/reset"), "0\n");
    ASSERT_GE(dt::wait_for(seen("Restore default configuration and Reset the system!!!\n", 1), 3), 0);
    ASSERT_GE(dt::wait_for(seen("First Sync", 2), 5), 0);
    EXPECT_TRUE(d.alive());
    EXPECT_EQ(dt::stored("wlSsid_wl0v0"), factory);
    EXPECT_NE(factory, "before-restore");
    EXPECT_EQ(occurrences(d.out(), "Restore default"), 1u);
    EXPECT_EQ(occurrences(d.out(), "wps_button_cnt"), 0u);
    EXPECT_EQ(occurrences(root.log(), "board.conf:3: unknown polarity \"active-hi\"; wps reads as failed"), 2u)
        << "once per start";
    // The same process runs the program again with its arguments.
    EXPECT_EQ(dt::read_file("/proc/" + std::to_string(d.pid()) + "/cmdline"), dt::bin("dorvand") + std::string("\0-v\0" "1\0", 6));
}
