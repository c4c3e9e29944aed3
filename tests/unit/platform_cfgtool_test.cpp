// dorvan-cfg, run as a program against a private root.
#include <gtest/gtest.h>

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

TEST(CfgTool, UsageErrorsBusyLockAndSetGetShowWithTheDaemonsNames)
{
    dt::TempRoot root(true);
    EXPECT_EQ(cfg(root, {"--help"}).status, 0);
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"frob"}, {"get"}, {"set", "a"}, {"set", "a", "1", "b"}, {"show", "x"},
             {"--flash", "set", "a", "1"}, {"--flash", "reset"}, {"board", "x"}, {"channels", "DE", "JP"},
             {"--flash", "channels", "DE"}}) {
        auto r = cfg(root, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(dt::exists(root.file(DORVAN_MDM_FILE)));

    ASSERT_EQ(cfgLck_acquireLockTraced("test"), 0);
    auto r = cfg(root, {"get", "wlSsid"}, "DORVAN_LOCK_WAIT_MS=0");
    auto board = cfg(root, {"board"}, "DORVAN_LOCK_WAIT_MS=0"); // needs no lock
    cfgLck_releaseLockTraced("test");
    EXPECT_NE(board.out.find("\nswitch file /var/dorvan/board/wireless_switch - active-low on\n"), std::string::npos);
    EXPECT_TRUE(r.status == 3 && r.err.find("lock") != std::string::npos) << r.err;

    root.clear_trace();
    ASSERT_EQ(cfg(root, {"set", "wlSsidIdx", "1", "wlSsid", "guest", "wl_wsc_mode", "enabled",
                         "odd\tname", "line1\nline2"}).status, 0);
    auto trace = root.trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front() + "|" + trace.back(), "lock\tdorvan-cfg|unlock\tdorvan-cfg");

    auto got = cfg(root, {"get", "wlSsid_wl0v1", "wlSsid", "nope", "wlWscMode_wl0v1", "wlChannel"});
    EXPECT_EQ(got.status, 1) << "one name is unset";
    EXPECT_EQ(got.out, "guest\nguest\nenabled\n6\n");
    EXPECT_NE(got.err.find("nope"), std::string::npos);

    auto show = cfg(root, {"show"});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("\nodd\tname=line1\nline2\n"), std::string::npos) << "raw values";
    EXPECT_EQ(dt::lines(show.out).size(), dorvan_factory_image().vars.size() + 2) << "only canonical names: wl_wsc_mode is wlWscMode_wl0v1";

    // A set with one refused pair stores nothing.
    std::string mdm = dt::read_file(root.file(DORVAN_MDM_FILE));
    EXPECT_EQ(cfg(root, {"set", "wlSsid", "after", std::string(WLMGR_NAME_SIZE, 'n'), "x"}).status, 1);
    auto longer = cfg(root, {"set", "wlSsid", "after", "ok", std::string(WLMGR_VALUE_SIZE, 'v')});
    EXPECT_TRUE(longer.status == 1 && longer.err.find("longer than 255 bytes") != std::string::npos) << longer.err;
    EXPECT_EQ(dt::read_file(root.file(DORVAN_MDM_FILE)), mdm);

    // Each channel with the flags and power of the rule that allows it (the
    // lists themselves: tests/golden/wladv.txt).
    auto ch = cfg(root, {"channels", "aa"}, "DORVAN_REGDB='" DORVAN_SOURCE_DIR "/tests/golden/lists-regulatory.db'");
    EXPECT_TRUE(ch.status == 0 && ch.out.find("\n   52  5260 MHz  max 20.00 dBm  DFS  indoor only\n") != std::string::npos) << ch.out;
}
