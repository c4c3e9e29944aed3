// wlmacfilter: address syntax and entries without an interface (the requests
// and replies are in tests/golden/wlmacfilter.txt).
#include <gtest/gtest.h>

#include <string>

#include "commands.h"
#include "testutil.h"
#include "wlmgr.h"

TEST(VerifyMacAddress, SyntaxTable)
{
    // 18 characters are the most taken, 19 too many.
    for (const char *ok : {"00:11:22:33:44:55", "0:1:2:3:4:5", ":0:1:2:3:4:5", "aA:bB:cC:dD:eE:fF",
                           "0::1:2:3:4:5", "000:11:22:33:44:55", "00:11:22:33:44:55:"})
        EXPECT_TRUE(verifyMacAddress(ok)) << ok;
    for (const char *bad : {"", ":::", "00-11-22-33-44-55", "00:11:22:33:44", "00:11:22:33:44:5g",
                            "00:11:22:33:44:100", "0000:11:22:33:44:55", "0:1:2:3:4:5:6", "+0:1:2:3:4:5",
                            "0:-1:2:3:4:5", "0x1:1:2:3:4:5", " 1:1:2:3:4:5", "1:1:2:3:4:\t5", "1:1:2:3:4:5 "})
        EXPECT_FALSE(verifyMacAddress(bad)) << bad;
    EXPECT_FALSE(verifyMacAddress(nullptr));
}

// An entry without an interface name (only a stored file can hold one) shows
// under no interface.
TEST(MacfilterView, EntryWithoutInterfaceShowsNowhere)
{
    dt::TempRoot root;
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_addFilterMac("12:12:12:12:12:12", "x", ""), 0);
    wlmgr_storeWorkingCopy();
    const std::string view = dt::run_request("wlmacfilter show");
    EXPECT_NE(view.find("\nwl0.3:"), std::string::npos) << view;
    EXPECT_EQ(view.find("12:12"), std::string::npos) << view;
}
