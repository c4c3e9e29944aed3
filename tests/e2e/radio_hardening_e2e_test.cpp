// The radio room against hostile neighbours and careless settings: what
// hostapd may be given, and what dorvan-cfg radio shows.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "dorvan_store.h"
#include "radio/radio.h"
#include "radio/radio_internal.h"
#include "cfg_framework.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

bool has(const std::string &text, const std::string &line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

struct RadioHardening : ::testing::Test {
    dt::TempRoot root;
    DorvanImage img = dorvan_factory_image();
    void SetUp() override { setenv("DORVAN_RADIO_IFNAME", "dvt0", 1); }
};

// Japan's channel 14 allows 802.11b only: a mixed mode runs as b there, the
// OFDM-only mode is refused like 802.11n.
TEST_F(RadioHardening, ChannelFourteenCarriesNoOfdm)
{
    dt::seed({{"wlCountry", "JP"}});
    wlmgr_loadWorkingCopy();
    struct {
        const char *phy, *gmode, *nmode;
        const char *hwMode;  // nullptr: refused
    } cases[] = {
        {"g", "1", "auto", "hw_mode=b"}, {"g", "5", "auto", "hw_mode=b"},
        {"b", "1", "auto", "hw_mode=b"}, {"n", "1", "off", "hw_mode=b"},
        {"g", "4", "auto", nullptr},     {"n", "1", "auto", nullptr},
    };
    img.vars["wlCountry"] = "JP";
    img.vars["wlChannel"] = "14";
    img.vars["wlBasicRate"] = "all";
    for (const auto &c : cases) {
        img.vars["wlPhyType"] = c.phy;
        img.vars["wlgMode"] = c.gmode;
        img.vars["wlNmode"] = c.nmode;
        dplat::radio::Section r = dplat::radio::render_radio(img);
        std::string what = std::string(c.phy) + "/" + c.gmode + "/" + c.nmode;
        if (c.hwMode == nullptr) {
            EXPECT_EQ(r.refused, "wlChannel") << what;
            continue;
        }
        EXPECT_EQ(r.refused, "") << what;
        EXPECT_TRUE(has(r.restart, c.hwMode)) << what << "\n" << r.restart;
        EXPECT_TRUE(has(r.lines, "basic_rates=10 20 55 110")) << what << "\n" << r.lines;
        EXPECT_EQ(r.lines.find("supported_rates"), std::string::npos) << what;
    }
}

// dorvan-cfg radio: the switch through the board map, never blocked by a
// planted file, the lock free while hostapd is asked, and each socket told
// by who answers it.
TEST_F(RadioHardening, CfgRadioReadsTheMapBlocksNothingAndTellsWhoAnswers)
{
    if (access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "no python3";
    const std::string radio = root.file("var/dorvan/radio"), ctl = root.file("var/run/hostapd");
    ASSERT_EQ(dt::run("mkdir -p " + radio + " " + ctl + " " + root.file("gw") + " " + root.file("etc/dorvan")), 0);
    dt::write_file(radio + "/hostapd.conf", "interface=dvt0\nbss=dvt0-1\n");
    dt::seed({{"wlMaxAssoc_wl0v0", "0"}});
    // The board file says off, the map's file says on: the refusal shows.
    root.board("wireless_switch", "1");
    dt::write_file(root.file("etc/dorvan/board.conf"), "switch file /gw/switch -\n");
    dt::write_file(root.file("gw/switch"), "1\n");
    const std::string cfg = "timeout 5 " + dt::bin("dorvan-cfg") + " radio 2>&1";
    std::string out;
    EXPECT_EQ(dt::run(cfg, &out), 0);
    EXPECT_NE(out.find("# refused: wlMaxAssoc_wl0v0\n"), std::string::npos) << out;
    // A FIFO at the board file: nothing waits for a writer.
    ASSERT_EQ(unlink(root.file("etc/dorvan/board.conf").c_str()), 0);
    ASSERT_EQ(unlink(root.file("var/dorvan/board/wireless_switch").c_str()), 0);
    ASSERT_EQ(mkfifo(root.file("var/dorvan/board/wireless_switch").c_str(), 0600), 0);
    EXPECT_EQ(dt::run(cfg, &out), 0) << out;
    EXPECT_NE(out.find("# hostapd dvt0: not running\n"), std::string::npos) << out;
    ASSERT_EQ(unlink(root.file("var/dorvan/board/wireless_switch").c_str()), 0);

    // A hostapd of ours (its pid file, our configuration on its command
    // line) that is silent, or answers with terminal escapes.
    dt::write_file(root.file("fake.py"), R"(import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); s.bind(sys.argv[3])
while True:
    d, a = s.recvfrom(4096); open(sys.argv[3] + '.got', 'a').write('got\n')
    sys.argv[2] == 'escape' and s.sendto(b'state=\x1b]0;owned\x07ENABLED\n', a)
)");
    auto fake = [&](const char *mode) {
        unlink((ctl + "/dvt0").c_str());
        dt::run("python3 " + root.file("fake.py") + " " + radio + "/hostapd.conf " + mode + " " + ctl +
                "/dvt0 >/dev/null 2>&1 & echo $! > " + radio + "/hostapd.pid");
        EXPECT_GE(dt::wait_for([&] { return dt::exists(ctl + "/dvt0"); }, 3), 0);
        return atol(dt::read_file(radio + "/hostapd.pid").c_str());
    };
    long pid = fake("silent");
    dt::run("timeout 5 " + dt::bin("dorvan-cfg") + " radio > " + root.file("out") + " 2>&1 &");
    ASSERT_GE(dt::wait_for([&] { return dt::exists(ctl + "/dvt0.got"); }, 3), 0);
    setenv("DORVAN_LOCK_WAIT_MS", "0", 1);
    EXPECT_EQ(cfgLck_acquireLockTraced("test"), CFG_RET_SUCCESS);
    cfgLck_releaseLockTraced("test");
    EXPECT_GE(dt::wait_for([&] { return dt::read_file(root.file("out")).find("dvt0-1") != std::string::npos; }, 3), 0);
    EXPECT_NE(dt::read_file(root.file("out")).find("# hostapd dvt0: hostapd " + std::to_string(pid) +
                                                   " running, no reply\n# hostapd dvt0-1: hostapd " +
                                                   std::to_string(pid) + " running, no control socket\n"),
              std::string::npos) << dt::read_file(root.file("out"));
    kill((pid_t)pid, SIGKILL);
    pid = fake("escape");
    EXPECT_EQ(dt::run(cfg, &out), 0);
    EXPECT_NE(out.find("# hostapd dvt0: ?]0;owned?ENABLED\n"), std::string::npos) << out;
    kill((pid_t)pid, SIGKILL);
    // The same answer from a socket planted while ours is not running.
    pid = fake("escape");
    unlink((radio + "/hostapd.pid").c_str());
    EXPECT_EQ(dt::run(cfg, &out), 0);
    EXPECT_NE(out.find("is not our hostapd's socket"), std::string::npos) << out;
    EXPECT_EQ(out.find("ENABLED"), std::string::npos) << out;
    kill((pid_t)pid, SIGKILL);
}

// A program flooding its output: hostapd.log keeps its newest lines within
// 256 KiB, and dorvand's files keep their modes under any umask.
TEST_F(RadioHardening, HostapdLogIsBoundedFilesKeepTheirModes)
{
    if (access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "no python3";
    std::string prog = root.file("flood");
    dt::write_file(prog, R"(#!/usr/bin/python3
import os, time
r = os.environ['DORVAN_ROOT']; n = 0
while True:
    try:
        os.write(1, b'line %09d %s\n' % (n, b'x' * 100)); n += 1
        n % 1000 or open(r + '/flood.n', 'w').write(str(n))
    except BlockingIOError:
        open(r + '/flood.n', 'w').write(str(n)); time.sleep(0.002)
)");
    chmod(prog.c_str(), 0755);
    setenv("DORVAN_RADIO", "hostapd", 1);
    setenv("DORVAN_HOSTAPD", prog.c_str(), 1);
    setenv("DORVAN_PASS_MS", "250", 1);
    mode_t old = umask(077);
    dt::Daemon d(root);
    umask(old);
    ASSERT_GE(dt::wait_for([&] { return atol(dt::read_file(root.file("flood.n")).c_str()) > 6000; }, 20), 0);
    std::string log = root.file("var/dorvan/radio/hostapd.log");
    EXPECT_GE(dt::wait_for([&] { return dt::read_file(log).compare(0, 5, "line ") == 0 &&
                                        atol(dt::read_file(log).c_str() + 5) > 2000; }, 5), 0);
    struct stat st;
    ASSERT_EQ(stat(log.c_str(), &st), 0);
    EXPECT_LE(st.st_size, 256 * 1024);
    // dorvan-cfg radio of any user reads the pid file.
    ASSERT_EQ(stat(root.file("var/dorvan/radio/hostapd.pid").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

}  // namespace
