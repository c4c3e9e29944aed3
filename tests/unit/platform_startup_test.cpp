// Logger, start-up, failure injection, board inputs, objects, factory reset.
#include "platform_testutil.h"

#include "board_ctl.h"
#include "cfg_framework.h"
#include "dorvan_store.h"
#include "wlmgr.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ptest::lines;
using ptest::readText;
using ptest::writeText;

const char kReexecMark[] = "PLATFORM_TEST_REEXEC_MARK";

// When cfgMgm_restoreDefault re-executes this test binary, the new image
// reports its arguments and leaves before any test runs.
struct ReexecProbe {
    ReexecProbe()
    {
        if (const char *mark = getenv(kReexecMark)) {
            writeText(mark, readText("/proc/self/cmdline"));
            _exit(0);
        }
    }
} g_reexecProbe;

class Logger : public ptest::TempRoot {
protected:
    void TearDown() override
    {
        cfgLog_setLevel(CFG_LOG_ERR);
        TempRoot::TearDown();
    }
};

TEST_F(Logger, FormatThresholdAndBounds)
{
    std::string log = path("/log");
    setenv("DORVAN_LOG", log.c_str(), 1);
    cfgLog_init(0);
    log_log(CFG_LOG_ERR, "fn", 12, "hello %d\n", 5);
    log_log(CFG_LOG_NOTICE, "fn", 13, "dropped");
    log_log(CFG_LOG_ERR, "fn", 14, "two\n\n");
    cfgLog_setLevel(CFG_LOG_DEBUG);
    log_log(CFG_LOG_DEBUG, "dbg", 1, "%s", "kept");
    EXPECT_EQ(readText(log), "dorvand[3] fn:12: hello 5\n"
                             "dorvand[3] fn:14: two\n\n"
                             "dorvand[7] dbg:1: kept\n");

    unlink(log.c_str());
    log_log(CFG_LOG_ERR, "fn", 1, "%s", std::string(5000, 'x').c_str());
    std::string big = readText(log);
    EXPECT_EQ(lines(big).size(), 1u);
    EXPECT_EQ(big.back(), '\n');
    EXPECT_LT(big.size(), 1300u);
}

class Startup : public ptest::TempRoot {};

TEST_F(Startup, PreparesRootAndKeepsExistingBoardFiles)
{
    mkdir(path("/var").c_str(), 0755);
    mkdir(path("/var/dorvan").c_str(), 0755);
    mkdir(path(DORVAN_BOARD_DIR).c_str(), 0755);
    writeText(path(DORVAN_BOARD_DIR "/wps_button"), "0\n");
    // Leftovers of a dead writer go; a live writer's temp file stays.
    std::string dead = path(DORVAN_MDM_FILE ".tmp.2147483646");
    std::string live = path(DORVAN_FLASH_FILE ".tmp." + std::to_string(getppid()));
    writeText(dead, "half");
    writeText(live, "busy");

    void *bus = nullptr;
    int mdm = 0;
    ASSERT_EQ(cfgMsg_init(1, &bus), 0);
    EXPECT_NE(bus, nullptr);
    ASSERT_EQ(cfgMdm_init(1, bus, &mdm), 0);
    cfgMsg_cleanup(&bus);
    EXPECT_EQ(bus, nullptr);
    EXPECT_TRUE(ptest::exists(path(DORVAN_RADIO_DIR)));
    EXPECT_FALSE(ptest::exists(dead));
    EXPECT_TRUE(ptest::exists(live));

    int reset = -9, wsw = -9, wps = -9;
    EXPECT_EQ(boardCtl_getResetStatus(&reset), 0);
    EXPECT_EQ(boardCtl_getWirelessPWRStatus(&wsw), 0);
    EXPECT_EQ(boardCtl_getWpsButtonStatus(&wps), 0);
    EXPECT_EQ(reset, 1);
    EXPECT_EQ(wsw, 0);
    EXPECT_EQ(wps, 0) << "an existing file is not reset";
    EXPECT_EQ(wlmgr_getAdapterCount(), 1);
    EXPECT_EQ(wldm_alloc(1), 0);
    EXPECT_EQ(wlmgr_alloc(1), 0);
}

TEST_F(Startup, InjectedFailuresAndOverlongRoot)
{
    setenv("DORVAN_FAIL", "cfgMdm_init_x=1,wlmgr_alloc=11,cfgMsg_init=9,cfgMdm_init=7,wldm_alloc=5", 1);
    void *bus = (void *)&bus;
    EXPECT_EQ(cfgMsg_init(0, &bus), 9);
    EXPECT_EQ(bus, nullptr);
    EXPECT_EQ(cfgMdm_init(0, nullptr, nullptr), 7);
    EXPECT_EQ(wldm_alloc(1), 5);
    EXPECT_EQ(wlmgr_alloc(1), 11);
    EXPECT_FALSE(ptest::exists(path(DORVAN_BOARD_DIR))) << "a failed init does nothing";
    setenv("DORVAN_FAIL", "wlmgr_alloc=3", 1);
    EXPECT_EQ(wldm_alloc(1), 0);
    EXPECT_EQ(cfgMdm_init(0, nullptr, nullptr), 0);
    unsetenv("DORVAN_FAIL");

    setenv("DORVAN_ROOT", (root() + "/" + std::string(300, 'r')).c_str(), 1);
    EXPECT_NE(cfgMdm_init(0, nullptr, nullptr), 0);
}

TEST_F(Startup, BoardFilesParseStrictly)
{
    ASSERT_EQ(cfgMdm_init(0, nullptr, nullptr), 0);
    std::string f = path(DORVAN_BOARD_DIR "/reset_button");
    int st = 0;
    for (auto [text, want] : std::vector<std::pair<std::string, int>>{
             {" \t 0 \n", 0}, {"-3", -3}, {"42\r\n", 42}}) {
        writeText(f, text);
        EXPECT_EQ(boardCtl_getResetStatus(&st), 0) << text;
        EXPECT_EQ(st, want);
    }
    for (const std::string &bad : std::vector<std::string>{"", "  ", "abc", "1x", "1 2", "99999999999", std::string(80, ' ') + "1"}) {
        writeText(f, bad);
        st = 1234;
        EXPECT_EQ(boardCtl_getResetStatus(&st), -1) << bad;
        EXPECT_EQ(st, 1234);
    }
    unlink(path(DORVAN_BOARD_DIR "/wireless_switch").c_str());
    EXPECT_EQ(boardCtl_getWirelessPWRStatus(&st), -1);
    EXPECT_EQ(st, 1234);
}

TEST_F(Startup, LanObjectComesFromTheStoredDataModel)
{
    InstanceIdStack iid{};
    void *obj = nullptr;
    ASSERT_EQ(cfgObj_getNext(CFG_OID_LAN_IP_INTF, &iid, &obj), 0);
    auto *lan = (LanIpIntfObject *)obj;
    EXPECT_STREQ(lan->IPInterfaceIPAddress, "127.0.0.1") << "factory default";
    EXPECT_STREQ(lan->IPInterfaceSubnetMask, "255.255.255.0");
    cfgObj_free(&obj);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(cfgObj_getNext(CFG_OID_LAN_IP_INTF, &iid, &obj), CFG_RET_NO_MORE_INSTANCES);

    wlmgr_setVar("lanIPAddress", "192.168.7.1");
    wlmgr_storeWorkingCopy();
    wlmgr_setVar("lanIPAddress", "10.0.0.1"); // not stored: not seen
    iid = InstanceIdStack{};
    ASSERT_EQ(cfgObj_getNext(CFG_OID_LAN_IP_INTF, &iid, &obj), 0);
    EXPECT_STREQ(((LanIpIntfObject *)obj)->IPInterfaceIPAddress, "192.168.7.1");
    cfgObj_free(&obj);

    wlmgr_setVar("lanIPAddress", "");
    wlmgr_storeWorkingCopy();
    iid = InstanceIdStack{};
    EXPECT_EQ(cfgObj_getNext(CFG_OID_LAN_IP_INTF, &iid, &obj), CFG_RET_NO_MORE_INSTANCES);
    EXPECT_EQ(cfgObj_getNext(44, &iid, &obj), CFG_RET_NO_MORE_INSTANCES);
}

class Restore : public ptest::TempRoot {};

TEST_F(Restore, FactoryConfigurationReplacesDataModelAndFlash)
{
    setenv("DORVAN_NO_REEXEC", "1", 1);
    wlmgr_setVar("wlSsid", "mine");
    wlmgr_addFilterMac("00:11:22:33:44:55", "mine", "wl0");
    wlmgr_storeWorkingCopy();
    ASSERT_EQ(cfgMgm_saveConfigToFlash(), 0);
    setenv("DORVAN_TRACE", path("/trace").c_str(), 1);
    ASSERT_EQ(cfgMgm_restoreDefault(nullptr), 0);

    DorvanImage factory = dorvan_factoryImage(), img;
    for (const char *file : {DORVAN_MDM_FILE, DORVAN_FLASH_FILE}) {
        ASSERT_EQ(dorvan_readImageFile(file, &img, nullptr), 0);
        EXPECT_EQ(img.vars, factory.vars) << file;
        EXPECT_TRUE(img.filters.empty());
    }
    EXPECT_EQ(dorvan_workingCopy().vars, factory.vars);
    EXPECT_EQ(lines(readText(path("/trace"))),
              (std::vector<std::string>{"lock\tcfgMgm_restoreDefault", "restore",
                                        "unlock\tcfgMgm_restoreDefault"}));
    EXPECT_EQ(factory.vars.at("wlEnbl_wl0v0"), "1");
    EXPECT_EQ(factory.vars.at("wlEnbl_wl0v3"), "0");
}

TEST_F(Restore, RestartsThisProgramWithItsArguments)
{
    std::string mark = path("/reexec");
    pid_t pid = fork();
    if (pid == 0) {
        setenv(kReexecMark, mark.c_str(), 1);
        cfgMgm_restoreDefault(nullptr);
        _exit(99); // only reached when the restart failed
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_EQ(readText(mark), readText("/proc/self/cmdline"));
    EXPECT_TRUE(ptest::exists(path(DORVAN_FLASH_FILE)));
}

} // namespace
