// wlsecurity through the real handler on a private root.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "intfsec_test_util.h"
#include "testutil.h"

using dt::R;
using intfsec::bracket;
using intfsec::cat;
using intfsec::kIfaceNeeded;
using intfsec::set;
using Lines = std::vector<std::string>;

namespace {

const char *const kCmd = "processWlSecurityCmd";
const char *const kView = "cmdWlSecView";
const std::string kWpsOn = " wl_wsc_mode:enabled wsc_config_state:unconfigured wlWscDevPin:12345670\n";

// Interface i with every value the view reads; the others list nothing.
void seed_view(int i, const std::string &auth, const std::string &wep, const std::string &wsc)
{
    std::string k = "_wl0v" + std::to_string(i);
    dt::seed({{"wlSsid" + k, "S"}, {"wlAuthMode" + k, auth}, {"wlWep" + k, wep},
              {"wlKeyBit" + k, "1"}, {"wlKeyIndex" + k, "2"}, {"wlKey1" + k, "k1"},
              {"wlKey2" + k, "k2"}, {"wlKey3" + k, "k3"}, {"wlKey4" + k, "k4"},
              {"wlRadiusServerIP" + k, "10.0.0.9"}, {"wlRadiusPort" + k, "1812"},
              {"wlRadiusKey" + k, "rk"}, {"wlWpa" + k, "aes"}, {"wlWpaGTKRekey" + k, "3600"},
              {"wlNetReauth" + k, "36000"}, {"wlWpaPsk" + k, "pskey"}, {"wlPreauth" + k, "1"},
              {"wlWscMode" + k, wsc}, {"wlWscAPMode_wl0v0", "0"},
              {"wlWscDevPin_wl0v0", "12345670"}, {"wlSsidIdx", "0"}});
}

void seed_view_only(int i, const std::string &auth, const std::string &wep, const std::string &wsc)
{
    for (int j = 0; j < 4; j++)
        seed_view(j, "open", "", "off");
    seed_view(i, auth, wep, wsc);
}

std::string refusal(const std::string &ifname, const std::string &auth)
{
    return "The wl_wsc_mode can be enabled  only when WPA-PSK, WPA2-PSK or open mode is "
           "configured.\n" + ifname + "'s wlAuthMode is " + auth +
           ",please manually change it and then enable wl_wsc_mode.\n";
}

}  // namespace

TEST(WlSecurity, HelpForNoOrUnknownSubCommand)
{
    dt::TempRoot root;
    EXPECT_EQ(dt::run_request("wlsecurity"), R("wlsechelp"));
    EXPECT_EQ(dt::run_request("wlsecurity setup --interface wl0"), R("wlsechelp"));
    EXPECT_TRUE(root.trace().empty());
}

TEST(WlSecurity, ViewOfEveryModeWithWpsOffAndOn)
{
    const std::string keys = " wlKeyBit:64-bit wlKeyIndex:2 wlKey1:k1 wlKey2:k2 wlKey3:k3 wlKey4:k4";
    const std::string wpa2 = " wlPreauth:enabled wlWpaGTKRekey:3600 wlNetReauth:36000 "
                             "wlRadiusServerIP:10.0.0.9 wlRadiusPort:1812 wlRadiusKey:rk wlWpa:aes";
    const std::string psk = " wlWpaGTKRekey:3600 wlWpaPsk:pskey wlWpa:aes";
    const struct {
        const char *auth, *wep;
        std::string body;  // the line without its WPS part; "" when WPS is refused
        std::string wps_off_body;
    } rows[] = {
        {"open", "enabled", "wl0:S wlAuthMode:open wlWep:enabled" + keys, ""},
        {"open", "Enabled", "wl0:S wlAuthMode:open wlWep:disabled", ""},
        {"shared", "", "", "wl0:S wlAuthMode:shared" + keys},
        {"radius", "", "", "wl0:S wlAuthMode:radius wlRadiusServerIP:10.0.0.9 wlRadiusPort:1812 "
                           "wlRadiusKey:rk wlWep:enabled wlKeyBit:64-bit wlKeyIndex:2 wlKey2:k2 wlKey3:k3 "},
        {"wpa", "", "", "wl0:S wlAuthMode:wpa wlWpaGTKRekey:3600 wlRadiusServerIP:10.0.0.9 "
                        "wlRadiusPort:1812 wlRadiusKey:rk wlWpa:aes"},
        {"psk", "", "wl0:S wlAuthMode:psk" + psk, ""},
        {"wpa2", "", "", "wl0:S wlAuthMode:wpa2" + wpa2},
        {"psk2", "", "wl0:S wlAuthMode:psk2" + psk, ""},
        {"wpa2mix", "", "", "wl0:S wlAuthMode:wpa2mix" + wpa2},
        {"psk2mix", "", "wl0:S wlAuthMode:psk2mix" + psk, ""},
        {"PSK2", "", "", ""},  // no such mode: WPS off shows only the suffix
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.auth) + "/" + row.wep);
        dt::TempRoot root;
        seed_view_only(0, row.auth, row.wep, "disabled");
        std::string off = row.body.empty() ? row.wps_off_body : row.body;
        EXPECT_EQ(dt::run_request("wlsecurity show"), R(off + " wl_wsc_mode:disabled\n"));
        seed_view(0, row.auth, row.wep, "enabled");
        std::string on = row.body.empty() ? refusal("wl0", row.auth) : row.body + kWpsOn;
        EXPECT_EQ(dt::run_request("wlsecurity SHOW"), R(on));
    }
}

TEST(WlSecurity, ViewEndsAtTheFirstInterfaceRefusingWpsAndSelectsWl0Again)
{
    dt::TempRoot root;
    seed_view(0, "psk", "", "disabled");
    seed_view(1, "wpa2", "", "enabled");
    seed_view(2, "open", "", "disabled");
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlsecurity show"),
              R("wl0:S wlAuthMode:psk wlWpaGTKRekey:3600 wlWpaPsk:pskey wlWpa:aes "
                "wl_wsc_mode:disabled\n" + refusal("wl0.1", "wpa2")));
    EXPECT_EQ(root.trace(), bracket(kView, {set("wlSsidIdx", "0"), set("wlSsidIdx", "1"),
                                            set("wlSsidIdx", "0")}, false));
}

TEST(WlSecurity, ViewShowsWpsStateOfTheInterfaceSelectedBeforeAndOddCodesAsStored)
{
    dt::TempRoot root;
    seed_view_only(0, "open", "enabled", "enabled");
    dt::seed({{"wlSsidIdx", "2"}, {"wlWscAPMode_wl0v2", "5"}, {"wlWscDevPin_wl0v2", "4321"},
              {"wlKeyBit_wl0v0", "7"}});
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlsecurity show"),
              R("wl0:S wlAuthMode:open wlWep:enabled wlKeyBit:7 wlKeyIndex:2 wlKey1:k1 wlKey2:k2 "
                "wlKey3:k3 wlKey4:k4 wl_wsc_mode:enabled wsc_config_state:5 wlWscDevPin:4321\n"));
    EXPECT_EQ(intfsec::sets(root), (Lines{set("wlSsidIdx", "0"), set("wlSsidIdx", "1"), set("wlSsidIdx", "2"),
                                          set("wlSsidIdx", "3"), set("wlSsidIdx", "0")}));
}

TEST(WlSecurity, ViewOfDisabledWirelessOrWithoutTheLock)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "0"}, {"wlSsidIdx", "2"}});
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlsecurity show"), R("wireless is currently disabled\n"));
    EXPECT_EQ(root.trace(), bracket(kView));
    EXPECT_EQ(dt::stored("wlSsidIdx"), "2");

    root.clear_trace();
    dt::LockHolder other;
    EXPECT_EQ(dt::run_request("wlsecurity show"), "");
    EXPECT_EQ(dt::run_request("wlsecurity wpssetup --interface wl0 --operation addER"), "");
    EXPECT_EQ(dt::run_request("wlsecurity manualsetup --interface wl0 --wlAuthMode open"), "");
    EXPECT_TRUE(root.trace().empty());
}

TEST(WlSecurity, WpsSetupWritesEachOperationsSequence)
{
    const Lines pin = {set("wsc_config_state", "1"), set("wlWscStaPin", "1234"), set("wsc_addER", "0")};
    const Lines pbc = {set("wsc_config_state", "1"), set("wlWscStaPin", ""), set("wsc_addER", "0")};
    const Lines ap = {set("wsc_addER", "0")};
    const Lines ap_tail = {set("wsc_proc_status", "0")};
    const struct {
        const char *args;
        Lines writes;
    } rows[] = {
        {"--operation addenrollee_Pin --wlWscAPMode 0 --wlWscStaPin 1234",
         cat(pin, {set("wlWscConfig", "client-pin-reset"), set("wsc_force_restart", "y")})},
        {"--wlWscStaPin 1234 --operation addenrollee_Pin",
         cat(pin, {set("wlWscConfig", "client-pin"), set("wsc_force_restart", "n"),
                   set("wsc_proc_status", "0"), set("wsc_method", "1"), set("wsc_config_command", "1")})},
        {"--OPERATION addenrollee_PBC --WLWSCAPMODE x0",
         cat(pbc, {set("wlWscConfig", "client-pbc-reset"), set("wsc_force_restart", "y")})},
        {"--operation addenrollee_PBC --wlWscAPMode 2",
         cat(pbc, {set("wlWscConfig", "client-pbc"), set("wsc_event", "a"), set("wsc_force_restart", "n")})},
        {"--operation configureAP --configmode pin",
         cat(ap, {set("wlWscConfig", "ap-pin"), set("wsc_proc_status", "0"), set("wsc_method", "1"),
                  set("wsc_config_command", "1"), set("wsc_config_state", "0"), set("wsc_force_restart", "y")})},
        {"--operation configureAP --configmode PIN",
         cat(ap, {set("wlWscConfig", "ap-pbc"), set("wsc_proc_status", "0"), set("wsc_method", "2"),
                  set("wsc_config_command", "1"), set("wsc_config_state", "0"), set("wsc_force_restart", "y")})},
        {"stray --operation addER",
         {set("wsc_addER", "1"), set("wsc_config_state", "1"), set("wlWscConfig", "ap-er"),
          set("wsc_proc_status", "0"), set("wsc_force_restart", "y")}},
        {"--operation addERDone",
         {set("wsc_addER", "0"), set("wsc_config_state", "1"), set("wlWscConfig", "er-done"),
          set("wsc_force_restart", "y")}},
        {"--operation", {}},  // a last word has no value: no operation
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args);
        dt::TempRoot root;
        dt::seed({{"wlSsidIdx", "0"}, {"wlAuthMode_wl0v0", "psk2"}});
        root.clear_trace();
        EXPECT_EQ(dt::run_request(std::string("wlsecurity wpssetup --interface wl0.2 ") + row.args),
                  R("execute setupwps successfully!!\n"));
        EXPECT_EQ(root.trace(), bracket(kCmd, cat({set("wlSsidIdx", "2"), set("wl_wsc_mode", "enabled"),
                                                   set("wl_wsc_reg", "enabled")}, row.writes)));
        EXPECT_EQ(dt::stored("wlSsidIdx"), "2");
    }
}

TEST(WlSecurity, WpsSetupRefusalsWriteNothing)
{
    dt::TempRoot root;
    // The auth check reads the interface selected before the command (wl0).
    dt::seed({{"wlSsidIdx", "0"}, {"wlAuthMode_wl0v0", "wpa2"}, {"wlAuthMode_wl0v1", "psk"}});
    root.clear_trace();
    const struct {
        std::string args, reply, out;
    } rows[] = {
        {"--interface wl0.4 --operation addER", "wlsechelp", kIfaceNeeded},
        {"--interface wl0 --interface wl0.7", "wlsechelp", kIfaceNeeded},
        {"--operation addER", "wlsechelp", kIfaceNeeded},
        {"--interface wl0 --operation AddEnrollee_PBC", "wlsechelp", ""},
        {"--interface wl0 --operation addERdone", "wlsechelp", ""},
        {"--interface wl0.1 --operation addenrollee_PBC",
         "The operations:addenrollee_Pin and addenrollee_PBC are available  only when WPA-PSK, "
         "WPA2-PSK or open mode is configured.\n", ""},
        {"--interface wl0 --wlWscStaPin " + std::string(256, '1'), "wlsechelp", ""},
    };
    Lines want;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args);
        dt::StdoutCapture out;
        EXPECT_EQ(dt::run_request("wlsecurity wpssetup " + row.args), R(row.reply));
        EXPECT_EQ(out.finish(), row.out);
        want = cat(want, bracket(kCmd));
    }
    EXPECT_EQ(root.trace(), want);
}

TEST(WlSecurity, ManualSetupWritesModeThenEveryPair)
{
    const struct {
        std::string args;
        Lines writes;
    } rows[] = {
        {"--interface wl0.1 --wlAuthMode shared --wlKeyIndex 2",
         {set("wlSsidIdx", "1"), set("wl_wsc_mode", "disabled"), set("wlAuth", "1"), set("wlWep", "1"),
          set("interface", "wl0.1"), set("wlAuthMode", "shared"), set("wlKeyIndex", "2")}},
        {"--wlAuthMode open --interface wl0",
         {set("wlSsidIdx", "0"), set("wl_wsc_mode", "disabled"), set("wlAuth", "0"),
          set("wlAuthMode", "open"), set("interface", "wl0")}},
        {"--interface wl0.3 --wlAuthMode radius",
         {set("wlSsidIdx", "3"), set("wl_wsc_mode", "disabled"), set("wlAuth", "0"), set("wlWep", "1"),
          set("interface", "wl0.3"), set("wlAuthMode", "radius")}},
        // A later pair wins over the mode's value; "--" names nothing; the last word is unpaired.
        {"--interface wl0 --wlAuthMode wpa2mix --wlWep 1 -- x --wlWpa",
         {set("wlSsidIdx", "0"), set("wl_wsc_mode", "disabled"), set("wlAuth", "0"), set("wlWep", "0"),
          set("interface", "wl0"), set("wlAuthMode", "wpa2mix"), set("wlWep", "1")}},
        // A stray word shifts the pairing, so wlAuthMode itself is not written.
        {"foo --interface wl0 --wlAuthMode psk",
         {set("wlSsidIdx", "0"), set("wl_wsc_mode", "disabled"), set("wlAuth", "0"), set("wlWep", "0"),
          set("o", "--interface"), set("0", "--wlAuthMode")}},
        // Two interface options count as two: no mode, nothing written for it.
        {"--interface wl0 --INTERFACE wl0.2",
         {set("wlSsidIdx", "2"), set("wl_wsc_mode", "disabled"), set("interface", "wl0"),
          set("INTERFACE", "wl0.2")}},
        {"--interface wl0 --wlAuthMode psk2 --" + std::string(63, 'n') + " " + std::string(255, 'v'),
         {set("wlSsidIdx", "0"), set("wl_wsc_mode", "disabled"), set("wlAuth", "0"), set("wlWep", "0"),
          set("interface", "wl0"), set("wlAuthMode", "psk2"), set(std::string(63, 'n'), std::string(255, 'v'))}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args);
        dt::TempRoot root;
        EXPECT_EQ(dt::run_request("wlsecurity MANUALSETUP " + row.args),
                  R("execute manualsetup successfully!!\n"));
        EXPECT_EQ(root.trace(), bracket(kCmd, row.writes));
    }
}

TEST(WlSecurity, ManualSetupRefusalsWriteNothing)
{
    dt::TempRoot root;
    const struct {
        std::string args, out;
    } rows[] = {
        {"--interface wl0.1", ""},
        {"--interface wl0.1 --wlAuthMode", ""},
        {"--interface wl0 --wlAuthMode PSK", ""},
        {"--interface wl9 --wlAuthMode psk", kIfaceNeeded},
        {"--wlAuthMode psk --wlAuthMode psk2", kIfaceNeeded},
        {"--interface wl0 --wlAuthMode psk --" + std::string(64, 'n') + " 1", ""},
        {"--interface wl0 --wlAuthMode psk --wlWpaPsk " + std::string(256, 'v'), ""},
    };
    Lines want;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args);
        dt::StdoutCapture out;
        EXPECT_EQ(dt::run_request("wlsecurity manualsetup " + row.args), R("wlsechelp"));
        EXPECT_EQ(out.finish(), row.out);
        want = cat(want, bracket(kCmd));
    }
    EXPECT_EQ(root.trace(), want);
}
