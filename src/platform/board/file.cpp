// File source: a decimal value in a regular file (the default board files,
// a sysfs GPIO value). Opened every pass: writers replace these files.
#include "board_internal.h"
#include "platform_internal.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>

namespace dplat {
namespace board {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

int file_value(const char *path, long *value)
{
    char buf[64];
    ssize_t n = read_small_file(path, buf, sizeof(buf));
    if (n < 0)
        return errno == EINVAL ? kNotRegular : errno;
    const char *p = buf;
    while (is_blank(*p))
        p++;
    char *end = nullptr;
    errno = 0;
    long v = strtol(p, &end, 10);
    if (end == p || errno != 0 || v < INT_MIN || v > INT_MAX)
        return kNotDecimal;
    while (is_blank(*end))
        end++;
    if (end != buf + n)
        return kNotDecimal;
    *value = v;
    return 0;
}

} // namespace board
} // namespace dplat
