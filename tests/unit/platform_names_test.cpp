// Setting names and their limits (which key a plain name or an alias stands
// for: tests/golden/wlinterface.txt; only canonical names in the file:
// CfgTool.UsageErrorsBusyLockAndSetGetShowWithTheDaemonsNames).
#include <gtest/gtest.h>

#include <string>

#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

TEST(Names, OddKeysAsWrittenAndLimits)
{
    dt::TempRoot root(true);
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_setVar("wlSsidIdx", "3"), 0);
    // Only one digit 0..3 at the very end makes a key.
    for (const char *odd : {"wlChannel", "wlSsid_wl0v4", "wlSsid_wl0v12", "wlSsid_wl0v1x"})
        EXPECT_EQ(dorvan_canonical_name(odd), odd);

    std::string name(WLMGR_NAME_SIZE - 1, 'n'), value(WLMGR_VALUE_SIZE - 1, 'v');
    char got[WLMGR_VALUE_SIZE];
    EXPECT_EQ(wlmgr_setVar(name.c_str(), value.c_str()), 0);
    EXPECT_NE(wlmgr_setVar((name + "n").c_str(), "x"), 0);
    EXPECT_NE(wlmgr_setVar(name.c_str(), (value + "v").c_str()), 0);
    EXPECT_TRUE(wlmgr_getVar(name.c_str(), got) == 0 && got == value) << "a refused value changes nothing";
    EXPECT_NE(wlmgr_setVar("", "x"), 0);
}
