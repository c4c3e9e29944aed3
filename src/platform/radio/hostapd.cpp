// hostapd owned by dorvand: configuration written, hostapd started, kept
// running with a back-off, re-read (SIGHUP) or restarted on change, WPS
// operations sent once each through its control socket.
#include "radio_internal.h"
#include "cfg_framework.h"
#include "platform_internal.h"
#include "protocol.h"
#include "wlmgr.h"
#include "wlkeys.h"

#include <errno.h>
#include <stdio.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace dplat {
namespace radio {

namespace {

// Read once at start: the daemon's pass is fixed by its environment.
const int kBackoffFirstMs = (int)span_ms(SPAN_HOSTAPD_BACKOFF);
const int kBackoffMaxMs = (int)span_ms(SPAN_HOSTAPD_BACKOFF_MAX);
const int kSteadyMs = (int)span_ms(SPAN_HOSTAPD_STEADY);  // a run this long resets the back-off
const int kStopWaitMs = (int)span_ms(SPAN_HOSTAPD_STOP);  // SIGTERM, then SIGKILL
const int kCtrlWaitMs = (int)span_ms(SPAN_HOSTAPD_CTRL);  // one control request
const int kBssWaitMs = (int)span_ms(SPAN_HOSTAPD_BSS);    // one BSS removed or added
const int kWpsKeepMs = (int)span_ms(SPAN_WPS_KEEP);       // a WPS operation waits this long for hostapd
const int kPingWaitMs = (int)span_ms(SPAN_HOSTAPD_PING);  // a starting hostapd's first answer, per pass
const int kRetryMaxMs = kBackoffMaxMs;                     // an unwritten configuration is tried again
const size_t kWpsMax = 4;
// hostapd.log keeps its last bytes only: /var is RAM on a gateway.
const size_t kLogMax = 256 * 1024;
const size_t kLogReadMax = 4 * kLogMax;  // read at one look
const int kAttachRetryMs = (int)span_ms(SPAN_HOSTAPD_ATTACH);  // an interface whose events we cannot have yet

struct WpsOp {
    int iface;
    std::string cmd;
    int64_t until;
};

struct Backend {
    bool owner = false;
    bool usable = false;
    Env env;
    std::string confPath;
    std::string pidPath;
    std::string logPath;

    pid_t child = -1;
    pid_t ending = -1;          // told to end, not yet reaped
    int64_t killAtMs = 0;       // then killed
    bool restarting = false;    // a start waits for it to end
    int64_t startedMs = 0;
    int64_t nextStartMs = 0;
    int backoffMs = 0;
    bool want = false;          // hostapd should run
    std::string applied;        // configuration and MAC lists as last written
    std::string restartKey;     // what the running hostapd cannot re-read
    std::string refusedNow;     // to log refusals once per change
    std::string leftOutNow;
    bool answered = false;      // the running hostapd answered PING
    bool hupPending = false;    // a re-read waits for that answer
    int64_t retryMs = -1;       // the configuration could not be written
    int retryStepMs = 0;
    std::string loadFailure;    // the data model could not be read

    int switchOn = 1;
    FileId seen;                // the data model last applied
    bool haveGood[5] = {};      // last good radio part [4] and interface parts
    Section good[5];

    int logFd = -1;             // hostapd's output, read end
    bool logKept = false;       // hostapd.log is ours to write this run
    std::string logTail;        // what hostapd.log holds

    bool inConf[4] = {};        // interfaces in the configuration written
    int evFd[4] = {-1, -1, -1, -1}; // attached to each one's events
    std::string evSelf[4];
    int64_t attachMs = 0;       // next attach attempt
    std::string settings[4];    // a registrar's settings not yet stored

    bool runKnown = false;      // run[] is what hostapd runs
    Section run[5];             // its interface parts [0..3] and radio part [4]
    bool runOn[4] = {};
    std::vector<WpsOp> wps;
};

Backend g;

void note(int level, const char *what)
{
    log_log(level, "radio", 0, "%s", what);
}

std::string status(int st)
{
    if (WIFEXITED(st))
        return "exit status " + std::to_string(WEXITSTATUS(st));
    if (WIFSIGNALED(st))
        return "signal " + std::to_string(WTERMSIG(st));
    return "status " + std::to_string(st);
}

// hostapd's output reaches its file through us, bounded: the file keeps the
// newest whole lines (why a hostapd ended is its last ones). hostapd's end
// of the pipe blocks, so nothing it writes is lost; ours does not, and one
// look reads at most kLogReadMax: a program that floods waits for the next.
void drain_log()
{
    if (g.logFd < 0)
        return;
    size_t had = g.logTail.size();  // what the file holds
    bool cut = false;
    char buf[16384];
    for (size_t total = 0; total < kLogReadMax;) {
        ssize_t n = read(g.logFd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += (size_t)n;
        if (!g.logKept)
            continue;
        g.logTail.append(buf, (size_t)n);
        if (g.logTail.size() <= kLogMax)
            continue;
        // Down to half the bound, so that the file is rewritten rarely; a
        // line longer than that is kept whole if it fits.
        size_t size = g.logTail.size(), from = size - kLogMax / 2;
        size_t nl = g.logTail.find('\n', from);
        if (nl == std::string::npos)
            nl = g.logTail.rfind('\n', from);
        g.logTail.erase(0, nl != std::string::npos && size - nl - 1 <= kLogMax ? nl + 1 : size - kLogMax);
        cut = true;
    }
    if (!g.logKept || (!cut && g.logTail.size() == had))
        return;
    if (cut) {
        write_file_atomic(g.logPath, g.logTail, nullptr, 0600, false);
        return;
    }
    // Never through a link, never into a FIFO or device planted there.
    int fd = open(g.logPath.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (size_t)st.st_size == had)
        write_fully(fd, g.logTail.data() + had, g.logTail.size() - had);
    else
        write_file_atomic(g.logPath, g.logTail, nullptr, 0600, false);
    if (fd >= 0)
        close(fd);
}

void detach(int i)
{
    if (g.evFd[i] >= 0)
        close_client(g.evFd[i], g.evSelf[i]);
    g.evFd[i] = -1;
}

void detach()
{
    for (int i = 0; i < 4; i++)
        detach(i);
    g.attachMs = 0;
}

// A hostapd that ended: its start again waits 1 s, doubling to 60 s, reset
// after a minute of running.
void reap()
{
    int st = 0;
    pid_t r;
    do {
        r = waitpid(g.child, &st, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != g.child && !(r < 0 && errno == ECHILD))
        return;
    drain_log();
    int64_t now = monotonic_ms();
    bool fresh = now - g.startedMs >= kSteadyMs || g.backoffMs == 0;
    g.backoffMs = fresh ? kBackoffFirstMs : std::min(g.backoffMs * 2, kBackoffMaxMs);
    g.nextStartMs = now + g.backoffMs;
    // The first end of a series is an error; its repeats only notices.
    if (r == g.child)
        note(fresh ? CFG_LOG_ERR : CFG_LOG_NOTICE,
             ("hostapd " + std::to_string(g.child) + " ended: " + status(st) + ", see " + g.logPath).c_str());
    g.child = -1;
    unlink(g.pidPath.c_str());
    detach();
}

// Ends pid (ours or a leftover of an earlier dorvand) within kStopWaitMs,
// then by SIGKILL.
void end_process(pid_t pid, bool ours)
{
    kill(pid, SIGCONT);
    kill(pid, SIGTERM);
    int64_t deadline = monotonic_ms() + kStopWaitMs;
    // hostapd usually ends within a millisecond: look early, then back off.
    useconds_t step = 250;
    for (;;) {
        if (ours) {
            // Ending, it may still write: a full pipe would hold it.
            drain_log();
            pid_t r = waitpid(pid, nullptr, WNOHANG);
            if (r == pid || (r < 0 && errno == ECHILD))
                return;
        } else if (kill(pid, 0) != 0 && errno == ESRCH) {
            return;
        }
        if (monotonic_ms() >= deadline)
            break;
        usleep(step);
        step = step < 5000 ? step * 2 : 5000;
    }
    kill(pid, SIGKILL);
    if (ours)
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
}

void reload()
{
    g.hupPending = false;
    kill(g.child, SIGHUP);
    trace("apply", "reload");
    note(CFG_LOG_NOTICE, "hostapd re-reads its configuration");
}

const char *const kNames[WL_IFACE_COUNT] = {WL_IFACE_NAMES};

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

// A request our own hostapd answered: an answer from a socket planted at
// the path is no answer.
bool ours(const std::string &ifname, const char *cmd, std::string *reply, int waitMs)
{
    pid_t from = -1;
    return request(g.env.ctrlDir, ifname, cmd, reply, waitMs, &from) == 0 && from == g.child;
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
    std::string name = iface_name(g.env, i);
    if (allowWas && !allowNow && !ok_reply(name, "SET macaddr_acl 0"))
        return false;
    if (!acl_list_change(name, "ACCEPT_ACL ", accWas, accNow) || !acl_list_change(name, "DENY_ACL ", denyWas, denyNow))
        return false;
    // hostapd checks the joined stations against the accept list on a
    // removal; one of an address never listed makes it check them now.
    if (!allowWas && allowNow &&
        (!ok_reply(name, "SET macaddr_acl 1") || !ok_reply(name, "ACCEPT_ACL DEL_MAC 00:00:00:00:00:00")))
        return false;
    trace("apply", "acl", kNames[i]);
    return true;
}

// Moves interface i from was to now with SET and the key's command; false
// when hostapd refused a step.
bool live_change(int i, const Section &was, const Section &now)
{
    std::vector<std::string> a, b;
    fixed_lines(was.lines, &a);
    fixed_lines(now.lines, &b);
    std::string name = iface_name(g.env, i);
    for (size_t n = 0; n < b.size(); n++) {
        if (a[n] == b[n])
            continue;
        const LiveKey *k = live_key(b[n]);
        size_t eq = b[n].find('=');
        if (!ok_reply(name, "SET " + b[n].substr(0, eq) + " " + b[n].substr(eq + 1)) || !ok_reply(name, k->cmd))
            return false;
        trace("apply", k->event, kNames[i]);
    }
    return acl_change(i, was, now);
}

// One field of a STATUS reply.
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
    std::string name = iface_name(g.env, i), status, reply;
    auto cannot = [&](const char *why) {
        note(CFG_LOG_NOTICE, ("hostapd cannot replace " + name + " alone (" + why +
                              "): the whole configuration is applied").c_str());
        return false;
    };
    if (!ours(iface_name(g.env, 0), "STATUS", &status, kBssWaitMs))
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
    std::string file = g.env.radioDir + "/hostapd-" + kNames[i] + ".conf";
    std::string add = "ADD bss_config=" + phy + ":" + file;
    if (now != nullptr && (phy.empty() || add.size() > 255))
        return cannot(phy.empty() ? "no PHY name" : "request too long");
    if (now != nullptr) {
        std::string text = "driver=" + g.env.driver + "\nctrl_interface=" + g.env.ctrlDir + "\ninterface=" + name +
                           "\nbssid=" + bssid + "\n" + radio.restart + radio.lines + now->restart + now->lines;
        if (write_file_atomic(file, text, nullptr, 0600, false) != 0)
            return cannot("file not written");
    }
    if (was != nullptr) {
        detach(i);
        if (!ok_reply("global", "REMOVE " + name, kBssWaitMs))
            return false;
        trace("apply", "bss", (std::string(kNames[i]) + " remove").c_str());
    }
    if (now != nullptr) {
        if (!ok_reply("global", add, kBssWaitMs))
            return false;
        trace("apply", "bss", (std::string(kNames[i]) + " add").c_str());
    }
    return true;
}

// What the running hostapd runs moved to radio and use by the least
// disruptive means per part; false when only a re-read or a restart can.
bool apply_parts(const Section &radio, const Section *const use[4])
{
    if (!g.runKnown || g.child < 0 || !g.answered || g.hupPending || radio.restart != g.run[4].restart ||
        radio.lines != g.run[4].lines || use[0] == nullptr || !g.runOn[0])
        return false;
    // wl0 first: anything there but live settings is a re-read, before
    // any guest is touched.
    for (int i = 0; i < 4; i++) {
        const Section *was = g.runOn[i] ? &g.run[i] : nullptr;
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
    return true;
}

// A hostapd signalled before it installed its handlers would die of
// SIGHUP: nothing is sent to it until it has answered once.
void check_answered()
{
    std::string reply;
    if (g.child < 0 || g.answered ||
        request(g.env.ctrlDir, g.env.ifname, "PING", &reply, kPingWaitMs) != 0 ||
        reply.compare(0, 4, "PONG") != 0)
        return;
    g.answered = true;
    if (g.hupPending)
        reload();
}

// Attached to the events of each interface in the configuration once
// hostapd answers; one that has no socket yet is tried again later.
void attach()
{
    if (g.child < 0 || !g.answered || monotonic_ms() < g.attachMs)
        return;
    bool missing = false;
    for (int i = 0; i < 4; i++) {
        if (!g.inConf[i]) {
            detach(i);
            continue;
        }
        if (g.evFd[i] >= 0)
            continue;
        std::string reply;
        pid_t from = -1;
        int fd = open_client(g.env.ctrlDir, iface_name(g.env, i), &g.evSelf[i]);
        if (fd >= 0 && exchange(fd, "ATTACH", &reply, kPingWaitMs, &from) == 0 && from == g.child &&
            reply.compare(0, 2, "OK") == 0) {
            g.evFd[i] = fd;
            continue;
        }
        if (fd >= 0)
            close_client(fd, g.evSelf[i]);
        missing = true;
    }
    g.attachMs = missing ? monotonic_ms() + kAttachRetryMs : INT64_MAX;
}

// Settings a registrar gave wl0.I go into the data model and flash; the
// store applies them like any other change. A busy lock: the next pass.
void take_settings(int i)
{
    const char *names[WL_IFACE_COUNT] = {WL_IFACE_NAMES};
    std::vector<std::pair<std::string, std::string>> writes;
    const char *why = ap_settings(g.settings[i], i, &writes);
    if (why != nullptr) {
        g.settings[i].clear();
        note(CFG_LOG_ERR, ("WPS: settings from a registrar for " + std::string(names[i]) + " not taken: " + why).c_str());
        return;
    }
    if (cfgLck_acquireLockTraced("radio") != CFG_RET_SUCCESS)
        return;
    g.settings[i].clear();
    bool ok = wlmgr_loadWorkingCopy() == 0;
    for (const auto &w : writes)
        ok = ok && wlmgr_setVar(w.first.c_str(), w.second.c_str()) == 0;
    ok = ok && wlmgr_storeWorkingCopy() == 0 && cfgMgm_saveConfigToFlash() == CFG_RET_SUCCESS;
    if (!ok)
        wlmgr_loadWorkingCopy();
    cfgLck_releaseLockTraced("radio");
    trace("apply", ok ? "wps-settings" : "wps-settings-lost", names[i]);
    note(ok ? CFG_LOG_NOTICE : CFG_LOG_ERR,
         ("WPS: settings from a registrar for " + std::string(names[i]) +
          (ok ? " stored and saved" : " could not be stored")).c_str());
}

// Events waiting on the attached sockets; only our hostapd's count.
void read_events()
{
    const char kNew[] = "WPS-NEW-AP-SETTINGS";
    for (int i = 0; i < 4; i++) {
        for (int k = 0; g.evFd[i] >= 0 && k < 16; k++) {
            char buf[4096];
            pid_t from = -1;
            ssize_t n = receive(g.evFd[i], buf, sizeof(buf), &from);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                detach(i);
                g.attachMs = 0;
            }
            if (n < 0)
                break;
            std::string ev(buf, (size_t)n);
            size_t gt = ev.find('>');
            if (from != g.child || ev.empty() || ev[0] != '<' || gt == std::string::npos ||
                ev.compare(gt + 1, sizeof(kNew) - 1, kNew) != 0)
                continue;
            ev.erase(0, gt + sizeof(kNew));
            while (!ev.empty() && (ev.back() == '\n' || ev.back() == ' '))
                ev.pop_back();
            while (!ev.empty() && ev[0] == ' ')
                ev.erase(0, 1);
            g.settings[i] = ev;
        }
        if (!g.settings[i].empty())
            take_settings(i);
    }
}

// Never waits: a hostapd that ignores SIGTERM is killed at its deadline
// by a later pass, not inside a store.
void stop()
{
    if (g.child < 0)
        return;
    kill(g.child, SIGCONT);
    kill(g.child, SIGTERM);
    g.ending = g.child;
    g.killAtMs = monotonic_ms() + kStopWaitMs;
    g.child = -1;
    // The pid file names it until it is reaped: a dorvand killed meanwhile
    // leaves the next one a hostapd to end, not one it cannot see.
    detach();
}

// Whether the hostapd told to end has; killed at its deadline.
bool ended()
{
    if (g.ending < 0)
        return true;
    drain_log();
    pid_t r = waitpid(g.ending, nullptr, WNOHANG);
    if (r == g.ending || (r < 0 && errno == ECHILD)) {
        g.ending = -1;
        unlink(g.pidPath.c_str());
        return true;
    }
    if (monotonic_ms() >= g.killAtMs) {
        kill(g.ending, SIGKILL);
        g.killAtMs = INT64_MAX;
        note(CFG_LOG_ERR, ("hostapd " + std::to_string(g.ending) + " did not end on SIGTERM: killed").c_str());
    }
    return false;
}

void start(bool traced)
{
    drain_log();
    if (g.logFd >= 0)
        close(g.logFd);
    g.logFd = -1;
    // The last run's lines stay: why it ended is in them.
    struct stat st;
    g.logKept = !(lstat(g.logPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode));
    if (!g.logKept)
        note(CFG_LOG_ERR, (g.logPath + " is not a regular file: hostapd's output dropped").c_str());
    else
        g.logKept = write_file_atomic(g.logPath, g.logTail, nullptr, 0600, false) == 0;
    int out[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || fcntl(out[0], F_SETFL, O_NONBLOCK) != 0) {
        if (out[0] >= 0) {
            close(out[0]);
            close(out[1]);
        }
        out[0] = out[1] = -1;
    }
    // The global socket adds and removes one guest BSS.
    std::string global = g.env.ctrlDir + "/global";
    const char *argv[] = {g.env.program.c_str(), "-g", global.c_str(), g.confPath.c_str(), nullptr};
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        note(CFG_LOG_ERR, ("fork: " + std::string(strerror(errno))).c_str());
        g.nextStartMs = monotonic_ms() + kBackoffFirstMs;
        if (out[0] >= 0) {
            close(out[0]);
            close(out[1]);
        }
        return;
    }
    if (pid == 0) {
        child_signal_defaults();
        // hostapd must not outlive us, even killed: a restarted dorvand
        // would find it holding the radio.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        int w = out[1] >= 0 ? out[1] : open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (in >= 0)
            dup2(in, 0);
        if (w >= 0) {
            dup2(w, 1);
            dup2(w, 2);
        }
        // dup2 onto itself keeps close-on-exec: a descriptor opened as 0..2.
        for (int fd = 0; fd < 3; fd++)
            fcntl(fd, F_SETFD, 0);
        execv(argv[0], (char *const *)argv);
        dprintf(2, "cannot execute %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    if (out[1] >= 0)
        close(out[1]);
    g.logFd = out[0];
    g.child = pid;
    g.startedMs = monotonic_ms();
    detach();
    g.answered = false;
    g.hupPending = false;
    write_file_atomic(g.pidPath, std::to_string((long)pid) + "\n", nullptr, 0644, false);
    // One trace event and one log line per apply: a restart tells its own.
    if (!traced)
        return;
    trace("apply", "start");
    note(CFG_LOG_NOTICE, ("hostapd " + std::to_string(pid) + " started").c_str());
}

// A start, or the second half of a restart, once the last hostapd is gone.
void start_when_ended()
{
    if (!ended())
        return;
    start(!g.restarting);
    if (g.restarting) {
        trace("apply", "restart");
        note(CFG_LOG_NOTICE, ("hostapd restarted as " + std::to_string(g.child)).c_str());
    }
    g.restarting = false;
}

// The hostapd running confPath, as pidPath names it; -1 when none.
pid_t running_hostapd(const std::string &pidPath, const std::string &confPath)
{
    std::string text;
    if (read_whole_file(pidPath, &text, nullptr, 64) != 0)
        return -1;
    long pid = atol(text.c_str());
    std::string cmdline;
    if (pid <= 1 || read_whole_file("/proc/" + std::to_string(pid) + "/cmdline", &cmdline, nullptr, 4096) != 0 ||
        cmdline.find(confPath) == std::string::npos)
        return -1;
    return (pid_t)pid;
}

// A hostapd left by an earlier dorvand of this root (one that was replaced
// by exec, which does not fire the death signal).
void end_leftover()
{
    pid_t pid = running_hostapd(g.pidPath, g.confPath);
    if (pid < 0)
        return;
    note(CFG_LOG_NOTICE, ("ending hostapd " + std::to_string(pid) + " left by an earlier run").c_str());
    end_process((pid_t)pid, waitpid((pid_t)pid, nullptr, WNOHANG) == 0);
}

bool become_owner()
{
    if (g.owner)
        return g.usable;
    g.owner = true;
    g.usable = read_env(&g.env);
    if (!g.usable)
        return false;
    g.confPath = g.env.radioDir + "/hostapd.conf";
    g.pidPath = g.env.radioDir + "/hostapd.pid";
    g.logPath = g.env.radioDir + "/hostapd.log";
    end_leftover();
    // hostapd makes its control folder but not the ones above it.
    std::string run = root_path("/var/run");
    if (make_dirs(run) != 0)
        note(CFG_LOG_ERR, ("cannot create " + run).c_str());
    return true;
}

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

void queue_wps(int i, const std::string &cmd)
{
    if (cmd.empty())
        return;
    if (g.wps.size() >= kWpsMax)
        g.wps.erase(g.wps.begin());
    g.wps.push_back({i, cmd, monotonic_ms() + kWpsKeepMs});
}

// Sends waiting WPS operations whose hostapd is up; each goes once.
void send_wps()
{
    // A hostapd that hangs costs one deadline a call, not one per operation.
    int64_t budget = monotonic_ms() + kCtrlWaitMs;
    for (size_t k = 0; k < g.wps.size();) {
        if (monotonic_ms() >= budget)
            return;
        WpsOp &op = g.wps[k];
        std::string word = op.cmd.substr(0, op.cmd.find(' '));
        std::string reply;
        int rc = g.child >= 0 && g.answered
                     ? request(g.env.ctrlDir, iface_name(g.env, op.iface), op.cmd.c_str(), &reply, kCtrlWaitMs)
                     : -1;
        bool sent = rc == 0 && reply.compare(0, 4, "FAIL") != 0 && reply.compare(0, 7, "UNKNOWN") != 0;
        // Sent but unanswered: hostapd may well have taken it; never twice.
        if (rc == kSentNoReply) {
            note(CFG_LOG_ERR, ("WPS " + word + " sent, no reply from hostapd").c_str());
        } else if (sent) {
            trace("apply", "wps", word.c_str());
            note(CFG_LOG_NOTICE, ("WPS " + word + " on " + iface_name(g.env, op.iface)).c_str());
        } else if (monotonic_ms() < op.until) {
            k++;
            continue;
        } else {
            note(CFG_LOG_ERR, ("WPS " + word + " not taken by hostapd").c_str());
        }
        g.wps.erase(g.wps.begin() + (long)k);
    }
}

void apply(const DorvanImage &img)
{
    RadioPlan plan = make_plan(g.env, img, g.switchOn);
    const Section *use[4] = {nullptr, nullptr, nullptr, nullptr};
    const std::string &refused = plan.refused;
    std::string leftOut;
    for (const std::string &m : plan.leftOut)
        leftOut += m + " ";
    // A refused part falls back to the last good one of that part.
    auto pick = [&](const Section &s, int slot) -> const Section * {
        if (s.refused.empty()) {
            g.good[slot] = s;
            g.haveGood[slot] = true;
        }
        return g.haveGood[slot] ? &g.good[slot] : nullptr;
    };
    const Section *r = pick(plan.radio, 4);
    for (int i = 0; i < 4; i++)
        if (plan.on[i])
            use[i] = pick(plan.bss[i], i);
    if (refused != g.refusedNow) {
        g.refusedNow = refused;
        for (size_t p = 0, e; (e = refused.find(' ', p)) != std::string::npos; p = e + 1) {
            std::string name = refused.substr(p, e - p);
            trace("apply", "refused", name.c_str());
            note(CFG_LOG_ERR, ("setting " + name + " refused: hostapd keeps its last good value").c_str());
        }
    }
    if (leftOut != g.leftOutNow) {
        g.leftOutNow = leftOut;
        if (!leftOut.empty())
            note(CFG_LOG_ERR, ("MAC filter addresses left out: " + leftOut).c_str());
    }

    std::string conf = r != nullptr ? assemble(g.env, *r, use) : std::string();
    if (conf.empty()) {
        g.want = false;
        g.applied.clear();
        if (g.child >= 0 || g.restarting) {
            stop();
            g.restarting = false;
            trace("apply", "stop");
            note(CFG_LOG_NOTICE, "hostapd stopped: radio off");
        }
        return;
    }
    for (int i = 0; i < 4; i++)
        g.inConf[i] = use[i] != nullptr;
    g.attachMs = 0;
    std::string all = conf;
    std::string key = r->restart;
    for (int i = 0; i < 4; i++) {
        if (use[i] == nullptr)
            continue;
        all += use[i]->aclPath + "\n" + use[i]->acl;
        key += std::to_string(i) + "\n" + use[i]->restart;
    }
    bool wasWanted = g.want;
    g.want = true;
    if (all == g.applied && (g.child >= 0 || wasWanted))
        return;
    bool written = true;
    for (int i = 0; i < 4; i++)
        if (use[i] != nullptr && !use[i]->aclPath.empty())
            written = write_file_atomic(use[i]->aclPath, use[i]->acl, nullptr, 0600, false) == 0 && written;
    if (!written || write_file_atomic(g.confPath, conf, nullptr, 0600, false) != 0) {
        // A full disk empties again: tried at later passes, backing off so
        // that the write's own log line stays rare.
        if (g.retryMs < 0)
            note(CFG_LOG_ERR, "hostapd configuration not written: tried again later");
        g.retryStepMs = g.retryMs < 0 ? kBackoffFirstMs : std::min(g.retryStepMs * 2, kRetryMaxMs);
        g.retryMs = monotonic_ms() + g.retryStepMs;
        return;
    }
    if (g.retryMs >= 0)
        note(CFG_LOG_NOTICE, "hostapd configuration written");
    g.retryMs = -1;
    g.applied = all;
    bool done = g.child >= 0 && apply_parts(*r, use);
    // What a hostapd started from now on runs too.
    g.runKnown = true;
    g.run[4] = *r;
    for (int i = 0; i < 4; i++) {
        g.runOn[i] = use[i] != nullptr;
        g.run[i] = use[i] != nullptr ? *use[i] : Section();
    }
    if (done) {
        g.restartKey = key;
        return;
    }
    if (g.child >= 0 && key == g.restartKey) {
        if (g.answered)
            reload();
        else
            g.hupPending = true;
        return;
    }
    g.restartKey = key;
    g.restarting = g.restarting || g.child >= 0;
    stop();
    start_when_ended();
}

void stored(const std::string wps[WL_IFACE_COUNT])
{
    // Only the owner applies; another process's store is seen by its tick.
    if (!g.owner || !g.usable)
        return;
    DorvanImage img = dorvan_working_copy();
    stat_file_id(root_path(DORVAN_MDM_FILE), &g.seen);
    // Stored: the working copy was read, the data model is what it holds.
    g.loadFailure.clear();
    apply(img);
    for (int i = 0; i < WL_IFACE_COUNT; i++)
        if (!wps[i].empty())
            queue_wps(i, wps_command(img, i, wps[i]));
    send_wps();
}

void tick(int switchOn)
{
    if (!become_owner())
        return;
    drain_log();
    if (g.child >= 0)
        reap();
    bool changed = false;
    if (switchOn >= 0 && switchOn != g.switchOn) {
        g.switchOn = switchOn;
        changed = true;
    }
    if (g.retryMs >= 0 && monotonic_ms() >= g.retryMs)
        changed = true;
    check_answered();
    FileId now;
    stat_file_id(root_path(DORVAN_MDM_FILE), &now);
    if (!g.seen.valid || !same_file(g.seen, now)) {
        // An unreadable data model leaves an empty working copy: applying
        // it would stop the radio. hostapd keeps what it runs.
        bool loaded = wlmgr_loadWorkingCopy() == 0;
        int err = errno;
        std::string failure = loaded ? std::string() : dorvan_load_failure();
        if (!loaded && failure.empty())
            failure = strerror(err);
        if (failure != g.loadFailure) {
            g.loadFailure = failure;
            note(loaded ? CFG_LOG_NOTICE : CFG_LOG_ERR,
                 loaded ? "data model readable again" :
                          ("data model not read (" + failure + "): hostapd keeps its configuration").c_str());
        }
        // Failed: tried again at every pass, whatever comes to stand there.
        g.seen = loaded ? now : FileId();
        changed = changed || loaded;
    }
    if (changed && g.loadFailure.empty())
        apply(dorvan_working_copy());
    if (g.want && g.child < 0 && (g.restarting || monotonic_ms() >= g.nextStartMs))
        start_when_ended();
    else
        ended();
    if (!g.wps.empty())
        send_wps();
    attach();
    read_events();
}

void wps(int iface, const char *config)
{
    if (g.owner && g.usable) {
        queue_wps(iface, wps_command(dorvan_working_copy(), iface, config));
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
