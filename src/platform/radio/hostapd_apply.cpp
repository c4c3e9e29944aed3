// A change applied to the running hostapd part by part, by the least
// disruptive means hostapd takes; anything else falls back to a re-read or
// a restart.
#include "radio_internal.h"
#include "cfg_framework.h"
#include "platform_internal.h"
#include "protocol.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

namespace dplat {
namespace radio {

namespace {

const int kBssWaitMs = (int)span_ms(SPAN_HOSTAPD_BSS);    // one BSS removed or added

// Settings hostapd takes on one BSS without dropping the others' stations:
// the passphrase (RELOAD_WPA_PSK) and beacon-only ones (UPDATE_BEACON).
struct LiveKey {
    const char *key;
    const char *cmd;
    const char *event;
};

// Not wpa_psk: RELOAD_WPA_PSK derives the key from the passphrase alone,
// and SET wpa_psk has just cleared that; the BSS would be left keyless.
const LiveKey kLive[] = {{"wpa_passphrase", "RELOAD_WPA_PSK", "psk"},
                         {"ignore_broadcast_ssid", "UPDATE_BEACON", "beacon"}};

const LiveKey *live_key(const std::string &ln)
{
    for (const LiveKey &k : kLive)
        if (ln.compare(0, strlen(k.key), k.key) == 0 && ln.size() > strlen(k.key) &&
            ln[strlen(k.key)] == '=')
            return &k;
    return nullptr;
}

const char *const kFilterKeys[] = {"macaddr_acl=", "accept_mac_file=", "deny_mac_file="};

bool filter_line(const std::string &ln)
{
    for (const char *k : kFilterKeys)
        if (ln.compare(0, strlen(k), k) == 0)
            return true;
    return false;
}

bool has_line(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0 || text.find("\n" + prefix) != std::string::npos;
}

// The lines of text that are not live settings, and the live ones apart.
std::string fixed_lines(const std::string &text, std::vector<std::string> *liveLines)
{
    std::string out;
    for (const std::string &ln : split_lines(text)) {
        // The filter's lines go by the ACL means, mode and list together.
        if (filter_line(ln))
            continue;
        const LiveKey *k = live_key(ln);
        if (k != nullptr)
            liveLines->push_back(ln);
        // A key that appears or goes is no live change.
        out += (k != nullptr ? std::string(k->key) : ln) + "\n";
    }
    return out;
}

bool same_part(const Section &a, const Section &b)
{
    return a.restart == b.restart && a.lines == b.lines && a.aclPath == b.aclPath && a.acl == b.acl;
}

// Whether hostapd can move one BSS from was to now by live settings and
// MAC list commands alone.
bool live_only(const Section &was, const Section &now)
{
    std::vector<std::string> a, b;
    return was.restart == now.restart &&
           fixed_lines(was.lines, &a) == fixed_lines(now.lines, &b) && a.size() == b.size();
}

bool ok_reply(const std::string &ifname, const std::string &cmd, int waitMs = kCtrlWaitMs)
{
    std::string reply;
    if (cmd.size() > 255 || !ours(ifname, cmd.c_str(), &reply, waitMs) || reply.compare(0, 2, "OK") != 0) {
        note(CFG_LOG_ERR, ("hostapd refused " + cmd.substr(0, cmd.find(' ')) + " on " + ifname +
                           ": the whole configuration is applied instead").c_str());
        return false;
    }
    return true;
}

// One list of a BSS's filter as hostapd holds it: the file's addresses
// when that list is in use, none otherwise.
std::vector<std::string> acl_list(const Section &s, const char *fileKey)
{
    return has_line(s.lines, fileKey) ? split_lines(s.acl) : std::vector<std::string>();
}

// Moves one list from had to want; additions first, so that a removal's
// check of the joined stations never sees a listed one missing.
bool acl_list_change(const std::string &name, const char *kind, const std::vector<std::string> &had,
                     const std::vector<std::string> &want)
{
    for (const std::string &m : want)
        if (std::find(had.begin(), had.end(), m) == had.end() && !ok_reply(name, kind + std::string("ADD_MAC ") + m))
            return false;
    for (const std::string &m : had)
        if (std::find(want.begin(), want.end(), m) == want.end() && !ok_reply(name, kind + std::string("DEL_MAC ") + m))
            return false;
    return true;
}

// The MAC filter on interface i (mode and lists) moved from was to now at
// run time: hostapd drops only the stations the filter now refuses. The
// accept list is filled while the mode still accepts all and emptied after
// it does again, so a listed station is never dropped on the way.
bool acl_change(int i, const Section &was, const Section &now)
{
    if (was.acl == now.acl && was.lines == now.lines)
        return true;
    std::vector<std::string> accWas = acl_list(was, "accept_mac_file="), accNow = acl_list(now, "accept_mac_file=");
    std::vector<std::string> denyWas = acl_list(was, "deny_mac_file="), denyNow = acl_list(now, "deny_mac_file=");
    bool allowWas = has_line(was.lines, "macaddr_acl=1"), allowNow = has_line(now.lines, "macaddr_acl=1");
    if (accWas == accNow && denyWas == denyNow && allowWas == allowNow)
        return true;
    std::string name = iface_name(hd.env, i);
    if (allowWas && !allowNow && !ok_reply(name, "SET macaddr_acl 0"))
        return false;
    if (!acl_list_change(name, "ACCEPT_ACL ", accWas, accNow) || !acl_list_change(name, "DENY_ACL ", denyWas, denyNow))
        return false;
    // hostapd checks the joined stations against the accept list on a
    // removal; one of an address never listed makes it check them now.
    if (!allowWas && allowNow &&
        (!ok_reply(name, "SET macaddr_acl 1") || !ok_reply(name, "ACCEPT_ACL DEL_MAC 00:00:00:00:00:00")))
        return false;
    trace("apply", "acl", kIfaceNames[i]);
    return true;
}

// Moves interface i from was to now with SET and the key's command; false
// when hostapd refused a step.
bool live_change(int i, const Section &was, const Section &now)
{
    std::vector<std::string> a, b;
    fixed_lines(was.lines, &a);
    fixed_lines(now.lines, &b);
    std::string name = iface_name(hd.env, i);
    for (size_t n = 0; n < b.size(); n++) {
        if (a[n] == b[n])
            continue;
        const LiveKey *k = live_key(b[n]);
        size_t eq = b[n].find('=');
        if (!ok_reply(name, "SET " + b[n].substr(0, eq) + " " + b[n].substr(eq + 1)) || !ok_reply(name, k->cmd))
            return false;
        trace("apply", k->event, kIfaceNames[i]);
    }
    return acl_change(i, was, now);
}

// One field of key=value lines: a STATUS reply, a part.
std::string status_field(const std::string &reply, const std::string &name)
{
    for (const std::string &ln : split_lines(reply))
        if (ln.compare(0, name.size() + 1, name + "=") == 0)
            return ln.substr(name.size() + 1);
    return std::string();
}

// A guest BSS taken out of the running hostapd and/or put back with its new
// part through the global control socket: only its own stations drop. The
// first BSS is never removed (that removes the radio).
bool bss_change(int i, const Section *was, const Section *now, const Section &radio)
{
    std::string name = iface_name(hd.env, i), status, reply;
    auto cannot = [&](const char *why) {
        note(CFG_LOG_NOTICE, ("hostapd cannot replace " + name + " alone (" + why +
                              "): the whole configuration is applied").c_str());
        return false;
    };
    if (!ours(iface_name(hd.env, 0), "STATUS", &status, kBssWaitMs))
        return cannot("no STATUS");
    std::string phy = status_field(status, "phy");
    // Its BSSID again, or the next after the radio's as hostapd gives them.
    std::string bssid;
    for (int j = 0; j < 4 && bssid.empty(); j++)
        if (status_field(status, "bss[" + std::to_string(j) + "]") == name)
            bssid = status_field(status, "bssid[" + std::to_string(j) + "]");
    if (bssid.empty()) {
        unsigned mac[6];
        std::string base = status_field(status, "bssid[0]");
        if (sscanf(base.c_str(), "%x:%x:%x:%x:%x:%x", &mac[0], &mac[1], &mac[2], &mac[3], &mac[4], &mac[5]) != 6)
            return cannot("no BSSID");
        char buf[18];
        snprintf(buf, sizeof(buf), "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                 (mac[5] + (unsigned)i) & 0xff);
        bssid = buf;
    }
    std::string file = bss_file(hd.env, i, ".conf");
    std::string add = "ADD bss_config=" + phy + ":" + file;
    if (now != nullptr && (phy.empty() || add.size() > 255))
        return cannot(phy.empty() ? "no PHY name" : "request too long");
    if (now != nullptr) {
        if (write_file_atomic(file, bss_conf(name, bssid, radio, *now), nullptr, 0600, false) != 0)
            return cannot("file not written");
    }
    if (was != nullptr) {
        detach(i);
        if (!ok_reply("global", "REMOVE " + name, kBssWaitMs))
            return false;
        trace("apply", "bss", (std::string(kIfaceNames[i]) + " remove").c_str());
    }
    if (now != nullptr) {
        if (!ok_reply("global", add, kBssWaitMs))
            return false;
        trace("apply", "bss", (std::string(kIfaceNames[i]) + " add").c_str());
    }
    return true;
}

// What the running hostapd runs moved to radio and use by the least
// disruptive means per part; false when only a re-read or a restart can.
bool apply_parts(const Section &radio, const Section *const use[4])
{
    if (!hd.runKnown || hd.child < 0 || !hd.answered || hd.hupPending || radio.lines != hd.run[4].lines ||
        use[0] == nullptr || !hd.runOn[0])
        return false;
    std::string cmd = radio.restart == hd.run[4].restart ? std::string() : chan_switch(hd.run[4], radio);
    if (radio.restart != hd.run[4].restart && cmd.empty())
        return false;
    // wl0 first: anything there but live settings is a re-read, before
    // any guest is touched.
    for (int i = 0; i < 4; i++) {
        const Section *was = hd.runOn[i] ? &hd.run[i] : nullptr;
        if (was == nullptr && use[i] == nullptr)
            continue;
        if (was != nullptr && use[i] != nullptr && same_part(*was, *use[i]))
            continue;
        bool done = was != nullptr && use[i] != nullptr && live_only(*was, *use[i])
                        ? live_change(i, *was, *use[i])
                        : i > 0 && bss_change(i, was, use[i], radio);
        if (!done)
            return false;
    }
    // Last: the BSS steps above may still fall back to a restart.
    if (!cmd.empty()) {
        if (!ok_reply(iface_name(hd.env, 0), cmd))
            return false;
        trace("apply", "channel");
    }
    return true;
}

} // namespace

bool ours(const std::string &ifname, const char *cmd, std::string *reply, int waitMs)
{
    pid_t from = -1;
    return request(hd.env.ctrlDir, ifname, cmd, reply, waitMs, &from) == 0 && from == hd.child;
}

std::string chan_switch(const Section &was, const Section &now)
{
    std::vector<std::string> a = split_lines(was.restart), b = split_lines(now.restart);
    if (a.size() != b.size())
        return std::string();
    for (size_t n = 0; n < a.size(); n++)
        if (a[n] != b[n] && a[n].compare(0, 8, "channel=") != 0)
            return std::string();
    long ch = atol(status_field(now.restart, "channel").c_str());
    if (ch <= 0 || atol(status_field(was.restart, "channel").c_str()) <= 0 || has_line(now.restart, "ht_capab="))
        return std::string();
    long freq = has_line(now.restart, "hw_mode=a") ? 5000 + 5 * ch : ch == 14 ? 2484 : 2407 + 5 * ch;
    return "CHAN_SWITCH 5 " + std::to_string(freq) + (has_line(now.restart, "ieee80211n=1") ? " ht" : "");
}

void apply(const DorvanImage &img)
{
    RadioPlan plan = make_plan(hd.env, img, hd.switchOn);
    const Section *use[4] = {nullptr, nullptr, nullptr, nullptr};
    const Section *r = chosen_parts(plan, use);
    std::string conf = r != nullptr ? assemble(hd.env, *r, use) : std::string();
    if (conf.empty()) {
        hd.want = false;
        hd.applied.clear();
        if (hd.child >= 0 || hd.restarting) {
            stop();
            hd.restarting = false;
            trace("apply", "stop");
            note(CFG_LOG_NOTICE, "hostapd stopped: radio off");
        }
        return;
    }
    for (int i = 0; i < 4; i++)
        hd.inConf[i] = use[i] != nullptr;
    hd.attachMs = 0;
    std::string all = conf;
    std::string key = r->restart;
    for (int i = 0; i < 4; i++) {
        if (use[i] == nullptr)
            continue;
        all += use[i]->aclPath + "\n" + use[i]->acl;
        key += std::to_string(i) + "\n" + use[i]->restart;
    }
    bool wasWanted = hd.want;
    hd.want = true;
    if (all == hd.applied && (hd.child >= 0 || wasWanted))
        return;
    if (!write_conf(conf, use))
        return;
    // A guest that left takes its files (its passphrase) along, a filter
    // turned off its list: hostapd.conf says the whole truth.
    for (int i = 0; i < 4; i++) {
        if (i > 0 && use[i] == nullptr)
            unlink(bss_file(hd.env, i, ".conf").c_str());
        if (use[i] == nullptr || use[i]->aclPath.empty())
            unlink(bss_file(hd.env, i, ".maclist").c_str());
    }
    hd.applied = all;
    bool done = hd.child >= 0 && apply_parts(*r, use);
    // What a hostapd started from now on runs too.
    hd.runKnown = true;
    hd.run[4] = *r;
    for (int i = 0; i < 4; i++) {
        hd.runOn[i] = use[i] != nullptr;
        hd.run[i] = use[i] != nullptr ? *use[i] : Section();
    }
    if (done) {
        hd.restartKey = key;
        return;
    }
    if (hd.child >= 0 && key == hd.restartKey) {
        if (hd.answered)
            reload();
        else
            hd.hupPending = true;
        return;
    }
    hd.restartKey = key;
    hd.restarting = hd.restarting || hd.child >= 0;
    stop();
    start_when_ended();
}

} // namespace radio
} // namespace dplat
