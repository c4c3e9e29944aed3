// The access bracket: configuration lock, working copy, store and save.
// Every command and monitor action reaches the wireless settings this way:
//   if (wla_begin(TRACE, ORDER) != 0) return;   lock + load
//   wla_get / wla_set ...
//   wla_commit();                               store + save, only after writes
// A command's bracket is released by the dispatcher, before or after the
// reply as ORDER says; wla_release() lets it go early (and is how the monitor,
// which sends no reply, ends its own).
#ifndef DORVAN_WLACCESS_H
#define DORVAN_WLACCESS_H

#include "wlmgr.h"

// Value buffers hold the longest value the manager stores.
#define WL_VALUE_SIZE WLMGR_VALUE_SIZE

// Whether the reply goes out while the lock is still held (the setups) or
// only once it is let go (the views).
enum wla_order { WLA_REPLY_FIRST, WLA_RELEASE_FIRST };

// 0: lock held and working copy loaded; else nothing was done, and the
// request goes unanswered.
int wla_begin(const char *trace, enum wla_order order);
// Store and save: 0, or -1 (logged, and remembered for the reply).
int wla_commit(void);
// Releases the bracket held, if any; a second call does nothing.
void wla_release(void);
// 1 while a bracket that wants to be released before the reply is held.
int wla_release_first(void);
// 1 when a bracket of this request could not take the lock.
int wla_lock_missed(void);
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
