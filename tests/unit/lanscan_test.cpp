// The LAN host scan: the command line it starts, what it refuses (its lock
// retries: MonitorE2E.ScanGivesUpOnABusyLockAndTheButtonsComeBack).
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "cfg_framework.h"
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
        return dt::stdout_of(do_scan);
    }
};

const std::vector<std::string> kLockOnly = {"lock\tdo_scan", "unlock\tdo_scan"};

}  // namespace

// Only a dotted address starts the scan line, in the background, and only
// on a root the shell would not split.
TEST_F(LanScan, RefusesAnythingButADottedAddressAndAPlainRoot)
{
    // Without a LAN address nothing runs and nothing is logged (the count
    // of log lines at the end).
    EXPECT_EQ(scan(""), "");
    EXPECT_EQ(root.trace(), kLockOnly);
    const std::string bad[] = {"1.2.3.4;touch " + root.file("x"), "1.2.3.4 ", "$(reboot)", "999.1.1.1",
                               "01.2.3.4", std::string(200, '1')};
    for (const auto &addr : bad) {
        EXPECT_EQ(scan(addr), "") << addr;
        EXPECT_EQ(root.trace(), kLockOnly) << addr;
    }

    // What the scan runs: MonitorPasses.FirstAlignmentOnPass9AndFirstScanOnPass15.
    EXPECT_EQ(scan("127.0.0.1"), "");
    std::string tmp = root.file("var/tmp_scanhosts.name"), res = root.file("var/scanhosts.name");
    EXPECT_EQ(root.trace(), (dt::Lines{kLockOnly[0], "system\tnbtscan 127.0.0.1/24 -T 6 -m >" + tmp + " && cat " + tmp +
                                                         " > " + res + " &", kLockOnly[1]}));
    EXPECT_GE(dt::wait_for([&] { return dt::exists(res); }, 2), 0) << "the background scan, before the root goes";

    // Nor on a root the shell would split.
    std::string odd = root.file("a b");
    ASSERT_EQ(dt::run("mkdir -p '" + odd + "/var'"), 0);
    setenv("DORVAN_ROOT", odd.c_str(), 1);
    int mdm = -1;
    cfgMdm_init(14, nullptr, &mdm);
    EXPECT_EQ(scan("127.0.0.1"), "");
    EXPECT_EQ(root.trace(), kLockOnly);
    EXPECT_EQ(dt::occurrences(root.log(), "do_scan"), std::size(bad) + 1) << root.log();
}
