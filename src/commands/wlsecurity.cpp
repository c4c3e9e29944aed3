// "wlsecurity": the security view of the four interfaces, WPS operations
// and manual security setup.
#include <stdio.h>
#include <string.h>

#include "text.h"
#include "commands.h"
#include "iface.h"
#include "intfsec.h"
#include "reply.h"
#include "wlaccess.h"

static const char TRACE_CMD[] = "processWlSecurityCmd";
static const char TRACE_VIEW[] = "cmdWlSecView";

enum { AUTH_OPEN, AUTH_SHARED, AUTH_RADIUS, AUTH_WPA, AUTH_PSK,
       AUTH_WPA2, AUTH_PSK2, AUTH_WPA2MIX, AUTH_PSK2MIX, AUTH_COUNT };
static const char *const auth_names[AUTH_COUNT] = {
    "open", "shared", "radius", "wpa", "psk", "wpa2", "psk2", "wpa2mix", "psk2mix"};

enum { OP_PIN, OP_PBC, OP_CONFIGURE_AP, OP_ADD_ER, OP_ADD_ER_DONE, OP_COUNT };
static const char *const op_names[OP_COUNT] = {
    "addenrollee_Pin", "addenrollee_PBC", "configureAP", "addER", "addERDone"};

static const char *const keybit_names[2] = {"128-bit", "64-bit"};
static const char *const state_names[2] = {"unconfigured", "configured"};

// Index of text in a name table (exact match), or -1.
static int name_index(const char *const names[], int count, const char *text)
{
    for (int i = 0; i < count; i++) {
        if (strcmp(names[i], text) == 0)
            return i;
    }
    return -1;
}

// WPS may run only on an open or pre-shared-key interface.
static int wps_allowed(const char *auth)
{
    int a = name_index(auth_names, AUTH_COUNT, auth);
    return a == AUTH_OPEN || a == AUTH_PSK || a == AUTH_PSK2 || a == AUTH_PSK2MIX;
}

void cmdWlSecHelp(void)
{
    reply_set(WLSEC_HELP);
}

// What the view reads per interface, in reading order.
enum { V_AUTH, V_WEP, V_KEYBIT, V_KEYIDX, V_KEY1, V_KEY2, V_KEY3, V_KEY4,
       V_RADIP, V_RADPORT, V_RADKEY, V_WPA, V_REKEY, V_REAUTH, V_PSK,
       V_PREAUTH, V_WSCMODE, V_COUNT };
static const char *const view_vars[V_COUNT] = {
    "wlAuthMode", "wlWep", "wlKeyBit", "wlKeyIndex", "wlKey1", "wlKey2", "wlKey3",
    "wlKey4", "wlRadiusServerIP", "wlRadiusPort", "wlRadiusKey", "wlWpa",
    "wlWpaGTKRekey", "wlNetReauth", "wlWpaPsk", "wlPreauth", "wlWscMode"};

#define BODY_OPEN_WEP "%s:%s wlAuthMode:open wlWep:enabled wlKeyBit:%s wlKeyIndex:%s " \
                      "wlKey1:%s wlKey2:%s wlKey3:%s wlKey4:%s"
#define BODY_OPEN "%s:%s wlAuthMode:open wlWep:disabled"
// psk, psk2 and psk2mix lines differ only in the mode word.
#define BODY_PSK "%s:%s wlAuthMode:%s wlWpaGTKRekey:%s wlWpaPsk:%s wlWpa:%s"
#define WSC_OFF " wl_wsc_mode:disabled\n"
#define WSC_ON " wl_wsc_mode:enabled wsc_config_state:%s wlWscDevPin:%s\n"

// Interface i's part with WPS off: the mode's body, then the WPS suffix,
// appended as one piece.
static int sec_part_wps_off(const char *ifname, const char *ssid, char v[][WL_VALUE_SIZE])
{
    const char *keybit = table_name(keybit_names, v[V_KEYBIT]);
    const char *preauth = table_name(onoff_names, v[V_PREAUTH]);
    switch (name_index(auth_names, AUTH_COUNT, v[V_AUTH])) {
    case AUTH_OPEN:
        if (strcmp(v[V_WEP], "enabled") == 0)
            return reply_append(BODY_OPEN_WEP WSC_OFF, ifname, ssid, keybit, v[V_KEYIDX],
                                v[V_KEY1], v[V_KEY2], v[V_KEY3], v[V_KEY4]);
        return reply_append(BODY_OPEN WSC_OFF, ifname, ssid);
    case AUTH_SHARED:
        return reply_append("%s:%s wlAuthMode:shared wlKeyBit:%s wlKeyIndex:%s wlKey1:%s "
                            "wlKey2:%s wlKey3:%s wlKey4:%s" WSC_OFF,
                            ifname, ssid, keybit, v[V_KEYIDX], v[V_KEY1], v[V_KEY2],
                            v[V_KEY3], v[V_KEY4]);
    case AUTH_RADIUS:
        return reply_append("%s:%s wlAuthMode:radius wlRadiusServerIP:%s wlRadiusPort:%s "
                            "wlRadiusKey:%s wlWep:enabled wlKeyBit:%s wlKeyIndex:%s "
                            "wlKey2:%s wlKey3:%s " WSC_OFF,
                            ifname, ssid, v[V_RADIP], v[V_RADPORT], v[V_RADKEY], keybit,
                            v[V_KEYIDX], v[V_KEY2], v[V_KEY3]);
    case AUTH_WPA:
        return reply_append("%s:%s wlAuthMode:wpa wlWpaGTKRekey:%s wlRadiusServerIP:%s "
                            "wlRadiusPort:%s wlRadiusKey:%s wlWpa:%s" WSC_OFF,
                            ifname, ssid, v[V_REKEY], v[V_RADIP], v[V_RADPORT],
                            v[V_RADKEY], v[V_WPA]);
    case AUTH_WPA2:
    case AUTH_WPA2MIX:
        return reply_append("%s:%s wlAuthMode:%s wlPreauth:%s wlWpaGTKRekey:%s "
                            "wlNetReauth:%s wlRadiusServerIP:%s wlRadiusPort:%s "
                            "wlRadiusKey:%s wlWpa:%s" WSC_OFF,
                            ifname, ssid, v[V_AUTH], preauth, v[V_REKEY], v[V_REAUTH],
                            v[V_RADIP], v[V_RADPORT], v[V_RADKEY], v[V_WPA]);
    case AUTH_PSK:
    case AUTH_PSK2:
    case AUTH_PSK2MIX:
        return reply_append(BODY_PSK WSC_OFF, ifname, ssid, v[V_AUTH], v[V_REKEY],
                            v[V_PSK], v[V_WPA]);
    default:
        return reply_append(WSC_OFF);
    }
}

// Interface i's line with WPS on, or the two lines refusing WPS for its mode.
static int sec_part_wps_on(const char *ifname, const char *ssid, char v[][WL_VALUE_SIZE],
                           const char *state, const char *pin)
{
    switch (name_index(auth_names, AUTH_COUNT, v[V_AUTH])) {
    case AUTH_OPEN:
        if (strcmp(v[V_WEP], "enabled") == 0)
            return reply_append(BODY_OPEN_WEP WSC_ON, ifname, ssid,
                                table_name(keybit_names, v[V_KEYBIT]), v[V_KEYIDX],
                                v[V_KEY1], v[V_KEY2], v[V_KEY3], v[V_KEY4], state, pin);
        return reply_append(BODY_OPEN WSC_ON, ifname, ssid, state, pin);
    case AUTH_PSK:
    case AUTH_PSK2:
    case AUTH_PSK2MIX:
        return reply_append(BODY_PSK WSC_ON, ifname, ssid, v[V_AUTH], v[V_REKEY], v[V_PSK],
                            v[V_WPA], state, pin);
    default:
        return reply_append("The wl_wsc_mode can be enabled  only when WPA-PSK, WPA2-PSK or "
                            "open mode is configured.\n"
                            "%s's wlAuthMode is %s,please manually change it and then "
                            "enable wl_wsc_mode.\n",
                            ifname, v[V_AUTH]);
    }
}

void cmdWlSecView(void)
{
    char enbl[WL_VALUE_SIZE];
    char apmode[WL_VALUE_SIZE];
    char devpin[WL_VALUE_SIZE];
    char ssid[WL_VALUE_SIZE];
    char v[V_COUNT][WL_VALUE_SIZE];

    if (wla_begin(TRACE_VIEW, WLA_RELEASE_FIRST) != 0)
        return;
    wla_get_keyed(0, "wlEnbl", enbl);
    if (strcmp(enbl, "0") == 0) {
        reply_set("wireless is currently disabled\n");
        return;
    }
    // Read before the loop selects an interface: the WPS state shown is that
    // of the interface selected when the command came.
    wla_get("wlWscAPMode", apmode);
    wla_get("wlWscDevPin", devpin);
    const char *state = table_name(state_names, apmode);

    reply_clear();
    int full = 0;
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        wla_select(i);
        wla_get_keyed(i, "wlSsid", ssid);
        for (int k = 0; k < V_COUNT; k++)
            wla_get(view_vars[k], v[k]);
        int wps_on = strcmp(v[V_WSCMODE], "enabled") == 0;
        int wps_off = strcmp(v[V_WSCMODE], "disabled") == 0;
        // Once a part does not fit, later ones are left off too, so the reply
        // is always the first parts of the view, each whole.
        if (!full && wps_off)
            full = sec_part_wps_off(wl_iface_names[i], ssid, v) != 0;
        else if (!full && wps_on)
            full = sec_part_wps_on(wl_iface_names[i], ssid, v, state, devpin) != 0;
        if (wps_on && !wps_allowed(v[V_AUTH]))
            break;
    }
    wla_select(0);
}

// Working values of one setup.
struct sec_setup {
    int index;       // interface, -1 until "--interface"
    int op;          // operation, -1 for none
    int auth;        // authentication mode, -1 for none
    int recognised;  // "--interface" and "--wlAuthMode" seen by manualsetup
    char apmode[WL_VALUE_SIZE];
    char stapin[WL_VALUE_SIZE];
    char configmode[WL_VALUE_SIZE];
};

// Each option handler takes one option word and its value and returns -1
// when the word is not one of its options, else the refusal status.
typedef int (*sec_option)(struct sec_setup *s, const char *word, const char *value);

// A recognised option takes the next token as its value; any other word is
// skipped alone, so the word after it is looked at as an option word.
static int option_loop(char *const tokens[], int n, struct sec_setup *s, sec_option option)
{
    int status = 0;
    int p = 1;
    while (p < n - 1 && status == 0) {
        int r = option(s, tokens[p], tokens[p + 1]);
        if (r < 0) {
            p++;
        } else {
            status = r;
            p += 2;
        }
    }
    return status;
}

static int refuse_help(void)
{
    cmdWlSecHelp();
    return CMD_REFUSED;
}

// A refused interface is answered on standard output and with the help
// keyword; a setup without a usable interface is refused the same way.
static int refuse_interface(void)
{
    fputs(IFACE_NEEDED_TEXT, stdout);
    return refuse_help();
}

static int interface_option(struct sec_setup *s, const char *value)
{
    s->index = cli_isValidinf(value);
    return s->index < 0 ? refuse_interface() : 0;
}

// Copies an option value whole, or refuses it.
static int take_value(char *dst, const char *value)
{
    return text_copy(dst, WL_VALUE_SIZE, value) == 0 ? 0 : refuse_help();
}

static int wps_option(struct sec_setup *s, const char *word, const char *value)
{
    if (text_equal_nocase(word, "--interface"))
        return interface_option(s, value);
    if (text_equal_nocase(word, "--wlWscAPMode"))
        return take_value(s->apmode, value);
    if (text_equal_nocase(word, "--wlWscStaPin"))
        return take_value(s->stapin, value);
    if (text_equal_nocase(word, "--configmode"))
        return take_value(s->configmode, value);
    if (!text_equal_nocase(word, "--operation"))
        return -1;
    s->op = name_index(op_names, OP_COUNT, value);
    if (s->op < 0)
        return refuse_help();
    if (s->op == OP_PIN || s->op == OP_PBC) {
        // The interface selected now: this command has not selected one yet.
        char auth[WL_VALUE_SIZE];
        wla_get("wlAuthMode", auth);
        if (!wps_allowed(auth)) {
            reply_set("The operations:addenrollee_Pin and addenrollee_PBC are available  only "
                      "when WPA-PSK, WPA2-PSK or open mode is configured.\n");
            return CMD_REFUSED;
        }
    }
    return 0;
}

static int manual_option(struct sec_setup *s, const char *word, const char *value)
{
    if (text_equal_nocase(word, "--interface")) {
        s->recognised++;
        return interface_option(s, value);
    }
    if (text_equal_nocase(word, "--wlAuthMode")) {
        s->recognised++;
        s->auth = name_index(auth_names, AUTH_COUNT, value);
        return s->auth < 0 ? refuse_help() : 0;
    }
    return -1;
}

// One WPS write; a null value stands for the station PIN.
struct wps_write {
    const char *name;
    const char *value;
};

static const struct wps_write wps_pin_reset[] = {
    {"wsc_config_state", "1"}, {"wlWscStaPin", NULL}, {"wsc_addER", "0"},
    {"wlWscConfig", "client-pin-reset"}, {"wsc_force_restart", "y"}, {NULL, NULL}};
static const struct wps_write wps_pin[] = {
    {"wsc_config_state", "1"}, {"wlWscStaPin", NULL}, {"wsc_addER", "0"},
    {"wlWscConfig", "client-pin"}, {"wsc_force_restart", "n"}, {"wsc_proc_status", "0"},
    {"wsc_method", "1"}, {"wsc_config_command", "1"}, {NULL, NULL}};
static const struct wps_write wps_pbc_reset[] = {
    {"wsc_config_state", "1"}, {"wlWscStaPin", ""}, {"wsc_addER", "0"},
    {"wlWscConfig", "client-pbc-reset"}, {"wsc_force_restart", "y"}, {NULL, NULL}};
static const struct wps_write wps_pbc[] = {
    {"wsc_config_state", "1"}, {"wlWscStaPin", ""}, {"wsc_addER", "0"},
    {"wlWscConfig", "client-pbc"}, {"wsc_event", "a"}, {"wsc_force_restart", "n"},
    {NULL, NULL}};
static const struct wps_write wps_ap_pin[] = {
    {"wsc_addER", "0"}, {"wlWscConfig", "ap-pin"}, {"wsc_proc_status", "0"},
    {"wsc_method", "1"}, {"wsc_config_command", "1"}, {"wsc_config_state", "0"},
    {"wsc_force_restart", "y"}, {NULL, NULL}};
static const struct wps_write wps_ap_pbc[] = {
    {"wsc_addER", "0"}, {"wlWscConfig", "ap-pbc"}, {"wsc_proc_status", "0"},
    {"wsc_method", "2"}, {"wsc_config_command", "1"}, {"wsc_config_state", "0"},
    {"wsc_force_restart", "y"}, {NULL, NULL}};
static const struct wps_write wps_add_er[] = {
    {"wsc_addER", "1"}, {"wsc_config_state", "1"}, {"wlWscConfig", "ap-er"},
    {"wsc_proc_status", "0"}, {"wsc_force_restart", "y"}, {NULL, NULL}};
static const struct wps_write wps_add_er_done[] = {
    {"wsc_addER", "0"}, {"wsc_config_state", "1"}, {"wlWscConfig", "er-done"},
    {"wsc_force_restart", "y"}, {NULL, NULL}};

// The write sequence of an operation; null when none was given.
static const struct wps_write *wps_sequence(int op, const char *apmode, const char *configmode)
{
    int unconfigured = text_number(apmode) == 0;
    switch (op) {
    case OP_PIN:
        return unconfigured ? wps_pin_reset : wps_pin;
    case OP_PBC:
        return unconfigured ? wps_pbc_reset : wps_pbc;
    case OP_CONFIGURE_AP:
        return strcmp(configmode, "pin") == 0 ? wps_ap_pin : wps_ap_pbc;
    case OP_ADD_ER:
        return wps_add_er;
    case OP_ADD_ER_DONE:
        return wps_add_er_done;
    default:
        return NULL;
    }
}

// The lock is held from before the option loop until after the reply.
static void sec_wpssetup(char *const tokens[], int n)
{
    struct sec_setup s = {-1, -1, -1, 0, "1", "", ""};

    if (wla_begin(TRACE_CMD, WLA_REPLY_FIRST) != 0)
        return;
    int status = option_loop(tokens, n, &s, wps_option);
    if (status == 0 && s.index < 0)
        status = refuse_interface();
    if (status != 0)
        return;

    wla_select(s.index);
    wla_set("wl_wsc_mode", "enabled");
    wla_set("wl_wsc_reg", "enabled");
    for (const struct wps_write *w = wps_sequence(s.op, s.apmode, s.configmode); w && w->name; w++)
        wla_set(w->name, w->value ? w->value : s.stapin);
    wla_commit();
    reply_set("execute setupwps successfully!!\n");
}

// The lock is held from before the option loop until after the reply.
static void sec_manualsetup(char *const tokens[], int n)
{
    struct sec_setup s = {-1, -1, -1, 0, "", "", ""};

    if (wla_begin(TRACE_CMD, WLA_REPLY_FIRST) != 0)
        return;
    int status = option_loop(tokens, n, &s, manual_option);
    if (status == 0 && s.recognised < 2)
        status = refuse_help();
    if (status == 0 && s.index < 0)
        status = refuse_interface();
    if (status == 0 && pair_pass(tokens, n, -1, 0) != 0)
        status = refuse_help();
    if (status != 0)
        return;

    wla_select(s.index);
    wla_set("wl_wsc_mode", "disabled");
    switch (s.auth) {
    case AUTH_OPEN:
        wla_set("wlAuth", "0");
        break;
    case AUTH_SHARED:
        wla_set("wlAuth", "1");
        wla_set("wlWep", "1");
        break;
    case AUTH_RADIUS:
        wla_set("wlAuth", "0");
        wla_set("wlWep", "1");
        break;
    case -1:
        break;
    default:
        wla_set("wlAuth", "0");
        wla_set("wlWep", "0");
        break;
    }
    // Every pair is written, "--interface" and "--wlAuthMode" included, so
    // a pair naming wlAuth or wlWep wins over the mode's value above.
    pair_pass(tokens, n, -1, 1);
    wla_commit();
    reply_set("execute manualsetup successfully!!\n");
}

void processWlSecurityCmd(char *args)
{
    char *tokens[TEXT_MAX_TOKENS];
    int n = text_split(args, tokens);

    if (n == 0)
        cmdWlSecHelp();
    else if (text_equal_nocase(tokens[0], "show"))
        cmdWlSecView();
    else if (text_equal_nocase(tokens[0], "wpssetup"))
        sec_wpssetup(tokens, n);
    else if (text_equal_nocase(tokens[0], "manualsetup"))
        sec_manualsetup(tokens, n);
    else
        cmdWlSecHelp();
}
