// A planted WDS peer file (the lists through the commands, scan lines
// included: tests/golden/wlmacfilter.txt and wlwds.txt).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

// A FIFO at the peer file blocked the scan with the lock held (a link to
// /dev/zero kept it reading: the same check refuses both): now an empty
// scan, logged once.
TEST(Lists, PlantedPeerFileFailsTheScanQuickly)
{
    dt::TempRoot root;
    const std::string path = root.file(DORVAN_WDS_PEERS_FILE);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    unlink(root.file("log").c_str());
    alarm(5);  // a scan held in open() ends the run
    EXPECT_EQ(dt::run_request("wlwds scanwdsmac") + dt::run_request("wlwds scanwdsmac"), dt::R("") + dt::R(""));
    alarm(0);
    EXPECT_EQ(dt::lines(root.log()).size(), 1u) << root.log();
    EXPECT_NE(root.log().find(path + ": not a regular file"), std::string::npos);
    EXPECT_EQ(root.trace().back(), "unlock\tprocessWlWDSCmd");
}
