// What the front end knows of the daemon's command words: one table, from
// which the help texts, `dorvan --list` and the shell completion are made.
#ifndef DORVAN_CMDTABLE_H
#define DORVAN_CMDTABLE_H

#include <string>

struct fe_form {
    const char *sub;      // sub-command word
    const char *options;  // option synopsis, blank-separated ("" for none)
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

#endif
