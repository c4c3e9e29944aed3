// wladv: the golden transcript, the view's codes and rate names, the syntax
// table at its boundaries, the channel lists and the writing pass.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "regdb_writer.h"
#include "testutil.h"
#include "wladv_lists.h"

using dt::R;

namespace {

const char kOk[] = "wireless advanced setting is configured successfully!!\n";

std::string adv(const std::string &args)
{
    return dt::run_request("wladv " + args);
}

// The reply line that starts with " label:", or "" when there is none.
std::string view_line(const std::string &label)
{
    std::string reply = adv("show");
    std::string key = "\n " + label + ":";
    size_t at = ("\n" + reply).find(key);  // index of the line in reply
    if (at == std::string::npos)
        return "";
    return reply.substr(at, reply.find('\n', at) - at);
}

std::vector<std::string> sets(const dt::TempRoot &root)
{
    std::vector<std::string> out;
    for (const std::string &l : root.trace())
        if (l.compare(0, 4, "set\t") == 0)
            out.push_back(l);
    return out;
}

}  // namespace

// Requests and their exact replies, in order, from tests/golden/wladv.txt.
TEST(WlAdvGolden, Transcript)
{
    EXPECT_GE(dt::run_golden("wladv.txt"), 50);
}

TEST(WlAdvView, CodedLinesAndFallbacks)
{
    dt::TempRoot root;
    struct Case {
        const char *var, *value, *label, *line;  // line "": no line at all
    } cases[] = {
        {"wlBands", "1", "Band", " Band:5GHz"},
        {"wlBands", "3", "Band", " Band:dual band"},
        {"wlNBwCap", "1", "Bandwidth", " Bandwidth:40MHz in Both Bands"},
        {"wlNBwCap", "2", "Bandwidth", " Bandwidth:20MHz in 2.4G Band and 40MHz in 5G Band"},
        {"wlNBwCap", "3", "Bandwidth", ""},
        {"wlNCtrlsb", "1", "Control Sideband", " Control Sideband:Upper"},
        {"wlNCtrlsb", "-1", "Control Sideband", " Control Sideband:Lower"},
        {"wlNCtrlsb", "01", "Control Sideband", ""},
        {"wlNReqd", "1", "Support 802.11n Client Only", " Support 802.11n Client Only:on"},
        {"wlgMode", "0", "11g Mode", " 11g Mode:802.11b Only"},
        {"wlgMode", "4", "11g Mode", " 11g Mode:Performance"},
        {"wlgMode", "2", "11g Mode", ""},
        {"wlRegMode", "1", "Regulatory Mode", " Regulatory Mode:802.11h"},
        {"wlRegMode", "3", "Regulatory Mode", ""},
        {"wlWme", "-1", "WMM(Wi-Fi Multimedia)", " WMM(Wi-Fi Multimedia):auto"},
        {"wlWme", "2", "WMM(Wi-Fi Multimedia)", ""},
        {"wlWmeNoAck", "1", "WMM No Acknowledgement", " WMM No Acknowledgement:enabled"},
        {"wlWmeNoAck", "7", "WMM No Acknowledgement", " WMM No Acknowledgement:7"},
        {"wlWmeApsd", "0", "WMM APSD", " WMM APSD:disabled"},
        {"wlWmeApsd", "-5", "WMM APSD", " WMM APSD:-5"},
        {"wlTxPwrPcnt", "80", "Transmit Power", " Transmit Power:80%"},
    };
    for (const Case &c : cases) {
        dt::seed({{c.var, c.value}});
        EXPECT_EQ(view_line(c.label), c.line) << c.var << "=" << c.value;
    }
    // A coded line left out does not take its neighbours with it.
    std::string reply = adv("show");
    EXPECT_NE(reply.find(" Transmit Power:80%\n WMM No Acknowledgement:7\n WMM APSD:-5\n"),
              std::string::npos);

    // Values longer than any field are shown whole.
    std::string longer(200, 'x');
    dt::seed({{"wlDfsPreIsm", longer}, {"wlRate", longer}});
    EXPECT_EQ(view_line("Pre-Network Radar Check"), " Pre-Network Radar Check:" + longer);
    EXPECT_EQ(view_line("11g Rate"), " 11g Rate:" + longer);

    // The view reads under its own lock and writes nothing.
    root.clear_trace();
    adv("SHOW");
    EXPECT_EQ(root.trace(), dt::bracket("cmdWlAdvView"));
}

TEST(WlAdvView, RateNameByChannelBandAndWidth)
{
    dt::TempRoot root;
    struct Case {
        const char *channel, *bands, *nmode, *bwcap, *mcs, *name;
    } cases[] = {
        {"6", "2", "auto", "1", "7", "135 Mbps"},
        {"0", "2", "auto", "1", "7", "65 Mbps or 135 Mbps"},
        {"6", "2", "off", "1", "7", "65 Mbps"},
        {"6", "2", "auto", "2", "8", "13 Mbps"},
        {"36", "1", "auto", "2", "8", "27 Mbps"},
        {"36", "1", "auto", "1", "0", "13.5 Mbps"},
        {"6", "2", "auto", "0", "-2", "Use 11g Rate"},
        {"0", "2", "auto", "1", "-1", "Auto"},
        {"6", "2", "auto", "1", "32", "6 Mbps"},
        {"6", "2", "auto", "1", "16", "6 Mbps"},
        {"6", "2", "auto", "1", "15", "270 Mbps"},
        // No entry in the chosen table: the stored text.
        {"6", "2", "auto", "0", "32", "32"},
        {"0", "2", "auto", "1", "32", "32"},
        {"6", "2", "auto", "1", "-3", "-3"},
        {"6", "2", "auto", "0", "99999999999", "99999999999"},
        {"6", "2", "auto", "0", "7x", "65 Mbps"},
        {"6", "2", "auto", "0", "auto", "6.5 Mbps"},
    };
    for (const Case &c : cases) {
        dt::seed({{"wlChannel", c.channel},
                  {"wlBands", c.bands},
                  {"wlNmode", c.nmode},
                  {"wlNBwCap", c.bwcap},
                  {"wlNMcsidx", c.mcs}});
        EXPECT_EQ(view_line("802.11n Rate"), std::string(" 802.11n Rate:") + c.name)
            << c.channel << " " << c.bands << " " << c.nmode << " " << c.bwcap << " " << c.mcs;
    }
}

// Each value alone against its option's syntax: "wladvhelp" means refused.
// Rules that could refuse an accepted value are kept out of the way.
TEST(WlAdvConfig, SyntaxTableAtItsBoundaries)
{
    dt::TempRoot root;
    dt::seed({{"wlPhyType", "g"}, {"wlChannel", "0"}, {"wlNBwCap", "1"}, {"wlBands", "3"}});
    struct Case {
        const char *option, *value;
        bool accepted;
    } cases[] = {
        {"--wlBands", "0", false},          {"--wlBands", "3", false},
        {"--wlChannel", "0", true},         {"--wlChannel", "-1", false},
        {"--wlChannel", "1234567", true},   {"--wlChannel", "12345678", false},
        {"--wlCsScanTimer", "0", true},     {"--wlCsScanTimer", "-1", false},
        {"--wlNmode", "Off", true},         {"--wlNmode", "on", false},
        {"--wlNBwCap", "2", true},          {"--wlNBwCap", "3", false},
        {"--wlNCtrlsb", "-1", true},        {"--wlNCtrlsb", "0", false},
        {"--wlNMcsidx", "1234567", true},   {"--wlNMcsidx", "12345678", false},
        {"--wlNProtection", "auto", true},  {"--wlNProtection", "on", false},
        {"--wlNReqd", "0", true},           {"--wlNReqd", "01", false},
        {"--wlRate", "0", true},            {"--wlRate", "123456789012345", true},
        {"--wlRate", "1234567890123456", false},
        {"--wlMCastRate", "1234567890123456", false},
        {"--wlBasicRate", "1234567890123456", false},
        {"--wlFrgThrshld", "255", false},   {"--wlFrgThrshld", "256", true},
        {"--wlFrgThrshld", "2346", true},   {"--wlFrgThrshld", "2347", false},
        {"--wlRtsThrshld", "0", true},      {"--wlRtsThrshld", "-1", false},
        {"--wlRtsThrshld", "2347", true},   {"--wlRtsThrshld", "2348", false},
        {"--wlDtmIntvl", "0", false},       {"--wlDtmIntvl", "1", true},
        {"--wlDtmIntvl", "255", true},      {"--wlDtmIntvl", "256", false},
        {"--wlDtmIntvl", "3x", true},       {"--wlDtmIntvl", "abc", false},
        {"--wlBcnIntvl", "0", false},       {"--wlBcnIntvl", "1", true},
        {"--wlBcnIntvl", "65535", true},    {"--wlBcnIntvl", "65536", false},
        {"--wlGlobalMaxAssoc", "0", false}, {"--wlGlobalMaxAssoc", "1", true},
        {"--wlGlobalMaxAssoc", "128", true}, {"--wlGlobalMaxAssoc", "129", false},
        {"--wlFrameBurst", "ON", true},     {"--wlFrameBurst", "yes", false},
        {"--wlgMode", "5", true},           {"--wlgMode", "2", false},
        {"--wlProtection", "Auto", true},   {"--wlProtection", "on", false},
        {"--wlRegMode", "2", true},         {"--wlRegMode", "3", false},
        {"--wlDfsPreIsm", "whatever", false}, {"--wlDfsPostIsm", "any", true},
        {"--wlTpcDb", "4", true},           {"--wlTpcDb", "1", false},
        {"--wlTurboEn", "off", true},       {"--wlTurboEn", "on", false},
        {"--wlPreambleType", "Long", true}, {"--wlPreambleType", "medium", false},
        {"--wlTxPwrPcnt", "100", true},     {"--wlTxPwrPcnt", "50", false},
        {"--wlWme", "-1", true},            {"--wlWme", "2", false},
        {"--wlWmeNoAck", "1", true},        {"--wlWmeNoAck", "2", false},
        {"--wlWmeApsd", "0", true},         {"--wlWmeApsd", "-1", false},
        {"--WLDTMINTVL", "256", false},
    };
    for (const Case &c : cases) {
        root.clear_trace();
        std::string reply = adv(std::string("config ") + c.option + " " + c.value);
        EXPECT_EQ(reply != R("wladvhelp"), c.accepted) << c.option << " " << c.value;
        if (!c.accepted) {
            EXPECT_TRUE(root.trace().empty()) << "refused before the lock: " << c.option;
        }
    }
    // A word that is no option is skipped alone, so "--wlDtmIntvl" below is
    // an option word and 0 its value.
    EXPECT_EQ(adv("config x --wlDtmIntvl 0"), R("wladvhelp"));
}

// Result lines not in the query's line form are skipped.
TEST(WlAdvLists, ChannelLineForm)
{
    int ch = -7;
    EXPECT_EQ(wladv_channel_line("document.forms[0].wlChannel[3] = new Option(\"4\", \"44\");", &ch), 0);
    EXPECT_EQ(ch, 44);
    EXPECT_EQ(wladv_channel_line("document.forms[0].wlChannel[0] = new Option(\"-1\", \"-2\");", &ch), 0);
    EXPECT_EQ(ch, -2);
    ch = -7;
    const char *bad[] = {
        "",
        "document.forms[0].wlChannel[0] = new Option(\"1\", \"1\")",
        "document.forms[0].wlChannel[0] = new Option(\"1\", \"1\"); ",
        "document.forms[0].wlChannel[0] = new Option(\"1\", \"\");",
        "document.forms[0].wlChannel[x] = new Option(\"1\", \"1\");",
        "document.forms[0].wlChannel[0] = new Option(\"1\", \"-\");",
    };
    for (const char *line : bad)
        EXPECT_EQ(wladv_channel_line(line, &ch), -1) << line;
    EXPECT_EQ(ch, -7);
}

// Which list each combination of band, PHY type, width and sideband codes
// asks for (40 MHz is code 1 in both bands and also 2 at 5 GHz; a sideband
// other than 1 means the lower one; a width outside the table asks for the
// 20 MHz list), against a database whose lists all differ.
TEST(WlAdvLists, ChannelsOfTheQueryForTheStoredCodes)
{
    dt::TempRoot root;
    dt::write_file(root.file("regulatory.db"),
                   dt::regdb_bytes({{"AA", 2, {{2400, 2483.5, 40, 0}, {2474, 2494, 20, 1},
                                               {5170, 5250, 80, 0}, {5490, 5710, 20, 0}}}}));
    setenv("DORVAN_REGDB", root.file("regulatory.db").c_str(), 1);
    const std::string refusal = "The wlChannel value 200 you set is not in the current channel list:0 ";
    const std::string lower5 = "36 44 ", upper5 = "40 48 ", all5 = "36 40 44 48 100 104 108 112 116 120 124 128 132 136 140 ";
    struct Case {
        const char *bands, *phy, *bwcap, *sb;
        std::string list;
    } cases[] = {
        {"2", "b", "1", "1", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 "},
        {"2", "g", "0", "0", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 "},
        {"2", "n", "0", "0", "1 2 3 4 5 6 7 8 9 10 11 12 13 "},
        {"2", "n", "2", "1", "1 2 3 4 5 6 7 8 9 10 11 12 13 "},
        {"2", "n", "1", "-1", "1 2 3 4 5 6 7 8 9 "},
        {"2", "n", "1", "1", "5 6 7 8 9 10 11 12 13 "},
        {"1", "a", "1", "1", all5},
        {"1", "n", "0", "1", all5},
        {"1", "n", "7", "1", all5},
        {"1", "n", "2", "-1", lower5},
        {"1", "n", "1", "0", lower5},
        {"1", "n", "1", "1", upper5},
    };
    for (const Case &c : cases) {
        dt::seed({{"wlCountry", "AA"}, {"wlBands", c.bands}, {"wlPhyType", c.phy},
                  {"wlNBwCap", c.bwcap}, {"wlNCtrlsb", c.sb}});
        EXPECT_EQ(adv("config --wlChannel 200"), R(refusal + c.list + "\n"))
            << c.bands << c.phy << c.bwcap << c.sb;
    }
    // Membership: a channel of the list passes, a neighbour outside it does not.
    dt::seed({{"wlBands", "2"}, {"wlPhyType", "n"}, {"wlNBwCap", "1"}, {"wlNCtrlsb", "1"}});
    EXPECT_EQ(adv("config --wlChannel 5"), R(kOk));
    EXPECT_NE(adv("config --wlChannel 4"), R(kOk));
}

TEST(WlAdvConfig, WritesEveryPairInOrderThenStoresAndSaves)
{
    dt::TempRoot root;
    root.clear_trace();
    EXPECT_EQ(adv("config --wlDtmIntvl 3 --wlFoo bar --wlDtmIntvl 5 --wlBcnIntvl 200"), R(kOk));
    EXPECT_EQ(root.trace(), dt::bracket("processWlAdvCmd", "wlDtmIntvl=3 wlFoo=bar wlDtmIntvl=5 wlBcnIntvl=200"));
    EXPECT_EQ(dt::stored("wlDtmIntvl"), "5");

    // Pairs by position: a stray word shifts all later pairs; a name that is
    // empty without its first two characters is not written.
    root.clear_trace();
    EXPECT_EQ(adv("config junk --wlRate 0 -- x y z"), R(kOk));
    EXPECT_EQ(sets(root), (std::vector<std::string>{"set\tnk\t--wlRate"}));

    // Twelve pairs: the twelfth lies beyond the 24th token, so it is neither
    // checked nor written.
    std::string req = "config";
    for (int i = 1; i <= 11; i++)
        req += " --wlV" + std::to_string(i) + " " + std::to_string(i);
    req += " --wlDtmIntvl 0";
    root.clear_trace();
    EXPECT_EQ(adv(req), R(kOk));
    auto written = sets(root);
    ASSERT_EQ(written.size(), 11u);
    EXPECT_EQ(written[10], "set\twlV11\t11");
}

TEST(WlAdvConfig, OverlongPairsAndRefusalsWriteNothing)
{
    dt::TempRoot root;
    std::string name63(63, 'n'), value63(63, 'v');
    root.clear_trace();
    EXPECT_EQ(adv("config --" + name63 + " " + value63), R(kOk));
    EXPECT_EQ(sets(root), (std::vector<std::string>{"set\t" + name63 + "\t" + value63}));

    root.clear_trace();
    EXPECT_EQ(adv("config --wlDtmIntvl 3 --" + name63 + "n x"), R("wladvhelp"));
    EXPECT_EQ(adv("config --wlDtmIntvl 3 --wlFoo " + value63 + "v"), R("wladvhelp"));
    EXPECT_TRUE(root.trace().empty());
    EXPECT_EQ(dt::stored("wlDtmIntvl"), "1");

    // A refusal under the lock: reply, release, no store or save.
    root.clear_trace();
    EXPECT_EQ(adv("config --wlDtmIntvl 3 --wlBands 2"),
              R("Band can only be changed when it is dual!!\n"));
    EXPECT_EQ(root.trace(), dt::bracket("processWlAdvCmd"));
}
