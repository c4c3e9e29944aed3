// wladv: the channel list each stored code combination asks for (the view,
// the syntax table, the writing pass and the refusals: tests/golden/wladv.txt).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "regdb_writer.h"
#include "testutil.h"

using dt::R;

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
        EXPECT_EQ(dt::run_request("wladv config --wlChannel 200"), R(refusal + c.list + "\n"))
            << c.bands << c.phy << c.bwcap << c.sb;
    }
    // Membership: a channel of the list passes, a neighbour outside it does not.
    dt::seed({{"wlBands", "2"}, {"wlPhyType", "n"}, {"wlNBwCap", "1"}, {"wlNCtrlsb", "1"}});
    const std::string ok = R("wireless advanced setting is configured successfully!!\n");
    EXPECT_EQ(dt::run_request("wladv config --wlChannel 5"), ok);
    EXPECT_NE(dt::run_request("wladv config --wlChannel 4"), ok);
}
