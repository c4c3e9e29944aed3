// The data model and flash files: load with fallback, store, save, restore.
#include "cfg_framework.h"
#include "platform_internal.h"

#include <errno.h>
#include <string.h>


namespace dplat {

namespace {

// The data-model bytes this process last wrote or read, so that a flash
// save right after a store copies them without reading the file back.
struct StoreCache {
    std::string path;
    std::string bytes;
    FileId id;
};
StoreCache g_cache;

void remember(const std::string &path, std::string bytes, const FileId &id)
{
    g_cache.path = path;
    g_cache.bytes = std::move(bytes);
    g_cache.id = id;
}

// 0 and the image; 1 when the file holds *same, and then img is left as it
// is; -1 and the reason when the file is missing or damaged (the loader
// falls back); kUnreadable, errno and the reason when it exists but cannot
// be read (the loader must not fall back: a store after it would save
// factory values over data it never saw).
const int kUnreadable = -2;

int read_image(const std::string &path, DorvanImage *img, std::string *bytes,
              FileId *id, std::string *why, const std::string *same = nullptr)
{
    if (path.empty()) {
        *why = "path too long";
        errno = ENAMETOOLONG;
        return kUnreadable;
    }
    if (read_whole_file(path, bytes, id) != 0) {
        int e = errno;
        *why = e == ENOENT ? "missing" : read_failure(e);
        errno = e;
        return e == ENOENT ? -1 : kUnreadable;
    }
    if (same != nullptr && *bytes == *same)
        return 1;
    if (const char *bad = parse_image(*bytes, img)) {
        *why = bad;
        errno = EBADMSG;
        return -1;
    }
    return 0;
}

} // namespace

int load_image(bool fromFlash, DorvanImage *out, std::string *known, std::string *failure)
{
    const char *order[] = {DORVAN_MDM_FILE, DORVAN_FLASH_FILE};
    for (int i = fromFlash ? 1 : 0; i < 2; i++) {
        std::string path = root_path(order[i]);
        std::string bytes;
        std::string why;
        // Every load reads the data model (another process may have stored
        // since), but parses it only when it changed.
        const std::string *same = i == 0 && known != nullptr && !known->empty() ? known : nullptr;
        int rc = read_image(path, out, &bytes, nullptr, &why, same);
        if (rc >= 0) {
            if (known != nullptr && rc == 0) {
                if (i == 0)
                    *known = std::move(bytes);
                else
                    known->clear();
            }
            return rc;
        }
        const char *shown = path.empty() ? order[i] : path.c_str();
        if (rc == kUnreadable) {
            int e = errno;
            log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot read %s: %s", shown, why.c_str());
            *out = DorvanImage();
            if (known != nullptr)
                known->clear();
            if (failure != nullptr)
                *failure = std::string(shown) + ": " + why;
            errno = e;
            return -1;
        }
        log_log(CFG_LOG_ERR, __func__, __LINE__, "ignoring %s: %s", shown, why.c_str());
    }
    factory_image(out);
    if (known != nullptr)
        known->clear();
    return 0;
}

int store_image(const DorvanImage &img, std::string *known)
{
    std::string path = root_path(DORVAN_MDM_FILE);
    if (path.empty())
        return -1;
    std::string bytes = serialise(img);
    FileId id;
    // The data model is RAM on a gateway: replaced atomically, never synced.
    if (write_file_atomic(path, bytes, &id, 0600, false) != 0)
        return -1;
    if (known != nullptr)
        *known = bytes;
    remember(path, std::move(bytes), id);
    return 0;
}

void forget_store_cache()
{
    g_cache = StoreCache();
}

} // namespace dplat

using namespace dplat;

extern "C" int cfgMgm_saveConfigToFlash(void)
{
    trace("save");
    std::string mdm = root_path(DORVAN_MDM_FILE);
    std::string flash = root_path(DORVAN_FLASH_FILE);
    if (mdm.empty() || flash.empty())
        return CFG_RET_INTERNAL_ERROR;
    std::string bytes;
    FileId now;
    stat_file_id(mdm, &now);
    if (g_cache.path == mdm && same_file(g_cache.id, now))
        bytes = g_cache.bytes;
    if (int e = working_copy_unreadable()) {
        errno = e;
        return CFG_RET_INTERNAL_ERROR;
    }
    if (bytes.empty()) {
        // Someone else wrote the data model: copy what is there, if sound.
        DorvanImage img;
        std::string why;
        FileId id;
        if (read_image(mdm, &img, &bytes, &id, &why) != 0) {
            int e = errno;
            log_log(CFG_LOG_ERR, __func__, __LINE__, "not saving %s: %s",
                    mdm.c_str(), why.c_str());
            errno = e;
            return CFG_RET_INTERNAL_ERROR;
        }
        remember(mdm, bytes, id);
    }
    return write_file_atomic(flash, bytes) == 0 ? CFG_RET_SUCCESS
                                              : CFG_RET_INTERNAL_ERROR;
}

int dorvan_restore_factory(void)
{
    trace("restore");
    DorvanImage img;
    factory_image(&img);
    std::string flash = root_path(DORVAN_FLASH_FILE);
    int rc = store_image(img);
    if (rc == 0 && (flash.empty() || write_file_atomic(flash, serialise(img)) != 0))
        rc = -1;
    set_working_copy(img);
    log_log(CFG_LOG_NOTICE, __func__, __LINE__, "factory configuration %s",
            rc == 0 ? "restored" : "NOT restored");
    return rc;
}

int dorvan_read_image_file(const char *abs, DorvanImage *out, std::string *why)
{
    std::string bytes;
    std::string reason;
    FileId id;
    DorvanImage img;
    if (read_image(root_path(abs), &img, &bytes, &id, &reason) != 0) {
        if (why != nullptr)
            *why = reason;
        return -1;
    }
    if (out != nullptr)
        *out = std::move(img);
    return 0;
}
