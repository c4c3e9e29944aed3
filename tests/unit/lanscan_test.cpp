// The LAN host scan: the command line it starts, what it refuses, the lock.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <thread>

#include "cfg_framework.h"
#include "clock.h"
#include "monitor.h"
#include "testutil.h"

namespace {

class LanScan : public ::testing::Test {
protected:
    dt::TempRoot root;
    void SetUp() override { dt::install_stubs(root, {"nbtscan"}); }
    // Runs do_scan on the given stored address; returns its stdout.
    std::string scan(const std::string &addr)
    {
        dt::seed({{"lanIPAddress", addr}});
        root.clear_trace();
        dt::StdoutCapture cap;
        do_scan();
        return cap.finish();
    }
    // The background scan records itself a moment after do_scan returns.
    std::vector<std::string> stub_calls_after_wait()
    {
        for (int i = 0; i < 200 && !dt::exists(root.file("var/scanhosts.name")); i++)
            usleep(10000);
        return dt::stub_calls(root);
    }
};

const std::vector<std::string> kLockOnly = {"lock\tdo_scan", "unlock\tdo_scan"};

}  // namespace

// Without a LAN address nothing runs and nothing is logged.
TEST_F(LanScan, StartsTheScanLineInTheBackground)
{
    EXPECT_EQ(scan(""), "");
    EXPECT_EQ(root.trace(), kLockOnly);
    EXPECT_EQ(root.log(), "");
    EXPECT_EQ(scan("127.0.0.1"), "");
    std::string tmp = root.file("var/tmp_scanhosts.name"), res = root.file("var/scanhosts.name");
    EXPECT_EQ(root.trace(), (std::vector<std::string>{
                                "lock\tdo_scan",
                                "system\tnbtscan 127.0.0.1/24 -T 6 -m >" + tmp + " && cat " + tmp +
                                    " > " + res + " &",
                                "unlock\tdo_scan"}));
    EXPECT_EQ(stub_calls_after_wait(), (std::vector<std::string>{"nbtscan 127.0.0.1/24 -T 6 -m"}));
}

TEST_F(LanScan, RefusesAnythingButADottedAddress)
{
    const std::string bad[] = {"1.2.3.4;touch " + root.file("x"), "1.2.3.4 ", "1.2.3.4/8",
                               "$(reboot)", "999.1.1.1", "1.2.3", "01.2.3.4",
                               std::string(200, '1')};
    for (const auto &addr : bad) {
        EXPECT_EQ(scan(addr), "") << addr;
        EXPECT_EQ(root.trace(), kLockOnly) << addr;
    }
    EXPECT_EQ(dt::occurrences(root.log(), "do_scan"), std::size(bad)) << root.log();
    EXPECT_FALSE(dt::exists(root.file("x")));
    EXPECT_TRUE(dt::stub_calls(root).empty());
}

TEST_F(LanScan, RefusesARootTheShellWouldSplit)
{
    std::string odd = root.file("a b");
    ASSERT_EQ(dt::run("mkdir -p '" + odd + "/var'"), 0);
    setenv("DORVAN_ROOT", odd.c_str(), 1);
    int mdm = -1;
    cfgMdm_init(14, nullptr, &mdm);
    EXPECT_EQ(scan("127.0.0.1"), "");
    EXPECT_EQ(root.trace(), kLockOnly);
    EXPECT_NE(root.log().find("do_scan"), std::string::npos);
}

TEST_F(LanScan, RetriesTheLockUntilFree)
{
    dt::seed({{"lanIPAddress", "127.0.0.1"}});
    setenv("DORVAN_PASS_MS", "100", 1);
    dt::LockHolder holder;
    std::thread release([&] {
        usleep((useconds_t)span_ms(SPAN_LOCK_SECOND) * 5000);
        holder.kill_now();
    });
    dt::StdoutCapture cap;
    do_scan();
    std::string out = cap.finish();
    release.join();
    // Attempts of two lock seconds against a hold of five.
    const std::string msg = "Varno_monitor failed to get lock for nbt scan\n";
    EXPECT_TRUE(out == msg + msg || out == msg + msg + msg) << out;
    EXPECT_EQ(stub_calls_after_wait().size(), 1u);
}
