#include "commands.h"
#include "reply.h"

void cmdWlAdvHelp(void)
{
    reply_set("wladvhelp");
    reply_send();
}

void cmdWlAdvView(void)
{
    cmdWlAdvHelp();
}

// Not built yet: every request gets the help keyword.
void processWlAdvCmd(char *args)
{
    (void)args;
    cmdWlAdvHelp();
}
