// Channel lists from regulatory.db: the query, its answer and the database
// state (the lists themselves: tests/golden/wladv.txt), damaged files.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "regdb.h"
#include "testutil.h"
#include "wladv_lists.h"
#include "wlmgr.h"

namespace {

// The channels the query answers, through the daemon's line parser, with
// the buffer's bounds checked.
std::string query(const std::string &country, std::vector<std::string> words)
{
    wlmgr_setVar("wlCountry", country.c_str());
    std::vector<char *> argv{(char *)"", (char *)"wlChannelList"};
    for (auto &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    std::vector<char> out(WLMGR_VAREX_SIZE + 64, 'Z');
    EXPECT_EQ(wlmgr_getVarEx((int)argv.size() - 1, argv.data(), out.data()), 0);
    EXPECT_EQ(std::string(out.end() - 64, out.end()), std::string(64, 'Z'));
    dt::Lines ls = dt::lines(out.data());
    std::string got;
    for (size_t i = 1; i < ls.size(); i++) {
        int ch = 0;
        EXPECT_EQ(wladv_channel_line(ls[i].c_str(), &ch), 0) << ls[i];
        got += (i > 1 ? " " : "") + std::to_string(ch);
    }
    return got;
}

const char *parse(const std::string &bytes, dplat::RegDb *db)
{
    // An exact-size copy, so a read past the end is an ASan fault.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    return dplat::parse_reg_db(exact.data(), exact.size(), db);
}

}  // namespace

// Which lists a database gives, and a database that cannot be used
// (tests/golden/wladv.txt); damaged files, refused without reading past them.
TEST(RegDb, QueryWordsAnUnusableDatabaseLoggedOnceDamagedFilesRefused)
{
    dt::TempRoot root(true);
    setenv("DORVAN_REGDB", DORVAN_SOURCE_DIR "/tests/golden/lists-regulatory.db", 1);
    wlmgr_loadWorkingCopy();
    // Not a list query: the header line alone.
    const std::vector<std::string> words[] = {{}, {"g"}, {"n", "b"}, {"n", "a", "40", "middle"}, {"b", "x"},
                                              {"n", "b", "80"}, {std::string(5000, 'w'), "b"}};
    for (const auto &w : words)
        EXPECT_EQ(query("AA", w), "") << w.size() << " words";
    EXPECT_EQ(query("aa", {"a"}), "36 40 44 48 52 56 60 64 100 104 108 112 116 120 124 128 132 136 140 149 153 157 161 165");
    const size_t logged = dt::lines(root.log()).size();
    setenv("DORVAN_REGDB", root.file("missing").c_str(), 1);
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(query("AA", {"n", "b", "40", "lower"}) + "|" + query("AA", {"a"}), "1 2 3 4 5 6 7|");
    EXPECT_EQ(dt::lines(root.log()).size(), logged + 1) << "one line for the state, not one a query";
    // Query words and country reach the answer's first line as plain text.
    char word[] = "b\x01", *argv[] = {(char *)"", (char *)"wlChannelList", word, nullptr};
    wlmgr_setVar("wlCountry", "A\x7f");
    std::vector<char> out(WLMGR_VAREX_SIZE);
    EXPECT_EQ(wlmgr_getVarEx(3, argv, out.data()), 0);
    EXPECT_STREQ(out.data(), "wlChannelList A? b?");

    // Its rules, as parsed: tests/golden/wladv.txt and dorvan-cfg channels.
    const std::string good = dt::read_file(DORVAN_SOURCE_DIR "/tests/golden/lists-regulatory.db");
    dplat::RegDb db;
    ASSERT_EQ(parse(good, &db), nullptr);
    ASSERT_EQ(db.countries.size(), 3u);

    for (size_t n = 0; n < good.size(); n++)
        EXPECT_NE(parse(good.substr(0, n), &db), nullptr) << "truncated to " << n;
    EXPECT_TRUE(db.countries.empty());

    // Damaged copies, one a line: tests/golden/unit-regdb-damage.txt.
    size_t rows = 0, at;
    char hex[64], what[128];
    for (const auto &line : dt::lines(dt::read_file(DORVAN_SOURCE_DIR "/tests/golden/unit-regdb-damage.txt"))) {
        std::string s = good;
        if (line[0] == '#' || sscanf(line.c_str(), "%zu %63s %127[^\n]", &at, hex, what) != 3)
            continue;
        for (size_t i = 0; hex[2 * i] != '\0'; i++)
            s.at(at + i) = (char)std::stoi(std::string(hex + 2 * i, 2), nullptr, 16);  // a row past the end throws
        EXPECT_TRUE(parse(s, &db) != nullptr && db.countries.empty()) << what;
        rows++;
    }
    EXPECT_EQ(rows, 14u);
    EXPECT_TRUE(parse(good + std::string(300000, '\0'), &db) != nullptr && db.countries.empty()) << "too large";

    // A collection of odd length puts its rule pointers at the next even
    // byte, which is not a multiple of 4; optional fields are skipped.
    std::string odd = dt::read_file(DORVAN_SOURCE_DIR "/tests/golden/unit-odd-regulatory.db");
    ASSERT_EQ(parse(odd, &db), nullptr);
    ASSERT_EQ(db.countries.size(), 1u);
    ASSERT_EQ(db.countries[0].rules.size(), 1u);
    EXPECT_EQ(db.countries[0].rules[0].startKhz, 2400000u);
    EXPECT_EQ(db.countries[0].rules[0].flags, 4u) << "DFS";
}
