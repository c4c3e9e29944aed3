#include "commands.h"
#include "reply.h"

void cmdWlIntfHelp(void)
{
    reply_set("wlintfhelp");
    reply_send();
}

void cmdWlIntfView(void)
{
    cmdWlIntfHelp();
}

// Not built yet: every request gets the help keyword.
void processWlIntfCmd(char *args)
{
    (void)args;
    cmdWlIntfHelp();
}
