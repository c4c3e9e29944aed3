// Tokenizer, number reading, interface names, settings keys, reply builder
// and dispatch routing.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "text.h"
#include "daemon.h"
#include "iface.h"
#include "reply.h"
#include "testutil.h"

using dt::R;

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

TEST(Tokenizer, SplitsAtBlanksOnly)
{
    EXPECT_EQ(split("  show   all "), (std::vector<std::string>{"show", "all"}));
    EXPECT_EQ(split("a\tb c\nd"), (std::vector<std::string>{"a\tb", "c\nd"}));
    EXPECT_TRUE(split("").empty());
    EXPECT_TRUE(split("    ").empty());
}

TEST(Tokenizer, KeepsAtMost24Words)
{
    std::string text;
    for (int i = 1; i <= 30; i++)
        text += "w" + std::to_string(i) + " ";
    auto t = split(text);
    ASSERT_EQ(t.size(), 24u);
    EXPECT_EQ(t[0], "w1");
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

TEST(Interfaces, NamesAndIndexes)
{
    EXPECT_EQ(cli_isValidinf("wl0"), 0);
    EXPECT_EQ(cli_isValidinf("wl0.2"), 2);
    EXPECT_EQ(cli_isValidinf("wl0.3"), 3);
    EXPECT_EQ(cli_isValidinf("WL0"), -1);
    EXPECT_EQ(cli_isValidinf("wl0.4"), -1);
    EXPECT_EQ(cli_isValidinf(""), -1);
    EXPECT_EQ(cli_isValidinf("wl0.1 "), -1);
}

TEST(Interfaces, SettingsKeys)
{
    char key[WL_KEY_SIZE];
    convertformssid(3, key, "wlDisableWme");
    EXPECT_STREQ(key, "wlDisableWme_wl0v3");
    convertformssid(0, key, "wlSsid");
    EXPECT_STREQ(key, "wlSsid_wl0v0");
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

class Dispatch : public ::testing::Test {
protected:
    dt::TempRoot root;
};

// With no sub-command every handler answers with its own help keyword; any
// other word, in any other case or glued to a tab or line feed, gets
// wlinterface's.
TEST_F(Dispatch, EachWordReachesItsHandler)
{
    for (auto [req, help] : std::vector<std::pair<const char *, const char *>>{
             {"wlinterface", "wlintfhelp"}, {"wlsecurity", "wlsechelp"}, {"wlmacfilter", "wlmacfilterhelp"},
             {"  wlwds   ", "wlwdshelp"}, {"wladv", "wladvhelp"}, {"wladv\n", "wlintfhelp"}, {"", "wlintfhelp"},
             {"   ", "wlintfhelp"}, {"foo", "wlintfhelp"}, {"Wlinterface show", "wlintfhelp"},
             {"WLWDS show", "wlintfhelp"}, {"wlinterfaces", "wlintfhelp"}})
        EXPECT_EQ(dt::run_request(req), R(help)) << "request: '" << req << "'";
}

// Every command that takes the lock ends without a reply and without a trace
// line while another process holds it.
TEST_F(Dispatch, LockHeldElsewhereMeansNoReplyAndNothingTouched)
{
    dt::LockHolder holder;
    for (const char *req : {"wlinterface show", "wlsecurity show",
                            "wlsecurity wpssetup --interface wl0 --operation addER",
                            "wlsecurity manualsetup --interface wl0 --wlAuthMode open",
                            "wlmacfilter show", "wlmacfilter allow --interface wl0",
                            "wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55",
                            "wlwds show", "wlwds scanwdsmac", "wlwds disablerestrict --wlMode ap",
                            "wlwds enablerestrict --wlMode ap --wdsmode static", "wladv show",
                            "wladv config --wlDtmIntvl 3"})
        EXPECT_EQ(dt::run_request(req), "") << req;
    EXPECT_TRUE(root.trace().empty());
}
