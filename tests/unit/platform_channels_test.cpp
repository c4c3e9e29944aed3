// Channel lists by country, band, width and sideband.
#include "platform_testutil.h"

#include "wlmgr.h"

#include <algorithm>

#include <stdio.h>
#include <string.h>

namespace {

using Channels = std::vector<int>;

Channels range(int from, int to)
{
    Channels v;
    for (int c = from; c <= to; c++)
        v.push_back(c);
    return v;
}

Channels join(Channels a, const Channels &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Channels step4(int from, int to)
{
    Channels v;
    for (int c = from; c <= to; c += 4)
        v.push_back(c);
    return v;
}

// 40 MHz pairs are (36,40) (44,48) ... (132,136) (140,144), (149,153) (157,161).
Channels pairs(const Channels &allowed, bool lower)
{
    auto has = [&](int c) { return std::find(allowed.begin(), allowed.end(), c) != allowed.end(); };
    Channels v;
    for (int lo : allowed) {
        bool isLower = lo < 149 ? (lo - 36) % 8 == 0 : (lo - 149) % 8 == 0;
        if (isLower && has(lo + 4))
            v.push_back(lower ? lo : lo + 4);
    }
    return v;
}

class ChannelList : public ptest::TempRoot {
protected:
    // Runs the query; checks the framing and returns the channels.
    Channels query(const char *country, std::vector<std::string> words)
    {
        wlmgr_setVar("wlCountry", country);
        std::vector<char *> argv{(char *)"", (char *)"wlChannelList"};
        for (auto &w : words)
            argv.push_back(&w[0]);
        argv.push_back(nullptr);
        char out[WLMGR_VAREX_SIZE];
        EXPECT_EQ(wlmgr_getVarEx((int)argv.size() - 1, argv.data(), out), 0);
        auto ls = ptest::lines(out);
        Channels got;
        EXPECT_FALSE(ls.empty());
        for (size_t i = 1; i < ls.size(); i++) {
            int idx = -1, a = -1, b = -2;
            char tail = 0;
            int n = sscanf(ls[i].c_str(),
                           "document.forms[0].wlChannel[%d] = new Option(\"%d\", \"%d\")%c",
                           &idx, &a, &b, &tail);
            EXPECT_EQ(n, 4) << ls[i];
            EXPECT_EQ(tail, ';');
            EXPECT_EQ(idx, (int)i - 1);
            EXPECT_EQ(a, b);
            got.push_back(a);
        }
        return got;
    }
};

TEST_F(ChannelList, TwoPointFourGhz)
{
    wlmgr_loadWorkingCopy();
    struct { const char *country; int ofdm, b; } cases[] = {
        {"US", 11, 11}, {"DE", 13, 13}, {"fr", 13, 13}, {"JP", 13, 14}, {"ZZ", 11, 11}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.country);
        EXPECT_EQ(query(c.country, {"b"}), range(1, c.b));
        EXPECT_EQ(query(c.country, {"n", "b", "20"}), range(1, c.ofdm));
        EXPECT_EQ(query(c.country, {"n", "b", "40", "lower"}), range(1, c.ofdm - 4));
        EXPECT_EQ(query(c.country, {"n", "b", "40", "upper"}), range(5, c.ofdm));
    }
}

TEST_F(ChannelList, FiveGhz)
{
    wlmgr_loadWorkingCopy();
    Channels etsi = join(step4(36, 64), step4(100, 140));
    Channels us = join(etsi, step4(149, 165));
    Channels world = step4(36, 48);
    for (auto &[country, allowed] : std::vector<std::pair<const char *, Channels>>{
             {"US", us}, {"DE", etsi}, {"GB", etsi}, {"JP", etsi}, {"ZZ", world}}) {
        SCOPED_TRACE(country);
        EXPECT_EQ(query(country, {"a"}), allowed);
        EXPECT_EQ(query(country, {"n", "a", "20"}), allowed);
        EXPECT_EQ(query(country, {"n", "a", "40", "lower"}), pairs(allowed, true));
        EXPECT_EQ(query(country, {"n", "a", "40", "upper"}), pairs(allowed, false));
    }
    EXPECT_EQ(pairs(us, true).back(), 157);
    EXPECT_EQ(pairs(world, false), (Channels{40, 48}));
}

TEST_F(ChannelList, UnknownQueriesAndOutputBound)
{
    wlmgr_loadWorkingCopy();
    for (auto words : std::vector<std::vector<std::string>>{
             {}, {"g"}, {"n", "b"}, {"n", "b", "40"}, {"n", "a", "40", "middle"}, {"b", "x"}})
        EXPECT_TRUE(query("US", words).empty());

    const size_t kGuard = 64;
    for (const char *country : {"US", "DE", "JP", "ZZ"}) {
        wlmgr_setVar("wlCountry", country);
        for (std::vector<std::string> words : std::vector<std::vector<std::string>>{
                 {"a"}, {"n", "a", "20"}, {std::string(5000, 'w'), "b"}, {"b", "a", "b", "a"}}) {
            std::vector<char *> argv{(char *)"", (char *)"wlChannelList"};
            for (auto &w : words)
                argv.push_back(&w[0]);
            argv.push_back(nullptr);
            std::vector<char> out(WLMGR_VAREX_SIZE + kGuard, 'Z');
            wlmgr_getVarEx((int)argv.size() - 1, argv.data(), out.data());
            EXPECT_LT(strnlen(out.data(), out.size()), (size_t)WLMGR_VAREX_SIZE);
            EXPECT_EQ(std::string(out.end() - kGuard, out.end()), std::string(kGuard, 'Z'));
        }
    }
}

} // namespace
