// Channel lists for the web pages, from the system's regulatory database.
#include "regdb.h"
#include "wlmgr.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

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

    dplat::RegQuery q;
    if (!dplat::reg_query_from_words(query, &q))
        return 0;
    std::vector<dplat::RegChannel> channels;
    dplat::reg_channels(dplat::regCountry(dplat::currentRegDb(), country), q, &channels);
    int index = 0;
    for (const dplat::RegChannel &c : channels) {
        int ch = c.channel;
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
