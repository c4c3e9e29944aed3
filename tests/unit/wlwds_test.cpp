// wlwds: bridge restriction off and on (convertmac with it), the view and the
// peer scan.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cfg_framework.h"
#include "testutil.h"
#include "wlmgr.h"

using dt::Lines;
using dt::R;

namespace {

std::string wds(const std::string &args)
{
    return dt::run_request("wlwds " + args);
}

const std::string kOk = " set macs for wireless bridge restrict successfully!!\n";

Lines bracket(const std::string &writes, bool saved = true)
{
    return dt::bracket("processWlWDSCmd", writes, saved);
}

class WdsTest : public ::testing::Test {
protected:
    dt::TempRoot root;
    void peers(const std::string &lines) const
    {
        dt::run("mkdir -p '" + root.file("var/dorvan/radio") + "'");
        dt::write_file(root.file("var/dorvan/radio/wds_peers"), lines);
    }
    // Whether mac is in the WDS list: of this process's working copy, or as
    // stored when reload is set.
    static bool configured(const char *mac, bool reload)
    {
        if (reload) {
            EXPECT_EQ(cfgLck_acquireLockTraced("test"), 0);
            wlmgr_loadWorkingCopy();
            cfgLck_releaseLockTraced("test");
        }
        return wlmgr_isWdsMacConfigured(mac) != 0;
    }
};

}  // namespace

TEST_F(WdsTest, EnableDynamic)
{
    // A --wlWds of 256 characters does not fit; 255 do.
    const std::string list = std::string(238, ',') + "00:11:22:33:44:66";
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode dynamic --wlWds ," + list), R("wlwdshelp"));
    EXPECT_TRUE(root.trace().empty());
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode DYNAMIC --wlWds " + list), R(kOk));
    root.clear_trace();
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode dynamic --wlWds 00:11:22:33:44:55,00:11:22:33:44:66,,"
                  "aa:bb:cc:dd:ee:ff"),
              R("The mac 00:11:22:33:44:66 has already been configured.\n " + kOk));
    EXPECT_EQ(root.trace(), bracket("wlMode=ap wlLazyWds=2"));
    EXPECT_TRUE(configured("00:11:22:33:44:55", true));
    EXPECT_TRUE(configured("AA:BB:CC:DD:EE:FF", false));

    // A malformed item: earlier ones stay in the working copy, nothing saved.
    root.clear_trace();
    EXPECT_EQ(wds("enablerestrict --wlMode ap --wdsmode dynamic --wlWds 0a:11:22:33:44:55,zz:11,0b:11:22:33:44:55"),
              R("Add wireless MAC filter for ZZ:11 failed. Status: 1."));
    EXPECT_EQ(root.trace(), bracket("wlMode=ap wlLazyWds=2", false));
    EXPECT_TRUE(configured("0A:11:22:33:44:55", false));
    EXPECT_FALSE(configured("0B:11:22:33:44:55", false));
    EXPECT_FALSE(configured("0A:11:22:33:44:55", true));
}

// Long scans stop at the last whole entry that fits and still end the line.
TEST_F(WdsTest, OverflowingScansStopAtWholeEntries)
{
    std::string list;
    for (int i = 0; i < 200; i++)
        list += "00:11:22:33:44:" + std::to_string(10 + i % 90) + " peer-" + std::string(30, 'a' + i % 26) + "\n";
    peers(list);
    // Every peer line has the same length here; the next one must not fit.
    std::string scan = wds("scanwdsmac");
    const size_t line = scan.find('\n') + 1;
    ASSERT_LE(scan.size(), 4096u);
    EXPECT_GT(scan.size() - 1 + line, 4095u);
    EXPECT_EQ((scan.size() - 1) % line, 0u);

    // A mode length that lets whole entries fill the buffer exactly, so the
    // line end only fits when room was kept for it.
    const size_t entry_len = std::string(" [ssid:peer-").size() + 30 + 5 + 17 + 14;
    const size_t head_len = std::string("AP Mode:  Bridge Restrict:enabled(scan)  ").size();
    dt::seed({{"wlLazyWds", "2"}, {"wlMode", std::string((4095 - head_len) % entry_len, 'M')}});
    std::string view = wds("show");
    const size_t head = view.find(" [");
    ASSERT_LE(view.size(), 4096u);
    EXPECT_GT(view.size() - 1 + entry_len + 2, 4095u);
    EXPECT_EQ((view.size() - 1 - head - 2) % entry_len, 0u);
    EXPECT_EQ(view.substr(view.size() - 4), R("] \n"));
}

// A FIFO at the peer file blocked the scan, a link to /dev/zero kept it
// reading, both with the lock held: now an empty scan, logged once.
TEST_F(WdsTest, PlantedPeerFilesFailTheScanQuickly)
{
    const std::string path = root.file("var/dorvan/radio/wds_peers");
    for (bool fifo : {true, false}) {
        unlink(path.c_str());
        ASSERT_EQ(fifo ? mkfifo(path.c_str(), 0600) : symlink("/dev/zero", path.c_str()), 0);
        unlink(root.file("log").c_str());
        pid_t pid = fork();
        if (pid == 0) {
            alarm(5);
            _exit(wds("scanwdsmac") == R("") && wds("scanwdsmac") == R("") ? 0 : 1);
        }
        int st = -1;
        waitpid(pid, &st, 0);
        EXPECT_EQ(st, 0) << fifo;
        EXPECT_EQ(dt::lines(root.log()).size(), 1u) << root.log();
        EXPECT_NE(root.log().find(path + ": not a regular file"), std::string::npos);
        EXPECT_EQ(root.trace().back(), "unlock\tprocessWlWDSCmd");
    }
}
