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

TEST(WlInterface, ShowListsFourLinesWithFlagsNamedOrAsStored)
{
    dt::TempRoot root;
    dt::seed({{"wlCountry", "DE"}});
    seed_iface(0, {"1", "HomeNet", "16", "0", "1", "0"});
    seed_iface(1, {"0", "Guest", "8", "1", "0", "1"});
    seed_iface(2, {"2", "", "x", "yes", "01", "-1"});  // 2 and -1 have no name
    seed_iface(3, {"0", "Lab Net", "4", "0", "0", "0"});
    root.clear_trace();
    const std::string want = R(
        "wl0:enabled  wlSsid:HomeNet  wlCountry:DE  wlMaxAssoc:16  wlHide:disabled  "
        "wlAPIsolation:enabled  wlDisableWme:disabled\n"
        "wl0.1:disabled  wlSsid:Guest  wlCountry:DE  wlMaxAssoc:8  wlHide:enabled  "
        "wlAPIsolation:disabled  wlDisableWme:enabled\n"
        "wl0.2:2  wlSsid:  wlCountry:DE  wlMaxAssoc:x  wlHide:disabled  "
        "wlAPIsolation:enabled  wlDisableWme:-1\n"
        "wl0.3:disabled  wlSsid:Lab Net  wlCountry:DE  wlMaxAssoc:4  wlHide:disabled  "
        "wlAPIsolation:disabled  wlDisableWme:disabled\n");
    EXPECT_EQ(dt::run_request("wlinterface show"), want);
    EXPECT_EQ(root.trace(), bracket("cmdWlIntfView"));
    EXPECT_EQ(dt::run_request("wlinterface SHOW extra words"), want);
    EXPECT_EQ(dt::run_request("wlinterface"), R("wlintfhelp"));
    EXPECT_EQ(dt::run_request("wlinterface bogus --interface wl0"), R("wlintfhelp"));
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

TEST(WlInterface, DisableChecksArgumentsBeforeTheLockThenWritesOneFlag)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v1", "1"}, {"wlEnbl_wl0v2", "1"}});
    root.clear_trace();
    {
        dt::LockHolder other;
        EXPECT_EQ(dt::run_request("wlinterface disable --INTERFACE wl0.1"), R(kIfaceNeeded));
        EXPECT_EQ(dt::run_request("wlinterface disable --interface wl0.1 x"), R(kIfaceNeeded));
        EXPECT_EQ(dt::run_request("wlinterface disable --interface wl0.4"), R("wlintfhelp"));
        EXPECT_EQ(dt::run_request("wlinterface disable --interface wl0.1"), "");  // lock busy
        EXPECT_TRUE(root.trace().empty());
    }
    EXPECT_EQ(dt::run_request("wlinterface DISABLE --interface wl0.1"),
              R("disable wl0.1 successfully!!\n"));
    EXPECT_EQ(root.trace(), bracket(kCmd, "wlEnbl_wl0v1=0"));
    EXPECT_EQ(dt::stored("wlEnbl_wl0v2"), "1");
}

TEST(WlInterface, EnableWritesSelectorFlagAndEveryPairInOrder)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "1"}});
    root.clear_trace();
    // "--" and "-x" leave no name and are skipped; the unpaired "tail" too.
    EXPECT_EQ(dt::run_request("wlinterface enable --wlSsid Guest -- a --interface wl0.1 -x b "
                              "--wlSsid Guest2 --wlEnbl 0 tail"),
              R("enable wl0.1 successfully!!\n"));
    EXPECT_EQ(root.trace(), bracket(kCmd, "wlSsidIdx=0 wlEnbl_wl0v1=1 wlSsid_wl0v1=Guest "
                                          "interface_wl0v1=wl0.1 wlSsid_wl0v1=Guest2 wlEnbl_wl0v1=0"));
    // The option word matches in any case; its pair keeps the name as typed.
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlinterface enable --INTERFACE wl0"), R("enable wl0 successfully!!\n"));
    EXPECT_EQ(root.trace(), bracket(kCmd, "wlSsidIdx=0 wlEnbl_wl0v0=1 INTERFACE_wl0v0=wl0"));
}

TEST(WlInterface, EnableChecksArgumentsUnderTheLockAndWritesNothingOnRefusal)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "0"}});
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0.2 --wlSsid x"),
              R("when wl0 is disabled, other wl0.1|wl0.2|wl0.3 can not be configured!\n"));
    EXPECT_EQ(dt::run_request("wlinterface enable --wlSsid x --interface"), R(kIfaceNeeded));
    // Only the first "--interface" is looked at.
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0.9 --interface wl0"),
              R(kIfaceNeeded));
    EXPECT_NE(root.log().find("interface value wl0.9 is invalid\n"), std::string::npos);
    // Pairs that could not be stored whole: a key past 63 characters, a value past 255.
    const std::string name(57, 'n'), value(255, 'v');
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --" + name + "x 1"),
              R("wlintfhelp"));
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --a " + value + "v"),
              R("wlintfhelp"));
    {
        dt::LockHolder other;
        EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0.9"), "");
    }
    EXPECT_EQ(root.trace(), bracket(kCmd, "", true, 5));
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --" + name + " " + value),
              R("enable wl0 successfully!!\n"));
    EXPECT_EQ(dt::stored(name + "_wl0v0"), value);
}
