// System actions through the shell, and the factory reset with its restart.
#include "cfg_framework.h"
#include "platform_internal.h"
#include "radio/radio.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int runShell(const char *cmdline)
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
        dplat::childSignalDefaults();
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

// Re-executes this program with its original arguments. Returns on failure.
int reexecSelf()
{
    static char args[16384];
    const int kMaxArgs = 256;
    static char *argv[kMaxArgs + 1];
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
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
        return -1;
    int argc = 0;
    for (size_t i = 0; i < got; i += strlen(args + i) + 1) {
        if (argc == kMaxArgs)
            return -1;
        argv[argc++] = args + i;
    }
    argv[argc] = nullptr;
    execv("/proc/self/exe", argv);
    log_log(CFG_LOG_ERR, __func__, __LINE__, "execv: %s", strerror(errno));
    return -1;
}

} // namespace

namespace dplat {

void childSignalDefaults()
{
    // A started program must not inherit a blocked mask or ignored signals.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
        signal(sig, SIG_DFL);
}

} // namespace dplat

extern "C" {

int cfgSys_doSystemAction(const char *caller, const char *cmdline)
{
    log_log(CFG_LOG_DEBUG, __func__, __LINE__, "%s: %s", caller ? caller : "?",
            cmdline ? cmdline : "(null)");
    return runShell(cmdline);
}

int systemEx(const char *cmdline, int flags)
{
    (void)flags;
    int rc = runShell(cmdline);
    radio_systemAction(cmdline);
    return rc;
}

int cfgMgm_restoreDefault(void *msgHandle)
{
    (void)msgHandle;
    const char *who = "cfgMgm_restoreDefault";
    if (cfgLck_acquireLockTraced(who) != CFG_RET_SUCCESS) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "configuration lock not obtained");
        return CFG_RET_TIMED_OUT;
    }
    int rc = dorvan_restoreFactory();
    cfgLck_releaseLockTraced(who);
    if (rc != 0)
        return CFG_RET_INTERNAL_ERROR;
    log_log(CFG_LOG_NOTICE, __func__, __LINE__, "factory defaults restored, restarting");
    fflush(stdout);
    fflush(stderr);
    const char *noexec = getenv("DORVAN_NO_REEXEC");
    if (noexec != nullptr && strcmp(noexec, "1") == 0)
        return CFG_RET_SUCCESS;
    reexecSelf();
    return CFG_RET_INTERNAL_ERROR;
}

} // extern "C"
