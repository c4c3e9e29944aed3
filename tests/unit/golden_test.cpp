// The golden transcripts, tests/golden/*.txt: requests, exact replies,
// write orders and stored values, each run through the real handlers on
// private roots (the little language is described at the top of each file).
#include <gtest/gtest.h>

#include "testutil.h"

TEST(Golden, WlInterface) { EXPECT_GE(dt::run_golden("wlinterface.txt"), 19); }
TEST(Golden, WlSecurity) { EXPECT_GE(dt::run_golden("wlsecurity.txt"), 50); }
TEST(Golden, WlMacfilter) { EXPECT_GE(dt::run_golden("wlmacfilter.txt"), 20); }
TEST(Golden, WlWds) { EXPECT_GE(dt::run_golden("wlwds.txt"), 20); }
TEST(Golden, WlAdv) { EXPECT_GE(dt::run_golden("wladv.txt"), 50); }
