// The bash completion that dorvan makes from its command table.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "testutil.h"

using Words = std::set<std::string>;

TEST(Completion, OffersWordsSubCommandsOptionsAndValues)
{
    dt::TempRoot root;
    const std::string script = root.file("completion.bash");
    ASSERT_EQ(dt::run(dt::bin("dorvan") + " --completion bash >'" + script + "'"), 0);
    // What bash offers for the words typed so far, the last one being completed.
    auto offered = [&](const std::vector<std::string> &typed) {
        std::string cmd = "bash -c '. \"$0\"; COMP_WORDS=(dorvan \"$@\"); COMP_CWORD=$#; _dorvan; "
                          "printf \"%s\\n\" \"${COMPREPLY[@]}\"' '" + script + "'", out;
        for (const std::string &w : typed)
            cmd += " '" + w + "'";
        EXPECT_EQ(dt::run(cmd, &out), 0) << cmd;
        dt::Lines got = dt::lines(out);
        return got == dt::Lines{""} ? Words{} : Words(got.begin(), got.end());
    };
    // Sub-commands and option words in any letter case, as in the daemon; a
    // free value, a range or the placeholder offers nothing.
    const std::pair<std::vector<std::string>, Words> cases[] = {
        {{"wl"}, {"wlinterface", "wlsecurity", "wlmacfilter", "wlwds", "wladv"}},
        {{"--timeout", "3", "wlsec"}, {"wlsecurity"}},
        {{"--timeout", ""}, {}},
        {{"wlinterface", ""}, {"show", "enable", "disable"}},
        {{"wlmacfilter", "ADDMAC", "--Interface", "wl0."}, {"wl0.1", "wl0.2", "wl0.3"}},
        {{"wlsecurity", "wpssetup", "--operation", "add"}, {"addenrollee_Pin", "addenrollee_PBC", "addER", "addERDone"}},
        {{"wladv", "config", "--wlDtmIntvl", ""}, {}},
        {{"wlinterface", "enable", "--V"}, {}}};
    for (const auto &c : cases)
        EXPECT_EQ(offered(c.first), c.second) << c.first[0];
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " --completion zsh 2>/dev/null"), 2);
}
