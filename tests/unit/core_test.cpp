// Tokenizer, number reading, interface names, settings keys and the reply
// builder (dispatch routing is in tests/golden/wlinterface.txt).
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "text.h"
#include "daemon.h"
#include "iface.h"
#include "reply.h"

namespace {

std::vector<std::string> split(std::string text)
{
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    char *tok[TEXT_MAX_TOKENS];
    int n = text_split(buf.data(), tok);
    return std::vector<std::string>(tok, tok + n);
}

}  // namespace

// Blanks only separate words; at most 24 are kept.
TEST(Tokenizer, SplitsAtBlanksOnlyKeepingAtMost24Words)
{
    EXPECT_EQ(split("  show   all "), (std::vector<std::string>{"show", "all"}));
    EXPECT_EQ(split("a\tb c\nd"), (std::vector<std::string>{"a\tb", "c\nd"}));
    EXPECT_TRUE(split("    ").empty());
    std::string text;
    for (int i = 1; i <= 30; i++)
        text += "w" + std::to_string(i) + " ";
    auto t = split(text);
    ASSERT_EQ(t.size(), 24u);
    EXPECT_EQ(t[23], "w24");
}

TEST(Number, LeadingSignAndDigits)
{
    EXPECT_EQ(text_number("42"), 42);
    EXPECT_EQ(text_number("-1"), -1);
    EXPECT_EQ(text_number("+7x"), 7);
    EXPECT_EQ(text_number("3x"), 3);
    EXPECT_EQ(text_number("abc"), 0);
    EXPECT_EQ(text_number(""), 0);
    EXPECT_EQ(text_number(" 5"), 0);  // no blank skipping: tokens never hold one
    EXPECT_EQ(text_number("99999999999999999999"), 2147483647);
    EXPECT_EQ(text_number("-99999999999999999999"), -2147483647 - 1);
}

// Golden transcripts cover the names a request can hold; not a trailing blank.
TEST(Interfaces, NamesAndIndexes)
{
    EXPECT_EQ(cli_isValidinf("wl0"), 0);
    EXPECT_EQ(cli_isValidinf("wl0.3"), 3);
    EXPECT_EQ(cli_isValidinf(""), -1);
    EXPECT_EQ(cli_isValidinf("wl0.1 "), -1);
}

TEST(Interfaces, SettingsKeys)
{
    char key[WL_KEY_SIZE];
    convertformssid(4, key, "wlSsid");
    EXPECT_STREQ(key, "");
    convertformssid(-1, key, "wlSsid");
    EXPECT_STREQ(key, "");
    // A name from a request that would not fit is refused, never written past.
    std::string longname(WL_KEY_SIZE - 6, 'n');
    memset(key, 'x', sizeof(key));
    EXPECT_EQ(convertformssid(1, key, longname.c_str()), -1);
    EXPECT_STREQ(key, "");
    std::string fits(WL_KEY_SIZE - 7, 'n');
    EXPECT_EQ(convertformssid(1, key, fits.c_str()), 0);
    EXPECT_EQ(strlen(key), (size_t)WL_KEY_SIZE - 1);
}

TEST(Reply, AppendIsBoundedAndWhole)
{
    reply_clear();
    EXPECT_EQ(reply_append("%s:%d ", "a", 1), 0);
    EXPECT_EQ(reply_append("%s", "b"), 0);
    EXPECT_STREQ(sendbuf, "a:1 b");
    std::string big(SENDBUF_SIZE, 'z');
    EXPECT_EQ(reply_append("%s", big.c_str()), -1);
    EXPECT_STREQ(sendbuf, "a:1 b");  // nothing half-appended
    reply_clear();
    std::string exact(SENDBUF_SIZE - 1, 'q');
    EXPECT_EQ(reply_append("%s", exact.c_str()), 0);
    EXPECT_EQ(reply_append("%s", "!"), -1);
    EXPECT_EQ(strlen(sendbuf), (size_t)SENDBUF_SIZE - 1);
}

TEST(Loop, LogLevelFromOption)
{
    EXPECT_EQ(loglevel_from_option(0), 3);
    EXPECT_EQ(loglevel_from_option(1), 5);
    EXPECT_EQ(loglevel_from_option(2), 7);
    EXPECT_EQ(loglevel_from_option(-4), 7);
}
