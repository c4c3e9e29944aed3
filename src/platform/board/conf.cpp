// board.conf: one input a line, "INPUT SOURCE WHERE WHAT [POLARITY]".
#include "board_internal.h"
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "platform_internal.h"
#include "rootpath.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <linux/input.h>

#include <vector>

namespace dplat {
namespace board {

const char *const kInputNames[kNumInputs] = {"reset", "switch", "wps"};

namespace {

const char *const kDefaultFiles[kNumInputs] = {
    DORVAN_BOARD_DIR "/reset_button",
    DORVAN_BOARD_DIR "/wireless_switch",
    DORVAN_BOARD_DIR "/wps_button",
};

struct CodeName {
    const char *name;
    unsigned code;
    bool sw;
};

const CodeName kCodes[] = {
    {"KEY_RESTART", KEY_RESTART, false}, {"KEY_WPS_BUTTON", KEY_WPS_BUTTON, false},
    {"KEY_RFKILL", KEY_RFKILL, false},   {"KEY_WLAN", KEY_WLAN, false},
    {"KEY_POWER", KEY_POWER, false},     {"BTN_0", BTN_0, false},
    {"SW_RFKILL_ALL", SW_RFKILL_ALL, true},
};

// Digits only, no sign, at most max.
bool parse_number(const std::string &s, unsigned long max, unsigned *out)
{
    if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long long v = strtoull(s.c_str(), nullptr, 10);
    if (v > max)
        return false;
    *out = (unsigned)v;
    return true;
}

std::vector<std::string> fields(const std::string &line)
{
    std::vector<std::string> out;
    size_t p = 0;
    for (;;) {
        p = line.find_first_not_of(" \t\r", p);
        if (p == std::string::npos || line[p] == '#')
            return out;
        size_t end = line.find_first_of(" \t\r", p);
        out.push_back(line.substr(p, end == std::string::npos ? std::string::npos : end - p));
        if (end == std::string::npos)
            return out;
        p = end;
    }
}

// Fills e from the fields after the input name; the reason when refused.
std::string parse_entry(const std::vector<std::string> &f, Entry *e)
{
    static const char *const kField[] = {"input", "source", "where", "what"};
    if (f.size() < 4)
        return std::string("missing ") + kField[f.size()];
    if (f.size() > 5)
        return "extra field \"" + f[5] + "\"";
    const std::string &src = f[1];
    e->where = f[2];
    e->what = f[3];
    if (src == "file")
        e->source = Source::File;
    else if (src == "evdev")
        e->source = Source::Evdev;
    else if (src == "gpio")
        e->source = Source::Gpio;
    else
        return "unknown source \"" + src + "\"";
    if (e->where[0] != '/')
        return "path \"" + e->where + "\" is not absolute";
    e->path = root_path(e->where.c_str());
    if (e->path.empty())
        return "path too long";
    if (e->source == Source::File) {
        if (e->what != "-")
            return "a file source takes \"-\" where \"" + e->what + "\" is";
    } else if (e->source == Source::Gpio) {
        if (!parse_number(e->what, 0xffffffffUL, &e->code))
            return "bad line number \"" + e->what + "\"";
    } else {
        bool known = false;
        for (const CodeName &c : kCodes) {
            if (e->what == c.name) {
                e->code = c.code;
                e->switchCode = c.sw;
                known = true;
            }
        }
        if (!known && !parse_number(e->what, KEY_MAX, &e->code))
            return "unknown key name \"" + e->what + "\"";
    }
    if (f.size() == 5) {
        if (f[4] == "active-low")
            e->activeLow = true;
        else if (f[4] != "active-high")
            return "unknown polarity \"" + f[4] + "\"";
    }
    return "";
}

} // namespace

const char *failure_text(int err)
{
    switch (err) {
    case kNotRegular:
        return "not a regular file";
    case kNotDecimal:
        return "no decimal value";
    case kShortBitmap:
        return "device returned too few bits";
    case kBadEntry:
        return "bad entry in board.conf";
    default:
        return strerror(err);
    }
}

void default_entries(Entry out[kNumInputs])
{
    for (int i = 0; i < kNumInputs; i++) {
        out[i] = Entry();
        out[i].raw = true;
        out[i].activeLow = true;
        out[i].where = kDefaultFiles[i];
        out[i].what = "-";
        out[i].path = root_path(kDefaultFiles[i]);
    }
}

void parse_board_conf(const char *file, const std::string &text, Entry out[kNumInputs])
{
    int lineNo = 0;
    size_t p = 0;
    while (p < text.size()) {
        size_t nl = text.find('\n', p);
        std::string line = text.substr(p, nl == std::string::npos ? std::string::npos : nl - p);
        p = nl == std::string::npos ? text.size() : nl + 1;
        lineNo++;
        std::vector<std::string> f = fields(line);
        if (f.empty())
            continue;
        // A NUL byte spoils its line, which names its input up to that byte.
        bool nul = false;
        for (const std::string &x : f)
            nul = nul || x.find('\0') != std::string::npos;
        f[0].resize(strnlen(f[0].c_str(), f[0].size()));
        int in = -1;
        for (int i = 0; i < kNumInputs; i++)
            if (f[0] == kInputNames[i])
                in = i;
        if (in < 0 && nul) {
            log_log(CFG_LOG_ERR, __func__, __LINE__, "%s:%d: NUL byte", file, lineNo);
            continue;
        }
        if (in < 0) {
            log_log(CFG_LOG_ERR, __func__, __LINE__, "%s:%d: unknown input \"%s\"", file,
                    lineNo, f[0].c_str());
            continue;
        }
        if (out[in].line > 0)
            log_log(CFG_LOG_ERR, __func__, __LINE__, "%s:%d: %s given again (line %d); this line wins",
                    file, lineNo, f[0].c_str(), out[in].line);
        Entry e;
        e.line = lineNo;
        std::string why = nul ? "NUL byte" : parse_entry(f, &e);
        if (!why.empty()) {
            // Never a default in its place: a typo must not read as held.
            log_log(CFG_LOG_ERR, __func__, __LINE__, "%s:%d: %s; %s reads as failed", file,
                    lineNo, why.c_str(), f[0].c_str());
            e = Entry();
            e.source = Source::Broken;
            e.line = lineNo;
            e.why = "board.conf line " + std::to_string(lineNo) + ": " + why;
        }
        out[in] = e;
    }
}

} // namespace board
} // namespace dplat
