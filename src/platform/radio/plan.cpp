// The radio plan: stored settings to hostapd.conf lines per part, and the
// refusals. Every value is checked or rebuilt here: nothing stored reaches
// the file as more than one value. Reads nothing but the image and the
// regulatory database.
#include "radio.h"
#include "radio_internal.h"
#include "platform_internal.h"
#include "protocol.h"
#include "regdb.h"

#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace dplat {
namespace radio {

namespace {

// Every key the renderer writes; nothing else ever appears in the file.
const char *const kKeys[] = {
    "driver", "ctrl_interface", "interface", "bss", "country_code", "ieee80211d",
    "ieee80211h", "local_pwr_constraint", "hw_mode", "channel", "ieee80211n",
    "require_ht", "ht_capab", "beacon_int", "dtim_period", "rts_threshold",
    "fragm_threshold", "preamble", "supported_rates", "basic_rates", "ssid", "ssid2",
    "ignore_broadcast_ssid", "max_num_sta", "ap_isolate", "wmm_enabled",
    "uapsd_advertisement_enabled", "auth_algs", "wep_key0", "wep_key1", "wep_key2",
    "wep_key3", "wep_default_key", "wep_key_len_broadcast", "wep_key_len_unicast",
    "ieee8021x", "auth_server_addr", "auth_server_port", "auth_server_shared_secret",
    "own_ip_addr", "eap_reauth_period", "wpa", "wpa_key_mgmt", "wpa_pairwise",
    "rsn_pairwise", "wpa_passphrase", "wpa_psk", "wpa_group_rekey", "rsn_preauth",
    "wps_state", "wps_cred_processing", "wps_independent", "eap_server", "config_methods", "device_name", "macaddr_acl",
    "accept_mac_file", "deny_mac_file",
};

const char *const kSecretKeys[] = {"wpa_passphrase", "wpa_psk", "auth_server_shared_secret",
                                   "wep_key0", "wep_key1", "wep_key2", "wep_key3"};

// Basic rate sets (100 kbit/s units) by band and wlBasicRate word.
struct BasicRates {
    const char *word;
    const char *g; // 2.4 GHz with OFDM
    const char *b; // 802.11b only
    const char *a; // 5 GHz
};
const BasicRates kBasicRates[] = {
    {"all", "10 20 55 110 60 90 120 180 240 360 480 540", "10 20 55 110",
     "60 90 120 180 240 360 480 540"},
    {"12", "10 20", "10 20", "60 120 240"},
    {"wifi2", "10 20 55 110 60 120 240", "10 20 55 110", "60 120 240"},
};
const char kOfdmRates[] = "60 90 120 180 240 360 480 540";

std::string get(const DorvanImage &img, const std::string &key)
{
    auto it = img.vars.find(key);
    return it == img.vars.end() ? std::string() : it->second;
}

// The system reads numbers by their leading sign and digits (atoi).
long number(const std::string &s)
{
    return strtol(s.c_str(), nullptr, 10);
}

bool flag(const std::string &s)
{
    return number(s) != 0;
}

bool hex_digits(const std::string &s)
{
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

std::string hex(const std::string &s)
{
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out.push_back(d[c >> 4]);
        out.push_back(d[c & 15]);
    }
    return out;
}

bool ipv4(const std::string &s)
{
    struct in_addr a;
    return s.size() < 16 && inet_pton(AF_INET, s.c_str(), &a) == 1 && a.s_addr != 0;
}

void line(std::string *out, const char *key, const std::string &value)
{
    out->append(key);
    out->push_back('=');
    out->append(value);
    out->push_back('\n');
}

void line(std::string *out, const char *key, long value)
{
    line(out, key, std::to_string(value));
}

// A number in [lo, hi] under key, or the setting refused.
bool ranged(Section *s, std::string *out, const char *key, const DorvanImage &img,
            const std::string &name, long lo, long hi)
{
    long v = number(get(img, name));
    if (v < lo || v > hi) {
        s->refused = name;
        return false;
    }
    line(out, key, v);
    return true;
}

// Six groups of one or two hex digits, written as hostapd wants them.
bool normal_mac(const std::string &in, std::string *out)
{
    out->clear();
    size_t p = 0;
    for (int g = 0; g < 6; g++) {
        while (p < in.size() && in[p] == ':' && g == 0)
            p++;
        size_t start = p;
        while (p < in.size() && p - start < 3 && in[p] != ':')
            p++;
        std::string grp = in.substr(start, p - start);
        if (grp.empty() || grp.size() > 2 || !hex_digits(grp))
            return false;
        if (grp.size() == 1)
            grp.insert(0, "0");
        for (char &c : grp)
            if (c >= 'A' && c <= 'F')
                c = (char)(c - 'A' + 'a');
        out->append(grp);
        if (g < 5) {
            if (p >= in.size() || in[p] != ':')
                return false;
            out->push_back(':');
            p++;
        }
    }
    return p == in.size();
}

// 2.4 GHz or 5 GHz: wlBands, or for a dual-band code the channel decides.
bool five_ghz(const DorvanImage &img)
{
    std::string b = get(img, "wlBands");
    if (b == "1" || b == "2")
        return b == "1";
    return number(get(img, "wlChannel")) > 14;
}

// 20 or 40 MHz by the rule the views use, on the band the radio runs.
int bandwidth(const DorvanImage &img, bool five)
{
    return wl_width(get(img, "wlNmode").c_str(), five ? "1" : "2", get(img, "wlNBwCap").c_str());
}

// The channel list for what hostapd will run, under the image's own
// country: the working copy may hold another process's settings.
bool channel_allowed(const DorvanImage &img, const std::string &country, bool five, bool n, long ch)
{
    RegQuery q;
    q.five_ghz = five;
    // Without 802.11n the 2.4 GHz list is 802.11b's: channel 14 is sorted out below.
    q.ofdm = five || n;
    if (n && bandwidth(img, five) == 40) {
        q.widthMhz = 40;
        q.upper = get(img, "wlNCtrlsb") == "1";
    }
    std::vector<RegChannel> channels;
    reg_channels(regCountry(currentRegDb(), country.c_str()), q, &channels);
    for (const RegChannel &c : channels)
        if (c.channel == ch)
            return true;
    return false;
}

// Interface security: WEP, 802.1X/RADIUS, WPA, WPA2 and mixed, with keys.
bool render_security(Section *s, const DorvanImage &img, int i, bool *wpsAllowed)
{
    std::string *out = &s->lines;
    std::string mode = get(img, if_key("wlAuthMode", i));
    std::string wep = get(img, if_key("wlWep", i));
    bool open = mode == "open";
    bool shared = mode == "shared";
    bool radius = mode == "radius";
    bool staticWep = shared || (open && (wep == "enabled" || wep == "1"));
    int wpa = 0;
    bool eap = false;
    if (mode == "wpa" || mode == "psk")
        wpa = 1;
    else if (mode == "wpa2" || mode == "psk2")
        wpa = 2;
    else if (mode == "wpa2mix" || mode == "psk2mix")
        wpa = 3;
    if (wpa != 0)
        eap = mode[0] == 'w';
    if (!open && !shared && !radius && wpa == 0) {
        s->refused = if_key("wlAuthMode", i);
        return false;
    }
    // hostapd turns WPS off for WEP and for WPA without WPA2/CCMP when it
    // reads the file: the file leaves it out too.
    *wpsAllowed = open && !staticWep;
    line(out, "auth_algs", shared ? 2 : 1);

    bool bits64 = number(get(img, if_key("wlKeyBit", i))) == 1;
    if (staticWep) {
        size_t ascii = bits64 ? 5 : 13;
        int written = 0;
        for (int k = 1; k <= 4; k++) {
            std::string name = if_key(("wlKey" + std::to_string(k)).c_str(), i);
            std::string key = get(img, name);
            if (key.empty())
                continue;
            std::string hx;
            if (key.size() == ascii * 2 && hex_digits(key))
                hx = key;
            else if (key.size() == ascii)
                hx = hex(key);
            if (hx.empty()) {
                s->refused = name;
                return false;
            }
            char wk[16];
            snprintf(wk, sizeof(wk), "wep_key%d", k - 1);
            line(out, wk, hx);
            written |= 1 << (k - 1);
        }
        long idx = number(get(img, if_key("wlKeyIndex", i)));
        if (idx < 1 || idx > 4 || !(written & (1 << (idx - 1)))) {
            s->refused = if_key("wlKeyIndex", i);
            return false;
        }
        line(out, "wep_default_key", idx - 1);
    }
    if (radius || eap) {
        line(out, "ieee8021x", 1);
        if (radius) {
            line(out, "wep_key_len_broadcast", bits64 ? 5 : 13);
            line(out, "wep_key_len_unicast", bits64 ? 5 : 13);
        }
        std::string ip = get(img, if_key("wlRadiusServerIP", i));
        if (!ipv4(ip)) {
            s->refused = if_key("wlRadiusServerIP", i);
            return false;
        }
        line(out, "auth_server_addr", ip);
        if (!ranged(s, out, "auth_server_port", img, if_key("wlRadiusPort", i), 1, 65535))
            return false;
        std::string secret = get(img, if_key("wlRadiusKey", i));
        if (secret.empty() || !printable_ascii(secret)) {
            s->refused = if_key("wlRadiusKey", i);
            return false;
        }
        line(out, "auth_server_shared_secret", secret);
        std::string own = get(img, "lanIPAddress");
        if (ipv4(own))
            line(out, "own_ip_addr", own);
    }
    if (wpa == 0)
        return true;
    line(out, "wpa", wpa);
    line(out, "wpa_key_mgmt", eap ? "WPA-EAP" : "WPA-PSK");
    std::string cipher = get(img, if_key("wlWpa", i));
    const char *c = cipher == "aes"        ? "CCMP"
                    : cipher == "tkip"     ? "TKIP"
                    : cipher == "tkip+aes" ? "TKIP CCMP"
                                           : nullptr;
    if (c == nullptr) {
        s->refused = if_key("wlWpa", i);
        return false;
    }
    *wpsAllowed = !eap && (wpa & 2) && cipher != "tkip";
    if (wpa & 1)
        line(out, "wpa_pairwise", c);
    if (wpa & 2)
        line(out, "rsn_pairwise", c);
    if (!ranged(s, out, "wpa_group_rekey", img, if_key("wlWpaGTKRekey", i), 0, 86400 * 365))
        return false;
    if (eap) {
        if (!ranged(s, out, "eap_reauth_period", img, if_key("wlNetReauth", i), 0,
                    86400 * 365))
            return false;
        if (wpa & 2)
            line(out, "rsn_preauth", flag(get(img, if_key("wlPreauth", i))) ? 1 : 0);
        return true;
    }
    std::string psk = get(img, if_key("wlWpaPsk", i));
    if (psk.size() == 64 && hex_digits(psk)) {
        line(out, "wpa_psk", psk);
    } else if (psk.size() >= 8 && psk.size() <= 63 && printable_ascii(psk)) {
        line(out, "wpa_passphrase", psk);
    } else {
        s->refused = if_key("wlWpaPsk", i);
        return false;
    }
    return true;
}

} // namespace

static bool interface_on(const DorvanImage &img, int i, int switchOn)
{
    if (switchOn == 0 || get(img, if_key("wlEnbl", 0)) != "1")
        return false;
    return i == 0 || get(img, if_key("wlEnbl", i)) == "1";
}

static Section render_radio(const DorvanImage &img)
{
    Section s;
    std::string *r = &s.restart;
    std::string country = get(img, "wlCountry");
    if (country.size() != 2 || !isalpha((unsigned char)country[0]) ||
        !isalpha((unsigned char)country[1])) {
        s.refused = "wlCountry";
        return s;
    }
    for (char &c : country)
        c = (char)toupper((unsigned char)c);
    line(r, "country_code", country);
    std::string reg = get(img, "wlRegMode");
    line(r, "ieee80211d", reg == "1" || reg == "2" ? 1 : 0);
    if (reg == "1") {
        line(r, "ieee80211h", 1);
        long tpc = number(get(img, "wlTpcDb"));
        if (tpc > 0 && tpc < 256)
            line(r, "local_pwr_constraint", tpc);
    }

    bool five = five_ghz(img);
    std::string phy = get(img, "wlPhyType");
    bool bOnly = !five && (phy == "b" || get(img, "wlgMode") == "0");
    bool n = !bOnly && phy == "n" && get(img, "wlNmode") != "off";
    long ch = number(get(img, "wlChannel"));
    if (ch < 0 || (ch != 0 && !channel_allowed(img, country, five, n, ch))) {
        s.refused = "wlChannel";
        return s;
    }
    // Channel 14 carries no OFDM: a mixed mode runs there with its 802.11b
    // rates; the OFDM-only mode has none left.
    if (!five && !n && ch == 14) {
        if (!bOnly && get(img, "wlgMode") == "4") {
            s.refused = "wlChannel";
            return s;
        }
        bOnly = true;
    }
    line(r, "hw_mode", five ? "a" : bOnly ? "b" : "g");
    line(r, "channel", ch);
    line(r, "ieee80211n", n ? 1 : 0);
    if (n && get(img, "wlNReqd") == "1")
        line(r, "require_ht", 1);
    if (n && bandwidth(img, five) == 40)
        line(r, "ht_capab", get(img, "wlNCtrlsb") == "1" ? "[HT40-]" : "[HT40+]");

    std::string *l = &s.lines;
    if (!ranged(&s, l, "beacon_int", img, "wlBcnIntvl", 15, 65535) ||
        !ranged(&s, l, "dtim_period", img, "wlDtmIntvl", 1, 255) ||
        !ranged(&s, l, "rts_threshold", img, "wlRtsThrshld", 0, 2347) ||
        !ranged(&s, l, "fragm_threshold", img, "wlFrgThrshld", 256, 2346))
        return s;
    line(l, "preamble", get(img, "wlPreambleType") == "short" ? 1 : 0);
    if (!five && !bOnly && get(img, "wlgMode") == "4")
        line(l, "supported_rates", kOfdmRates);
    std::string basic = get(img, "wlBasicRate");
    for (const BasicRates &b : kBasicRates)
        if (basic == b.word)
            line(l, "basic_rates", five ? b.a : bOnly ? b.b : b.g);
    return s;
}

static Section render_bss(const Env &env, const DorvanImage &img, int i)
{
    Section s;
    std::string *out = &s.lines;
    std::string ssid = get(img, if_key("wlSsid", i));
    if (ssid.empty() || ssid.size() > 32) {
        s.refused = if_key("wlSsid", i);
        return s;
    }
    // A value the file cannot hold as it is goes in hostapd's hex form.
    if (printable_ascii(ssid) && ssid[0] != ' ' && ssid.back() != ' ')
        line(out, "ssid", ssid);
    else
        line(out, "ssid2", hex(ssid));
    bool hidden = flag(get(img, if_key("wlHide", i)));
    line(out, "ignore_broadcast_ssid", hidden ? 1 : 0);
    long sta = number(get(img, if_key("wlMaxAssoc", i)));
    long global = number(get(img, "wlGlobalMaxAssoc"));
    if (global > 0 && global < sta)
        sta = global;
    if (sta < 1 || sta > 2007) {
        s.refused = if_key("wlMaxAssoc", i);
        return s;
    }
    line(out, "max_num_sta", sta);
    line(out, "ap_isolate", flag(get(img, if_key("wlAPIsolation", i))) ? 1 : 0);
    bool wmm = get(img, "wlWme") != "0" && !flag(get(img, if_key("wlDisableWme", i)));
    line(out, "wmm_enabled", wmm ? 1 : 0);
    line(out, "uapsd_advertisement_enabled", wmm && flag(get(img, "wlWmeApsd")) ? 1 : 0);

    bool wpsAllowed = false;
    if (!render_security(&s, img, i, &wpsAllowed))
        return s;

    std::string fm = get(img, if_key("wlFltMacMode", i));
    for (char &c : fm)
        c = (char)tolower((unsigned char)c);
    if (fm == "allow" || fm == "deny") {
        s.aclPath = bss_file(env, i, ".maclist");
        for (const DorvanFilterEntry &f : img.filters) {
            std::string mac;
            if (f.ifname != wl_iface_names[i])
                continue;
            if (normal_mac(f.mac, &mac))
                s.acl += mac + "\n";
            else
                s.leftOut.push_back(f.mac);
        }
        line(out, "macaddr_acl", fm == "allow" ? 1 : 0);
        line(out, fm == "allow" ? "accept_mac_file" : "deny_mac_file", s.aclPath);
    } else if (fm == "disable") {
        line(out, "macaddr_acl", 0);
    } else {
        s.refused = if_key("wlFltMacMode", i);
        return s;
    }

    // WPS is built when the interface starts: its on/off is a restart. A
    // hidden SSID turns it off in hostapd's read of the file only, which a
    // beacon update or a re-read never undo: hiding is a WPS change.
    if (wpsAllowed && !hidden && get(img, if_key("wlWscMode", i)) == "enabled") {
        line(&s.restart, "wps_state", get(img, if_key("wlWscAPMode", i)) == "0" ? 1 : 2);
        // A registrar's settings come to us as an event: hostapd never
        // rewrites our file, and settings for one interface stay on it.
        line(out, "wps_cred_processing", 1);
        line(out, "wps_independent", 1);
        line(out, "eap_server", 1);
        line(out, "device_name", "Dorvan");
        line(out, "config_methods", "label display push_button keypad");
    }
    return s;
}

RadioPlan make_plan(const Env &env, const DorvanImage &img, int switchOn)
{
    RadioPlan p;
    p.radio = render_radio(img);
    if (!p.radio.refused.empty())
        p.refused += p.radio.refused + " ";
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        p.on[i] = interface_on(img, i, switchOn);
        if (!p.on[i])
            continue;
        p.bss[i] = render_bss(env, img, i);
        if (!p.bss[i].refused.empty())
            p.refused += p.bss[i].refused + " ";
        p.leftOut.insert(p.leftOut.end(), p.bss[i].leftOut.begin(), p.bss[i].leftOut.end());
    }
    return p;
}

const char *ap_settings(const std::string &hexText, int i,
                        std::vector<std::pair<std::string, std::string>> *writes)
{
    writes->clear();
    if (hexText.empty() || hexText.size() > 2048 || hexText.size() % 2 != 0 || !hex_digits(hexText))
        return "not a hex dump";
    std::string raw;
    for (size_t k = 0; k < hexText.size(); k += 2)
        raw.push_back((char)strtol(hexText.substr(k, 2).c_str(), nullptr, 16));
    auto u16 = [&](size_t at) {
        return (unsigned)(unsigned char)raw[at] << 8 | (unsigned char)raw[at + 1];
    };
    std::string ssid, key;
    unsigned auth = 0, encr = 0;
    bool haveSsid = false;
    // The attributes, bare or inside the first Credential attribute.
    size_t p = 0, end = raw.size();
    while (p < end) {
        if (p + 4 > end || p + 4 + u16(p + 2) > end)
            return "attribute cut short";
        unsigned type = u16(p), len = u16(p + 2);
        size_t at = p + 4;
        p = at + len;
        if (type == 0x100e && end == raw.size()) {
            p = at;
            end = at + len;
        } else if (type == 0x1045) {
            ssid = raw.substr(at, len);
            haveSsid = true;
        } else if ((type == 0x1003 || type == 0x100f) && len == 2) {
            (type == 0x1003 ? auth : encr) = u16(at);
        } else if (type == 0x1027) {
            key = raw.substr(at, len);
        }
    }
    const unsigned kOpen = 0x01, kWpaPsk = 0x02, kWpa2Psk = 0x20, kTkip = 0x04, kAes = 0x08;
    // Stored, they are shown as they are: no line breaks, no terminal escapes.
    for (unsigned char c : ssid + key)
        if (c < 0x20 || c == 0x7f)
            return "a control byte in its SSID or key";
    if (!haveSsid || ssid.empty() || ssid.size() > 32)
        return "no usable SSID";
    auto put = [&](const char *name, const std::string &v) { writes->push_back({if_key(name, i), v}); };
    put("wlSsid", ssid);
    if (auth == kOpen && (encr == 0 || encr == 0x01)) {
        put("wlAuthMode", "open");
    } else if (auth != 0 && (auth & ~(kWpaPsk | kWpa2Psk)) == 0) {
        const char *cipher = (encr & (kTkip | kAes)) == (kTkip | kAes) ? "tkip+aes"
                             : (encr & kAes) != 0                    ? "aes"
                             : (encr & kTkip) != 0                   ? "tkip"
                                                                     : nullptr;
        if (cipher == nullptr)
            return "no usable encryption type";
        if (!(key.size() == 64 && hex_digits(key)) && !(key.size() >= 8 && key.size() <= 63 && printable_ascii(key)))
            return "no usable network key";
        put("wlAuthMode", auth == (kWpaPsk | kWpa2Psk) ? "psk2mix" : auth == kWpa2Psk ? "psk2" : "psk");
        put("wlWpa", cipher);
        put("wlWpaPsk", key);
    } else {
        return "authentication type not offered here";
    }
    put("wlAuth", "0");
    put("wlWep", "disabled");
    put("wlWscAPMode", "1");
    return nullptr;
}

std::string assemble(const Env &env, const Section &radio, const Section *const parts[WL_IFACE_COUNT])
{
    if (parts[0] == nullptr)
        return std::string();
    std::string out = "# Written by dorvand from the data model; changes here are lost.\n";
    line(&out, "driver", env.driver);
    line(&out, "ctrl_interface", env.ctrlDir);
    line(&out, "interface", iface_name(env, 0));
    out += radio.restart + radio.lines;
    for (int i = 0; i < WL_IFACE_COUNT; i++) {
        if (parts[i] == nullptr)
            continue;
        // A bss= section starts from hostapd's defaults: without its own
        // control socket its WPS and status cannot be reached.
        if (i > 0) {
            line(&out, "bss", iface_name(env, i));
            line(&out, "ctrl_interface", env.ctrlDir);
        }
        out += parts[i]->restart + parts[i]->lines;
    }
    return out;
}

std::string bss_file(const Env &env, int i, const char *ext)
{
    return env.radioDir + "/hostapd-" + wl_iface_names[i] + ext;
}

std::string masked(const std::string &conf)
{
    std::string out;
    for (std::string ln : split_lines(conf)) {
        size_t eq = ln.find('=');
        if (eq != std::string::npos)
            for (const char *k : kSecretKeys)
                if (ln.compare(0, eq, k) == 0)
                    ln = ln.substr(0, eq + 1) + "********";
        out += ln + "\n";
    }
    return out;
}

} // namespace radio
} // namespace dplat

bool radio_key_allowed(const std::string &key)
{
    for (const char *k : dplat::radio::kKeys)
        if (key == k)
            return true;
    return false;
}
