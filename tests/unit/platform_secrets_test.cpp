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

// The board's provisioning file, then what was generated and kept, then
// fresh values: bad lines are logged and generated instead, nothing is
// empty, each interface has its own, and what can be kept (owner only:
// passphrases) gives the same values again; a folder cannot keep them, so
// each call makes new ones. Back after a factory reset: MonitorE2E's reset
// hold and the VM's reset-factory join with the provisioned passphrase.
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
        EXPECT_TRUE(wpsPinValid(f.vars["wlWscDevPin_wl0v0"]) && f.vars["wlWscDevPin_wl0v3"] == f.vars["wlWscDevPin_wl0v0"]) << f.vars["wlWscDevPin_wl0v0"];
        EXPECT_NE(f.vars["wlWpaPsk_wl0v0"], f.vars["wlWpaPsk_wl0v1"]);
        struct stat st;
        EXPECT_TRUE(c.file == made || (stat(root.file(made).c_str(), &st) == 0 && (st.st_mode & 0777) == 0600));
        EXPECT_TRUE(c.file == made || root.log().find("line ignored") != std::string::npos);
    }
}

}  // namespace
