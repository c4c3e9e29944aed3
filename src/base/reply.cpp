#include "reply.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>


char sendbuf[SENDBUF_SIZE];

void reply_clear(void)
{
    sendbuf[0] = '\0';
}

int reply_set(const char *text)
{
    sendbuf[0] = '\0';
    return reply_append("%s", text);
}

int reply_append(const char *fmt, ...)
{
    size_t used = strnlen(sendbuf, SENDBUF_SIZE - 1);
    sendbuf[used] = '\0';
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(sendbuf + used, SENDBUF_SIZE - used, fmt, ap);
    va_end(ap);
    if (n < 0 || (size_t)n >= SENDBUF_SIZE - used) {
        sendbuf[used] = '\0';
        return -1;
    }
    return 0;
}
