// Extra data-model access beyond the vendor API, for dorvan-cfg and the
// tests. C++ only.
//
// Files under the root (DORVAN_ROOT, default "/"):
//   var/dorvan/mdm.db       data model
//   var/dorvan/flash.db     flash copy of the data model
//   var/dorvan/cfg.lock     configuration lock (flock; never renamed/removed)
//   var/dorvan/dorvand.lock dorvand's instance lock (flock, 0600; never removed)
//   var/dorvan/board/{reset_button,wireless_switch,wps_button}
//   var/dorvan/radio/wds_peers   WDS scan results, "MAC SSID" a line
//   etc/dorvan/board.conf   optional map of the board inputs to devices
// mdm.db and flash.db share one format: a header line
//   "DORVAN-DB 1 <body length> <crc32 of body, 8 lower-case hex>\n"
// then the body, one record a line, fields separated by one tab:
//   v <name> <value>          a setting, under its canonical name
//   f <mac> <ssid> <ifname>   a MAC filter entry
//   w <mac>                   a WDS peer
// Fields escape backslash, tab, newline and other bytes below 0x20 as
// \\ \t \n \xHH. Files are replaced atomically through "<file>.tmp.<pid>"
// (mode 0600: the data model holds passphrases). Only flash.db is synced
// (file, then folder) and survives a power loss; mdm.db is RAM on a gateway:
// a torn or empty one fails its checksum and loading falls back to flash.
//
// Environment:
//   DORVAN_ROOT          root prefix of every path (unset/empty: "/")
//   DORVAN_LOG           log file (appended); unset: standard error
//   DORVAN_TRACE         event trace file (appended), one line an event
//   DORVAN_LOCK_WAIT_MS  wait of cfgLck_acquireLockTraced (default 250, 0: one try)
//   DORVAN_FAIL          "call=code,..." makes cfgMsg_init, cfgMdm_init,
//                        wldm_alloc or wlmgr_alloc return code
//   DORVAN_NO_REEXEC     "1": cfgMgm_restoreDefault returns 0 instead of
//                        restarting the program
//   DORVAN_INSTANCE_FD   set only across that restart: the descriptor of the
//                        instance lock, adopted by the new image
#ifndef DORVAN_STORE_H
#define DORVAN_STORE_H

#include <map>
#include <string>
#include <vector>

#define DORVAN_STATE_DIR "/var/dorvan"
#define DORVAN_MDM_FILE "/var/dorvan/mdm.db"
#define DORVAN_FLASH_FILE "/var/dorvan/flash.db"
#define DORVAN_LOCK_FILE "/var/dorvan/cfg.lock"
#define DORVAN_INSTANCE_LOCK_FILE "/var/dorvan/dorvand.lock"
#define DORVAN_BOARD_DIR "/var/dorvan/board"
#define DORVAN_RADIO_DIR "/var/dorvan/radio"
#define DORVAN_WDS_PEERS_FILE "/var/dorvan/radio/wds_peers"

struct DorvanFilterEntry {
    std::string mac;
    std::string ssid;
    std::string ifname;
};

// Everything the data model holds.
struct DorvanImage {
    std::map<std::string, std::string> vars; // canonical name -> value
    std::vector<DorvanFilterEntry> filters;
    std::vector<std::string> wds; // upper-case addresses
};

// Replaces the working copy with the flash (falling back to the factory
// defaults). Traced as "load". 0, or -1 as wlmgr_loadWorkingCopy.
int dorvan_load_flash_working_copy(void);
// "PATH: reason" when the working copy's last load could not read a file,
// else "".
std::string dorvan_load_failure(void);
// wlmgr_storeWorkingCopy: 0, or -1 with errno (logged).
int dorvan_store_working_copy(void);
// A copy of the working copy (loaded on first use).
DorvanImage dorvan_working_copy(void);
// The canonical key name resolves to in the working copy right now, "" when
// the name is refused (empty or too long).
std::string dorvan_canonical_name(const char *name);
// Factory defaults into data model, flash and working copy. No lock taken,
// no re-exec. Traced as "restore". 0 or -1.
int dorvan_restore_factory(void);
// The compiled-in factory configuration.
DorvanImage dorvan_factory_image(void);
// Reads one store file (abs is resolved under the root) without fallback:
// 0 and *out, or -1 and *why ("missing", "checksum mismatch", ...).
int dorvan_read_image_file(const char *abs, DorvanImage *out, std::string *why);
// Forgets the working copy, file caches and scan results and drops the
// lock if held: for a process that switches DORVAN_ROOT (the tests).
void dorvan_reset_process_state(void);
// Each board input on a line, "NAME SOURCE WHERE WHAT POLARITY STATE", read
// now; 0, or -1 when any of them failed.
int dorvan_board_report(std::string *out);
// The wireless switch as the daemon reads it, through the board map and
// without waiting on whatever sits there: 1 on, 0 off, -1 unreadable.
int dorvan_wireless_switch(void);

#endif
