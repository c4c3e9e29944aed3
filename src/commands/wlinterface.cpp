// "wlinterface": list the four interfaces, switch one off, or switch one on
// together with any further per-interface settings given as option pairs.
#include <string.h>

#include "cfg_framework.h"
#include "text.h"
#include "commands.h"
#include "iface.h"
#include "intfsec.h"
#include "reply.h"
#include "wlaccess.h"

static const char TRACE_CMD[] = "processWlIntfCmd";
static const char TRACE_VIEW[] = "cmdWlIntfView";

void cmdWlIntfHelp(void)
{
    reply_set(WLINTF_HELP);
}

void cmdWlIntfView(void)
{
    static const char *const vars[] = {"wlEnbl", "wlSsid", "wlMaxAssoc",
                                       "wlHide", "wlAPIsolation", "wlDisableWme"};
    enum { ENBL, SSID, MAXASSOC, HIDE, APISO, NOWME, NVARS };
    char country[WL_VALUE_SIZE];
    char v[NVARS][WL_VALUE_SIZE];

    reply_clear();
    if (wla_begin(TRACE_VIEW, WLA_RELEASE_FIRST) != 0)
        return;
    wla_get("wlCountry", country);
    int full = 0;
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        for (int k = 0; k < NVARS; k++)
            wla_get_keyed(i, vars[k], v[k]);
        // Once a line does not fit, later ones are left off too, so the
        // reply is always the first lines of the list, each whole.
        if (full)
            continue;
        full = reply_append("%s:%s  wlSsid:%s  wlCountry:%s  wlMaxAssoc:%s  wlHide:%s  "
                            "wlAPIsolation:%s  wlDisableWme:%s\n",
                            wl_iface_names[i], table_name(onoff_names, v[ENBL]), v[SSID],
                            country, v[MAXASSOC], table_name(onoff_names, v[HIDE]),
                            table_name(onoff_names, v[APISO]),
                            table_name(onoff_names, v[NOWME])) != 0;
    }
}

// Arguments are checked before the lock is taken.
static void intf_disable(char *const tokens[], int n)
{
    if (n != 3 || strcmp(tokens[1], "--interface") != 0) {
        reply_set(IFACE_NEEDED_TEXT);
        return;
    }
    int index = cli_isValidinf(tokens[2]);
    if (index < 0) {
        cmdWlIntfHelp();
        return;
    }
    if (wla_begin(TRACE_CMD, WLA_RELEASE_FIRST) != 0)
        return;
    wla_set_keyed(index, "wlEnbl", "0");
    wla_commit();
    reply_clear();
    reply_append("disable %s successfully!!\n", wl_iface_names[index]);
}

// Arguments are checked under the lock; a refusal releases it unwritten.
static void intf_enable(char *const tokens[], int n)
{
    int index = -1;
    if (wla_begin(TRACE_CMD, WLA_RELEASE_FIRST) != 0)
        return;
    for (int p = 1; p < n - 1; p++) {
        if (!text_equal_nocase(tokens[p], "--interface"))
            continue;
        index = cli_isValidinf(tokens[p + 1]);
        if (index > 0) {
            char enbl[WL_VALUE_SIZE];
            wla_get_keyed(0, "wlEnbl", enbl);
            if (text_number(enbl) == 0) {
                reply_set("when wl0 is disabled, other wl0.1|wl0.2|wl0.3 can not be configured!\n");
                return;
            }
        } else if (index < 0) {
            log_log(CFG_LOG_ERR, TRACE_CMD, __LINE__, "interface value %s is invalid\n",
                    tokens[p + 1]);
        }
        break;
    }
    if (index < 0) {
        reply_set(IFACE_NEEDED_TEXT);
        return;
    }
    if (pair_pass(tokens, n, index, 0) != 0) {
        cmdWlIntfHelp();
        return;
    }
    wla_select(0);
    wla_set_keyed(index, "wlEnbl", "1");
    // Every pair is written, "--interface" included; a later pair of the
    // same name, or one naming wlEnbl, wins.
    pair_pass(tokens, n, index, 1);
    wla_commit();
    reply_clear();
    reply_append("enable %s successfully!!\n", wl_iface_names[index]);
}

void processWlIntfCmd(char *args)
{
    char *tokens[TEXT_MAX_TOKENS];
    int n = text_split(args, tokens);

    if (n == 0)
        cmdWlIntfHelp();
    else if (text_equal_nocase(tokens[0], "show"))
        cmdWlIntfView();
    else if (text_equal_nocase(tokens[0], "disable"))
        intf_disable(tokens, n);
    else if (text_equal_nocase(tokens[0], "enable"))
        intf_enable(tokens, n);
    else
        cmdWlIntfHelp();
}
