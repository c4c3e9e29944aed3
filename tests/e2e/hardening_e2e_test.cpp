// Faults found by trying to break the system as a hostile local user or a
// careless integrator would: each case here failed before its mend.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "dorvan_store.h"
#include "monitor.h"
#include "protocol.h"
#include "testutil.h"

using dt::R;

namespace {

const char kNobody[] = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

// Mode bits and owner of what is at rel, or "missing".
std::string mode_of(const dt::TempRoot &root, const std::string &rel)
{
    struct stat st;
    if (lstat(root.file(rel).c_str(), &st) != 0)
        return "missing";
    char text[32];
    snprintf(text, sizeof(text), "%04o %d", (unsigned)(st.st_mode & 07777), (int)st.st_uid);
    return text;
}

// Passes of the button monitor in a child (its counters live for the
// process); before(i) sets the inputs of pass i. Returns what it printed.
std::string monitor_passes(const dt::TempRoot &root, int n, const std::function<void(int)> &before)
{
    std::string out = root.file("monitor.out");
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "w", stdout))
            _exit(1);
        for (int i = 1; i <= n; i++) {
            before(i);
            Varno_monitor();
        }
        fflush(stdout);
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
    return dt::read_file(out);
}

class HardeningPickup : public dt::PickupTest {};

}  // namespace

DT_IN_BOTH_PICKUP_MODES(HardeningPickup);

// A guest network switched off stays off through the switch, and the WPS
// button looks at wl0, whichever interface a command selected last.
TEST(Hardening, SwitchAndWpsButtonAddressWl0)
{
    dt::TempRoot root;
    dt::install_stubs(root, {"nvram", "nbtscan"});
    dt::seed({{"wlSsidIdx", "2"}, {"wlEnbl_wl0v0", "1"}, {"wlEnbl_wl0v2", "0"},
              {"wlWscMode_wl0v0", "enabled"}, {"wlWscMode_wl0v2", "disabled"}});
    disable_wireless();
    EXPECT_EQ(dt::stored("wlEnbl_wl0v0") + dt::stored("wlEnbl_wl0v2"), "00");
    enable_wireless();
    EXPECT_EQ(dt::stored("wlEnbl_wl0v0") + dt::stored("wlEnbl_wl0v2"), "10");
    std::string out = monitor_passes(root, 5, [&](int i) { root.board("wps_button", i < 5 ? "0" : "1"); });
    EXPECT_NE(out.find("PBC setup wlEnbl=1 wlWscMode=enabled\n"), std::string::npos) << out;
    EXPECT_EQ(dt::stub_calls(root).size(), 7u);
}

// Whatever the umask, the pipes, the front end's lock and the trace are the
// owner's only, also a reply pipe an older build left readable by all.
TEST(Hardening, PipesLockAndTraceAreTheOwnersOnly)
{
    dt::TempRoot root;
    const mode_t umask_was = umask(0);
    ASSERT_EQ(mkfifo(root.file(REPLY_PIPE).c_str(), 0666), 0);
    root.clear_trace();
    const std::string out = root.file("fe.out");
    dt::run(dt::bin("dorvan") + " --timeout 5 wlwds show >" + out + " 2>&1 &");
    ASSERT_GE(dt::wait_for([&] { return dt::exists(root.file(REQUEST_PIPE)); }, 3), 0);
    EXPECT_EQ(mode_of(root, REQUEST_PIPE), "0600 0");
    dt::Daemon d(root);
    ASSERT_GE(dt::wait_for([&] { return dt::read_file(out).find("AP Mode") != std::string::npos; }, 5), 0);
    for (const char *rel : {REPLY_PIPE, "var/dorvan/frontend.lock", "trace"})
        EXPECT_EQ(mode_of(root, rel), "0600 0") << rel;
    // The daemon makes a missing reply pipe itself.
    unlink(root.file(REPLY_PIPE).c_str());
    dt::write_file(root.file(REQUEST_PIPE), R("wlwds"));
    ASSERT_GE(dt::wait_for([&] { return dt::exists(root.file(REPLY_PIPE)); }, 3), 0);
    EXPECT_EQ(mode_of(root, REPLY_PIPE), "0600 0");
    EXPECT_EQ(dt::read_reply(open(root.file(REPLY_PIPE).c_str(), O_RDONLY | O_NONBLOCK), 3000), R("wlwdshelp"));
    umask(umask_was);
}

// root's front end on the root of a daemon run as its own user: what it
// makes is that user's, and that user's front ends go on working.
TEST(Hardening, RootsFrontEndHandsItsFilesToTheDaemonsUser)
{
    if (geteuid() != 0 || dt::run(kNobody + ("test -x " + dt::bin("dorvand")) + " 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root, setpriv, and a build nobody can run";
    dt::TempRoot root;
    ASSERT_EQ(dt::run("chown -R nobody: '" + root.path() + "'"), 0);
    dt::Daemon d(root, {}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    for (const char *who : {"", kNobody}) {
        dt::FrontEndRun r = dt::front_end("--timeout 3 wlwds show", who);
        EXPECT_EQ(r.status, 0) << who << r.said;
    }
    for (const char *rel : {REPLY_PIPE, "var/dorvan/frontend.lock"})
        EXPECT_EQ(mode_of(root, rel), "0600 65534") << rel;
}

// A request whose writer pauses halfway, in a pipe or a regular file, is
// served whole once its writer closes it.
TEST_P(HardeningPickup, HalfWrittenRequestWaitsForItsWriter)
{
    signal(SIGPIPE, SIG_IGN);  // a daemon that stopped reading early must not kill us
    root.board("wps_button", "0");  // a counter line a pass
    dt::Daemon d(root);
    const std::string req = root.file(REQUEST_PIPE), rep = root.file(REPLY_PIPE);
    mkfifo(rep.c_str(), 0600);
    for (const std::string ssid : {"ViaPipe", "ViaFile"}) {
        const bool fifo = ssid == "ViaPipe";
        int rfd = open(rep.c_str(), O_RDONLY | O_NONBLOCK);
        int wfd = fifo ? (mkfifo(req.c_str(), 0600), open(req.c_str(), O_WRONLY))
                       : open(req.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(wfd, 0);
        const std::string first = "wlinterface enable --interface wl0.1", rest = " --wlSsid " + ssid;
        ASSERT_EQ(write(wfd, first.data(), first.size()), (ssize_t)first.size());
        if (fifo) {  // until the daemon has read it
            EXPECT_GE(dt::wait_for([&] { int n = -1; return ioctl(wfd, FIONREAD, &n) == 0 && n == 0; }, 3), 0);
        } else {
            EXPECT_EQ(dt::pass_times(d, 2).size(), 2u);
            EXPECT_TRUE(dt::exists(req)) << "not taken while its writer has it open";
        }
        EXPECT_EQ(write(wfd, rest.c_str(), rest.size() + 1), (ssize_t)rest.size() + 1);
        close(wfd);
        EXPECT_NE(dt::read_reply(rfd, 3000), "") << ssid;
        EXPECT_EQ(dt::stored("wlSsid_wl0v1"), ssid);
    }
}

// A NUL byte in board.conf: its line is bad, the lines after it are read.
TEST(Hardening, BoardConfNulByteSpoilsItsLineOnly)
{
    dt::TempRoot root;
    dt::run("mkdir -p " + root.file("etc/dorvan") + " " + root.file("gw"));
    const char conf[] = "switch file /gw/sw -\0 active-high\nwps file /gw/wps -\n";
    dt::write_file(root.file("etc/dorvan/board.conf"), std::string(conf, sizeof(conf) - 1));
    dt::write_file(root.file("gw/wps"), "1\n");
    std::string out;
    EXPECT_EQ(dorvan_board_report(&out), -1);
    EXPECT_EQ(out.substr(out.find("\nswitch")), "\nswitch - - - - failed: board.conf line 1: NUL byte\n"
                                                "wps file /gw/wps - active-high held\n");
    EXPECT_NE(root.log().find("board.conf:1: NUL byte; switch reads as failed"), std::string::npos) << root.log();
}

// The package's maintainer script in a mount namespace of its own, on an
// empty /var: remove keeps the state, purge takes all of it away.
TEST(Hardening, PurgeRemovesThePackagesStateRemoveKeepsIt)
{
    if (geteuid() != 0 || dt::run("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and mount namespaces";
    dt::TempRoot root;
    dt::install_stubs(root, {"update-rc.d", "deb-systemd-helper", "systemctl"});
    const std::string state = "/var/dorvan/flash.db /var/dorvan/radio/hostapd.conf /var/param_fifo1 "
                              "/var/param_fifo2 /var/scanhosts.name /var/tmp_scanhosts.name "
                              "/var/run/dorvand.pid /var/run/dorvand.pid.lock /var/run/dorvand.pid.lock.d/pid";
    std::string left;
    ASSERT_EQ(dt::run("unshare -m sh -c 'mount -t tmpfs none /var || exit 9; mkdir -p /var/dorvan/radio "
                      "/var/run/dorvand.pid.lock.d /var/lib && touch " + state + " && sh \"$0\" remove && "
                      "ls " + state + " >/dev/null && sh \"$0\" purge && find /var | sort' "
                      DORVAN_SOURCE_DIR "/packaging/debian/postrm 2>&1", &left), 0) << left;
    EXPECT_EQ(left, "/var\n/var/lib\n/var/run\n");
}

// A store from before per-device secrets: its shared passphrases are kept and
// reported, at every start-up and by dorvan-cfg; its shared WPS PIN becomes
// this device's own.
TEST(Hardening, SharedSecretsOfOlderBuildsReportedTheirPinReplaced)
{
    dt::TempRoot root;
    dt::seed({{"wlWpaPsk_wl0v0", "dorvan-home-2417"}, {"wlWpaPsk_wl0v1", "mine-1234"}, {"wlWpaPsk_wl0v3", "dorvan-guest-1"},
              {"wlWscDevPin_wl0v0", "12345670"}, {"wlWscDevPin_wl0v2", "12345670"}});
    const std::string secrets = dt::read_file(root.file("var/dorvan/device.secrets"));
    const std::string own = secrets.substr(secrets.find("wlWscDevPin=") + 12, 8);
    {
        dt::Daemon d(root);
        EXPECT_GE(dt::wait_for([&] { return root.log().find("older builds") != std::string::npos; }, 3), 0);
    }
    EXPECT_EQ(dt::occurrences(root.log(), "\n"), 1u) << root.log();
    EXPECT_NE(root.log().find("passphrase of wl0, wl0.3 is one that every device of older builds shared: kept, "
                              "set your own; their shared WPS device PIN replaced by this device's own"),
              std::string::npos) << root.log();
    std::string said;
    EXPECT_EQ(dt::run("env -u DORVAN_LOG " + dt::bin("dorvan-cfg") +
                      " get wlWscDevPin_wl0v0 wlWscDevPin_wl0v2 wlWpaPsk_wl0v0 2>&1", &said), 0);
    EXPECT_EQ(said.substr(said.find(": ") + 2), "passphrase of wl0, wl0.3 is one that every device of older builds "
                                                "shared: kept, set your own\n" + own + "\n" + own + "\ndorvan-home-2417\n");
}
