// Per-device factory secrets: the passphrase of each interface and the WPS
// device PIN printed on the label. From the board's provisioning file when
// it has one, else generated once from the random source and kept beside
// the data model, so every reset restores the same values.
//
// Both files hold "NAME=VALUE" lines: wlWpaPsk keyed for each interface
// (8 to 63 printable characters) and wlWscDevPin (8 digits, valid WPS
// checksum). Anything else is ignored with a log line.
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "platform_internal.h"
#include "protocol.h"
#include "wlmgr.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace dplat {

namespace {

const char kProvisionFile[] = "/etc/dorvan/device.conf";
const char kGeneratedFile[] = "/var/dorvan/device.secrets";
const char kPskName[] = "wlWpaPsk";
const char kPinName[] = "wlWscDevPin";
// What every device of the builds before per-device secrets shared.
const char *const kOldSharedPsks[] = {"dorvan-home-2417", "dorvan-guest-1", "dorvan-guest-2",
                                      "dorvan-guest-3"};
const char kOldSharedPin[] = "12345670";
// No look-alike characters: the passphrase is typed from a label.
const char kAlphabet[] = "abcdefghijkmnpqrstuvwxyz23456789";

int wps_checksum(unsigned long pin7)
{
    unsigned long acc = 0;
    for (int w = 3; pin7 != 0; w = 4 - w, pin7 /= 10)
        acc += (unsigned long)w * (pin7 % 10);
    return (int)((10 - acc % 10) % 10);
}

bool valid_pin(const std::string &pin)
{
    if (pin.size() != 8 || pin.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return wps_checksum(strtoul(pin.substr(0, 7).c_str(), nullptr, 10)) == pin[7] - '0';
}

bool valid_psk(const std::string &psk)
{
    return psk.size() >= 8 && psk.size() <= 63 && printable_ascii(psk);
}

bool accept(const std::string &name, const std::string &value)
{
    if (name == kPinName)
        return valid_pin(value);
    for (int i = 0; i < WL_IFACE_COUNT; i++)
        if (name == if_key(kPskName, i))
            return valid_psk(value);
    return false;
}

// NAME=VALUE lines of a file into out (valid ones only). 0, or -1 with
// errno (ENOENT: absent; any other failure logged).
int read_secrets(const char *abs, std::map<std::string, std::string> *out)
{
    std::string path = root_path(abs);
    std::string text;
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    if (read_whole_file(path, &text) != 0) {
        int err = errno;
        if (err != ENOENT)
            log_log(CFG_LOG_ERR, __func__, __LINE__, "%s: %s", path.c_str(), read_failure(err));
        errno = err;
        return -1;
    }
    for (const std::string &line : split_lines(text)) {
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#')
            continue;
        if (eq != std::string::npos && accept(line.substr(0, eq), line.substr(eq + 1)))
            (*out)[line.substr(0, eq)] = line.substr(eq + 1);
        else
            log_log(CFG_LOG_ERR, __func__, __LINE__, "%s: line ignored", path.c_str());
    }
    return 0;
}

bool random_fill(unsigned char *buf, size_t n)
{
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, buf + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += (size_t)r;
    }
    close(fd);
    return got == n;
}

// Fresh values for every name: "" when the random source fails.
std::map<std::string, std::string> generate()
{
    std::map<std::string, std::string> out;
    unsigned char rnd[4 * 12 + 4];
    if (!random_fill(rnd, sizeof(rnd)))
        return out;
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        std::string psk;
        for (int k = 0; k < 12; k++) {
            if (k > 0 && k % 4 == 0)
                psk.push_back('-');
            psk.push_back(kAlphabet[rnd[i * 12 + k] % (sizeof(kAlphabet) - 1)]);
        }
        out[if_key(kPskName, i)] = psk;
    }
    unsigned long pin7 = ((unsigned long)rnd[48] << 24 | (unsigned long)rnd[49] << 16 |
                          (unsigned long)rnd[50] << 8 | rnd[51]) % 10000000ul;
    char pin[16];
    snprintf(pin, sizeof(pin), "%07lu%d", pin7, wps_checksum(pin7));
    out[kPinName] = pin;
    return out;
}

std::string secrets_text(const std::map<std::string, std::string> &v)
{
    std::string out;
    for (const auto &kv : v)
        out += kv.first + "=" + kv.second + "\n";
    return out;
}

} // namespace

void device_secrets(DorvanImage *img)
{
    std::map<std::string, std::string> v;
    std::map<std::string, std::string> made;
    read_secrets(kProvisionFile, &v);
    if (v.size() < 5) {
        int rc = read_secrets(kGeneratedFile, &made);
        int err = errno;
        std::map<std::string, std::string> kept = made;
        kept.insert(v.begin(), v.end());
        if (kept.size() < 5) {
            // Whatever is missing or unusable is made now: a reset never
            // brings back an empty passphrase.
            std::map<std::string, std::string> fresh = generate();
            made.insert(fresh.begin(), fresh.end());
            std::string path = root_path(kGeneratedFile);
            const char *why = fresh.empty() ? "no random source" : nullptr;
            // A missing file is created only if still missing (a second
            // writer's file wins); an empty or partial one is completed, a
            // FIFO or folder replaced if it can be.
            if (why == nullptr && rc != 0 && err == ENOENT)
                why = create_file_if_missing(path, secrets_text(made), 0600) != 0 ? strerror(errno) : nullptr;
            else if (why == nullptr && (rc == 0 || err == kNotRegular))
                why = write_file_atomic(path, secrets_text(made), nullptr, 0600) != 0 ? strerror(errno) : nullptr;
            else if (why == nullptr)
                why = read_failure(err);
            if (why == nullptr && rc != 0) {
                made.clear();
                if (read_secrets(kGeneratedFile, &made) != 0)
                    why = read_failure(errno);
            }
            if (why != nullptr)
                log_log(CFG_LOG_ERR, __func__, __LINE__, "device secrets not kept: %s", why);
        }
    }
    // The board's own values first; generated ones fill what it lacks.
    v.insert(made.begin(), made.end());
    auto pin = v.find(kPinName);
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        auto psk = v.find(if_key(kPskName, i));
        if (psk != v.end())
            img->vars[psk->first] = psk->second;
        if (pin != v.end())
            img->vars[if_key(kPinName, i)] = pin->second;
    }
}

namespace {

bool old_shared_psk(const std::string &v)
{
    for (const char *p : kOldSharedPsks)
        if (v == p)
            return true;
    return false;
}

// The data model as a load would take it, without the load's logging.
bool peek_image(DorvanImage *img)
{
    for (const char *abs : {DORVAN_MDM_FILE, DORVAN_FLASH_FILE}) {
        std::string bytes;
        if (read_whole_file(root_path(abs), &bytes) == 0 && parse_image(bytes, img) == nullptr)
            return true;
    }
    return false;
}

// Puts pin wherever the shared one is stored; what became of it.
const char *replace_old_pin(const std::string &pin)
{
    static const char kWho[] = "replace_old_pin";
    if (cfgLck_acquireLockTraced(kWho) != CFG_RET_SUCCESS)
        return "kept for now (configuration lock busy)";
    bool ok = wlmgr_loadWorkingCopy() == 0;
    for (int i = 0; ok && i < WL_IFACE_COUNT; i++) {
        std::string key = if_key(kPinName, i);
        char v[WLMGR_VALUE_SIZE];
        if (wlmgr_getVar(key.c_str(), v) == 0 && v == std::string(kOldSharedPin))
            ok = wlmgr_setVar(key.c_str(), pin.c_str()) == 0;
    }
    ok = ok && wlmgr_storeWorkingCopy() == 0 && cfgMgm_saveConfigToFlash() == CFG_RET_SUCCESS;
    cfgLck_releaseLockTraced(kWho);
    return ok ? "replaced by this device's own" : "kept for now (the data model could not be written)";
}

} // namespace

void check_old_shared_secrets()
{
    DorvanImage img;
    if (!peek_image(&img))
        return;
    std::string psks;
    bool pin = false;
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        auto psk = img.vars.find(if_key(kPskName, i));
        if (psk != img.vars.end() && old_shared_psk(psk->second))
            psks += std::string(psks.empty() ? "" : ", ") + wl_iface_names[i];
        auto p = img.vars.find(if_key(kPinName, i));
        pin = pin || (p != img.vars.end() && p->second == kOldSharedPin);
    }
    // A PIN nobody chose goes; a passphrase may be the user's choice and stays.
    std::string own;
    if (pin) {
        DorvanImage mine;
        device_secrets(&mine);
        own = mine.vars[if_key(kPinName, 0)];
        pin = own != kOldSharedPin;  // a board provisioned with it keeps it
    }
    if (psks.empty() && !pin)
        return;
    std::string line;
    if (!psks.empty())
        line = "passphrase of " + psks + " is one that every device of older builds shared: kept, set your own";
    if (pin)
        line += std::string(line.empty() ? "" : "; their ") + "shared WPS device PIN " +
                (own.empty() ? "kept (this device has none of its own)" : replace_old_pin(own));
    log_log(CFG_LOG_ERR, __func__, __LINE__, "%s", line.c_str());
}

} // namespace dplat
