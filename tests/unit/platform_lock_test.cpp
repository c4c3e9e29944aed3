// Configuration lock, shell actions and the event trace.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

// Whether another process gets the lock at once.
bool free_for_others(const dt::TempRoot &root)
{
    return dt::run("flock -n '" + root.file(DORVAN_LOCK_FILE) + "' true") == 0;
}

}  // namespace

// The default wait for an unusable DORVAN_LOCK_WAIT_MS, the given one, and
// seconds for the call that takes them; nested locks, shell status, the
// trace's escaping, and names as written (their limits:
// CfgTool.UsageErrorsBusyLockAndSetGetShowWithTheDaemonsNames).
TEST(Lock, WaitsItsTimeoutFreeOnceTheHolderIsKilledNestedShellStatusTraceNames)
{
    dt::TempRoot root;
    dt::LockHolder holder;
    for (auto [wait, seconds, min_ms, max_ms] : {std::tuple{"-5", -1, 240, 2000}, {"60", -1, 55, 240}, {"60", 1, 990, 3000}}) {
        setenv("DORVAN_LOCK_WAIT_MS", wait, 1);
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(seconds < 0 ? cfgLck_acquireLockTraced("t") : cfgLck_acquireLockWithTimeoutTraced("t", seconds),
                  CFG_RET_TIMED_OUT);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_TRUE(ms >= min_ms && ms < max_ms) << wait << " " << seconds << ": " << ms << " ms";
    }
    EXPECT_FALSE(free_for_others(root));
    holder.kill_now();
    EXPECT_TRUE(free_for_others(root));

    // Nested: counted, traced once.
    root.clear_trace();
    ASSERT_EQ(cfgLck_acquireLockTraced("outer"), 0);
    ASSERT_EQ(cfgLck_acquireLockTraced("inner"), 0);
    cfgLck_releaseLockTraced("inner");
    EXPECT_FALSE(free_for_others(root)) << "outer still holds it";
    cfgLck_releaseLockTraced("outer");
    EXPECT_TRUE(free_for_others(root));
    cfgLck_releaseLockTraced("stray");  // not held: no effect
    EXPECT_EQ(root.trace(), (dt::Lines{"lock\touter", "unlock\touter"}));

    // A shell action's exit status; the trace's events and escaping.
    EXPECT_EQ(cfgSys_doSystemAction("t", "exit 7"), 7);
    EXPECT_EQ(systemEx("kill -9 $$", 0), -1);
    root.clear_trace();
    ASSERT_EQ(cfgLck_acquireLockTraced("wl\tcfg"), 0);
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_setVar("wl_wsc_mode", "a\\b\tc\nd\x01\x1f\x7f\xc3\xa9="), 0);
    wlmgr_storeWorkingCopy();
    ASSERT_EQ(cfgMgm_saveConfigToFlash(), 0);
    ASSERT_EQ(cfgSys_doSystemAction("t", "true\n:"), 0);
    cfgLck_releaseLockTraced("wl\tcfg");
    EXPECT_NE(wlmgr_setVar("refused", std::string(WLMGR_VALUE_SIZE, 'x').c_str()), 0);
    EXPECT_EQ(dt::read_file(root.file("trace")),
              "lock\twl\\tcfg\nload\nset\twl_wsc_mode\ta\\\\b\\tc\\nd\\x01\\x1f\x7f\xc3\xa9=\n"
              "store\nsave\nsystem\ttrue\\n:\nunlock\twl\\tcfg\n");

    // Names: only one digit 0..3 at the very end makes a key (which key a
    // plain name or an alias stands for: tests/golden/wlinterface.txt).
    ASSERT_EQ(wlmgr_setVar("wlSsidIdx", "3"), 0);
    for (const char *odd : {"wlChannel", "wlSsid_wl0v4", "wlSsid_wl0v12", "wlSsid_wl0v1x"})
        EXPECT_EQ(dorvan_canonical_name(odd), odd);
    EXPECT_NE(wlmgr_setVar("", "x"), 0);
}
