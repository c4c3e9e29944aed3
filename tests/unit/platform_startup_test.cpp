// Logger and start-up (factory reset: monitor_test; its restart is seen end
// to end). Board inputs: platform_board_test.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

// Injected start-up failures: DaemonOnce.FrontEndRefusalsStartUpFailuresAndOneDaemonARoot;
// board files written before start-up are read as written: MonitorPasses and
// MonitorE2E.ScanGivesUpOnABusyLockAndTheButtonsComeBack.
TEST(Startup, LogFormatThresholdBoundsOverlongRootRefusedLiveTempFilesKept)
{
    dt::TempRoot root(true);
    cfgLog_init(0);
    log_log(CFG_LOG_ERR, "fn", 12, "hello %d\n", 5);
    log_log(CFG_LOG_NOTICE, "fn", 13, "dropped");
    log_log(CFG_LOG_ERR, "fn", 14, "two\n\n");
    cfgLog_setLevel(CFG_LOG_DEBUG);
    log_log(CFG_LOG_DEBUG, "dbg", 1, "%s", "kept");
    log_log(CFG_LOG_ERR, "fn", 1, "%s", std::string(5000, 'x').c_str());
    cfgLog_setLevel(CFG_LOG_ERR);
    dt::Lines log = dt::lines(root.log());
    ASSERT_EQ(log.size(), 5u) << "one bounded line for 5000 bytes";
    EXPECT_EQ(dt::Lines(log.begin(), log.begin() + 4),
              (dt::Lines{"dorvand[3] fn:12: hello 5", "dorvand[3] fn:14: two", "", "dorvand[7] dbg:1: kept"}));
    EXPECT_LT(log[4].size(), 1300u);

    // A root of 256 characters or more is refused, though it could be made.
    const std::string deep = root.file(std::string(200, 'r') + "/" + std::string(100, 's'));
    ASSERT_EQ(dt::run("mkdir -p '" + deep + "'"), 0);
    setenv("DORVAN_ROOT", deep.c_str(), 1);
    EXPECT_NE(cfgMdm_init(0, nullptr, nullptr), 0);
    EXPECT_FALSE(dt::exists(deep + "/var"));
    setenv("DORVAN_ROOT", root.path().c_str(), 1);

    // Leftovers of a dead writer go; a live writer's temp file stays.
    ASSERT_EQ(dt::run("mkdir -p '" + root.file("var/dorvan") + "'"), 0);
    std::string dead = root.file(DORVAN_MDM_FILE ".tmp.2147483646");
    std::string live = root.file(DORVAN_FLASH_FILE ".tmp." + std::to_string(getppid()));
    dt::write_file(dead, "half");
    dt::write_file(live, "busy");
    int mdm = 0;
    ASSERT_EQ(cfgMdm_init(1, nullptr, &mdm), 0);
    EXPECT_FALSE(dt::exists(dead));
    EXPECT_TRUE(dt::exists(live));
}
