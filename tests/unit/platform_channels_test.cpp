// The channel-list query: what it answers when it has no list, and that no
// answer runs past its buffer. The lists themselves are checked through
// wladv against the regulatory table.
#include <gtest/gtest.h>

#include <string.h>

#include "testutil.h"
#include "wlmgr.h"

TEST(ChannelList, UnknownQueriesAreEmptyAndEveryAnswerIsBounded)
{
    dt::TempRoot root(true);
    wlmgr_loadWorkingCopy();
    const size_t kGuard = 64;
    for (const char *country : {"US", "DE", "JP", "ZZ"}) {
        wlmgr_setVar("wlCountry", country);
        // Only "a" and "n a 20" name a list; the others get the header line alone.
        const std::vector<std::vector<std::string>> queries = {
            {}, {"g"}, {"n", "b"}, {"n", "b", "40"}, {"n", "a", "40", "middle"}, {"b", "x"},
            {"a"}, {"n", "a", "20"}, {std::string(5000, 'w'), "b"}, {"b", "a", "b", "a"}};
        for (size_t q = 0; q < queries.size(); q++) {
            std::vector<std::string> words = queries[q];
            std::vector<char *> argv{(char *)"", (char *)"wlChannelList"};
            for (auto &w : words)
                argv.push_back(&w[0]);
            argv.push_back(nullptr);
            std::vector<char> out(WLMGR_VAREX_SIZE + kGuard, 'Z');
            EXPECT_EQ(wlmgr_getVarEx((int)argv.size() - 1, argv.data(), out.data()), 0);
            EXPECT_LT(strnlen(out.data(), out.size()), (size_t)WLMGR_VAREX_SIZE);
            EXPECT_EQ(std::string(out.end() - kGuard, out.end()), std::string(kGuard, 'Z'));
            std::string text = out.data();
            EXPECT_NE(text, "");
            EXPECT_EQ(text.find('\n') != std::string::npos, q == 6 || q == 7) << country << " query " << q;
        }
    }
}
