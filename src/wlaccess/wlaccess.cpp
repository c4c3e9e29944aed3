#include "wlaccess.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "cfg_framework.h"
#include "iface.h"

// What went wrong in the brackets of the request being served. Handlers do
// not look at store and save results; the reply does, so that a change
// that was not kept, or settings that could not be read, are never
// answered as if all went well.
static int load_failed = 0;
static int save_failed = 0;
static int lock_missed = 0;
// The bracket held: its trace name (NULL when none) and its order.
static const char *bracket_trace = NULL;
static enum wla_order bracket_order = WLA_REPLY_FIRST;

int wla_begin(const char *trace, enum wla_order order)
{
    if (cfgLck_acquireLockTraced(trace) != 0) {
        lock_missed = 1;
        return -1;
    }
    bracket_trace = trace;
    bracket_order = order;
    // The platform logged why; whatever is read now is not what is stored.
    if (wlmgr_loadWorkingCopy() != 0)
        load_failed = 1;
    return 0;
}

int wla_commit(void)
{
    // A store that failed (or was refused after a failed load) is not saved.
    int rc = wlmgr_storeWorkingCopy();
    if (rc == 0)
        rc = cfgMgm_saveConfigToFlash();
    if (rc != 0) {
        int err = errno;
        save_failed = 1;
        log_log(CFG_LOG_ERR, bracket_trace ? bracket_trace : "", __LINE__, "save configuration failed: %s",
                strerror(err));
    }
    return rc;
}

void wla_release(void)
{
    if (bracket_trace == NULL)
        return;
    const char *trace = bracket_trace;
    bracket_trace = NULL;
    cfgLck_releaseLockTraced(trace);
}

int wla_release_first(void)
{
    return bracket_trace != NULL && bracket_order == WLA_RELEASE_FIRST;
}

int wla_lock_missed(void)
{
    return lock_missed;
}

const char *wla_failure_reply(void)
{
    if (save_failed)
        return "save configuration failed!!\n";
    if (load_failed)
        return "load configuration failed!!\n";
    return NULL;
}

void wla_forget_failures(void)
{
    load_failed = 0;
    save_failed = 0;
    lock_missed = 0;
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
