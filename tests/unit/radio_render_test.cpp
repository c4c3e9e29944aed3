// The hostapd renderer: the settings map, refusals, and value safety.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "dorvan_store.h"
#include "platform_internal.h"
#include "radio/radio.h"
#include "radio/radio_internal.h"
#include "testutil.h"

namespace {

using dplat::radio::Section;

struct RenderTest : ::testing::Test {
    dt::TempRoot root;
    DorvanImage img = dorvan_factory_image();
    dplat::radio::Env env;

    void SetUp() override
    {
        setenv("DORVAN_RADIO_IFNAME", "dvt0", 1);
        ASSERT_TRUE(dplat::radio::read_env(&env));
    }
    void set(const std::string &k, const std::string &v) { img.vars[k] = v; }
    void set(std::initializer_list<std::pair<const char *, std::string>> kv)
    {
        for (const auto &p : kv)
            img.vars[p.first] = p.second;
    }
    Section bss(int i = 0) { return dplat::radio::render_bss(env, img, i); }
    // The lines of a usable section, radio part first.
    std::string all(int i = 0)
    {
        Section r = dplat::radio::render_radio(img);
        Section b = bss(i);
        EXPECT_EQ(r.refused, "");
        EXPECT_EQ(b.refused, "");
        return r.restart + r.lines + b.restart + b.lines;
    }
};

bool has(const std::string &text, const std::string &line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST_F(RenderTest, BssSecurityFilterAndWps)
{
    struct Case {
        const char *mode;
        const char *cipher;
        std::vector<std::string> want;
    } cases[] = {
        {"psk2", "aes", {"wpa=2", "wpa_key_mgmt=WPA-PSK", "rsn_pairwise=CCMP", "wpa_passphrase=dorvan-home-2417"}},
        {"psk", "tkip", {"wpa=1", "wpa_pairwise=TKIP", "wpa_group_rekey=3600"}},
        {"psk2mix", "tkip+aes", {"wpa=3", "wpa_pairwise=TKIP CCMP", "rsn_pairwise=TKIP CCMP"}},
        {"wpa2", "aes", {"wpa=2", "wpa_key_mgmt=WPA-EAP", "ieee8021x=1", "auth_server_addr=127.0.0.1",
                         "auth_server_port=1812", "auth_server_shared_secret=s3cret",
                         "eap_reauth_period=36000", "rsn_preauth=1", "own_ip_addr=127.0.0.1"}},
        {"wpa2mix", "aes", {"wpa=3", "wpa_key_mgmt=WPA-EAP"}},
        {"wpa", "aes", {"wpa=1", "wpa_key_mgmt=WPA-EAP", "wpa_pairwise=CCMP"}},
        {"radius", "aes", {"ieee8021x=1", "wep_key_len_broadcast=13", "auth_algs=1"}},
        {"shared", "aes", {"auth_algs=2", "wep_key1=0102030405060708090a0b0c0d", "wep_default_key=1"}},
    };
    set({{"wlWpaPsk_wl0v0", "dorvan-home-2417"}, {"wlRadiusServerIP_wl0v0", "127.0.0.1"},
         {"wlRadiusKey_wl0v0", "s3cret"}, {"wlPreauth_wl0v0", "1"},
         {"wlKey2_wl0v0", "0102030405060708090a0b0c0d"}, {"wlKeyIndex_wl0v0", "2"}});
    for (const Case &c : cases) {
        set({{"wlAuthMode_wl0v0", c.mode}, {"wlWpa_wl0v0", c.cipher}});
        std::string out = all();
        for (const std::string &w : c.want)
            EXPECT_TRUE(has(out, w)) << c.mode << ": " << w << "\n" << out;
        if (std::string(c.mode) == "radius" || std::string(c.mode) == "shared") {
            EXPECT_EQ(out.find("\nwpa="), std::string::npos) << c.mode;
        }
    }
    // Open with WEP: ASCII keys go out as hex, 64-bit keys by wlKeyBit 1.
    set({{"wlAuthMode_wl0v0", "open"}, {"wlWep_wl0v0", "enabled"}, {"wlKeyBit_wl0v0", "1"},
         {"wlKey2_wl0v0", "ab\"#c"}});
    std::string out = all();
    EXPECT_TRUE(has(out, "wep_key1=6162222363")) << out;
    EXPECT_TRUE(has(out, "auth_algs=1"));
    set("wlWep_wl0v0", "disabled");
    EXPECT_EQ(all().find("wep_key"), std::string::npos);

    // The second BSS: its own settings, the MAC filter and WPS.
    set({{"wlHide_wl0v1", "1"}, {"wlAPIsolation_wl0v1", "1"}, {"wlDisableWme_wl0v1", "1"},
         {"wlMaxAssoc_wl0v1", "200"}, {"wlGlobalMaxAssoc", "50"}, {"wlFltMacMode_wl0v1", "Allow"}});
    img.filters = {{"0:1:2:3:4:5", "x", "wl0.1"}, {"AA:bb:CC:dd:EE:ff", "x", "wl0.1"},
                   {"00:11:22:33:44:55:66", "x", "wl0.1"}, {"02:00:00:00:00:09", "x", "wl0"}};
    set("wlWscMode_wl0v1", "enabled");
    Section s = bss(1);
    ASSERT_EQ(s.refused, "");
    for (const char *l : {"ssid=Dorvan-Guest1", "ignore_broadcast_ssid=1", "ap_isolate=1",
                          "wmm_enabled=0", "uapsd_advertisement_enabled=0", "max_num_sta=50",
                          "macaddr_acl=1", "eap_server=1"})
        EXPECT_TRUE(has(s.lines, l)) << l << "\n" << s.lines;
    EXPECT_TRUE(has(s.lines, "accept_mac_file=" + s.aclPath));
    EXPECT_EQ(s.acl, "00:01:02:03:04:05\naa:bb:cc:dd:ee:ff\n");
    EXPECT_EQ(s.leftOut, std::vector<std::string>{"00:11:22:33:44:55:66"});
    EXPECT_EQ(s.restart, "wps_state=2\n");
    set("wlFltMacMode_wl0v1", "DENY");
    EXPECT_TRUE(has(bss(1).lines, "macaddr_acl=0"));
    EXPECT_NE(bss(1).lines.find("deny_mac_file="), std::string::npos);
    // WPS is not offered with an 802.1X mode.
    set({{"wlAuthMode_wl0v1", "wpa2"}, {"wlRadiusServerIP_wl0v1", "127.0.0.1"},
         {"wlRadiusKey_wl0v1", "k"}});
    EXPECT_EQ(bss(1).restart, "");
}

TEST_F(RenderTest, RadioSettingsMapAndSplitRestartFromReread)
{
    Section r = dplat::radio::render_radio(img);
    for (const char *l : {"country_code=US", "hw_mode=g", "channel=6", "ieee80211n=1"})
        EXPECT_TRUE(has(r.restart, l)) << l;
    for (const char *l : {"beacon_int=100", "dtim_period=1", "rts_threshold=2347",
                          "fragm_threshold=2346", "preamble=0"})
        EXPECT_TRUE(has(r.lines, l)) << l;
    // 40 MHz: the sideband picks the secondary channel's side.
    set({{"wlNBwCap", "1"}, {"wlNCtrlsb", "-1"}, {"wlChannel", "3"}});
    EXPECT_TRUE(has(dplat::radio::render_radio(img).restart, "ht_capab=[HT40+]"));
    set({{"wlNCtrlsb", "1"}, {"wlChannel", "9"}});
    EXPECT_TRUE(has(dplat::radio::render_radio(img).restart, "ht_capab=[HT40-]"));
    // 5 GHz, 802.11n off, 802.11d/h, short preamble, basic rates, country case.
    set("wlBands", "1");
    set("wlChannel", "40");  // upper sideband: the control channel of 36+40
    set({{"wlNmode", "off"}, {"wlRegMode", "1"}, {"wlTpcDb", "3"}, {"wlCountry", "de"},
         {"wlPreambleType", "short"}, {"wlBasicRate", "12"}});
    r = dplat::radio::render_radio(img);
    EXPECT_EQ(r.refused, "");
    for (const char *l : {"hw_mode=a", "ieee80211n=0", "country_code=DE", "ieee80211d=1",
                          "ieee80211h=1", "local_pwr_constraint=3"})
        EXPECT_TRUE(has(r.restart, l)) << l << "\n" << r.restart;
    EXPECT_TRUE(has(r.lines, "preamble=1"));
    EXPECT_TRUE(has(r.lines, "basic_rates=60 120 240"));
    // 802.11b only in 2.4 GHz.
    set({{"wlBands", "2"}, {"wlChannel", "1"}, {"wlgMode", "0"}, {"wlNmode", "auto"}});
    r = dplat::radio::render_radio(img);
    EXPECT_TRUE(has(r.restart, "hw_mode=b"));
    EXPECT_TRUE(has(r.restart, "ieee80211n=0"));
}

TEST_F(RenderTest, HostileValuesAreRefusedOrEncodedNeverAddALine)
{
    // Settings on top of the factory image; the last one named is refused.
    // wlChannel 11 with the lower sideband leaves 40 MHz no room above it.
    const std::vector<std::vector<std::pair<const char *, std::string>>> cases = {
        {{"wlWpaPsk_wl0v0", "7chars!"}},
        {{"wlWpaPsk_wl0v0", "pass\nwpa=0 more"}},
        {{"wlWpaPsk_wl0v0", std::string(64, 'p')}},
        {{"wlAuthMode_wl0v0", "wep"}},
        {{"wlWpa_wl0v0", "ccmp"}},
        {{"wlSsid_wl0v0", ""}},
        {{"wlSsid_wl0v0", std::string(33, 's')}},
        {{"wlFltMacMode_wl0v0", "block"}},
        {{"wlMaxAssoc_wl0v0", "0"}},
        {{"wlAuthMode_wl0v0", "shared"}, {"wlKey1_wl0v0", "0123456789"}},
        {{"wlAuthMode_wl0v0", "shared"}, {"wlKeyBit_wl0v0", "1"}, {"wlKeyIndex_wl0v0", "3"}},
        {{"wlAuthMode_wl0v0", "wpa2"}, {"wlRadiusServerIP_wl0v0", "0.0.0.0"}},
        {{"wlChannel", "14"}},
        {{"wlChannel", "-3"}},
        {{"wlCountry", "U1"}},
        {{"wlCountry", "USA"}},
        {{"wlBcnIntvl", "10"}},
        {{"wlDtmIntvl", "0"}},
        {{"wlFrgThrshld", "100"}},
        {{"wlNBwCap", "1"}, {"wlChannel", "11"}},
    };
    const DorvanImage factory = img;
    for (const auto &c : cases) {
        img = factory;
        for (const auto &p : c)
            set(p.first, p.second);
        std::string name = c.back().first;
        Section s = name.find("_wl0v") == std::string::npos ? dplat::radio::render_radio(img) : bss();
        EXPECT_EQ(s.refused, name) << c.back().second;
    }

    // What can be taken is encoded: no stored byte adds a line.
    img = factory;
    set({{"wlSsid_wl0v0", "evil\nwpa=0"}, {"wlSsid_wl0v1", " lead"}, {"wlEnbl_wl0v1", "1"},
         {"wlRadiusKey_wl0v0", "x\ny"}});
    EXPECT_TRUE(has(bss(0).lines, "ssid2=6576696c0a7770613d30"));
    EXPECT_TRUE(has(bss(1).lines, "ssid2=206c656164"));
    std::string conf = radio_render(img, 1);
    ASSERT_NE(conf, "");
    EXPECT_TRUE(has(conf, "bss=dvt0-1"));
    EXPECT_TRUE(has(conf, "wpa=2"));
    for (const std::string &l : dt::lines(conf)) {
        if (l.empty() || l[0] == '#')
            continue;
        size_t eq = l.find('=');
        ASSERT_NE(eq, std::string::npos) << l;
        EXPECT_TRUE(radio_key_allowed(l.substr(0, eq))) << l;
    }
    // Switch off or wl0 off: no radio.
    EXPECT_EQ(radio_render(img, 0), "");
    set("wlEnbl_wl0v0", "0");
    EXPECT_EQ(radio_render(img, 1), "");
}

TEST_F(RenderTest, ControlSocketSilentOrPathTooLong)
{
    std::string dir = root.file("var/run/hostapd");
    ASSERT_EQ(dplat::make_dirs(dir), 0);
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    struct sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    std::string path = dir + "/dvt0";
    memcpy(a.sun_path, path.c_str(), path.size());
    ASSERT_EQ(bind(fd, (struct sockaddr *)&a, sizeof(a)), 0);
    // dorvan-cfg radio shows the file hostapd runs (not a rendering in this
    // process's environment), masked, and asks each interface once.
    std::string conf = root.file("var/dorvan/radio/hostapd.conf");
    EXPECT_NE(radio_describe(img, 1).find("# no " + conf + ": hostapd never configured\n"), std::string::npos);
    ASSERT_EQ(dplat::make_dirs(root.file("var/dorvan/radio")), 0);
    dt::write_file(conf, "interface=dvt0\ndriver=none\nwpa_passphrase=secret-77\n");
    auto t0 = std::chrono::steady_clock::now();
    std::string reply;
    // Sent but unanswered is told apart from never sent: only the latter
    // may be sent again.
    EXPECT_EQ(radio_request("dvt0", "STATUS", &reply, 300), dplat::radio::kSentNoReply);
    std::string shown = radio_describe(img, 1);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(s, 1.0);
    EXPECT_NE(shown.find("interface=dvt0\ndriver=none\nwpa_passphrase=********\n# hostapd dvt0: no reply"),
              std::string::npos) << shown;
    EXPECT_EQ(radio_request("nosuch", "STATUS", &reply, 300), -1);
    close(fd);

    // A root too long for the control socket's name keeps the radio off.
    std::string deep = root.path() + "/" + std::string(100 - root.path().size(), 'd');
    setenv("DORVAN_ROOT", deep.c_str(), 1);
    EXPECT_FALSE(dplat::radio::read_env(&env));
    EXPECT_NE(root.log().find("too long for hostapd's control socket"), std::string::npos) << root.log();
    // Room is left for "/var/run/hostapd" and a 32-byte socket name.
    deep.resize(108 - 1 - 32 - 16);
    setenv("DORVAN_ROOT", deep.c_str(), 1);
    EXPECT_TRUE(dplat::radio::read_env(&env));
}

}  // namespace
