#include "wladv_lists.h"

#include <stdio.h>
#include <string.h>

#include "text.h"
#include "reply.h"
#include "wlkeys.h"
#include "wlmgr.h"

int wladv_channel_query(const char *bands, const char *phy, const char *nbwcap,
                        const char *nctrlsb,
                        char args[WLADV_QUERY_SLOTS][WLADV_QUERY_SLOT_SIZE])
{
    const char *words[WLADV_QUERY_SLOTS] = {"", "wlChannelList", NULL, NULL, NULL, NULL};
    int count;
    const char *band;
    if (strcmp(bands, "2") == 0)
        band = "b";
    else if (strcmp(bands, "1") == 0)
        band = "a";
    else
        return 0;  // dual band: no single list to check against
    if (strcmp(phy, "n") != 0) {
        words[2] = band;
        count = 3;
    } else {
        words[2] = "n";
        words[3] = band;
        // A bandwidth code outside the table asks for the 20 MHz list.
        if (wl_width("", bands, nbwcap) == 40) {
            words[4] = "40";
            words[5] = strcmp(nctrlsb, "1") == 0 ? "upper" : "lower";
            count = 6;
        } else {
            words[4] = "20";
            count = 5;
        }
    }
    for (int i = 0; i < count; i++)
        text_copy(args[i], WLADV_QUERY_SLOT_SIZE, words[i]);
    return count;
}

// Matches one "%d" (optional minus, at least one digit); returns the text
// after it, or NULL.
static const char *match_number(const char *p, int *value)
{
    const char *start = p;
    if (*p == '-')
        p++;
    if (*p < '0' || *p > '9')
        return NULL;
    while (*p >= '0' && *p <= '9')
        p++;
    *value = text_number(start);
    return p;
}

int wladv_channel_line(const char *line, int *channel)
{
    static const char form[] = "document.forms[0].wlChannel[%d] = new Option(\"%d\", \"%d\");";
    const char *f = form;
    const char *p = line;
    int value = 0;
    while (*f != '\0') {
        if (f[0] == '%' && f[1] == 'd') {
            p = match_number(p, &value);
            if (p == NULL)
                return -1;
            f += 2;
        } else {
            if (*p != *f)
                return -1;
            p++;
            f++;
        }
    }
    if (*p != '\0')
        return -1;
    *channel = value;  // the last number read is the third
    return 0;
}

int wladv_check_channel(const char *bands, const char *phy, const char *nbwcap,
                        const char *nctrlsb, const char *channel)
{
    char args[WLADV_QUERY_SLOTS][WLADV_QUERY_SLOT_SIZE];
    int count = wladv_channel_query(bands, phy, nbwcap, nctrlsb, args);
    if (count == 0)
        return 0;
    char *argv[WLADV_QUERY_SLOTS + 1];
    for (int i = 0; i < count; i++)
        argv[i] = args[i];
    argv[count] = NULL;

    char result[WLMGR_VAREX_SIZE];
    memset(result, 0, sizeof(result));
    wlmgr_getVarEx(count, argv, result);
    result[sizeof(result) - 1] = '\0';

    // Every entry adds at most 12 characters for a line of at least 48, so
    // the list always fits a buffer the size of the result.
    char list[WLMGR_VAREX_SIZE];
    size_t used = (size_t)snprintf(list, sizeof(list), "0 ");
    int wanted = text_number(channel);
    int found = (wanted == 0);

    char *line = strchr(result, '\n');  // the first line is not looked at
    while (line != NULL) {
        line++;
        char *end = strchr(line, '\n');
        if (end != NULL)
            *end = '\0';
        int ch;
        if (wladv_channel_line(line, &ch) == 0) {
            int n = snprintf(list + used, sizeof(list) - used, "%d ", ch);
            if (n > 0 && (size_t)n < sizeof(list) - used)
                used += (size_t)n;
            if (ch == wanted)
                found = 1;
        }
        line = end;
    }
    if (found)
        return 0;
    reply_clear();
    reply_append("The wlChannel value %s you set is not in the current channel list:%s\n",
                 channel, list);
    return -1;
}

static const char *const b_rates[] = {"0", "1000000", "2000000", "5500000", "11000000"};
static const char *const bg_rates[] = {
    "0",        "1000000",  "2000000",  "5500000",  "6000000",  "9000000",  "11000000",
    "12000000", "18000000", "24000000", "36000000", "48000000", "54000000"};
static const char *const a_rates[] = {"0",        "6000000",  "9000000",
                                      "12000000", "18000000", "24000000",
                                      "36000000", "48000000", "54000000"};
static const char *const short_basic_rates[] = {"default", "all", "12"};
static const char *const basic_rates[] = {"default", "all", "12", "wifi2"};

// Which table applies; 0 entries when none does.
static int rate_table_for(enum wladv_rate_kind kind, const char *bands, const char *phy,
                          const char *const **entries)
{
#define USE(t) (*entries = t, (int)(sizeof(t) / sizeof(t[0])))
    int basic = (kind == WLADV_BASICRATE);
    if (strcmp(bands, "2") == 0) {
        if (strcmp(phy, "b") == 0)
            return basic ? USE(short_basic_rates) : USE(b_rates);
        return basic ? USE(basic_rates) : USE(bg_rates);
    }
    if (strcmp(bands, "1") == 0)
        return basic ? USE(basic_rates) : USE(a_rates);
#undef USE
    *entries = NULL;
    return 0;
}

int wladv_check_rate(enum wladv_rate_kind kind, const char *bands, const char *phy,
                     const char *value)
{
    static const char *const names[] = {"wlRate", "wlMCastRate", "wlBasicRate"};
    const char *const *entries;
    int count = rate_table_for(kind, bands, phy, &entries);
    if (count == 0)
        return 0;
    char list[512];
    size_t used = 0;
    int found = 0;
    list[0] = '\0';
    for (int i = 0; i < count; i++) {
        int n = snprintf(list + used, sizeof(list) - used, " %s", entries[i]);
        if (n > 0 && (size_t)n < sizeof(list) - used)
            used += (size_t)n;
        if (strcmp(entries[i], value) == 0)
            found = 1;
    }
    if (found)
        return 0;
    reply_clear();
    reply_append(" The current rate list is:%s,the %s value:%s you configured is not one of them\n",
                 list, names[kind], value);
    return -1;
}
