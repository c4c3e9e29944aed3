// wlwds: the radio's WDS bridge restriction and the bridge peer scan.
#include <ctype.h>
#include <string.h>

#include "text.h"
#include "commands.h"
#include "maclist.h"
#include "reply.h"
#include "wlaccess.h"

#define WDS_TRACE "processWlWDSCmd"
#define WDS_VIEW_TRACE "cmdWlWDSView"
// The --wlWds list: at most 255 characters.
#define WDS_LIST_SIZE 256
// A fixed slot holds one address that verifyMacAddress accepted.
#define WDS_SLOT_SIZE 19
#define WDS_SLOTS 4

enum wds_mode { WDS_MODE_NONE, WDS_MODE_STATIC, WDS_MODE_DYNAMIC };

static const char *const wds_slot_vars[WDS_SLOTS] = {"wlWds0", "wlWds1", "wlWds2", "wlWds3"};
static const char *const wds_slot_options[WDS_SLOTS] = {"--wlWds0", "--wlWds1", "--wlWds2", "--wlWds3"};

void cmdWlWDSHelp(void)
{
    reply_set(WLWDS_HELP);
}

void convertmac(char *mac)
{
    for (char *p = mac; *p != '\0'; p++)
        *p = (char)toupper((unsigned char)*p);
}

// Runs one peer scan and appends one entry per peer found: bracketed on
// the view's line, or one line each. Entries that no longer fit (the view
// keeps room for its line end) are left out; the walk still runs to its end.
static void append_scan_results(int bracketed)
{
    wlmgr_scanWdsMacStart();
    wlmgr_scanWdsMacResult();

    char mac[WLMGR_MAC_SIZE], ssid[WL_VALUE_SIZE];
    int full = 0;
    void *cursor = NULL;
    while ((cursor = wlmgr_getScanWdsMacSSID(cursor, mac, ssid)) != NULL) {
        if (full)
            continue;
        const char *state = wlmgr_isWdsMacConfigured(mac) ? "configured" : "unconfigured";
        if (bracketed)
            full = maclist_append(MACLIST_LINE_END_SIZE, " [ssid:%s mac:%s %s]", ssid, mac, state) != 0;
        else
            full = maclist_append(0, " ssid:%s mac:%s %s\n", ssid, mac, state) != 0;
    }
}

void cmdWlWDSView(void)
{
    reply_clear();
    // This view answers before it lets the lock go.
    if (wla_begin(WDS_VIEW_TRACE, WLA_REPLY_FIRST) != 0)
        return;

    char mode[WL_VALUE_SIZE], lazy[WL_VALUE_SIZE], wds[WDS_SLOTS][WL_VALUE_SIZE];
    wla_get("wlMode", mode);
    wla_get("wlLazyWds", lazy);
    for (int i = 0; i < WDS_SLOTS; i++)
        wla_get(wds_slot_vars[i], wds[i]);

    switch (text_number(lazy)) {
    case 0:
        reply_append("AP Mode:%s  Bridge Restrict:enabled  ", mode);
        reply_append("  [wds0:%s] [wds1:%s] [wds2:%s] [wds3:%s]\n", wds[0], wds[1], wds[2], wds[3]);
        break;
    case 2:
        reply_append("AP Mode:%s  Bridge Restrict:enabled(scan)  ", mode);
        append_scan_results(1);
        reply_append(MACLIST_LINE_END);
        break;
    default:
        reply_append("AP Mode:%s  Bridge Restrict:disabled  \n", mode);
        break;
    }
}

static void scan_peers(void)
{
    if (wla_begin(WDS_TRACE, WLA_RELEASE_FIRST) != 0)
        return;
    append_scan_results(0);
}

static void disable_restrict(char *tok[], int count)
{
    if (count < 3 || !text_equal_nocase(tok[1], "--wlMode") ||
        !(text_equal_nocase(tok[2], "ap") || text_equal_nocase(tok[2], "wds"))) {
        cmdWlWDSHelp();
        return;
    }
    if (wla_begin(WDS_TRACE, WLA_RELEASE_FIRST) != 0)
        return;
    wla_set("wlMode", tok[2]);
    wla_set("wlLazyWds", "1");
    wla_commit();
    reply_set("set  Bridge Restrict to be disabled successfully!!\n");
}

// Adds the "dynamic" list to the manager's WDS list. Returns 0 when every
// item is in it, else the failing item's status (the failure text is then in
// the reply). Items added before a failure stay added.
static int add_dynamic_peers(char *list)
{
    char *save = NULL;
    for (char *mac = strtok_r(list, ",", &save); mac != NULL; mac = strtok_r(NULL, ",", &save)) {
        int status = 1;
        if (verifyMacAddress(mac)) {
            if (wlmgr_isWdsMacConfigured(mac)) {
                reply_append("The mac %s has already been configured.\n ", mac);
                continue;
            }
            status = wlmgr_addWdsMac(mac);
        }
        if (status != 0) {
            reply_append("Add wireless MAC filter for %s failed. Status: %d.", mac, status);
            return status;
        }
    }
    return 0;
}

static void enable_restrict(char *tok[], int count)
{
    int refused = 0;
    const char *mode = NULL;
    enum wds_mode wds_mode = WDS_MODE_NONE;
    char slots[WDS_SLOTS][WDS_SLOT_SIZE] = {"", "", "", ""};
    char list[WDS_LIST_SIZE] = "";

    for (int p = 1; p < count - 1;) {
        const char *opt = tok[p];
        char *value = tok[p + 1];
        int slot = -1;
        for (int i = 0; i < WDS_SLOTS; i++) {
            if (text_equal_nocase(opt, wds_slot_options[i]))
                slot = i;
        }
        if (text_equal_nocase(opt, "--wlMode")) {
            if (text_equal_nocase(value, "ap") || text_equal_nocase(value, "wds"))
                mode = value;
            else
                refused = CMD_REFUSED;
        } else if (text_equal_nocase(opt, "--wdsmode")) {
            // Matched without regard to case, so acted on as the lower-case word.
            if (text_equal_nocase(value, "static"))
                wds_mode = WDS_MODE_STATIC;
            else if (text_equal_nocase(value, "dynamic"))
                wds_mode = WDS_MODE_DYNAMIC;
            else
                refused = CMD_REFUSED;
        } else if (slot >= 0) {
            if (verifyMacAddress(value) && text_copy(slots[slot], WDS_SLOT_SIZE, value) == 0)
                convertmac(slots[slot]);
            else
                refused = CMD_REFUSED;
        } else if (text_equal_nocase(opt, "--wlWds")) {
            if (text_copy(list, sizeof(list), value) == 0)
                convertmac(list);
            else
                refused = CMD_REFUSED;
        } else {
            p++;
            continue;
        }
        p += 2;
    }
    if (mode == NULL || wds_mode == WDS_MODE_NONE)
        refused = CMD_REFUSED;
    if (refused != 0) {
        cmdWlWDSHelp();
        return;
    }

    // Answered before the lock goes, whether the list succeeded or not.
    if (wla_begin(WDS_TRACE, WLA_REPLY_FIRST) != 0)
        return;
    wla_set("wlMode", mode);
    int status = 0;
    if (wds_mode == WDS_MODE_STATIC) {
        wla_set("wlLazyWds", "0");
        for (int i = 0; i < WDS_SLOTS; i++) {
            if (slots[i][0] != '\0')
                wla_set(wds_slot_vars[i], slots[i]);
        }
    } else {
        wla_set("wlLazyWds", "2");
        status = add_dynamic_peers(list);
    }
    if (status == 0) {
        wla_commit();
        reply_append(" set macs for wireless bridge restrict successfully!!\n");
    }
}

void processWlWDSCmd(char *args)
{
    reply_clear();
    char *tok[TEXT_MAX_TOKENS];
    int count = text_split(args, tok);
    if (count == 0)
        cmdWlWDSHelp();
    else if (text_equal_nocase(tok[0], "show"))
        cmdWlWDSView();
    else if (text_equal_nocase(tok[0], "scanwdsmac"))
        scan_peers();
    else if (text_equal_nocase(tok[0], "disablerestrict"))
        disable_restrict(tok, count);
    else if (text_equal_nocase(tok[0], "enablerestrict"))
        enable_restrict(tok, count);
    else
        cmdWlWDSHelp();
}
