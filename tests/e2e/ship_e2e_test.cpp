// The bash completion that dorvan makes from its command table.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "testutil.h"

using Words = std::set<std::string>;

// Option words in any letter case, as in the daemon; a placeholder such as
// --VARIABLE is no option to offer.
TEST(Completion, OffersOptionsAndValuesButNoPlaceholder)
{
    dt::TempRoot root;
    const std::string script = root.file("completion.bash");
    ASSERT_EQ(dt::run(dt::bin("dorvan") + " --completion bash >'" + script + "'"), 0);
    const std::pair<std::string, Words> cases[] = {
        {"wlinterface enable --", {"--interface", "--wlSsid", "--wlMaxAssoc", "--wlHide", "--wlAPIsolation", "--wlDisableWme"}},
        {"wlmacfilter ADDMAC --Interface wl0.", {"wl0.1", "wl0.2", "wl0.3"}}};
    for (const auto &c : cases) {
        std::string out;
        // What bash offers for the words typed so far, the last one being completed.
        EXPECT_EQ(dt::run("bash -c '. \"$0\"; COMP_WORDS=(dorvan \"$@\"); COMP_CWORD=$#; _dorvan; "
                          "printf \"%s\\n\" \"${COMPREPLY[@]}\"' '" + script + "' " + c.first, &out), 0);
        dt::Lines got = dt::lines(out);
        EXPECT_EQ(Words(got.begin(), got.end()), c.second) << c.first;
    }
}
