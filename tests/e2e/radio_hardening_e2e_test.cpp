// The radio room against hostile neighbours and careless settings: what
// hostapd may be given, and what dorvan-cfg radio shows.
#include <gtest/gtest.h>

#include <string>

#include "dorvan_store.h"
#include "radio/radio.h"
#include "radio/radio_internal.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

bool has(const std::string &text, const std::string &line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

struct RadioHardening : ::testing::Test {
    dt::TempRoot root;
    DorvanImage img = dorvan_factory_image();
    void SetUp() override { setenv("DORVAN_RADIO_IFNAME", "dvt0", 1); }
};

// Japan's channel 14 allows 802.11b only: a mixed mode runs as b there, the
// OFDM-only mode is refused like 802.11n.
TEST_F(RadioHardening, ChannelFourteenCarriesNoOfdm)
{
    dt::seed({{"wlCountry", "JP"}});
    wlmgr_loadWorkingCopy();
    struct {
        const char *phy, *gmode, *nmode;
        const char *hwMode;  // nullptr: refused
    } cases[] = {
        {"g", "1", "auto", "hw_mode=b"}, {"g", "5", "auto", "hw_mode=b"},
        {"b", "1", "auto", "hw_mode=b"}, {"n", "1", "off", "hw_mode=b"},
        {"g", "4", "auto", nullptr},     {"n", "1", "auto", nullptr},
    };
    img.vars["wlCountry"] = "JP";
    img.vars["wlChannel"] = "14";
    img.vars["wlBasicRate"] = "all";
    for (const auto &c : cases) {
        img.vars["wlPhyType"] = c.phy;
        img.vars["wlgMode"] = c.gmode;
        img.vars["wlNmode"] = c.nmode;
        dplat::radio::Section r = dplat::radio::render_radio(img);
        std::string what = std::string(c.phy) + "/" + c.gmode + "/" + c.nmode;
        if (c.hwMode == nullptr) {
            EXPECT_EQ(r.refused, "wlChannel") << what;
            continue;
        }
        EXPECT_EQ(r.refused, "") << what;
        EXPECT_TRUE(has(r.restart, c.hwMode)) << what << "\n" << r.restart;
        EXPECT_TRUE(has(r.lines, "basic_rates=10 20 55 110")) << what << "\n" << r.lines;
        EXPECT_EQ(r.lines.find("supported_rates"), std::string::npos) << what;
    }
}

}  // namespace
