// The bash completion that dorvan makes from its command table.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cmdtable.h"
#include "testutil.h"

using Words = std::set<std::string>;

TEST(Completion, OffersWordsSubCommandsOptionsAndValues)
{
    dt::TempRoot root;
    const std::string script = root.file("completion.bash");
    ASSERT_EQ(dt::run(dt::bin("dorvan") + " --completion bash >'" + script + "'"), 0);
    // What bash offers for the words typed so far; the last one is the word
    // being completed.
    auto offered = [&](const std::vector<std::string> &typed) {
        std::string cmd = "bash -c '. \"$0\"; COMP_WORDS=(dorvan \"$@\"); COMP_CWORD=$#; _dorvan; "
                          "printf \"%s\\n\" \"${COMPREPLY[@]}\"' '" + script + "'", out;
        for (const std::string &w : typed)
            cmd += " '" + w + "'";
        EXPECT_EQ(dt::run(cmd, &out), 0) << cmd;
        Words got;
        for (const std::string &line : dt::lines(out))
            if (!line.empty())
                got.insert(line);
        return got;
    };
    EXPECT_EQ(offered({"wl"}), (Words{"wlinterface", "wlsecurity", "wlmacfilter", "wlwds", "wladv"}));
    EXPECT_EQ(offered({"--timeout", "3", "wlsec"}), Words{"wlsecurity"});
    EXPECT_EQ(offered({"--timeout", ""}), Words{});
    EXPECT_EQ(offered({"wlinterface", ""}), (Words{"show", "enable", "disable"}));
    // Sub-commands and option words count in any letter case, as in the daemon.
    EXPECT_EQ(offered({"wlmacfilter", "ADDMAC", "--Interface", "wl0."}),
              (Words{"wl0.1", "wl0.2", "wl0.3"}));
    EXPECT_EQ(offered({"wlsecurity", "wpssetup", "--operation", "add"}),
              (Words{"addenrollee_Pin", "addenrollee_PBC", "addER", "addERDone"}));
    // A free value or a range has nothing to offer; the placeholder is no word.
    EXPECT_EQ(offered({"wladv", "config", "--wlDtmIntvl", ""}), Words{});
    EXPECT_EQ(offered({"wlinterface", "enable", "--V"}), Words{});

    // Every form of the table is reachable.
    for (int i = 0; i < fe_ncommands; i++)
        for (int j = 0; j < fe_commands[i].nforms; j++) {
            const fe_form &f = fe_commands[i].forms[j];
            std::vector<std::string> ow = fe_option_words(f);
            EXPECT_EQ(offered({fe_commands[i].word, f.sub, ""}), Words(ow.begin(), ow.end()))
                << fe_commands[i].word << " " << f.sub;
        }

    std::string out;
    EXPECT_EQ(dt::run(dt::bin("dorvan") + " --completion zsh 2>&1", &out), 2);
}
