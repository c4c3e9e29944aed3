// Channel lists for the web pages, from a constant regulatory table.
#include "wlmgr.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

namespace {

struct RegDomain {
    const char *name;
    // Two-letter codes, each followed by a blank; nullptr: anything else.
    const char *countries;
    uint8_t max24;   // highest 2.4 GHz channel for OFDM (g, n)
    uint8_t max24b;  // highest 2.4 GHz channel for 802.11b
    uint8_t ch5[28]; // 20 MHz 5 GHz channels, zero-terminated
};

const RegDomain kDomains[] = {
    {"US", "US ", 11, 11,
     {36, 40, 44, 48, 52, 56, 60, 64, 100, 104, 108, 112, 116, 120, 124, 128,
      132, 136, 140, 149, 153, 157, 161, 165}},
    {"ETSI",
     "DE FR GB IT ES NL BE AT CH DK SE NO FI IE PT PL CZ HU GR LU SK SI EE LV "
     "LT RO BG HR CY MT IS LI ",
     13, 13,
     {36, 40, 44, 48, 52, 56, 60, 64, 100, 104, 108, 112, 116, 120, 124, 128,
      132, 136, 140}},
    {"JP", "JP ", 13, 14,
     {36, 40, 44, 48, 52, 56, 60, 64, 100, 104, 108, 112, 116, 120, 124, 128,
      132, 136, 140}},
    // Unknown countries: only what is allowed nearly everywhere.
    {"WORLD", nullptr, 11, 11, {36, 40, 44, 48}},
};

// Lower members of the 40 MHz pairs in 5 GHz; the upper member is +4.
const uint8_t kPairs5[] = {36, 44, 52, 60, 100, 108, 116, 124, 132, 140, 149, 157};

const RegDomain &domainFor(const char *country)
{
    size_t n = strcspn(country, "/");
    const size_t kDefault = sizeof(kDomains) / sizeof(kDomains[0]) - 1;
    if (n == 2) {
        for (size_t i = 0; i < kDefault; i++) {
            for (const char *c = kDomains[i].countries; *c != '\0'; c += 3)
                if (strncasecmp(c, country, 2) == 0)
                    return kDomains[i];
        }
    }
    return kDomains[kDefault];
}

bool allowed5(const RegDomain &d, int ch)
{
    for (const uint8_t *p = d.ch5; *p != 0; p++)
        if (*p == ch)
            return true;
    return false;
}

void range(std::vector<int> *out, int from, int to)
{
    for (int c = from; c <= to; c++)
        out->push_back(c);
}

// False for a query this table does not answer.
bool channelsFor(const RegDomain &d, const std::vector<std::string> &q,
                 std::vector<int> *out)
{
    if (q.size() == 1 && q[0] == "b") {
        range(out, 1, d.max24b);
        return true;
    }
    bool fiveGhz;
    if (q.size() == 1 && q[0] == "a") {
        fiveGhz = true;
    } else if (q.size() == 3 && q[0] == "n" && (q[1] == "a" || q[1] == "b") &&
               q[2] == "20") {
        fiveGhz = q[1] == "a";
    } else if (q.size() == 4 && q[0] == "n" && (q[1] == "a" || q[1] == "b") &&
               q[2] == "40" && (q[3] == "upper" || q[3] == "lower")) {
        bool lower = q[3] == "lower";
        if (q[1] == "b") {
            // The control channel and the one 4 above (lower) or below (upper).
            if (lower)
                range(out, 1, d.max24 - 4);
            else
                range(out, 5, d.max24);
            return true;
        }
        for (uint8_t lo : kPairs5)
            if (allowed5(d, lo) && allowed5(d, lo + 4))
                out->push_back(lower ? lo : lo + 4);
        return true;
    } else {
        return false;
    }
    if (fiveGhz) {
        for (const uint8_t *p = d.ch5; *p != 0; p++)
            out->push_back(*p);
    } else {
        range(out, 1, d.max24);
    }
    return true;
}

// Appends text if all of it fits with the NUL.
bool append(char *out, size_t *len, const char *text, size_t n)
{
    if (*len + n + 1 > WLMGR_VAREX_SIZE)
        return false;
    memcpy(out + *len, text, n);
    *len += n;
    out[*len] = '\0';
    return true;
}

// Query words end up in the output: keep it one line of plain text.
std::string printable(const char *s)
{
    std::string r;
    for (; *s != '\0' && r.size() < 64; s++)
        r.push_back((unsigned char)*s < 0x20 || *s == 0x7f ? '?' : *s);
    return r;
}

} // namespace

extern "C" int wlmgr_getVarEx(int argc, char **argv, char *out)
{
    if (out == nullptr)
        return -1;
    out[0] = '\0';
    if (argc < 2 || argv == nullptr || argv[1] == nullptr ||
        strcmp(argv[1], "wlChannelList") != 0)
        return -1;
    char country[WLMGR_VALUE_SIZE];
    wlmgr_getVar("wlCountry", country);
    std::vector<std::string> query;
    for (int i = 2; i < argc && argv[i] != nullptr; i++)
        query.push_back(argv[i]);

    size_t len = 0;
    std::string head = "wlChannelList " + printable(country);
    for (const std::string &w : query)
        head += " " + printable(w.c_str());
    if (head.size() > WLMGR_VAREX_SIZE / 4)
        head.resize(WLMGR_VAREX_SIZE / 4);
    append(out, &len, head.data(), head.size());

    std::vector<int> channels;
    if (!channelsFor(domainFor(country), query, &channels))
        return 0;
    int index = 0;
    for (int ch : channels) {
        char line[96];
        int n = snprintf(line, sizeof(line),
                         "\ndocument.forms[0].wlChannel[%d] = new Option(\"%d\", \"%d\");",
                         index, ch, ch);
        if (n < 0 || !append(out, &len, line, (size_t)n))
            break;
        index++;
    }
    return 0;
}
