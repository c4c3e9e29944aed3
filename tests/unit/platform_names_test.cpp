// Setting names (which key a plain name or an alias stands for:
// tests/golden/wlinterface.txt; only canonical names in the file, and the
// name and value limits: CfgTool.UsageErrorsBusyLockAndSetGetShowWithTheDaemonsNames,
// the longest values: the golden transcripts).
#include <gtest/gtest.h>

#include <string>

#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

TEST(Names, OddKeysAsWrittenNoEmptyName)
{
    dt::TempRoot root(true);
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_setVar("wlSsidIdx", "3"), 0);
    // Only one digit 0..3 at the very end makes a key.
    for (const char *odd : {"wlChannel", "wlSsid_wl0v4", "wlSsid_wl0v12", "wlSsid_wl0v1x"})
        EXPECT_EQ(dorvan_canonical_name(odd), odd);
    EXPECT_NE(wlmgr_setVar("", "x"), 0);
}
