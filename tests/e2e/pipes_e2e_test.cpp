// The real dorvand on a private root, spoken to through real FIFOs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// One run of the dorvan front end, prefix (a tracer) in front of it.
struct FrontEndRun {
    int status;
    std::string out, err;
    double cpu_s;
};

FrontEndRun front_end(const dt::TempRoot &root, const std::string &args, const std::string &prefix = "")
{
    struct rusage before, after;
    getrusage(RUSAGE_CHILDREN, &before);
    FrontEndRun r;
    std::string err = root.file("frontend.err");
    r.status = dt::run(prefix + " " + dt::bin("dorvan") + " " + args + " 2>'" + err + "'", &r.out);
    getrusage(RUSAGE_CHILDREN, &after);
    auto secs = [](const struct rusage &u) {
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    r.cpu_s = secs(after) - secs(before);
    r.err = dt::read_file(err);
    return r;
}

bool have_strace()
{
    return dt::run("strace -V >/dev/null 2>&1") == 0;
}

}  // namespace

TEST_F(DaemonTest, HelpKeywordsByteForByte)
{
    dt::Daemon d(root);
    for (auto [word, help] : std::vector<std::pair<std::string, std::string>>{
             {"wlinterface", "wlintfhelp"}, {"wlsecurity", "wlsechelp"}, {"wlmacfilter", "wlmacfilterhelp"},
             {"wlwds", "wlwdshelp"}, {"wladv", "wladvhelp"}, {"WLADV", "wlintfhelp"}, {"nonsense words", "wlintfhelp"}})
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

TEST_F(DaemonTest, StaleRequestPipeDoesNotFreezeTheDaemon)
{
    dt::Daemon d(root);
    // A front end died between creating the pipe and opening it.
    ASSERT_EQ(mkfifo(req.c_str(), 0666), 0);
    double took = dt::wait_for([&] { return !dt::exists(req); }, 6);
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 4.5);
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
    double took = dt::wait_for([&] { return d.out().find("open fifo error!!!\n") != std::string::npos; }, 9);
    EXPECT_GT(took, 4.0);
    EXPECT_EQ(dt::ask("wlsecurity"), "wlsechelp");
    EXPECT_TRUE(d.alive());
}

TEST_F(DaemonTest, BadOptionsAndStartUpFailuresExit255)
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

TEST_F(DaemonTest, FrontEndAndCfgToolAgainstTheRunningDaemon)
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

TEST_F(DaemonTest, SecondDaemonOnTheRootEndsBeforeTouchingPipesOrButtons)
{
    dt::Daemon first(root);
    ASSERT_EQ(dt::ask("wlwds"), "wlwdshelp");
    const std::string lock = root.file("var/dorvan/dorvand.lock");
    struct stat st;
    ASSERT_EQ(stat(lock.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(dt::run("flock -n '" + lock + "' true"), 1) << "what the init script tests";

    // With the first one stopped, a pending request and a held button are
    // the second one's to see, if it ever looks.
    kill(first.pid(), SIGSTOP);
    ASSERT_EQ(mkfifo(req.c_str(), 0666), 0);
    root.board("reset_button", "0");
    unlink(root.file("log").c_str());
    size_t out_before = first.out().size();
    dt::Daemon second(root);
    EXPECT_EQ(second.wait_exit(3000), 255);
    dt::Lines log = dt::lines(root.log());
    ASSERT_EQ(log.size(), 1u) << root.log();
    EXPECT_NE(log[0].find("[3]"), std::string::npos);
    EXPECT_NE(log[0].find("another dorvand"), std::string::npos);
    EXPECT_EQ(first.out().substr(out_before), "") << "no button counted, no pipe touched";
    EXPECT_TRUE(dt::exists(req));

    root.board("reset_button", "1");
    unlink(req.c_str());
    kill(first.pid(), SIGCONT);
    EXPECT_EQ(dt::ask("wlsecurity"), "wlsechelp");
    EXPECT_TRUE(first.alive());
}

TEST_F(DaemonTest, FrontEndRefusesBadOptionsAndALongRootSendingNothing)
{
    for (const char *args : {"--bogus wlwds show", "-x", "--timeout", "--timeout 1 --timeout"}) {
        auto t0 = std::chrono::steady_clock::now();
        FrontEndRun r = front_end(root, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("dorvan: ", 0), 0u) << args << ": " << r.err;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(800)) << args;
        EXPECT_FALSE(dt::exists(root.file("var/dorvan/frontend.lock"))) << args;
    }

    // Cut to nothing, a long root would be "/": every path the front end
    // could touch there is watched, and refused, by the tracer.
    if (!have_strace())
        GTEST_SKIP() << "strace not installed";
    std::string watched;
    for (const char *p : {"/var", "/var/dorvan", "/var/dorvan/frontend.lock", "/var/param_fifo1", "/var/param_fifo2"})
        watched += std::string(" -P ") + p;
    const std::string trace = root.file("strace.log");
    setenv("DORVAN_ROOT", root.file(std::string(300, 'r')).c_str(), 1);
    FrontEndRun r = front_end(root, "--timeout 1 wlwds", "strace -f -qq -o '" + trace + "'" + watched +
                                                              " -e inject=all:error=EACCES");
    setenv("DORVAN_ROOT", root.path().c_str(), 1);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "dorvan: DORVAN_ROOT too long\n");
    EXPECT_EQ(dt::read_file(trace), "");
}

TEST_F(DaemonTest, FrontEndTakesNothingButAPipeAtTheReplyPath)
{
    dt::Daemon d(root);
    ASSERT_EQ(dt::ask("wlwds"), "wlwdshelp");
    const std::string secret = root.file("secret");
    dt::write_file(secret, "not a reply");
    auto plant = [&](const std::string &what) {
        rmdir(rep.c_str());
        unlink(rep.c_str());
        if (what == "file link")
            symlink(secret.c_str(), rep.c_str());
        else if (what == "zero link")
            symlink("/dev/zero", rep.c_str());
        else if (what == "file")
            dt::write_file(rep, "not a reply");
        else
            mkdir(rep.c_str(), 0755);
    };
    for (const std::string what : {"file link", "zero link", "file", "directory"}) {
        plant(what);
        FrontEndRun r = front_end(root, "--timeout 2 wlwds");
        EXPECT_EQ(r.status, 3) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_NE(r.err.find("param_fifo2 is not a named pipe"), std::string::npos) << what << ": " << r.err;
        EXPECT_LT(r.cpu_s, 0.5) << what << ": no spinning through the 2 s wait";
        std::string key = "cpu_s_" + what;
        std::replace(key.begin(), key.end(), ' ', '_');
        RecordProperty(key, std::to_string(r.cpu_s));
    }
    EXPECT_EQ(dt::read_file(secret), "not a reply");
    rmdir(rep.c_str());
    EXPECT_EQ(front_end(root, "wlwds").status, 0);
}

TEST_F(DaemonTest, FrontEndStalledPastTheDaemonsWaitSaysSo)
{
    if (!have_strace())
        GTEST_SKIP() << "strace not installed";
    dt::Daemon d(root);
    ASSERT_EQ(dt::ask("wlwds"), "wlwdshelp");
    // Its first write is the request: held back longer than the daemon waits
    // for it, as a stopped or starved front end would be.
    FrontEndRun r = front_end(root, "wladv show",
                              "strace -f -qq -o /dev/null -e trace=write -e inject=write:delay_enter=3500000:when=1");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "dorvan: the daemon did not take the request\n");
    EXPECT_NE(d.out().find("stale request pipe removed"), std::string::npos);
    EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");
}
