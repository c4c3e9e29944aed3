// Per-device factory secrets: generated once per device, kept across
// factory resets, overridden by the board's provisioning file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

bool wpsPinValid(const std::string &pin)
{
    int sum = 0;
    for (size_t i = 0; i < pin.size(); i++)
        sum += (pin[i] - '0') * (i % 2 == 0 ? 3 : 1);
    return pin.size() == 8 && pin.find_first_not_of("0123456789") == std::string::npos && sum % 10 == 0;
}

TEST(DeviceSecrets, GeneratedOnceKeptAcrossResetAndPerDevice)
{
    std::string first;
    {
        dt::TempRoot root;
        DorvanImage f = dorvan_factory_image();
        first = f.vars["wlWpaPsk_wl0v0"];
        EXPECT_NE(first, f.vars["wlWpaPsk_wl0v1"]);
        EXPECT_EQ(f.vars["wlWscDevPin_wl0v3"], f.vars["wlWscDevPin_wl0v0"]);
        // The data model was provisioned from them, and a reset restores them
        // to the data model and flash, the filters gone.
        EXPECT_EQ(dt::stored("wlWpaPsk_wl0v0"), first);
        wlmgr_loadWorkingCopy();
        wlmgr_setVar("wlWpaPsk_wl0v0", "changed-by-user");
        wlmgr_addFilterMac("00:11:22:33:44:55", "mine", "wl0");
        wlmgr_storeWorkingCopy();
        ASSERT_EQ(cfgMgm_saveConfigToFlash(), 0);
        root.clear_trace();
        setenv("DORVAN_NO_REEXEC", "1", 1);
        ASSERT_EQ(cfgMgm_restoreDefault(nullptr), 0);
        EXPECT_EQ(root.trace(), (dt::Lines{"lock\tcfgMgm_restoreDefault", "restore", "unlock\tcfgMgm_restoreDefault"}));
        for (const char *file : {DORVAN_MDM_FILE, DORVAN_FLASH_FILE}) {
            DorvanImage img;
            ASSERT_EQ(dorvan_read_image_file(file, &img, nullptr), 0);
            EXPECT_TRUE(img.vars == f.vars && img.filters.empty()) << file;
        }
        struct stat st;
        ASSERT_EQ(stat(root.file("var/dorvan/device.secrets").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    dt::TempRoot other;
    EXPECT_NE(dorvan_factory_image().vars["wlWpaPsk_wl0v0"], first);
}

// The board's provisioning file, then what was generated and kept, then
// fresh values: bad lines are logged and generated instead, nothing is
// empty, and what can be kept gives the same values again.
TEST(DeviceSecrets, ProvisionedThenKeptThenGeneratedNeverEmpty)
{
    const std::string conf = "etc/dorvan/device.conf", made = "var/dorvan/device.secrets";
    const struct {
        std::string file, text;     // no text: a folder stands there
        std::vector<std::string> psk;  // "": generated
    } cases[] = {
        {conf, "wlWpaPsk_wl0v0=label-pass-01\nwlWscDevPin=12345671\nwlWpaPsk_wl0v1=short\nwlWpaPsk_wl0v2=" +
                   std::string(64, 'p') + "\nwlWpaPsk_wl0v3=" + std::string(63, 'p') + "\n",
         {"label-pass-01", "", "", std::string(63, 'p')}},
        {made, "", {"", "", "", ""}},
        {made, "\x01junk\nwlWpaPsk_wl0v0=\n", {"", "", "", ""}},
        {made, "wlWpaPsk_wl0v2=kept-value-02\n", {"", "", "kept-value-02", ""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        dt::TempRoot root(true);
        dt::run("mkdir -p '" + root.file("etc/dorvan") + "' '" + root.file("var/dorvan") + "'");
        if (c.text.empty())
            mkdir(root.file(c.file).c_str(), 0700);
        else
            dt::write_file(root.file(c.file), c.text);
        DorvanImage f = dorvan_factory_image(), again = dorvan_factory_image();
        for (int i = 0; i < 4; i++) {
            std::string n = "wlWpaPsk_wl0v" + std::to_string(i), v = f.vars[n];
            EXPECT_TRUE(c.psk[i].empty() ? v.size() == 14 : v == c.psk[i]) << i << ": " << v;
            EXPECT_EQ(again.vars[n] == v, !c.text.empty()) << i << ": a folder cannot keep them";
        }
        EXPECT_TRUE(wpsPinValid(f.vars["wlWscDevPin_wl0v0"])) << f.vars["wlWscDevPin_wl0v0"];
        EXPECT_TRUE(c.file == made || root.log().find("line ignored") != std::string::npos);
    }
}

}  // namespace
