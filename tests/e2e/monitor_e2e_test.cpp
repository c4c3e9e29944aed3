// The real dorvand: board files pressed by hand, the first LAN scan, restore.
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

TEST(MonitorE2E, SwitchFollowedAndFirstScanOnPass15)
{
    dt::TempRoot root;
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

TEST(MonitorE2E, ResetHoldRestoresFactoryAndRestarts)
{
    dt::TempRoot root;
    const std::string factory = dt::stored("wlSsid_wl0v0");
    dt::seed({{"wlSsid_wl0v0", "before-restore"}});
    // Short passes: this is about what happens, not about timing.
    setenv("DORVAN_PASS_MS", "100", 1);
    dt::Daemon d(root, {"-v", "1"});
    auto seen = [&](const std::string &s, size_t n) { return [&d, s, n] { return occurrences(d.out(), s) >= n; }; };
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
    EXPECT_EQ(occurrences(d.out(), "Restore default"), 1u);
    // The same process runs the program again with its arguments, and still
    // holds its root: the restarted image took over the one lock descriptor.
    const std::string proc = "/proc/" + std::to_string(d.pid());
    EXPECT_EQ(dt::read_file(proc + "/cmdline"), dt::bin("dorvand") + std::string("\0-v\0" "1\0", 6));
    const std::string lock = root.file("var/dorvan/dorvand.lock");
    EXPECT_EQ(dt::run("flock -n '" + lock + "' true"), 1);
    std::string fds;
    dt::run("ls -l " + proc + "/fd", &fds);
    EXPECT_EQ(occurrences(fds, "dorvand.lock"), 1u) << fds;
}

TEST(MonitorE2E, FailedRestartEndsTheDaemonInsteadOfRestoringAgain)
{
    dt::TempRoot root;
    dt::seed({{"wlSsid_wl0v0", "before-restore"}});
    setenv("DORVAN_PASS_MS", "100", 1);
    // More arguments than a restart passes on: the re-execution cannot happen.
    dt::Daemon d(root, std::vector<std::string>(300, "x"));
    auto seen = [&](const std::string &s) { return [&d, s] { return d.out().find(s) != std::string::npos; }; };
    ASSERT_GE(dt::wait_for(seen("First Sync"), 5), 0);
    root.board("reset_button", "0");
    ASSERT_GE(dt::wait_for(seen("reset_button_cnt=5\n"), 5), 0);
    root.board("reset_button", "1");
    EXPECT_EQ(d.wait_exit(5000), 255);
    EXPECT_EQ(occurrences(d.out(), "Restore default"), 1u);
    EXPECT_NE(dt::stored("wlSsid_wl0v0"), "before-restore");
    EXPECT_EQ(occurrences(root.log(), "[3] cfgMgm_restoreDefault"), 1u) << root.log();
    EXPECT_NE(root.log().find("restart failed: too many arguments"), std::string::npos) << root.log();
}

TEST(MonitorE2E, ScanGivesUpOnABusyLockAndTheButtonsComeBack)
{
    dt::TempRoot root;
    setenv("DORVAN_PASS_MS", "100", 1);
    root.board("reset_button", "0");
    dt::LockHolder holder;
    dt::Daemon d(root);
    const std::string msg = "Varno_monitor failed to get lock for nbt scan\n";
    ASSERT_GE(dt::wait_for([&] { return occurrences(d.out(), msg) >= 1; }, 8), 0);
    auto first = std::chrono::steady_clock::now();
    ASSERT_GE(dt::wait_for([&] { return root.log().find("scan skipped") != std::string::npos; }, 40), 0);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
    EXPECT_GT(took, 26.0);
    EXPECT_LT(took, 32.0);
    RecordProperty("gave_up_after_s", std::to_string(took));
    size_t counted = occurrences(d.out(), "reset_button_cnt=");
    EXPECT_GE(dt::wait_for([&] { return occurrences(d.out(), "reset_button_cnt=") >= counted + 5; }, 3), 0)
        << "the held button is counted again";
    EXPECT_EQ(occurrences(d.out(), msg), 15u);
    EXPECT_EQ(occurrences(root.log(), "scan skipped"), 1u);
    EXPECT_TRUE(dt::stub_calls(root).empty());
    EXPECT_TRUE(d.alive());
}
