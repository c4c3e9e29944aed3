// Faults from outside: hostile pipes and files, awkward requests, shell
// children, and a long run of requests. Kills during saves: platform_store_test.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "testutil.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DORVAN_CLANG_ASAN 1
#endif
#endif
#ifndef DORVAN_CLANG_ASAN
#define DORVAN_CLANG_ASAN 0
#endif

using dt::R;
using Clock = std::chrono::steady_clock;

TEST(Reliability, HostilePipesAndRequestsKeepTheCadence)
{
    dt::TempRoot root;
    root.board("wps_button", "0");
    dt::Daemon d(root);
    const std::string req = root.file("var/param_fifo1");
    const std::string rep = root.file("var/param_fifo2");

    // After each fault the passes come at their usual pace and the next
    // ordinary request is answered.
    auto cadence_kept = [&](const std::string &what) {
        // Counter lines of the held WPS button: their spacing is the cadence.
        std::vector<double> at = dt::pass_times(d, 3);
        ASSERT_EQ(at.size(), 3u) << what;
        EXPECT_LE(std::max(at[1] - at[0], at[2] - at[1]), 1.5) << what;
    };
    auto settled = [&](const std::string &what) {
        cadence_kept(what);
        EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp") << what;
    };

    // Things planted at the request path stay where they are and are never
    // followed; passes go on meanwhile.
    mkdir(req.c_str(), 0755);
    cadence_kept("directory at the request path");
    EXPECT_TRUE(dt::exists(req));
    rmdir(req.c_str());
    EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");
    dt::write_file(root.file("elsewhere"), std::string("wladv", 6));
    symlink(root.file("elsewhere").c_str(), req.c_str());
    cadence_kept("symlink at the request path");
    EXPECT_TRUE(dt::exists(root.file("elsewhere")));
    unlink(req.c_str());
    EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");

    // Things planted at the reply path: the reply is dropped, never written
    // into them, and the daemon goes on.
    unlink(rep.c_str());
    dt::write_file(rep, "keep");
    dt::raw_exchange(R("wladv"), 1500);
    EXPECT_EQ(dt::read_file(rep), "keep");
    unlink(rep.c_str());
    settled("regular file at the reply path");
    mkdir(rep.c_str(), 0755);
    dt::raw_exchange(R("wladv"), 1500);
    rmdir(rep.c_str());
    settled("directory at the reply path");
    symlink(root.file("target").c_str(), rep.c_str());
    dt::write_file(root.file("target"), "keep");
    dt::raw_exchange(R("wladv"), 1500);
    EXPECT_EQ(dt::read_file(root.file("target")), "keep");
    unlink(rep.c_str());
    settled("symlink at the reply path");

}

TEST(Reliability, AwkwardRequestsEachGetOneAnswer)
{
    dt::TempRoot root;
    setenv("DORVAN_PASS_MS", "20", 1);  // short passes
    dt::Daemon d(root);
    // Requests of every awkward size and content get one answer each.
    struct Case {
        std::string bytes, reply;
    } cases[] = {
        {"", R("wlintfhelp")},
        {"w", R("wlintfhelp")},
        {"wladv " + std::string(505, 'x'), R("wladvhelp")},
        {"wladv " + std::string(506, 'x'), R("wladvhelp")},
        {"wladv " + std::string(507, 'x'), R("wladvhelp")},
        {std::string("wlwds\0show\0", 11), R("wlwdshelp")},
        {"wlwds \xff\xfe\x80 \x01", R("wlwdshelp")},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(dt::raw_exchange(c.bytes), c.reply) << c.bytes.size() << " bytes";
    }

    // An option word without its value still gets an answer (every such
    // word is a fuzz corpus input, replayed under the sanitizers).
    for (const char *r : {"wlsecurity wpssetup --interface wl0 --operation", "wladv config --wlChannel"}) {
        std::string got = dt::ask(r);
        EXPECT_NE(got, "<timeout>") << r;
        EXPECT_EQ(got.find("<error"), std::string::npos) << r;
    }
}

TEST(Reliability, ShellChildrenNeverHoldTheLockOrAWatch)
{
    dt::TempRoot root;
    dt::install_stubs(root, {"nvram"});
    // A stub nbtscan that lists its own descriptors while it runs.
    dt::write_file(root.file("stubs/nbtscan"), "#!/bin/sh\nls -l /proc/$$/fd > '" +
                                                    root.file("nbtscan.fds") + "' 2>&1\nsleep 1\n");
    chmod(root.file("stubs/nbtscan").c_str(), 0755);
    setenv("DORVAN_PASS_MS", "10", 1);  // short passes
    setenv("DORVAN_PICKUP", "immediate", 1);
    dt::Daemon d(root);
    for (int i = 0; i < 300 && !dt::exists(root.file("nbtscan.fds")); i++)
        usleep(10000);
    usleep(100000);
    std::string fds = dt::read_file(root.file("nbtscan.fds"));
    ASSERT_NE(fds, "");
    EXPECT_EQ(fds.find("cfg.lock"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("dorvand.lock"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("param_fifo"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("inotify"), std::string::npos) << fds;
}

namespace {

// What the daemon's descriptors point at, sorted, taken when none is the
// lock file or a pipe.
std::vector<std::string> fd_targets(pid_t pid)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd/";
    std::vector<std::string> out;
    for (int tries = 0; tries < 100; tries++, usleep(10000)) {
        out.clear();
        for (int fd = 0; fd < 256; fd++) {
            char target[4096];
            ssize_t n = readlink((dir + std::to_string(fd)).c_str(), target, sizeof(target));
            if (n > 0)
                out.emplace_back(target, (size_t)n);
        }
        // The lock (a scan in flight) and the pipes (a request being served)
        // are held for moments; a leaked descriptor stays through every try.
        if (std::none_of(out.begin(), out.end(), [](const std::string &t) {
                return t.find("/cfg.lock") != std::string::npos || t.find("/param_fifo") != std::string::npos;
            }))
            break;
    }
    std::sort(out.begin(), out.end());
    return out;
}

long rss_kb(pid_t pid)
{
    std::string s = dt::read_file("/proc/" + std::to_string(pid) + "/status");
    size_t p = s.find("VmRSS:");
    return p == std::string::npos ? -1 : atol(s.c_str() + p + 6);
}

int zombies_of(pid_t pid)
{
    int n = 0;
    DIR *dir = opendir("/proc");
    while (struct dirent *e = dir ? readdir(dir) : nullptr) {
        std::string stat = dt::read_file(std::string("/proc/") + e->d_name + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size())
            continue;
        char state = stat[close + 2];
        long ppid = atol(stat.c_str() + close + 4);
        if (ppid == pid && state == 'Z')
            n++;
    }
    if (dir)
        closedir(dir);
    return n;
}

}  // namespace

// Many requests in a row through the dorvan front end, mixed across the
// commands: each answered correctly and in order, nothing grows.
TEST(Reliability, LongRunOfRequestsLeaksNothing)
{
    dt::TempRoot root;
    setenv("DORVAN_PASS_MS", "1", 1);  // short passes
    const int total = getenv("DORVAN_LOAD_REQUESTS") ? atoi(getenv("DORVAN_LOAD_REQUESTS")) : 400;
    dt::Daemon d(root);
    std::vector<std::string> reqs = {
        "wlinterface disable --interface wl0.3",
        "wlinterface show",
        "wlsecurity show",
        "wlmacfilter allow --interface wl0.1",
        "wlmacfilter show",
        "wlwds disablerestrict --wlMode ap",
        "wlwds show",
        "wladv config --wlDtmIntvl 3",
        "wladv show",
        "wlsecurity",
    };
    // Every request here leaves the settings as they were, so each answer is
    // the same every round; the first alignment of the switch (pass 9) may
    // enable the interface a request selected, so it comes first.
    ASSERT_GE(dt::wait_for([&] { return d.out().find("First Sync") != std::string::npos; }, 10), 0);
    std::vector<std::string> want;
    for (const auto &r : reqs)
        want.push_back(dt::front_end(r).said);
    for (const auto &w : want)
        ASSERT_EQ(w.find("dorvan:"), std::string::npos) << w;
    usleep(300000);
    auto fds0 = fd_targets(d.pid());
    long rss0 = rss_kb(d.pid());

    auto t0 = Clock::now();
    int wrong = 0;
    for (int i = 0; i < total; i++) {
        size_t k = i % reqs.size();
        std::string out = dt::front_end(reqs[k]).said;
        if (out != want[k]) {
            if (++wrong < 5)
                ADD_FAILURE() << "request " << i << " (" << reqs[k] << ") got: " << out;
        }
    }
    double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_EQ(wrong, 0);
    auto fds1 = fd_targets(d.pid());
    long rss1 = rss_kb(d.pid());
    EXPECT_EQ(fds1, fds0);
#if !defined(__SANITIZE_ADDRESS__) && !DORVAN_CLANG_ASAN
    // ASan holds freed memory in quarantine, so growth means nothing there.
    EXPECT_LE(rss1, rss0 + 64) << "RSS grew from " << rss0 << " kB to " << rss1 << " kB";
#endif
    EXPECT_EQ(zombies_of(d.pid()), 0);
    EXPECT_EQ(dt::entries_named(root.file("var/dorvan"), ".tmp"), 0u);
    EXPECT_TRUE(d.alive());
    printf("load: %d requests in %.1f s; fds %zu -> %zu; RSS %ld -> %ld kB\n", total, secs, fds0.size(), fds1.size(),
           rss0, rss1);
    RecordProperty("requests", total);
}
