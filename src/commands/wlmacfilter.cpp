// wlmacfilter: the MAC filter mode of each interface and its address list.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cfg_framework.h"
#include "text.h"
#include "commands.h"
#include "iface.h"
#include "maclist.h"
#include "reply.h"
#include "wlaccess.h"

#define MACFILTER_TRACE "processWlMacfilterCmd"
#define MACFILTER_VIEW_TRACE "cmdWlMacfilterView"
// The --macaddr list: at most 159 characters.
#define MACADDR_LIST_SIZE 160
// Longest address text accepted, NUL excluded.
#define MAC_TEXT_MAX 18

int maclist_append(size_t reserve, const char *fmt, ...)
{
    char entry[MACLIST_ENTRY_SIZE];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(entry, sizeof(entry), fmt, ap);
    va_end(ap);
    // An entry is never cut: it goes in whole or not at all.
    if (n < 0 || (size_t)n >= sizeof(entry))
        return -1;
    if (strnlen(sendbuf, SENDBUF_SIZE) + (size_t)n + reserve >= SENDBUF_SIZE)
        return -1;
    return reply_append("%s", entry);
}

void cmdWlMacfilterHelp(void)
{
    reply_set(WLMACFILTER_HELP);
}

// One hexadecimal group: hex digits only (strtol alone would also take a
// sign, a 0x prefix or leading blanks) and a value below 256.
static int mac_group_ok(const char *group)
{
    if (group == NULL || group[0] == '\0')
        return 0;
    for (const char *p = group; *p != '\0'; p++) {
        if (!isxdigit((unsigned char)*p))
            return 0;
    }
    return strtol(group, NULL, 16) < 256;
}

uint8_t verifyMacAddress(const char *mac)
{
    if (mac == NULL || strnlen(mac, MAC_TEXT_MAX + 1) > MAC_TEXT_MAX)
        return 0;
    char copy[MAC_TEXT_MAX + 1];
    memcpy(copy, mac, strlen(mac) + 1);

    char *save = NULL;
    char *group = strtok_r(copy, ":", &save);
    if (!mac_group_ok(group))
        return 0;
    for (int good = 0; good < 5; good++) {
        if (!mac_group_ok(strtok_r(NULL, ":", &save)))
            return 0;
    }
    // Six groups and nothing after them.
    return strtok_r(NULL, ":", &save) == NULL;
}

static const char *onoff_text(const char *enbl)
{
    if (strcmp(enbl, "0") == 0)
        return onoff_names[0];
    if (strcmp(enbl, "1") == 0)
        return onoff_names[1];
    return enbl;
}

void cmdWlMacfilterView(void)
{
    reply_clear();
    if (wla_begin(MACFILTER_VIEW_TRACE, WLA_RELEASE_FIRST) != 0)
        return;

    int full = 0;
    for (int i = 0; i < WL_IFACE_COUNT && !full; i++) {
        char enbl[WL_VALUE_SIZE], ssid[WL_VALUE_SIZE], mode[WL_VALUE_SIZE];
        wla_select(i);
        wla_get_keyed(i, "wlEnbl", enbl);
        wla_get_keyed(i, "wlSsid", ssid);
        wla_get("wlFltMacMode", mode);
        if (maclist_append(MACLIST_LINE_END_SIZE, "%s:%s  wlSsid:%s  wlFltMacMode:%s maclist:", wl_iface_names[i],
                           onoff_text(enbl), ssid, mode) != 0)
            break;

        // Walk the whole list every time; entries of other interfaces, and
        // those that no longer fit, are passed over.
        char mac[WLMGR_MAC_SIZE], ifname[WLMGR_IFNAME_SIZE];
        void *cursor = NULL;
        while ((cursor = wlmgr_getFilterMac(cursor, mac, 0, ifname)) != NULL) {
            if (full || ifname[0] == '\0' || strcmp(ifname, wl_iface_names[i]) != 0)
                continue;
            if (maclist_append(MACLIST_LINE_END_SIZE, " %s ", mac) != 0)
                full = 1;
        }
        reply_append(MACLIST_LINE_END);
    }
}

// "disable", "allow", "deny": checked before the lock, stored as typed.
static void set_filter_mode(char *tok[], int count)
{
    if (count != 3 || strcmp(tok[1], "--interface") != 0) {
        reply_set(IFACE_NEEDED_TEXT);
        return;
    }
    int idx = cli_isValidinf(tok[2]);
    if (idx < 0) {
        cmdWlMacfilterHelp();
        return;
    }
    if (wla_begin(MACFILTER_TRACE, WLA_RELEASE_FIRST) != 0)
        return;
    wla_select(idx);
    wla_set("wlFltMacMode", tok[0]);
    wla_commit();

    reply_clear();
    reply_append("set Mac Restrict Mode:%s for %s successfully!!\n", tok[0], wl_iface_names[idx]);
}

// "addmac", "removemac": the lock is taken first so that the interface's
// enable flag is read under it. Addresses changed before a failing one stay
// changed in the working copy, which is then neither stored nor saved.
static void edit_filter_list(char *tok[], int count, int adding)
{
    if (wla_begin(MACFILTER_TRACE, WLA_RELEASE_FIRST) != 0)
        return;

    int idx = -1;
    int have_list = 0, list_too_long = 0;
    char list[MACADDR_LIST_SIZE] = "";
    for (int p = 1; p < count - 1;) {
        if (text_equal_nocase(tok[p], "--interface")) {
            idx = cli_isValidinf(tok[p + 1]);
            if (idx > 0) {
                char enbl[WL_VALUE_SIZE];
                wla_get_keyed(idx, "wlEnbl", enbl);
                if (text_number(enbl) == 0) {
                    reply_set("Cannot add MAC filter address since wireless is currently disabled!\n");
                    return;
                }
            } else if (idx < 0) {
                log_log(CFG_LOG_ERR, MACFILTER_TRACE, __LINE__, "interface value %s is invalid\n", tok[p + 1]);
            }
            p += 2;
        } else if (text_equal_nocase(tok[p], "--macaddr")) {
            have_list = 1;
            list_too_long = text_copy(list, sizeof(list), tok[p + 1]) != 0;
            p += 2;
        } else {
            p++;
        }
    }

    if (idx < 0) {
        reply_set(IFACE_NEEDED_TEXT);
        return;
    }
    if (!have_list || list_too_long) {
        cmdWlMacfilterHelp();
        return;
    }

    wla_select(idx);
    char ssid[WL_VALUE_SIZE] = "";
    if (adding)
        wla_get_keyed(idx, "wlSsid", ssid);

    char *save = NULL;
    for (char *mac = strtok_r(list, ",", &save); mac != NULL; mac = strtok_r(NULL, ",", &save)) {
        int status = 1;
        if (verifyMacAddress(mac)) {
            status = adding ? wlmgr_addFilterMac(mac, ssid, wl_iface_names[idx]) : wlmgr_removeFilterMac(mac);
        }
        if (status != 0) {
            reply_clear();
            reply_append("%s wireless MAC filter for %s failed. Status: %d.", adding ? "Add" : "Remove", mac, status);
            return;
        }
    }

    wla_commit();
    reply_clear();
    reply_append("%s for %s successfully!!\n", tok[0], wl_iface_names[idx]);
}

void processWlMacfilterCmd(char *args)
{
    char *tok[TEXT_MAX_TOKENS];
    int count = text_split(args, tok);
    if (count == 0) {
        cmdWlMacfilterHelp();
    } else if (text_equal_nocase(tok[0], "show")) {
        cmdWlMacfilterView();
    } else if (text_equal_nocase(tok[0], "disable") || text_equal_nocase(tok[0], "allow") ||
               text_equal_nocase(tok[0], "deny")) {
        set_filter_mode(tok, count);
    } else if (text_equal_nocase(tok[0], "addmac")) {
        edit_filter_list(tok, count, 1);
    } else if (text_equal_nocase(tok[0], "removemac")) {
        edit_filter_list(tok, count, 0);
    } else {
        cmdWlMacfilterHelp();
    }
}
