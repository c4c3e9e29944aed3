// Number reading, the reply builder and the log level option (the
// tokenizer, dispatch, interface names and settings keys: tests/golden).
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "daemon.h"
#include "reply.h"
#include "text.h"

TEST(Number, LeadingSignAndDigits)
{
    const std::pair<const char *, int> cases[] = {
        {"42", 42}, {"-1", -1}, {"+7x", 7}, {"abc", 0}, {" 5", 0},
        {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}};
    for (const auto &c : cases)
        EXPECT_EQ(text_number(c.first), c.second) << c.first;
    // -v 0, 1, 2 and anything else: error, notice, debug.
    for (auto [v, level] : {std::pair{0, 3}, {1, 5}, {2, 7}, {-4, 7}})
        EXPECT_EQ(loglevel_from_option(v), level) << v;
}

TEST(Reply, AppendIsBoundedAndWhole)
{
    reply_clear();
    EXPECT_EQ(reply_append("%s:%d ", "a", 1), 0);
    EXPECT_EQ(reply_append("%s", std::string(SENDBUF_SIZE, 'z').c_str()), -1);
    EXPECT_STREQ(sendbuf, "a:1 ");  // nothing half-appended
    reply_clear();
    EXPECT_EQ(reply_append("%s", std::string(SENDBUF_SIZE - 1, 'q').c_str()), 0);
    EXPECT_EQ(reply_append("%s", "!"), -1);
    EXPECT_EQ(strlen(sendbuf), (size_t)SENDBUF_SIZE - 1);
}
