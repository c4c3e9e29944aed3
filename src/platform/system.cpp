// System actions through the shell, and the factory reset with its restart.
#include "cfg_framework.h"
#include "platform_internal.h"

#include <errno.h>
#include <limits.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Names the instance lock's descriptor for the image that a restart starts.
const char kInstanceFdEnv[] = "DORVAN_INSTANCE_FD";
int g_instanceFd = -1;

// The descriptor a restarting image left us, if it really is the lock file
// at path (a stale or forged number is ignored). Else -1.
int inherited_instance_fd(const std::string &path)
{
    const char *env = getenv(kInstanceFdEnv);
    if (env == nullptr)
        return -1;
    char *end = nullptr;
    long fd = strtol(env, &end, 10);
    bool numeric = end != env && *end == '\0' && fd > STDERR_FILENO && fd < 1024;
    // Our shell children must not see it.
    unsetenv(kInstanceFdEnv);
    struct stat held, named;
    if (!numeric || fstat((int)fd, &held) != 0 || lstat(path.c_str(), &named) != 0 ||
        !S_ISREG(held.st_mode) || held.st_dev != named.st_dev || held.st_ino != named.st_ino)
        return -1;
    if (fcntl((int)fd, F_SETFD, FD_CLOEXEC) != 0)
        return -1;
    return (int)fd;
}

int run_shell(const char *cmdline)
{
    if (cmdline == nullptr)
        return -1;
    dplat::trace("system", cmdline);
    char *const argv[] = {(char *)"sh", (char *)"-c", (char *)cmdline, nullptr};
    pid_t pid = fork();
    if (pid < 0) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "fork: %s", strerror(errno));
        return -1;
    }
    if (pid == 0) {
        dplat::child_signal_defaults();
        execv("/bin/sh", argv);
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            log_log(CFG_LOG_ERR, __func__, __LINE__, "waitpid: %s", strerror(errno));
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Re-executes this program with its original arguments. Returns only on
// failure, with the reason.
const char *reexec_self()
{
    static char args[16384];
    const int kMaxArgs = 256;
    static char *argv[kMaxArgs + 1];
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "/proc/self/cmdline unreadable";
    size_t got = 0;
    for (;;) {
        ssize_t r = read(fd, args + got, sizeof(args) - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += (size_t)r;
        if (got == sizeof(args))
            break;
    }
    close(fd);
    // A cut argument list would start the program wrongly.
    if (got == 0 || got == sizeof(args) || args[got - 1] != '\0')
        return "argument list unreadable or too long";
    int argc = 0;
    for (size_t i = 0; i < got; i += strlen(args + i) + 1) {
        if (argc == kMaxArgs)
            return "too many arguments";
        argv[argc++] = args + i;
    }
    argv[argc] = nullptr;
    // The new image adopts the instance lock, so no second daemon can take
    // the root while we restart.
    if (g_instanceFd >= 0) {
        char fdText[16];
        snprintf(fdText, sizeof(fdText), "%d", g_instanceFd);
        if (fcntl(g_instanceFd, F_SETFD, 0) != 0 || setenv(kInstanceFdEnv, fdText, 1) != 0)
            return "instance lock not passed on";
    }
    execv("/proc/self/exe", argv);
    return strerror(errno);
}

} // namespace

namespace dplat {

void child_signal_defaults()
{
    // A started program must not inherit a blocked mask or ignored signals.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGIO, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
        signal(sig, SIG_DFL);
}

} // namespace dplat

extern "C" {

namespace {

// Whether another user than root and us may change what stands at path:
// theirs, or a folder writable by others or a group not ours without the
// sticky bit (a umask of 002 makes every folder group-writable).
bool others_may_change(const char *path, bool follow)
{
    struct stat st;
    if ((follow ? stat(path, &st) : lstat(path, &st)) != 0) {
        if (follow)
            log_log(CFG_LOG_ERR, "dorvan_state_path_safe", __LINE__, "%s: %s: root not served", path, strerror(errno));
        return follow;
    }
    mode_t others = S_IWOTH | (st.st_gid == getegid() ? 0 : S_IWGRP);
    if ((st.st_uid == 0 || st.st_uid == geteuid()) && (S_ISLNK(st.st_mode) || (st.st_mode & others) == 0 ||
                                                       (st.st_mode & S_ISVTX) != 0))
        return false;
    log_log(CFG_LOG_ERR, "dorvan_state_path_safe", __LINE__, "%s may be changed by user %u or others: root not served",
            path, (unsigned)st.st_uid);
    return true;
}

} // namespace

int dorvan_state_path_safe(void)
{
    // The deepest folder there is now on the way to our state, every link
    // on the way there (its owner may replace it), then every folder above
    // it: another user who may change one could swap the data model or
    // hostapd's file, and as root we would hand them our files.
    std::string dir = dplat::root_path(DORVAN_STATE_DIR);
    char real[PATH_MAX];
    if (!dir.empty() && dir[0] != '/') {
        if (getcwd(real, sizeof(real)) == nullptr)
            return 0;  // the start-up that follows says why
        dir = std::string(real) + "/" + dir;
    }
    struct stat st;
    while (stat(dir.c_str(), &st) != 0 && errno == ENOENT && dir.size() > 1)
        dir.erase(std::max<size_t>(dir.rfind('/'), 1));
    for (size_t e = dir.find('/', 1);; e = dir.find('/', e + 1)) {
        if (others_may_change(dir.substr(0, e).c_str(), false))
            return -1;
        if (e == std::string::npos)
            break;
    }
    if (realpath(dir.c_str(), real) == nullptr)
        return 0;
    for (std::string cur = real;; cur.erase(std::max<size_t>(cur.rfind('/'), 1))) {
        if (others_may_change(cur.c_str(), true))
            return -1;
        if (cur == "/")
            return 0;
    }
}

int dorvan_hold_instance_lock(void)
{
    std::string path = dplat::root_path(DORVAN_INSTANCE_LOCK_FILE);
    if (path.empty()) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "instance lock path too long");
        return -1;
    }
    int fd = inherited_instance_fd(path);
    if (fd < 0) {
        // Never removed: the lock is the flock on this inode.
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == ENOENT && dplat::make_dirs(dplat::root_path(DORVAN_STATE_DIR)) == 0)
            fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot open %s: %s", path.c_str(),
                    strerror(errno));
            return -1;
        }
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        close(fd);
        if (err == EWOULDBLOCK)
            log_log(CFG_LOG_ERR, __func__, __LINE__, "another dorvand runs on this root (%s held)",
                    path.c_str());
        else
            log_log(CFG_LOG_ERR, __func__, __LINE__, "flock %s: %s", path.c_str(), strerror(err));
        return -1;
    }
    g_instanceFd = fd;
    return 0;
}

int cfgSys_doSystemAction(const char *caller, const char *cmdline)
{
    log_log(CFG_LOG_DEBUG, __func__, __LINE__, "%s: %s", caller ? caller : "?",
            cmdline ? cmdline : "(null)");
    return run_shell(cmdline);
}

int systemEx(const char *cmdline, int flags)
{
    (void)flags;
    return run_shell(cmdline);
}

int cfgMgm_restoreDefault(void *msgHandle)
{
    (void)msgHandle;
    const char *who = "cfgMgm_restoreDefault";
    if (cfgLck_acquireLockTraced(who) != CFG_RET_SUCCESS) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "configuration lock not obtained");
        return CFG_RET_TIMED_OUT;
    }
    int rc = dorvan_restore_factory();
    cfgLck_releaseLockTraced(who);
    if (rc != 0)
        return CFG_RET_INTERNAL_ERROR;
    log_log(CFG_LOG_NOTICE, __func__, __LINE__, "factory defaults restored, restarting");
    fflush(stdout);
    fflush(stderr);
    const char *noexec = getenv("DORVAN_NO_REEXEC");
    if (noexec != nullptr && strcmp(noexec, "1") == 0)
        return CFG_RET_SUCCESS;
    const char *why = reexec_self();
    // Returning would make the monitor restore the defaults again on every
    // pass, undoing every later change: end, so the service manager restarts
    // us with the factory configuration in place.
    log_log(CFG_LOG_ERR, __func__, __LINE__, "restart failed: %s", why);
    exit(255);
}

} // extern "C"
