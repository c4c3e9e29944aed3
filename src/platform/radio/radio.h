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
#include "protocol.h"

#include <string>

// The platform drives the radio from its board read (radio_tick), its
// store (radio_stored) and the acted-on push button (radio_wps_button).
//
// Once per pass of the process that owns the radio (dorvand): the wireless
// switch as read (1 on, 0 off, -1 unreadable). Supervises hostapd and
// applies changes stored by other processes.
void radio_tick(int switchOn);
// The working copy was stored (ok), or its store failed; wps: the
// wlWscConfig each interface was given since the last store ("" none).
void radio_stored(bool ok, const std::string wps[WL_IFACE_COUNT]);
// The WPS push button was acted on: push-button enrolment on wl0.
void radio_wps_button();

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
