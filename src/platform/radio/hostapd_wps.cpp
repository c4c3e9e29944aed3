// WPS operations sent once each on hostapd's control socket, and the events
// of the interfaces: a registrar's settings go into the data model.
#include "radio_internal.h"
#include "cfg_framework.h"
#include "platform_internal.h"
#include "wlmgr.h"

#include <errno.h>
#include <string.h>

namespace dplat {
namespace radio {

namespace {

const int kWpsKeepMs = (int)span_ms(SPAN_WPS_KEEP);       // a WPS operation waits this long for hostapd
const size_t kWpsMax = 4;
const int kAttachRetryMs = (int)span_ms(SPAN_HOSTAPD_ATTACH);  // an interface whose events we cannot have yet

void queue_wps(int i, const std::string &cmd)
{
    if (cmd.empty())
        return;
    if (hd.wps.size() >= kWpsMax)
        hd.wps.erase(hd.wps.begin());
    hd.wps.push_back({i, cmd, monotonic_ms() + kWpsKeepMs});
}

// Settings a registrar gave wl0.I go into the data model and flash; the
// store applies them like any other change. A busy lock: the next pass.
void take_settings(int i)
{
    std::vector<std::pair<std::string, std::string>> writes;
    const char *why = ap_settings(hd.settings[i], i, &writes);
    if (why != nullptr) {
        hd.settings[i].clear();
        note(CFG_LOG_ERR, ("WPS: settings from a registrar for " + std::string(kIfaceNames[i]) + " not taken: " + why).c_str());
        return;
    }
    if (cfgLck_acquireLockTraced("radio") != CFG_RET_SUCCESS)
        return;
    hd.settings[i].clear();
    bool ok = wlmgr_loadWorkingCopy() == 0;
    for (const auto &w : writes)
        ok = ok && wlmgr_setVar(w.first.c_str(), w.second.c_str()) == 0;
    ok = ok && wlmgr_storeWorkingCopy() == 0 && cfgMgm_saveConfigToFlash() == CFG_RET_SUCCESS;
    if (!ok)
        wlmgr_loadWorkingCopy();
    cfgLck_releaseLockTraced("radio");
    trace("apply", ok ? "wps-settings" : "wps-settings-lost", kIfaceNames[i]);
    note(ok ? CFG_LOG_NOTICE : CFG_LOG_ERR,
         ("WPS: settings from a registrar for " + std::string(kIfaceNames[i]) +
          (ok ? " stored and saved" : " could not be stored")).c_str());
}

} // namespace

std::string wps_command(const DorvanImage &img, int i, const std::string &config)
{
    auto get = [&](const char *name) {
        auto it = img.vars.find(if_key(name, i));
        return it == img.vars.end() ? std::string() : it->second;
    };
    auto pin = [](const std::string &p) {
        if (p.size() != 4 && p.size() != 8)
            return false;
        for (char c : p)
            if (c < '0' || c > '9')
                return false;
        return true;
    };
    if (config == "client-pbc" || config == "client-pbc-reset" || config == "ap-pbc")
        return "WPS_PBC";
    if (config == "client-pin" || config == "client-pin-reset") {
        if (pin(get("wlWscStaPin")))
            return "WPS_PIN any " + get("wlWscStaPin");
        trace("apply", "refused", if_key("wlWscStaPin", i).c_str());
        note(CFG_LOG_ERR, "WPS: station PIN refused (4 or 8 digits)");
        return std::string();
    }
    if (config == "ap-pin" || config == "ap-er") {
        if (pin(get("wlWscDevPin")))
            return "WPS_AP_PIN set " + get("wlWscDevPin");
        note(CFG_LOG_ERR, "WPS: device PIN refused (4 or 8 digits)");
        return std::string();
    }
    if (config == "er-done")
        return "WPS_AP_PIN disable";
    return std::string();
}

// The WPS operation wlWscConfig names for wl0.I, queued.
void ask_wps(const DorvanImage &img, int i, const std::string &config)
{
    queue_wps(i, wps_command(img, i, config));
}

// Sends waiting WPS operations whose hostapd is up; each goes once.
void send_wps()
{
    // A hostapd that hangs costs one deadline a call, not one per operation.
    int64_t budget = monotonic_ms() + kCtrlWaitMs;
    for (size_t k = 0; k < hd.wps.size();) {
        if (monotonic_ms() >= budget)
            return;
        WpsOp &op = hd.wps[k];
        std::string word = op.cmd.substr(0, op.cmd.find(' '));
        std::string reply;
        int rc = hd.child >= 0 && hd.answered
                     ? request(hd.env.ctrlDir, iface_name(hd.env, op.iface), op.cmd.c_str(), &reply, kCtrlWaitMs)
                     : -1;
        bool sent = rc == 0 && reply.compare(0, 4, "FAIL") != 0 && reply.compare(0, 7, "UNKNOWN") != 0;
        // Sent but unanswered: hostapd may well have taken it; never twice.
        if (rc == kSentNoReply) {
            note(CFG_LOG_ERR, ("WPS " + word + " sent, no reply from hostapd").c_str());
        } else if (sent) {
            trace("apply", "wps", word.c_str());
            note(CFG_LOG_NOTICE, ("WPS " + word + " on " + iface_name(hd.env, op.iface)).c_str());
        } else if (monotonic_ms() < op.until) {
            k++;
            continue;
        } else {
            note(CFG_LOG_ERR, ("WPS " + word + " not taken by hostapd").c_str());
        }
        hd.wps.erase(hd.wps.begin() + (long)k);
    }
}

void detach(int i)
{
    if (hd.evFd[i] >= 0)
        close_client(hd.evFd[i], hd.evSelf[i]);
    hd.evFd[i] = -1;
}

void detach()
{
    for (int i = 0; i < 4; i++)
        detach(i);
    hd.attachMs = 0;
}

// Attached to the events of each interface in the configuration once
// hostapd answers; one that has no socket yet is tried again later.
void attach()
{
    if (hd.child < 0 || !hd.answered || monotonic_ms() < hd.attachMs)
        return;
    bool missing = false;
    for (int i = 0; i < 4; i++) {
        if (!hd.inConf[i]) {
            detach(i);
            continue;
        }
        if (hd.evFd[i] >= 0)
            continue;
        std::string reply;
        pid_t from = -1;
        int fd = open_client(hd.env.ctrlDir, iface_name(hd.env, i), &hd.evSelf[i]);
        if (fd >= 0 && exchange(fd, "ATTACH", &reply, kPingWaitMs, &from) == 0 && from == hd.child &&
            reply.compare(0, 2, "OK") == 0) {
            hd.evFd[i] = fd;
            continue;
        }
        if (fd >= 0)
            close_client(fd, hd.evSelf[i]);
        missing = true;
    }
    hd.attachMs = missing ? monotonic_ms() + kAttachRetryMs : INT64_MAX;
}

// Events waiting on the attached sockets; only our hostapd's count.
void read_events()
{
    const char kNew[] = "WPS-NEW-AP-SETTINGS";
    for (int i = 0; i < 4; i++) {
        for (int k = 0; hd.evFd[i] >= 0 && k < 16; k++) {
            char buf[4096];
            pid_t from = -1;
            ssize_t n = receive(hd.evFd[i], buf, sizeof(buf), &from);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                detach(i);
                hd.attachMs = 0;
            }
            if (n < 0)
                break;
            std::string ev(buf, (size_t)n);
            size_t gt = ev.find('>');
            if (from != hd.child || ev.empty() || ev[0] != '<' || gt == std::string::npos ||
                ev.compare(gt + 1, sizeof(kNew) - 1, kNew) != 0)
                continue;
            ev.erase(0, gt + sizeof(kNew));
            while (!ev.empty() && (ev.back() == '\n' || ev.back() == ' '))
                ev.pop_back();
            while (!ev.empty() && ev[0] == ' ')
                ev.erase(0, 1);
            hd.settings[i] = ev;
        }
        if (!hd.settings[i].empty())
            take_settings(i);
    }
}

} // namespace radio
} // namespace dplat
