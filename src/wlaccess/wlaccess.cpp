#include "wlaccess.h"

#include <stdio.h>

#include "cfg_framework.h"
#include "iface.h"

int wla_begin(const char *trace)
{
    if (cfgLck_acquireLockTraced(trace) != 0)
        return -1;
    wlmgr_loadWorkingCopy();
    return 0;
}

void wla_commit(void)
{
    wlmgr_storeWorkingCopy();
    cfgMgm_saveConfigToFlash();
}

void wla_end(const char *trace)
{
    cfgLck_releaseLockTraced(trace);
}

void wla_get(const char *name, char *value)
{
    value[0] = '\0';
    if (wlmgr_getVar(name, value) != 0)
        value[0] = '\0';
}

void wla_set(const char *name, const char *value)
{
    wlmgr_setVar(name, value);
}

void wla_get_keyed(int index, const char *var, char *value)
{
    char key[WL_KEY_SIZE];
    value[0] = '\0';
    if (convertformssid(index, key, var) == 0 && key[0] != '\0')
        wla_get(key, value);
}

void wla_set_keyed(int index, const char *var, const char *value)
{
    char key[WL_KEY_SIZE];
    if (convertformssid(index, key, var) == 0 && key[0] != '\0')
        wla_set(key, value);
}

void wla_select(int index)
{
    char text[12];
    snprintf(text, sizeof(text), "%d", index);
    wla_set("wlSsidIdx", text);
}
