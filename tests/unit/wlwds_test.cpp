// wlwds: views and scans that overflow the reply, planted peer files (the
// requests and replies are in tests/golden/wlwds.txt).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "testutil.h"

using dt::R;

namespace {

std::string wds(const std::string &args)
{
    return dt::run_request("wlwds " + args);
}

class WdsTest : public ::testing::Test {
protected:
    dt::TempRoot root;
};

}  // namespace

// Long scans stop at the last whole entry that fits and still end the line.
TEST_F(WdsTest, OverflowingScansStopAtWholeEntries)
{
    std::string list;
    for (int i = 0; i < 200; i++)
        list += "00:11:22:33:44:" + std::to_string(10 + i % 90) + " peer-" + std::string(30, 'a' + i % 26) + "\n";
    dt::write_file(root.file("var/dorvan/radio/wds_peers"), list);
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
