// wladv through the real dorvand and the dorvan front end, on factory defaults.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

using dt::R;

TEST(WlAdvE2E, ChannelRefusalThenConfigAndShow)
{
    dt::TempRoot root;
    dt::Daemon d(root);

    EXPECT_EQ(dt::raw_exchange(R("wladv config --wlChannel 15")),
              R("The wlChannel value 15 you set is not in the current channel list:"
                "0 1 2 3 4 5 6 7 8 9 10 11 \n"));

    std::string out;
    EXPECT_EQ(dt::run("'" + dt::bin("dorvan") + "' wladv config --wlChannel 6 --wlDtmIntvl 3", &out),
              0);
    EXPECT_EQ(out, "wireless advanced setting is configured successfully!!\n");

    EXPECT_EQ(dt::run("'" + dt::bin("dorvan") + "' wladv show", &out), 0);
    EXPECT_NE(out.find("\n Channel:6\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n DTIM Interval:3\n"), std::string::npos) << out;
    EXPECT_EQ(out.compare(0, 14, " Band:2.4GHz\n "), 0) << out;

    // The change was saved: it is in the data model as written.
    EXPECT_EQ(dt::stored("wlDtmIntvl"), "3");
    EXPECT_EQ(dt::raw_exchange(R("wladv config --wlDtmIntvl 256")), R("wladvhelp"));
    EXPECT_EQ(dt::stored("wlDtmIntvl"), "3");
}
