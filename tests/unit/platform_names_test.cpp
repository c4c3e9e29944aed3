// Setting names: keyed, plain per-interface, radio-wide, WPS aliases, limits.
#include <gtest/gtest.h>

#include <string>

#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

std::string get(const std::string &name)
{
    char v[WLMGR_VALUE_SIZE];
    EXPECT_EQ(wlmgr_getVar(name.c_str(), v), 0) << name;
    return v;
}

}  // namespace

TEST(Names, PlainPerInterfaceNamesFollowSsidIdxLimitsAndAliases)
{
    dt::TempRoot root(true);
    wlmgr_loadWorkingCopy();
    for (char i = '0'; i <= '3'; i++) {
        ASSERT_EQ(wlmgr_setVar("wlSsidIdx", std::string(1, i).c_str()), 0);
        ASSERT_EQ(wlmgr_setVar("wlSsid", (std::string("net") + i).c_str()), 0);
    }
    EXPECT_EQ(get("wlSsid_wl0v0") + get("wlSsid_wl0v1") + get("wlSsid_wl0v3") + get("wlSsid"), "net0net1net3net3");
    // Out of range or garbage selects interface 0; only one digit 0..3 at the
    // very end makes a key.
    for (const char *idx : {"4", "-1", "x"}) {
        ASSERT_EQ(wlmgr_setVar("wlSsidIdx", idx), 0);
        EXPECT_EQ(dorvan_canonical_name("wlSsid"), "wlSsid_wl0v0") << idx;
    }
    for (const char *odd : {"wlChannel", "wlSsid_wl0v4", "wlSsid_wl0v12", "wlSsid_wl0v1x"})
        EXPECT_EQ(dorvan_canonical_name(odd), odd);

    std::string name(WLMGR_NAME_SIZE - 1, 'n'), value(WLMGR_VALUE_SIZE - 1, 'v');
    EXPECT_EQ(wlmgr_setVar(name.c_str(), value.c_str()), 0);
    EXPECT_NE(wlmgr_setVar((name + "n").c_str(), "x"), 0);
    EXPECT_NE(wlmgr_setVar(name.c_str(), (value + "v").c_str()), 0);
    EXPECT_EQ(get(name), value) << "a refused value changes nothing";
    EXPECT_NE(wlmgr_setVar("", "x"), 0);

    // WPS aliases share one setting; only canonical names reach the file.
    ASSERT_EQ(wlmgr_setVar("wlSsidIdx", "3"), 0);
    ASSERT_EQ(wlmgr_setVar("wl_wsc_mode", "enabled"), 0);
    EXPECT_EQ(get("wlWscMode") + get("wl_wsc_mode_wl0v3"), "enabledenabled");
    ASSERT_EQ(wlmgr_setVar("wsc_config_state_wl0v1", "2"), 0);
    EXPECT_EQ(get("wlWscAPMode_wl0v1"), "2");
    wlmgr_storeWorkingCopy();
    DorvanImage img;
    ASSERT_EQ(dorvan_read_image_file(DORVAN_MDM_FILE, &img, nullptr), 0);
    EXPECT_EQ(img.vars.count("wl_wsc_mode_wl0v3") + img.vars.count("wsc_config_state_wl0v1"), 0u);
    EXPECT_EQ(img.vars.at("wlWscMode_wl0v3"), "enabled");
}
