// Helpers shared by the wlinterface and wlsecurity commands.
#ifndef DORVAN_INTFSEC_H
#define DORVAN_INTFSEC_H

#include <string.h>

#include "text.h"
#include "iface.h"
#include "wlaccess.h"

// The name in a two-entry table at the value's number; a value whose number
// has no entry is shown as stored rather than looked up past the end.
static inline const char *table_name(const char *const table[2], const char *value)
{
    int n = text_number(value);
    return (n == 0 || n == 1) ? table[n] : value;
}

// The option pairs of a request: from token 1 strictly in pairs, each writes
// the variable named by the option word without its two hyphens (under the
// interface's settings key for index 0..3, as a plain name for -1). A word
// with no name left after the hyphens is skipped with its value.
// With write 0 nothing is written: returns -1 when some pair could not be
// stored whole, so the caller can refuse before its first write.
static inline int pair_pass(char *const tokens[], int n, int index, int write)
{
    for (int p = 1; p < n - 1; p += 2) {
        if (strlen(tokens[p]) <= 2)
            continue;
        const char *name = tokens[p] + 2;
        const char *value = tokens[p + 1];
        if (!write) {
            char buf[WL_VALUE_SIZE];
            int name_fits = index >= 0 ? convertformssid(index, buf, name) == 0
                                       : text_copy(buf, WL_KEY_SIZE, name) == 0;
            if (!name_fits || text_copy(buf, sizeof(buf), value) != 0)
                return -1;
        } else if (index >= 0) {
            wla_set_keyed(index, name, value);
        } else {
            wla_set(name, value);
        }
    }
    return 0;
}

#endif
