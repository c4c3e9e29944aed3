// Inside the radio room: the plan, control-socket client, hostapd backend.
#ifndef DORVAN_RADIO_INTERNAL_H
#define DORVAN_RADIO_INTERNAL_H

#include "dorvan_store.h"
#include "platform_internal.h"
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
// A file of wl0.I's own beside the configuration: hostapd-wl0.I<ext>.
std::string bss_file(const Env &env, int i, const char *ext);

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

// The hostapd backend, by concern: hostapd.cpp (its state and entry
// points), hostapd_conf.cpp (the files it runs), hostapd_child.cpp
// (supervision), hostapd_apply.cpp (a change by the least disruptive
// means), hostapd_wps.cpp (WPS and events).
extern const int kBackoffFirstMs;
extern const int kBackoffMaxMs;
extern const int kCtrlWaitMs;   // one control request
extern const int kPingWaitMs;   // a starting hostapd's first answer, per pass
extern const char *const kIfaceNames[WL_IFACE_COUNT];

struct WpsOp {
    int iface;
    std::string cmd;
    int64_t until;
};

// The hostapd backend's state: one hostapd per dorvand.
struct Hostapd {
    bool owner = false;
    bool usable = false;
    Env env;
    std::string confPath;
    std::string pidPath;
    std::string logPath;

    pid_t child = -1;
    pid_t ending = -1;          // told to end, not yet reaped
    pid_t onFile = -1;          // the pid the pid file names
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

extern Hostapd hd;
void note(int level, const char *what);

// A request our own hostapd answered: an answer from a socket planted at
// the path is no answer.
bool ours(const std::string &ifname, const char *cmd, std::string *reply, int waitMs);

// Supervision.
bool become_owner();
void drain_log();
void reap();
void name_on_file();
void reload();
void check_answered();
void stop();
bool ended();
void start_when_ended();
// The hostapd running confPath, as pidPath names it; -1 when none.
pid_t running_hostapd(const std::string &pidPath, const std::string &confPath);
// The parts of plan hostapd is to run (use[I] null: wl0.I left out), each
// refused part replaced by its last good one; null: no radio part yet.
const Section *chosen_parts(const RadioPlan &plan, const Section *use[WL_IFACE_COUNT]);
// The configuration and the MAC lists written; false: tried again later.
bool write_conf(const std::string &conf, const Section *const use[WL_IFACE_COUNT]);
// The file of one guest BSS added alone.
std::string bss_conf(const std::string &ifname, const std::string &bssid, const Section &radio, const Section &part);
// Stations follow a channel switch announcement within the band: the
// request that moves the radio part from was to now when only its channel
// differs, at 20 MHz, neither side hostapd's choice (0); else "".
std::string chan_switch(const Section &was, const Section &now);
// The plan of img to the running hostapd.
void apply(const DorvanImage &img);
// WPS and events. The request for the WPS operation wlWscConfig names on
// wl0.I; "" for none, or a PIN refused (logged).
std::string wps_command(const DorvanImage &img, int i, const std::string &config);
void ask_wps(const DorvanImage &img, int i, const std::string &config);
void send_wps();
void detach(int i);
void detach();
void attach();
void read_events();

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
