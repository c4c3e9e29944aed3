// What the front end knows of the daemon's command words: one table, from
// which the help texts, `dorvan --list` and the shell completion are made.
#ifndef DORVAN_CMDTABLE_H
#define DORVAN_CMDTABLE_H

#include <string>
#include <vector>

struct fe_form {
    const char *sub;      // sub-command word
    // Option synopsis, blank-separated ("" for none): "--word" option words,
    // "<a|b>" listed values ("<1..4>" a range), upper-case words placeholders.
    const char *options;
    const char *what;     // one line of description
};

struct fe_command {
    const char *word;          // command word
    const char *help_keyword;  // the daemon's help reply for it
    const char *summary;
    const fe_form *forms;
    int nforms;
};

extern const fe_command fe_commands[];
extern const int fe_ncommands;

// The command whose help keyword this is, or nullptr.
const fe_command *fe_command_by_keyword(const std::string &keyword);
const fe_command *fe_command_by_word(const std::string &word);
// The help text for one command.
std::string fe_help_text(const fe_command &c);

// The option words of a form's synopsis in order, each once; placeholders
// such as --VARIABLE are left out.
std::vector<std::string> fe_option_words(const fe_form &f);
// The values listed for an option in a form's synopsis ("<a|b>"); ranges and
// placeholders give none.
std::vector<std::string> fe_option_values(const fe_form &f, const std::string &option);
// A bash completion script for dorvan, made from this table.
std::string fe_completion_bash();

#endif
