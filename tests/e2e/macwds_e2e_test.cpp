// wlmacfilter and wlwds through the real daemon and its pipes.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

TEST(MacWdsE2E, FilterListPersistsInFlash)
{
    dt::TempRoot root;
    dt::Daemon d(root);
    EXPECT_EQ(dt::ask("wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55,66:77:88:99:aa:bb"),
              "addmac for wl0 successfully!!\n");
    EXPECT_EQ(dt::ask("wlmacfilter allow --interface wl0"), "set Mac Restrict Mode:allow for wl0 successfully!!\n");
    std::string show = dt::ask("wlmacfilter show");
    ASSERT_EQ(show.find("wl0:"), 0u) << show;
    const std::string wl0 = show.substr(0, show.find('\n') + 1);
    EXPECT_NE(wl0.find("wlFltMacMode:allow maclist: 00:11:22:33:44:55  66:77:88:99:aa:bb  \n"), std::string::npos)
        << show;
    EXPECT_NE(show.find("wl0.1:disabled  wlSsid:"), std::string::npos) << show;

    std::string flash;
    ASSERT_EQ(dt::run(dt::bin("dorvan-cfg") + " --flash macfilter", &flash), 0);
    EXPECT_NE(flash.find("wl0 00:11:22:33:44:55 "), std::string::npos) << flash;
    EXPECT_NE(flash.find("wl0 66:77:88:99:aa:bb "), std::string::npos) << flash;
}

TEST(MacWdsE2E, BridgeRestrictionAndScan)
{
    dt::TempRoot root;
    dt::Daemon d(root);
    EXPECT_EQ(dt::ask("wlwds enablerestrict --wlMode ap --wdsmode dynamic --wlWds 00:11:22:33:44:55"),
              " set macs for wireless bridge restrict successfully!!\n");
    std::string wds;
    ASSERT_EQ(dt::run(dt::bin("dorvan-cfg") + " --flash wds", &wds), 0);
    EXPECT_EQ(wds, "00:11:22:33:44:55\n");

    dt::run("mkdir -p '" + root.file("var/dorvan/radio") + "'");
    dt::write_file(root.file("var/dorvan/radio/wds_peers"), "00:11:22:33:44:55 Attic\nAA:00:00:00:00:01 Shed\n");
    EXPECT_EQ(dt::ask("wlwds show"), "AP Mode:ap  Bridge Restrict:enabled(scan)   [ssid:Attic mac:00:11:22:33:44:55 "
                                     "configured] [ssid:Shed mac:AA:00:00:00:00:01 unconfigured] \n");
    EXPECT_EQ(dt::ask("wlwds disablerestrict --wlMode wds"), "set  Bridge Restrict to be disabled successfully!!\n");
    EXPECT_EQ(dt::ask("wlwds show"), "AP Mode:wds  Bridge Restrict:disabled  \n");
}
