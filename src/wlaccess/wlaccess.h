// The access bracket: configuration lock, working copy, store and save.
// Every command and monitor action reaches the wireless settings this way:
//   if (wla_begin(TRACE) != 0) return;   lock + load
//   wla_get / wla_set ...
//   wla_commit();                        store + save, only after writes
//   wla_end(TRACE);                      release, once
#ifndef DORVAN_WLACCESS_H
#define DORVAN_WLACCESS_H

#include "wlmgr.h"

// Value buffers hold the longest value the manager stores.
#define WL_VALUE_SIZE WLMGR_VALUE_SIZE

// 0: lock held and working copy loaded; else nothing was done.
int wla_begin(const char *trace);
// Store and save: 0, or -1 (logged, and remembered for the reply).
int wla_commit(void);
void wla_end(const char *trace);
// The reply that replaces a handler's when a bracket of this request could
// not load ("load configuration failed!!\n") or store and save ("save
// configuration failed!!\n"); NULL when all went well.
const char *wla_failure_reply(void);
// A new request (or a reply sent) starts with a clean slate.
void wla_forget_failures(void);

// Plain names (radio-wide, or per interface through wlSsidIdx). The value
// buffer must hold WL_VALUE_SIZE bytes; it is the empty text when unset.
void wla_get(const char *name, char *value);
void wla_set(const char *name, const char *value);
// Per-interface settings through their settings key.
void wla_get_keyed(int index, const char *var, char *value);
void wla_set_keyed(int index, const char *var, const char *value);
// Selects the interface the plain per-interface names address.
void wla_select(int index);

#endif
