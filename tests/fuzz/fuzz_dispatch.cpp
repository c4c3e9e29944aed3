// Arbitrary request bytes through the request path into the dispatcher and
// every handler, against the platform on a private root seeded with values
// that stress the views (long, no digits, codes outside every table).
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "pipes.h"
#include "radio/radio.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

const char *const kSeed[][2] = {
    {"wlSsid_wl0v0", "HomeNet"}, {"wlEnbl_wl0v1", "7"}, {"wlEnbl_wl0v2", "1"}, {"wlEnbl_wl0v3", "yes"},
    {"wlSsid_wl0v1", "a-very-long-ssid-of-exactly-thirty-two-chars-and-more-to-spare-xxxxxxxxxxxxxxxx"},
    {"wlHide_wl0v2", "-9"}, {"wlAuthMode_wl0v1", "wpa2"}, {"wlAuthMode_wl0v2", "radius"},
    {"wlAuthMode_wl0v3", "bogus"}, {"wlWscMode_wl0v1", "enabled"}, {"wlWscMode_wl0v2", "maybe"},
    {"wlKeyBit_wl0v0", "2147483647"}, {"wlPreauth_wl0v1", "-1"}, {"wlWscAPMode_wl0v0", "99999999999999999999"},
    {"wlNMcsidx", "32"}, {"wlNBwCap", "9"}, {"wlNCtrlsb", "x"}, {"wlBands", "1"}, {"wlChannel", "0"},
    {"wlWmeNoAck", "5"}, {"wlWmeApsd", "-2147483648"}, {"wlgMode", "7"}, {"wlLazyWds", "2"},
    {"wlWds0", "00:11:22:33:44:55"}, {"wlCountry", "DE"},
};

int reply_fd = -1;
unsigned runs = 0;

void seed()
{
    if (cfgLck_acquireLockWithTimeoutTraced("fuzz", 5) != 0)
        abort();
    dorvan_restore_factory();
    wlmgr_loadWorkingCopy();
    for (const auto &kv : kSeed)
        wlmgr_setVar(kv[0], kv[1]);
    for (int i = 0; i < 40; i++) {
        char mac[32];
        snprintf(mac, sizeof(mac), "02:00:00:00:00:%02x", i);
        wlmgr_addFilterMac(mac, "ssid-with-some-length", i % 5 == 4 ? "" : ("wl0." + std::to_string(i % 4)).c_str());
    }
    wlmgr_storeWorkingCopy();
    cfgMgm_saveConfigToFlash();
    cfgLck_releaseLockTraced("fuzz");
}

void setup()
{
    // On tmpfs when there is one: saves are then cheap and the fuzzer fast.
    static dt::TempRoot root(false, true);
    unsetenv("DORVAN_TRACE");
    setenv("DORVAN_LOG", "/dev/null", 1);
    setenv("DORVAN_LOCK_WAIT_MS", "0", 1);
    // Scan results, many and long, so the views' bounds are exercised.
    std::string peers;
    for (int i = 0; i < 200; i++) {
        char line[80];
        snprintf(line, sizeof(line), "0A:00:00:00:%02X:%02X peer-network-with-a-long-name-%d\n", i / 256, i % 256, i);
        peers += line;
    }
    dt::write_file(root.file(DORVAN_WDS_PEERS_FILE), peers);
    mkfifo(root.file(REPLY_PIPE).c_str(), 0666);
    // Our own reader keeps the reply pipe open, so replies never wait.
    reply_fd = open(root.file(REPLY_PIPE).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    seed();
}

// Every request is answered: no path may return without a reply.
void drain()
{
    char buf[8192];
    ssize_t n, total = 0;
    while ((n = read(reply_fd, buf, sizeof(buf))) > 0)
        total += n;
    if (total == 0)
        abort();
}

// Whatever is stored, hostapd's file holds only whole, printable key=value
// lines with our keys.
void check_rendering(const DorvanImage &img)
{
    std::string conf = radio_render(img, 1);
    if (!conf.empty() && conf.back() != '\n')
        abort();
    std::istringstream in(conf);
    for (std::string line; std::getline(in, line);) {
        size_t eq = line.find('=');
        if ((line[0] != '#' && (eq == std::string::npos || !radio_key_allowed(line.substr(0, eq)))) ||
            std::any_of(line.begin(), line.end(), [](unsigned char c) { return c < 0x20 || c > 0x7e; }))
            abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (reply_fd < 0)
        setup();
    // What process_wlCLI_PIPE hands on: at most 512 bytes, ended at the first
    // NUL or after the last byte.
    std::string bytes((const char *)data, std::min(size, (size_t)CLI_REQUEST_SIZE));
    char *request = &bytes[0];
    cli_dispatch(request);
    drain();
    DorvanImage img = dorvan_working_copy();
    check_rendering(img);
    // The raw bytes as values no command could store (newlines, controls).
    img.vars["wlEnbl_wl0v1"] = "1";
    for (const char *name : {"wlSsid_wl0v1", "wlWpaPsk_wl0v1", "wlRadiusKey_wl0v1", "wlKey1_wl0v1",
                             "wlCountry", "wlChannel", "wlFltMacMode_wl0v1"})
        img.vars[name] = request;
    img.filters.push_back({request, "", "wl0.1"});
    check_rendering(img);
    // Start over now and then so stored values do not drift too far.
    if (++runs % 256 == 0)
        seed();
    return 0;
}
