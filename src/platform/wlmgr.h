// The wireless manager: wireless settings in a working copy over the data
// model, the MAC filter list, the WDS peer list and scan, channel lists.
#ifndef DORVAN_WLMGR_H
#define DORVAN_WLMGR_H

#ifdef __cplusplus
extern "C" {
#endif

/* Longest name and value the manager stores, NUL excluded. wlmgr_getVar
   never writes more than WLMGR_VALUE_SIZE bytes into its buffer. */
#define WLMGR_NAME_SIZE 64
#define WLMGR_VALUE_SIZE 256
/* Buffer sizes for the list cursors' outputs. */
#define WLMGR_MAC_SIZE 32
#define WLMGR_IFNAME_SIZE 16
/* wlmgr_getVarEx output buffer. */
#define WLMGR_VAREX_SIZE 2048

int wlmgr_getAdapterCount(void);
int wldm_alloc(int count);
int wlmgr_alloc(int count);

/* 0, or -1 with errno when a store file is there but cannot be read: the
   working copy is then empty and nothing is stored or saved until a load
   succeeds. A missing or damaged file is not a failure: loading falls back
   (data model, flash, factory defaults). */
int wlmgr_loadWorkingCopy(void);
/* 0, or -1 with errno (the file could not be written, would be larger than
   loading accepts, or the last load failed). */
int wlmgr_storeWorkingCopy(void);
/* Copies the value (at most WLMGR_VALUE_SIZE bytes with the NUL) into value.
   An unset name gives the empty text and a non-zero result. */
int wlmgr_getVar(const char *name, char *value);
/* 0, or non-zero when name or value is too long (nothing changed). */
int wlmgr_setVar(const char *name, const char *value);
/* The WPS push button was acted on: push-button enrolment on wl0. A WPS
   operation by command is asked by writing wlWscConfig and storing. */
void wlmgr_wpsPushButton(void);
/* argv[0] "", argv[1] "wlChannelList", then the query words; argv[argc] NULL.
   out receives at most WLMGR_VAREX_SIZE bytes. */
int wlmgr_getVarEx(int argc, char **argv, char *out);

/* Results of the list calls (add/remove filter MAC, add WDS MAC). Adding
   an entry that is already there succeeds and adds nothing. */
#define WLMGR_LIST_OK 0
#define WLMGR_LIST_BADARG 1 /* null, empty or too long a field */
#define WLMGR_LIST_ABSENT 2 /* remove: no such address on the interface */
#define WLMGR_LIST_FULL 3
#define WLMGR_FILTER_MAX 64
#define WLMGR_WDS_MAX 32
#define WLMGR_WDS_SCAN_MAX 256

/* MAC filter list (in the working copy, stored with it). A null cursor
   starts the walk; each call delivers one entry and returns the cursor for
   the next, or returns NULL when there is none. flags is not used.
   Remove acts on the interface selected by wlSsidIdx (wl0, wl0.1 ..). */
void *wlmgr_getFilterMac(void *cursor, char *mac, int flags, char *ifname);
int wlmgr_addFilterMac(const char *mac, const char *ssid, const char *ifname);
int wlmgr_removeFilterMac(const char *mac);

/* WDS peers. Scan results come from var/dorvan/radio/wds_peers ("MAC SSID"
   a line); the peer list holds upper-case addresses. */
void wlmgr_scanWdsMacStart(void);
void wlmgr_scanWdsMacResult(void);
void *wlmgr_getScanWdsMacSSID(void *cursor, char *mac, char *ssid);
int wlmgr_isWdsMacConfigured(const char *mac);
int wlmgr_addWdsMac(const char *mac);

#ifdef __cplusplus
}
#endif

#endif
