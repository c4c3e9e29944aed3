// The real dorvand on a private root, spoken to through real FIFOs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "protocol.h"
#include "testutil.h"

namespace {

class DaemonTest : public dt::PickupTest {};

}  // namespace

DT_IN_BOTH_PICKUP_MODES(DaemonTest);

// What does not depend on the pickup mode runs once, in the default one:
// the front end's refusals before and without a daemon, the daemon's own,
// and one daemon a root.
TEST(DaemonOnce, FrontEndRefusalsStartUpFailuresAndOneDaemonARoot)
{
    dt::TempRoot root;
    setenv("DORVAN_PASS_MS", "100", 1);
    for (const char *args : {"--bogus wlwds show", "-x", "--timeout", "--timeout 0 wlwds", "--timeout 1 --timeout"}) {
        dt::FrontEndRun r = dt::front_end(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.said.rfind("dorvan: ", 0), 0u) << args << ": " << r.said;
    }
    EXPECT_FALSE(dt::exists(root.file("var/dorvan/frontend.lock"))) << "nothing sent";
    EXPECT_EQ(dt::front_end("--timeout 1 wladv show").status, 3) << "no daemon";
    EXPECT_FALSE(dt::exists(root.file(REQUEST_PIPE))) << "the front end removes what it could not hand over";

    // Bad options, then failed framework calls: status 255, the latter logged.
    for (auto [fail, log] : {std::pair{"-x", ""}, {"-m", ""}, {"cfgMsg_init=7", "cfgMsg_init failed, ret=7"},
                             {"wlmgr_alloc=1", "Allocate wlan Adapter memory error"}}) {
        setenv("DORVAN_FAIL", fail[0] == '-' ? "" : fail, 1);
        dt::Daemon d(root, fail[0] == '-' ? dt::Lines{fail} : dt::Lines{});
        EXPECT_EQ(d.wait_exit(3000), 255) << fail;
        EXPECT_TRUE(*log ? root.log().find(log) != std::string::npos : root.log().empty()) << fail << ": " << root.log();
    }
    unsetenv("DORVAN_FAIL");
    // Options given twice take their last value and start normally.
    dt::Daemon first(root, {"-v", "1", "-m", "3", "-v", "0"});
    ASSERT_EQ(dt::ask("wlinterface"), "wlintfhelp");
    EXPECT_EQ(dt::run("test \"$(stat -c %a '" + root.file("var/dorvan/dorvand.lock") + "')\" = 600"), 0) << "the owner's only";
    // One daemon a root.
    dt::Daemon second(root);
    EXPECT_EQ(second.wait_exit(3000), 255);
    EXPECT_NE(root.log().find("another dorvand"), std::string::npos) << root.log();
    // One that died leaves its root free.
    first.kill_now();
    dt::Daemon again(root);
    EXPECT_EQ(dt::ask("wladv"), "wladvhelp");

    // Cut to nothing, a long root would be "/".
    setenv("DORVAN_ROOT", root.file(std::string(300, 'r')).c_str(), 1);
    dt::FrontEndRun r = dt::front_end("--timeout 1 wlwds");
    EXPECT_EQ(std::to_string(r.status) + " " + r.said, "2 dorvan: DORVAN_ROOT too long\n");
}

// A front end that never opens the reply pipe.
TEST_P(DaemonTest, StalledFrontEndFreezesNothing)
{
    // The wait of 5 passes, written out: the clock's table is what is
    // tested. At this pass it is above its floor.
    setenv("DORVAN_PASS_MS", "400", 1);
    const double reply_wait = 5 * 0.4;
    const std::string req = root.file(REQUEST_PIPE);
    dt::Daemon d(root);
    // Hand over a request without ever opening the reply pipe.
    ASSERT_EQ(mkfifo(req.c_str(), 0666), 0);
    int wfd = open(req.c_str(), O_WRONLY);  // waits for the daemon's pass (a failed open fails the write)
    ASSERT_EQ(write(wfd, "wladv", 6), 6);
    close(wfd);
    double took = dt::wait_for([&] { return d.out().find("open fifo error!!!\n") != std::string::npos; }, 9);
    EXPECT_GT(took, 0.8 * reply_wait);
    EXPECT_LT(took, 1.5 * reply_wait);
    EXPECT_EQ(dt::ask("wlsecurity"), "wlsechelp");
    // The request's write refused (EPIPE, put in by strace; leaks are not
    // checked under a tracer): the daemon did not take it, status 3.
    if (dt::run("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace not installed";
    EXPECT_EQ(dt::front_end("wladv show", "ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null -e inject=write:error=EPIPE:when=1").status, 3);
}
