// Files that carry requests, replies or secrets: for their owner only.
// Root creating one in a folder another user owns (a daemon run as its own
// user) hands it to that user, or the daemon could not use it.
#ifndef DORVAN_PRIVATE_FILE_H
#define DORVAN_PRIVATE_FILE_H

#include <sys/types.h>

// When we are root: gives the file at path (through fd when fd >= 0, else
// the path itself, links not followed) the owner and group of path's
// folder, unless that is root's. 0, or -1 with errno.
int give_to_owner(int fd, const char *path);
// mkfifo(path) with mode 0600 whatever the umask, handed to the folder's
// owner. 0, or -1 with errno (EEXIST: something is there).
int make_private_fifo(const char *path);
// mkdir(path, mode) whatever the umask, handed to the folder's owner. 0, or
// -1 with errno (EEXIST: something is there).
int make_folder(const char *path, mode_t mode);
// open(path, flags | O_CREAT, 0600) whatever the umask.
int open_private(const char *path, int flags);
// fd, open on path, as make_private_fifo leaves a FIFO: what an older
// build left readable by all, or root made root's, is mended. 0, or -1
// with errno; a file of someone else's stays as it is.
int make_private(int fd, const char *path);

#endif
