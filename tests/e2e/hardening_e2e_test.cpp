// Faults found by trying to break the system as a hostile local user or a
// careless integrator would: each case here failed before its mend.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "dorvan_store.h"
#include "monitor.h"
#include "protocol.h"
#include "testutil.h"

// Each test starts at umask 022 and leaves the mask it found (one sets 0).
struct Hardening : ::testing::Test { dt::TempRoot root; const mode_t mask = umask(022); ~Hardening() override { umask(mask); } };

// The switch and the WPS button address wl0, whichever interface a command
// selected last: a guest network switched off stays off. A NUL byte in
// board.conf spoils its line only; the lines after it are read.
TEST_F(Hardening, BoardInputsActOnWl0AndTheirMapIsReadWhole)
{
    dt::install_stubs(root, {"nvram", "nbtscan"});
    dt::seed({{"wlSsidIdx", "2"}, {"wlEnbl_wl0v2", "0"}, {"wlWscMode_wl0v0", "enabled"}});
    disable_wireless(), enable_wireless();
    EXPECT_EQ(dt::stored("wlEnbl_wl0v0") + dt::stored("wlEnbl_wl0v2"), "10");
    for (const char *wps : {"0", "0", "0", "0", "1"})  // held four passes, then let go
        root.board("wps_button", wps), Varno_monitor();
    EXPECT_EQ(dt::stub_calls(root).size(), 7u) << "the seven nvram lines of a push-button enrolment";

    dorvan_reset_process_state();  // the map is read once a process
    dt::run("mkdir -p " + root.file("etc/dorvan") + " " + root.file("gw") + " && echo 1 >" + root.file("gw/wps") +
            " && printf 'switch file /gw/sw -\\0 x\\nwps file /gw/wps -\\n' >" + root.file("etc/dorvan/board.conf"));
    std::string out;
    EXPECT_EQ(dorvan_board_report(&out), -1);
    EXPECT_EQ(out.substr(out.find("\nswitch")),
              "\nswitch - - - - failed: board.conf line 1: NUL byte\nwps file /gw/wps - active-high held\n");
}

// root's dorvan-cfg under umask 077, then root's front end under umask 0, on
// an empty root of a daemon run as nobody: folders, pipes, locks and trace
// are that user's, files the owner's only, also a reply pipe and a lock an
// older build left to all; a link at the lock is refused. That user's front
// ends still work.
TEST_F(Hardening, PipesLockAndTraceAreTheDaemonUsersOnly)
{
    if (geteuid() != 0 || dt::run("setpriv --reuid=65534 test -x " + dt::bin("dorvand")) != 0)
        GTEST_SKIP() << "needs root, setpriv, and a build nobody can run";
    umask(0);
    auto mode = [&](const char *rel, const char *m = "600") { return dt::run("test \"$(stat -c '%a %u' " + root.file(rel) + " 2>/dev/null)\" = '" + m + " 65534'"); };
    const std::string cfg = "env -u DORVAN_LOG -u DORVAN_TRACE " + dt::bin("dorvan-cfg") + " set wlSsid_wl0v2 QQ 2>&1", lock = root.file("var/dorvan/cfg.lock");
    ASSERT_EQ(dt::run("rm -rf " + root.path() + "/* && chown nobody: " + root.path() + " && umask 077 && " + cfg), 0);
    EXPECT_EQ(mode("var", "755") + mode("var/dorvan", "755") + mode("var/dorvan/cfg.lock"), 0);
    std::string said;
    EXPECT_NE(dt::run("ln -sf " + root.file("made") + " " + lock + " && " + cfg, &said), 0);
    EXPECT_EQ(said.substr(said.rfind('\n', said.size() - 2) + 1) + (dt::exists(root.file("made")) ? "made" : ""), "dorvan-cfg: cannot lock " + lock + ": Too many levels of symbolic links\n");
    ASSERT_EQ(dt::run("rm " + lock + " && touch " + lock) + mkfifo(root.file(REPLY_PIPE).c_str(), 0666) + dt::run("chown -R nobody: " + root.path()), 0);
    dt::run(dt::bin("dorvan") + " --timeout 5 wlwds show >" + root.file("out") + " &");
    EXPECT_GE(dt::wait_for([&] { return mode(REQUEST_PIPE) == 0; }, 3), 0);
    dt::Daemon d(root, {}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    EXPECT_GE(dt::wait_for([&] { return dt::read_file(root.file("out")).find("AP Mode") == 0; }, 3), 0);
    for (const char *rel : {REPLY_PIPE, "var/dorvan/frontend.lock", "var/dorvan/cfg.lock", "trace"})
        EXPECT_EQ(mode(rel), 0) << rel;
    EXPECT_EQ(dt::front_end("--timeout 3 wlwds", "setpriv --reuid=65534 --regid=65534 --clear-groups").status, 0);
}

// A root another user may change (their folder, or one on the way anyone
// may write) is not served: root's daemon handed them its secrets and ran
// the hostapd.conf they edited. A sticky folder is fine.
TEST_F(Hardening, RootOthersMayChangeIsNotServed)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    for (const auto &c : std::vector<std::pair<std::string, int>>{{"chmod 1777 .", -1}, {"chmod 775 var", -1}, {"chmod 775 var && chgrp nogroup var", 255}, {"chown nobody: var/dorvan", 255}}) {
        ASSERT_EQ(dt::run("cd " + root.path() + " && chmod 700 . && chmod 755 var && chown -R root: . && " + c.first), 0);
        EXPECT_EQ(dt::Daemon(root).wait_exit(1500), c.second) << c.first;  // killed when not ended
    }
    // A link its owner may swap, and a relative root in their folder; our own link is fine.
    ASSERT_EQ(dt::run("cd " + root.path() + " && mkdir real theirs && ln -s real mine && ln -s real lnk && "
                      "chown -h nobody lnk && chown nobody theirs"), 0);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof(here)), nullptr);
    for (auto [at, cwd, want] : std::vector<std::tuple<std::string, std::string, int>>{
             {root.file("mine/r"), here, -1}, {root.file("lnk/r"), here, 255}, {"r", root.file("theirs"), 255}}) {
        setenv("DORVAN_ROOT", at.c_str(), 1);
        ASSERT_EQ(chdir(cwd.c_str()), 0);
        EXPECT_EQ(dt::Daemon(root).wait_exit(1500), want) << at;
    }
    ASSERT_EQ(chdir(here), 0);
    setenv("DORVAN_ROOT", root.path().c_str(), 1);
    EXPECT_EQ(dt::occurrences(root.log(), "may be changed by user"), 4u) << "our own group may write";
}
