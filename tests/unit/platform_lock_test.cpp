// Configuration lock, shell actions and the event trace.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>

#include "cfg_framework.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

// Whether another process gets the lock at once.
bool free_for_others()
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("DORVAN_LOCK_WAIT_MS", "0", 1);
        _exit(cfgLck_acquireLockTraced("probe") == 0 ? 0 : 1);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// How long an acquire that must time out takes, in ms: the default wait, or
// the given seconds.
long timed_out_ms(int seconds = -1)
{
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(seconds < 0 ? cfgLck_acquireLockTraced("t")
                          : cfgLck_acquireLockWithTimeoutTraced("t", (uint32_t)seconds),
              CFG_RET_TIMED_OUT);
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

TEST(Lock, WaitsItsTimeoutAndIsFreeOnceTheHolderIsKilled)
{
    dt::TempRoot root;
    dt::LockHolder holder;
    for (const char *wait : {"", "-5", "5x"}) {
        setenv("DORVAN_LOCK_WAIT_MS", wait, 1);
        long ms = timed_out_ms();
        EXPECT_GE(ms, 240) << "default wait for '" << wait << "'";
        EXPECT_LT(ms, 2000);
    }
    long ms;
    setenv("DORVAN_LOCK_WAIT_MS", "60", 1);
    ms = timed_out_ms();
    EXPECT_GE(ms, 55);
    EXPECT_LT(ms, 240);
    ms = timed_out_ms(1);
    EXPECT_GE(ms, 990) << "the timeout is in seconds";
    EXPECT_LT(ms, 3000);
    EXPECT_FALSE(free_for_others());
    holder.kill_now();
    EXPECT_TRUE(free_for_others());
}

TEST(Lock, NestedAcquireCountsAndTracesOnce)
{
    dt::TempRoot root(true);
    ASSERT_EQ(cfgLck_acquireLockTraced("outer"), 0);
    ASSERT_EQ(cfgLck_acquireLockTraced("inner"), 0);
    cfgLck_releaseLockTraced("inner");
    EXPECT_FALSE(free_for_others()) << "outer still holds it";
    cfgLck_releaseLockTraced("outer");
    EXPECT_TRUE(free_for_others());
    cfgLck_releaseLockTraced("stray");  // not held: no effect
    EXPECT_EQ(root.trace(), (dt::Lines{"lock\touter", "unlock\touter", "lock\tprobe"}));
}

// What a shell child holds: Reliability.ShellChildrenNeverHoldTheLockOrAWatch.
TEST(Shell, StatusAndPath)
{
    dt::TempRoot root(true);
    EXPECT_EQ(cfgSys_doSystemAction("t", "exit 7"), 7);
    EXPECT_EQ(systemEx("true", 0), 0);
    EXPECT_EQ(systemEx("kill -9 $$", 0), -1);
    dt::install_stubs(root, {"nvram"});
    EXPECT_EQ(systemEx("nvram set wl0_ssid=x", 0), 0);
    EXPECT_EQ(dt::stub_calls(root), (dt::Lines{"nvram set wl0_ssid=x"}));
}

TEST(Trace, EventsAndEscaping)
{
    dt::TempRoot root(true);
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
}

TEST(Trace, ConcurrentWritersNeverShareALine)
{
    dt::TempRoot root(true);
    wlmgr_loadWorkingCopy();
    root.clear_trace();
    const int kSets = 400;
    std::vector<pid_t> kids;
    for (char c : {'p', 'q', 'r'}) {
        pid_t pid = fork();
        if (pid == 0) {
            std::string v(WLMGR_VALUE_SIZE - 1, c);
            for (int i = 0; i < kSets; i++)
                wlmgr_setVar("n", v.c_str());
            _exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids)
        waitpid(pid, nullptr, 0);
    std::map<char, int> count;
    for (const std::string &l : root.trace()) {
        ASSERT_EQ(l.size(), 6u + WLMGR_VALUE_SIZE - 1) << l.substr(0, 40);
        ASSERT_EQ(l.substr(0, 6), "set\tn\t");
        ASSERT_EQ(l.find_first_not_of(l[6], 6), std::string::npos);
        count[l[6]]++;
    }
    EXPECT_EQ(count, (std::map<char, int>{{'p', kSets}, {'q', kSets}, {'r', kSets}}));
}
