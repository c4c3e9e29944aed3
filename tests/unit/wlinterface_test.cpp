// wlinterface through the real handler on a private root.
#include <gtest/gtest.h>

#include <string>

#include "commands.h"
#include "testutil.h"

using dt::bracket;
using dt::Lines;
using dt::R;

namespace {

const std::string kIfaceNeeded = IFACE_NEEDED_TEXT;

const char *const kCmd = "processWlIntfCmd";

// wlEnbl, wlSsid, wlMaxAssoc, wlHide, wlAPIsolation, wlDisableWme of interface i.
void seed_iface(int i, const Lines &v)
{
    const char *const vars[] = {"wlEnbl", "wlSsid", "wlMaxAssoc",
                                "wlHide", "wlAPIsolation", "wlDisableWme"};
    for (int k = 0; k < 6; k++)
        dt::seed({{std::string(vars[k]) + "_wl0v" + std::to_string(i), v[k]}});
}

}  // namespace

// Requests, exact replies and write orders: tests/golden/wlinterface.txt.
TEST(WlInterface, GoldenTranscript)
{
    EXPECT_GE(dt::run_golden("wlinterface.txt"), 12);
}

TEST(WlInterface, ShowOfLongValuesStaysWithinTheBufferInWholeLines)
{
    dt::TempRoot root;
    const std::string v(255, '7');  // no name for it: every flag shown as stored
    for (int i = 0; i < 4; i++)
        seed_iface(i, {v, v, v, v, v, v});
    dt::seed({{"wlCountry", v}});
    std::string line = ":" + v + "  wlSsid:" + v + "  wlCountry:" + v + "  wlMaxAssoc:" + v +
                       "  wlHide:" + v + "  wlAPIsolation:" + v + "  wlDisableWme:" + v + "\n";
    // Two lines fit in the reply buffer; the rest are left off whole.
    EXPECT_EQ(dt::run_request("wlinterface show"), R("wl0" + line + "wl0.1" + line));
}

// Pairs that could not be stored whole: a key past 63 characters, a value past 255.
TEST(WlInterface, EnableRefusesOverlongPairsAndKeepsTheLongestWhole)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "0"}});
    root.clear_trace();
    const std::string name(57, 'n'), value(255, 'v');
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --" + name + "x 1"),
              R("wlintfhelp"));
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --a " + value + "v"),
              R("wlintfhelp"));
    EXPECT_EQ(root.trace(), bracket(kCmd, "", true, 2));
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --" + name + " " + value),
              R("enable wl0 successfully!!\n"));
    EXPECT_EQ(dt::stored(name + "_wl0v0"), value);
}
