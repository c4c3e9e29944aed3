// dorvand driving hostapd (driver=none: no radio, no interface touched) or a
// stand-in for it: supervision, fall-backs, control sockets, and what
// dorvan-cfg radio shows against hostile neighbours.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "cfg_framework.h"
#include "clock.h"
#include "radio/radio.h"
#include "testutil.h"

namespace {

const char kHostapd[] = "/usr/sbin/hostapd";
const char kIf[] = "dvt0";

struct RadioE2E : ::testing::Test {
    dt::TempRoot root;
    std::unique_ptr<dt::Daemon> d;

    void SetUp() override
    {
        if (access(kHostapd, X_OK) != 0)
            GTEST_SKIP() << "hostapd not installed";
        setenv("DORVAN_RADIO", "hostapd", 1);
        setenv("DORVAN_HOSTAPD_DRIVER", "none", 1);
        setenv("DORVAN_RADIO_IFNAME", kIf, 1);
    }
    void start(const std::vector<std::string> &args = {}) { d.reset(new dt::Daemon(root, args)); }

    std::string ctl(const char *cmd)
    {
        std::string reply;
        return radio_request(kIf, cmd, &reply, 500) == 0 ? reply : std::string("<none>");
    }
    std::string conf() { return dt::read_file(root.file("var/dorvan/radio/hostapd.conf")); }
    long pid()
    {
        std::string p = dt::read_file(root.file("var/dorvan/radio/hostapd.pid"));
        return p.empty() ? -1 : atol(p.c_str());
    }
    bool up() { return dt::wait_for([&] { return ctl("STATUS").find("state=ENABLED") != std::string::npos; }, 10) >= 0; }
    size_t traced(const std::string &line) { return dt::count_line(root.trace(), line); }
    // n passes of the daemon, in microseconds.
    useconds_t passes(int n) { return (useconds_t)(n * span_ms(SPAN_PASS) * 1000); }
    // A python3 program at root/prog, or "" when there is no python3.
    std::string program(const std::string &text)
    {
        dt::write_file(root.file("prog"), "#!/usr/bin/python3\nimport os, signal, socket, sys, time\n" + text);
        chmod(root.file("prog").c_str(), 0755);
        return access("/usr/bin/python3", X_OK) == 0 ? root.file("prog") : "";
    }
    // dorvan-cfg's output; none when it hung.
    std::string cfg(const std::string &a) { return dt::run("timeout 5 " + dt::bin("dorvan-cfg") + " " + a, &out), out; }
    std::string out;
    size_t faked(const std::string &line) { return dt::count_line(dt::lines(dt::read_file(root.file("fake.log"))), line); }
};

// The settings' mapping is the plan's unit test, what reaches the air the
// VM test's; here, supervising the real program: killed, it is back within
// the first back-off step, named on file, and it never outlives dorvand. A
// relative root: hostapd is given whole paths, dorvan-cfg with the whole
// root knows it for ours.
TEST_F(RadioE2E, KilledHostapdIsBackTakesRegistrarSettingsNeverOutlivesDorvand)
{
    setenv("DORVAN_PASS_MS", "250", 1);
    size_t slash = root.path().rfind('/');
    d.reset(new dt::Daemon(root, {"-v", "1"}, {"env", "-C", root.path().substr(0, slash), "DORVAN_ROOT=" + root.path().substr(slash + 1)}));
    ASSERT_TRUE(up());
    EXPECT_TRUE(dt::has_line(cfg("radio"), "# hostapd dvt0: ENABLED")) << out;
    long before = pid();
    ASSERT_GT(before, 0);
    // A full disk as the new one starts: its pid lands on file later.
    std::string tmp = root.file("var/dorvan/radio/hostapd.pid.tmp." + std::to_string(d->pid()));
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    kill((pid_t)before, SIGKILL);
    ASSERT_GE(dt::wait_for([&] { return dt::occurrences(root.log(), " started\n") == 2; }, 2.5), 0) << root.log();
    ASSERT_EQ(rmdir(tmp.c_str()), 0);
    EXPECT_GE(dt::wait_for([&] { return pid() > 0 && pid() != before; }, 2.5), 0);
    ASSERT_TRUE(up());

    // An external registrar's settings: hostapd leaves our file alone, the
    // data model takes them (stored, saved, one log line and trace event)
    // and the radio runs them from there.
    dt::ask("wlsecurity wpssetup --interface wl0 --operation configureAP --configmode pin");
    // WPS on is a restart: wait for the new hostapd to be up.
    ASSERT_GE(dt::wait_for([&] { return dt::has_line(ctl("GET_CONFIG"), "wps_state=not configured") &&
                                        dt::has_line(ctl("STATUS"), "state=ENABLED"); }, 15), 0);
    // hostapd_cli's wps_config: SSID and key as hex. A line break in the
    // SSID is refused with one log line, nothing stored.
    EXPECT_EQ(ctl("WPS_CONFIG 45760a6d61785f6e756d5f7374613d31 WPA2PSK CCMP 4e6577506173732d32303234"), "OK\n");
    ASSERT_GE(dt::wait_for([&] { return root.log().find("not taken: a control byte") != std::string::npos; }, 5), 0)
        << root.log();
    EXPECT_EQ(ctl("WPS_CONFIG 4e65774e6574 WPA2PSK CCMP 4e6577506173732d32303234"), "OK\n");
    ASSERT_GE(dt::wait_for([&] { return dt::has_line(dt::read_file(root.file("trace")), "apply\twps-settings\twl0"); }, 5), 0);
    EXPECT_GE(dt::wait_for([&] { return dt::has_line(ctl("GET_CONFIG"), "ssid=NewNet"); }, 5), 0);
    for (const char *flash : {"", "--flash "})
        EXPECT_EQ(cfg(std::string(flash) + "get wlSsid_wl0v0 wlWpaPsk_wl0v0 wlAuthMode_wl0v0 wlWpa_wl0v0"),
                  "NewNet\nNewPass-2024\npsk2\naes\n") << flash;
    EXPECT_EQ(dt::read_file(root.file("var/dorvan/radio/hostapd.conf")).find("#WPS#"), std::string::npos);
    EXPECT_EQ(dt::occurrences(root.log(), "settings from a registrar"), 2u) << root.log();
    long last = pid();
    d->kill_now();
    EXPECT_GE(dt::wait_for([&] { return kill((pid_t)last, 0) != 0 || dt::read_file("/proc/" + std::to_string(last) + "/stat").find(") Z") != std::string::npos; }, 2), 0);
}

// A hostapd still starting is never signalled (SIGHUP would kill it); a WPS
// request it received but did not answer is not sent again.
TEST_F(RadioE2E, SlowHostapdUnreadableModelAndUnwritableConfiguration)
{
    // A hostapd that takes 0.3 s to install its handlers and control socket,
    // answers PING and the live-change and ACL commands (FAIL when they carry
    // "fail", and to a channel switch), records every request and signal. The first one
    // ignores SIGTERM.
    std::string prog = program(R"(r = os.environ['DORVAN_ROOT']; log = open(r + '/fake.log', 'a', buffering=1); log.write('start\n')
signal.alarm(30); first = log.tell() == 6; time.sleep(0.3); signal.signal(signal.SIGHUP, lambda *a: log.write('hup\n'))
first and signal.signal(signal.SIGTERM, signal.SIG_IGN)
p = r + '/var/run/hostapd/dvt0'; os.makedirs(os.path.dirname(p), exist_ok=True)
os.path.exists(p) and os.unlink(p); s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); s.bind(p)
while True:
    d, a = s.recvfrom(4096); s.sendto(b'PONG\n', a) if d == b'PING' else log.write(d.decode() + '\n')
    d.split()[0] in (b'SET', b'RELOAD_WPA_PSK', b'ACCEPT_ACL', b'CHAN_SWITCH') and s.sendto(b'FAIL\n' if b'fail' in d or b'CHAN' in d else b'OK\n', a)
)");
    if (prog.empty())
        GTEST_SKIP() << "no python3";
    setenv("DORVAN_HOSTAPD", prog.c_str(), 1);
    setenv("DORVAN_PASS_MS", "250", 1);
    setenv("DORVAN_PICKUP", "immediate", 1);
    start();
    ASSERT_GE(dt::wait_for([&] { return faked("start") == 1; }, 3), 0);
    usleep(passes(3));
    // A restart only signals under the lock: one that ignores SIGTERM is
    // killed at its deadline, later. A re-read at once after the start.
    // Until it is gone its pid stays on file, for a dorvand killed meanwhile.
    long ending = pid();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dt::ask("wladv config --wlChannel 3"), "wireless advanced setting is configured successfully!!\n");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 0.4);
    EXPECT_EQ(pid(), ending);
    ASSERT_GE(dt::wait_for([&] { return faked("start") == 2; }, 3), 0) << root.log();
    // A guest not in the configuration has no file of its own (its passphrase).
    dt::write_file(root.file("var/dorvan/radio/hostapd-wl0.1.conf"), "as an ADD writes it\n");
    EXPECT_EQ(dt::ask("wlinterface enable --interface wl0 --wlSsid second"), "enable wl0 successfully!!\n");
    EXPECT_GE(dt::wait_for([&] { return faked("hup") == 1; }, 3), 0) << dt::read_file(root.file("fake.log"));
    EXPECT_NE(root.log().find("did not end on SIGTERM: killed"), std::string::npos) << root.log();
    EXPECT_EQ(root.log().find("ended"), std::string::npos) << root.log();
    // A passphrase alone goes to its BSS; one hostapd refuses is re-read,
    // and so is a hexadecimal key, even after another.
    for (std::string pass : {"live-pass-1", "fail-pass-2", "ab", "cd"})
        EXPECT_EQ(dt::ask("wlsecurity manualsetup --interface wl0 --wlAuthMode psk2 --wlWpaPsk " +
                          (pass.size() == 2 ? std::string(32, pass[0]) + std::string(32, pass[1]) : pass)),
                  "execute manualsetup successfully!!\n");
    EXPECT_GE(dt::wait_for([&] { return faked("hup") == 4; }, 3), 0) << dt::read_file(root.file("fake.log"));
    EXPECT_EQ(faked("SET wpa_passphrase live-pass-1") + faked("RELOAD_WPA_PSK") + traced("apply\tpsk\twl0"), 3u);
    // The MAC filter on, then off: the mode accepts all again before the
    // list empties, so no listed station drops on the way.
    for (const char *op : {"addmac --interface wl0 --macaddr 02:00:00:00:00:05", "allow --interface wl0", "disable --interface wl0"})
        dt::ask(std::string("wlmacfilter ") + op);
    ASSERT_GE(dt::wait_for([&] { return traced("apply\tacl\twl0") == 2; }, 3), 0) << root.log();
    EXPECT_FALSE(dt::exists(root.file("var/dorvan/radio/hostapd-wl0.maclist")) || dt::exists(root.file("var/dorvan/radio/hostapd-wl0.1.conf")));
    std::string got = dt::read_file(root.file("fake.log"));
    EXPECT_NE(got.find("ACCEPT_ACL ADD_MAC 02:00:00:00:00:05\nSET macaddr_acl 1\nACCEPT_ACL DEL_MAC 00:00:00:00:00:00\n"
                       "SET macaddr_acl 0\nACCEPT_ACL DEL_MAC 02:00:00:00:00:05\n"), std::string::npos) << got;

    EXPECT_EQ(dt::ask("wlsecurity wpssetup --interface wl0 --operation addenrollee_PBC"),
              "execute setupwps successfully!!\n");
    EXPECT_GE(dt::wait_for([&] { return root.log().find("WPS WPS_PBC sent, no reply from hostapd") != std::string::npos; }, 3), 0)
        << root.log();
    usleep(passes(4));  // the passes that could send it again
    EXPECT_EQ(faked("WPS_PBC"), 1u);
    // The push button, held four passes and let go, is one more.
    root.board("wps_button", "0");
    usleep(passes(5));
    root.board("wps_button", "1");
    EXPECT_GE(dt::wait_for([&] { return faked("WPS_PBC") == 2 && traced("unlock\tVarno_monitor") == 1; }, 3), 0) << root.log();

    // hostapd keeps its configuration while the data model cannot be read,
    // and a configuration that could not be written is written later.
    long first = pid();
    std::string mdm = root.file("var/dorvan/mdm.db");
    ASSERT_EQ(rename(mdm.c_str(), (mdm + ".away").c_str()), 0);
    ASSERT_EQ(mkfifo(mdm.c_str(), 0600), 0);
    EXPECT_GE(dt::wait_for([&] { return root.log().find("data model not read") != std::string::npos; }, 3), 0);
    usleep(passes(2));
    EXPECT_EQ(pid(), first);
    EXPECT_EQ(traced("apply\tstop"), 0u);
    ASSERT_EQ(rename((mdm + ".away").c_str(), mdm.c_str()), 0);

    // Full disk, as far as the temp file goes: the change waits, then lands.
    std::string tmp = root.file("var/dorvan/radio/hostapd.conf.tmp." + std::to_string(d->pid()));
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    EXPECT_EQ(dt::ask("wlinterface enable --interface wl0 --wlSsid Later"), "enable wl0 successfully!!\n");
    EXPECT_GE(dt::wait_for([&] { return root.log().find("not written: tried again later") != std::string::npos; }, 3), 0);
    EXPECT_EQ(conf().find("\nssid=Later\n"), std::string::npos);
    ASSERT_EQ(rmdir(tmp.c_str()), 0);
    EXPECT_GE(dt::wait_for([&] { return conf().find("\nssid=Later\n") != std::string::npos; }, 4), 0) << root.log();
    EXPECT_GE(dt::wait_for([&] { return faked("hup") == 5; }, 2), 0);
    EXPECT_EQ(pid(), first);
}

// A PONG from a socket planted at hostapd's path is not hostapd's: one still
// starting is not signalled to re-read (SIGHUP would end it).
TEST_F(RadioE2E, PlantedPongIsNoAnswer)
{
    std::string prog = program(R"(os.fork() and sys.exit(time.sleep(15)); signal.alarm(15); p = os.environ['DORVAN_ROOT'] + '/var/run/hostapd'
os.makedirs(p, exist_ok=True); s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); s.bind(p + '/dvt0')
while True: d, a = s.recvfrom(64); s.sendto(b'PONG\n', a)
)");
    if (prog.empty())
        GTEST_SKIP() << "no python3";
    setenv("DORVAN_HOSTAPD", prog.c_str(), 1);
    setenv("DORVAN_PASS_MS", "250", 1);
    start({"-v", "1"});
    ASSERT_GE(dt::wait_for([&] { return dt::exists(root.file("var/run/hostapd/dvt0")); }, 3), 0);
    cfg("set wlSsid_wl0v0 other");
    ASSERT_GE(dt::wait_for([&] { return dt::has_line(conf(), "ssid=other"); }, 3), 0);
    usleep(passes(3));
    EXPECT_EQ(traced("apply\treload"), 0u) << root.log();
}

// A program that cannot be executed says why in hostapd's output file, and
// that file is never followed through a link.
TEST_F(RadioE2E, FailingProgramSaysWhyAndItsLogNeverFollowsALink)
{
    std::string victim = root.file("victim");
    dt::write_file(victim, "keep me\n");
    mkdir(root.file("var/dorvan/radio").c_str(), 0700);
    std::string log = root.file("var/dorvan/radio/hostapd.log");
    ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
    setenv("DORVAN_HOSTAPD", root.file("var").c_str(), 1);
    setenv("DORVAN_PASS_MS", "100", 1);
    start({"-v", "1"});
    ASSERT_GE(dt::wait_for([&] { return root.log().find("exit status 127") != std::string::npos; }, 3), 0);
    EXPECT_EQ(dt::read_file(victim), "keep me\n");
    EXPECT_NE(root.log().find("hostapd.log is not a regular file"), std::string::npos) << root.log();
    ASSERT_EQ(unlink(log.c_str()), 0);
    const std::string why = "cannot execute " + root.file("var") + ": Permission denied";
    EXPECT_GE(dt::wait_for([&] { return dt::read_file(log).find(why) != std::string::npos; }, 3), 0) << dt::read_file(log);
}

using RadioHardening = RadioE2E;

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
    EXPECT_TRUE(dt::has_line(cfg("radio"), "# no " + radio + "/hostapd.conf: hostapd never configured"));
    dt::write_file(radio + "/hostapd.conf", "interface=dvt0\nwpa_passphrase=secret-77\nbss=dvt0-1\n");
    dt::seed({{"wlMaxAssoc_wl0v0", "0"}});
    // The board file says off, the map's file says on: the refusal shows.
    root.board("wireless_switch", "1");
    dt::write_file(root.file("etc/dorvan/board.conf"), "switch file /gw/switch -\n");
    dt::write_file(root.file("gw/switch"), "1\n");
    EXPECT_TRUE(dt::has_line(cfg("radio"), "# refused: wlMaxAssoc_wl0v0") && dt::has_line(out, "wpa_passphrase=********")) << out;
    // A FIFO at the board file: nothing waits for a writer.
    ASSERT_EQ(unlink(root.file("etc/dorvan/board.conf").c_str()) | unlink(sw.c_str()) | mkfifo(sw.c_str(), 0600), 0);
    EXPECT_TRUE(dt::has_line(cfg("radio"), "# hostapd dvt0: not running"));
    ASSERT_EQ(unlink(sw.c_str()), 0);

    // A hostapd of ours (its pid file, our configuration on its command
    // line) that is silent, or answers with terminal escapes.
    auto fake = [&](const char *mode, const char *conf = "/hostapd.conf") {
        unlink((ctl + "/dvt0").c_str());
        dt::run(prog + " " + radio + conf + " " + mode + " " + ctl + "/dvt0 >/dev/null 2>&1 & echo $! > " + radio +
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
    EXPECT_GE(dt::wait_for([&] { return dt::has_line(dt::read_file(later), "# hostapd dvt0: hostapd " + pid + " running, no reply\n"
                                        "# hostapd dvt0-1: hostapd " + pid + " running, no control socket"); }, 3), 0);
    kill((pid_t)atol(pid.c_str()), SIGKILL);
    pid_t escaping = (pid_t)fake("escape");
    EXPECT_TRUE(dt::has_line(cfg("radio"), "# hostapd dvt0: ?]0;owned?ENABLED"));
    // The same answer from a socket planted while ours is not running: the
    // program the pid file names has a longer path than ours.
    kill(escaping, SIGKILL);
    escaping = (pid_t)fake("escape", "/hostapd.conf.old");
    EXPECT_TRUE(dt::has_line(cfg("radio"), "# hostapd dvt0: " + ctl + "/dvt0 is not our hostapd's socket (process " +
                                      std::to_string(escaping) + "): ours is not running"));
    kill(escaping, SIGKILL);
}

}  // namespace
