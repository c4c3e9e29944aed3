// wlinterface and wlsecurity against the real dorvand through its FIFOs.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

TEST(IntfSecE2E, WpsAndManualSetupsShowInTheNextView)
{
    dt::TempRoot root;
    dt::seed({{"wlSsid_wl0v0", "Home"}, {"wlAuthMode_wl0v0", "psk2"}, {"wlWpa_wl0v0", "aes"},
              {"wlWpaGTKRekey_wl0v0", "3600"}, {"wlWpaPsk_wl0v0", "secret99"},
              {"wlWscMode_wl0v0", "disabled"}, {"wlWscDevPin_wl0v0", "12345670"},
              {"wlPreauth_wl0v0", "0"}, {"wlNetReauth_wl0v0", "0"}, {"wlRadiusKey_wl0v0", "rk"},
              {"wlRadiusServerIP_wl0v0", "0.0.0.0"}, {"wlRadiusPort_wl0v0", "1812"},
              // the virtual interfaces list nothing
              {"wlWscMode_wl0v1", "-"}, {"wlWscMode_wl0v2", "-"}, {"wlWscMode_wl0v3", "-"}});
    dt::Daemon d(root);
    const std::string psk2 =
        "wl0:Home wlAuthMode:psk2 wlWpaGTKRekey:3600 wlWpaPsk:secret99 wlWpa:aes wl_wsc_mode:";
    EXPECT_EQ(dt::ask("wlsecurity show"), psk2 + "disabled\n");
    EXPECT_EQ(dt::ask("wlsecurity wpssetup --interface wl0 --operation configureAP"),
              "execute setupwps successfully!!\n");
    EXPECT_EQ(dt::ask("wlsecurity show"),
              psk2 + "enabled wsc_config_state:unconfigured wlWscDevPin:12345670\n");
    EXPECT_EQ(dt::ask("wlsecurity manualsetup --interface wl0 --wlAuthMode wpa2"),
              "execute manualsetup successfully!!\n");
    EXPECT_EQ(dt::ask("wlsecurity show"),
              "wl0:Home wlAuthMode:wpa2 wlPreauth:disabled wlWpaGTKRekey:3600 wlNetReauth:0 "
              "wlRadiusServerIP:0.0.0.0 wlRadiusPort:1812 wlRadiusKey:rk wlWpa:aes "
              "wl_wsc_mode:disabled\n");
    EXPECT_EQ(dt::ask("wlsecurity wpssetup --interface wl0.5"), "wlsechelp");
    EXPECT_NE(d.out().find("--interface <wl0|wl0.1|wl0.2|wl0.3>  is needed\n"), std::string::npos);
}

TEST(IntfSecE2E, EnabledGuestInterfaceIsListedAndInFlash)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "1"}, {"wlEnbl_wl0v1", "0"}});
    dt::Daemon d(root);
    EXPECT_EQ(dt::ask("wlinterface enable --interface wl0.1 --wlSsid Guest"),
              "enable wl0.1 successfully!!\n");
    const std::string show = dt::ask("wlinterface show");
    EXPECT_EQ(show.rfind("wl0:enabled  ", 0), 0u) << show;
    EXPECT_NE(show.find("\nwl0.1:enabled  wlSsid:Guest  wlCountry:"), std::string::npos) << show;
    std::string flash;
    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " --flash get wlSsid_wl0v1 2>/dev/null", &flash), 0);
    EXPECT_EQ(flash, "Guest\n");
    EXPECT_EQ(dt::ask("wlinterface disable --interface wl0.1"), "disable wl0.1 successfully!!\n");
}
