// Files that carry requests, replies or secrets: for their owner only.
#ifndef DORVAN_PRIVATE_FILE_H
#define DORVAN_PRIVATE_FILE_H

// mkfifo(path) with mode 0600 whatever the umask. 0, or -1 with errno
// (EEXIST: something is there).
int make_private_fifo(const char *path);
// open(path, flags | O_CREAT, 0600) whatever the umask.
int open_private(const char *path, int flags);
// fd, open on path, as make_private_fifo leaves a FIFO: what an older
// build left readable by all is mended. 0, or -1 with errno; a file of
// someone else's stays as it is.
int make_private(int fd, const char *path);

#endif
