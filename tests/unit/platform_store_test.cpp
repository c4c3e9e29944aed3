// Data model and flash files: exact round trips, fallback on damage (a
// kill mid-write leaves the old file: every write goes through a temp file,
// StoreFaults.NothingIsKeptOrClaimedWhenFilesFail).
#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "platform_internal.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

bool same_image(const DorvanImage &a, const DorvanImage &b)
{
    auto fields = [](const DorvanFilterEntry &f) { return std::tie(f.mac, f.ssid, f.ifname); };
    return a.vars == b.vars && a.wds == b.wds &&
           std::equal(a.filters.begin(), a.filters.end(), b.filters.begin(), b.filters.end(),
                      [&](const auto &x, const auto &y) { return fields(x) == fields(y); });
}

// Bytes 0x01..0xff, length in [min, max].
std::string random_bytes(std::mt19937 &rng, size_t min, size_t max)
{
    std::string s(std::uniform_int_distribution<size_t>(min, max)(rng), '\0');
    for (char &c : s)
        c = (char)std::uniform_int_distribution<int>(1, 255)(rng);
    return s;
}

std::string var(const char *name)
{
    char v[WLMGR_VALUE_SIZE];
    return wlmgr_getVar(name, v) == 0 ? v : "<unset>";
}

// Flash says "flash", the data model "mdm"; the log starts empty.
void flash_and_mdm(const dt::TempRoot &root)
{
    for (const char *ssid : {"flash", "mdm"}) {
        wlmgr_loadWorkingCopy();
        wlmgr_setVar("wlSsid", ssid);
        wlmgr_storeWorkingCopy();
        ASSERT_TRUE(ssid[0] == 'm' || cfgMgm_saveConfigToFlash() == 0);
    }
    unlink(root.file("log").c_str());
}

void damage(const std::string &path, const std::string &how)
{
    std::string data = dt::read_file(path);
    if (how == "truncated")
        data.resize(data.size() - 7);
    else if (how == "length mismatch")
        data += "v\tx\ty\n";
    else if (how == "checksum mismatch")
        data[data.size() / 2] ^= 0x10;  // a body byte: CRC-32 sees any one bit
    else if (how == "empty")
        data.clear();
    if (how == "missing")
        unlink(path.c_str());
    else
        dt::write_file(path, data);
}

}  // namespace

// A load takes what the data model holds, never what this process changed
// without storing (also past what the undo list keeps); what other processes
// stored is seen end to end. A save copies the data model.
TEST(Store, LoadSaveArbitraryBytesRoundTripDamagedFilesAreSkippedWithOneLogLine)
{
    dt::TempRoot root;
    unsetenv("DORVAN_TRACE");
    wlmgr_loadWorkingCopy();
    for (int n : {1, 100}) {
        for (int i = 0; i < n; i++)
            wlmgr_setVar(("extra" + std::to_string(i)).c_str(), "x");
        wlmgr_setVar("wlSsid_wl0v0", "unsaved");
        wlmgr_loadWorkingCopy();
        EXPECT_EQ(var("extra0") + var("wlSsid_wl0v0"), "<unset>Dorvan") << n;
    }
    unlink(root.file(DORVAN_MDM_FILE).c_str());
    EXPECT_NE(cfgMgm_saveConfigToFlash(), 0) << "nothing to copy";

    std::mt19937 rng(20240611);
    ASSERT_EQ(wlmgr_setVar("k\\\t\n\x01=\x7f\x80\xff", "v\\\t\n\x1f=\xfe"), 0);
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(wlmgr_setVar(random_bytes(rng, 1, WLMGR_NAME_SIZE - 1).c_str(),
                               random_bytes(rng, 0, WLMGR_VALUE_SIZE - 1).c_str()), 0);
    for (int i = 0; i < 20; i++) {
        std::string mac = random_bytes(rng, 1, WLMGR_MAC_SIZE - 1);
        ASSERT_EQ(wlmgr_addFilterMac(mac.c_str(), random_bytes(rng, 0, WLMGR_VALUE_SIZE - 1).c_str(),
                                     random_bytes(rng, 0, WLMGR_IFNAME_SIZE - 1).c_str()), 0);
        ASSERT_EQ(wlmgr_addWdsMac(mac.c_str()), 0);
    }
    DorvanImage before = dorvan_working_copy();
    ASSERT_EQ(dorvan_store_working_copy(), 0);
    ASSERT_EQ(cfgMgm_saveConfigToFlash(), 0);

    dorvan_reset_process_state();
    wlmgr_loadWorkingCopy();
    EXPECT_TRUE(same_image(before, dorvan_working_copy()));
    dorvan_load_flash_working_copy();
    EXPECT_TRUE(same_image(before, dorvan_working_copy()));
    struct stat st;
    ASSERT_EQ(stat(root.file(DORVAN_MDM_FILE).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "passphrases inside";

    // Damaged files are skipped with one log line.
    auto ssid_after_load = [] { return wlmgr_loadWorkingCopy(), var("wlSsid"); };
    for (const char *how : {"truncated", "length mismatch", "checksum mismatch", "empty", "missing"}) {
        SCOPED_TRACE(how);
        flash_and_mdm(root);
        damage(root.file(DORVAN_MDM_FILE), how);
        EXPECT_EQ(ssid_after_load(), "flash");
        auto log = dt::lines(root.log());
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find(root.file(DORVAN_MDM_FILE) + ": " + how), std::string::npos) << log[0];
        damage(root.file(DORVAN_FLASH_FILE), how);
        EXPECT_EQ(ssid_after_load(), "Dorvan") << "factory default";
    }
    // Well checksummed but malformed content is refused too.
    for (std::string body : {"z\tx\n", "v\tname\n", "v\t\tempty name\n", "v\tn\tbad\\q\n",
                             "v\tn\tnul\\x00\n", "v\tn\tcut\\x4\n", "w\ta\tb\n", "v\tn\tv"}) {
        SCOPED_TRACE(body);
        flash_and_mdm(root);
        char head[64];
        snprintf(head, sizeof(head), "DORVAN-DB 1 %zu %08x\n", body.size(),
                 (unsigned)dplat::crc32(body.data(), body.size()));
        dt::write_file(root.file(DORVAN_MDM_FILE), head + body);
        EXPECT_EQ(ssid_after_load(), "flash");
        EXPECT_NE(root.log().find("malformed content"), std::string::npos);
    }
}
