#include "pickup.h"

#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "cfg_framework.h"
#include "pipes.h"
#include "rootpath.h"

// Start of the next pass on the monotonic clock.
static struct timespec due;
static int watch_fd = -1;
static int watch_wd = -1;
// The fall-back line is written once per outage of the watch.
static int fallback_logged = 0;

int pickup_init(void)
{
    const char *mode = getenv("DORVAN_PICKUP");
    if (mode == NULL || mode[0] == '\0' || strcmp(mode, "pass") == 0)
        return 0;
    if (strcmp(mode, "immediate") != 0) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "DORVAN_PICKUP=%.32s unknown: requests picked up once a pass",
                mode);
        return 0;
    }
    clock_gettime(CLOCK_MONOTONIC, &due);
    return 1;
}

static const char *pipe_name(void)
{
    return strrchr(REQUEST_PIPE, '/') + 1;
}

static void pickup_fallback(const char *dir, int err)
{
    if (fallback_logged)
        return;
    fallback_logged = 1;
    log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot watch %s (%s): requests picked up once a pass", dir,
            strerror(err));
}

// The watch on the request pipe's folder; 1 when it is set.
static int watch_start(void)
{
    char dir[DORVAN_PATH_MAX];
    if (rootpath_make(dir, sizeof(dir), REQUEST_PIPE) != 0) {
        pickup_fallback("the request pipe's folder", ENAMETOOLONG);
        return 0;
    }
    *strrchr(dir, '/') = '\0';
    if (watch_fd < 0)
        watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_fd >= 0)
        // A regular file at the pipe's path counts once written.
        watch_wd = inotify_add_watch(watch_fd, dir[0] != '\0' ? dir : "/",
                                     IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVE_SELF | IN_ONLYDIR);
    if (watch_wd < 0) {
        pickup_fallback(dir, errno);
        return 0;
    }
    if (fallback_logged)
        log_log(CFG_LOG_NOTICE, __func__, __LINE__, "watching %s again", dir);
    fallback_logged = 0;
    return 1;
}

static void watch_lost(void)
{
    if (watch_wd >= 0)
        inotify_rm_watch(watch_fd, watch_wd);
    watch_wd = -1;
    pickup_fallback("the request pipe's folder", ENOENT);
}

// Reads the pending events; 1 when a request is there to be served: a FIFO
// as soon as it is created, a regular file once its writer has closed it.
static int request_arrived(void)
{
    char buf[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
    ssize_t n = read(watch_fd, buf, sizeof(buf));
    uint32_t seen = 0;
    for (ssize_t at = 0; n > 0 && at + (ssize_t)sizeof(struct inotify_event) <= n;) {
        const struct inotify_event *ev = (const struct inotify_event *)(buf + at);
        at += (ssize_t)(sizeof(*ev) + ev->len);
        if (ev->mask & IN_Q_OVERFLOW)
            seen |= IN_MOVED_TO;  // events were lost: look at the path
        if (ev->wd != watch_wd || watch_wd < 0)
            continue;
        if (ev->mask & (IN_IGNORED | IN_MOVE_SELF))
            watch_lost();
        else if (ev->len > 0 && strcmp(ev->name, pipe_name()) == 0)
            seen |= ev->mask;
    }
    char path[DORVAN_PATH_MAX];
    struct stat st;
    if (seen == 0 || rootpath_make(path, sizeof(path), REQUEST_PIPE) != 0 || lstat(path, &st) != 0)
        return 0;
    if (S_ISFIFO(st.st_mode))
        return (seen & (IN_CREATE | IN_MOVED_TO)) != 0;
    return S_ISREG(st.st_mode) && (seen & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0;
}

static long long ns_until(const struct timespec *t)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)(t->tv_sec - now.tv_sec) * 1000000000LL + (t->tv_nsec - now.tv_nsec);
}

// The next pass starts now, and the schedule from it: no pass is made up.
static void overran(void)
{
    clock_gettime(CLOCK_MONOTONIC, &due);
}

void pickup_wait(long period_ms)
{
    due.tv_sec += period_ms / 1000;
    due.tv_nsec += (period_ms % 1000) * 1000000L;
    if (due.tv_nsec >= 1000000000L) {
        due.tv_sec++;
        due.tv_nsec -= 1000000000L;
    }
    long long left = ns_until(&due);
    if (left <= 0) {
        overran();
        return;
    }
    if (watch_wd >= 0 || watch_start()) {
        // Requests are taken only while the pass is not due, so a flood
        // cannot hold the buttons back.
        while (left > 0 && watch_wd >= 0) {
            struct pollfd p = {watch_fd, POLLIN, 0};
            // Rounded up: a poll never ends before the pass is due.
            int r = poll(&p, 1, (int)((left + 999999) / 1000000));
            if (r < 0 && errno != EINTR)
                break;
            if (r > 0 && request_arrived()) {
                process_wlCLI_PIPE();
                if (ns_until(&due) <= 0) {
                    overran();
                    return;
                }
            }
            left = ns_until(&due);
        }
        if (left <= 0)
            return;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, NULL) == EINTR) {
    }
}
