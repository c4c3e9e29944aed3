#include "private_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rootpath.h"

static const mode_t kPrivate = 0600;

int give_to_owner(int fd, const char *path)
{
    if (geteuid() != 0)
        return 0;
    char dir[DORVAN_PATH_MAX];
    const char *slash = strrchr(path, '/');
    size_t n = slash == NULL ? 0 : (size_t)(slash - path);
    if (n >= sizeof(dir))
        return 0;
    memcpy(dir, path, n);
    dir[n] = '\0';
    struct stat st;
    if (stat(slash == NULL ? "." : n == 0 ? "/" : dir, &st) != 0 || (st.st_uid == 0 && st.st_gid == 0))
        return 0;
    return fd >= 0 ? fchown(fd, st.st_uid, st.st_gid) : lchown(path, st.st_uid, st.st_gid);
}

// What we just made is the folder owner's, or is not kept.
static int hand_over(const char *path, int (*undo)(const char *))
{
    if (give_to_owner(-1, path) == 0)
        return 0;
    int e = errno;
    undo(path);
    errno = e;
    return -1;
}

// The umask may only take bits away: with 077 it leaves exactly 0600.
int make_private_fifo(const char *path)
{
    mode_t old = umask(077);
    int rc = mkfifo(path, kPrivate);
    umask(old);
    return rc != 0 ? -1 : hand_over(path, unlink);
}

int make_folder(const char *path, mode_t mode)
{
    mode_t old = umask(0);
    int rc = mkdir(path, mode);
    umask(old);
    return rc != 0 ? -1 : hand_over(path, rmdir);
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
    if (st.st_uid != geteuid() && geteuid() != 0)
        return 0;
    if (give_to_owner(fd, path) != 0)
        return -1;
    if ((st.st_mode & 07777) != kPrivate && fchmod(fd, kPrivate) != 0)
        return -1;
    return 0;
}
