// dorvan-cfg, run as a program against a private root.
#include "platform_testutil.h"

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "wlmgr.h"

#include <algorithm>

namespace {

using ptest::lines;

class CfgTool : public ptest::TempRoot {
protected:
    ptest::RunResult cfg(std::vector<std::string> args, std::vector<std::string> env = {})
    {
        args.insert(args.begin(), DORVAN_BIN_DIR "/dorvan-cfg");
        return ptest::run(args, env);
    }
};

TEST_F(CfgTool, UsageErrors)
{
    auto help = cfg({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage"), std::string::npos);
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"frob"}, {"get"}, {"set", "a"}, {"set", "a", "1", "b"},
             {"show", "x"}, {"--flash", "set", "a", "1"}, {"--flash", "reset"}}) {
        auto r = cfg(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(ptest::exists(path(DORVAN_MDM_FILE)));
}

TEST_F(CfgTool, SetGetShowUseTheDaemonsNames)
{
    setenv("DORVAN_TRACE", path("/trace").c_str(), 1);
    ASSERT_EQ(cfg({"set", "wlSsidIdx", "1", "wlSsid", "guest", "wl_wsc_mode", "enabled",
                   "odd\tname", "line1\nline2"}).status, 0);
    auto trace = lines(ptest::readText(path("/trace")));
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), "lock\tdorvan-cfg");
    EXPECT_EQ(trace.back(), "unlock\tdorvan-cfg");

    auto got = cfg({"get", "wlSsid_wl0v1", "wlSsid", "nope", "wlWscMode_wl0v1", "wlChannel"});
    EXPECT_EQ(got.status, 1) << "one name is unset";
    EXPECT_EQ(got.out, "guest\nguest\nenabled\n6\n");
    EXPECT_NE(got.err.find("nope"), std::string::npos);
    EXPECT_EQ(cfg({"--flash", "get", "wlSsid_wl0v1"}).out, "guest\n");

    auto show = cfg({"show"});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("\nodd\tname=line1\nline2\n"), std::string::npos) << "raw values";
    auto ls = lines(show.out);
    ls.erase(std::remove(ls.begin(), ls.end(), "line2"), ls.end());
    EXPECT_TRUE(std::is_sorted(ls.begin(), ls.end()));
    EXPECT_NE(std::find(ls.begin(), ls.end(), "wlWscMode_wl0v1=enabled"), ls.end());
    EXPECT_EQ(show.out.find("wl_wsc_mode"), std::string::npos);
    EXPECT_EQ(ls.size(), dorvan_factoryImage().vars.size() + 1);
}

TEST_F(CfgTool, RefusedSetStoresNothing)
{
    ASSERT_EQ(cfg({"set", "wlSsid", "before"}).status, 0);
    std::string mdm = ptest::readText(path(DORVAN_MDM_FILE));
    EXPECT_EQ(cfg({"set", "wlSsid", "after", std::string(WLMGR_NAME_SIZE, 'n'), "x"}).status, 1);
    EXPECT_EQ(cfg({"set", "wlSsid", "after", "ok", std::string(WLMGR_VALUE_SIZE, 'v')}).status, 1);
    EXPECT_EQ(ptest::readText(path(DORVAN_MDM_FILE)), mdm);
    EXPECT_EQ(cfg({"get", "wlSsid"}).out, "before\n");
}

TEST_F(CfgTool, FlashListsAndReset)
{
    ASSERT_EQ(cfg({"set", "wlSsid", "saved"}).status, 0);
    wlmgr_loadWorkingCopy();
    wlmgr_setVar("wlSsid", "stored only");
    wlmgr_addFilterMac("aa:bb:cc:dd:ee:01", "Home Net", "wl0");
    wlmgr_addWdsMac("02:00:00:00:00:0a");
    wlmgr_storeWorkingCopy();

    EXPECT_EQ(cfg({"get", "wlSsid"}).out, "stored only\n");
    EXPECT_EQ(cfg({"--flash", "get", "wlSsid"}).out, "saved\n");
    EXPECT_EQ(cfg({"macfilter"}).out, "wl0 aa:bb:cc:dd:ee:01 Home Net\n");
    EXPECT_EQ(cfg({"wds"}).out, "02:00:00:00:00:0A\n");
    EXPECT_EQ(cfg({"--flash", "macfilter"}).out, "");

    EXPECT_EQ(cfg({"reset"}).status, 0);
    EXPECT_EQ(cfg({"get", "wlSsid"}).out, "Dorvan\n");
    EXPECT_EQ(cfg({"--flash", "get", "wlSsid"}).out, "Dorvan\n");
    EXPECT_EQ(cfg({"macfilter"}).out, "");
}

TEST_F(CfgTool, BusyLockExitsThree)
{
    ASSERT_EQ(cfgLck_acquireLockTraced("test"), 0);
    auto r = cfg({"get", "wlSsid"}, {"DORVAN_LOCK_WAIT_MS=0"});
    cfgLck_releaseLockTraced("test");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("lock"), std::string::npos);
    EXPECT_EQ(cfg({"get", "wlSsid"}, {"DORVAN_LOCK_WAIT_MS=0"}).status, 0);
}

} // namespace
