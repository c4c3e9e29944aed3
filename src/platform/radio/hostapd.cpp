// hostapd owned by dorvand: configuration written, hostapd started, kept
// running with a back-off, re-read (SIGHUP) or restarted on change, WPS
// operations sent once each through its control socket. Here: its state,
// the entry points of its operations table and what dorvan-cfg shows.
#include "radio_internal.h"
#include "cfg_framework.h"
#include "platform_internal.h"
#include "protocol.h"
#include "wlmgr.h"

#include <errno.h>
#include <string.h>

namespace dplat {
namespace radio {

// Read once at start: the daemon's pass is fixed by its environment.
const int kBackoffFirstMs = (int)span_ms(SPAN_HOSTAPD_BACKOFF);
const int kBackoffMaxMs = (int)span_ms(SPAN_HOSTAPD_BACKOFF_MAX);
const int kCtrlWaitMs = (int)span_ms(SPAN_HOSTAPD_CTRL);
const int kPingWaitMs = (int)span_ms(SPAN_HOSTAPD_PING);
const char *const kIfaceNames[WL_IFACE_COUNT] = {WL_IFACE_NAMES};

Hostapd hd;

void note(int level, const char *what)
{
    log_log(level, "radio", 0, "%s", what);
}

namespace {

void stored(const std::string wps[WL_IFACE_COUNT])
{
    // Only the owner applies; another process's store is seen by its tick.
    if (!hd.owner || !hd.usable)
        return;
    DorvanImage img = dorvan_working_copy();
    stat_file_id(root_path(DORVAN_MDM_FILE), &hd.seen);
    // Stored: the working copy was read, the data model is what it holds.
    hd.loadFailure.clear();
    apply(img);
    for (int i = 0; i < WL_IFACE_COUNT; i++)
        if (!wps[i].empty())
            ask_wps(img, i, wps[i]);
    send_wps();
}

void tick(int switchOn)
{
    if (!become_owner())
        return;
    drain_log();
    if (hd.child >= 0)
        reap();
    bool changed = false;
    if (switchOn >= 0 && switchOn != hd.switchOn) {
        hd.switchOn = switchOn;
        changed = true;
    }
    if (hd.retryMs >= 0 && monotonic_ms() >= hd.retryMs)
        changed = true;
    check_answered();
    FileId now;
    stat_file_id(root_path(DORVAN_MDM_FILE), &now);
    if (!hd.seen.valid || !same_file(hd.seen, now)) {
        // An unreadable data model leaves an empty working copy: applying
        // it would stop the radio. hostapd keeps what it runs.
        bool loaded = wlmgr_loadWorkingCopy() == 0;
        int err = errno;
        std::string failure = loaded ? std::string() : dorvan_load_failure();
        if (!loaded && failure.empty())
            failure = strerror(err);
        if (failure != hd.loadFailure) {
            hd.loadFailure = failure;
            note(loaded ? CFG_LOG_NOTICE : CFG_LOG_ERR,
                 loaded ? "data model readable again" :
                          ("data model not read (" + failure + "): hostapd keeps its configuration").c_str());
        }
        // Failed: tried again at every pass, whatever comes to stand there.
        hd.seen = loaded ? now : FileId();
        changed = changed || loaded;
    }
    if (changed && hd.loadFailure.empty())
        apply(dorvan_working_copy());
    if (hd.want && hd.child < 0 && (hd.restarting || monotonic_ms() >= hd.nextStartMs))
        start_when_ended();
    else
        ended();
    name_on_file();
    if (!hd.wps.empty())
        send_wps();
    attach();
    read_events();
}

void wps(int iface, const char *config)
{
    if (hd.owner && hd.usable) {
        ask_wps(dorvan_working_copy(), iface, config);
        send_wps();
    }
}

} // namespace

const Ops kHostapdOps = {"hostapd", tick, stored, wps};

std::string hostapd_states(const Env &env, const std::string &conf)
{
    std::string out;
    pid_t ours = running_hostapd(env.radioDir + "/hostapd.pid", env.radioDir + "/hostapd.conf");
    std::string running = ours > 0 ? "hostapd " + std::to_string(ours) + " running, " : std::string();
    for (const std::string &line : split_lines(conf)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos || (line.compare(0, eq, "interface") != 0 && line.compare(0, eq, "bss") != 0))
            continue;
        std::string ifname = line.substr(eq + 1);
        std::string reply;
        pid_t from = -1;
        int rc = request(env.ctrlDir, ifname, "STATUS", &reply, kCtrlWaitMs, &from);
        int err = errno;
        std::string state;
        if (rc == 0 && (ours <= 0 || from != ours)) {
            state = env.ctrlDir + "/" + ifname + " is not our hostapd's socket (process " + std::to_string(from) +
                    "): " + (ours > 0 ? "ours is " + std::to_string(ours) : "ours is not running");
        } else if (rc == 0) {
            state = "unknown";
            for (const std::string &r : split_lines(reply))
                if (r.compare(0, 6, "state=") == 0)
                    state = r.substr(6);
        } else if (rc == kSentNoReply) {
            state = running + "no reply";
        } else if (err == ENOENT || err == ECONNREFUSED) {
            state = ours > 0 ? running + "no control socket" : "not running";
        } else {
            state = running + "control socket: " + strerror(err);
        }
        out += "# hostapd " + ifname + ": " + state + "\n";
    }
    return out;
}

} // namespace radio
} // namespace dplat
