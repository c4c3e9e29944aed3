// The radio seam: what the rest of the platform calls so that stored
// settings reach a real radio. With DORVAN_RADIO unset or "none" every call
// returns at once without a system call.
//
// DORVAN_RADIO           "hostapd": dorvand runs hostapd; "none" (default)
// DORVAN_HOSTAPD         the hostapd program (default /usr/sbin/hostapd)
// DORVAN_HOSTAPD_DRIVER  its driver= line (default nl80211)
// DORVAN_RADIO_IFNAME    primary interface (default wlan0); wl0.I is IFNAME-I
// Under the root: var/dorvan/radio/hostapd.conf (0600), the MAC lists beside
// it, and hostapd's control sockets in var/run/hostapd/.
#ifndef DORVAN_RADIO_H
#define DORVAN_RADIO_H

#include "dorvan_store.h"

#include <string>

// A setting was written into the working copy under its canonical key.
void radio_note_set(const std::string &key, const char *value);
// The working copy was stored (ok), or its store failed.
void radio_stored(bool ok);
// Once per pass of the process that owns the radio (dorvand): the wireless
// switch as read (1 on, 0 off, -1 unreadable). Supervises hostapd and
// applies changes stored by other processes.
void radio_poll(int switchOn);
// A system action ran (the WPS button's shell lines are seen here).
void radio_system_action(const char *cmdline);

// dorvan-cfg radio: the configuration rendered from img with secrets masked,
// then hostapd's state per interface.
std::string radio_describe(const DorvanImage &img, int switchOn);
// One request on hostapd's control socket of ifname (e.g. "wlan0"); 0 and
// the reply, or -1. Bounded by timeoutMs.
int radio_request(const char *ifname, const char *cmd, std::string *reply, int timeoutMs);
// The whole configuration rendered from img, as it would be written; and
// whether key is one the renderer may write (the fuzz target checks both).
std::string radio_render(const DorvanImage &img, int switchOn);
bool radio_key_allowed(const std::string &key);

#endif
