#include "monitor.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "cfg_framework.h"
#include "rootpath.h"

namespace {

const char kTrace[] = "do_scan";
const unsigned kLockTimeoutSeconds = 2;
// The loop stands still while we wait, reset button included: give up after
// about 30 s and try again on the next scan's pass.
const int kLockAttempts = 15;

// Room for the whole line whatever the root prefix: a cut shell line could
// run something nobody asked for, so it is never cut.
const size_t kCmdSize = 3 * DORVAN_PATH_MAX + INET_ADDRSTRLEN + 64;

// A dotted IPv4 address and nothing else: the text goes into a shell line.
bool is_dotted_ipv4(const char *text)
{
    if (text == NULL || strnlen(text, INET_ADDRSTRLEN) >= INET_ADDRSTRLEN)
        return false;
    for (const char *p = text; *p != '\0'; p++)
        if (!isdigit((unsigned char)*p) && *p != '.')
            return false;
    struct in_addr addr;
    return inet_pton(AF_INET, text, &addr) == 1;
}

// Paths reach the shell unquoted; a root prefix with blanks or shell
// characters would redirect the scan somewhere else.
bool is_plain_path(const char *path)
{
    for (const char *p = path; *p != '\0'; p++)
        if (!isalnum((unsigned char)*p) && strchr("/._-+", *p) == NULL)
            return false;
    return path[0] != '\0';
}

// The scan line for addr into cmd; -1 when it cannot be built whole.
int scan_line(char *cmd, size_t size, const char *addr)
{
    char tmp[DORVAN_PATH_MAX];
    char result[DORVAN_PATH_MAX];
    if (!rootpath_valid() || rootpath_make(tmp, sizeof(tmp), "/var/tmp_scanhosts.name") != 0 ||
        rootpath_make(result, sizeof(result), "/var/scanhosts.name") != 0 ||
        !is_plain_path(tmp) || !is_plain_path(result)) {
        log_log(CFG_LOG_ERR, kTrace, __LINE__, "scan result paths unusable under DORVAN_ROOT");
        return -1;
    }
    if (!is_dotted_ipv4(addr)) {
        log_log(CFG_LOG_ERR, kTrace, __LINE__, "LAN address is not a dotted IPv4 address");
        return -1;
    }
    memset(cmd, 0, size);
    int n = snprintf(cmd, size, "nbtscan %s/24 -T 6 -m >%s && cat %s > %s &", addr, tmp, tmp, result);
    return n > 0 && (size_t)n < size ? 0 : -1;
}

}  // namespace

void do_scan(void)
{
    InstanceIdStack iidStack;
    memset(&iidStack, 0, sizeof(iidStack));
    void *obj = NULL;
    char cmd[kCmdSize];
    memset(cmd, 0, sizeof(cmd));

    for (int attempt = 1; cfgLck_acquireLockWithTimeoutTraced(kTrace, kLockTimeoutSeconds) != 0;
         attempt++) {
        printf("Varno_monitor failed to get lock for nbt scan\n");
        if (attempt == kLockAttempts) {
            log_log(CFG_LOG_ERR, kTrace, __LINE__, "configuration lock busy %d times, scan skipped",
                    kLockAttempts);
            return;
        }
    }

    if (cfgObj_getNext(CFG_OID_LAN_IP_INTF, &iidStack, &obj) == 0 && obj != NULL) {
        const LanIpIntfObject *lan = (const LanIpIntfObject *)obj;
        if (scan_line(cmd, sizeof(cmd), lan->IPInterfaceIPAddress) == 0)
            cfgSys_doSystemAction(kTrace, cmd);
        cfgObj_free(&obj);
    }
    cfgLck_releaseLockTraced(kTrace);
}
