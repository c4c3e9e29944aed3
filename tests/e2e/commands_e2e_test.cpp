// Each command word through the real dorvand, its FIFOs and the front end:
// a change reaches the next view and the flash. The replies' details are
// pinned by the golden transcripts.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

TEST(CommandsE2E, ChangesShowInTheNextViewAndPersistInFlash)
{
    dt::TempRoot root;
    setenv("DORVAN_PASS_MS", "50", 1);
    dt::Daemon d(root);
    EXPECT_EQ(dt::ask("wlsecurity wpssetup --interface wl0 --operation configureAP"), "execute setupwps successfully!!\n");
    EXPECT_EQ(dt::ask("wlinterface enable --interface wl0.1 --wlSsid Guest"), "enable wl0.1 successfully!!\n");
    EXPECT_EQ(dt::ask("wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55"), "addmac for wl0 successfully!!\n");
    EXPECT_EQ(dt::ask("wlwds enablerestrict --wlMode ap --wdsmode dynamic --wlWds 00:11:22:33:44:55"),
              " set macs for wireless bridge restrict successfully!!\n");
    // The front end prints the reply as it came.
    std::string out;
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " wladv config --wlChannel 6 --wlDtmIntvl 3", &out), 0);
    EXPECT_EQ(out, "wireless advanced setting is configured successfully!!\n");
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " wladv show", &out), 0);
    EXPECT_NE(out.find("\n DTIM Interval:3\n"), std::string::npos) << out;

    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " --flash get wlWscMode_wl0v0 wlSsid_wl0v1 wlDtmIntvl", &out), 0);
    EXPECT_EQ(out, "enabled\nGuest\n3\n");
    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " --flash macfilter", &out), 0);
    EXPECT_EQ(out, "wl0 00:11:22:33:44:55 Dorvan\n");
    EXPECT_EQ(dt::run(dt::bin("dorvan-cfg") + " --flash wds", &out), 0);
    EXPECT_EQ(out, "00:11:22:33:44:55\n");
}
