#include "commands.h"
#include "reply.h"

void cmdWlMacfilterHelp(void)
{
    reply_set("wlmacfilterhelp");
    reply_send();
}

void cmdWlMacfilterView(void)
{
    cmdWlMacfilterHelp();
}

// Not built yet: every request gets the help keyword.
void processWlMacfilterCmd(char *args)
{
    (void)args;
    cmdWlMacfilterHelp();
}

uint8_t verifyMacAddress(const char *mac)
{
    (void)mac;
    return 0;
}
