// The radio plan: image -> radio and interface parts, refusals, and value
// safety; the WPS operations' requests.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dorvan_store.h"
#include "platform_internal.h"
#include "radio/radio.h"
#include "radio/radio_internal.h"
#include "regdb_writer.h"
#include "testutil.h"
#include "wlmgr.h"

namespace {

using dplat::radio::RadioPlan;
using dplat::radio::Section;

struct PlanTest : ::testing::Test {
    dt::TempRoot root;
    DorvanImage factory = dorvan_factory_image();
    dplat::radio::Env env;

    void SetUp() override
    {
        // US stops at channel 11, DE at 13, JP adds 14 for 802.11b.
        const dt::RegRuleSpec five = {5150, 5350, 80, 0}, to13 = {2400, 2483.5, 40, 0};
        dt::write_file(root.file("regulatory.db"),
                       dt::regdb_bytes({{"US", 1, {{2400, 2472, 40, 0}, five}}, {"DE", 2, {to13, five}},
                                        {"JP", 3, {to13, {2474, 2494, 20, 1}, five}}, {"00", 0, {to13}}}));
        setenv("DORVAN_REGDB", root.file("regulatory.db").c_str(), 1);
        setenv("DORVAN_RADIO_IFNAME", "dvt0", 1);
        ASSERT_TRUE(dplat::radio::read_env(&env));
        wlmgr_loadWorkingCopy();
    }
};

// The cases of tests/golden/radio-plan.txt (its language is at its top).
TEST_F(PlanTest, CasesFromTheTable)
{
    std::ifstream in(std::string(DORVAN_SOURCE_DIR) + "/tests/golden/radio-plan.txt");
    DorvanImage img, was;
    RadioPlan p;
    const Section *s = nullptr;
    std::string line, refused;
    int n = 0;
    auto done = [&] {  // the part looked at refuses only what was said
        EXPECT_EQ(s ? s->refused : refused, refused) << "the case before line " << n;
        s = nullptr, refused = "";
    };
    while (std::getline(in, line)) {
        n++;
        for (size_t at; (at = line.find("\\n")) != std::string::npos;)
            line.replace(at, 2, "\n");
        size_t sp = line.find(' ');
        std::string verb = line.substr(0, sp), rest = sp == std::string::npos ? "" : line.substr(sp + 1);
        std::string name = rest.substr(0, rest.find(' ')), value = rest.find(' ') == std::string::npos ? "" : rest.substr(rest.find(' ') + 1);
        SCOPED_TRACE("radio-plan.txt:" + std::to_string(n) + ": " + line + (s ? "\n" + s->restart + "--\n" + s->lines : ""));
        if (verb.empty() || verb[0] == '#')
            continue;
        if (verb == "@case") {
            done();
            img = was = factory;
            img.filters = {{"0:1:2:3:4:5", "x", "wl0.1"}, {"00:11:22:33:44:55:66", "x", "wl0.1"},
                           {"02:00:00:00:00:09", "x", "wl0"}};
            wlmgr_setVar("wlCountry", "US");
        } else if (verb == "@working") {
            wlmgr_setVar(name.c_str(), value.c_str());
        } else if (verb == "@set") {
            img.vars[name] = value;
        } else if (verb == "@was") {
            was = img;
        } else if (verb == ">") {
            done();
            p = dplat::radio::make_plan(env, img, 1);
            s = rest == "radio" ? &p.radio : &p.bss[(rest == "wl0" ? 0 : rest.back() - '0') & 3];
            if (!s->aclPath.empty()) {
                EXPECT_TRUE(dt::has_line(s->lines, "accept_mac_file=" + s->aclPath));
                EXPECT_EQ(s->acl, "00:01:02:03:04:05\n");
                EXPECT_EQ(p.leftOut, std::vector<std::string>{"00:11:22:33:44:55:66"});
            }
        } else if (verb == "refused") {
            refused = rest;
        } else if (verb == "=" || verb == "^") {
            EXPECT_TRUE(s && dt::has_line(verb == "^" ? s->restart : s->lines, rest));
        } else if (verb == "!") {
            EXPECT_TRUE(s && ("\n" + s->restart + s->lines).find("\n" + rest + "=") == std::string::npos);
        } else if (verb == "switch") {
            RadioPlan a = dplat::radio::make_plan(env, was, 1), b = dplat::radio::make_plan(env, img, 1);
            EXPECT_EQ(a.refused + b.refused + dplat::radio::chan_switch(a.radio, b.radio), rest);
        } else if (verb == "on") {
            RadioPlan q = dplat::radio::make_plan(env, img, atoi(name.c_str()));
            std::string on = {char('0' + q.on[0]), char('0' + q.on[1]), char('0' + q.on[2]), char('0' + q.on[3])};
            EXPECT_EQ(name + " " + on + " " + q.refused, rest + " ");
        } else if (verb == "wps") {
            std::istringstream fields(rest);
            std::string f[4];
            for (std::string &x : f)
                std::getline(fields, x, '|');
            img.vars["wlWscStaPin_wl0v1"] = f[1], img.vars["wlWscDevPin_wl0v1"] = f[2];
            EXPECT_EQ(dplat::radio::wps_command(img, 1, f[0]), f[3]);
        } else {
            ADD_FAILURE() << "not understood";
        }
    }
    done();
    EXPECT_EQ(n, 390) << "lines read: a table cut short, or grown without this count";
}

TEST_F(PlanTest, WholeFileHoldsOnlyKeysThePlanMayWrite)
{
    // A bss= section per guest with its own control socket.
    DorvanImage img = factory;
    img.vars["wlEnbl_wl0v1"] = "1", img.vars["wlSsid_wl0v0"] = "evil\nwpa=0", img.vars["wlRadiusKey_wl0v0"] = "x\ny";
    std::string conf = radio_render(img, 1);
    EXPECT_NE(conf.find("\nbss=dvt0-1\nctrl_interface=" + root.file("var/run/hostapd") + "\n"), std::string::npos) << conf;
    for (const std::string &l : dt::lines(conf))
        EXPECT_TRUE(l.empty() || l[0] == '#' || (l.find('=') != std::string::npos && radio_key_allowed(l.substr(0, l.find('='))))) << l;
    EXPECT_EQ(radio_render(img, 0), "");
}

}  // namespace
