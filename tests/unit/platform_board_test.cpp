// Board inputs: board files, the board.conf map, value files, and input
// devices, whose ioctls are served here (unit_tests links with
// -Wl,--wrap=ioctl; whatever is not served goes to the real ioctl).
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/input.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "board/bits.h"
#include "board_ctl.h"
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "platform_internal.h"
#include "testutil.h"

using dplat::board::bitmap_words;
using dplat::board::kBitsPerWord;

namespace {

struct FakeDevice {
    std::vector<unsigned> keys;           // codes down
    int fail = 0;                         // errno of every ioctl
    long bytes = -1;                      // copies at most this many
};
std::map<std::string, FakeDevice> g_dev;    // by path
bool g_inheritable = false; // a served fd lacked close-on-exec

int serve(int fd, unsigned long req, void *arg)
{
    std::error_code ec;
    std::string path = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
    FakeDevice *dev = g_dev.count(path) ? &g_dev[path] : nullptr;
    if (dev == nullptr)
        return -2;
    g_inheritable |= (fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0;
    if (dev->fail != 0) {
        errno = dev->fail;
        return -1;
    }
    // EVIOCGKEY: the kernel copies its own array of longs.
    unsigned long map[bitmap_words(KEY_MAX)] = {};
    for (unsigned c : dev->keys)
        map[c / kBitsPerWord] |= 1UL << (c % kBitsPerWord);
    size_t len = std::min<size_t>(_IOC_SIZE(req), sizeof(map));
    len = std::min<size_t>(len, (size_t)dev->bytes);
    memcpy(arg, map, len);
    return (int)len;
}

// Three reads, as one monitor pass makes them; -1 for a failed read.
std::vector<int> pass()
{
    int r = -1, s = -1, w = -1;
    return {boardCtl_getResetStatus(&r) ? -1 : r, boardCtl_getWirelessPWRStatus(&s) ? -1 : s,
            boardCtl_getWpsButtonStatus(&w) ? -1 : w};
}

class Board : public ::testing::Test {
protected:
    dt::TempRoot root;
    void SetUp() override
    {
        g_dev.clear();
        g_inheritable = false;
        dt::run("mkdir -p " + root.file("etc/dorvan") + " " + root.file("dev/input") + " " + root.file("gw"));
        cfgLog_setLevel(CFG_LOG_NOTICE);
    }
    void TearDown() override { cfgLog_setLevel(CFG_LOG_ERR); }
    // A fresh map, as at start-up.
    void conf(const std::string &text)
    {
        dorvan_reset_process_state();
        dt::write_file(root.file("etc/dorvan/board.conf"), text);
    }
};

} // namespace

extern "C" int __real_ioctl(int fd, unsigned long req, ...);
extern "C" int __wrap_ioctl(int fd, unsigned long req, ...)
{
    va_list ap;
    va_start(ap, req);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    int rc = serve(fd, req, arg);
    return rc == -2 ? __real_ioctl(fd, req, arg) : rc;
}

TEST_F(Board, ValueFilesAndDevicesReadStrictlyBadMapLinesAsFailed)
{
    // Board files: the value is the status word.
    for (auto [text, want] : std::vector<std::pair<std::string, int>>{
             {" \t 0 \n", 0}, {"-3", -3}, {"42\r\n", 42}, {"", -1}, {"1x", -1}, {"1 2", -1}, {"99999999999", -1}}) {
        dt::write_file(root.file(DORVAN_BOARD_DIR "/reset_button"), text);
        EXPECT_EQ(pass()[0], want) << text;
    }
    conf("reset file /gw/reset - active-high\nswitch file /gw/sw - active-low\nwps file /gw/wps -\n");
    for (auto [value, held] : std::vector<std::pair<std::string, int>>{{"1\n", 0}, {"0", 1}, {" 2 ", 1}}) {
        for (const char *f : {"gw/reset", "gw/sw", "gw/wps"})
            dt::write_file(root.file(f), value);
        EXPECT_EQ(pass(), (std::vector<int>{held, value == "0" ? 0 : 1, held})) << value;
    }

    // A map with bad lines: each input with one reads as failed, never held
    // (the report of why: Hardening.BoardInputsActOnWl0AndTheirMapIsReadWhole).
    conf("# input source where what polarity\n\n"
         "reset  file  /gw/reset  -  active-high\n"
         "wps    evdev /dev/input/event0 KEY_NOPE\n"
         "switch file  /gw/sw  -  active-low   # after a comment\n"
         "reset  file  gw/reset  -\n"
         "lamp   file  /gw/lamp  -\n"
         "wps    file  /gw/wps  -  inverted\n"
         "wps    file  /gw/wps  -  active-low extra\n");
    for (const char *f : {"gw/reset", "gw/wps", "gw/sw"})
        dt::write_file(root.file(f), "0\n");
    EXPECT_EQ(pass(), (std::vector<int>{-1, 0, -1}));

    // Input devices, read bit by bit.
    setenv("DORVAN_PASS_MS", "200", 1);  // back-offs from 200 ms
    // Codes on either side of a 64-bit word; active-low turns a key around
    // (named codes on a real device: the VM test's button presses).
    conf("reset evdev /dev/input/event0 63\nwps evdev /dev/input/event0 64 active-low\n"
         "switch evdev /dev/input/event9 SW_RFKILL_ALL\n");
    dt::write_file(root.file("dev/input/event0"), "");
    FakeDevice &ev = g_dev[root.file("dev/input/event0")];
    ev.keys = {64};
    EXPECT_EQ(pass(), (std::vector<int>{1, -1, 1}));
    ev.keys = {63};
    EXPECT_EQ(pass(), (std::vector<int>{0, -1, 0}));
    ev.bytes = 8; // bits 0..63 only
    EXPECT_EQ(pass(), (std::vector<int>{0, -1, -1}));
    ev.bytes = -1;
    ev.fail = ENODEV;
    EXPECT_EQ(pass()[0], -1);
    ev.fail = 0;
    EXPECT_EQ(pass(), (std::vector<int>{-1, -1, -1})) << "pausing before a reopen";
    EXPECT_FALSE(g_inheritable);
    EXPECT_NE(root.log().find("wps: /dev/input/event0: device returned too few bits\n"), std::string::npos);
}

// The OpenWrt hook, run with what procd hands it, writes what the daemon
// reads. FIFOs are no board files (one planted at a board file held open()
// until a writer came: RadioHardening.CfgRadioReadsTheMapBlocksNothingAndTellsWhoAnswers).
TEST_F(Board, OpenWrtHookWritesWhatWeReadAndFifosBlockNothing)
{
    std::string env = "env -i PATH=/usr/bin:/bin SUBSYSTEM=button SEEN=1 DORVAN_ROOT=" + root.path();
    auto hook = [&](const std::string &vars) { return dt::run(env + " " + vars + " sh " DORVAN_SOURCE_DIR "/packaging/rc.button"); };
    for (const char *vars : {"BUTTON=reset ACTION=pressed", "BUTTON=wps ACTION=pressed",
                             "BUTTON=rfkill ACTION=pressed TYPE=switch", "BUTTON=lamp ACTION=pressed"})
        EXPECT_EQ(hook(vars), 0) << vars;
    EXPECT_EQ(pass(), (std::vector<int>{0, 0, 0}));
    std::string names;
    dt::run("ls " + root.file("var/dorvan/board"), &names);
    EXPECT_EQ(names, "reset_button\nwireless_switch\nwps_button\n") << "no temp files left";

    // A map that is not a file tells nothing of the wiring: nothing reads.
    dorvan_reset_process_state();
    ASSERT_EQ(mkfifo(root.file("etc/dorvan/board.conf").c_str(), 0644), 0);
    EXPECT_EQ(pass(), (std::vector<int>{-1, -1, -1}));
    // Nor does a FIFO nobody reads at the log or the trace (it held the daemon in open()).
    ASSERT_EQ(mkfifo(root.file("log.fifo").c_str(), 0600) + setenv("DORVAN_LOG", root.file("log.fifo").c_str(), 1) + setenv("DORVAN_TRACE", root.file("log.fifo").c_str(), 1), 0);
    alarm(3), dplat::trace("event"), log_log(CFG_LOG_ERR, "t", 0, "line"), alarm(0);
}
