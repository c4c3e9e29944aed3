#include "commands.h"
#include "reply.h"

void cmdWlWDSHelp(void)
{
    reply_set("wlwdshelp");
    reply_send();
}

void cmdWlWDSView(void)
{
    cmdWlWDSHelp();
}

// Not built yet: every request gets the help keyword.
void processWlWDSCmd(char *args)
{
    (void)args;
    cmdWlWDSHelp();
}

void convertmac(char *mac)
{
    (void)mac;
}
