// The gateway's configuration framework: logger, message bus, data model,
// configuration lock, flash, objects and system actions.
// On a gateway the vendor library provides these; here src/platform does.
#ifndef DORVAN_CFG_FRAMEWORK_H
#define DORVAN_CFG_FRAMEWORK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CFG_RET_SUCCESS 0
#define CFG_RET_INTERNAL_ERROR 9002
#define CFG_RET_TIMED_OUT 9005
#define CFG_RET_NO_MORE_INSTANCES 9800

#define CFG_LOG_ERR 3
#define CFG_LOG_NOTICE 5
#define CFG_LOG_DEBUG 7

/* Logger. Lines go to DORVAN_LOG (a file, appended) or to standard error. */
void cfgLog_init(int entityId);
/* Lines of a level above the threshold are dropped (default 3). */
void cfgLog_setLevel(int level);
void log_log(int level, const char *func, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

/* Message bus and data model. */
int cfgMsg_init(int entityId, void **msgHandle);
void cfgMsg_cleanup(void **msgHandle);
int cfgMdm_init(int entityId, void *msgHandle, int *mdmId);

/* Configuration lock, shared with every process on the gateway. 0: held;
   CFG_RET_TIMED_OUT: another holder kept it; CFG_RET_INTERNAL_ERROR: the
   lock file could not be opened or locked (errno set, logged). The holder
   may acquire again: nested acquires count, and only the matching last
   release unlocks. */
int cfgLck_acquireLockTraced(const char *caller);
/* timeout in seconds */
int cfgLck_acquireLockWithTimeoutTraced(const char *caller, uint32_t timeout);
void cfgLck_releaseLockTraced(const char *caller);

/* Flash. 0, or CFG_RET_INTERNAL_ERROR with errno (logged). */
int cfgMgm_saveConfigToFlash(void);
/* Factory configuration to data model and flash, then a system reset
   (this process re-executes itself, keeping its instance lock). Returns
   only when the configuration could not be written; a failed re-execution
   is logged and ends the process with status 255. */
int cfgMgm_restoreDefault(void *msgHandle);
/* dorvand's own, not the vendor's: one daemon per root. flock on
   var/dorvan/dorvand.lock, held for the life of the process and across the
   restart above. 0: held; -1: another process holds it or it cannot be
   opened (one line logged at level 3). */
int dorvan_hold_instance_lock(void);
/* dorvand's own: 0 when no folder on the way to var/dorvan (those there
   already) may be changed by a user other than root and this process's
   (not theirs, or writable by group or others without the sticky bit);
   -1 with one line logged at level 3. */
int dorvan_state_path_safe(void);

/* Data-model objects. */
#define CFG_OID_LAN_IP_INTF 45
#define CFG_MAX_DEPTH 6
typedef struct {
    uint8_t currentDepth;
    uint32_t instance[CFG_MAX_DEPTH];
} InstanceIdStack;

/* Record of the LAN IP interface object. */
typedef struct {
    uint32_t enable;
    char *IPInterfaceIPAddress; /* dotted IPv4 text */
    char *IPInterfaceSubnetMask;
} LanIpIntfObject;

/* Next instance after iidStack (all zeros: the first). 0 and *obj set, or
   CFG_RET_NO_MORE_INSTANCES. */
int cfgObj_getNext(int oid, InstanceIdStack *iidStack, void **obj);
void cfgObj_free(void **obj);

/* Runs cmdline through /bin/sh -c and waits for the shell. Returns its exit
   status, or -1 (no shell, or the shell was killed). flags is not used. */
int cfgSys_doSystemAction(const char *caller, const char *cmdline);
int systemEx(const char *cmdline, int flags);

#ifdef __cplusplus
}
#endif

#endif
