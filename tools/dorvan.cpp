// dorvan: sends one request to dorvand and prints its reply.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "cmdtable.h"
#include "frontend.h"
#include "protocol.h"

static void usage(FILE *out)
{
    fprintf(out,
            "usage: dorvan [--timeout SECONDS] WORD [ARG...]\n"
            "       dorvan --list | --help | --completion bash\n"
            "Sends WORD and its arguments, joined by single blanks, to dorvand and prints\n"
            "the reply. A help keyword in reply is shown as the command's help text.\n"
            "Exit status: 0 reply printed; 2 usage error, unusable DORVAN_ROOT or pipe error;\n"
            "3 no reply: none in time, request not taken, or no pipe at the reply path.\n\n"
            "commands:\n");
    for (int i = 0; i < fe_ncommands; i++)
        fprintf(out, "  %-12s %s\n", fe_commands[i].word, fe_commands[i].summary);
}

static void list_forms(void)
{
    for (int i = 0; i < fe_ncommands; i++) {
        const fe_command &c = fe_commands[i];
        for (int j = 0; j < c.nforms; j++)
            printf("%s %s%s%s\n", c.word, c.forms[j].sub, c.forms[j].options[0] ? " " : "",
                   c.forms[j].options);
    }
}

static int usage_error(const char *what, const char *arg)
{
    fprintf(stderr, "dorvan: %s%s\nTry 'dorvan --help'.\n", what, arg);
    return 2;
}

int main(int argc, char **argv)
{
    // A daemon that dropped the request pipe before our write must not kill
    // us silently: the write fails with EPIPE and is reported.
    signal(SIGPIPE, SIG_IGN);
    int timeout_s = 10;
    int i = 1;
    // Options come before WORD; nothing that looks like one is ever sent.
    for (; i < argc && argv[i][0] == '-'; i++) {
        if (strcmp(argv[i], "--timeout") == 0) {
            if (i + 1 >= argc)
                return usage_error("--timeout needs a value", "");
            char *end = NULL;
            long v = strtol(argv[++i], &end, 10);
            if (*end != '\0' || v <= 0 || v > 3600) {
                fprintf(stderr, "dorvan: --timeout takes 1 to 3600 seconds\n");
                return 2;
            }
            timeout_s = (int)v;
        } else if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        } else if (strcmp(argv[i], "--list") == 0) {
            list_forms();
            return 0;
        } else if (strcmp(argv[i], "--completion") == 0) {
            if (i + 1 >= argc || strcmp(argv[i + 1], "bash") != 0) {
                fprintf(stderr, "dorvan: --completion takes the shell name: bash\n");
                return 2;
            }
            fputs(fe_completion_bash().c_str(), stdout);
            return 0;
        } else if (strcmp(argv[i], "--") == 0) {
            i++;
            break;
        } else {
            return usage_error("unknown option ", argv[i]);
        }
    }
    if (i >= argc) {
        usage(stderr);
        return 2;
    }
    std::string request = fe_join(argc - i, argv + i);
    if (request.size() + 1 > CLI_REQUEST_SIZE) {
        fprintf(stderr, "dorvan: request too long (%zu bytes, at most %d)\n", request.size(),
                CLI_REQUEST_SIZE - 1);
        return 2;
    }
    std::string reply, error;
    fe_result r = fe_exchange(request.c_str(), request.size() + 1, timeout_s * 1000, &reply, &error);
    if (r != FE_OK) {
        fprintf(stderr, "dorvan: %s\n", error.c_str());
        return r;
    }
    if (const fe_command *c = fe_command_by_keyword(reply)) {
        fputs(fe_help_text(*c).c_str(), stdout);
        return 0;
    }
    fputs(reply.c_str(), stdout);
    return 0;
}
