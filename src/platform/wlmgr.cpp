// The wireless manager's working copy: settings, MAC filter list, WDS peers.
#include "wlmgr.h"
#include "board/board.h"
#include "cfg_framework.h"
#include "platform_internal.h"
#include "protocol.h"
#include "radio/radio.h"
#include "wlkeys.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace dplat {

namespace {

// Second names of the same setting: alias -> canonical.
const char *const kAliases[][2] = {
    {"wl_wsc_mode", "wlWscMode"},
    {"wsc_config_state", "wlWscAPMode"},
};

const size_t kFilterMax = WLMGR_FILTER_MAX;
const size_t kWdsMax = WLMGR_WDS_MAX;
const size_t kScanMax = WLMGR_WDS_SCAN_MAX;
// A full scan list with the longest lines takes about 74 kB.
const size_t kScanReadMax = 1024 * 1024;

// A setting as it was before a change: put back when a load finds the data
// model unchanged.
struct Undo {
    std::string key;
    bool had;
    std::string value;
};
const size_t kUndoMax = 64;

struct WorkingCopy {
    bool loaded = false;
    DorvanImage img;
    // The data-model bytes img was loaded from or stored as ("" when not
    // known), and the settings changed since, oldest first. A load that
    // finds those bytes again undoes the changes instead of parsing.
    std::string bytes;
    std::vector<Undo> undo;
    // errno and "PATH: reason" of a last load that could not read a file.
    int unreadable = 0;
    std::string failure;
    // The WPS operation each interface was asked for (its wlWscConfig
    // written) since the last store: the store hands them to the radio.
    std::string wps[WL_IFACE_COUNT];
};

struct ScanPeer {
    std::string mac;
    std::string ssid;
};

WorkingCopy g_wc;
std::vector<ScanPeer> g_scan;
FailNote g_scanNote;

std::string canonical_base(const std::string &base)
{
    for (const auto &a : kAliases)
        if (base == a[0])
            return a[1];
    return base;
}

// A plain name of a per-interface setting means the interface selected by
// wlSsidIdx.
bool is_per_interface(const std::string &name)
{
    for (size_t k = 0; k < kPerIfKeyCount; k++)
        if (name == kPerIfKeys[k].name)
            return true;
    return false;
}

void forget()
{
    g_wc.bytes.clear();
    g_wc.undo.clear();
}

int load_locked(bool fromFlash)
{
    trace("load");
    if (fromFlash || !g_wc.loaded)
        forget();
    g_wc.failure.clear();
    int rc = load_image(fromFlash, &g_wc.img, &g_wc.bytes, &g_wc.failure);
    g_wc.unreadable = rc < 0 ? errno : 0;
    if (rc == 1) {
        for (auto u = g_wc.undo.rbegin(); u != g_wc.undo.rend(); ++u) {
            if (u->had)
                g_wc.img.vars[u->key] = std::move(u->value);
            else
                g_wc.img.vars.erase(u->key);
        }
    }
    g_wc.undo.clear();
    g_wc.loaded = true;
    errno = g_wc.unreadable;
    return rc < 0 ? -1 : 0;
}


DorvanImage &image()
{
    if (!g_wc.loaded)
        load_locked(false);
    return g_wc.img;
}

// The image, about to have its lists changed.
DorvanImage &changing()
{
    DorvanImage &img = image();
    forget();
    return img;
}

// Cursors are the index of the next entry plus one: never null, and still
// safe when the list changes under a walk.
void *cursor_for(size_t next)
{
    return (void *)(uintptr_t)(next + 1);
}

size_t index_of(void *cursor)
{
    return cursor == nullptr ? 0 : (size_t)((uintptr_t)cursor - 1);
}

void copy_out(char *dst, size_t size, const std::string &src)
{
    if (dst == nullptr)
        return;
    size_t n = std::min(src.size(), size - 1);
    memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

bool fits(const char *s, size_t size)
{
    return s != nullptr && strnlen(s, size) < size;
}

std::string upper(const char *s)
{
    std::string u(s);
    for (char &c : u)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return u;
}

} // namespace

int selected_interface(const DorvanImage &img)
{
    auto it = img.vars.find("wlSsidIdx");
    if (it == img.vars.end())
        return 0;
    int idx = atoi(it->second.c_str());
    return idx >= 0 && idx <= 3 ? idx : 0;
}

std::string canonical_key(const DorvanImage &img, const char *name)
{
    if (name == nullptr)
        return std::string();
    size_t n = strnlen(name, WLMGR_NAME_SIZE);
    if (n == 0 || n >= WLMGR_NAME_SIZE)
        return std::string();
    size_t len = 0;
    int i = wl_key_iface(name, n, &len);
    if (i >= 0)
        return if_key(canonical_base(std::string(name, len)).c_str(), i);
    std::string base = canonical_base(name);
    if (is_per_interface(base))
        return if_key(base.c_str(), selected_interface(img));
    return base;
}

void reset_working_copy()
{
    g_wc = WorkingCopy();
    g_scan.clear();
    g_scanNote = FailNote();
}

void set_working_copy(const DorvanImage &img)
{
    g_wc.img = img;
    forget();
    g_wc.loaded = true;
    g_wc.unreadable = 0;
    g_wc.failure.clear();
}

int working_copy_unreadable()
{
    return g_wc.unreadable;
}

} // namespace dplat

using namespace dplat;

extern "C" {

int wlmgr_loadWorkingCopy(void)
{
    return load_locked(false);
}

int wlmgr_storeWorkingCopy(void)
{
    return dorvan_store_working_copy();
}

int wlmgr_getVar(const char *name, char *value)
{
    if (value != nullptr)
        value[0] = '\0';
    const DorvanImage &img = image();
    std::string key = canonical_key(img, name);
    if (key.empty())
        return -1;
    auto it = img.vars.find(key);
    if (it == img.vars.end())
        return -1;
    copy_out(value, WLMGR_VALUE_SIZE, it->second);
    return 0;
}

void wlmgr_wpsPushButton(void)
{
    radio_wps_button();
}

int wlmgr_setVar(const char *name, const char *value)
{
    if (!fits(value, WLMGR_VALUE_SIZE))
        return -1;
    DorvanImage &img = image();
    std::string key = canonical_key(img, name);
    if (key.empty())
        return -1;
    auto it = img.vars.find(key);
    if (!g_wc.bytes.empty()) {
        if (g_wc.undo.size() < kUndoMax)
            g_wc.undo.push_back({key, it != img.vars.end(),
                                 it != img.vars.end() ? it->second : std::string()});
        else
            forget();
    }
    size_t nameLen = 0;
    int i = wl_key_iface(key.data(), key.size(), &nameLen);
    if (i >= 0 && nameLen == 11 && key.compare(0, nameLen, "wlWscConfig") == 0)
        g_wc.wps[i] = value;
    if (it != img.vars.end())
        it->second = value;
    else
        img.vars.emplace(std::move(key), value);
    trace("set", name, value);
    return 0;
}

void *wlmgr_getFilterMac(void *cursor, char *mac, int flags, char *ifname)
{
    (void)flags;
    const auto &list = image().filters;
    size_t i = index_of(cursor);
    if (i >= list.size())
        return nullptr;
    copy_out(mac, WLMGR_MAC_SIZE, list[i].mac);
    copy_out(ifname, WLMGR_IFNAME_SIZE, list[i].ifname);
    return cursor_for(i + 1);
}

int wlmgr_addFilterMac(const char *mac, const char *ssid, const char *ifname)
{
    if (!fits(mac, WLMGR_MAC_SIZE) || mac[0] == '\0' || !fits(ssid, WLMGR_VALUE_SIZE) ||
        !fits(ifname, WLMGR_IFNAME_SIZE))
        return WLMGR_LIST_BADARG;
    auto &list = changing().filters;
    for (const auto &f : list)
        if (f.ifname == ifname && equals_no_case(f.mac, mac))
            return 0;
    if (list.size() >= kFilterMax)
        return WLMGR_LIST_FULL;
    list.push_back({mac, ssid, ifname});
    return 0;
}

int wlmgr_removeFilterMac(const char *mac)
{
    if (mac == nullptr)
        return WLMGR_LIST_BADARG;
    DorvanImage &img = changing();
    const char *ifname = wl_iface_names[selected_interface(img)];
    auto &list = img.filters;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->ifname == ifname && equals_no_case(it->mac, mac)) {
            list.erase(it);
            return 0;
        }
    }
    return WLMGR_LIST_ABSENT;
}

void wlmgr_scanWdsMacStart(void)
{
    g_scan.clear();
}

void wlmgr_scanWdsMacResult(void)
{
    std::vector<ScanPeer> found;
    std::string path = root_path(DORVAN_WDS_PEERS_FILE);
    struct stat st;
    int fd = path.empty() ? -1 : open_regular(path, &st);
    // A missing file is an empty scan; anything else that is not a regular
    // file fails it (a FIFO would block, /dev/zero never end).
    int err = fd < 0 && !path.empty() && errno != ENOENT ? errno : 0;
    if (note_failure(&g_scanNote, err))
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot read %s: %s", path.c_str(),
                read_failure(err));
    if (fd >= 0) {
        // Longest line kept: address, blank, SSID.
        const size_t kLineMax = WLMGR_MAC_SIZE + WLMGR_VALUE_SIZE;
        std::string line;
        bool skipping = false;
        char buf[4096];
        auto finish = [&]() {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            size_t blank = line.find_first_of(" \t");
            std::string mac = line.substr(0, blank);
            std::string ssid = blank == std::string::npos ? "" : line.substr(blank + 1);
            if (!skipping && !mac.empty() && mac.size() < WLMGR_MAC_SIZE &&
                ssid.size() < WLMGR_VALUE_SIZE)
                found.push_back({mac, ssid});
            line.clear();
            skipping = false;
        };
        // The scan stops at its list limit, and reads a bounded amount of a
        // file that never shows enough usable lines.
        size_t total = 0;
        while (found.size() < kScanMax && total < kScanReadMax) {
            ssize_t r = read(fd, buf, sizeof(buf));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            total += (size_t)r;
            for (ssize_t i = 0; i < r && found.size() < kScanMax; i++) {
                if (buf[i] == '\n') {
                    finish();
                } else if (!skipping) {
                    line.push_back(buf[i]);
                    if (line.size() > kLineMax) {
                        line.clear();
                        skipping = true;
                    }
                }
            }
        }
        if ((!line.empty() || skipping) && found.size() < kScanMax)
            finish();
        close(fd);
    }
    g_scan = std::move(found);
}

void *wlmgr_getScanWdsMacSSID(void *cursor, char *mac, char *ssid)
{
    size_t i = index_of(cursor);
    if (i >= g_scan.size())
        return nullptr;
    copy_out(mac, WLMGR_MAC_SIZE, g_scan[i].mac);
    copy_out(ssid, WLMGR_VALUE_SIZE, g_scan[i].ssid);
    return cursor_for(i + 1);
}

int wlmgr_isWdsMacConfigured(const char *mac)
{
    if (mac == nullptr || mac[0] == '\0')
        return 0;
    const DorvanImage &img = image();
    for (const auto &w : img.wds)
        if (equals_no_case(w, mac))
            return 1;
    for (const char *n : {"wlWds0", "wlWds1", "wlWds2", "wlWds3"}) {
        auto it = img.vars.find(n);
        if (it != img.vars.end() && equals_no_case(it->second, mac))
            return 1;
    }
    return 0;
}

int wlmgr_addWdsMac(const char *mac)
{
    if (!fits(mac, WLMGR_MAC_SIZE) || mac[0] == '\0')
        return WLMGR_LIST_BADARG;
    std::string u = upper(mac);
    auto &list = changing().wds;
    for (const auto &w : list)
        if (equals_no_case(w, u))
            return 0;
    if (list.size() >= kWdsMax)
        return WLMGR_LIST_FULL;
    list.push_back(u);
    return 0;
}

} // extern "C"

int dorvan_load_flash_working_copy(void)
{
    return load_locked(true);
}

std::string dorvan_load_failure(void)
{
    return g_wc.failure;
}

int dorvan_store_working_copy(void)
{
    trace("store");
    int rc;
    // The load logged why; storing now would write what was never read.
    if (g_wc.unreadable != 0) {
        errno = g_wc.unreadable;
        rc = -1;
    } else {
        rc = store_image(image(), &g_wc.bytes);
        if (rc == 0)
            g_wc.undo.clear();
    }
    // Only what was stored reaches the radio; the caller reports errno.
    int err = errno;
    std::string wps[WL_IFACE_COUNT];
    for (int i = 0; i < WL_IFACE_COUNT; i++)
        wps[i].swap(g_wc.wps[i]);
    radio_stored(rc == 0, wps);
    errno = err;
    return rc;
}

DorvanImage dorvan_working_copy(void)
{
    return image();
}

std::string dorvan_canonical_name(const char *name)
{
    return canonical_key(image(), name);
}

void dorvan_reset_process_state(void)
{
    reset_working_copy();
    forget_store_cache();
    drop_lock();
    dplat::board::forget();
}
