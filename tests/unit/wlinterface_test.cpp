// wlinterface through the real handler on a private root.
#include <gtest/gtest.h>

#include <string>

#include "intfsec_test_util.h"
#include "testutil.h"

using dt::R;
using intfsec::bracket;
using intfsec::cat;
using intfsec::kIfaceNeeded;
using intfsec::set;
using intfsec::sets;

namespace {

const char *const kCmd = "processWlIntfCmd";

void seed_iface(int i, const std::string &enbl, const std::string &ssid, const std::string &max,
                const std::string &hide, const std::string &iso, const std::string &wme)
{
    std::string k = "_wl0v" + std::to_string(i);
    dt::seed({{"wlEnbl" + k, enbl}, {"wlSsid" + k, ssid}, {"wlMaxAssoc" + k, max},
              {"wlHide" + k, hide}, {"wlAPIsolation" + k, iso}, {"wlDisableWme" + k, wme}});
}

}  // namespace

TEST(WlInterface, HelpForNoOrUnknownSubCommand)
{
    dt::TempRoot root;
    EXPECT_EQ(dt::run_request("wlinterface"), R("wlintfhelp"));
    EXPECT_EQ(dt::run_request("wlinterface   "), R("wlintfhelp"));
    EXPECT_EQ(dt::run_request("wlinterface bogus --interface wl0"), R("wlintfhelp"));
    EXPECT_TRUE(root.trace().empty());
}

TEST(WlInterface, ShowListsFourLinesWithFlagsNamedOrAsStored)
{
    dt::TempRoot root;
    dt::seed({{"wlCountry", "DE"}});
    seed_iface(0, "1", "HomeNet", "16", "0", "1", "0");
    seed_iface(1, "0", "Guest", "8", "1", "0", "1");
    seed_iface(2, "2", "", "x", "yes", "01", "-1");  // no entry for 2 and -1
    seed_iface(3, "0", "Lab Net", "4", "0", "0", "0");
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
}

TEST(WlInterface, ShowOfLongValuesStaysWithinTheBufferInWholeLines)
{
    dt::TempRoot root;
    const std::string v(255, '7');  // no table entry: every flag shown as stored
    for (int i = 0; i < 4; i++)
        seed_iface(i, v, v, v, v, v, v);
    dt::seed({{"wlCountry", v}});
    auto line = [&](const std::string &name) {
        return name + ":" + v + "  wlSsid:" + v + "  wlCountry:" + v + "  wlMaxAssoc:" + v +
               "  wlHide:" + v + "  wlAPIsolation:" + v + "  wlDisableWme:" + v + "\n";
    };
    // Two lines fit in the reply buffer; the rest are left off whole.
    EXPECT_EQ(dt::run_request("wlinterface show"), R(line("wl0") + line("wl0.1")));
}

TEST(WlInterface, DisableWritesOnlyThatFlagAndSaves)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "1"}, {"wlEnbl_wl0v2", "1"}});
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlinterface DISABLE --interface wl0"),
              R("disable wl0 successfully!!\n"));
    EXPECT_EQ(root.trace(), bracket(kCmd, {set("wlEnbl_wl0v0", "0")}));
    EXPECT_EQ(dt::stored("wlEnbl_wl0v2"), "1");
}

TEST(WlInterface, DisableArgumentsAreCheckedBeforeTheLock)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v1", "1"}});
    root.clear_trace();
    dt::LockHolder other;
    EXPECT_EQ(dt::run_request("wlinterface disable --INTERFACE wl0.1"), R(kIfaceNeeded));
    EXPECT_EQ(dt::run_request("wlinterface disable --interface wl0.1 x"), R(kIfaceNeeded));
    EXPECT_EQ(dt::run_request("wlinterface disable wl0.1"), R(kIfaceNeeded));
    EXPECT_EQ(dt::run_request("wlinterface disable --interface wl0.4"), R("wlintfhelp"));
    EXPECT_EQ(dt::run_request("wlinterface disable --interface wl0.1"), "");  // lock not had
    EXPECT_TRUE(root.trace().empty());
    other.kill_now();
    EXPECT_EQ(dt::stored("wlEnbl_wl0v1"), "1");
}

TEST(WlInterface, EnableWritesSelectorFlagAndEveryPairInOrder)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "1"}});
    root.clear_trace();
    // "--" and "-x" leave no name and are skipped; the unpaired "tail" too.
    EXPECT_EQ(dt::run_request("wlinterface enable --wlSsid Guest -- a --interface wl0.1 "
                              "-x b --wlSsid Guest2 --wlEnbl 0 tail"),
              R("enable wl0.1 successfully!!\n"));
    EXPECT_EQ(root.trace(),
              bracket(kCmd, {set("wlSsidIdx", "0"), set("wlEnbl_wl0v1", "1"),
                             set("wlSsid_wl0v1", "Guest"), set("interface_wl0v1", "wl0.1"),
                             set("wlSsid_wl0v1", "Guest2"), set("wlEnbl_wl0v1", "0")}));
    EXPECT_EQ(dt::stored("wlSsid_wl0v1"), "Guest2");

    // The option word is matched in any case; its pair keeps the name as typed.
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlinterface enable --INTERFACE wl0"),
              R("enable wl0 successfully!!\n"));
    EXPECT_EQ(sets(root), (std::vector<std::string>{set("wlSsidIdx", "0"),
                                                    set("wlEnbl_wl0v0", "1"),
                                                    set("INTERFACE_wl0v0", "wl0")}));
}

TEST(WlInterface, EnableArgumentsAreCheckedUnderTheLockAndNothingWritten)
{
    dt::TempRoot root;
    dt::seed({{"wlEnbl_wl0v0", "0"}});
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0.2 --wlSsid x"),
              R("when wl0 is disabled, other wl0.1|wl0.2|wl0.3 can not be configured!\n"));
    EXPECT_EQ(dt::run_request("wlinterface enable --wlSsid x"), R(kIfaceNeeded));
    EXPECT_EQ(dt::run_request("wlinterface enable --wlSsid x --interface"), R(kIfaceNeeded));
    // Only the first "--interface" is looked at.
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0.9 --interface wl0"),
              R(kIfaceNeeded));
    EXPECT_NE(root.log().find("interface value wl0.9 is invalid\n"), std::string::npos);
    const auto once = bracket(kCmd);
    EXPECT_EQ(root.trace(), cat(cat(once, once), cat(once, once)));

    root.clear_trace();
    dt::LockHolder other;
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0.9"), "");
    EXPECT_TRUE(root.trace().empty());
}

TEST(WlInterface, EnableRefusesPairsThatWouldNotBeStoredWhole)
{
    dt::TempRoot root;
    const std::string name(57, 'n');  // with "_wl0v0", the longest key that fits
    const std::string value(255, 'v');
    root.clear_trace();
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --" + name + "x 1"),
              R("wlintfhelp"));
    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --wlSsid " + value + "v"),
              R("wlintfhelp"));
    const auto once = bracket(kCmd);
    EXPECT_EQ(root.trace(), cat(once, once));

    EXPECT_EQ(dt::run_request("wlinterface enable --interface wl0 --" + name + " " + value),
              R("enable wl0 successfully!!\n"));
    EXPECT_EQ(dt::stored(name + "_wl0v0"), value);
}
