// Setting names as they reach the file, and their limits (which key a plain
// name or an alias stands for: tests/golden/wlinterface.txt).
#include <gtest/gtest.h>

#include <string>

#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

TEST(Names, KeysAsWrittenCanonicalInTheFileAndLimits)
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

    // Only canonical names reach the file.
    ASSERT_EQ(wlmgr_setVar("wl_wsc_mode", "enabled"), 0);
    ASSERT_EQ(wlmgr_setVar("wsc_config_state_wl0v1", "2"), 0);
    wlmgr_storeWorkingCopy();
    DorvanImage img;
    ASSERT_EQ(dorvan_read_image_file(DORVAN_MDM_FILE, &img, nullptr), 0);
    EXPECT_EQ(img.vars.count("wl_wsc_mode_wl0v3") + img.vars.count("wsc_config_state_wl0v1"), 0u);
    EXPECT_EQ(img.vars.at("wlWscMode_wl0v3") + img.vars.at("wlWscAPMode_wl0v1"), "enabled2");
}
