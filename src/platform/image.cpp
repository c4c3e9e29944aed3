// The store file format (see dorvan_store.h) and the factory configuration.
#include "platform_internal.h"
#include "wlmgr.h"
#include "protocol.h"

#include <stdio.h>
#include <string.h>

namespace dplat {

namespace {

const char kMagic[] = "DORVAN-DB 1 ";

struct Crc32Table {
    uint32_t t[256];
    constexpr Crc32Table() : t()
    {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
    }
};
constexpr Crc32Table kCrc;

void append_field(std::string *out, const std::string &f)
{
    out->push_back('\t');
    escape_field(f.data(), f.size(), out);
}

int hex_val(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits one record line into unescaped fields. False on a bad escape or a
// NUL byte.
bool split_record(const char *p, const char *end, std::vector<std::string> *fields)
{
    fields->clear();
    fields->emplace_back();
    while (p < end) {
        char c = *p++;
        if (c == '\t') {
            fields->emplace_back();
            continue;
        }
        if (c == '\0')
            return false;
        if (c != '\\') {
            fields->back().push_back(c);
            continue;
        }
        if (p == end)
            return false;
        char e = *p++;
        if (e == '\\') {
            fields->back().push_back('\\');
        } else if (e == 't') {
            fields->back().push_back('\t');
        } else if (e == 'n') {
            fields->back().push_back('\n');
        } else if (e == 'x' && end - p >= 2 && hex_val(p[0]) >= 0 && hex_val(p[1]) >= 0) {
            char b = (char)(hex_val(p[0]) * 16 + hex_val(p[1]));
            if (b == '\0')
                return false;
            fields->back().push_back(b);
            p += 2;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

uint32_t crc32(const void *data, size_t n)
{
    const unsigned char *p = (const unsigned char *)data;
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++)
        c = kCrc.t[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string serialise(const DorvanImage &img)
{
    std::string body;
    size_t guess = 0;
    for (const auto &kv : img.vars)
        guess += kv.first.size() + kv.second.size() + 8;
    body.reserve(guess + img.filters.size() * 64 + img.wds.size() * 24);
    for (const auto &kv : img.vars) {
        body.push_back('v');
        append_field(&body, kv.first);
        append_field(&body, kv.second);
        body.push_back('\n');
    }
    for (const auto &f : img.filters) {
        body.push_back('f');
        append_field(&body, f.mac);
        append_field(&body, f.ssid);
        append_field(&body, f.ifname);
        body.push_back('\n');
    }
    for (const auto &w : img.wds) {
        body.push_back('w');
        append_field(&body, w);
        body.push_back('\n');
    }
    char head[64];
    int h = snprintf(head, sizeof(head), "%s%zu %08x\n", kMagic, body.size(),
                     (unsigned)crc32(body.data(), body.size()));
    std::string out;
    out.reserve((size_t)h + body.size());
    out.append(head, (size_t)h);
    out.append(body);
    return out;
}

const char *parse_image(const std::string &bytes, DorvanImage *out)
{
    if (bytes.empty())
        return "empty";
    size_t nl = bytes.find('\n');
    if (nl == std::string::npos || nl > 48)
        return "bad header";
    const size_t magicLen = sizeof(kMagic) - 1;
    if (bytes.compare(0, magicLen, kMagic) != 0)
        return "bad header";
    // "<decimal length> <8 hex>"
    size_t pos = magicLen;
    size_t len = 0;
    size_t digits = 0;
    while (pos < nl && bytes[pos] >= '0' && bytes[pos] <= '9' && digits < 12) {
        len = len * 10 + (size_t)(bytes[pos] - '0');
        pos++;
        digits++;
    }
    if (digits == 0 || pos >= nl || bytes[pos] != ' ' || nl - pos - 1 != 8)
        return "bad header";
    uint32_t want = 0;
    for (size_t i = pos + 1; i < nl; i++) {
        int v = hex_val(bytes[i]);
        if (v < 0)
            return "bad header";
        want = want * 16 + (uint32_t)v;
    }
    size_t have = bytes.size() - nl - 1;
    if (have < len)
        return "truncated";
    if (have > len)
        return "length mismatch";
    const char *body = bytes.data() + nl + 1;
    if (crc32(body, len) != want)
        return "checksum mismatch";

    DorvanImage img;
    std::vector<std::string> fields;
    const char *p = body;
    const char *end = body + len;
    while (p < end) {
        const char *eol = (const char *)memchr(p, '\n', (size_t)(end - p));
        if (eol == nullptr)
            return "malformed content";
        if (eol - p < 2 || p[1] != '\t' || !split_record(p + 2, eol, &fields))
            return "malformed content";
        char kind = p[0];
        if (kind == 'v' && fields.size() == 2 && !fields[0].empty()) {
            img.vars[fields[0]] = fields[1];
        } else if (kind == 'f' && fields.size() == 3) {
            img.filters.push_back({fields[0], fields[1], fields[2]});
        } else if (kind == 'w' && fields.size() == 1) {
            img.wds.push_back(fields[0]);
        } else {
            return "malformed content";
        }
        p = eol + 1;
    }
    *out = std::move(img);
    return nullptr;
}

// wl0 is the home network, wl0.1..3 guest networks that start switched off.
const PerIfKey kPerIfKeys[] = {
    {"wlEnbl", {"1", "0", "0", "0"}},
    {"wlSsid", {"Dorvan", "Dorvan-Guest1", "Dorvan-Guest2", "Dorvan-Guest3"}},
    {"interface", {WL_IFACE_NAMES}},
    {"wlMaxAssoc", {"16", "16", "16", "16"}},
    {"wlHide", {"0", "0", "0", "0"}},
    {"wlAPIsolation", {"0", "0", "0", "0"}},
    {"wlDisableWme", {"0", "0", "0", "0"}},
    {"wlAuthMode", {"psk2", "psk2", "psk2", "psk2"}},
    {"wlAuth", {"0", "0", "0", "0"}},
    {"wlWep", {"disabled", "disabled", "disabled", "disabled"}},
    {"wlKeyBit", {"0", "0", "0", "0"}},
    {"wlKeyIndex", {"1", "1", "1", "1"}},
    {"wlKey1", {"", "", "", ""}},
    {"wlKey2", {"", "", "", ""}},
    {"wlKey3", {"", "", "", ""}},
    {"wlKey4", {"", "", "", ""}},
    {"wlRadiusServerIP", {"0.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0"}},
    {"wlRadiusPort", {"1812", "1812", "1812", "1812"}},
    {"wlRadiusKey", {"", "", "", ""}},
    {"wlWpa", {"aes", "aes", "aes", "aes"}},
    {"wlWpaGTKRekey", {"3600", "3600", "3600", "3600"}},
    {"wlNetReauth", {"36000", "36000", "36000", "36000"}},
    {"wlPreauth", {"0", "0", "0", "0"}},
    {"wlWscMode", {"disabled", "disabled", "disabled", "disabled"}},
    {"wlWscAPMode", {"1", "1", "1", "1"}},
    {"wlFltMacMode", {"disable", "disable", "disable", "disable"}},
    // From the device's secrets, or written at run time.
    {"wlWpaPsk", {}},
    {"wlWscDevPin", {}},
    {"wlWscStaPin", {}},
    {"wlWscConfig", {}},
    {"wl_wsc_reg", {}},
    {"wsc_addER", {}},
    {"wsc_force_restart", {}},
    {"wsc_proc_status", {}},
    {"wsc_method", {}},
    {"wsc_config_command", {}},
    {"wsc_event", {}},
};
const size_t kPerIfKeyCount = sizeof(kPerIfKeys) / sizeof(kPerIfKeys[0]);

std::string if_key(const char *name, int i)
{
    char key[WLMGR_NAME_SIZE + 8];
    wl_key(key, sizeof(key), name, i);
    return key;
}

namespace {

const char *const kRadioDefaults[][2] = {
    {"wlSsidIdx", "0"},        {"wlCountry", "US"},       {"wlBands", "2"},
    {"wlPhyType", "n"},        {"wlHasWme", "1"},         {"wlChannel", "6"},
    {"wlCsScanTimer", "0"},    {"wlNmode", "auto"},       {"wlNBwCap", "0"},
    {"wlNCtrlsb", "0"},        {"wlNMcsidx", "-1"},       {"wlNProtection", "auto"},
    {"wlNReqd", "0"},          {"wlRate", "0"},           {"wlMCastRate", "0"},
    {"wlBasicRate", "default"}, {"wlFrgThrshld", "2346"}, {"wlRtsThrshld", "2347"},
    {"wlDtmIntvl", "1"},       {"wlBcnIntvl", "100"},     {"wlGlobalMaxAssoc", "128"},
    {"wlFrameBurst", "off"},   {"wlgMode", "1"},          {"wlProtection", "auto"},
    {"wlRegMode", "0"},        {"wlDfsPreIsm", "60"},     {"wlDfsPostIsm", "60"},
    {"wlTpcDb", "0"},          {"wlTurboEn", "off"},      {"wlPreambleType", "long"},
    {"wlTxPwrPcnt", "100"},    {"wlWme", "1"},            {"wlWmeNoAck", "0"},
    {"wlWmeApsd", "1"},        {"wlMode", "ap"},          {"wlLazyWds", "1"},
    {"wlWds0", ""},            {"wlWds1", ""},            {"wlWds2", ""},
    {"wlWds3", ""},            {"lanIPAddress", "127.0.0.1"},
};

} // namespace

void factory_image(DorvanImage *out)
{
    DorvanImage img;
    for (const PerIfKey &d : kPerIfKeys)
        for (int i = 0; d.factory[0] != nullptr && i < WL_IFACE_COUNT; i++)
            img.vars[if_key(d.name, i)] = d.factory[i];
    for (const auto &d : kRadioDefaults)
        img.vars[d[0]] = d[1];
    // No shared secret ships in the program: each device has its own.
    device_secrets(&img);
    *out = std::move(img);
}

} // namespace dplat

DorvanImage dorvan_factory_image(void)
{
    DorvanImage img;
    dplat::factory_image(&img);
    return img;
}
