// wladv: the advanced radio settings. "show" lists them, "config" checks a
// list of option/value pairs (each by itself, then against each other and
// the store, under the lock) and writes them only when every check passes.
#include <string.h>

#include "text.h"
#include "commands.h"
#include "reply.h"
#include "wladv_lists.h"
#include "wlaccess.h"
#include "wlkeys.h"

void cmdWlAdvHelp(void)
{
    reply_set(WLADV_HELP);
}

// ---------------------------------------------------------------- view

struct code_name {
    const char *code;
    const char *name;
};

enum fallback {
    FB_NONE,    // no line
    FB_STORED,  // the stored text
    FB_FIXED,   // a fixed word
};

struct view_line {
    const char *var;
    const char *label;
    const struct code_name *codes;  // NULL: the value is shown as stored
    enum fallback fb;
    const char *fixed;  // the FB_FIXED word
    const char *suffix;
};

static const struct code_name band_codes[] = {{"1", "5GHz"}, {"2", "2.4GHz"}, {NULL, NULL}};
static const struct code_name bw_codes[] = {
    {"0", "20MHz in Both Bands"},
    {"1", "40MHz in Both Bands"},
    {"2", "20MHz in 2.4G Band and 40MHz in 5G Band"},
    {NULL, NULL}};
static const struct code_name sideband_codes[] = {
    {"0", "disabled"}, {"1", "Upper"}, {"-1", "Lower"}, {NULL, NULL}};
static const struct code_name nreqd_codes[] = {{"0", "off"}, {"1", "on"}, {NULL, NULL}};
static const struct code_name gmode_codes[] = {
    {"0", "802.11b Only"}, {"1", "Auto"}, {"4", "Performance"}, {"5", "LRS"}, {NULL, NULL}};
static const struct code_name regmode_codes[] = {
    {"0", "disabled"}, {"1", "802.11h"}, {"2", "802.11d"}, {NULL, NULL}};
static const struct code_name wme_codes[] = {
    {"-1", "auto"}, {"0", "disabled"}, {"1", "enabled"}, {NULL, NULL}};
// The on/off names.
static const struct code_name onoff_codes[] = {
    {"0", onoff_names[0]}, {"1", onoff_names[1]}, {NULL, NULL}};

#define PLAIN(var, label) {var, label, NULL, FB_STORED, NULL, ""}
#define CODED(var, label, codes) {var, label, codes, FB_NONE, NULL, ""}

// In read order, one line each; wlNMcsidx gets its rate name.
static const struct view_line view_lines[] = {
    {"wlBands", "Band", band_codes, FB_FIXED, "dual band", ""},
    PLAIN("wlChannel", "Channel"),
    PLAIN("wlCsScanTimer", "Auto Channel Timer(min)"),
    PLAIN("wlNmode", "802.11n/EWC"),
    CODED("wlNBwCap", "Bandwidth", bw_codes),
    CODED("wlNCtrlsb", "Control Sideband", sideband_codes),
    PLAIN("wlNMcsidx", "802.11n Rate"),
    PLAIN("wlNProtection", "802.11n Protection"),
    CODED("wlNReqd", "Support 802.11n Client Only", nreqd_codes),
    PLAIN("wlRate", "11g Rate"),
    PLAIN("wlMCastRate", "Multicast Rate"),
    PLAIN("wlBasicRate", "Basic Rate"),
    PLAIN("wlFrgThrshld", "Fragmentation Threshold"),
    PLAIN("wlRtsThrshld", "RTS Threshold"),
    PLAIN("wlDtmIntvl", "DTIM Interval"),
    PLAIN("wlBcnIntvl", "Beacon Interval"),
    PLAIN("wlGlobalMaxAssoc", "Global Max Clients"),
    PLAIN("wlFrameBurst", "Frame Bursting"),
    CODED("wlgMode", "11g Mode", gmode_codes),
    PLAIN("wlProtection", "11g Protection"),
    CODED("wlRegMode", "Regulatory Mode", regmode_codes),
    PLAIN("wlDfsPreIsm", "Pre-Network Radar Check"),
    PLAIN("wlDfsPostIsm", "In-Network Radar Check"),
    PLAIN("wlTpcDb", "TPC Mitigation(db)"),
    PLAIN("wlTurboEn", "Turbo Mode"),
    PLAIN("wlPreambleType", "Preamble Type"),
    {"wlTxPwrPcnt", "Transmit Power", NULL, FB_STORED, NULL, "%"},
    CODED("wlWme", "WMM(Wi-Fi Multimedia)", wme_codes),
    {"wlWmeNoAck", "WMM No Acknowledgement", onoff_codes, FB_STORED, NULL, ""},
    {"wlWmeApsd", "WMM APSD", onoff_codes, FB_STORED, NULL, ""},
};
#define VIEW_COUNT ((int)(sizeof(view_lines) / sizeof(view_lines[0])))

// Positions in view_lines of the values the rate name depends on.
enum { V_BANDS = 0, V_CHANNEL = 1, V_NMODE = 3, V_NBWCAP = 4, V_NMCSIDX = 6 };

// 802.11n rate names by MCS index + 2; the 40 MHz table adds index 32 last.
#define MCS_ENTRIES 18
static const char *const mcs_dual[MCS_ENTRIES] = {
    "Use 11g Rate",          "Auto",
    "6.5 Mbps or 13.5 Mbps", "13 Mbps or 27 Mbps",
    "19.5 Mbps or 40.5 Mbps", "26 Mbps or 54 Mbps",
    "39 Mbps or 81 Mbps",    "52 Mbps or 108 Mbps",
    "58.5 Mbps or 121.5 Mbps", "65 Mbps or 135 Mbps",
    "13 Mbps or 27 Mbps",    "26 Mbps or 54 Mbps",
    "39 Mbps or 81 Mbps",    "52 Mbps or 108 Mbps",
    "78 Mbps or 162 Mbps",   "104 Mbps or 216 Mbps",
    "117 Mbps or 243 Mbps",  "130 Mbps or 270 Mbps"};
static const char *const mcs_40[MCS_ENTRIES + 1] = {
    "Use 11g Rate", "Auto",     "13.5 Mbps", "27 Mbps",  "40.5 Mbps", "54 Mbps", "81 Mbps",
    "108 Mbps",     "121.5 Mbps", "135 Mbps", "27 Mbps", "54 Mbps",   "81 Mbps", "108 Mbps",
    "162 Mbps",     "216 Mbps", "243 Mbps",  "270 Mbps", "6 Mbps"};
static const char *const mcs_20[MCS_ENTRIES] = {
    "Use 11g Rate", "Auto",    "6.5 Mbps", "13 Mbps", "19.5 Mbps", "26 Mbps",
    "39 Mbps",      "52 Mbps", "58.5 Mbps", "65 Mbps", "13 Mbps",  "26 Mbps",
    "39 Mbps",      "52 Mbps", "78 Mbps",  "104 Mbps", "117 Mbps", "130 Mbps"};

// The rate name for the stored MCS index; the stored text when the chosen
// table has no entry for it.
static const char *mcs_name(char v[][WL_VALUE_SIZE])
{
    int m = text_number(v[V_NMCSIDX]);
    const char *const *table = mcs_20;
    if (text_number(v[V_CHANNEL]) == 0) {
        table = mcs_dual;
    } else if (wl_width(v[V_NMODE], v[V_BANDS], v[V_NBWCAP]) == 40) {
        if (m >= 16)
            return mcs_40[MCS_ENTRIES];
        table = mcs_40;
    }
    if (m < -2 || m > MCS_ENTRIES - 3)
        return v[V_NMCSIDX];
    return table[m + 2];
}

void cmdWlAdvView(void)
{
    static const char trace[] = "cmdWlAdvView";
    char v[VIEW_COUNT][WL_VALUE_SIZE];

    reply_clear();
    if (wla_begin(trace, WLA_RELEASE_FIRST) != 0)
        return;
    for (int i = 0; i < VIEW_COUNT; i++)
        wla_get(view_lines[i].var, v[i]);

    for (int i = 0; i < VIEW_COUNT; i++) {
        const struct view_line *l = &view_lines[i];
        const char *shown = NULL;
        if (i == V_NMCSIDX) {
            shown = mcs_name(v);
        } else {
            for (const struct code_name *c = l->codes; c != NULL && c->code != NULL; c++) {
                if (strcmp(v[i], c->code) == 0) {
                    shown = c->name;
                    break;
                }
            }
            if (shown == NULL && l->fb == FB_STORED)
                shown = v[i];
            else if (shown == NULL && l->fb == FB_FIXED)
                shown = l->fixed;
        }
        // A line that no longer fits the reply is left out whole.
        if (shown != NULL)
            reply_append(" %s:%s%s\n", l->label, shown, l->suffix);
    }
}

// ---------------------------------------------------------------- config

enum syntax_kind {
    SX_WORDS,   // one of the words, any letter case
    SX_NUMBER,  // read as a number, within [min, max]
    SX_ANY,
};

#define SX_MAX_WORDS 5

struct option_rule {
    const char *name;  // the variable; the option word is "--" + name
    enum syntax_kind kind;
    const char *words[SX_MAX_WORDS + 1];
    int min, max;
    unsigned field;  // longest value accepted
};

enum opt {
    O_BANDS, O_CHANNEL, O_CSSCANTIMER, O_NMODE, O_NBWCAP, O_NCTRLSB, O_NMCSIDX,
    O_NPROTECTION, O_NREQD, O_RATE, O_MCASTRATE, O_BASICRATE, O_FRGTHRSHLD,
    O_RTSTHRSHLD, O_DTMINTVL, O_BCNINTVL, O_GLOBALMAXASSOC, O_FRAMEBURST, O_GMODE,
    O_PROTECTION, O_REGMODE, O_DFSPREISM, O_DFSPOSTISM, O_TPCDB, O_TURBOEN,
    O_PREAMBLETYPE, O_TXPWRPCNT, O_WME, O_WMENOACK, O_WMEAPSD, O_COUNT
};

#define WORDS(...) SX_WORDS, {__VA_ARGS__, NULL}, 0, 0, 7
#define NUMBER(lo, hi) SX_NUMBER, {NULL}, lo, hi, 7
#define ANY(field) SX_ANY, {NULL}, 0, 0, field
#define NO_LIMIT 0x7fffffff

static const struct option_rule options[O_COUNT] = {
    {"wlBands", WORDS("1", "2")},
    {"wlChannel", NUMBER(0, NO_LIMIT)},
    {"wlCsScanTimer", NUMBER(0, NO_LIMIT)},
    {"wlNmode", WORDS("auto", "off")},
    {"wlNBwCap", WORDS("0", "1", "2")},
    {"wlNCtrlsb", WORDS("1", "-1")},
    {"wlNMcsidx", ANY(7)},
    {"wlNProtection", WORDS("off", "auto")},
    {"wlNReqd", WORDS("1", "0")},
    {"wlRate", ANY(15)},
    {"wlMCastRate", ANY(15)},
    {"wlBasicRate", ANY(15)},
    {"wlFrgThrshld", NUMBER(256, 2346)},
    {"wlRtsThrshld", NUMBER(0, 2347)},
    {"wlDtmIntvl", NUMBER(1, 255)},
    {"wlBcnIntvl", NUMBER(1, 65535)},
    {"wlGlobalMaxAssoc", NUMBER(1, 128)},
    {"wlFrameBurst", WORDS("off", "on")},
    {"wlgMode", WORDS("1", "4", "5", "0")},
    {"wlProtection", WORDS("off", "auto")},
    {"wlRegMode", WORDS("1", "2", "0")},
    {"wlDfsPreIsm", ANY(7)},
    {"wlDfsPostIsm", ANY(7)},
    {"wlTpcDb", WORDS("2", "3", "4", "0")},
    {"wlTurboEn", WORDS("off", "auto")},
    {"wlPreambleType", WORDS("long", "short")},
    {"wlTxPwrPcnt", WORDS("20", "40", "60", "80", "100")},
    {"wlWme", WORDS("1", "-1", "0")},
    {"wlWmeNoAck", WORDS("1", "0")},
    {"wlWmeApsd", WORDS("1", "0")},
};

// Longest name or value the writing pass hands over.
#define WRITE_FIELD 63

static int option_index(const char *word)
{
    if (word[0] != '-' || word[1] != '-')
        return -1;
    for (int o = 0; o < O_COUNT; o++)
        if (text_equal_nocase(word + 2, options[o].name))
            return o;
    return -1;
}

static int syntax_ok(const struct option_rule *r, const char *value)
{
    if (strlen(value) > r->field)
        return 0;
    if (r->kind == SX_NUMBER) {
        int n = text_number(value);
        return n >= r->min && n <= r->max;
    }
    if (r->kind == SX_WORDS) {
        for (int w = 0; r->words[w] != NULL; w++)
            if (text_equal_nocase(value, r->words[w]))
                return 1;
        return 0;
    }
    return 1;
}

// The name a pair of the writing pass sets: the option word without its two
// dashes; "" (pair skipped) when nothing is left.
static const char *write_name(const char *word)
{
    if (word[0] == '\0' || word[1] == '\0')
        return "";
    return word + 2;
}

// Working state of one "config": the option fields (given values, or the
// stored values read in their place), which options were given, and the
// PHY type and WMM capability.
struct adv_config {
    char f[O_COUNT][WL_VALUE_SIZE];
    int given[O_COUNT];
    char phy[WL_VALUE_SIZE];
    char haswme[WL_VALUE_SIZE];
};

// Fills the fields from the pairs; 0, or -1 when any value is refused or a
// pair would not fit the writing pass.
static int config_syntax(struct adv_config *c, char **tok, int n)
{
    int refused = 0;
    memset(c->given, 0, sizeof(c->given));
    for (int o = 0; o < O_COUNT; o++)
        c->f[o][0] = '\0';

    for (int i = 1; i < n - 1;) {
        int o = option_index(tok[i]);
        if (o < 0) {
            i++;
            continue;
        }
        if (syntax_ok(&options[o], tok[i + 1]))
            text_copy(c->f[o], WL_VALUE_SIZE, tok[i + 1]);
        else
            refused = 1;
        i += 2;
    }
    for (int i = 1; i < n - 1; i += 2) {
        const char *name = write_name(tok[i]);
        if (name[0] != '\0' && (strlen(name) > WRITE_FIELD || strlen(tok[i + 1]) > WRITE_FIELD))
            refused = 1;
    }
    for (int o = 0; o < O_COUNT; o++)
        c->given[o] = (c->f[o][0] != '\0');
    return refused ? -1 : 0;
}

static int any_given(const struct adv_config *c, const enum opt *list, int count)
{
    for (int i = 0; i < count; i++)
        if (c->given[list[i]])
            return 1;
    return 0;
}

// The stored value stands in for an option not given.
static void in_force(struct adv_config *c, enum opt o)
{
    if (!c->given[o])
        wla_get(options[o].name, c->f[o]);
}

static int is(const char *value, const char *code)
{
    return strcmp(value, code) == 0;
}

static int refuse(const char *text)
{
    reply_set(text);
    return -1;
}

// The checks under the lock, in order. 0: all passed; else the refusal is
// in sendbuf.
static int config_rules(struct adv_config *c)
{
    static const enum opt n_params[] = {O_NBWCAP, O_NCTRLSB, O_NMCSIDX, O_NPROTECTION, O_NREQD};
    static const enum opt wme_params[] = {O_WME, O_WMENOACK, O_WMEAPSD};
    static const enum opt wme_subs[] = {O_WMENOACK, O_WMEAPSD};
    static const enum opt g_params[] = {O_GMODE, O_PROTECTION};

    wla_get("wlPhyType", c->phy);
    wla_get("wlHasWme", c->haswme);

    if (c->given[O_BANDS])
        return refuse("Band can only be changed when it is dual!!\n");
    in_force(c, O_BANDS);

    in_force(c, O_NMODE);
    if (is(c->f[O_NMODE], "off") && any_given(c, n_params, 5))
        return refuse(" The wlN params can not be configured when wlNmode is off!\n");

    in_force(c, O_NBWCAP);
    in_force(c, O_NCTRLSB);
    if (c->given[O_NCTRLSB] && wl_width("", c->f[O_BANDS], c->f[O_NBWCAP]) == 20)
        return refuse("Control sideband is allowed only for 40MHz bandwidth Channels\n");

    if (c->given[O_CHANNEL]) {
        if (wladv_check_channel(c->f[O_BANDS], c->phy, c->f[O_NBWCAP], c->f[O_NCTRLSB],
                                c->f[O_CHANNEL]) != 0)
            return -1;
    } else {
        in_force(c, O_CHANNEL);
    }
    int auto_channel = (text_number(c->f[O_CHANNEL]) == 0);

    if (c->given[O_CSSCANTIMER] && !auto_channel)
        return refuse(" wlCsScanTimer can only be configured when wlChannel is auto!\n");

    if (c->given[O_NMCSIDX]) {
        int m = text_number(c->f[O_NMCSIDX]);
        int w = wl_width(c->f[O_NMODE], c->f[O_BANDS], c->f[O_NBWCAP]);
        int in_range = (m >= -2 && m <= 15);
        if (!auto_channel && w == 40) {
            if (!in_range && m != 32)
                return refuse(" The current 802.11n rate list is from -2 to 15 , 32!\n");
        } else if (!in_range) {
            return refuse(" The current 802.11n rate list is from -2 to 15 !\n");
        }
    }

    if (text_number(c->haswme) == 1 && any_given(c, wme_params, 3)) {
        in_force(c, O_WME);
        if (is(c->f[O_WME], "0") && any_given(c, wme_subs, 2))
            return refuse(
                " wlWmeNoAck and wlWmeApsd can only be configured when wlWme is not disabled!\n");
    }

    if (is(c->phy, "n") && is(c->f[O_NMODE], "auto") && any_given(c, g_params, 2))
        return refuse(" wlgMode and wlProtection can not be configured when wlPhyType is n!\n");

    if (c->given[O_PREAMBLETYPE]) {
        in_force(c, O_GMODE);
        if (is(c->f[O_GMODE], "0") || is(c->f[O_GMODE], "1"))
            return refuse(
                " wlPreambleType can not be configured when wlgMode is auto or 802.11b Only!\n");
    }

    static const enum opt rate_opts[] = {O_RATE, O_MCASTRATE, O_BASICRATE};
    static const enum wladv_rate_kind rate_kinds[] = {WLADV_RATE, WLADV_MCASTRATE,
                                                      WLADV_BASICRATE};
    for (int r = 0; r < 3; r++)
        if (c->given[rate_opts[r]] &&
            wladv_check_rate(rate_kinds[r], c->f[O_BANDS], c->phy, c->f[rate_opts[r]]) != 0)
            return -1;
    return 0;
}

static void config(char **tok, int n)
{
    static const char trace[] = "processWlAdvCmd";
    struct adv_config c;

    if (config_syntax(&c, tok, n) != 0) {
        cmdWlAdvHelp();
        return;
    }
    // A refusal answers under the lock; a change lets it go first.
    if (wla_begin(trace, WLA_REPLY_FIRST) != 0)
        return;
    if (config_rules(&c) != 0)
        return;
    // Every pair as typed and in order, including words that are no option:
    // the pairing here is strictly by position.
    for (int i = 1; i < n - 1; i += 2) {
        const char *name = write_name(tok[i]);
        if (name[0] != '\0')
            wla_set(name, tok[i + 1]);
    }
    wla_commit();
    wla_release();
    reply_set("wireless advanced setting is configured successfully!!\n");
}

void processWlAdvCmd(char *args)
{
    char *tok[TEXT_MAX_TOKENS];
    int n = text_split(args, tok);
    if (n == 0)
        cmdWlAdvHelp();
    else if (text_equal_nocase(tok[0], "show"))
        cmdWlAdvView();
    else if (text_equal_nocase(tok[0], "config"))
        config(tok, n);
    else
        cmdWlAdvHelp();
}
