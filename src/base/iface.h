// The radio's four interfaces and the settings keys that address them.
#ifndef DORVAN_IFACE_H
#define DORVAN_IFACE_H

#include "protocol.h"
#include "wlkeys.h"

// Key buffers: any fixed variable name plus "_wl0vN" fits.
#define WL_KEY_SIZE 64

// Index 0..3 of the interface called name (exact match), or -1.
int cli_isValidinf(const char *name);

// Writes "<var>_wl0v<index>" into key (WL_KEY_SIZE bytes), or the empty text
// for an index outside 0..3. Returns 0, or -1 when the key would not fit
// (key is then the empty text).
int convertformssid(int index, char *key, const char *var);

#endif
