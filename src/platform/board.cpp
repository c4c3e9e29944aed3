// Board inputs, read from one small file each under var/dorvan/board.
#include "board_ctl.h"
#include "radio/radio.h"
#include "rootpath.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Polled often: one open, one read, one close, no stdio.
int readStatus(const char *abs, int *status)
{
    char path[DORVAN_PATH_MAX];
    if (status == nullptr || rootpath_make(path, sizeof(path), abs) != 0)
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char buf[64];
    ssize_t n;
    do {
        n = read(fd, buf, sizeof(buf));
    } while (n < 0 && errno == EINTR);
    close(fd);
    // A full buffer may hide more text: not a status word.
    if (n <= 0 || (size_t)n >= sizeof(buf))
        return -1;
    buf[n] = '\0';
    const char *p = buf;
    while (isBlank(*p))
        p++;
    char *end = nullptr;
    errno = 0;
    long v = strtol(p, &end, 10);
    if (end == p || errno != 0 || v < INT_MIN || v > INT_MAX)
        return -1;
    while (isBlank(*end))
        end++;
    if (end != buf + n)
        return -1;
    *status = (int)v;
    return 0;
}

} // namespace

extern "C" {

int boardCtl_getResetStatus(int *status)
{
    return readStatus("/var/dorvan/board/reset_button", status);
}

int boardCtl_getWirelessPWRStatus(int *status)
{
    int rc = readStatus("/var/dorvan/board/wireless_switch", status);
    // The daemon asks once a pass: the radio's supervision rides on it.
    radio_poll(rc != 0 ? -1 : *status == 0 ? 1 : 0);
    return rc;
}

int boardCtl_getWpsButtonStatus(int *status)
{
    return readStatus("/var/dorvan/board/wps_button", status);
}

} // extern "C"
