// wlsecurity through the real handler on a private root.
#include <gtest/gtest.h>

#include <string>

#include "commands.h"
#include "testutil.h"

using dt::bracket;
using dt::Lines;
using dt::R;

namespace {

const std::string kIfaceNeeded = IFACE_NEEDED_TEXT;

const char *const kCmd = "processWlSecurityCmd";

// Interface i with every value the view reads; a WPS mode of "-" lists nothing.
void seed_view(int i, const std::string &auth, const std::string &wep, const std::string &wsc)
{
    const char *const fixed[][2] = {
        {"wlSsid", "S"}, {"wlKeyBit", "1"}, {"wlKeyIndex", "2"}, {"wlKey1", "k1"},
        {"wlKey2", "k2"}, {"wlKey3", "k3"}, {"wlKey4", "k4"}, {"wlRadiusServerIP", "10.0.0.9"},
        {"wlRadiusPort", "1812"}, {"wlRadiusKey", "rk"}, {"wlWpa", "aes"},
        {"wlWpaGTKRekey", "3600"}, {"wlNetReauth", "36000"}, {"wlWpaPsk", "pskey"},
        {"wlPreauth", "1"}};
    std::string k = "_wl0v" + std::to_string(i);
    for (const auto &f : fixed)
        dt::seed({{f[0] + k, f[1]}});
    dt::seed({{"wlAuthMode" + k, auth}, {"wlWep" + k, wep}, {"wlWscMode" + k, wsc},
              {"wlWscAPMode_wl0v0", "0"}, {"wlWscDevPin_wl0v0", "12345670"}});
}

std::string refusal(const std::string &ifname, const std::string &auth)
{
    return "The wl_wsc_mode can be enabled  only when WPA-PSK, WPA2-PSK or open mode is "
           "configured.\n" + ifname + "'s wlAuthMode is " + auth +
           ",please manually change it and then enable wl_wsc_mode.\n";
}

}  // namespace

TEST(WlSecurity, ViewOfEveryModeWithWpsOffAndOn)
{
    const std::string keys =
        " wlKeyBit:64-bit wlKeyIndex:2 wlKey1:k1 wlKey2:k2 wlKey3:k3 wlKey4:k4";
    const std::string radius = " wlRadiusServerIP:10.0.0.9 wlRadiusPort:1812 wlRadiusKey:rk";
    const std::string wpa2 =
        " wlPreauth:enabled wlWpaGTKRekey:3600 wlNetReauth:36000" + radius + " wlWpa:aes";
    const std::string psk = " wlWpaGTKRekey:3600 wlWpaPsk:pskey wlWpa:aes";
    const struct {
        const char *auth, *wep;
        std::string body;  // the line before its WPS part
        bool wps;          // WPS may be on in this mode
    } rows[] = {
        {"open", "enabled", "wl0:S wlAuthMode:open wlWep:enabled" + keys, true},
        {"open", "Enabled", "wl0:S wlAuthMode:open wlWep:disabled", true},
        {"shared", "", "wl0:S wlAuthMode:shared" + keys, false},
        {"radius", "", "wl0:S wlAuthMode:radius" + radius +
                           " wlWep:enabled wlKeyBit:64-bit wlKeyIndex:2 wlKey2:k2 wlKey3:k3 ",
         false},
        {"wpa", "", "wl0:S wlAuthMode:wpa wlWpaGTKRekey:3600" + radius + " wlWpa:aes", false},
        {"psk", "", "wl0:S wlAuthMode:psk" + psk, true},
        {"wpa2", "", "wl0:S wlAuthMode:wpa2" + wpa2, false},
        {"psk2", "", "wl0:S wlAuthMode:psk2" + psk, true},
        {"wpa2mix", "", "wl0:S wlAuthMode:wpa2mix" + wpa2, false},
        {"psk2mix", "", "wl0:S wlAuthMode:psk2mix" + psk, true},
        {"PSK2", "", "", false},  // no such mode: with WPS off only the suffix
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.auth) + "/" + row.wep);
        dt::TempRoot root;
        dt::seed({{"wlWscMode_wl0v1", "-"}, {"wlWscMode_wl0v2", "-"}, {"wlWscMode_wl0v3", "-"}});
        seed_view(0, row.auth, row.wep, "disabled");
        EXPECT_EQ(dt::run_request("wlsecurity show"), R(row.body + " wl_wsc_mode:disabled\n"));
        dt::seed({{"wlWscMode_wl0v0", "enabled"}});
        EXPECT_EQ(dt::run_request("wlsecurity SHOW"),
                  R(row.wps ? row.body + " wl_wsc_mode:enabled wsc_config_state:unconfigured "
                                         "wlWscDevPin:12345670\n"
                            : refusal("wl0", row.auth)));
    }
}

TEST(WlSecurity, ViewEndsAtFirstWpsRefusalShowsWpsStateAsSelectedBeforeAndSelectsWl0)
{
    dt::TempRoot root;
    seed_view(0, "open", "enabled", "enabled");
    seed_view(1, "wpa2", "", "enabled");
    seed_view(2, "open", "", "disabled");
    // The WPS state comes from wl0.2, selected when the view starts; odd codes show as stored.
    dt::seed({{"wlSsidIdx", "2"}, {"wlWscAPMode_wl0v2", "5"}, {"wlWscDevPin_wl0v2", "4321"},
              {"wlKeyBit_wl0v0", "7"}});
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlsecurity show"),
              R("wl0:S wlAuthMode:open wlWep:enabled wlKeyBit:7 wlKeyIndex:2 wlKey1:k1 wlKey2:k2 "
                "wlKey3:k3 wlKey4:k4 wl_wsc_mode:enabled wsc_config_state:5 wlWscDevPin:4321\n" +
                refusal("wl0.1", "wpa2")));
    EXPECT_EQ(root.trace(), bracket("cmdWlSecView", "wlSsidIdx=0 wlSsidIdx=1 wlSsidIdx=0", false));
}

TEST(WlSecurity, HelpAndDisabledWireless)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "0"}});
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlsecurity"), R("wlsechelp"));
    EXPECT_EQ(dt::run_request("wlsecurity setup --interface wl0"), R("wlsechelp"));
    EXPECT_EQ(dt::run_request("wlsecurity show"), R("wireless is currently disabled\n"));
    EXPECT_EQ(root.trace(), bracket("cmdWlSecView"));  // wlSsidIdx not written
}

TEST(WlSecurity, WpsSetupWritesEachOperationsSequence)
{
    const char *const rows[][2] = {
        {"--operation addenrollee_Pin --wlWscAPMode 0 --wlWscStaPin 1234",
         "wsc_config_state=1 wlWscStaPin=1234 wsc_addER=0 wlWscConfig=client-pin-reset "
         "wsc_force_restart=y"},
        {"--wlWscStaPin 1234 --operation addenrollee_Pin",
         "wsc_config_state=1 wlWscStaPin=1234 wsc_addER=0 wlWscConfig=client-pin "
         "wsc_force_restart=n wsc_proc_status=0 wsc_method=1 wsc_config_command=1"},
        {"--OPERATION addenrollee_PBC --WLWSCAPMODE x0",
         "wsc_config_state=1 wlWscStaPin= wsc_addER=0 wlWscConfig=client-pbc-reset "
         "wsc_force_restart=y"},
        {"--operation addenrollee_PBC --wlWscAPMode 2",
         "wsc_config_state=1 wlWscStaPin= wsc_addER=0 wlWscConfig=client-pbc wsc_event=a "
         "wsc_force_restart=n"},
        {"--operation configureAP --configmode pin",
         "wsc_addER=0 wlWscConfig=ap-pin wsc_proc_status=0 wsc_method=1 wsc_config_command=1 "
         "wsc_config_state=0 wsc_force_restart=y"},
        {"--operation configureAP --configmode PIN",
         "wsc_addER=0 wlWscConfig=ap-pbc wsc_proc_status=0 wsc_method=2 wsc_config_command=1 "
         "wsc_config_state=0 wsc_force_restart=y"},
        {"stray --operation addER",
         "wsc_addER=1 wsc_config_state=1 wlWscConfig=ap-er wsc_proc_status=0 wsc_force_restart=y"},
        {"--operation addERDone",
         "wsc_addER=0 wsc_config_state=1 wlWscConfig=er-done wsc_force_restart=y"},
        {"--operation", ""},  // a last word has no value: no operation
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row[0]);
        dt::TempRoot root;
        dt::seed({{"wlSsidIdx", "0"}, {"wlAuthMode_wl0v0", "psk2"}});
        root.clear_trace();
        EXPECT_EQ(dt::run_request(std::string("wlsecurity wpssetup --interface wl0.2 ") + row[0]),
                  R("execute setupwps successfully!!\n"));
        EXPECT_EQ(root.trace(), bracket(kCmd, "wlSsidIdx=2 wl_wsc_mode=enabled "
                                              "wl_wsc_reg=enabled " + std::string(row[1])));
    }
}

TEST(WlSecurity, SetupRefusalsWriteNothing)
{
    dt::TempRoot root;
    // The WPS auth check reads the interface selected before the command (wl0).
    dt::seed({{"wlSsidIdx", "0"}, {"wlAuthMode_wl0v0", "wpa2"}, {"wlAuthMode_wl0v1", "psk"}});
    root.clear_trace();
    const std::string help = "wlsechelp", none = "";
    const struct {
        std::string args, reply, out;
    } rows[] = {
        {"wpssetup --interface wl0.4 --operation addER", help, kIfaceNeeded},
        {"wpssetup --interface wl0 --interface wl0.7", help, kIfaceNeeded},
        {"wpssetup --operation addER", help, kIfaceNeeded},
        {"wpssetup --interface wl0 --operation AddEnrollee_PBC", help, none},
        {"wpssetup --interface wl0.1 --operation addenrollee_PBC",
         "The operations:addenrollee_Pin and addenrollee_PBC are available  only when WPA-PSK, "
         "WPA2-PSK or open mode is configured.\n", none},
        {"wpssetup --interface wl0 --wlWscStaPin " + std::string(256, '1'), help, none},
        {"manualsetup --interface wl0.1", help, none},
        {"manualsetup --interface wl0 --wlAuthMode PSK", help, none},
        {"manualsetup --interface wl9 --wlAuthMode psk", help, kIfaceNeeded},
        {"manualsetup --wlAuthMode psk --wlAuthMode psk2", help, kIfaceNeeded},
        {"manualsetup --interface wl0 --wlAuthMode psk --" + std::string(64, 'n') + " 1", help,
         none},
        {"manualsetup --interface wl0 --wlAuthMode psk --wlWpaPsk " + std::string(256, 'v'), help,
         none},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args);
        dt::StdoutCapture out;
        EXPECT_EQ(dt::run_request("wlsecurity " + row.args), R(row.reply));
        EXPECT_EQ(out.finish(), row.out);
    }
    EXPECT_EQ(root.trace(), bracket(kCmd, "", true, 12));
}

TEST(WlSecurity, ManualSetupWritesModeThenEveryPair)
{
    const std::string name(63, 'n'), value(255, 'v');
    const std::string head = "wlSsidIdx=0 wl_wsc_mode=disabled ";
    const struct {
        std::string args, writes;
    } rows[] = {
        {"--interface wl0.1 --wlAuthMode shared --wlKeyIndex 2",
         "wlSsidIdx=1 wl_wsc_mode=disabled wlAuth=1 wlWep=1 interface=wl0.1 wlAuthMode=shared "
         "wlKeyIndex=2"},
        {"--wlAuthMode open --interface wl0", head + "wlAuth=0 wlAuthMode=open interface=wl0"},
        {"--interface wl0 --wlAuthMode radius",
         head + "wlAuth=0 wlWep=1 interface=wl0 wlAuthMode=radius"},
        // A later pair wins over the mode's value; "--" names nothing; the last word is unpaired.
        {"--interface wl0 --wlAuthMode wpa2mix --wlWep 1 -- x --wlWpa",
         head + "wlAuth=0 wlWep=0 interface=wl0 wlAuthMode=wpa2mix wlWep=1"},
        // A stray word shifts the pairing, so wlAuthMode itself is not written.
        {"foo --interface wl0 --wlAuthMode psk",
         head + "wlAuth=0 wlWep=0 o=--interface 0=--wlAuthMode"},
        // Two interface options count as two: no mode, so no mode writes.
        {"--interface wl0.2 --INTERFACE wl0",
         "wlSsidIdx=0 wl_wsc_mode=disabled interface=wl0.2 INTERFACE=wl0"},
        {"--interface wl0 --wlAuthMode psk2 --" + name + " " + value,
         head + "wlAuth=0 wlWep=0 interface=wl0 wlAuthMode=psk2 " + name + "=" + value},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args);
        dt::TempRoot root;
        EXPECT_EQ(dt::run_request("wlsecurity MANUALSETUP " + row.args),
                  R("execute manualsetup successfully!!\n"));
        EXPECT_EQ(root.trace(), bracket(kCmd, row.writes));
    }
}
