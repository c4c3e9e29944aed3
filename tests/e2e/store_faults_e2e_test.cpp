// Store files another user owns, a full disk, a read-only root and a data
// model at the size limit, through the real daemon and tools.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "dorvan_store.h"
#include "platform_internal.h"
#include "testutil.h"

namespace {

const char kNobody[] = "65534";

// "rc=N" then the output of a shell command line.
std::string sh(const std::string &cmdline)
{
    std::string out;
    int rc = dt::run("(" + cmdline + ") 2>&1", &out);
    return "rc=" + std::to_string(rc) + " " + out;
}

std::string as_nobody(const std::string &cmdline)
{
    return std::string("setpriv --reuid=") + kNobody + " --regid=" + kNobody + " --clear-groups " + cmdline;
}

std::string cfg(const std::string &args)
{
    return dt::bin("dorvan-cfg") + " " + args;
}

bool can_unshare()
{
    return geteuid() == 0 && dt::run("unshare -m true 2>/dev/null") == 0;
}

uid_t owner(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_uid : (uid_t)-1;
}

}  // namespace

// Tests run as root, whom no file mode stops; the daemon and the tools run
// here as nobody (setpriv), on a root nobody owns, against store files that
// root owns with mode 0600: a real EACCES. Nothing falls back to factory
// values, nothing is written, every tool says which file and why.
TEST(StoreFaultsE2E, OtherUsersFilesFailLoudlyAndSurvive)
{
    if (geteuid() != 0 || dt::run("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "needs root and setpriv to run as another user";
    dt::TempRoot root;
    dt::seed({{"wlSsid_wl0v0", "kept"}});
    unsetenv("DORVAN_TRACE");
    dt::write_file(root.file("log"), "");
    const std::string mdm = root.file(DORVAN_MDM_FILE), flash = root.file(DORVAN_FLASH_FILE);
    ASSERT_EQ(dt::run("chown -R nobody:nogroup '" + root.path() + "' && chown root:root '" +
                      root.file(DORVAN_LOCK_FILE) + "'"), 0);

    // root editing nobody's root leaves files nobody can read back.
    ASSERT_EQ(sh(cfg("set wlSsid_wl0v1 Guest")), "rc=0 ");
    EXPECT_EQ(owner(mdm), 65534u);
    EXPECT_EQ(owner(flash), 65534u);
    EXPECT_EQ(sh(as_nobody(cfg("get wlSsid_wl0v1"))), "rc=0 Guest\n") << "lock file root's: opened read-only";

    // Files left root's (by hand, or by an older version).
    ASSERT_EQ(dt::run("chown root:root '" + mdm + "' '" + flash + "'"), 0);
    const std::string before = dt::read_file(mdm) + dt::read_file(flash);
    EXPECT_EQ(sh(as_nobody(cfg("get wlSsid_wl0v0"))), "rc=1 dorvan-cfg: cannot read " + mdm + ": Permission denied\n");
    EXPECT_EQ(sh(as_nobody(cfg("--flash show"))), "rc=1 dorvan-cfg: cannot read " + flash + ": Permission denied\n");
    EXPECT_EQ(sh(as_nobody(cfg("set wlSsid_wl0v0 lost"))).substr(0, 5), "rc=1 ");

    dt::Daemon d(root, {}, {"setpriv", std::string("--reuid=") + kNobody, std::string("--regid=") + kNobody,
                            "--clear-groups"});
    const std::string dorvan = as_nobody(dt::bin("dorvan") + " --timeout 5 ");
    EXPECT_EQ(sh(dorvan + "wlinterface show"), "rc=0 load configuration failed!!\n");
    EXPECT_EQ(sh(dorvan + "wlinterface enable --interface wl0 --wlSsid lost"), "rc=0 save configuration failed!!\n");
    EXPECT_EQ(dt::read_file(mdm) + dt::read_file(flash), before);
    EXPECT_NE(root.log().find("cannot read " + mdm + ": Permission denied"), std::string::npos) << root.log();
    EXPECT_TRUE(d.alive());
}

// A full disk (a small tmpfs over the state folder, in a mount namespace of
// the daemon's own): the change is answered as failed, one log line says
// why, and the daemon goes on showing what is stored.
TEST(StoreFaultsE2E, FullDiskFailsTheChangeNotTheDaemon)
{
    if (!can_unshare())
        GTEST_SKIP() << "needs root and mount namespaces";
    dt::TempRoot root;
    dt::seed({{"wlSsid_wl0v0", "kept"}});
    const std::string state = root.file(DORVAN_STATE_DIR), saved = root.file("saved");
    ASSERT_EQ(dt::run("cp -a '" + state + "' '" + saved + "'"), 0);
    const std::string setup = "mount -t tmpfs -o size=64k tmpfs '" + state + "' && cp -a '" + saved + "/.' '" +
                              state + "' && (dd if=/dev/zero of='" + state +
                              "/filler' bs=4k 2>/dev/null; true) && exec \"$@\"";
    dt::Daemon d(root, {}, {"unshare", "-m", "sh", "-c", setup, "sh"});
    const std::string dorvan = dt::bin("dorvan") + " --timeout 5 ";
    std::string show = sh(dorvan + "wlinterface show");
    EXPECT_NE(show.find("wl0:enabled  wlSsid:kept"), std::string::npos) << show;
    EXPECT_EQ(sh(dorvan + "wlinterface enable --interface wl0 --wlSsid full"), "rc=0 save configuration failed!!\n");
    EXPECT_EQ(dt::lines(root.log()).size(), 2u) << root.log();
    EXPECT_NE(root.log().find("processWlIntfCmd"), std::string::npos);
    EXPECT_NE(root.log().find("save configuration failed: No space left on device"), std::string::npos);
    EXPECT_EQ(sh(dorvan + "wlinterface show"), show);
    EXPECT_TRUE(d.alive());
}

// Read-only verbs need only read access, the lock file included; a change
// fails for its real reason, not as a busy lock.
TEST(StoreFaultsE2E, ReadOnlyRootServesReaders)
{
    if (!can_unshare())
        GTEST_SKIP() << "needs root and mount namespaces";
    dt::TempRoot root;
    dt::seed({{"wlSsid_wl0v0", "kept"}});
    unsetenv("DORVAN_TRACE");
    const std::string ro = "unshare -m sh -c \"mount --bind '" + root.path() + "' '" + root.path() +
                           "' && mount -o remount,bind,ro '" + root.path() + "' && ";
    const std::string mdm = root.file(DORVAN_MDM_FILE);
    EXPECT_EQ(sh(ro + cfg("get wlSsid_wl0v0") + "\""), "rc=0 kept\n");
    EXPECT_EQ(sh(ro + cfg("--flash get wlSsid_wl0v0") + "\""), "rc=0 kept\n");
    std::string set = sh(ro + cfg("set wlSsid_wl0v0 x") + "\"");
    EXPECT_EQ(set.substr(0, 5), "rc=1 ") << set;
    EXPECT_NE(set.find("dorvan-cfg: cannot store " + mdm + ": Read-only file system"), std::string::npos) << set;
    unlink(root.file(DORVAN_LOCK_FILE).c_str());
    EXPECT_EQ(sh(ro + cfg("get wlSsid_wl0v0") + "\"").substr(0, 5), "rc=1 ") << "no lock file, none can be made";
    EXPECT_EQ(dt::stored("wlSsid_wl0v0"), "kept");
}

// A data model near the size limit loads; the set that would push it past
// is refused instead of leaving a file no later load accepts.
TEST(StoreFaultsE2E, SetsStopAtTheSizeLimit)
{
    dt::TempRoot root;
    std::string body;
    const std::string value(200, 'v');
    for (int i = 0; body.size() + 300 < dplat::kStoreFileMax; i++)
        body += "v\tname" + std::to_string(i) + "\t" + value + "\n";
    char head[64];
    snprintf(head, sizeof(head), "DORVAN-DB 1 %zu %08x\n", body.size(), (unsigned)dplat::crc32(body.data(), body.size()));
    const std::string mdm = root.file(DORVAN_MDM_FILE);
    dt::write_file(mdm, head + body);
    body.clear();
    EXPECT_EQ(sh(cfg("get name7")), "rc=0 " + value + "\n");
    std::string set = sh(cfg("set wlSsid_wl0v0 kept wlSsid_wl0v1 " + std::string(255, 's')));
    EXPECT_EQ(set.substr(0, 5), "rc=1 ") << set;
    EXPECT_NE(set.find("dorvan-cfg: cannot store " + mdm + ": File too large"), std::string::npos) << set;
    struct stat st;
    ASSERT_EQ(stat(mdm.c_str(), &st), 0);
    EXPECT_LE((size_t)st.st_size, dplat::kStoreFileMax);
    EXPECT_EQ(sh(cfg("get name7")), "rc=0 " + value + "\n");

    // Past the limit (grown by hand): refused, never replaced by defaults.
    ASSERT_EQ(truncate(mdm.c_str(), dplat::kStoreFileMax + 1), 0);
    EXPECT_EQ(sh(cfg("get wlSsid_wl0v0")), "rc=1 dorvan-cfg: cannot read " + mdm + ": File too large\n");
    EXPECT_EQ(sh(cfg("set wlSsid_wl0v0 x")).substr(0, 5), "rc=1 ");
    ASSERT_EQ(stat(mdm.c_str(), &st), 0);
    EXPECT_EQ((size_t)st.st_size, dplat::kStoreFileMax + 1);
}
