// Board control over the seam: the map is read on first use, device files
// stay open, and a failed device is reopened after a growing pause.
#include "board_ctl.h"
#include "board_internal.h"
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "platform_internal.h"
#include "radio/radio.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

namespace dplat {
namespace board {

namespace {

const int kUnknown = -1000; // no read yet: a first failure is logged

struct State {
    int fd = -1;
    int64_t retryAt = 0;
    int retryMs = 0;
    int lastErr = kUnknown;
};

bool g_loaded = false;
Entry g_entries[kNumInputs];
State g_state[kNumInputs];

void load()
{
    if (g_loaded)
        return;
    g_loaded = true;
    default_entries(g_entries);
    std::string conf = root_path(DORVAN_BOARD_CONF);
    // read_small_file keeps a byte for the terminator and takes a full buffer
    // for a file too large.
    std::string text(kBoardConfMax + 2, '\0');
    ssize_t n = read_small_file(conf.c_str(), &text[0], text.size());
    if (n >= 0) {
        text.resize((size_t)n);  // every byte read, NULs included
        parse_board_conf(conf.c_str(), text, g_entries);
        return;
    }
    if (errno == ENOENT)
        return;
    // Without the map nothing is known about the wiring: nothing reads.
    std::string why = errno == EFBIG ? "larger than " + std::to_string(kBoardConfMax) + " bytes"
                                     : failure_text(errno == EINVAL ? kNotRegular : errno);
    log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot read %s: %s; every board input reads as failed",
            conf.c_str(), why.c_str());
    for (Entry &e : g_entries) {
        e = Entry();
        e.source = Source::Broken;
        e.why = "board.conf: " + why;
    }
}

// Logged once per change, not every pass.
void note_result(int in, int err)
{
    State &s = g_state[in];
    if (err == s.lastErr)
        return;
    const Entry &e = g_entries[in];
    if (err != 0)
        log_log(CFG_LOG_ERR, __func__, __LINE__, "%s: %s: %s", kInputNames[in], e.where.c_str(),
                failure_text(err));
    else if (s.lastErr != kUnknown)
        log_log(CFG_LOG_NOTICE, __func__, __LINE__, "%s: %s reads again", kInputNames[in],
                e.where.c_str());
    s.lastErr = err;
}

void close_device(State &s)
{
    if (s.fd >= 0)
        close(s.fd);
    s.fd = -1;
}

// A failed device is left alone for a while, longer each time.
int back_off(State &s, int err)
{
    close_device(s);
    s.retryMs = s.retryMs == 0 ? (int)span_ms(SPAN_BOARD_RETRY)
                               : std::min(2 * s.retryMs, (int)span_ms(SPAN_BOARD_RETRY_MAX));
    s.retryAt = monotonic_ms() + s.retryMs;
    return err;
}

// One ioctl when the device is open; an open (and a request) when due.
int device_level(int in, int *level)
{
    const Entry &e = g_entries[in];
    State &s = g_state[in];
    if (s.fd < 0) {
        if (s.retryMs > 0 && monotonic_ms() < s.retryAt)
            return s.lastErr;
        s.fd = e.source == Source::Evdev ? evdev_open(e.path.c_str())
                                         : gpio_request(e.path.c_str(), e);
        if (s.fd < 0)
            return back_off(s, errno);
    }
    int err = e.source == Source::Evdev ? evdev_level(s.fd, e, level) : gpio_level(s.fd, level);
    // A device that went away comes back under a new file: reopen it.
    if (err != 0)
        return back_off(s, err);
    s.retryMs = 0;
    return 0;
}

} // namespace

int read_input(Input in, int *status)
{
    if (status == nullptr || in < 0 || in >= kNumInputs)
        return -1;
    load();
    const Entry &e = g_entries[in];
    int err = 0;
    int word = 1;
    switch (e.source) {
    case Source::Broken:
        // Logged when the map was read.
        return -1;
    case Source::File: {
        long value = 0;
        err = file_value(e.path.c_str(), &value);
        if (err == 0)
            word = e.raw ? (int)value : (value == (e.activeLow ? 0 : 1) ? 0 : 1);
        break;
    }
    case Source::Evdev:
    case Source::Gpio: {
        int level = 0;
        err = device_level(in, &level);
        // The kernel inverts an active-low GPIO line itself.
        bool active = e.source == Source::Gpio ? level != 0 : (level != 0) != e.activeLow;
        word = active ? 0 : 1;
        break;
    }
    }
    note_result(in, err);
    if (err != 0)
        return -1;
    *status = word;
    return 0;
}

int report(std::string *out)
{
    static const char *const kSourceNames[] = {"file", "evdev", "gpio", "-"};
    static const char *const kStates[kNumInputs][2] = {
        {"held", "released"}, {"on", "off"}, {"held", "released"}};
    load();
    int rc = 0;
    out->clear();
    for (int i = 0; i < kNumInputs; i++) {
        const Entry &e = g_entries[i];
        std::string line = std::string(kInputNames[i]) + " " + kSourceNames[(int)e.source];
        if (e.source == Source::Broken)
            line += " - - -";
        else
            line += " " + e.where + " " + e.what + (e.activeLow ? " active-low" : " active-high");
        int status = -1;
        if (read_input((Input)i, &status) == 0) {
            line += std::string(" ") + kStates[i][status == 0 ? 0 : 1];
        } else {
            rc = -1;
            line += " failed: ";
            line += e.source == Source::Broken ? e.why : failure_text(g_state[i].lastErr);
        }
        *out += line + "\n";
    }
    return rc;
}

void forget()
{
    for (State &s : g_state) {
        close_device(s);
        s = State();
    }
    g_loaded = false;
}

} // namespace board
} // namespace dplat

extern "C" {

int boardCtl_getResetStatus(int *status)
{
    return dplat::board::read_input(dplat::board::kReset, status);
}

int boardCtl_getWirelessPWRStatus(int *status)
{
    int rc = dplat::board::read_input(dplat::board::kSwitch, status);
    // The daemon asks once a pass: the radio's supervision rides on it.
    radio_tick(rc != 0 ? -1 : *status == 0 ? 1 : 0);
    return rc;
}

int boardCtl_getWpsButtonStatus(int *status)
{
    return dplat::board::read_input(dplat::board::kWps, status);
}

} // extern "C"

int dorvan_board_report(std::string *out)
{
    return dplat::board::report(out);
}

int dorvan_wireless_switch(void)
{
    int status = 1;
    if (dplat::board::read_input(dplat::board::kSwitch, &status) != 0)
        return -1;
    return status == 0 ? 1 : 0;
}
