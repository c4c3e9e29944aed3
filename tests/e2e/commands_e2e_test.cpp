// A handful of whole exchanges with each command through the real dorvand,
// its FIFOs and the front end; the replies' details are pinned by the
// handler tests.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

using dt::R;

namespace {

std::string cfg(const std::string &args)
{
    std::string out;
    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " " + args, &out), 0) << args;
    return out;
}

}  // namespace

TEST(CommandsE2E, SetupsShowInTheNextViewAndPersistInFlash)
{
    dt::TempRoot root;
    // Only wl0 is listed by the security view.
    dt::seed({{"wlSsid_wl0v0", "Home"}, {"wlAuthMode_wl0v0", "psk2"}, {"wlWpa_wl0v0", "aes"},
              {"wlWpaGTKRekey_wl0v0", "3600"}, {"wlWpaPsk_wl0v0", "secret99"}, {"wlWscMode_wl0v0", "disabled"},
              {"wlWscDevPin_wl0v0", "12345670"}, {"wlWscMode_wl0v1", "-"}, {"wlWscMode_wl0v2", "-"},
              {"wlWscMode_wl0v3", "-"}, {"wlEnbl_wl0v1", "0"}});
    dt::Daemon d(root);
    const std::string psk2 = "wl0:Home wlAuthMode:psk2 wlWpaGTKRekey:3600 wlWpaPsk:secret99 wlWpa:aes wl_wsc_mode:";
    EXPECT_EQ(dt::ask("wlsecurity show"), psk2 + "disabled\n");
    EXPECT_EQ(dt::ask("wlsecurity wpssetup --interface wl0 --operation configureAP"), "execute setupwps successfully!!\n");
    EXPECT_EQ(dt::ask("wlsecurity show"), psk2 + "enabled wsc_config_state:unconfigured wlWscDevPin:12345670\n");

    EXPECT_EQ(dt::ask("wlinterface enable --interface wl0.1 --wlSsid Guest"), "enable wl0.1 successfully!!\n");
    std::string show = dt::ask("wlinterface show");
    EXPECT_EQ(show.rfind("wl0:enabled  ", 0), 0u) << show;
    EXPECT_NE(show.find("\nwl0.1:enabled  wlSsid:Guest  wlCountry:"), std::string::npos) << show;
    EXPECT_EQ(cfg("--flash get wlSsid_wl0v1"), "Guest\n");

    EXPECT_EQ(dt::ask("wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55,66:77:88:99:aa:bb"),
              "addmac for wl0 successfully!!\n");
    show = dt::ask("wlmacfilter show");
    EXPECT_EQ(show.substr(0, show.find('\n') + 1),
              "wl0:enabled  wlSsid:Home  wlFltMacMode:disable maclist: 00:11:22:33:44:55  66:77:88:99:aa:bb  \n");
    EXPECT_EQ(cfg("--flash macfilter"), "wl0 00:11:22:33:44:55 Home\nwl0 66:77:88:99:aa:bb Home\n");
}

TEST(CommandsE2E, BridgeScanAndAdvancedSettings)
{
    dt::TempRoot root;
    dt::Daemon d(root);
    EXPECT_EQ(dt::ask("wlwds enablerestrict --wlMode ap --wdsmode dynamic --wlWds 00:11:22:33:44:55"),
              " set macs for wireless bridge restrict successfully!!\n");
    EXPECT_EQ(cfg("--flash wds"), "00:11:22:33:44:55\n");
    dt::write_file(root.file("var/dorvan/radio/wds_peers"), "00:11:22:33:44:55 Attic\nAA:00:00:00:00:01 Shed\n");
    EXPECT_EQ(dt::ask("wlwds show"), "AP Mode:ap  Bridge Restrict:enabled(scan)   [ssid:Attic mac:00:11:22:33:44:55 "
                                     "configured] [ssid:Shed mac:AA:00:00:00:00:01 unconfigured] \n");

    // On factory defaults: the US 2.4 GHz list, then a change seen in the view.
    EXPECT_EQ(dt::raw_exchange(R("wladv config --wlChannel 15")),
              R("The wlChannel value 15 you set is not in the current channel list:0 1 2 3 4 5 6 7 8 9 10 11 \n"));
    std::string out;
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " wladv config --wlChannel 6 --wlDtmIntvl 3", &out), 0);
    EXPECT_EQ(out, "wireless advanced setting is configured successfully!!\n");
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " wladv show", &out), 0);
    EXPECT_NE(out.find("\n Channel:6\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n DTIM Interval:3\n"), std::string::npos) << out;
    EXPECT_EQ(cfg("--flash get wlDtmIntvl"), "3\n");
}
