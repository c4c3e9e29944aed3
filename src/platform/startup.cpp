// Start-up of the framework: message bus handle, root preparation, adapter
// allocation, and the failure injection the tests use.
#include "cfg_framework.h"
#include "platform_internal.h"
#include "rootpath.h"
#include "wlmgr.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

// Board inputs at rest: buttons released, wireless switch on.
const char *const kIdleBoardFiles[][2] = {
    {"reset_button", "1\n"},
    {"wireless_switch", "0\n"},
    {"wps_button", "1\n"},
};

int g_bus; // the handle only has to be a valid non-null pointer

} // namespace

namespace dplat {

bool injected_failure(const char *call, int *code)
{
    const char *env = getenv("DORVAN_FAIL");
    if (env == nullptr)
        return false;
    size_t clen = strlen(call);
    const char *p = env;
    while (*p != '\0') {
        const char *end = strchr(p, ',');
        if (end == nullptr)
            end = p + strlen(p);
        if ((size_t)(end - p) > clen && memcmp(p, call, clen) == 0 && p[clen] == '=') {
            *code = atoi(p + clen + 1);
            return true;
        }
        p = *end == ',' ? end + 1 : end;
    }
    return false;
}

} // namespace dplat

extern "C" {

int cfgMsg_init(int entityId, void **msgHandle)
{
    (void)entityId;
    int code = 0;
    if (dplat::injected_failure("cfgMsg_init", &code)) {
        if (msgHandle != nullptr)
            *msgHandle = nullptr;
        return code;
    }
    if (msgHandle == nullptr)
        return CFG_RET_INTERNAL_ERROR;
    *msgHandle = &g_bus;
    return CFG_RET_SUCCESS;
}

void cfgMsg_cleanup(void **msgHandle)
{
    if (msgHandle != nullptr)
        *msgHandle = nullptr;
}

int cfgMdm_init(int entityId, void *msgHandle, int *mdmId)
{
    (void)entityId;
    (void)msgHandle;
    int code = 0;
    if (dplat::injected_failure("cfgMdm_init", &code))
        return code;
    if (!rootpath_valid()) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, DORVAN_ROOT_TOO_LONG);
        return CFG_RET_INTERNAL_ERROR;
    }
    std::string state = dplat::root_path(DORVAN_STATE_DIR);
    std::string board = dplat::root_path(DORVAN_BOARD_DIR);
    std::string radio = dplat::root_path(DORVAN_RADIO_DIR);
    for (const std::string &dir : {state, board, radio}) {
        if (dir.empty() || dplat::make_dirs(dir) != 0) {
            log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot create %s: %s",
                    dir.c_str(), strerror(errno));
            return CFG_RET_INTERNAL_ERROR;
        }
    }
    // Leftovers of writes that a crash or power loss interrupted.
    for (const std::string &dir : {state, board, radio})
        dplat::remove_stray_temps(dir);
    for (const auto &f : kIdleBoardFiles) {
        std::string path = board + "/" + f[0];
        if (dplat::create_file_if_missing(path, f[1]) != 0) {
            log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot create %s: %s",
                    path.c_str(), strerror(errno));
            return CFG_RET_INTERNAL_ERROR;
        }
    }
    // A new board's flash holds the factory configuration; provision it once
    // so the first loads do not report two missing files. A damaged file is
    // left for the loader to report and fall back from.
    std::string mdm = dplat::root_path(DORVAN_MDM_FILE);
    std::string flash = dplat::root_path(DORVAN_FLASH_FILE);
    struct stat st;
    if (stat(mdm.c_str(), &st) != 0 && errno == ENOENT && stat(flash.c_str(), &st) != 0 &&
        errno == ENOENT) {
        DorvanImage img;
        dplat::factory_image(&img);
        std::string bytes = dplat::serialise(img);
        if (dplat::write_file_atomic(flash, bytes) != 0 ||
            dplat::write_file_atomic(mdm, bytes, nullptr, 0600, false) != 0)
            return CFG_RET_INTERNAL_ERROR;
    }
    dplat::check_old_shared_secrets();
    if (mdmId != nullptr)
        *mdmId = 1;
    return CFG_RET_SUCCESS;
}

int wlmgr_getAdapterCount(void)
{
    return 1;
}

int wldm_alloc(int count)
{
    (void)count;
    int code = 0;
    return dplat::injected_failure("wldm_alloc", &code) ? code : 0;
}

int wlmgr_alloc(int count)
{
    (void)count;
    int code = 0;
    return dplat::injected_failure("wlmgr_alloc", &code) ? code : 0;
}

} // extern "C"
