// Faults from outside: hostile pipes and files, awkward requests, and a
// long run of requests. Kills during saves: platform_store_test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "protocol.h"
#include "testutil.h"

using dt::R;

class HostilePipes : public dt::PickupTest {};
DT_IN_BOTH_PICKUP_MODES(HostilePipes);

// Things planted at the request path stay there and are never followed;
// at the reply path the reply is dropped, never written into them. The
// daemon answers the next ordinary request either way. A request whose
// writer pauses halfway, in a pipe or a regular file, is served whole once
// its writer closes it.
TEST_P(HostilePipes, PlantedPathsHalfWrittenAndAwkwardRequests)
{
    setenv("DORVAN_PASS_MS", "50", 1);
    root.board("wps_button", "0");  // held: a counter line a pass
    dt::Daemon d(root);
    const std::string req = root.file(REQUEST_PIPE), rep = root.file(REPLY_PIPE);
    dt::write_file(root.file("target"), "keep");
    const std::vector<std::pair<std::string, std::string>> planted = {
        {req, "mkdir"}, {req, "ln -s ../target"}, {rep, "cp ../target"}, {rep, "mkdir"}, {rep, "ln -s ../target"}};
    for (const auto &p : planted) {
        dt::run("cd '" + root.file("var") + "' && rm -rf " + p.first + " && " + p.second + " " + p.first);
        if (p.first == rep)
            dt::raw_exchange(R("wladv"), 1500);
        else
            ASSERT_EQ(dt::pass_times(d, 2).size(), 2u);
        EXPECT_TRUE(dt::exists(p.first)) << p.second;
        EXPECT_EQ(dt::read_file(root.file("target")), "keep") << p.second;
        dt::run("rm -rf '" + p.first + "'");
        EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp") << p.second << " " << p.first;
    }
    const std::string first = "wlinterface enable --interface wl0.1";
    mkfifo(rep.c_str(), 0600);
    for (const std::string ssid : {"ViaPipe", "ViaFile"}) {
        int rfd = open(rep.c_str(), O_RDONLY | O_NONBLOCK), n = -1;
        int wfd = ssid == "ViaPipe" ? (mkfifo(req.c_str(), 0600), open(req.c_str(), O_WRONLY))
                                    : open(req.c_str(), O_WRONLY | O_CREAT, 0600);
        EXPECT_EQ(write(wfd, first.data(), first.size()), (ssize_t)first.size());
        // The pipe until the daemon has read it, the file for two passes.
        EXPECT_TRUE(ssid == "ViaPipe" ? dt::wait_for([&] { return ioctl(wfd, FIONREAD, &n) == 0 && n == 0; }, 3) >= 0
                                      : dt::pass_times(d, 2).size() == 2 && dt::exists(req));
        EXPECT_GT(dprintf(wfd, " --wlSsid %s%c", ssid.c_str(), 0), 0) << "the daemon read on";
        close(wfd);
        EXPECT_NE(dt::read_reply(rfd, 3000), "");
        EXPECT_EQ(dt::stored("wlSsid_wl0v1"), ssid);
        EXPECT_FALSE(dt::exists(req)) << "read, then removed";
    }
    EXPECT_EQ(dt::run("test -p '" + rep + "'"), 0) << "the reply pipe stays";
    // Requests of every awkward size and content get one answer each.
    const std::pair<std::string, std::string> cases[] = {
        {"", "wlintfhelp"}, {"w", "wlintfhelp"},
        {"wladv " + std::string(505, 'x'), "wladvhelp"}, {"wladv " + std::string(506, 'x'), "wladvhelp"},
        {"wladv " + std::string(507, 'x'), "wladvhelp"}, {std::string("wlwds\0show\0", 11), "wlwdshelp"},
        {"wlwds \xff\xfe\x80 \x01", "wlwdshelp"}, {R("wlmacfilter"), "wlmacfilterhelp"}, {R("WLADV"), "wlintfhelp"}};
    for (const auto &c : cases)
        EXPECT_EQ(dt::raw_exchange(c.first), R(c.second)) << c.first.size() << " bytes";
}

// Many requests in a row through the dorvan front end, mixed across the
// commands: each answered as in the first round, no descriptor left behind.
TEST(Reliability, LongRunOfRequestsLeaksNothing)
{
    dt::TempRoot root;
    setenv("DORVAN_PASS_MS", "1", 1);
    setenv("DORVAN_PICKUP", "immediate", 1);
    const int total = getenv("DORVAN_LOAD_REQUESTS") ? atoi(getenv("DORVAN_LOAD_REQUESTS")) : 400;
    dt::Daemon d(root);
    // Each leaves the settings as they were, so every round answers the same;
    // the first alignment of the switch may enable the interface a request
    // selected, so it comes first.
    const std::vector<std::string> reqs = {
        "wlinterface disable --interface wl0.3", "wlinterface show", "wlsecurity show",
        "wlmacfilter allow --interface wl0.1", "wlmacfilter show", "wlwds disablerestrict --wlMode ap",
        "wlwds show", "wladv config --wlDtmIntvl 3", "wladv show", "wlsecurity"};
    std::vector<std::string> want;
    for (const auto &r : reqs) {
        want.push_back(dt::front_end(r).said);
        ASSERT_EQ(want.back().find("dorvan:"), std::string::npos) << want.back();
    }
    // What its descriptors point at, but for the lock (a scan in flight), the
    // pipes (a request being served) and the board files (a pass reading
    // them): held for moments.
    const std::string targets = "for f in /proc/" + std::to_string(d.pid()) + "/fd/*; do readlink $f; done | "
                                "grep -v -e /cfg.lock -e /param_fifo -e /board/ | sort";
    std::string fds, now;
    ASSERT_EQ(dt::run(targets, &fds), 0);
    for (int i = 0; i < total; i++)
        ASSERT_EQ(dt::front_end(reqs[i % reqs.size()]).said, want[i % reqs.size()]) << "request " << i;
    dt::run(targets, &now);
    EXPECT_EQ(now, fds);
    EXPECT_TRUE(d.alive());
}
