// The radio room against hostile neighbours and careless settings: what
// hostapd may be given, and what dorvan-cfg radio shows.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cfg_framework.h"
#include "radio/radio.h"
#include "radio/radio_internal.h"
#include "testutil.h"

namespace {

bool has(const std::string &text, const std::string &line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

struct RadioHardening : ::testing::Test {
    dt::TempRoot root;
    void SetUp() override { setenv("DORVAN_RADIO_IFNAME", "dvt0", 1); }
    // A python3 program at root/prog, or "" when there is no python3.
    std::string program(const std::string &text)
    {
        dt::write_file(root.file("prog"), "#!/usr/bin/python3\nimport os, socket, sys, time\n" + text);
        chmod(root.file("prog").c_str(), 0755);
        return access("/usr/bin/python3", X_OK) == 0 ? root.file("prog") : "";
    }
    // dorvan-cfg's output; none when it hung.
    std::string cfg(const std::string &a) { return dt::run("timeout 5 " + dt::bin("dorvan-cfg") + " " + a, &out), out; }
    std::string out;
};

// dorvan-cfg radio: the switch through the board map, never blocked by a
// planted file, the lock free while hostapd is asked, and each socket told
// by who answers it.
TEST_F(RadioHardening, CfgRadioReadsTheMapBlocksNothingAndTellsWhoAnswers)
{
    const std::string prog = program(R"(s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); s.bind(sys.argv[3])
while True:
    d, a = s.recvfrom(4096); open(sys.argv[3] + '.got', 'a').write('got\n')
    sys.argv[2] == 'escape' and s.sendto(b'state=\x1b]0;owned\x07ENABLED\n', a)
)");
    if (prog.empty())
        GTEST_SKIP() << "no python3";
    const std::string radio = root.file("var/dorvan/radio"), ctl = root.file("var/run/hostapd"),
                      sw = root.file("var/dorvan/board/wireless_switch");
    ASSERT_EQ(dt::run("mkdir -p " + radio + " " + ctl + " " + root.file("gw") + " " + root.file("etc/dorvan")), 0);
    EXPECT_TRUE(has(cfg("radio"), "# no " + radio + "/hostapd.conf: hostapd never configured"));
    dt::write_file(radio + "/hostapd.conf", "interface=dvt0\nwpa_passphrase=secret-77\nbss=dvt0-1\n");
    dt::seed({{"wlMaxAssoc_wl0v0", "0"}});
    // The board file says off, the map's file says on: the refusal shows.
    root.board("wireless_switch", "1");
    dt::write_file(root.file("etc/dorvan/board.conf"), "switch file /gw/switch -\n");
    dt::write_file(root.file("gw/switch"), "1\n");
    EXPECT_TRUE(has(cfg("radio"), "# refused: wlMaxAssoc_wl0v0") && has(out, "wpa_passphrase=********")) << out;
    // A FIFO at the board file: nothing waits for a writer.
    ASSERT_EQ(unlink(root.file("etc/dorvan/board.conf").c_str()) | unlink(sw.c_str()) | mkfifo(sw.c_str(), 0600), 0);
    EXPECT_TRUE(has(cfg("radio"), "# hostapd dvt0: not running"));
    ASSERT_EQ(unlink(sw.c_str()), 0);

    // A hostapd of ours (its pid file, our configuration on its command
    // line) that is silent, or answers with terminal escapes.
    auto fake = [&](const char *mode) {
        unlink((ctl + "/dvt0").c_str());
        dt::run(prog + " " + radio + "/hostapd.conf " + mode + " " + ctl + "/dvt0 >/dev/null 2>&1 & echo $! > " + radio +
                "/hostapd.pid");
        EXPECT_GE(dt::wait_for([&] { return dt::exists(ctl + "/dvt0"); }, 3), 0);
        return atol(dt::read_file(radio + "/hostapd.pid").c_str());
    };
    std::string pid = std::to_string(fake("silent")), later = root.file("out");
    dt::run("timeout 5 " + dt::bin("dorvan-cfg") + " radio > " + later + " 2>&1 &");
    ASSERT_GE(dt::wait_for([&] { return dt::exists(ctl + "/dvt0.got"); }, 3), 0);
    setenv("DORVAN_LOCK_WAIT_MS", "0", 1);
    EXPECT_EQ(cfgLck_acquireLockTraced("test"), CFG_RET_SUCCESS);
    cfgLck_releaseLockTraced("test");
    EXPECT_GE(dt::wait_for([&] { return has(dt::read_file(later), "# hostapd dvt0: hostapd " + pid + " running, no reply\n"
                                        "# hostapd dvt0-1: hostapd " + pid + " running, no control socket"); }, 3), 0);
    kill((pid_t)atol(pid.c_str()), SIGKILL);
    pid_t escaping = (pid_t)fake("escape");
    EXPECT_TRUE(has(cfg("radio"), "# hostapd dvt0: ?]0;owned?ENABLED"));
    // The same answer from a socket planted while ours is not running.
    unlink((radio + "/hostapd.pid").c_str());
    EXPECT_TRUE(has(cfg("radio"), "# hostapd dvt0: " + ctl + "/dvt0 is not our hostapd's socket (process " +
                                      std::to_string(escaping) + "): ours is not running"));
    kill(escaping, SIGKILL);
}

// A program's burst beyond the bound, then why it ended: hostapd.log keeps
// its newest whole lines within 256 KiB, and dorvand's files keep their modes
// under any umask.
TEST_F(RadioHardening, HostapdLogIsBoundedFilesKeepTheirModes)
{
    // Its next run stays quiet: the first one's lines are there to be read.
    std::string prog = program(R"(r = os.environ['DORVAN_ROOT'] + '/ran'
os.path.exists(r) and time.sleep(60); open(r, 'w')
for n in range(4000): os.write(1, b'line %09d %s\n' % (n, b'x' * 100))
os.write(2, b'last words\n'); sys.exit(3)
)");
    if (prog.empty())
        GTEST_SKIP() << "no python3";
    setenv("DORVAN_RADIO", "hostapd", 1);
    setenv("DORVAN_HOSTAPD", prog.c_str(), 1);
    setenv("DORVAN_PASS_MS", "250", 1);
    mode_t old = umask(077);
    dt::Daemon d(root, {"-v", "1"});
    umask(old);
    std::string log = root.file("var/dorvan/radio/hostapd.log"), pidFile = root.file("var/dorvan/radio/hostapd.pid");
    ASSERT_GE(dt::wait_for([&] { return root.log().find("exit status 3") != std::string::npos && dt::exists(pidFile); },
                           20), 0) << root.log();
    std::string text = dt::read_file(log), last = "line 000003999 " + std::string(100, 'x') + "\nlast words\n";
    EXPECT_TRUE(text.size() <= 256 * 1024 && text.size() > last.size() && text.compare(0, 5, "line ") == 0 &&
                text.compare(text.size() - last.size(), last.size(), last) == 0) << text.size() << " " << text.substr(0, 20);
    struct stat st, pid;
    ASSERT_EQ(stat(log.c_str(), &st) | stat(pidFile.c_str(), &pid), 0);
    // dorvan-cfg radio of any user reads the pid file.
    EXPECT_EQ(pid.st_mode & 0777, 0644u);
}

// An external registrar's settings: hostapd leaves our file alone, the data
// model takes them (stored, saved, one log line and trace event) and the
// radio runs them from there.
TEST_F(RadioHardening, RegistrarSettingsGoThroughTheDataModel)
{
    if (access("/usr/sbin/hostapd", X_OK) != 0)
        GTEST_SKIP() << "hostapd not installed";
    setenv("DORVAN_RADIO", "hostapd", 1);
    setenv("DORVAN_HOSTAPD_DRIVER", "none", 1);
    setenv("DORVAN_PASS_MS", "250", 1);
    dt::Daemon d(root, {"-v", "1"});
    std::string reply;
    auto ask = [&](const char *cmd) { return radio_request("dvt0", cmd, &reply, 500) == 0 ? "\n" + reply : ""; };
    dt::ask("wlsecurity wpssetup --interface wl0 --operation configureAP --configmode pin");
    // WPS on is a restart: wait for the new hostapd to be up.
    ASSERT_GE(dt::wait_for([&] { return has(ask("GET_CONFIG"), "wps_state=not configured") &&
                                        has(ask("STATUS"), "state=ENABLED"); }, 15), 0);
    // hostapd_cli's wps_config: SSID and key as hex. A line break in the
    // SSID is refused with one log line, nothing stored.
    EXPECT_EQ(ask("WPS_CONFIG 45760a6d61785f6e756d5f7374613d31 WPA2PSK CCMP 4e6577506173732d32303234"), "\nOK\n");
    ASSERT_GE(dt::wait_for([&] { return root.log().find("not taken: a control byte") != std::string::npos; }, 5), 0)
        << root.log();
    EXPECT_EQ(ask("WPS_CONFIG 4e65774e6574 WPA2PSK CCMP 4e6577506173732d32303234"), "\nOK\n");
    ASSERT_GE(dt::wait_for([&] { return has(dt::read_file(root.file("trace")), "apply\twps-settings\twl0"); }, 5), 0);
    EXPECT_GE(dt::wait_for([&] { return has(ask("GET_CONFIG"), "ssid=NewNet"); }, 5), 0);
    for (const char *flash : {"", "--flash "})
        EXPECT_EQ(cfg(std::string(flash) + "get wlSsid_wl0v0 wlWpaPsk_wl0v0 wlAuthMode_wl0v0 wlWpa_wl0v0"),
                  "NewNet\nNewPass-2024\npsk2\naes\n") << flash;
    EXPECT_EQ(dt::read_file(root.file("var/dorvan/radio/hostapd.conf")).find("#WPS#"), std::string::npos);
    EXPECT_EQ(dt::occurrences(root.log(), "settings from a registrar"), 2u) << root.log();
}

}  // namespace
