#include "iface.h"

#include <stdio.h>
#include <string.h>

const char *const wl_iface_names[WL_IFACE_COUNT] = {WL_IFACE_NAMES};

int cli_isValidinf(const char *name)
{
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        if (strcmp(name, wl_iface_names[i]) == 0)
            return i;
    }
    return -1;
}

int convertformssid(int index, char *key, const char *var)
{
    key[0] = '\0';
    if (index < 0 || index >= WL_IFACE_COUNT)
        return 0;
    int n = snprintf(key, WL_KEY_SIZE, "%s_wl0v%d", var, index);
    if (n < 0 || n >= WL_KEY_SIZE) {
        key[0] = '\0';
        return -1;
    }
    return 0;
}
