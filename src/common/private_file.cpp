#include "private_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const mode_t kPrivate = 0600;

// The umask may only take bits away: with 077 it leaves exactly 0600.
int make_private_fifo(const char *path)
{
    mode_t old = umask(077);
    int rc = mkfifo(path, kPrivate);
    umask(old);
    return rc;
}

int open_private(const char *path, int flags)
{
    mode_t old = umask(077);
    int fd = open(path, flags | O_CREAT, kPrivate);
    umask(old);
    return fd;
}

int make_private(int fd, const char *path)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return -1;
    (void)path;
    if (st.st_uid != geteuid() && geteuid() != 0)
        return 0;
    if ((st.st_mode & 07777) != kPrivate && fchmod(fd, kPrivate) != 0)
        return -1;
    return 0;
}
