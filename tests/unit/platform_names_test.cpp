// Setting names: keyed, plain per-interface, radio-wide, WPS aliases.
#include "platform_testutil.h"

#include "dorvan_store.h"
#include "wlmgr.h"

#include <string>

namespace {

class Names : public ptest::TempRoot {
protected:
    std::string get(const char *name)
    {
        char v[WLMGR_VALUE_SIZE];
        EXPECT_EQ(wlmgr_getVar(name, v), 0) << name;
        return v;
    }
};

TEST_F(Names, KeyedNamesAddressTheirInterface)
{
    wlmgr_loadWorkingCopy();
    for (int i = 0; i < 4; i++) {
        std::string key = "wlSsid_wl0v" + std::to_string(i);
        ASSERT_EQ(wlmgr_setVar(key.c_str(), ("net" + std::to_string(i)).c_str()), 0);
    }
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(get(("wlSsid_wl0v" + std::to_string(i)).c_str()), "net" + std::to_string(i));
}

TEST_F(Names, PlainPerInterfaceNameFollowsSsidIdx)
{
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_setVar("wlSsidIdx", "2"), 0);
    ASSERT_EQ(wlmgr_setVar("wlHide", "1"), 0);
    EXPECT_EQ(get("wlHide_wl0v2"), "1");
    EXPECT_EQ(get("wlHide_wl0v0"), "0");
    EXPECT_EQ(dorvan_canonicalName("wlHide"), "wlHide_wl0v2");

    // Out of range or garbage selects interface 0.
    for (const char *idx : {"4", "-1", "x", ""}) {
        ASSERT_EQ(wlmgr_setVar("wlSsidIdx", idx), 0);
        EXPECT_EQ(dorvan_canonicalName("wlSsid"), "wlSsid_wl0v0") << idx;
    }
}

TEST_F(Names, RadioWideAndMalformedKeysStayPlain)
{
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_setVar("wlSsidIdx", "1"), 0);
    EXPECT_EQ(dorvan_canonicalName("wlChannel"), "wlChannel");
    // Only one digit 0..3 at the very end makes a key.
    EXPECT_EQ(dorvan_canonicalName("wlSsid_wl0v4"), "wlSsid_wl0v4");
    EXPECT_EQ(dorvan_canonicalName("wlSsid_wl0v12"), "wlSsid_wl0v12");
    EXPECT_EQ(dorvan_canonicalName("wlSsid_wl0v1x"), "wlSsid_wl0v1x");
    ASSERT_EQ(wlmgr_setVar("wlSsid_wl0v4", "odd"), 0);
    EXPECT_NE(get("wlSsid_wl0v1"), "odd");
}

TEST_F(Names, WpsAliasesShareOneSetting)
{
    wlmgr_loadWorkingCopy();
    ASSERT_EQ(wlmgr_setVar("wlSsidIdx", "3"), 0);
    ASSERT_EQ(wlmgr_setVar("wl_wsc_mode", "enabled"), 0);
    EXPECT_EQ(get("wlWscMode"), "enabled");
    EXPECT_EQ(get("wlWscMode_wl0v3"), "enabled");
    EXPECT_EQ(get("wl_wsc_mode_wl0v3"), "enabled");

    ASSERT_EQ(wlmgr_setVar("wsc_config_state_wl0v1", "2"), 0);
    EXPECT_EQ(get("wlWscAPMode_wl0v1"), "2");
    ASSERT_EQ(wlmgr_setVar("wlWscAPMode_wl0v1", "1"), 0);
    EXPECT_EQ(get("wsc_config_state_wl0v1"), "1");

    // Only canonical names reach the file.
    wlmgr_storeWorkingCopy();
    DorvanImage img;
    ASSERT_EQ(dorvan_readImageFile(DORVAN_MDM_FILE, &img, nullptr), 0);
    for (const auto &kv : img.vars) {
        EXPECT_EQ(kv.first.find("wl_wsc_mode"), std::string::npos);
        EXPECT_EQ(kv.first.find("wsc_config_state"), std::string::npos);
    }
    EXPECT_EQ(img.vars.at("wlWscMode_wl0v3"), "enabled");
}

TEST_F(Names, LimitsAndUnsetNames)
{
    wlmgr_loadWorkingCopy();
    std::string name(WLMGR_NAME_SIZE - 1, 'n');
    std::string value(WLMGR_VALUE_SIZE - 1, 'v');
    EXPECT_EQ(wlmgr_setVar(name.c_str(), value.c_str()), 0);
    EXPECT_EQ(get(name.c_str()), value);

    EXPECT_NE(wlmgr_setVar((name + "n").c_str(), "x"), 0);
    EXPECT_NE(wlmgr_setVar(name.c_str(), (value + "v").c_str()), 0);
    EXPECT_EQ(get(name.c_str()), value) << "a refused value changes nothing";
    EXPECT_NE(wlmgr_setVar("", "x"), 0);

    char buf[WLMGR_VALUE_SIZE];
    buf[0] = 'z';
    EXPECT_NE(wlmgr_getVar("neverSet", buf), 0);
    EXPECT_STREQ(buf, "");
}

} // namespace
