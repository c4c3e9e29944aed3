// The radio plan: image -> radio and interface parts, refusals, and value
// safety; the WPS operations' requests.
#include <gtest/gtest.h>

#include "dorvan_store.h"
#include "platform_internal.h"
#include "radio/radio.h"
#include "radio/radio_internal.h"
#include "regdb_writer.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

using dplat::radio::RadioPlan;
using dplat::radio::Section;
using Vars = std::vector<std::pair<std::string, std::string>>;

struct PlanTest : ::testing::Test {
    dt::TempRoot root;
    DorvanImage factory = dorvan_factory_image();
    dplat::radio::Env env;

    void SetUp() override
    {
        // US stops at channel 11, DE at 13, JP adds 14 for 802.11b.
        const dt::RegRuleSpec five = {5150, 5350, 80, 0}, to13 = {2400, 2483.5, 40, 0};
        dt::write_file(root.file("regulatory.db"),
                       dt::regdb_bytes({{"US", 1, {{2400, 2472, 40, 0}, five}}, {"DE", 2, {to13, five}},
                                        {"JP", 3, {to13, {2474, 2494, 20, 1}, five}}, {"00", 0, {to13}}}));
        setenv("DORVAN_REGDB", root.file("regulatory.db").c_str(), 1);
        setenv("DORVAN_RADIO_IFNAME", "dvt0", 1);
        ASSERT_TRUE(dplat::radio::read_env(&env));
        wlmgr_loadWorkingCopy();
    }
    DorvanImage image(const Vars &set)
    {
        DorvanImage img = factory;
        for (const auto &kv : set)
            img.vars[kv.first] = kv.second;
        return img;
    }
};

// Each row: settings on top of the factory image, the part looked at (-1 the
// radio), the setting refused ("" none) and lines: "k=v" re-read, "^k=v"
// restart, "!k" no such key.
TEST_F(PlanTest, ImageToPartsAndRefusals)
{
    const std::string wepKeys = "0102030405060708090a0b0c0d";
    const Vars wpa2 = {{"wlRadiusServerIP_wl0v0", "127.0.0.1"}, {"wlRadiusKey_wl0v0", "s3cret"}},
               wps = {{"wlWscMode_wl0v0", "enabled"}, {"wlWscMode_wl0v1", "enabled"}};
    struct Row {
        Vars set;
        int part;
        const char *refused;
        std::vector<std::string> want;
        const char *workingCountry = "US";
    } rows[] = {
        {{}, -1, "", {"^country_code=US", "^hw_mode=g", "^channel=6", "^ieee80211n=1", "beacon_int=100", "!ht_capab"}},
        {{}, 0, "", {"ssid=Dorvan", "wpa=2", "wpa_key_mgmt=WPA-PSK", "rsn_pairwise=CCMP", "!wps_state"}},
        // The image's country decides, whatever the working copy holds.
        {{{"wlCountry", "DE"}, {"wlChannel", "13"}}, -1, "", {"^channel=13"}, "US"},
        {{{"wlChannel", "13"}}, -1, "wlChannel", {}, "DE"},
        {{{"wlNBwCap", "1"}, {"wlNCtrlsb", "-1"}, {"wlChannel", "3"}}, -1, "", {"^ht_capab=[HT40+]"}},
        {{{"wlNBwCap", "1"}, {"wlNCtrlsb", "1"}, {"wlChannel", "7"}}, -1, "", {"^ht_capab=[HT40-]"}},
        {{{"wlNBwCap", "2"}, {"wlChannel", "11"}}, -1, "", {"!ht_capab"}},
        {{{"wlNBwCap", "1"}, {"wlChannel", "11"}}, -1, "wlChannel", {}},
        {{{"wlBands", "1"}, {"wlChannel", "40"}, {"wlNmode", "off"}, {"wlRegMode", "1"}, {"wlTpcDb", "3"},
          {"wlCountry", "de"}, {"wlBasicRate", "12"}},
         -1, "", {"^hw_mode=a", "^ieee80211n=0", "^country_code=DE", "^ieee80211h=1", "^local_pwr_constraint=3",
                  "basic_rates=60 120 240"}},
        {{{"wlBands", "3"}, {"wlChannel", "44"}, {"wlNBwCap", "2"}}, -1, "", {"^hw_mode=a", "^ht_capab=[HT40+]"}},
        {{{"wlgMode", "0"}, {"wlChannel", "1"}}, -1, "", {"^hw_mode=b"}},
        // Channel 14 carries no OFDM: mixed modes run as 802.11b there.
        {{{"wlCountry", "JP"}, {"wlChannel", "14"}, {"wlPhyType", "g"}, {"wlBasicRate", "all"}},
         -1, "", {"^hw_mode=b", "basic_rates=10 20 55 110", "!supported_rates"}},
        {{{"wlCountry", "JP"}, {"wlChannel", "14"}, {"wlPhyType", "g"}, {"wlgMode", "4"}}, -1, "wlChannel", {}},
        {{{"wlCountry", "JP"}, {"wlChannel", "14"}}, -1, "wlChannel", {}},
        {{{"wlChannel", "14"}}, -1, "wlChannel", {}}, {{{"wlCountry", "U1"}}, -1, "wlCountry", {}},
        {{{"wlCountry", "USA"}}, -1, "wlCountry", {}}, {{{"wlBcnIntvl", "10"}}, -1, "wlBcnIntvl", {}},
        {{{"wlFrgThrshld", "100"}}, -1, "wlFrgThrshld", {}}, {{{"wlChannel", "-1"}}, -1, "wlChannel", {}},
        // Security modes and their keys; WPS only where hostapd runs it (not
        // with WEP, nor without WPA2 and CCMP).
        {{wps[0], {"wlAuthMode_wl0v0", "psk"}}, 0, "", {"wpa=1", "wpa_group_rekey=3600", "!wps_state"}},
        {{wps[0], {"wlWpa_wl0v0", "tkip"}}, 0, "", {"rsn_pairwise=TKIP", "!wps_state"}},
        {{wps[0], {"wlAuthMode_wl0v0", "psk2mix"}, {"wlWpa_wl0v0", "tkip+aes"}, {"wlWpaPsk_wl0v0", "dorvan-home-2417"}},
         0, "", {"wpa=3", "wpa_pairwise=TKIP CCMP", "rsn_pairwise=TKIP CCMP", "wpa_passphrase=dorvan-home-2417",
                 "^wps_state=2"}},
        {{{"wlWpaPsk_wl0v0", std::string(64, 'a')}}, 0, "", {"wpa_psk=" + std::string(64, 'a'), "!wpa_passphrase"}},
        {{wpa2[0], wpa2[1], wps[0], {"wlAuthMode_wl0v0", "wpa2"}, {"wlPreauth_wl0v0", "1"}}, 0, "",
         {"!wps_state", "wpa_key_mgmt=WPA-EAP", "ieee8021x=1", "auth_server_addr=127.0.0.1", "auth_server_port=1812",
          "auth_server_shared_secret=s3cret", "eap_reauth_period=36000", "rsn_preauth=1", "own_ip_addr=127.0.0.1"}},
        {{wpa2[0], wpa2[1], {"wlAuthMode_wl0v0", "wpa"}}, 0, "", {"wpa=1", "wpa_pairwise=CCMP", "!rsn_preauth"}},
        {{wpa2[0], wpa2[1], {"wlAuthMode_wl0v0", "radius"}}, 0, "", {"ieee8021x=1", "wep_key_len_broadcast=13", "!wpa"}},
        {{{"wlAuthMode_wl0v0", "shared"}, {"wlKey2_wl0v0", wepKeys}, {"wlKeyIndex_wl0v0", "2"}}, 0, "",
         {"auth_algs=2", "wep_key1=" + wepKeys, "wep_default_key=1", "!wpa"}},
        {{{"wlAuthMode_wl0v0", "shared"}, {"wlKey1_wl0v0", "abcdefghijklm"}}, 0, "", {"wep_key0=6162636465666768696a6b6c6d"}},
        {{wps[0], {"wlAuthMode_wl0v0", "open"}, {"wlWep_wl0v0", "enabled"}, {"wlKeyBit_wl0v0", "1"},
          {"wlKey1_wl0v0", "ab\"#c"}}, 0, "", {"auth_algs=1", "wep_key0=6162222363", "!wps_state"}},
        {{{"wlWpaPsk_wl0v0", "7chars!"}}, 0, "wlWpaPsk_wl0v0", {}}, {{{"wlWpa_wl0v0", "ccmp"}}, 0, "wlWpa_wl0v0", {}},
        {{{"wlWpaPsk_wl0v0", "pass\nwpa=0 more"}}, 0, "wlWpaPsk_wl0v0", {}},
        {{{"wlWpaPsk_wl0v0", std::string(64, 'p')}}, 0, "wlWpaPsk_wl0v0", {}},
        {{{"wlAuthMode_wl0v0", "wep"}}, 0, "wlAuthMode_wl0v0", {}}, {{{"wlSsid_wl0v0", ""}}, 0, "wlSsid_wl0v0", {}},
        {{{"wlSsid_wl0v0", std::string(33, 's')}}, 0, "wlSsid_wl0v0", {}},
        {{{"wlFltMacMode_wl0v0", "block"}}, 0, "wlFltMacMode_wl0v0", {}},
        {{{"wlMaxAssoc_wl0v0", "0"}}, 0, "wlMaxAssoc_wl0v0", {}},
        {{{"wlAuthMode_wl0v0", "shared"}, {"wlKey1_wl0v0", "0123456789"}}, 0, "wlKey1_wl0v0", {}},
        {{{"wlAuthMode_wl0v0", "shared"}, {"wlKeyBit_wl0v0", "1"}, {"wlKey1_wl0v0", "abcde"}, {"wlKeyIndex_wl0v0", "3"}},
         0, "wlKeyIndex_wl0v0", {}},
        {{{"wlAuthMode_wl0v0", "wpa2"}, {"wlRadiusServerIP_wl0v0", "0.0.0.0"}}, 0, "wlRadiusServerIP_wl0v0", {}},
        // What can be taken is encoded: no stored byte adds a line.
        {{{"wlSsid_wl0v0", "evil\nwpa=0"}}, 0, "", {"ssid2=6576696c0a7770613d30", "!ssid"}},
        // hostapd runs no WPS on a hidden SSID.
        {{{"wlSsid_wl0v1", " lead"}, {"wlEnbl_wl0v1", "1"}, {"wlHide_wl0v1", "1"}, wps[1]}, 1, "",
         {"ssid2=206c656164", "ignore_broadcast_ssid=1", "!wps_state"}},
        // A guest: its own settings, the MAC filter, WPS a restart.
        {{wps[1], {"wlEnbl_wl0v1", "1"}, {"wlMaxAssoc_wl0v1", "200"}, {"wlGlobalMaxAssoc", "50"},
          {"wlFltMacMode_wl0v1", "Allow"}},
         1, "", {"ssid=Dorvan-Guest1", "max_num_sta=50", "macaddr_acl=1", "^wps_state=2", "wps_independent=1"}},
    };
    for (const Row &r : rows) {
        wlmgr_setVar("wlCountry", r.workingCountry);
        DorvanImage img = image(r.set);
        img.filters = {{"0:1:2:3:4:5", "x", "wl0.1"}, {"00:11:22:33:44:55:66", "x", "wl0.1"},
                       {"02:00:00:00:00:09", "x", "wl0"}};
        RadioPlan p = dplat::radio::make_plan(env, img, 1);
        const Section &s = r.part < 0 ? p.radio : p.bss[r.part];
        SCOPED_TRACE((r.set.empty() ? "factory" : r.set.back().first) + "\n" + s.restart + "--\n" + s.lines);
        EXPECT_EQ(s.refused, r.refused);
        for (const std::string &w : r.want) {
            if (w[0] == '!')
                EXPECT_EQ(("\n" + s.restart + s.lines).find("\n" + w.substr(1) + "="), std::string::npos) << w;
            else
                EXPECT_TRUE(dt::has_line(w[0] == '^' ? s.restart : s.lines, w.substr(w[0] == '^'))) << w;
        }
        if (!s.aclPath.empty()) {
            EXPECT_TRUE(dt::has_line(s.lines, "accept_mac_file=" + s.aclPath));
            EXPECT_EQ(s.acl, "00:01:02:03:04:05\n");
            EXPECT_EQ(p.leftOut, std::vector<std::string>{"00:11:22:33:44:55:66"});
        }
    }
}

// Which interfaces are on, and the refusals gathered from those only.
TEST_F(PlanTest, InterfacesOnAndRefusalsGathered)
{
    DorvanImage img = image({{"wlEnbl_wl0v1", "1"}, {"wlEnbl_wl0v2", "1"}, {"wlWpaPsk_wl0v2", "short"},
                             {"wlWpaPsk_wl0v3", "short"}, {"wlChannel", "99"}});
    auto on = [](const RadioPlan &p) { return std::string{char('0' + p.on[0]), char('0' + p.on[1]),
                                                           char('0' + p.on[2]), char('0' + p.on[3])}; };
    RadioPlan p = dplat::radio::make_plan(env, img, 1);
    EXPECT_EQ(on(p) + " " + p.refused, "1110 wlChannel wlWpaPsk_wl0v2 ");
    p = dplat::radio::make_plan(env, img, 0);
    EXPECT_EQ(on(p) + " " + p.refused, "0000 wlChannel ");
    img.vars["wlEnbl_wl0v0"] = "0";
    p = dplat::radio::make_plan(env, img, -1);
    EXPECT_EQ(on(p) + " " + p.refused, "0000 wlChannel ");

    // The whole file: a bss= section per guest, only keys the plan may write.
    img = image({{"wlEnbl_wl0v1", "1"}, {"wlSsid_wl0v0", "evil\nwpa=0"}, {"wlRadiusKey_wl0v0", "x\ny"}});
    std::string conf = radio_render(img, 1);
    EXPECT_NE(conf.find("\nbss=dvt0-1\nctrl_interface=" + root.file("var/run/hostapd") + "\n"), std::string::npos) << conf;
    for (const std::string &l : dt::lines(conf)) {
        size_t eq = l.find('=');
        EXPECT_TRUE(l.empty() || l[0] == '#' || (eq != std::string::npos && radio_key_allowed(l.substr(0, eq)))) << l;
    }
    EXPECT_EQ(radio_render(img, 0), "");
}

// A channel alone moves by a switch announcement; with anything else, at
// 40 MHz or to or from hostapd's own choice, the radio restarts.
TEST_F(PlanTest, ChannelSwitchOnlyForTheChannelAlone)
{
    const Vars five = {{"wlBands", "1"}, {"wlNBwCap", "0"}}, jpB = {{"wlCountry", "JP"}, {"wlPhyType", "b"}};
    auto with = [](Vars v, const char *ch) { return v.push_back({"wlChannel", ch}), v; };
    const struct {
        Vars was, now;
        const char *want;
    } rows[] = {
        {{}, with({}, "11"), "CHAN_SWITCH 5 2462 ht"}, {with(five, "36"), with(five, "48"), "CHAN_SWITCH 5 5240 ht"},
        {jpB, with(jpB, "14"), "CHAN_SWITCH 5 2484"}, {{}, with({}, "0"), ""}, {with({}, "0"), {}, ""},
        {{}, with(five, "36"), ""}, {{{"wlNBwCap", "1"}, {"wlChannel", "3"}}, {{"wlNBwCap", "1"}, {"wlChannel", "4"}}, ""},
        {{}, {{"wlCountry", "DE"}, {"wlChannel", "13"}}, ""},
    };
    for (const auto &r : rows) {
        RadioPlan was = dplat::radio::make_plan(env, image(r.was), 1), now = dplat::radio::make_plan(env, image(r.now), 1);
        EXPECT_EQ(was.refused + now.refused + dplat::radio::chan_switch(was.radio, now.radio), r.want) << now.radio.restart;
    }
}

// What each WPS operation asks hostapd for: PINs of 4 or 8 digits only.
TEST_F(PlanTest, WpsOperationsToRequests)
{
    const struct {
        const char *config, *staPin, *devPin, *want;
    } rows[] = {
        {"client-pbc", "", "", "WPS_PBC"}, {"client-pbc-reset", "", "", "WPS_PBC"}, {"ap-pbc", "", "", "WPS_PBC"},
        {"client-pin", "12345670", "", "WPS_PIN any 12345670"}, {"client-pin-reset", "1234", "", "WPS_PIN any 1234"},
        {"client-pin", "123", "", ""}, {"client-pin", "12a4", "", ""}, {"client-pin", "123456789", "1234", ""},
        {"ap-pin", "", "87654321", "WPS_AP_PIN set 87654321"}, {"ap-er", "", "1234", "WPS_AP_PIN set 1234"},
        {"ap-pin", "1234", "1234567", ""}, {"er-done", "", "", "WPS_AP_PIN disable"}, {"er-Done", "", "", ""},
    };
    for (const auto &r : rows) {
        DorvanImage img = image({{"wlWscStaPin_wl0v1", r.staPin}, {"wlWscDevPin_wl0v1", r.devPin}});
        EXPECT_EQ(dplat::radio::wps_command(img, 1, r.config), r.want) << r.config << " " << r.staPin << " " << r.devPin;
    }
}

}  // namespace
