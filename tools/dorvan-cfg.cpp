// dorvan-cfg: reads and writes the wireless data model from the shell, under
// the same configuration lock as the daemon.
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "radio/radio.h"
#include "regdb.h"
#include "rootpath.h"
#include "wlmgr.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: dorvan-cfg [--flash] VERB [ARGS]\n"
    "  get NAME...              print each value on its own line\n"
    "  set NAME VALUE [...]     set, store to the data model, save to flash\n"
    "  show                     every NAME=VALUE, sorted by name\n"
    "  macfilter                MAC filter list: INTERFACE ADDRESS SSID\n"
    "  wds                      configured WDS peers\n"
    "  reset                    factory defaults to data model and flash\n"
    "  board                    each board input: source and current state\n"
    "  channels [COUNTRY]       usable channels per band and width (default:\n"
    "                           the stored wlCountry) from the regulatory database\n"
    "  radio                    hostapd configuration (secrets masked), hostapd state\n"
    "  --flash                  get/show/macfilter/wds/channels/radio read the flash\n"
    "exit: 0 ok, 1 unset name, refused value, a file that cannot be read or\n"
    "      written, or an unreadable board input, 2 usage, 3 lock busy\n";

const char kSelf[] = "dorvan-cfg";
// The daemon holds the lock only briefly; a shell user can afford to wait.
const uint32_t kLockWaitSeconds = 5;

enum Exit { kOk = 0, kFailed = 1, kUsageError = 2, kLockBusy = 3 };

int usage_error(const char *what)
{
    fprintf(stderr, "%s: %s\n%s", kSelf, what, kUsage);
    return kUsageError;
}

// "dorvan-cfg: WHAT PATH: REASON", the path as resolved under the root.
int file_error(const char *what, const char *abs, const char *reason)
{
    char path[DORVAN_PATH_MAX];
    if (rootpath_make(path, sizeof(path), abs) != 0)
        snprintf(path, sizeof(path), "%s", abs);
    fprintf(stderr, "%s: %s %s: %s\n", kSelf, what, path, reason);
    return kFailed;
}

void put_line(const std::string &s)
{
    fwrite(s.data(), 1, s.size(), stdout);
    fputc('\n', stdout);
}

int do_get(const std::vector<const char *> &names)
{
    int rc = kOk;
    for (const char *name : names) {
        char value[WLMGR_VALUE_SIZE];
        if (wlmgr_getVar(name, value) != 0) {
            fprintf(stderr, "%s: %s: not set\n", kSelf, name);
            rc = kFailed;
            continue;
        }
        put_line(value);
    }
    return rc;
}

int do_set(const std::vector<const char *> &args)
{
    // Check everything first: a refused pair must leave the files as they were.
    for (size_t i = 0; i < args.size(); i += 2) {
        if (dorvan_canonical_name(args[i]).empty()) {
            fprintf(stderr, "%s: bad name \"%s\"\n", kSelf, args[i]);
            return kFailed;
        }
        if (strlen(args[i + 1]) >= WLMGR_VALUE_SIZE) {
            fprintf(stderr, "%s: value for %s longer than %d bytes\n", kSelf,
                    args[i], WLMGR_VALUE_SIZE - 1);
            return kFailed;
        }
    }
    for (size_t i = 0; i < args.size(); i += 2) {
        if (wlmgr_setVar(args[i], args[i + 1]) != 0) {
            fprintf(stderr, "%s: %s refused\n", kSelf, args[i]);
            return kFailed;
        }
    }
    if (dorvan_store_working_copy() != 0)
        return file_error("cannot store", DORVAN_MDM_FILE, strerror(errno));
    if (cfgMgm_saveConfigToFlash() != CFG_RET_SUCCESS)
        return file_error("cannot save to", DORVAN_FLASH_FILE, strerror(errno));
    return kOk;
}

int do_show()
{
    for (const auto &kv : dorvan_working_copy().vars)
        put_line(kv.first + "=" + kv.second);
    return kOk;
}

int do_mac_filter()
{
    for (const auto &f : dorvan_working_copy().filters)
        put_line(f.ifname + " " + f.mac + " " + f.ssid);
    return kOk;
}

int do_wds()
{
    for (const auto &w : dorvan_working_copy().wds)
        put_line(w);
    return kOk;
}

// Runs after the lock is released: hostapd's replies and the board's
// devices are waited for without holding up the daemon.
int do_radio(const DorvanImage &img)
{
    fputs(radio_describe(img, dorvan_wireless_switch()).c_str(), stdout);
    return kOk;
}

int do_reset()
{
    if (dorvan_restore_factory() != 0) {
        fprintf(stderr, "%s: cannot write the factory configuration: %s\n", kSelf,
                strerror(errno));
        return kFailed;
    }
    return kOk;
}

// Needs no lock: it reads the board, not the data model.
int do_board()
{
    std::string out;
    int rc = dorvan_board_report(&out) == 0 ? kOk : kFailed;
    fputs(out.c_str(), stdout);
    return rc;
}

// Every list the channel-list query gives, with the flags of the rule that
// allows each channel, so an integrator can check a country by hand.
int do_channels(const char *country)
{
    using namespace dplat;
    std::string source;
    const RegDb &db = currentRegDb(&source);
    const RegCountry &c = regCountry(db, country);
    static const char *const kRegions[] = {"unset", "FCC", "ETSI", "JP"};
    if (source.empty())
        printf("database: none usable (see the log), compiled-in world rules\n");
    else
        printf("database: %s\n", source.c_str());
    // The stored value may hold any bytes: show only printable ones.
    char code[3] = {0, 0, 0};
    for (int i = 0; i < 2 && country[i] != '\0'; i++)
        code[i] = country[i] > 0x20 && country[i] < 0x7f ? country[i] : '?';
    printf("country: %s -> %s, DFS region %s\n", code, c.alpha2,
           c.dfsRegion < 4 ? kRegions[c.dfsRegion] : "unknown");
    static const struct {
        const char *words, *what;
    } kLists[] = {
        {"b", "2.4 GHz, 20 MHz, 802.11b"},
        {"n b 20", "2.4 GHz, 20 MHz"},
        {"n b 40 lower", "2.4 GHz, 40 MHz, partner above"},
        {"n b 40 upper", "2.4 GHz, 40 MHz, partner below"},
        {"a", "5 GHz, 20 MHz (also n a 20)"},
        {"n a 40 lower", "5 GHz, 40 MHz, partner above"},
        {"n a 40 upper", "5 GHz, 40 MHz, partner below"},
    };
    for (const auto &l : kLists) {
        std::vector<std::string> words;
        for (const char *p = l.words; *p != '\0';) {
            size_t n = strcspn(p, " ");
            words.emplace_back(p, n);
            p += n + (p[n] == ' ');
        }
        RegQuery q;
        std::vector<RegChannel> chans;
        reg_query_from_words(words, &q);
        reg_channels(c, q, &chans);
        printf("%s (%s):%s\n", l.words, l.what, chans.empty() ? " none" : "");
        for (const RegChannel &ch : chans)
            printf("  %3d  %4d MHz  max %d.%02d dBm%s%s%s\n", ch.channel, ch.centreMhz,
                   ch.rule.maxEirp / 100, ch.rule.maxEirp % 100,
                   (ch.rule.flags & kRegDfs) != 0 ? "  DFS" : "",
                   (ch.rule.flags & kRegNoOutdoor) != 0 ? "  indoor only" : "",
                   (ch.rule.flags & kRegNoOfdm) != 0 ? "  802.11b only" : "");
    }
    return kOk;
}

} // namespace

int main(int argc, char **argv)
{
    int i = 1;
    if (i < argc && (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)) {
        fputs(kUsage, stdout);
        return kOk;
    }
    bool flash = false;
    if (i < argc && strcmp(argv[i], "--flash") == 0) {
        flash = true;
        i++;
    }
    if (i >= argc)
        return usage_error("no verb");
    std::string verb = argv[i++];
    std::vector<const char *> args(argv + i, argv + argc);

    if (verb == "channels" && args.size() > (flash ? 0u : 1u))
        return usage_error("channels takes one country at most, none after --flash");
    if (verb == "channels" && args.size() == 1) {
        cfgLog_init(0);  // no data model needed: the country is given
        return do_channels(args[0]);
    }
    bool reads = verb == "get" || verb == "show" || verb == "macfilter" || verb == "wds" ||
                 verb == "channels" || verb == "radio";
    if (!reads && verb != "set" && verb != "reset" && verb != "board")
        return usage_error(("unknown verb \"" + verb + "\"").c_str());
    if (flash && !reads)
        return usage_error("--flash only goes with get, show, macfilter, wds, channels and radio");
    if (verb == "get" && args.empty())
        return usage_error("get needs at least one name");
    if (verb == "set" && (args.empty() || args.size() % 2 != 0))
        return usage_error("set needs NAME VALUE pairs");
    if (verb != "get" && verb != "set" && verb != "channels" && !args.empty())
        return usage_error((verb + " takes no arguments").c_str());

    cfgLog_init(0);
    void *bus = nullptr;
    int mdm = 0;
    if (cfgMsg_init(0, &bus) != CFG_RET_SUCCESS || cfgMdm_init(0, bus, &mdm) != CFG_RET_SUCCESS) {
        fprintf(stderr, "%s: cannot prepare the data model\n", kSelf);
        cfgMsg_cleanup(&bus);
        return kFailed;
    }
    if (verb == "board") {
        int rc = do_board();
        cfgMsg_cleanup(&bus);
        return fflush(stdout) != 0 ? kFailed : rc;
    }
    // DORVAN_LOCK_WAIT_MS, when given, sets the wait (scripts and tests).
    int locked = getenv("DORVAN_LOCK_WAIT_MS") != nullptr
                     ? cfgLck_acquireLockTraced(kSelf)
                     : cfgLck_acquireLockWithTimeoutTraced(kSelf, kLockWaitSeconds);
    if (locked != CFG_RET_SUCCESS) {
        int err = errno;
        cfgMsg_cleanup(&bus);
        if (locked != CFG_RET_TIMED_OUT)
            return file_error("cannot lock", DORVAN_LOCK_FILE, strerror(err));
        fprintf(stderr, "%s: configuration lock not obtained\n", kSelf);
        return kLockBusy;
    }

    int rc = kOk;
    bool radio = false;
    DorvanImage img;
    if (verb == "reset") {
        rc = do_reset();
    } else {
        // A file that is there but unreadable is never taken for a missing
        // one: nothing is shown or written from the fallback.
        int loaded = flash ? dorvan_load_flash_working_copy() : wlmgr_loadWorkingCopy();
        if (loaded != 0) {
            fprintf(stderr, "%s: cannot read %s\n", kSelf, dorvan_load_failure().c_str());
            rc = kFailed;
        } else if (verb == "get")
            rc = do_get(args);
        else if (verb == "set")
            rc = do_set(args);
        else if (verb == "show")
            rc = do_show();
        else if (verb == "macfilter")
            rc = do_mac_filter();
        else if (verb == "channels") {
            char country[WLMGR_VALUE_SIZE];
            wlmgr_getVar("wlCountry", country);
            rc = do_channels(country);
        }
        else if (verb == "radio") {
            img = dorvan_working_copy();
            radio = true;
        } else
            rc = do_wds();
    }
    cfgLck_releaseLockTraced(kSelf);
    if (radio)
        rc = do_radio(img);
    cfgMsg_cleanup(&bus);
    if (fflush(stdout) != 0 && rc == kOk)
        rc = kFailed;
    return rc;
}
