// The radio's interfaces, the keys of settings kept once per interface
// ("<name>_wl0v<I>") and the channel width rule, for the daemon and the
// platform alike.
#ifndef DORVAN_WLKEYS_H
#define DORVAN_WLKEYS_H

#include "protocol.h"

#include <stddef.h>

extern const char *const wl_iface_names[WL_IFACE_COUNT];

// Writes name's key for wl0.I into out (size bytes). 0, or -1 with out the
// empty text when i is no interface or the key does not fit.
int wl_key(char *out, size_t size, const char *name, int i);
// The interface of the n-byte key, when it ends in the tag and one digit
// 0..3 with a name before them (its length in *nameLen); else -1.
int wl_key_iface(const char *key, size_t n, size_t *nameLen);

// The channel width, 20 or 40 (MHz): 20 with 802.11n "off", else 40 on
// band "1" (5 GHz) with bandwidth code "1" or "2", or band "2" with "1".
// An nmode of "" asks for the width the codes alone give.
int wl_width(const char *nmode, const char *bands, const char *nbwcap);

#endif
