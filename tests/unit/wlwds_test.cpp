// wlwds: planted peer files (the requests and replies, scans and views that
// overflow the reply included, are in tests/golden/wlwds.txt).
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
