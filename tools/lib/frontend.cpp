#include "frontend.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "clock.h"
#include "private_file.h"
#include "protocol.h"
#include "rootpath.h"

namespace {

std::string rooted(const char *abs)
{
    char path[DORVAN_PATH_MAX];
    rootpath_make(path, sizeof(path), abs);
    return path;
}

void nap()
{
    usleep(10000);
}

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
};

// Opens the reply pipe without following a link; anything but a FIFO there
// (a file, a device, a directory) would hand us bytes the daemon never sent.
int open_reply_pipe(const std::string &path, std::string *error)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
        // One an older build left readable by all, or root's, is mended first.
        if (make_private(fd, path.c_str()) == 0)
            return fd;
        *error = "cannot make " + path + " private: " + strerror(errno);
        close(fd);
        return -1;
    }
    *error = fd < 0 && errno != ELOOP ? "cannot open " + path + ": " + strerror(errno)
                                      : path + " is not a named pipe";
    if (fd >= 0)
        close(fd);
    return -1;
}

}  // namespace

std::string fe_join(int argc, char **argv)
{
    std::string out;
    for (int i = 0; i < argc; i++) {
        if (i > 0)
            out += ' ';
        out += argv[i];
    }
    return out;
}

fe_result fe_exchange(const char *request, size_t len, int timeout_ms, std::string *reply,
                      std::string *error)
{
    reply->clear();
    // Cut to nothing, the root would be "/": the production daemon's pipes.
    if (!rootpath_valid()) {
        *error = DORVAN_ROOT_TOO_LONG;
        return FE_ERROR;
    }
    const int64_t deadline = monotonic_ms() + timeout_ms;
    const std::string req_path = rooted(REQUEST_PIPE);
    const std::string rep_path = rooted(REPLY_PIPE);
    const std::string lock_path = rooted("/var/dorvan/frontend.lock");

    // One exchange at a time: the pipes carry no request ids. What we make
    // is the daemon's to use and nobody else's (another user holding the
    // lock would stop every front end).
    for (const std::string &dir : {rooted("/var"), rooted("/var/dorvan")})
        make_folder(dir.c_str(), 0755);
    Fd lock;
    lock.fd = open_private(lock_path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (lock.fd >= 0 && make_private(lock.fd, lock_path.c_str()) != 0) {
        int e = errno;
        close(lock.fd);
        lock.fd = -1;
        errno = e;
    }
    if (lock.fd < 0) {
        *error = "cannot open " + lock_path + ": " + strerror(errno);
        return FE_ERROR;
    }
    while (flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
        if (monotonic_ms() >= deadline) {
            *error = "another front end holds " + lock_path;
            return FE_NO_REPLY;
        }
        nap();
    }

    // An earlier request not yet picked up: wait for the daemon to take it.
    struct stat st;
    while (lstat(req_path.c_str(), &st) == 0) {
        if (monotonic_ms() >= deadline) {
            *error = "an earlier request is still pending at " + req_path;
            return FE_NO_REPLY;
        }
        nap();
    }
    // Nothing is handed over unless a reply can come back through a pipe.
    if (make_private_fifo(rep_path.c_str()) != 0 && errno != EEXIST) {
        *error = "cannot create " + rep_path + ": " + strerror(errno);
        return FE_ERROR;
    }
    if (lstat(rep_path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) {
        *error = rep_path + " is not a named pipe";
        return FE_NO_REPLY;
    }
    if (make_private_fifo(req_path.c_str()) != 0) {
        *error = "cannot create " + req_path + ": " + strerror(errno);
        return FE_ERROR;
    }

    // The daemon opens the request pipe once a pass, or within a fraction of
    // a millisecond when it picks requests up at once: retry soon at first.
    Fd req;
    useconds_t backoff_us = 250;
    for (;;) {
        req.fd = open(req_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (req.fd >= 0)
            break;
        if (errno != ENXIO || monotonic_ms() >= deadline) {
            unlink(req_path.c_str());
            *error = errno == ENXIO ? "the daemon did not take the request"
                                    : "cannot open " + req_path + ": " + strerror(errno);
            return errno == ENXIO ? FE_NO_REPLY : FE_ERROR;
        }
        usleep(backoff_us);
        if (backoff_us < 10000)
            backoff_us *= 2;
    }
    // Open the reply pipe before the request is complete, so the daemon's
    // reply always finds a reader. Not before: a reader there earlier could
    // be handed the reply to an earlier front end that gave up.
    Fd rep;
    rep.fd = open_reply_pipe(rep_path, error);
    if (rep.fd < 0)
        return FE_NO_REPLY;  // closing unwritten hands the daemon an empty request
    ssize_t w = write(req.fd, request, len);
    int write_errno = errno;
    close(req.fd);
    req.fd = -1;
    if (w != (ssize_t)len) {
        // EPIPE: the daemon stopped waiting for us (we were stalled) and
        // dropped the pipe; nothing reached it.
        *error = w < 0 && write_errno == EPIPE ? "the daemon did not take the request"
                                               : "short write of the request";
        return w < 0 && write_errno == EPIPE ? FE_NO_REPLY : FE_ERROR;
    }

    char buf[4096];
    bool writer_seen = false;
    for (;;) {
        long left = (long)(deadline - monotonic_ms());
        if (left <= 0) {
            *error = "no reply from the daemon";
            return FE_NO_REPLY;
        }
        struct pollfd p = {rep.fd, POLLIN, 0};
        int r = poll(&p, 1, (int)(left < 50 ? left : 50));
        if (r < 0 && errno != EINTR) {
            *error = std::string("poll: ") + strerror(errno);
            return FE_ERROR;
        }
        if (r <= 0)
            continue;
        ssize_t n = read(rep.fd, buf, sizeof(buf));
        if (n > 0) {
            writer_seen = true;
            const char *nul = static_cast<const char *>(memchr(buf, '\0', n));
            reply->append(buf, nul ? nul - buf : n);
            if (nul)
                return FE_OK;
        } else if (n == 0) {
            // The writer closed without a NUL: nothing more will come from it,
            // but a daemon that has not written yet may still.
            if (writer_seen) {
                *error = "reply ended without its terminator";
                return FE_ERROR;
            }
            nap();
        } else if (errno != EAGAIN && errno != EINTR) {
            *error = "cannot read " + rep_path + ": " + strerror(errno);
            return FE_ERROR;
        }
    }
}
