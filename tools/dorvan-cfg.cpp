// dorvan-cfg: reads and writes the wireless data model from the shell, under
// the same configuration lock as the daemon.
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "radio/radio.h"
#include "rootpath.h"
#include "wlmgr.h"

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
    "  radio                    hostapd configuration (secrets masked), hostapd state\n"
    "  --flash                  get/show/macfilter/wds read the flash\n"
    "exit: 0 ok, 1 unset name or refused value, 2 usage, 3 lock busy\n";

const char kSelf[] = "dorvan-cfg";
// The daemon holds the lock only briefly; a shell user can afford to wait.
const uint32_t kLockWaitSeconds = 5;

enum Exit { kOk = 0, kFailed = 1, kUsageError = 2, kLockBusy = 3 };

int usageError(const char *what)
{
    fprintf(stderr, "%s: %s\n%s", kSelf, what, kUsage);
    return kUsageError;
}

void putLine(const std::string &s)
{
    fwrite(s.data(), 1, s.size(), stdout);
    fputc('\n', stdout);
}

int doGet(const std::vector<const char *> &names)
{
    int rc = kOk;
    for (const char *name : names) {
        char value[WLMGR_VALUE_SIZE];
        if (wlmgr_getVar(name, value) != 0) {
            fprintf(stderr, "%s: %s: not set\n", kSelf, name);
            rc = kFailed;
            continue;
        }
        putLine(value);
    }
    return rc;
}

int doSet(const std::vector<const char *> &args)
{
    // Check everything first: a refused pair must leave the files as they were.
    for (size_t i = 0; i < args.size(); i += 2) {
        if (dorvan_canonicalName(args[i]).empty()) {
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
    if (dorvan_storeWorkingCopy() != 0) {
        fprintf(stderr, "%s: cannot store the data model\n", kSelf);
        return kFailed;
    }
    if (cfgMgm_saveConfigToFlash() != CFG_RET_SUCCESS) {
        fprintf(stderr, "%s: cannot save to flash\n", kSelf);
        return kFailed;
    }
    return kOk;
}

int doShow()
{
    for (const auto &kv : dorvan_workingCopy().vars)
        putLine(kv.first + "=" + kv.second);
    return kOk;
}

int doMacFilter()
{
    for (const auto &f : dorvan_workingCopy().filters)
        putLine(f.ifname + " " + f.mac + " " + f.ssid);
    return kOk;
}

int doWds()
{
    for (const auto &w : dorvan_workingCopy().wds)
        putLine(w);
    return kOk;
}

// The switch as the daemon reads it, without polling the radio from here.
int switchPosition()
{
    char path[DORVAN_PATH_MAX];
    if (rootpath_make(path, sizeof(path), "/var/dorvan/board/wireless_switch") != 0)
        return -1;
    FILE *f = fopen(path, "re");
    if (f == nullptr)
        return -1;
    int v = -1;
    int n = fscanf(f, "%d", &v);
    fclose(f);
    return n != 1 ? -1 : v == 0 ? 1 : 0;
}

int doRadio()
{
    fputs(radio_describe(dorvan_workingCopy(), switchPosition()).c_str(), stdout);
    return kOk;
}

int doReset()
{
    if (dorvan_restoreFactory() != 0) {
        fprintf(stderr, "%s: cannot write the factory configuration\n", kSelf);
        return kFailed;
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
        return usageError("no verb");
    std::string verb = argv[i++];
    std::vector<const char *> args(argv + i, argv + argc);

    bool reads = verb == "get" || verb == "show" || verb == "macfilter" || verb == "wds" ||
                 verb == "radio";
    if (!reads && verb != "set" && verb != "reset")
        return usageError(("unknown verb \"" + verb + "\"").c_str());
    if (flash && !reads)
        return usageError("--flash only goes with get, show, macfilter, wds and radio");
    if (verb == "get" && args.empty())
        return usageError("get needs at least one name");
    if (verb == "set" && (args.empty() || args.size() % 2 != 0))
        return usageError("set needs NAME VALUE pairs");
    if (verb != "get" && verb != "set" && !args.empty())
        return usageError((verb + " takes no arguments").c_str());

    cfgLog_init(0);
    void *bus = nullptr;
    int mdm = 0;
    if (cfgMsg_init(0, &bus) != CFG_RET_SUCCESS || cfgMdm_init(0, bus, &mdm) != CFG_RET_SUCCESS) {
        fprintf(stderr, "%s: cannot prepare the data model\n", kSelf);
        cfgMsg_cleanup(&bus);
        return kFailed;
    }
    // DORVAN_LOCK_WAIT_MS, when given, sets the wait (scripts and tests).
    int locked = getenv("DORVAN_LOCK_WAIT_MS") != nullptr
                     ? cfgLck_acquireLockTraced(kSelf)
                     : cfgLck_acquireLockWithTimeoutTraced(kSelf, kLockWaitSeconds);
    if (locked != CFG_RET_SUCCESS) {
        fprintf(stderr, "%s: configuration lock not obtained\n", kSelf);
        cfgMsg_cleanup(&bus);
        return kLockBusy;
    }

    int rc = kOk;
    if (verb == "reset") {
        rc = doReset();
    } else {
        if (flash)
            dorvan_loadFlashWorkingCopy();
        else
            wlmgr_loadWorkingCopy();
        if (verb == "get")
            rc = doGet(args);
        else if (verb == "set")
            rc = doSet(args);
        else if (verb == "show")
            rc = doShow();
        else if (verb == "macfilter")
            rc = doMacFilter();
        else if (verb == "radio")
            rc = doRadio();
        else
            rc = doWds();
    }
    cfgLck_releaseLockTraced(kSelf);
    cfgMsg_cleanup(&bus);
    if (fflush(stdout) != 0 && rc == kOk)
        rc = kFailed;
    return rc;
}
