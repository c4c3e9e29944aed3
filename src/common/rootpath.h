// Resolution of absolute paths under the root prefix DORVAN_ROOT.
#ifndef DORVAN_ROOTPATH_H
#define DORVAN_ROOTPATH_H

#include <stddef.h>

// Longest root prefix honoured. A longer DORVAN_ROOT is treated as a fault
// by rootpath_valid() so that no caller ever works with a cut path.
#define DORVAN_ROOT_MAX 256
// Room for any path the system builds: root prefix plus its own fixed part.
#define DORVAN_PATH_MAX (DORVAN_ROOT_MAX + 128)
// What every program says when it refuses such a root.
#define DORVAN_ROOT_TOO_LONG "DORVAN_ROOT too long"

// The root prefix without trailing slashes ("" for "/" or unset).
const char *rootpath_prefix(void);
// 1 when DORVAN_ROOT is usable (unset, empty, or shorter than the limit).
int rootpath_valid(void);
// Writes prefix + abs (abs starts with '/') into out; returns 0, or -1 when it
// would not fit (out is then the empty text).
int rootpath_make(char *out, size_t size, const char *abs);

#endif
