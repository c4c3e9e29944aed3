// The real dorvand: board files pressed by hand, the first LAN scan, restore.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "testutil.h"

namespace {

class MonitorE2E : public dt::PickupTest {};

}  // namespace

DT_IN_BOTH_PICKUP_MODES(MonitorE2E);

TEST_P(MonitorE2E, SwitchFollowedAndFirstScanOnPass15)
{
    dt::Daemon d(root);
    auto has = [&](const char *line) { return [&d, line] { return d.out().find(line) != std::string::npos; }; };
    ASSERT_GE(dt::wait_for(has("First Sync : Wireless enabled !!!\n"), 15), 0);
    auto ninth = std::chrono::steady_clock::now();  // start of pass 9
    root.board("wireless_switch", "1");
    ASSERT_GE(dt::wait_for(has("Disable Wireless !!!\n"), 3), 0);
    EXPECT_GE(dt::wait_for([] { return dt::stored("wlEnbl") == "0"; }, 2), 0);
    root.board("wireless_switch", "0");
    ASSERT_GE(dt::wait_for(has("Enable Wireless !!!\n"), 3), 0);
    EXPECT_GE(dt::wait_for([] { return dt::stored("wlEnbl") == "1"; }, 2), 0);

    ASSERT_GE(dt::wait_for([&] { return !dt::stub_calls(root).empty(); }, 12), 0);
    // Pass 15's scan follows pass 9's start by seven sleeps.
    double gap = std::chrono::duration<double>(std::chrono::steady_clock::now() - ninth).count();
    EXPECT_GE(gap, 6.5);
    EXPECT_LT(gap, 7.9);
    EXPECT_EQ(dt::stub_calls(root), (dt::Lines{"nbtscan 127.0.0.1/24 -T 6 -m"}));
    EXPECT_TRUE(d.alive());
}

TEST_P(MonitorE2E, ResetHoldRestoresFactoryAndRestarts)
{
    const std::string factory = dt::stored("wlSsid_wl0v0");
    dt::seed({{"wlSsid_wl0v0", "before-restore"}});
    // Short passes: this is about what happens, not about timing.
    setenv("DORVAN_PASS_MS", "100", 1);
    dt::Daemon d(root, {"-v", "1"});
    auto seen = [&](const std::string &s, size_t n) { return [&d, s, n] { return dt::occurrences(d.out(), s) >= n; }; };
    // Pressed after the first alignment, so a second one proves a restart.
    ASSERT_GE(dt::wait_for(seen("First Sync", 1), 5), 0);
    root.board("reset_button", "0");
    ASSERT_GE(dt::wait_for(seen("reset_button_cnt=5\n", 1), 5), 0);
    EXPECT_EQ(dt::stored("wlSsid_wl0v0"), "before-restore");
    root.board("reset_button", "1");
    ASSERT_GE(dt::wait_for(seen("Restore default configuration and Reset the system!!!\n", 1), 3), 0);
    ASSERT_GE(dt::wait_for(seen("First Sync", 2), 5), 0);
    EXPECT_TRUE(d.alive());
    EXPECT_EQ(dt::stored("wlSsid_wl0v0"), factory);
    EXPECT_NE(factory, "before-restore");
    EXPECT_EQ(dt::occurrences(d.out(), "Restore default"), 1u);
    // The same process runs the program again with its arguments.
    EXPECT_EQ(dt::read_file("/proc/" + std::to_string(d.pid()) + "/cmdline"), dt::bin("dorvand") + std::string("\0-v\0" "1\0", 6));
}
