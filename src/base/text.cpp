#include "text.h"

#include <limits.h>
#include <string.h>
#include <strings.h>

int text_split(char *text, char *tokens[TEXT_MAX_TOKENS])
{
    int n = 0;
    char *save = NULL;
    char *tok = strtok_r(text, " ", &save);
    while (tok != NULL) {
        tokens[n++] = tok;
        if (n == TEXT_MAX_TOKENS)
            break;
        tok = strtok_r(NULL, " ", &save);
    }
    return n;
}

int text_number(const char *text)
{
    const char *p = text;
    int neg = 0;
    if (*p == '+' || *p == '-') {
        neg = (*p == '-');
        p++;
    }
    long long v = 0;
    while (*p >= '0' && *p <= '9') {
        if (v <= (long long)INT_MAX + 1)
            v = v * 10 + (*p - '0');
        p++;
    }
    if (neg)
        v = -v;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return (int)v;
}

int text_equal_nocase(const char *a, const char *b)
{
    return strcasecmp(a, b) == 0;
}

int text_copy(char *dst, unsigned size, const char *src)
{
    size_t n = strlen(src);
    if (n >= size) {
        if (size > 0)
            dst[0] = '\0';
        return -1;
    }
    memcpy(dst, src, n + 1);
    return 0;
}
