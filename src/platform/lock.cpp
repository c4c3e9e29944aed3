// The configuration lock: flock on a dedicated file, shared by every process
// under the same root. A holder that dies releases it with its descriptor.
#include "cfg_framework.h"
#include "platform_internal.h"
#include "private_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>


namespace {

const long kPollNs = 2 * 1000 * 1000;

int g_fd = -1;
// Nested acquires by the holder only count; the last release unlocks.
unsigned g_depth = 0;
// A forked child inherits the state above but holds nothing itself.
pid_t g_owner = 0;

void forget_if_inherited()
{
    if (g_depth > 0 && g_owner != getpid()) {
        close(g_fd); // our copy only: the parent keeps its lock
        g_fd = -1;
        g_depth = 0;
    }
}

int64_t default_wait_ms()
{
    const char *env = getenv("DORVAN_LOCK_WAIT_MS");
    if (env == nullptr || env[0] == '\0')
        return span_ms(SPAN_LOCK_WAIT);
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(env, &end, 10);
    if (*end != '\0' || errno != 0 || v < 0)
        return span_ms(SPAN_LOCK_WAIT);
    return v;
}

int open_lock_file()
{
    std::string path = dplat::root_path(DORVAN_LOCK_FILE);
    if (path.empty()) {
        errno = ENAMETOOLONG;
        return -1;
    }
    // flock needs no write access: a read-only root still serves readers.
    // Non-blocking in case a FIFO sits there; a link would have root's tools
    // create or lock any file.
    const int flags = O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(path.c_str(), O_RDONLY | flags);
    if (fd < 0 && errno == ENOENT) {
        fd = open_private(path.c_str(), O_RDWR | flags);
        if (fd < 0 && errno == ENOENT &&
            dplat::make_dirs(dplat::root_path(DORVAN_STATE_DIR)) == 0)
            fd = open_private(path.c_str(), O_RDWR | flags);
    }
    // Whoever can open it can hold it and stop every writer: the owner's
    // only, mended if an older build left it to all.
    if (fd >= 0 && make_private(fd, path.c_str()) != 0 && errno != EROFS) {
        int e = errno;
        close(fd);
        fd = -1;
        errno = e;
    }
    if (fd < 0) {
        int e = errno;
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot open %s: %s",
                path.c_str(), strerror(e));
        errno = e;
    }
    return fd;
}

int acquire(const char *caller, int64_t waitMs)
{
    forget_if_inherited();
    if (g_depth > 0) {
        g_depth++;
        return CFG_RET_SUCCESS;
    }
    int fd = open_lock_file();
    if (fd < 0)
        return CFG_RET_INTERNAL_ERROR;
    int64_t deadline = dplat::monotonic_ms() + waitMs;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            int e = errno;
            log_log(CFG_LOG_ERR, __func__, __LINE__, "flock: %s", strerror(e));
            close(fd);
            errno = e;
            return CFG_RET_INTERNAL_ERROR;
        }
        if (dplat::monotonic_ms() >= deadline) {
            close(fd);
            log_log(CFG_LOG_NOTICE, __func__, __LINE__, "%s: lock busy",
                    caller ? caller : "?");
            return CFG_RET_TIMED_OUT;
        }
        struct timespec ts = {0, kPollNs};
        nanosleep(&ts, nullptr);
    }
    g_fd = fd;
    g_depth = 1;
    g_owner = getpid();
    dplat::trace("lock", caller ? caller : "");
    return CFG_RET_SUCCESS;
}

} // namespace

namespace dplat {

void drop_lock()
{
    if (g_fd >= 0)
        close(g_fd);
    g_fd = -1;
    g_depth = 0;
}

} // namespace dplat

extern "C" {

int cfgLck_acquireLockTraced(const char *caller)
{
    return acquire(caller, default_wait_ms());
}

// Its seconds are the clock's: short passes shorten them too.
int cfgLck_acquireLockWithTimeoutTraced(const char *caller, uint32_t timeout)
{
    return acquire(caller, (int64_t)timeout * span_ms(SPAN_LOCK_SECOND));
}

void cfgLck_releaseLockTraced(const char *caller)
{
    forget_if_inherited();
    if (g_depth == 0) {
        log_log(CFG_LOG_NOTICE, __func__, __LINE__, "%s: lock not held",
                caller ? caller : "?");
        return;
    }
    if (--g_depth > 0)
        return;
    // Closing the only descriptor drops the flock as well.
    flock(g_fd, LOCK_UN);
    close(g_fd);
    g_fd = -1;
    dplat::trace("unlock", caller ? caller : "");
}

} // extern "C"
