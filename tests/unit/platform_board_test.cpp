// Board inputs through board.conf: the map, value files, and input and GPIO
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

#include <linux/gpio.h>
#include <linux/input.h>

#include <algorithm>
#include <future>
#include <map>

#include "board/bits.h"
#include "board_ctl.h"
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "testutil.h"

namespace {

struct FakeDevice {
    std::vector<unsigned> keys, switches; // evdev: codes down / set
    std::map<unsigned, int> levels;       // GPIO chip: physical line levels
    int fail = 0;                         // errno of every ioctl
    long bytes = -1;                      // evdev: copies at most this many
};
struct Line {
    std::string chip;
    unsigned offset;
    uint64_t flags;
    std::string consumer;
};
std::map<std::string, FakeDevice> g_dev; // by path
std::map<int, Line> g_lines;             // by line fd
int g_served = 0;
bool g_inheritable = false; // a served fd lacked close-on-exec

std::string pathOf(int fd)
{
    char buf[512];
    ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof(buf) - 1);
    return n > 0 ? std::string(buf, (size_t)n) : "";
}

int serve(int fd, unsigned long req, void *arg)
{
    std::string path = pathOf(fd);
    auto line = g_lines.find(fd);
    if (line != g_lines.end() && path != "/dev/null")
        line = g_lines.end();
    FakeDevice *dev = line != g_lines.end() ? &g_dev[line->second.chip]
                      : g_dev.count(path) ? &g_dev[path] : nullptr;
    if (dev == nullptr)
        return -2;
    g_served++;
    g_inheritable |= (fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0;
    if (dev->fail != 0) {
        errno = dev->fail;
        return -1;
    }
    if (req == GPIO_V2_GET_LINE_IOCTL) {
        auto *r = (struct gpio_v2_line_request *)arg;
        r->fd = open("/dev/null", O_RDONLY); // the platform must add close-on-exec
        g_lines[r->fd] = {path, r->offsets[0], r->config.flags, r->consumer};
        return r->num_lines == 1 ? 0 : -1;
    }
    if (req == GPIO_V2_LINE_GET_VALUES_IOCTL) {
        auto *v = (struct gpio_v2_line_values *)arg;
        const Line &l = line->second;
        v->bits = (unsigned)(dev->levels[l.offset] ^ !!(l.flags & GPIO_V2_LINE_FLAG_ACTIVE_LOW)) & v->mask;
        return 0;
    }
    // EVIOCGKEY / EVIOCGSW: the kernel copies its own array of longs.
    bool sw = _IOC_NR(req) == _IOC_NR(EVIOCGSW(0));
    unsigned long map[dplat::board::bitmapWords(KEY_MAX)] = {};
    for (unsigned c : sw ? dev->switches : dev->keys)
        map[c / dplat::board::kBitsPerWord] |= 1UL << (c % dplat::board::kBitsPerWord);
    size_t n = std::min<size_t>(_IOC_SIZE(req), sw ? sizeof(long) * dplat::board::bitmapWords(SW_MAX) : sizeof(map));
    n = dev->bytes >= 0 ? std::min<size_t>(n, (size_t)dev->bytes) : n;
    memcpy(arg, map, n);
    return (int)n;
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
        g_lines.clear();
        g_inheritable = false;
        dt::run("mkdir -p '" + root.file("etc/dorvan") + "' '" + root.file("dev/input") + "' '" + root.file("var/gw") + "'");
        cfgLog_setLevel(CFG_LOG_NOTICE);
    }
    void TearDown() override { cfgLog_setLevel(CFG_LOG_ERR); }
    // A fresh map, as at start-up.
    void conf(const std::string &text)
    {
        dorvan_resetProcessState();
        dt::write_file(root.file("etc/dorvan/board.conf"), text);
    }
    FakeDevice &device(const std::string &rel)
    {
        dt::write_file(root.file(rel), "");
        return g_dev[root.file(rel)];
    }
    bool logged(const std::string &s) { return root.log().find(s) != std::string::npos; }
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

TEST_F(Board, BadLinesAreLoggedAndReadAsFailedNeverHeld)
{
    conf("# input source where what polarity\n\n"
         "reset  file  /var/gw/reset  -  active-high\n"
         "wps    evdev /dev/input/event0 KEY_NOPE\n"
         "switch gpio  /dev/gpiochip0  x17\n"
         "switch file  /var/gw/sw  -  active-low   # after a comment\n"
         "reset  file  var/gw/reset  -\n"
         "lamp   file  /var/gw/lamp  -\n"
         "wps    usb   /dev/x  1\n"
         "wps    gpio  /dev/gpiochip0\n"
         "wps    file  /var/gw/wps  0\n"
         "wps    file  /var/gw/wps  -  inverted\n"
         "wps    file  /var/gw/wps  -  active-low extra\n");
    for (const char *f : {"reset", "wps", "sw"})
        dt::write_file(root.file(std::string("var/gw/") + f), "0\n");
    std::string out;
    EXPECT_EQ(dorvan_boardReport(&out), -1);
    EXPECT_EQ(out, "reset - - - - failed: board.conf line 7: path \"var/gw/reset\" is not absolute\n"
                   "switch file /var/gw/sw - active-low on\n"
                   "wps - - - - failed: board.conf line 13: extra field \"extra\"\n");
    EXPECT_EQ(pass(), (std::vector<int>{-1, 0, -1}));
    const std::string file = root.file("etc/dorvan/board.conf");
    for (const char *want : {":4: unknown key name \"KEY_NOPE\"; wps reads as failed", ":5: bad line number \"x17\"",
                             ":6: switch given again (line 5); this line wins", ":7: reset given again (line 3)",
                             ":8: unknown input \"lamp\"", ":9: unknown source \"usb\"", ":10: missing what",
                             ":11: a file source takes \"-\"", ":12: unknown polarity \"inverted\""})
        EXPECT_TRUE(logged(file + want)) << want;
    // Inputs the map leaves out keep their board files.
    conf("switch file /var/gw/sw -\n");
    root.board("reset_button", "0");
    EXPECT_EQ(pass(), (std::vector<int>{0, 1, 1}));
}

TEST_F(Board, PolarityOfValueFiles)
{
    conf("reset file /var/gw/reset - active-high\nswitch file /var/gw/sw - active-low\n"
         "wps file /sys/class/gpio/gpio18/value -\n");
    dt::run("mkdir -p '" + root.file("sys/class/gpio/gpio18") + "'");
    for (auto [value, held] : std::vector<std::pair<std::string, int>>{{"1\n", 0}, {"0", 1}, {" 2 ", 1}}) {
        for (const char *f : {"var/gw/reset", "var/gw/sw", "sys/class/gpio/gpio18/value"})
            dt::write_file(root.file(f), value);
        EXPECT_EQ(pass(), (std::vector<int>{held, value == "0" ? 0 : 1, held})) << value;
    }
    dt::write_file(root.file("var/gw/sw"), "on");
    EXPECT_EQ(pass()[1], -1);
    EXPECT_TRUE(logged("switch: /var/gw/sw: no decimal value"));
}

// A FIFO planted at a board file held open() until a writer came: the
// buttons and the command pipe stopped with it.
TEST_F(Board, PlantedFifoFailsAtOnceAndIsLoggedOncePerChange)
{
    std::string f = root.file("var/dorvan/board/reset_button");
    unlink(f.c_str());
    ASSERT_EQ(mkfifo(f.c_str(), 0644), 0);
    auto read = std::async(std::launch::async, [] { return pass(); });
    if (read.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        ADD_FAILURE() << "blocked on a FIFO";
        close(open(f.c_str(), O_WRONLY | O_NONBLOCK));
    }
    EXPECT_EQ(read.get()[0], -1);
    EXPECT_EQ(pass()[0], -1);
    unlink(f.c_str());
    root.board("reset_button", "0");
    EXPECT_EQ(pass()[0], 0);
    EXPECT_EQ(dt::lines(root.log()).size(), 2u) << root.log();
    EXPECT_TRUE(logged("reset: /var/dorvan/board/reset_button: not a regular file\n"));
    EXPECT_TRUE(logged("reset: /var/dorvan/board/reset_button reads again\n"));
    // A map that is not a file tells nothing of the wiring: nothing reads.
    dorvan_resetProcessState();
    ASSERT_EQ(mkfifo(root.file("etc/dorvan/board.conf").c_str(), 0644), 0);
    EXPECT_EQ(pass(), (std::vector<int>{-1, -1, -1}));
    EXPECT_TRUE(logged("board.conf: not a regular file; every board input reads as failed"));
}

TEST_F(Board, EvdevBitsAcrossWordBoundariesOneIoctlAPass)
{
    conf("reset evdev /dev/input/event0 KEY_RESTART\nwps evdev /dev/input/event0 KEY_WPS_BUTTON\n"
         "switch evdev /dev/input/event0 SW_RFKILL_ALL\n");
    FakeDevice &ev = device("dev/input/event0");
    ev.keys = {KEY_RESTART - 1, KEY_RESTART + 1, KEY_WPS_BUTTON - 1, KEY_WPS_BUTTON + 1};
    ev.switches = {SW_RFKILL_ALL - 1, SW_RFKILL_ALL + 1};
    EXPECT_EQ(pass(), (std::vector<int>{1, 1, 1}));
    ev.keys = {KEY_RESTART, KEY_WPS_BUTTON};
    ev.switches = {SW_RFKILL_ALL};
    g_served = 0;
    EXPECT_EQ(pass(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(g_served, 3) << "an idle pass asks each device once";
    EXPECT_FALSE(g_inheritable);

    // Codes on either side of a 64-bit word; active-low turns a key around.
    conf("reset evdev /dev/input/event0 63\nwps evdev /dev/input/event0 64 active-low\n");
    ev.keys = {64};
    EXPECT_EQ(pass(), (std::vector<int>{1, 0, 1}));
    ev.keys = {63};
    EXPECT_EQ(pass(), (std::vector<int>{0, 0, 0}));
    ev.bytes = 8; // bits 0..63 only
    EXPECT_EQ(pass(), (std::vector<int>{0, 0, -1}));
    EXPECT_TRUE(logged("wps: /dev/input/event0: device returned too few bits"));
}

TEST_F(Board, FailedDeviceIsReopenedAfterAPause)
{
    conf("reset evdev /dev/input/event0 KEY_RESTART\nwps evdev /dev/input/event9 KEY_WPS_BUTTON\n");
    FakeDevice &ev = device("dev/input/event0");
    ev.fail = ENODEV;
    ev.keys = {KEY_RESTART};
    g_served = 0;
    EXPECT_EQ(pass(), (std::vector<int>{-1, 0, -1}));
    EXPECT_EQ(pass(), (std::vector<int>{-1, 0, -1}));
    ev.fail = 0;
    EXPECT_EQ(pass()[0], -1) << "still pausing";
    EXPECT_EQ(g_served, 1);
    usleep(1100 * 1000);
    EXPECT_EQ(pass()[0], 0);
    EXPECT_EQ(g_served, 2);
    EXPECT_EQ(dt::lines(root.log()).size(), 3u) << root.log();
    EXPECT_TRUE(logged("reset: /dev/input/event0: No such device\n"));
    EXPECT_TRUE(logged("wps: /dev/input/event9: No such file or directory\n"));
    EXPECT_TRUE(logged("reset: /dev/input/event0 reads again\n"));
}

TEST_F(Board, GpioLinesRequestedAsInputsWithPolarity)
{
    conf("reset gpio /dev/gpiochip0 17 active-low\nwps gpio /dev/gpiochip0 18\nswitch gpio /dev/gpiochip1 0\n");
    FakeDevice &chip = device("dev/gpiochip0");
    chip.levels = {{17, 0}, {18, 1}};
    device("dev/gpiochip1").fail = EBUSY;
    g_served = 0;
    EXPECT_EQ(pass(), (std::vector<int>{0, -1, 0}));
    chip.levels = {{17, 1}, {18, 0}};
    EXPECT_EQ(pass(), (std::vector<int>{1, -1, 1}));
    EXPECT_EQ(g_served, 2 + 1 + 2 + 2) << "requested once, then one ask a pass";
    EXPECT_FALSE(g_inheritable);
    std::vector<std::string> got;
    for (const auto &l : g_lines)
        got.push_back(l.second.consumer + " " + std::to_string(l.second.offset) + " " + std::to_string(l.second.flags));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (dt::Lines{"dorvand 17 " + std::to_string(GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_ACTIVE_LOW),
                              "dorvand 18 " + std::to_string(GPIO_V2_LINE_FLAG_INPUT)}));
    EXPECT_TRUE(logged("switch: /dev/gpiochip1: Device or resource busy"));
}

// The OpenWrt hook, run with what procd hands it, against this root.
TEST_F(Board, OpenWrtHookWritesWhatTheDaemonReads)
{
    auto hook = [&](const std::string &env) {
        return dt::run("env -i PATH=/usr/bin:/bin SUBSYSTEM=button SEEN=1 DORVAN_ROOT='" + root.path() + "' " +
                       env + " sh " DORVAN_SOURCE_DIR "/packaging/rc.button");
    };
    EXPECT_EQ(hook("BUTTON=reset ACTION=pressed") | hook("BUTTON=wps ACTION=pressed") |
                  hook("BUTTON=rfkill ACTION=released TYPE=switch") | hook("BUTTON=rfkill ACTION=pressed") |
                  hook("BUTTON=reset ACTION=held") | hook("BUTTON=lamp ACTION=pressed"),
              0);
    EXPECT_EQ(pass(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(hook("BUTTON=reset ACTION=released") | hook("BUTTON=rfkill ACTION=pressed TYPE=switch"), 0);
    EXPECT_EQ(pass(), (std::vector<int>{1, 0, 0}));
    std::string names;
    dt::run("ls '" + root.file("var/dorvan/board") + "'", &names);
    EXPECT_EQ(names, "reset_button\nwireless_switch\nwps_button\n");
}
