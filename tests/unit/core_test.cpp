// Number reading and the log level option (the tokenizer, dispatch,
// interface names, settings keys and the reply builder's bound, which a view
// filling the reply exactly meets: tests/golden).
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
