// Store files that are there but cannot be read, and changes that cannot be
// stored: nothing is written from a fallback, no reply claims a success.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "dorvan_store.h"
#include "monitor.h"
#include "platform_internal.h"
#include "testutil.h"
#include "wlmgr.h"

using dt::R;

namespace {

const std::string kLoadFailed = R("load configuration failed!!\n");
const std::string kSaveFailed = R("save configuration failed!!\n");

// One change per command word, each of which succeeds on a sound root.
const char *const kChanges[] = {
    "wlinterface enable --interface wl0 --wlSsid changed",
    "wlsecurity manualsetup --wlAuthMode open --interface wl0",
    "wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55",
    "wlwds enablerestrict --wlMode ap --wdsmode static --wlWds 00:11:22:33:44:55",
    "wladv config --wlDtmIntvl 3",
};

int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class StoreFaults : public ::testing::Test {
protected:
    dt::TempRoot root;
    std::string mdm, flash, view;
    void SetUp() override
    {
        dt::seed({{"wlSsid_wl0v0", "kept"}, {"wlDtmIntvl", "1"}});
        mdm = root.file(DORVAN_MDM_FILE);
        flash = root.file(DORVAN_FLASH_FILE);
        view = dt::run_request("wlinterface show");
        ASSERT_NE(view.find("kept"), std::string::npos);
        root.clear_trace();
        unlink(root.file("log").c_str());
    }
    // Every change fails without a store or save reaching the files, the
    // lock is given back, and the views say the settings could not be read.
    void expect_nothing_kept(const std::string &why)
    {
        std::string before = dt::read_file(flash);
        for (const char *change : kChanges) {
            SCOPED_TRACE(change);
            EXPECT_EQ(dt::run_request(change), kSaveFailed);
            auto trace = root.trace();
            ASSERT_FALSE(trace.empty());
            EXPECT_EQ(trace.back().rfind("unlock\t", 0), 0u);
            EXPECT_EQ(count(root.log(), "save configuration failed: " + why), 1);
            root.clear_trace();
            unlink(root.file("log").c_str());
        }
        for (const char *word : {"wlinterface", "wlsecurity", "wlmacfilter", "wlwds", "wladv"})
            EXPECT_EQ(dt::run_request(std::string(word) + " show"), kLoadFailed) << word;
        EXPECT_EQ(dt::read_file(flash), before);
        EXPECT_EQ(dt::run_request("wlinterface"), R("wlintfhelp")) << "no bracket, no failure";
    }
};

}  // namespace

// Too large, or not a regular file (as root no permission can stop a read:
// the e2e tests run the daemon as another user for that). A missing or
// damaged data model still falls back, but an unreadable flash behind it
// never gives way to the factory defaults.
TEST_F(StoreFaults, UnreadableFilesAreNeverTakenForMissingOnes)
{
    std::string saved = dt::read_file(mdm);
    const std::function<void(const std::string &)> makers[] = {
        [](const std::string &p) { ASSERT_EQ(truncate(p.c_str(), dplat::kStoreFileMax + 1), 0); },
        [](const std::string &p) { unlink(p.c_str()); ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
        [](const std::string &p) { unlink(p.c_str()); ASSERT_EQ(mkdir(p.c_str(), 0700), 0); },
    };
    const char *reasons[] = {"File too large", "not a regular file", "not a regular file"};
    const char *errnos[] = {"File too large", "Invalid argument", "Invalid argument"};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(reasons[i]);
        makers[i](mdm);
        expect_nothing_kept(errnos[i]);
        EXPECT_NE(root.log().find("cannot read " + mdm + ": " + reasons[i]), std::string::npos)
            << root.log();
        ASSERT_EQ(dorvan_readImageFile(DORVAN_MDM_FILE, nullptr, nullptr), -1);
        dt::run("rm -rf '" + mdm + "'");
        dt::write_file(mdm, saved);
        EXPECT_EQ(dt::run_request("wlinterface show"), view) << "readable again";
    }
    // Behind a data model that is gone, the flash is not readable either.
    std::string flashBytes = dt::read_file(flash);
    unlink(mdm.c_str());
    unlink(flash.c_str());
    ASSERT_EQ(mkfifo(flash.c_str(), 0600), 0);
    EXPECT_EQ(dt::run_request("wlinterface show"), kLoadFailed);
    EXPECT_EQ(dt::run_request(kChanges[0]), kSaveFailed);
    EXPECT_FALSE(dt::exists(mdm)) << "factory values stored";
    EXPECT_NE(dorvan_loadFailure().find(flash + ": not a regular file"), std::string::npos);
    unlink(flash.c_str());
    dt::write_file(flash, flashBytes);
    EXPECT_EQ(dt::run_request("wlinterface show"), view);
    EXPECT_EQ(dorvan_loadFailure(), "");
}

// A store that fails (here: a folder where its temp file goes) is not saved;
// the reply says so, the lock is given back, the views are unaffected, and
// the button monitor logs it.
TEST_F(StoreFaults, FailedStoresAreReportedNotAnsweredAsSuccess)
{
    std::string tmp = mdm + ".tmp." + std::to_string(getpid());
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    std::string before = dt::read_file(mdm);
    for (const char *change : kChanges) {
        SCOPED_TRACE(change);
        EXPECT_EQ(dt::run_request(change), kSaveFailed);
        auto trace = root.trace();
        ASSERT_GE(trace.size(), 2u);
        EXPECT_EQ(trace[trace.size() - 2], "store");
        EXPECT_EQ(trace.back().rfind("unlock\t", 0), 0u);
        root.clear_trace();
    }
    EXPECT_EQ(count(root.log(), "] processWl"), 5) << root.log();
    EXPECT_EQ(dt::read_file(mdm), before);
    EXPECT_EQ(dt::run_request("wlinterface show"), view);
    dt::seed({{"wlEnbl", "1"}});
    disable_wireless();
    EXPECT_NE(root.log().find("disable_wireless:"), std::string::npos);
    EXPECT_EQ(dt::run_request("wlinterface"), R("wlintfhelp")) << "the monitor's failure is not a reply's";
    rmdir(tmp.c_str());
    EXPECT_EQ(dt::run_request(kChanges[0]), R("enable wl0 successfully!!\n"));
}

// Writer and reader share one limit: what loading would refuse is never written.
TEST(StoreLimit, WritesLargerThanLoadingAcceptsAreRefused)
{
    dt::TempRoot root;
    std::string path = root.file(DORVAN_MDM_FILE);
    std::string before = dt::read_file(path);
    EXPECT_EQ(dplat::writeFileAtomic(path, std::string(dplat::kStoreFileMax + 1, 'x')), -1);
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(dt::read_file(path), before);
    std::string fits(dplat::kStoreFileMax, 'x');
    ASSERT_EQ(dplat::writeFileAtomic(path, fits, nullptr, 0600, false), 0);
    std::string back;
    EXPECT_EQ(dplat::readFile(path, &back), 0);
    EXPECT_TRUE(back == fits);
}
