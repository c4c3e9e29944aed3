// wlmacfilter: an entry without an interface (the requests, replies and the
// address syntax are in tests/golden/wlmacfilter.txt).
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"
#include "wlmgr.h"

// Only a stored file can hold an entry without an interface name: it shows
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
