// The real dorvand: board inputs pressed by hand, the first LAN scan, restore.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

namespace {

struct MonitorE2E : ::testing::Test {
    dt::TempRoot root;
    MonitorE2E() { setenv("DORVAN_PASS_MS", "100", 1); }
};

}  // namespace

// What the switch does on each pass is the monitor's unit test; here, the
// real passes. The held WPS button counts them, and the trace shares the
// daemon's output file, so each line shows on which pass it came. (That a
// request wakes no extra pass: ImmediatePickup.)
TEST_F(MonitorE2E, FirstAlignmentOnPass9AndFirstScanOnPass15)
{
    setenv("DORVAN_PASS_MS", "20", 1);
    setenv("DORVAN_TRACE", root.file("dorvand.out").c_str(), 1);
    root.board("wps_button", "0");
    dt::Daemon d(root);
    const std::string scan = "system\tnbtscan ";
    ASSERT_GE(dt::wait_for([&] { return d.out().find(scan) != std::string::npos; }, 10), 0) << d.out();
    const std::string out = d.out();
    auto passes_before = [&](const std::string &line) { return dt::occurrences(out.substr(0, out.find(line)), "wps_button_cnt="); };
    EXPECT_EQ(passes_before("First Sync : Wireless enabled !!!\n"), 8u) << out;
    EXPECT_EQ(passes_before(scan), 15u) << out;
    EXPECT_EQ(dt::occurrences(out, "First Sync"), 1u);
    EXPECT_TRUE(d.alive());
}

// A reset hold restores the factory settings once, then the same process
// runs the program again with its arguments, and still holds its root: the
// new image took over the one lock descriptor.
TEST_F(MonitorE2E, ResetHoldRestoresFactoryThenRestarts)
{
    const std::string factory = dt::stored("wlSsid_wl0v0");
    ASSERT_NE(factory, "before-restore");
    root.board("reset_button", "1");
    dt::seed({{"wlSsid_wl0v0", "before-restore"}});
    dt::Daemon d(root, {"-v", "1"});
    auto seen = [&](const std::string &s) { return [&d, s] { return d.out().find(s) != std::string::npos; }; };
    // Pressed after the first alignment, so a second one proves a restart.
    EXPECT_GE(dt::wait_for(seen("First Sync : Wireless enabled !!!\n"), 5), 0);
    root.board("reset_button", "0");
    EXPECT_GE(dt::wait_for(seen("reset_button_cnt=5\n"), 5), 0);
    root.board("reset_button", "1");
    EXPECT_GE(dt::wait_for(seen("Restore default configuration and Reset the system!!!\n"), 3), 0);
    ASSERT_GE(dt::wait_for([&] { return dt::occurrences(d.out(), "First Sync") == 2; }, 5), 0);
    EXPECT_EQ(dt::stored("wlSsid_wl0v0"), factory);
    EXPECT_EQ(dt::occurrences(d.out(), "Restore default"), 1u);
    ASSERT_TRUE(d.alive());
    const std::string proc = "/proc/" + std::to_string(d.pid());
    EXPECT_EQ(dt::read_file(proc + "/cmdline"), dt::bin("dorvand") + std::string("\0-v\0" "1\0", 6));
    EXPECT_EQ(dt::run("flock -n '" + root.file("var/dorvan/dorvand.lock") + "' true"), 1);
    std::string fds;
    dt::run("ls -l " + proc + "/fd", &fds);
    EXPECT_EQ(dt::occurrences(fds, "dorvand.lock"), 1u) << fds;
}

TEST_F(MonitorE2E, ScanGivesUpOnABusyLockAndTheButtonsComeBack)
{
    root.board("reset_button", "0");
    dt::LockHolder holder;
    dt::Daemon d(root);
    const std::string msg = "Varno_monitor failed to get lock for nbt scan\n";
    ASSERT_GE(dt::wait_for([&] { return dt::occurrences(d.out(), msg) >= 1; }, 8), 0);
    double took = dt::wait_for([&] { return root.log().find("scan skipped") != std::string::npos; }, 40);
    // 14 more waits of the lock's 2 s, at this pass 0.2 s each.
    const double wait = 0.2;
    EXPECT_GT(took, 13 * wait);
    EXPECT_LT(took, 16 * wait);
    RecordProperty("gave_up_after_s", std::to_string(took));
    size_t counted = dt::occurrences(d.out(), "reset_button_cnt=");
    EXPECT_GE(dt::wait_for([&] { return dt::occurrences(d.out(), "reset_button_cnt=") >= counted + 5; }, 3), 0)
        << "the held button is counted again";
    EXPECT_EQ(dt::occurrences(d.out(), msg), 15u);
    EXPECT_EQ(dt::occurrences(root.log(), "scan skipped"), 1u);
    EXPECT_TRUE(dt::stub_calls(root).empty());
}
