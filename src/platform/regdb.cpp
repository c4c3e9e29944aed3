// regulatory.db reader and the access-point channel lists derived from it.
// The file comes from outside: every offset, length and count is checked
// against its size before it is read.
#include "regdb.h"

#include "cfg_framework.h"
#include "platform_internal.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace dplat {

namespace {

const uint32_t kMagic = 0x52474442;  // "RGDB"
const uint32_t kVersion = 20;
// 16-bit pointers in units of 4 bytes reach no further than this (plus a
// rule's own length); a larger file is not a regulatory database.
const size_t kMaxSize = 65535 * 4 + 256;
const size_t kRuleSize = 16;  // len, flags, max_eirp, start, end, max_bw

uint16_t be16(const uint8_t *p)
{
    return (uint16_t)(p[0] << 8 | p[1]);
}

uint32_t be32(const uint8_t *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

const char *parse_rule(const uint8_t *data, size_t size, size_t at, RegRule *r)
{
    if (at >= size)
        return "rule pointer past the end";
    size_t len = data[at];
    if (len < kRuleSize)
        return "rule shorter than its fields";
    if (at + len > size)
        return "rule runs off the file";
    r->flags = data[at + 1];
    r->maxEirp = be16(data + at + 2);
    r->startKhz = be32(data + at + 4);
    r->endKhz = be32(data + at + 8);
    r->maxBwKhz = be32(data + at + 12);
    if (r->startKhz >= r->endKhz)
        return "rule with an empty frequency range";
    return nullptr;
}

const char *parse_collection(const uint8_t *data, size_t size, size_t tableEnd, size_t at,
                            RegCountry *c)
{
    if (at < tableEnd)
        return "collection pointer into the header";
    if (at + 3 > size)
        return "collection past the end";
    size_t len = data[at];
    size_t n = data[at + 1];
    if (len < 3)
        return "collection shorter than its fields";
    c->dfsRegion = data[at + 2];
    // Rule pointers start at the collection's length rounded up to 2.
    size_t ptrs = at + len + (len & 1);
    if (ptrs + 2 * n > size)
        return "rule count runs off the file";
    c->rules.resize(n);
    for (size_t i = 0; i < n; i++) {
        size_t ruleAt = (size_t)be16(data + ptrs + 2 * i) * 4;
        if (ruleAt < tableEnd)
            return "rule pointer into the header";
        if (const char *why = parse_rule(data, size, ruleAt, &c->rules[i]))
            return why;
    }
    return nullptr;
}

// The world rules of wireless-regdb ("00"), for a system without the file:
// 2.4 GHz 1-11; everything beyond may not be started by an access point.
const RegRule kWorldRules[] = {
    {2402000, 2472000, 40000, 2000, 0},
    {2457000, 2482000, 20000, 2000, kRegNoIr | kRegAutoBw},
    {2474000, 2494000, 20000, 2000, kRegNoIr | kRegNoOfdm},
    {5170000, 5250000, 80000, 2000, kRegNoIr | kRegAutoBw},
    {5250000, 5330000, 80000, 2000, kRegNoIr | kRegDfs | kRegAutoBw},
    {5490000, 5730000, 160000, 2000, kRegNoIr | kRegDfs},
    {5735000, 5835000, 80000, 2000, kRegNoIr},
};

const RegCountry &compiledWorld()
{
    static const RegCountry world = [] {
        RegCountry c;
        memcpy(c.alpha2, "00", 3);
        c.rules.assign(kWorldRules, kWorldRules + sizeof(kWorldRules) / sizeof(kWorldRules[0]));
        return c;
    }();
    return world;
}

// What the process holds; the daemon and the tools query from one thread.
struct RegCache {
    std::string path;
    FileId id;
    bool fromFile = false;
    RegDb db;
    std::string lastNote;  // the last state logged, so a state is logged once
};
RegCache g_reg;

void note(const std::string &text)
{
    if (text == g_reg.lastNote)
        return;
    g_reg.lastNote = text;
    log_log(CFG_LOG_ERR, "currentRegDb", __LINE__, "%s", text.c_str());
}

// Why the file cannot be used, or nullptr when *db holds it. id and mode
// are what stat found.
const char *load_reg_db(const std::string &path, mode_t mode, FileId *id, RegDb *db,
                      std::string *why)
{
    // A FIFO or device would block or never end.
    if (!S_ISREG(mode))
        return "not a regular file";
    if ((size_t)id->size > kMaxSize)
        return "too large";
    std::string bytes;
    if (read_whole_file(path, &bytes, id) != 0) {
        *why = strerror(errno);
        return why->c_str();
    }
    return parse_reg_db((const uint8_t *)bytes.data(), bytes.size(), db);
}

// The span of the rules contiguous with rules[i], as the kernel takes it
// for an AUTO-BW rule.
uint32_t auto_bandwidth(const std::vector<RegRule> &rules, size_t i)
{
    uint32_t start = rules[i].startKhz;
    for (size_t k = i; k > 0 && rules[k - 1].endKhz >= start; k--)
        start = rules[k - 1].startKhz;
    uint32_t end = rules[i].endKhz;
    for (size_t k = i + 1; k < rules.size() && rules[k].startKhz <= end; k++)
        end = rules[k].endKhz;
    return end > start ? end - start : 0;
}

// Whether an access point may use the 20 MHz channel at centre with the
// width asked; *rule gets the rule that decides.
bool usable(const RegCountry &c, int centreMhz, int widthMhz, bool ofdm, RegRule *rule)
{
    uint32_t lo = (uint32_t)(centreMhz - 10) * 1000, hi = (uint32_t)(centreMhz + 10) * 1000;
    for (size_t i = 0; i < c.rules.size(); i++) {
        const RegRule &r = c.rules[i];
        if (r.startKhz > lo || hi > r.endKhz)
            continue;
        if ((r.flags & kRegNoIr) != 0 || (ofdm && (r.flags & kRegNoOfdm) != 0))
            return false;
        uint32_t bw = (r.flags & kRegAutoBw) != 0 ? auto_bandwidth(c.rules, i) : r.maxBwKhz;
        *rule = r;
        return bw >= (uint32_t)widthMhz * 1000;
    }
    return false;
}

int centre_of(bool five_ghz, int channel)
{
    if (five_ghz)
        return 5000 + 5 * channel;
    return channel == 14 ? 2484 : 2407 + 5 * channel;
}

// Lower members of the 5 GHz 40 MHz pairs; the upper member is 4 above.
const int kPairs5[] = {36, 44, 52, 60, 100, 108, 116, 124, 132, 140, 149, 157, 165, 173};
const int kBlocks5[][2] = {{36, 64}, {100, 144}, {149, 177}};

void add(const RegCountry &c, const RegQuery &q, int channel, int partner,
         std::vector<RegChannel> *out)
{
    RegChannel ch;
    ch.channel = channel;
    ch.centreMhz = centre_of(q.five_ghz, channel);
    if (!usable(c, ch.centreMhz, q.widthMhz, q.ofdm, &ch.rule))
        return;
    RegRule other;
    if (partner != 0 && !usable(c, centre_of(q.five_ghz, partner), q.widthMhz, q.ofdm, &other))
        return;
    out->push_back(ch);
}

} // namespace

const char *parse_reg_db(const uint8_t *data, size_t size, RegDb *out)
{
    out->countries.clear();
    if (size < 8)
        return "shorter than its header";
    if (be32(data) != kMagic)
        return "bad magic";
    if (be32(data + 4) != kVersion)
        return "unsupported version";
    if (size > kMaxSize)
        return "too large";
    // The country table ends at an entry without a collection.
    size_t end = 8;
    for (;; end += 4) {
        if (end + 4 > size)
            return "country table runs off the file";
        if (be16(data + end + 2) == 0)
            break;
    }
    size_t tableEnd = end + 4;
    out->countries.resize((end - 8) / 4);
    for (size_t i = 0; i < out->countries.size(); i++) {
        const uint8_t *e = data + 8 + 4 * i;
        RegCountry &c = out->countries[i];
        if (!isalnum(e[0]) || !isalnum(e[1])) {
            out->countries.clear();
            return "country code not alphanumeric";
        }
        c.alpha2[0] = (char)e[0];
        c.alpha2[1] = (char)e[1];
        if (const char *why = parse_collection(data, size, tableEnd, (size_t)be16(e + 2) * 4, &c)) {
            out->countries.clear();
            return why;
        }
    }
    return nullptr;
}

const RegDb &currentRegDb(std::string *source)
{
    const char *env = getenv("DORVAN_REGDB");
    std::string path = env != nullptr && env[0] != '\0' ? env : DORVAN_REGDB_DEFAULT;
    // One stat a query; the file is read and parsed only when it changed.
    FileId id;
    mode_t mode = 0;
    int err = stat_file_id(path, &id, &mode) == 0 ? 0 : errno;
    bool same = path == g_reg.path &&
                (same_file(id, g_reg.id) || (!id.valid && !g_reg.id.valid));
    if (!same) {
        std::string text;
        const char *why = err != 0 ? strerror(err) : nullptr;
        RegDb db;
        if (why == nullptr)
            why = load_reg_db(path, mode, &id, &db, &text);
        g_reg.path = path;
        g_reg.id = id;
        g_reg.fromFile = why == nullptr;
        g_reg.db = std::move(db);
        if (why != nullptr) {
            g_reg.db.countries.clear();
            note("regulatory database " + path + ": " + why + "; world channel rules in use");
        } else {
            g_reg.lastNote.clear();
        }
    }
    if (source != nullptr)
        *source = g_reg.fromFile ? g_reg.path : std::string();
    return g_reg.db;
}

const RegCountry &regCountry(const RegDb &db, const char *country)
{
    char code[3] = {0, 0, 0};
    for (int i = 0; i < 2 && country != nullptr && country[i] != '\0'; i++)
        code[i] = (char)toupper((unsigned char)country[i]);
    const RegCountry *world = nullptr;
    for (const RegCountry &c : db.countries) {
        if (memcmp(c.alpha2, code, 2) == 0)
            return c;
        if (world == nullptr && memcmp(c.alpha2, "00", 2) == 0)
            world = &c;
    }
    return world != nullptr ? *world : compiledWorld();
}

bool reg_query_from_words(const std::vector<std::string> &w, RegQuery *q)
{
    *q = RegQuery();
    if (w.size() == 1 && (w[0] == "b" || w[0] == "a")) {
        q->five_ghz = w[0] == "a";
        q->ofdm = q->five_ghz;
        return true;
    }
    if (w.size() < 3 || w[0] != "n" || (w[1] != "a" && w[1] != "b"))
        return false;
    q->five_ghz = w[1] == "a";
    if (w.size() == 3 && w[2] == "20")
        return true;
    if (w.size() == 4 && w[2] == "40" && (w[3] == "upper" || w[3] == "lower")) {
        q->widthMhz = 40;
        q->upper = w[3] == "upper";
        return true;
    }
    return false;
}

void reg_channels(const RegCountry &c, const RegQuery &q, std::vector<RegChannel> *out)
{
    out->clear();
    int step = q.upper ? -4 : 4;
    if (!q.five_ghz) {
        // Channel 14 lies off the 5 MHz grid: nobody's 40 MHz partner.
        for (int ch = 1; ch <= 14; ch++) {
            if (q.widthMhz == 20)
                add(c, q, ch, 0, out);
            else if (ch + step >= 1 && ch + step <= 13 && ch != 14)
                add(c, q, ch, ch + step, out);
        }
        return;
    }
    if (q.widthMhz == 20) {
        for (const auto &block : kBlocks5)
            for (int ch = block[0]; ch <= block[1]; ch += 4)
                add(c, q, ch, 0, out);
        return;
    }
    for (int lo : kPairs5)
        add(c, q, q.upper ? lo + 4 : lo, q.upper ? lo : lo + 4, out);
}

} // namespace dplat
