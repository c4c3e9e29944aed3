// wlsecurity through the real handler on a private root. Requests, exact
// replies and write orders are in tests/golden/wlsecurity.txt; here the
// pairs built from long generated strings.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

using dt::bracket;
using dt::R;

namespace {

const char *const kCmd = "processWlSecurityCmd";

}  // namespace

TEST(WlSecurity, GoldenTranscript)
{
    EXPECT_GE(dt::run_golden("wlsecurity.txt"), 50);
}

// A value past 255 characters or a key past 63: refused, nothing written or printed.
TEST(WlSecurity, OverlongPairsRefused)
{
    dt::TempRoot root;
    dt::seed({{"wlSsidIdx", "0"}, {"wlAuthMode_wl0v0", "wpa2"}, {"wlAuthMode_wl0v1", "psk"}});
    root.clear_trace();
    for (const std::string &args :
         {"wpssetup --interface wl0 --wlWscStaPin " + std::string(256, '1'),
          "manualsetup --interface wl0 --wlAuthMode psk --" + std::string(64, 'n') + " 1",
          "manualsetup --interface wl0 --wlAuthMode psk --wlWpaPsk " + std::string(256, 'v')}) {
        dt::StdoutCapture out;
        EXPECT_EQ(dt::run_request("wlsecurity " + args), R("wlsechelp")) << args;
        EXPECT_EQ(out.finish(), "") << args;
    }
    EXPECT_EQ(root.trace(), bracket(kCmd, "", true, 3));
}

TEST(WlSecurity, LongestPairWrittenWhole)
{
    dt::TempRoot root;
    const std::string name(63, 'n'), value(255, 'v');
    EXPECT_EQ(dt::run_request("wlsecurity MANUALSETUP --interface wl0 --wlAuthMode psk2 --" +
                              name + " " + value),
              R("execute manualsetup successfully!!\n"));
    EXPECT_EQ(root.trace(), bracket(kCmd, "wlSsidIdx=0 wl_wsc_mode=disabled wlAuth=0 wlWep=0 "
                                           "interface=wl0 wlAuthMode=psk2 " + name + "=" + value));
}
