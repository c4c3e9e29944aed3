// Configuration lock, shell actions and the event trace.
#include "platform_testutil.h"

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "wlmgr.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

using ptest::lines;
using ptest::readText;

class Lock : public ptest::TempRoot {
protected:
    // A child that takes the lock and holds it until killed.
    pid_t spawnHolder()
    {
        int p[2];
        EXPECT_EQ(pipe(p), 0);
        pid_t pid = fork();
        if (pid == 0) {
            char ok = cfgLck_acquireLockTraced("holder") == 0 ? 'y' : 'n';
            (void)!write(p[1], &ok, 1);
            for (;;)
                pause();
        }
        close(p[1]);
        char ok = 0;
        EXPECT_EQ(read(p[0], &ok, 1), 1);
        close(p[0]);
        EXPECT_EQ(ok, 'y');
        return pid;
    }
    void reap(pid_t pid)
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    // Whether another process gets the lock at once.
    bool freeForOthers()
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
    long timedAcquire(int *rc, int seconds = -1)
    {
        auto t0 = std::chrono::steady_clock::now();
        *rc = seconds < 0 ? cfgLck_acquireLockTraced("t")
                          : cfgLck_acquireLockWithTimeoutTraced("t", (uint32_t)seconds);
        return (long)std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - t0).count();
    }
};

TEST_F(Lock, WaitsItsTimeoutThenGivesUp)
{
    pid_t holder = spawnHolder();
    int rc = 0;
    long ms = timedAcquire(&rc);
    EXPECT_EQ(rc, CFG_RET_TIMED_OUT);
    EXPECT_GE(ms, 240) << "default wait";
    EXPECT_LT(ms, 2000);

    setenv("DORVAN_LOCK_WAIT_MS", "60", 1);
    ms = timedAcquire(&rc);
    EXPECT_EQ(rc, CFG_RET_TIMED_OUT);
    EXPECT_GE(ms, 55);
    EXPECT_LT(ms, 240);

    ms = timedAcquire(&rc, 1);
    EXPECT_EQ(rc, CFG_RET_TIMED_OUT);
    EXPECT_GE(ms, 990) << "the timeout is in seconds";
    EXPECT_LT(ms, 3000);
    reap(holder);
}

TEST_F(Lock, HolderKilledReleasesIt)
{
    pid_t holder = spawnHolder();
    EXPECT_FALSE(freeForOthers());
    reap(holder);
    setenv("DORVAN_LOCK_WAIT_MS", "0", 1);
    EXPECT_EQ(cfgLck_acquireLockTraced("t"), 0);
    cfgLck_releaseLockTraced("t");
}

TEST_F(Lock, NestedAcquireCountsAndTracesOnce)
{
    setenv("DORVAN_TRACE", path("/trace").c_str(), 1);
    ASSERT_EQ(cfgLck_acquireLockTraced("outer"), 0);
    ASSERT_EQ(cfgLck_acquireLockTraced("inner"), 0);
    cfgLck_releaseLockTraced("inner");
    EXPECT_FALSE(freeForOthers()) << "outer still holds it";
    cfgLck_releaseLockTraced("outer");
    EXPECT_TRUE(freeForOthers());
    cfgLck_releaseLockTraced("stray"); // not held: no effect
    EXPECT_EQ(lines(readText(path("/trace"))),
              (std::vector<std::string>{"lock\touter", "unlock\touter", "lock\tprobe"}));
}

TEST_F(Lock, ShellChildDoesNotInheritTheLockFile)
{
    ASSERT_EQ(cfgLck_acquireLockTraced("t"), 0);
    std::string out = path("/fds");
    ASSERT_EQ(cfgSys_doSystemAction("t", ("ls -l /proc/$$/fd > " + out).c_str()), 0);
    cfgLck_releaseLockTraced("t");
    std::string fds = readText(out);
    EXPECT_NE(fds.find("->"), std::string::npos) << "listing worked";
    EXPECT_EQ(fds.find("cfg.lock"), std::string::npos) << fds;
}

class Shell : public ptest::TempRoot {};

TEST_F(Shell, ReturnsExitStatusAndFindsProgramsOnPath)
{
    EXPECT_EQ(cfgSys_doSystemAction("t", "exit 7"), 7);
    EXPECT_EQ(systemEx("true", 0), 0);
    EXPECT_EQ(systemEx("kill -9 $$", 0), -1);

    std::string bin = path("/bin");
    mkdir(bin.c_str(), 0755);
    ptest::writeText(bin + "/nvram", "#!/bin/sh\necho \"$@\" > " + path("/nvram.out") + "\n");
    chmod((bin + "/nvram").c_str(), 0755);
    std::string oldPath = getenv("PATH");
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    int rc = systemEx("nvram set wl0_ssid=x", 0);
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readText(path("/nvram.out")), "set wl0_ssid=x\n");
}

class Trace : public ptest::TempRoot {};

TEST_F(Trace, EventsAndEscaping)
{
    setenv("DORVAN_TRACE", path("/trace").c_str(), 1);
    ASSERT_EQ(cfgLck_acquireLockTraced("wl\tcfg"), 0);
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_setVar("wl_wsc_mode", "a\\b\tc\nd\x01\x1f\x7f\xc3\xa9="), 0);
    wlmgr_storeWorkingCopy();
    ASSERT_EQ(cfgMgm_saveConfigToFlash(), 0);
    ASSERT_EQ(cfgSys_doSystemAction("t", "true\n:"), 0);
    cfgLck_releaseLockTraced("wl\tcfg");
    EXPECT_NE(wlmgr_setVar("refused", std::string(WLMGR_VALUE_SIZE, 'x').c_str()), 0);
    EXPECT_EQ(readText(path("/trace")),
              "lock\twl\\tcfg\n"
              "load\n"
              "set\twl_wsc_mode\ta\\\\b\\tc\\nd\\x01\\x1f\x7f\xc3\xa9=\n"
              "store\n"
              "save\n"
              "system\ttrue\\n:\n"
              "unlock\twl\\tcfg\n");
}

TEST_F(Trace, ConcurrentWritersNeverShareALine)
{
    wlmgr_loadWorkingCopy();
    setenv("DORVAN_TRACE", path("/trace").c_str(), 1);
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
    for (const std::string &l : lines(readText(path("/trace")))) {
        ASSERT_EQ(l.size(), 6u + WLMGR_VALUE_SIZE - 1) << l.substr(0, 40);
        ASSERT_EQ(l.substr(0, 6), "set\tn\t");
        ASSERT_EQ(l.find_first_not_of(l[6], 6), std::string::npos);
        count[l[6]]++;
    }
    EXPECT_EQ(count, (std::map<char, int>{{'p', kSets}, {'q', kSets}, {'r', kSets}}));
}

} // namespace
