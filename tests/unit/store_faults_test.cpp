// Store files that are there but cannot be read, and stores that fail: no
// fallback is written over them, no reply claims a success.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "dorvan_store.h"
#include "monitor.h"
#include "platform_internal.h"
#include "testutil.h"

using dt::R;

// As root no file mode stops a read (the e2e tests run as another user for
// that): too large, a FIFO, a flash FIFO behind a missing data model; and a
// folder where the store's temp file goes. Nor is a file past the read
// limit written.
TEST(StoreFaults, NothingIsKeptOrClaimedWhenFilesFail)
{
    dt::TempRoot root;
    const std::string mdm = root.file(DORVAN_MDM_FILE), flash = root.file(DORVAN_FLASH_FILE);
    // Writer and reader share one limit: what loading would refuse is never written.
    std::string full(dplat::kStoreFileMax, 'x'), back;
    EXPECT_TRUE(dplat::write_file_atomic(mdm, full + "x") == -1 && errno == EFBIG);
    ASSERT_EQ(dplat::write_file_atomic(mdm, full, nullptr, 0600, false), 0);
    EXPECT_TRUE(dplat::read_whole_file(mdm, &back) == 0 && back == full);
    unlink(mdm.c_str());
    dt::seed({{"wlSsid_wl0v0", "kept"}, {"wlEnbl", "1"}});
    const std::string tmp = mdm + ".tmp." + std::to_string(getpid());
    const std::string view = dt::run_request("wlinterface show"), bytes = dt::read_file(mdm);
    const struct {
        std::string file, why;
    } faults[] = {{mdm, "File too large"}, {mdm, "not a regular file"}, {flash, "not a regular file"}, {tmp, ""}};
    for (const auto &f : faults) {
        SCOPED_TRACE(f.file + " " + f.why);
        const std::string flashBytes = dt::read_file(flash);
        if (f.file == flash)
            unlink(mdm.c_str());
        if (f.why == "File too large")
            ASSERT_EQ(truncate(mdm.c_str(), dplat::kStoreFileMax + 1), 0);
        else if (f.file != tmp)
            ASSERT_TRUE(unlink(f.file.c_str()) == 0 && mkfifo(f.file.c_str(), 0600) == 0);
        else
            ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
        unlink(root.file("log").c_str());
        for (const char *change : {"wlinterface enable --interface wl0 --wlSsid changed",
                                   "wlsecurity manualsetup --wlAuthMode open --interface wl0",
                                   "wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55",
                                   "wlwds enablerestrict --wlMode ap --wdsmode static --wlWds 00:11:22:33:44:55",
                                   "wladv config --wlDtmIntvl 3"}) {
            root.clear_trace();
            EXPECT_EQ(dt::run_request(change), R("save configuration failed!!\n")) << change;
            EXPECT_EQ(root.trace().back().rfind("unlock\tprocessWl", 0), 0u) << change;
        }
        auto log = root.log();
        EXPECT_NE(log.find(f.why.empty() ? "cannot write " + tmp : "cannot read " + f.file + ": " + f.why),
                  std::string::npos) << log;
        EXPECT_EQ(dt::run_request("wlinterface show"), f.why.empty() ? view : R("load configuration failed!!\n"));
        EXPECT_EQ(dt::run_request("wlinterface"), R("wlintfhelp")) << "no bracket, no failure";
        if (f.why.empty()) {
            disable_wireless();
            EXPECT_NE(root.log().find("disable_wireless:"), std::string::npos) << "the monitor logs it";
        }
        EXPECT_TRUE(f.file == flash || dt::read_file(flash) == flashBytes);  // a FIFO would block
        EXPECT_TRUE(f.file != tmp || dt::read_file(mdm) == bytes);
        EXPECT_EQ(f.file == flash, !dt::exists(mdm)) << "no defaults stored";
        dt::run("rm -rf '" + f.file + "' '" + tmp + "'");
        dt::write_file(mdm, bytes);
        dt::write_file(flash, bytes);
        EXPECT_EQ(dt::run_request("wlinterface show"), view) << "served again";
    }
}
