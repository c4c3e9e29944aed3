// The real dorvand on a private root, spoken to through real FIFOs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "testutil.h"

using dt::R;

namespace {

class DaemonTest : public dt::PickupTest {
protected:
    std::string req = root.file("var/param_fifo1");
    std::string rep = root.file("var/param_fifo2");
};

}  // namespace

DT_IN_BOTH_PICKUP_MODES(DaemonTest);

TEST_P(DaemonTest, HelpKeywordsByteForByte)
{
    dt::Daemon d(root);
    // Each keyword is pinned by the golden transcripts; here the FIFO framing.
    for (auto [word, help] : std::vector<std::pair<std::string, std::string>>{{"wlwds", "wlwdshelp"}, {"WLADV", "wlintfhelp"}})
        EXPECT_EQ(dt::raw_exchange(R(word)), R(help)) << word;
    // After each request the request pipe is gone and the reply pipe stays.
    struct stat st;
    EXPECT_FALSE(dt::exists(req));
    EXPECT_TRUE(lstat(rep.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));

    // A regular file at the request path is read, deleted and dispatched.
    int rfd = open(rep.c_str(), O_RDONLY | O_NONBLOCK);
    dt::write_file(req, std::string("wlsecurity", 11));
    std::string got;
    char buf[64];
    dt::wait_for([&] {
        ssize_t n = read(rfd, buf, sizeof(buf));
        got.append(buf, n > 0 ? n : 0);
        return !got.empty() && got.back() == '\0';
    }, 3);
    close(rfd);
    EXPECT_EQ(got, R("wlsechelp"));
    EXPECT_FALSE(dt::exists(req));
}

TEST_P(DaemonTest, StaleRequestPipeDoesNotFreezeTheDaemon)
{
    dt::Daemon d(root);
    // A front end died between creating the pipe and opening it.
    ASSERT_EQ(mkfifo(req.c_str(), 0666), 0);
    double took = dt::wait_for([&] { return !dt::exists(req); }, 6);
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 4.5);
    EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");
}

TEST_P(DaemonTest, FrontEndThatNeverReadsDoesNotFreezeTheDaemon)
{
    dt::Daemon d(root);
    // Hand over a request without ever opening the reply pipe.
    ASSERT_EQ(mkfifo(req.c_str(), 0666), 0);
    int wfd = open(req.c_str(), O_WRONLY);  // waits for the daemon's pass
    ASSERT_GE(wfd, 0);
    ASSERT_EQ(write(wfd, "wladv", 6), 6);
    close(wfd);
    double took = dt::wait_for([&] { return d.out().find("open fifo error!!!\n") != std::string::npos; }, 9);
    EXPECT_GT(took, 4.0);
    EXPECT_EQ(dt::ask("wlsecurity"), "wlsechelp");
    EXPECT_TRUE(d.alive());
}

TEST_P(DaemonTest, BadOptionsAndStartUpFailuresExit255)
{
    for (const char *opt : {"-x", "-m"}) {
        dt::Daemon d(root, {opt});
        EXPECT_EQ(d.wait_exit(3000), 255) << opt;
    }
    EXPECT_EQ(root.log(), "") << "before any framework call";
    for (auto [fail, log] : std::vector<std::pair<const char *, const char *>>{
             {"cfgMsg_init=7", "cfgMsg_init failed, ret=7"}, {"cfgMdm_init=9", "cfgMdm_init failed, ret=9"},
             {"wldm_alloc=1", "Allocate wldm memory error"}, {"wlmgr_alloc=1", "Allocate wlan Adapter memory error"}}) {
        unlink(root.file("log").c_str());
        setenv("DORVAN_FAIL", fail, 1);
        dt::Daemon d(root);
        EXPECT_EQ(d.wait_exit(3000), 255) << fail;
        EXPECT_NE(root.log().find(log), std::string::npos) << fail << ": " << root.log();
    }
    unsetenv("DORVAN_FAIL");
    // Options given twice take their last value and start normally.
    dt::Daemon d(root, {"-v", "1", "-m", "3", "-v", "0"});
    EXPECT_EQ(dt::ask("wladv"), "wladvhelp");
}

TEST_P(DaemonTest, FrontEndAndCfgToolAgainstTheRunningDaemon)
{
    std::string out;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " --timeout 1 wladv show 2>&1", &out), 3) << "no daemon";
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    EXPECT_NE(out.find("dorvan:"), std::string::npos);
    EXPECT_FALSE(dt::exists(req)) << "the front end removes what it could not hand over";

    dt::Daemon d(root);
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " wlinterface", &out), 0);
    EXPECT_NE(out.find("usage: dorvan wlinterface"), std::string::npos) << out;
    EXPECT_NE(out.find("disable --interface"), std::string::npos) << out;
    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " set wlSsid_wl0v1 'Guest Net'", &out), 0) << out;
    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " get wlSsid_wl0v1", &out), 0);
    EXPECT_EQ(out, "Guest Net\n");
    d.kill_now();
    dt::Daemon again(root);
    EXPECT_EQ(dt::ask("wladv"), "wladvhelp");
    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " --flash get wlSsid_wl0v1", &out), 0);
    EXPECT_EQ(out, "Guest Net\n");
}
