// Supervision of the hostapd child: started with its output kept bounded,
// reaped each pass, started again with a back-off, ended without waiting
// under the lock, and a leftover of an earlier dorvand ended at start-up.
#include "radio_internal.h"
#include "cfg_framework.h"
#include "platform_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace dplat {
namespace radio {

namespace {

const int kSteadyMs = (int)span_ms(SPAN_HOSTAPD_STEADY);  // a run this long resets the back-off
const int kStopWaitMs = (int)span_ms(SPAN_HOSTAPD_STOP);  // SIGTERM, then SIGKILL
// hostapd.log keeps its last bytes only: /var is RAM on a gateway.
const size_t kLogMax = 256 * 1024;
const size_t kLogReadMax = 4 * kLogMax;  // read at one look

std::string status(int st)
{
    if (WIFEXITED(st))
        return "exit status " + std::to_string(WEXITSTATUS(st));
    if (WIFSIGNALED(st))
        return "signal " + std::to_string(WTERMSIG(st));
    return "status " + std::to_string(st);
}

// Ends pid (ours or a leftover of an earlier dorvand) within kStopWaitMs,
// then by SIGKILL.
void end_process(pid_t pid, bool ours)
{
    kill(pid, SIGCONT);
    kill(pid, SIGTERM);
    int64_t deadline = monotonic_ms() + kStopWaitMs;
    // hostapd usually ends within a millisecond: look early, then back off.
    useconds_t step = 250;
    for (;;) {
        if (ours) {
            // Ending, it may still write: a full pipe would hold it.
            drain_log();
            pid_t r = waitpid(pid, nullptr, WNOHANG);
            if (r == pid || (r < 0 && errno == ECHILD))
                return;
        } else if (kill(pid, 0) != 0 && errno == ESRCH) {
            return;
        }
        if (monotonic_ms() >= deadline)
            break;
        usleep(step);
        step = step < 5000 ? step * 2 : 5000;
    }
    kill(pid, SIGKILL);
    if (ours)
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
}

void start(bool traced)
{
    drain_log();
    if (hd.logFd >= 0)
        close(hd.logFd);
    hd.logFd = -1;
    // The last run's lines stay: why it ended is in them.
    struct stat st;
    hd.logKept = !(lstat(hd.logPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode));
    if (!hd.logKept)
        note(CFG_LOG_ERR, (hd.logPath + " is not a regular file: hostapd's output dropped").c_str());
    else
        hd.logKept = write_file_atomic(hd.logPath, hd.logTail, nullptr, 0600, false) == 0;
    int out[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || fcntl(out[0], F_SETFL, O_NONBLOCK) != 0) {
        if (out[0] >= 0) {
            close(out[0]);
            close(out[1]);
        }
        out[0] = out[1] = -1;
    }
    // The global socket adds and removes one guest BSS.
    std::string global = hd.env.ctrlDir + "/global";
    const char *argv[] = {hd.env.program.c_str(), "-g", global.c_str(), hd.confPath.c_str(), nullptr};
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        note(CFG_LOG_ERR, ("fork: " + std::string(strerror(errno))).c_str());
        hd.nextStartMs = monotonic_ms() + kBackoffFirstMs;
        if (out[0] >= 0) {
            close(out[0]);
            close(out[1]);
        }
        return;
    }
    if (pid == 0) {
        child_signal_defaults();
        // hostapd must not outlive us, even killed: a restarted dorvand
        // would find it holding the radio.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        int w = out[1] >= 0 ? out[1] : open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (in >= 0)
            dup2(in, 0);
        if (w >= 0) {
            dup2(w, 1);
            dup2(w, 2);
        }
        // dup2 onto itself keeps close-on-exec: a descriptor opened as 0..2.
        for (int fd = 0; fd < 3; fd++)
            fcntl(fd, F_SETFD, 0);
        execv(argv[0], (char *const *)argv);
        dprintf(2, "cannot execute %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    if (out[1] >= 0)
        close(out[1]);
    hd.logFd = out[0];
    hd.child = pid;
    hd.startedMs = monotonic_ms();
    detach();
    hd.answered = false;
    hd.hupPending = false;
    name_on_file();
    // One trace event and one log line per apply: a restart tells its own.
    if (!traced)
        return;
    trace("apply", "start");
    note(CFG_LOG_NOTICE, ("hostapd " + std::to_string(pid) + " started").c_str());
}

// A hostapd left by an earlier dorvand of this root (one that was replaced
// by exec, which does not fire the death signal).
void end_leftover()
{
    pid_t pid = running_hostapd(hd.pidPath, hd.confPath);
    if (pid < 0)
        return;
    note(CFG_LOG_NOTICE, ("ending hostapd " + std::to_string(pid) + " left by an earlier run").c_str());
    end_process((pid_t)pid, waitpid((pid_t)pid, nullptr, WNOHANG) == 0);
}

} // namespace

// hostapd's output reaches its file through us, bounded: the file keeps the
// newest whole lines (why a hostapd ended is its last ones). hostapd's end
// of the pipe blocks, so nothing it writes is lost; ours does not, and one
// look reads at most kLogReadMax: a program that floods waits for the next.
void drain_log()
{
    if (hd.logFd < 0)
        return;
    size_t had = hd.logTail.size();  // what the file holds
    bool cut = false;
    char buf[16384];
    for (size_t total = 0; total < kLogReadMax;) {
        ssize_t n = read(hd.logFd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += (size_t)n;
        if (!hd.logKept)
            continue;
        hd.logTail.append(buf, (size_t)n);
        if (hd.logTail.size() <= kLogMax)
            continue;
        // Down to half the bound, so that the file is rewritten rarely; a
        // line longer than that is kept whole if it fits.
        size_t size = hd.logTail.size(), from = size - kLogMax / 2;
        size_t nl = hd.logTail.find('\n', from);
        if (nl == std::string::npos)
            nl = hd.logTail.rfind('\n', from);
        hd.logTail.erase(0, nl != std::string::npos && size - nl - 1 <= kLogMax ? nl + 1 : size - kLogMax);
        cut = true;
    }
    if (!hd.logKept || (!cut && hd.logTail.size() == had))
        return;
    if (cut) {
        write_file_atomic(hd.logPath, hd.logTail, nullptr, 0600, false);
        return;
    }
    // Never through a link, never into a FIFO or device planted there.
    int fd = open(hd.logPath.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (size_t)st.st_size == had)
        write_fully(fd, hd.logTail.data() + had, hd.logTail.size() - had);
    else
        write_file_atomic(hd.logPath, hd.logTail, nullptr, 0600, false);
    if (fd >= 0)
        close(fd);
}

// A hostapd that ended: its start again waits 1 s, doubling to 60 s, reset
// after a minute of running.
void reap()
{
    int st = 0;
    pid_t r;
    do {
        r = waitpid(hd.child, &st, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != hd.child && !(r < 0 && errno == ECHILD))
        return;
    drain_log();
    int64_t now = monotonic_ms();
    bool fresh = now - hd.startedMs >= kSteadyMs || hd.backoffMs == 0;
    hd.backoffMs = fresh ? kBackoffFirstMs : std::min(hd.backoffMs * 2, kBackoffMaxMs);
    hd.nextStartMs = now + hd.backoffMs;
    // The first end of a series is an error; its repeats only notices.
    if (r == hd.child)
        note(fresh ? CFG_LOG_ERR : CFG_LOG_NOTICE,
             ("hostapd " + std::to_string(hd.child) + " ended: " + status(st) + ", see " + hd.logPath).c_str());
    hd.child = -1;
    unlink(hd.pidPath.c_str());
    hd.onFile = -1;
    detach();
}

// The hostapd that runs or is ending is named on file at every pass: a
// write that failed (a full disk) is tried again, or a dorvand re-executed
// meanwhile would never end it.
void name_on_file()
{
    pid_t pid = hd.child >= 0 ? hd.child : hd.ending;
    if (pid >= 0 && pid != hd.onFile &&
        write_file_atomic(hd.pidPath, std::to_string((long)pid) + "\n", nullptr, 0644, false) == 0)
        hd.onFile = pid;
}

void reload()
{
    hd.hupPending = false;
    kill(hd.child, SIGHUP);
    trace("apply", "reload");
    note(CFG_LOG_NOTICE, "hostapd re-reads its configuration");
}

// A hostapd signalled before it installed its handlers would die of
// SIGHUP: nothing is sent to it until it has answered once.
void check_answered()
{
    std::string reply;
    if (hd.child < 0 || hd.answered || !ours(hd.env.ifname, "PING", &reply, kPingWaitMs) ||
        reply.compare(0, 4, "PONG") != 0)
        return;
    hd.answered = true;
    if (hd.hupPending)
        reload();
}

// Never waits: a hostapd that ignores SIGTERM is killed at its deadline
// by a later pass, not inside a store.
void stop()
{
    if (hd.child < 0)
        return;
    kill(hd.child, SIGCONT);
    kill(hd.child, SIGTERM);
    hd.ending = hd.child;
    hd.killAtMs = monotonic_ms() + kStopWaitMs;
    hd.child = -1;
    // The pid file names it until it is reaped: a dorvand killed meanwhile
    // leaves the next one a hostapd to end, not one it cannot see.
    detach();
}

// Whether the hostapd told to end has; killed at its deadline.
bool ended()
{
    if (hd.ending < 0)
        return true;
    drain_log();
    pid_t r = waitpid(hd.ending, nullptr, WNOHANG);
    if (r == hd.ending || (r < 0 && errno == ECHILD)) {
        hd.ending = -1;
        unlink(hd.pidPath.c_str());
        hd.onFile = -1;
        return true;
    }
    if (monotonic_ms() >= hd.killAtMs) {
        kill(hd.ending, SIGKILL);
        hd.killAtMs = INT64_MAX;
        note(CFG_LOG_ERR, ("hostapd " + std::to_string(hd.ending) + " did not end on SIGTERM: killed").c_str());
    }
    return false;
}

// A start, or the second half of a restart, once the last hostapd is gone.
void start_when_ended()
{
    if (!ended())
        return;
    start(!hd.restarting);
    if (hd.restarting) {
        trace("apply", "restart");
        note(CFG_LOG_NOTICE, ("hostapd restarted as " + std::to_string(hd.child)).c_str());
    }
    hd.restarting = false;
}

// The hostapd running confPath, as pidPath names it; -1 when none. The
// path is one whole argument: /x/tmp/a's hostapd is not /tmp/a's.
pid_t running_hostapd(const std::string &pidPath, const std::string &confPath)
{
    std::string text;
    if (read_whole_file(pidPath, &text, nullptr, 64) != 0)
        return -1;
    long pid = atol(text.c_str());
    std::string cmdline;
    if (pid <= 1 || read_whole_file("/proc/" + std::to_string(pid) + "/cmdline", &cmdline, nullptr, 4096) != 0 ||
        (std::string(1, '\0') + cmdline).find('\0' + confPath + '\0') == std::string::npos)
        return -1;
    return (pid_t)pid;
}

bool become_owner()
{
    if (hd.owner)
        return hd.usable;
    hd.owner = true;
    hd.usable = read_env(&hd.env);
    if (!hd.usable)
        return false;
    hd.confPath = hd.env.radioDir + "/hostapd.conf";
    hd.pidPath = hd.env.radioDir + "/hostapd.pid";
    hd.logPath = hd.env.radioDir + "/hostapd.log";
    end_leftover();
    // hostapd makes its control folder but not the ones above it.
    std::string run = root_path("/var/run");
    if (make_dirs(run) != 0)
        note(CFG_LOG_ERR, ("cannot create " + run).c_str());
    return true;
}

} // namespace radio
} // namespace dplat
