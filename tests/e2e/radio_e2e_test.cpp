// dorvand driving a real hostapd (driver=none: no radio, no interface
// touched), read back through hostapd's control socket.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "clock.h"
#include "radio/radio.h"
#include "testutil.h"

namespace {

const char kHostapd[] = "/usr/sbin/hostapd";
const char kIf[] = "dvt0";

size_t count(const dt::Lines &lines, const std::string &line)
{
    return (size_t)std::count(lines.begin(), lines.end(), line);
}

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
    size_t traced(const std::string &line) { return count(root.trace(), line); }
    // n passes of the daemon, in microseconds.
    useconds_t passes(int n) { return (useconds_t)(n * span_ms(SPAN_PASS) * 1000); }
    // A hostapd that takes 0.3 s to install its handlers and control socket,
    // answers PING and the live-change and ACL commands (FAIL when they carry
    // "fail"), records every other request and signal. The first one
    // ignores SIGTERM.
    bool fake()
    {
        std::string prog = root.file("fake-hostapd");
        dt::write_file(prog, std::string("#!/usr/bin/python3\n") + R"(import os, signal, socket, time
r = os.environ['DORVAN_ROOT']; log = open(r + '/fake.log', 'a', buffering=1); log.write('start\n')
signal.alarm(30); first = log.tell() == 6; time.sleep(0.3); signal.signal(signal.SIGHUP, lambda *a: log.write('hup\n'))
first and signal.signal(signal.SIGTERM, signal.SIG_IGN)
p = r + '/var/run/hostapd/dvt0'; os.makedirs(os.path.dirname(p), exist_ok=True)
os.path.exists(p) and os.unlink(p); s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); s.bind(p)
while True:
    d, a = s.recvfrom(4096); s.sendto(b'PONG\n', a) if d == b'PING' else log.write(d.decode() + '\n')
    d.split()[0] in (b'SET', b'RELOAD_WPA_PSK', b'ACCEPT_ACL') and s.sendto(b'FAIL\n' if b'fail' in d else b'OK\n', a)
)");
        chmod(prog.c_str(), 0755);
        setenv("DORVAN_HOSTAPD", prog.c_str(), 1);
        setenv("DORVAN_PASS_MS", "250", 1);
        return access("/usr/bin/python3", X_OK) == 0;
    }
    size_t faked(const std::string &line) { return count(dt::lines(dt::read_file(root.file("fake.log"))), line); }
};

// The settings' mapping is the plan's unit test, what reaches the air the
// VM test's; here, supervising the real program: killed, it is back within
// the first back-off step, and it never outlives dorvand.
TEST_F(RadioE2E, KilledHostapdIsBackAndNeverOutlivesDorvand)
{
    setenv("DORVAN_PASS_MS", "250", 1);
    start();
    ASSERT_TRUE(up());
    long before = pid();
    ASSERT_GT(before, 0);
    kill((pid_t)before, SIGKILL);
    EXPECT_GE(dt::wait_for([&] { return pid() > 0 && pid() != before; }, 2.5), 0);
    ASSERT_TRUE(up());
    long last = pid();
    d->kill_now();
    EXPECT_GE(dt::wait_for([&] { return kill((pid_t)last, 0) != 0 || dt::read_file("/proc/" + std::to_string(last) + "/stat").find(") Z") != std::string::npos; }, 2), 0);
}

// A hostapd still starting is never signalled (SIGHUP would kill it); a WPS
// request it received but did not answer is not sent again.
TEST_F(RadioE2E, SlowHostapdUnreadableModelAndUnwritableConfiguration)
{
    if (!fake())
        GTEST_SKIP() << "no python3";
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
    std::string got = dt::read_file(root.file("fake.log"));
    EXPECT_LT(got.find("ACCEPT_ACL ADD_MAC 02:00:00:00:00:05\nSET macaddr_acl 1\n"), got.find("SET macaddr_acl 0\nACCEPT_ACL DEL_MAC 02:00:00:00:00:05\n")) << got;

    EXPECT_EQ(dt::ask("wlsecurity wpssetup --interface wl0 --operation addenrollee_PBC"),
              "execute setupwps successfully!!\n");
    EXPECT_GE(dt::wait_for([&] { return root.log().find("WPS WPS_PBC sent, no reply from hostapd") != std::string::npos; }, 3), 0)
        << root.log();
    usleep(passes(4));  // the passes that could send it again
    EXPECT_EQ(faked("WPS_PBC"), 1u);

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

// A program that cannot be executed: its starts back off, it says why in hostapd's output file, and that file is
// never followed through a link.
TEST_F(RadioE2E, FailingProgramBacksOffAndItsLogNeverFollowsALink)
{
    std::string victim = root.file("victim");
    dt::write_file(victim, "keep me\n");
    mkdir(root.file("var/dorvan/radio").c_str(), 0700);
    std::string log = root.file("var/dorvan/radio/hostapd.log");
    ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
    setenv("DORVAN_HOSTAPD", root.file("var").c_str(), 1);
    setenv("DORVAN_PASS_MS", "100", 1);
    const double pass = span_ms(SPAN_PASS) / 1000.0;
    start({"-v", "1"});
    ASSERT_GE(dt::wait_for([&] { return root.log().find("exit status 127") != std::string::npos; }, 3), 0);
    EXPECT_EQ(dt::read_file(victim), "keep me\n");
    EXPECT_NE(root.log().find("hostapd.log is not a regular file"), std::string::npos) << root.log();
    ASSERT_EQ(unlink(log.c_str()), 0);
    // Starts at 0, 1, 3, 7 and 15 passes: five in 16 (seven at most in 60).
    auto t0 = std::chrono::steady_clock::now();
    double worst = 0;
    while (std::chrono::steady_clock::now() - t0 < std::chrono::duration<double>(16 * pass)) {
        auto a = std::chrono::steady_clock::now();
        EXPECT_NE(dt::ask("wlinterface show"), "<timeout>");
        worst = std::max(worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
    }
    size_t starts = dt::occurrences(root.log(), " started\n");
    EXPECT_GE(starts, 4u);
    EXPECT_LE(starts, 5u);
    EXPECT_LT(worst, 2.2 * pass);
    EXPECT_NE(dt::read_file(log).find("cannot execute " + root.file("var") + ": Permission denied"),
              std::string::npos) << dt::read_file(log);
}

}  // namespace
