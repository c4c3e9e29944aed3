#include "rootpath.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char *rootpath_prefix(void)
{
    static char prefix[DORVAN_ROOT_MAX];
    const char *r = getenv("DORVAN_ROOT");
    if (r == NULL || strlen(r) >= sizeof(prefix)) {
        prefix[0] = '\0';
        return prefix;
    }
    size_t n = strlen(r);
    while (n > 0 && r[n - 1] == '/')
        n--;
    memcpy(prefix, r, n);
    prefix[n] = '\0';
    return prefix;
}

int rootpath_valid(void)
{
    const char *r = getenv("DORVAN_ROOT");
    return r == NULL || strlen(r) < DORVAN_ROOT_MAX;
}

int rootpath_make(char *out, size_t size, const char *abs)
{
    int n = snprintf(out, size, "%s%s", rootpath_prefix(), abs);
    if (n < 0 || (size_t)n >= size) {
        if (size > 0)
            out[0] = '\0';
        return -1;
    }
    return 0;
}
