#include "wlkeys.h"

#include <stdio.h>
#include <string.h>

const char *const wl_iface_names[WL_IFACE_COUNT] = {WL_IFACE_NAMES};

namespace {
const char kTag[] = "_wl0v";
const size_t kTagLen = sizeof(kTag) - 1;
} // namespace

int wl_key(char *out, size_t size, const char *name, int i)
{
    int n = i >= 0 && i < WL_IFACE_COUNT ? snprintf(out, size, "%s%s%d", name, kTag, i) : -1;
    if (n < 0 || (size_t)n >= size) {
        if (size > 0)
            out[0] = '\0';
        return -1;
    }
    return 0;
}

int wl_key_iface(const char *key, size_t n, size_t *nameLen)
{
    if (n < kTagLen + 2 || key[n - 1] < '0' || key[n - 1] >= '0' + WL_IFACE_COUNT ||
        memcmp(key + n - 1 - kTagLen, kTag, kTagLen) != 0)
        return -1;
    *nameLen = n - 1 - kTagLen;
    return key[n - 1] - '0';
}

int wl_width(const char *nmode, const char *bands, const char *nbwcap)
{
    if (strcmp(nmode, "off") == 0)
        return 20;
    if (strcmp(bands, "1") == 0 && (strcmp(nbwcap, "1") == 0 || strcmp(nbwcap, "2") == 0))
        return 40;
    if (strcmp(bands, "2") == 0 && strcmp(nbwcap, "1") == 0)
        return 40;
    return 20;
}
