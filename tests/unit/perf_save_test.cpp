// What a change costs the storage: the flash is synced, the data model only
// replaced; and a load skips the parse only when that is exact.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

bool g_counting = false;
std::vector<std::string> g_synced;

std::string value_of(const char *name)
{
    char v[WLMGR_VALUE_SIZE];
    return wlmgr_getVar(name, v) == 0 ? v : "<unset>";
}

}  // namespace

// unit_tests links with -Wl,--wrap=fsync: every fsync of the platform passes here.
extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd)
{
    if (g_counting) {
        char link[64], target[PATH_MAX];
        snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, target, sizeof(target) - 1);
        g_synced.push_back(n > 0 ? std::string(target, (size_t)n) : "?");
    }
    return __real_fsync(fd);
}

TEST(SaveCost, AChangeSyncsTheFlashFileAndItsFolderOnly)
{
    dt::TempRoot root;
    std::string dir = root.file("var/dorvan");
    g_synced.clear();
    g_counting = true;
    std::string reply = dt::run_request("wlinterface enable --interface wl0.1 --wlSsid Guest");
    g_counting = false;
    EXPECT_EQ(reply, dt::R("enable wl0.1 successfully!!\n"));
    EXPECT_EQ(g_synced, (std::vector<std::string>{
                            dir + "/flash.db.tmp." + std::to_string(getpid()), dir}));
    // Both files hold the change, whole.
    DorvanImage mdm, flash;
    ASSERT_EQ(dorvan_readImageFile(DORVAN_MDM_FILE, &mdm, nullptr), 0);
    ASSERT_EQ(dorvan_readImageFile(DORVAN_FLASH_FILE, &flash, nullptr), 0);
    EXPECT_EQ(mdm.vars["wlSsid_wl0v1"], "Guest");
    EXPECT_EQ(flash.vars, mdm.vars);

    g_synced.clear();
    g_counting = true;
    dt::run_request("wlinterface show");
    g_counting = false;
    EXPECT_TRUE(g_synced.empty()) << "a view syncs nothing";
}

TEST(SaveCost, ALoadNeverKeepsWhatTheDataModelDoesNotHold)
{
    dt::TempRoot root;
    wlmgr_loadWorkingCopy();
    // Changed but never stored, also past what the undo list keeps.
    for (int n : {1, 100}) {
        wlmgr_setVar("wlSsidIdx", "2");
        for (int i = 0; i < n; i++)
            wlmgr_setVar(("extra" + std::to_string(i)).c_str(), "x");
        wlmgr_setVar("wlSsid_wl0v0", "unsaved");
        wlmgr_loadWorkingCopy();
        EXPECT_EQ(value_of("wlSsidIdx"), "0") << n;
        EXPECT_EQ(value_of("extra0"), "<unset>") << n;
        EXPECT_EQ(value_of("wlSsid_wl0v0"), "Dorvan") << n;
    }
    // Stored by another process: the next load takes it.
    pid_t pid = fork();
    if (pid == 0) {
        wlmgr_setVar("wlSsid_wl0v0", "theirs");
        _exit(dorvan_storeWorkingCopy() == 0 ? 0 : 1);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    wlmgr_loadWorkingCopy();
    EXPECT_EQ(value_of("wlSsid_wl0v0"), "theirs");
    // Our own store, then a load: still what was stored.
    wlmgr_setVar("wlSsid_wl0v0", "ours");
    ASSERT_EQ(dorvan_storeWorkingCopy(), 0);
    wlmgr_setVar("wlSsid_wl0v0", "changed after the store");
    wlmgr_loadWorkingCopy();
    EXPECT_EQ(value_of("wlSsid_wl0v0"), "ours");
}
