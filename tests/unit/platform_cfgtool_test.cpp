// dorvan-cfg, run as a program against a private root.
#include <gtest/gtest.h>

#include <algorithm>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

struct Result {
    int status;
    std::string out, err;
};

// dorvan-cfg with these arguments (each quoted for the shell).
Result cfg(const dt::TempRoot &root, const std::vector<std::string> &args, const std::string &env = "")
{
    std::string cmd = env + " '" + dt::bin("dorvan-cfg") + "'";
    for (const auto &a : args)
        cmd += " '" + a + "'";
    Result r;
    r.status = dt::run(cmd + " 2>'" + root.file("err") + "'", &r.out);
    r.err = dt::read_file(root.file("err"));
    return r;
}

}  // namespace

TEST(CfgTool, UsageErrorsAndBusyLock)
{
    dt::TempRoot root(true);
    auto help = cfg(root, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage"), std::string::npos);
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"frob"}, {"get"}, {"set", "a"}, {"set", "a", "1", "b"}, {"show", "x"},
             {"--flash", "set", "a", "1"}, {"--flash", "reset"}, {"board", "x"}}) {
        auto r = cfg(root, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(dt::exists(root.file(DORVAN_MDM_FILE)));

    ASSERT_EQ(cfgLck_acquireLockTraced("test"), 0);
    auto r = cfg(root, {"get", "wlSsid"}, "DORVAN_LOCK_WAIT_MS=0");
    auto board = cfg(root, {"board"}, "DORVAN_LOCK_WAIT_MS=0"); // needs no lock
    cfgLck_releaseLockTraced("test");
    EXPECT_EQ(board.out, "reset file /var/dorvan/board/reset_button - active-low released\n"
                         "switch file /var/dorvan/board/wireless_switch - active-low on\n"
                         "wps file /var/dorvan/board/wps_button - active-low released\n");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("lock"), std::string::npos);
    EXPECT_EQ(cfg(root, {"get", "wlSsid"}, "DORVAN_LOCK_WAIT_MS=0").status, 0);
}

TEST(CfgTool, SetGetShowUseTheDaemonsNames)
{
    dt::TempRoot root(true);
    ASSERT_EQ(cfg(root, {"set", "wlSsidIdx", "1", "wlSsid", "guest", "wl_wsc_mode", "enabled",
                         "odd\tname", "line1\nline2"}).status, 0);
    auto trace = root.trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), "lock\tdorvan-cfg");
    EXPECT_EQ(trace.back(), "unlock\tdorvan-cfg");

    auto got = cfg(root, {"get", "wlSsid_wl0v1", "wlSsid", "nope", "wlWscMode_wl0v1", "wlChannel"});
    EXPECT_EQ(got.status, 1) << "one name is unset";
    EXPECT_EQ(got.out, "guest\nguest\nenabled\n6\n");
    EXPECT_NE(got.err.find("nope"), std::string::npos);

    auto show = cfg(root, {"show"});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("\nodd\tname=line1\nline2\n"), std::string::npos) << "raw values";
    auto ls = dt::lines(show.out);
    ls.erase(std::remove(ls.begin(), ls.end(), "line2"), ls.end());
    EXPECT_TRUE(std::is_sorted(ls.begin(), ls.end()));
    EXPECT_NE(std::find(ls.begin(), ls.end(), "wlWscMode_wl0v1=enabled"), ls.end());
    EXPECT_EQ(show.out.find("wl_wsc_mode"), std::string::npos);
    EXPECT_EQ(ls.size(), dorvan_factoryImage().vars.size() + 1);

    // A set with one refused pair stores nothing.
    std::string mdm = dt::read_file(root.file(DORVAN_MDM_FILE));
    EXPECT_EQ(cfg(root, {"set", "wlSsid", "after", std::string(WLMGR_NAME_SIZE, 'n'), "x"}).status, 1);
    EXPECT_EQ(cfg(root, {"set", "wlSsid", "after", "ok", std::string(WLMGR_VALUE_SIZE, 'v')}).status, 1);
    EXPECT_EQ(dt::read_file(root.file(DORVAN_MDM_FILE)), mdm);
}

TEST(CfgTool, FlashListsAndReset)
{
    dt::TempRoot root(true);
    ASSERT_EQ(cfg(root, {"set", "wlSsid", "saved"}).status, 0);
    wlmgr_loadWorkingCopy();
    wlmgr_setVar("wlSsid", "stored only");
    wlmgr_addFilterMac("aa:bb:cc:dd:ee:01", "Home Net", "wl0");
    wlmgr_addWdsMac("02:00:00:00:00:0a");
    wlmgr_storeWorkingCopy();
    EXPECT_EQ(cfg(root, {"get", "wlSsid"}).out, "stored only\n");
    EXPECT_EQ(cfg(root, {"--flash", "get", "wlSsid"}).out, "saved\n");
    EXPECT_EQ(cfg(root, {"macfilter"}).out, "wl0 aa:bb:cc:dd:ee:01 Home Net\n");
    EXPECT_EQ(cfg(root, {"wds"}).out, "02:00:00:00:00:0A\n");
    EXPECT_EQ(cfg(root, {"--flash", "macfilter"}).out, "");
    EXPECT_EQ(cfg(root, {"reset"}).status, 0);
    EXPECT_EQ(cfg(root, {"get", "wlSsid"}).out + cfg(root, {"--flash", "get", "wlSsid"}).out, "Dorvan\nDorvan\n");
    EXPECT_EQ(cfg(root, {"macfilter"}).out, "");
}
