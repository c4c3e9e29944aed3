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

class DaemonTest : public ::testing::Test {
protected:
    dt::TempRoot root;
    std::string req = root.file("var/param_fifo1");
    std::string rep = root.file("var/param_fifo2");
};

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool is_fifo(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

TEST_F(DaemonTest, HelpKeywordsByteForByte)
{
    dt::Daemon d(root);
    EXPECT_EQ(dt::raw_exchange(R("wlinterface")), R("wlintfhelp"));
    EXPECT_EQ(dt::raw_exchange(R("wlsecurity")), R("wlsechelp"));
    EXPECT_EQ(dt::raw_exchange(R("wlmacfilter")), R("wlmacfilterhelp"));
    EXPECT_EQ(dt::raw_exchange(R("wlwds")), R("wlwdshelp"));
    EXPECT_EQ(dt::raw_exchange(R("wladv")), R("wladvhelp"));
    EXPECT_EQ(dt::raw_exchange(R("WLADV")), R("wlintfhelp"));
    EXPECT_EQ(dt::raw_exchange(R("nonsense words")), R("wlintfhelp"));
    // After each request the request pipe is gone and the reply pipe stays.
    EXPECT_FALSE(dt::exists(req));
    EXPECT_TRUE(is_fifo(rep));
}

TEST_F(DaemonTest, OddRequestsStillGetOneAnswer)
{
    dt::Daemon d(root);
    // 512 bytes and no NUL: the text is the bytes read, nothing more.
    std::string big = "wladv " + std::string(506, 'x');
    ASSERT_EQ(big.size(), 512u);
    EXPECT_EQ(dt::raw_exchange(big), R("wladvhelp"));
    // A writer that writes nothing.
    EXPECT_EQ(dt::raw_exchange(""), R("wlintfhelp"));
    // Text after a NUL is not part of the request.
    EXPECT_EQ(dt::raw_exchange(std::string("wlwds\0wladv", 11)), R("wlwdshelp"));
    EXPECT_FALSE(dt::exists(req));
}

TEST_F(DaemonTest, RegularFileAtRequestPathIsReadAndDeleted)
{
    dt::Daemon d(root);
    mkfifo(rep.c_str(), 0666);
    int rfd = open(rep.c_str(), O_RDONLY | O_NONBLOCK);
    dt::write_file(req, std::string("wlsecurity", 11));
    std::string got;
    for (int i = 0; i < 300 && (got.empty() || got.back() != '\0'); i++) {
        char buf[64];
        ssize_t n = read(rfd, buf, sizeof(buf));
        if (n > 0)
            got.append(buf, n);
        else
            usleep(10000);
    }
    close(rfd);
    EXPECT_EQ(got, R("wlsechelp"));
    EXPECT_FALSE(dt::exists(req));
}

TEST_F(DaemonTest, StaleRequestPipeDoesNotFreezeTheDaemon)
{
    dt::Daemon d(root);
    // A front end died between creating the pipe and opening it.
    ASSERT_EQ(mkfifo(req.c_str(), 0666), 0);
    auto t0 = std::chrono::steady_clock::now();
    while (dt::exists(req) && seconds_since(t0) < 6)
        usleep(20000);
    EXPECT_FALSE(dt::exists(req));
    EXPECT_LT(seconds_since(t0), 4.5);
    EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");
}

TEST_F(DaemonTest, FrontEndThatNeverReadsDoesNotFreezeTheDaemon)
{
    dt::Daemon d(root);
    // Hand over a request without ever opening the reply pipe.
    ASSERT_EQ(mkfifo(req.c_str(), 0666), 0);
    int wfd = open(req.c_str(), O_WRONLY);  // waits for the daemon's pass
    ASSERT_GE(wfd, 0);
    ASSERT_EQ(write(wfd, "wladv", 6), 6);
    close(wfd);
    auto t0 = std::chrono::steady_clock::now();
    while (d.out().find("open fifo error!!!\n") == std::string::npos && seconds_since(t0) < 9)
        usleep(50000);
    EXPECT_NE(d.out().find("open fifo error!!!\n"), std::string::npos);
    EXPECT_GT(seconds_since(t0), 4.0);
    EXPECT_EQ(dt::ask("wlsecurity"), "wlsechelp");
    EXPECT_TRUE(d.alive());
}

TEST_F(DaemonTest, BadOptionsExit255BeforeTheFramework)
{
    {
        dt::Daemon d(root, {"-x"});
        EXPECT_EQ(d.wait_exit(3000), 255);
    }
    {
        dt::Daemon d(root, {"-m"});
        EXPECT_EQ(d.wait_exit(3000), 255);
    }
    EXPECT_EQ(root.log(), "");
    // Options given twice take their last value and start normally.
    dt::Daemon d(root, {"-v", "1", "-m", "3", "-v", "0"});
    EXPECT_EQ(dt::ask("wladv"), "wladvhelp");
}

TEST_F(DaemonTest, StartUpFailuresEndWith255AndALogLine)
{
    struct Case {
        const char *fail, *log;
    } cases[] = {
        {"cfgMsg_init=7", "cfgMsg_init failed, ret=7"},
        {"cfgMdm_init=9", "cfgMdm_init failed, ret=9"},
        {"wldm_alloc=1", "Allocate wldm memory error"},
        {"wlmgr_alloc=1", "Allocate wlan Adapter memory error"},
    };
    for (const Case &c : cases) {
        unlink(root.file("log").c_str());
        setenv("DORVAN_FAIL", c.fail, 1);
        dt::Daemon d(root);
        EXPECT_EQ(d.wait_exit(3000), 255) << c.fail;
        unsetenv("DORVAN_FAIL");
        EXPECT_NE(root.log().find(c.log), std::string::npos) << c.fail << ": " << root.log();
    }
}

TEST_F(DaemonTest, FrontEndAndCfgToolAgainstTheRunningDaemon)
{
    dt::Daemon d(root);
    std::string out;
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

TEST(FrontEnd, NoDaemonTimesOutWithStatus3)
{
    dt::TempRoot root;
    std::string out;
    auto t0 = std::chrono::steady_clock::now();
    int st = dt::run(dt::bin("dorvan") + " --timeout 1 wladv show 2>&1", &out);
    EXPECT_EQ(st, 3);
    EXPECT_LT(seconds_since(t0), 3.0);
    EXPECT_NE(out.find("dorvan:"), std::string::npos);
    // It cleans up the request it could not hand over.
    EXPECT_FALSE(dt::exists(root.file("var/param_fifo1")));
}
