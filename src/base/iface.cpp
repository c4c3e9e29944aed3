#include "iface.h"

#include <string.h>

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
    return wl_key(key, WL_KEY_SIZE, var, index);
}
