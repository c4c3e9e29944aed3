// Inside the radio room: the plan, control-socket client, hostapd backend.
#ifndef DORVAN_RADIO_INTERNAL_H
#define DORVAN_RADIO_INTERNAL_H

#include "dorvan_store.h"
#include "protocol.h"

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace dplat {
namespace radio {

struct Env {
    std::string program;  // hostapd
    std::string driver;
    std::string ifname;   // primary interface
    std::string ctrlDir;  // ctrl_interface, absolute
    std::string radioDir; // where the configuration and MAC lists go
};
// The environment's settings, checked; false (logged) when unusable.
bool read_env(Env *env);
// hostapd's interface for wl0.I.
std::string iface_name(const Env &env, int i);

// One part of the configuration. A part with a refused setting is not used:
// the interface keeps its last good part.
struct Section {
    std::string restart; // lines a re-read does not take: a change restarts
    std::string lines;   // lines a re-read (SIGHUP) takes
    std::string refused; // the setting hostapd could not take, "" if none
    std::string aclPath; // MAC list file and its content, when the filter is on
    std::string acl;
    std::vector<std::string> leftOut; // filter addresses that are no address
};
// What the radio should run: one radio part, one part per interface, and
// the refusals. Pure: reads the image and the regulatory database only.
struct RadioPlan {
    Section radio;
    Section bss[WL_IFACE_COUNT];
    bool on[WL_IFACE_COUNT] = {};      // wl0.I belongs in the configuration
    std::string refused;               // the parts' refused settings, each followed by a space
    std::vector<std::string> leftOut;  // of the interfaces that are on
};
RadioPlan make_plan(const Env &env, const DorvanImage &img, int switchOn);
// The settings of a WPS-NEW-AP-SETTINGS event (its hex dump) as data model
// writes for wl0.I; null, or why they cannot be taken.
const char *ap_settings(const std::string &hexText, int i,
                        std::vector<std::pair<std::string, std::string>> *writes);
// The configuration file from the radio part and the parts of the interfaces
// that are on (null: left out). parts[0] null means no radio at all.
std::string assemble(const Env &env, const Section &radio, const Section *const parts[WL_IFACE_COUNT]);
// Secrets in a rendered configuration replaced by asterisks.
std::string masked(const std::string &conf);

// Control socket: one request, one reply, within timeoutMs. 0, or -1 when
// the request could not be sent, or kSentNoReply.
const int kSentNoReply = -2;
// Longest name after the control folder: "/" and an interface name, or our
// client's "/.dorvan-PID-SEQ".
const size_t kCtrlNameMax = 32;
// sender, if given, gets the replying process (-1 when none replied).
int request(const std::string &ctrlDir, const std::string &ifname, const char *cmd,
            std::string *reply, int timeoutMs, pid_t *sender = nullptr);
// A client socket of our own connected to ifname's: fd (its name in *self),
// or -1 with errno. Only ifname's datagrams reach it.
int open_client(const std::string &ctrlDir, const std::string &ifname, std::string *self);
void close_client(int fd, const std::string &self);
// One request on an open client, as request() does.
int exchange(int fd, const char *cmd, std::string *reply, int timeoutMs, pid_t *sender);
// One datagram waiting on fd, without waiting; its sender's pid.
ssize_t receive(int fd, char *buf, size_t size, pid_t *sender);

// One radio backend, like hostapd's own driver ops: the seam picks a table
// by DORVAN_RADIO and calls only these, so a second AP daemon or a second
// radio is a second table.
struct Ops {
    const char *name;
    void (*tick)(int switchOn);                            // radio_tick
    void (*stored)(const std::string wps[WL_IFACE_COUNT]); // a successful radio_stored
    void (*wps)(int iface, const char *config);            // one WPS operation, as wlWscConfig names it
};
extern const Ops kHostapdOps;

// hostapd's STATUS state per interface of conf, or why there is none.
std::string hostapd_states(const Env &env, const std::string &conf);

} // namespace radio
} // namespace dplat

#endif
