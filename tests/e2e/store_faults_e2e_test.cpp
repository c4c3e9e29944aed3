// Store files another user owns and a full disk, through the
// real daemon and tools.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "dorvan_store.h"
#include "testutil.h"

namespace {

// "rc=N " and the output of a shell command line.
std::string sh(const std::string &cmdline)
{
    std::string out;
    int rc = dt::run("(" + cmdline + ") 2>&1", &out);
    return "rc=" + std::to_string(rc) + " " + out;
}

std::string cfg(const std::string &args) { return dt::bin("dorvan-cfg") + " " + args; }

const char kNobody[] = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

}  // namespace

// Tests run as root, whom no file mode stops: the daemon and the tools run
// as nobody (setpriv) on a root nobody owns, against store files root owns
// with mode 0600, for a real EACCES.
TEST(StoreFaultsE2E, OtherUsersFilesFailLoudlyAndSurvive)
{
    if (geteuid() != 0 || dt::run(kNobody + ("test -x " + dt::bin("dorvand")) + " 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root, setpriv, and a build nobody can run";
    dt::TempRoot root;
    dt::seed({{"wlSsid_wl0v0", "kept"}});
    unsetenv("DORVAN_TRACE");
    dt::write_file(root.file("log"), "");
    const std::string mdm = root.file(DORVAN_MDM_FILE), flash = root.file(DORVAN_FLASH_FILE);
    ASSERT_EQ(dt::run("chown -R nobody: '" + root.path() + "' && chown root: '" + root.file(DORVAN_LOCK_FILE) + "'"), 0);
    // root editing nobody's root leaves files nobody reads back, and hands
    // back a lock file root left its own.
    ASSERT_EQ(sh(cfg("set wlSsid_wl0v1 Guest")), "rc=0 ");
    EXPECT_EQ(sh(kNobody + cfg("get wlSsid_wl0v1")), "rc=0 Guest\n");

    const std::string before = dt::read_file(mdm) + dt::read_file(flash);
    ASSERT_EQ(dt::run("chown root: '" + mdm + "' '" + flash + "'"), 0);  // as an older version left them
    EXPECT_EQ(sh(kNobody + cfg("get wlSsid_wl0v0")), "rc=1 dorvan-cfg: cannot read " + mdm + ": Permission denied\n");
    EXPECT_EQ(sh(kNobody + cfg("set wlSsid_wl0v0 lost")).substr(0, 5), "rc=1 ");
    dt::Daemon d(root, {}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    const std::string dorvan = kNobody + dt::bin("dorvan") + " --timeout 5 ";
    EXPECT_EQ(sh(dorvan + "wlinterface show"), "rc=0 load configuration failed!!\n");
    EXPECT_EQ(sh(dorvan + "wlinterface enable --interface wl0 --wlSsid lost"), "rc=0 save configuration failed!!\n");
    EXPECT_EQ(dt::read_file(mdm) + dt::read_file(flash), before);
    EXPECT_NE(root.log().find("cannot read " + mdm + ": Permission denied"), std::string::npos) << root.log();
}

// A full disk: a 64 kB tmpfs over the state folder, filled, in the daemon's
// own mount namespace.
TEST(StoreFaultsE2E, FullDiskFailsTheChangeNotTheDaemon)
{
    if (geteuid() != 0 || dt::run("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and mount namespaces";
    dt::TempRoot root;
    dt::seed({{"wlSsid_wl0v0", "kept"}});
    const std::string state = "'" + root.file(DORVAN_STATE_DIR) + "'", saved = "'" + root.file("saved") + "'";
    ASSERT_EQ(dt::run("cp -a " + state + " " + saved), 0);
    dt::Daemon d(root, {}, {"unshare", "-m", "sh", "-c",
                            "mount -t tmpfs -o size=64k tmpfs " + state + " && cp -a " + saved + "/. " + state +
                                " && { dd if=/dev/zero of=" + state + "/filler bs=4k 2>/dev/null; exec \"$@\"; }",
                            "sh"});
    const std::string dorvan = dt::bin("dorvan") + " --timeout 5 ";
    std::string show = sh(dorvan + "wlinterface show");
    EXPECT_NE(show.find("wl0:enabled  wlSsid:kept"), std::string::npos) << show;
    EXPECT_EQ(sh(dorvan + "wlinterface enable --interface wl0 --wlSsid full"), "rc=0 save configuration failed!!\n");
    EXPECT_NE(root.log().find("save configuration failed: No space left on device"), std::string::npos);
    EXPECT_EQ(sh(dorvan + "wlinterface show"), show);
}
