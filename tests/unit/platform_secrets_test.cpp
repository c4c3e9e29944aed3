// Per-device factory secrets: generated once per device, kept across
// resets, overridden by the board's provisioning file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "dorvan_store.h"
#include "testutil.h"

namespace {

bool wpsPinValid(const std::string &pin)
{
    if (pin.size() != 8 || pin.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int sum = 0;
    for (int i = 0; i < 8; i++)
        sum += (pin[i] - '0') * (i % 2 == 0 ? 3 : 1);
    return sum % 10 == 0;
}

TEST(DeviceSecrets, GeneratedOnceKeptAcrossResetAndPerDevice)
{
    std::string first;
    {
        dt::TempRoot root;
        DorvanImage f = dorvan_factoryImage();
        first = f.vars["wlWpaPsk_wl0v0"];
        EXPECT_EQ(first.size(), 14u) << first;
        EXPECT_NE(first, f.vars["wlWpaPsk_wl0v1"]);
        EXPECT_TRUE(wpsPinValid(f.vars["wlWscDevPin_wl0v0"])) << f.vars["wlWscDevPin_wl0v0"];
        EXPECT_EQ(f.vars["wlWscDevPin_wl0v3"], f.vars["wlWscDevPin_wl0v0"]);
        // The data model was provisioned from them, and a reset restores them.
        EXPECT_EQ(dt::stored("wlWpaPsk_wl0v0"), first);
        dt::seed({{"wlWpaPsk_wl0v0", "changed-by-user"}});
        ASSERT_EQ(dorvan_restoreFactory(), 0);
        EXPECT_EQ(dt::stored("wlWpaPsk_wl0v0"), first);
        struct stat st;
        ASSERT_EQ(stat(root.file("var/dorvan/device.secrets").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    dt::TempRoot other;
    EXPECT_NE(dorvan_factoryImage().vars["wlWpaPsk_wl0v0"], first);
}

TEST(DeviceSecrets, ProvisioningFileWinsAndBadLinesAreIgnored)
{
    dt::TempRoot root(true);
    mkdir(root.file("etc").c_str(), 0755);
    mkdir(root.file("etc/dorvan").c_str(), 0755);
    dt::write_file(root.file("etc/dorvan/device.conf"),
                   "wlWpaPsk_wl0v0=label-pass-01\nwlWscDevPin=12345671\nwlWpaPsk_wl0v1=short\n"
                   "wlWpaPsk_wl0v2=" + std::string(64, 'p') + "\nwlWpaPsk_wl0v3=" + std::string(63, 'p') + "\n");
    mkdir(root.file("var").c_str(), 0755);
    mkdir(root.file("var/dorvan").c_str(), 0755);
    DorvanImage f = dorvan_factoryImage();
    EXPECT_EQ(f.vars["wlWpaPsk_wl0v0"], "label-pass-01");
    // A PIN with a bad checksum and a short passphrase are generated instead.
    EXPECT_TRUE(wpsPinValid(f.vars["wlWscDevPin_wl0v0"]));
    EXPECT_EQ(f.vars["wlWpaPsk_wl0v1"].size(), 14u);
    EXPECT_EQ(f.vars["wlWpaPsk_wl0v2"].size(), 14u) << "64 characters are one too many";
    EXPECT_EQ(f.vars["wlWpaPsk_wl0v3"], std::string(63, 'p'));
    EXPECT_NE(root.log().find("line ignored"), std::string::npos);
}

}  // namespace
