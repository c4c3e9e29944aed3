// The files hostapd runs: the plan's parts with refused ones replaced by
// the last good ones, the configuration and MAC lists written (0600, temp
// file and rename) and tried again later when the disk is full.
#include "radio_internal.h"
#include "cfg_framework.h"
#include "platform_internal.h"

#include <algorithm>

namespace dplat {
namespace radio {

const Section *chosen_parts(const RadioPlan &plan, const Section *use[WL_IFACE_COUNT])
{
    const std::string &refused = plan.refused;
    std::string leftOut;
    for (const std::string &m : plan.leftOut)
        leftOut += m + " ";
    // A refused part falls back to the last good one of that part.
    auto pick = [&](const Section &s, int slot) -> const Section * {
        if (s.refused.empty()) {
            hd.good[slot] = s;
            hd.haveGood[slot] = true;
        }
        return hd.haveGood[slot] ? &hd.good[slot] : nullptr;
    };
    const Section *r = pick(plan.radio, 4);
    for (int i = 0; i < 4; i++)
        if (plan.on[i])
            use[i] = pick(plan.bss[i], i);
    if (refused != hd.refusedNow) {
        hd.refusedNow = refused;
        for (size_t p = 0, e; (e = refused.find(' ', p)) != std::string::npos; p = e + 1) {
            std::string name = refused.substr(p, e - p);
            trace("apply", "refused", name.c_str());
            note(CFG_LOG_ERR, ("setting " + name + " refused: hostapd keeps its last good value").c_str());
        }
    }
    if (leftOut != hd.leftOutNow) {
        hd.leftOutNow = leftOut;
        if (!leftOut.empty())
            note(CFG_LOG_ERR, ("MAC filter addresses left out: " + leftOut).c_str());
    }
    return r;
}

bool write_conf(const std::string &conf, const Section *const use[WL_IFACE_COUNT])
{
    bool written = true;
    for (int i = 0; i < 4; i++)
        if (use[i] != nullptr && !use[i]->aclPath.empty())
            written = write_file_atomic(use[i]->aclPath, use[i]->acl, nullptr, 0600, false) == 0 && written;
    if (!written || write_file_atomic(hd.confPath, conf, nullptr, 0600, false) != 0) {
        // A full disk empties again: tried at later passes, backing off so
        // that the write's own log line stays rare.
        if (hd.retryMs < 0)
            note(CFG_LOG_ERR, "hostapd configuration not written: tried again later");
        hd.retryStepMs = hd.retryMs < 0 ? kBackoffFirstMs : std::min(hd.retryStepMs * 2, kBackoffMaxMs);
        hd.retryMs = monotonic_ms() + hd.retryStepMs;
        return false;
    }
    if (hd.retryMs >= 0)
        note(CFG_LOG_NOTICE, "hostapd configuration written");
    hd.retryMs = -1;
    return true;
}

std::string bss_conf(const std::string &ifname, const std::string &bssid, const Section &radio, const Section &part)
{
    return "driver=" + hd.env.driver + "\nctrl_interface=" + hd.env.ctrlDir + "\ninterface=" + ifname + "\nbssid=" +
           bssid + "\n" + radio.restart + radio.lines + part.restart + part.lines;
}

} // namespace radio
} // namespace dplat
