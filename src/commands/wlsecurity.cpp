#include "commands.h"
#include "reply.h"

void cmdWlSecHelp(void)
{
    reply_set("wlsechelp");
    reply_send();
}

void cmdWlSecView(void)
{
    cmdWlSecHelp();
}

// Not built yet: every request gets the help keyword.
void processWlSecurityCmd(char *args)
{
    (void)args;
    cmdWlSecHelp();
}
