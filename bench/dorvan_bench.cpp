// dorvan_bench: the daemon's costs measured against their physical floors.
//
//   dorvan_bench service  --root-base DIR [--reps N]   service time per sub-command
//   dorvan_bench channel  --root-base DIR [--reps N]   the same for `wladv config --wlChannel 6`
//   dorvan_bench gbench   --root-base DIR [--benchmark_...]  save scaling, idle pass
//   dorvan_bench one      --root-base DIR REQUEST      one request, marked for strace
//   dorvan_bench daemon   --root-base DIR --bin DIR [--requests N]  memory, idle CPU
//   dorvan_bench latency  --root-base DIR --bin DIR [--requests N] [--pickup pass,immediate]
//                                                      through `dorvan`, pickup modes side by side
//   dorvan_bench radio    --root-base DIR [--reps N]   hostapd re-read, restart, passphrase, hidden SSID
//   dorvan_bench smoke                                 a few of each, quickly (ctest)
//
// Results go to standard output as Markdown table rows; whatever the
// handlers print goes to /dev/null.
#include <benchmark/benchmark.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "cfg_framework.h"
#include "daemon.h"
#include "dorvan_store.h"
#include "board_ctl.h"
#include "pipes.h"
#include "radio/radio.h"
#include "wlaccess.h"
#include "wlmgr.h"

extern char **environ;

namespace {

FILE *out = stdout;  // results; stdout itself goes to /dev/null

long long now_ns()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

double pct(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = (size_t)(p / 100.0 * (double)(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

std::string read_all(const std::string &path)
{
    std::string s;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return s;
    char buf[8192];
    ssize_t n;
    while ((n = read(fd, buf, sizeof(buf))) > 0)
        s.append(buf, (size_t)n);
    close(fd);
    return s;
}

void write_all(const std::string &path, const std::string &data, mode_t mode = 0644)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0 || write(fd, data.data(), data.size()) != (ssize_t)data.size()) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(2);
    }
    close(fd);
}

// Inode and change time: a replaced file differs in one of them.
std::string identity_of(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return "";
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec);
}

// --- a private root --------------------------------------------------------

std::string g_root;

std::string rp(const char *abs)
{
    return g_root + abs;
}

// Makes BASE/dorvan-bench-XXXXXX the root; with init, prepares it as the
// daemon's start-up does, in this process.
void make_root(const std::string &base, bool init)
{
    std::string tmpl = base + "/dorvan-bench-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        fprintf(stderr, "mkdtemp in %s: %s\n", base.c_str(), strerror(errno));
        exit(2);
    }
    g_root = buf.data();
    setenv("DORVAN_ROOT", g_root.c_str(), 1);
    setenv("DORVAN_LOG", (g_root + "/log").c_str(), 1);
    unsetenv("DORVAN_TRACE");
    unsetenv("DORVAN_PASS_MS");
    mkdir(rp("/var").c_str(), 0755);
    // Stand-ins first on PATH: nothing here may reach a real nbtscan or nvram.
    std::string stubs = g_root + "/stubs";
    mkdir(stubs.c_str(), 0755);
    for (const char *name : {"nbtscan", "nvram"})
        write_all(stubs + "/" + name, "#!/bin/sh\nexit 0\n", 0755);
    setenv("PATH", (stubs + ":/usr/bin:/bin").c_str(), 1);
    if (init) {
        dorvan_reset_process_state();
        int mdm = -1;
        if (cfgMdm_init(DORVAN_ENTITY_ID, nullptr, &mdm) != 0) {
            fprintf(stderr, "cfgMdm_init failed on %s\n", g_root.c_str());
            exit(2);
        }
    }
    // Peers for the scan view (the daemon's start-up keeps an existing folder).
    for (const char *dir : {"/var/dorvan", DORVAN_RADIO_DIR})
        mkdir(rp(dir).c_str(), 0755);
    write_all(rp(DORVAN_WDS_PEERS_FILE), "00:11:22:33:44:01 PeerOne\n00:11:22:33:44:02 PeerTwo\n");
}

void remove_root()
{
    dorvan_reset_process_state();
    if (!g_root.empty()) {
        std::string cmd = "rm -rf '" + g_root + "'";
        if (system(cmd.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", g_root.c_str());
    }
}

// --- the requests ----------------------------------------------------------

struct Req {
    const char *text;
    bool change;
    const char *prep = nullptr;  // run untimed before each timed request
};

// Every sub-command of the five commands, each a request that succeeds.
const Req kRequests[] = {
    {"wlinterface show", false},
    {"wlinterface enable --interface wl0.1 --wlSsid Guest", true},
    {"wlinterface disable --interface wl0.1", true},
    {"wlsecurity show", false},
    {"wlsecurity wpssetup --interface wl0 --operation addenrollee_PBC", true},
    {"wlsecurity manualsetup --interface wl0 --wlAuthMode psk2 --wlWpaPsk home-pass-2417", true},
    {"wlmacfilter show", false},
    {"wlmacfilter allow --interface wl0", true},
    {"wlmacfilter deny --interface wl0", true},
    {"wlmacfilter disable --interface wl0", true},
    {"wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55", true},
    {"wlmacfilter removemac --interface wl0 --macaddr 00:11:22:33:44:55", true,
     "wlmacfilter addmac --interface wl0 --macaddr 00:11:22:33:44:55"},
    {"wlwds show", false},
    {"wlwds scanwdsmac", false},
    {"wlwds disablerestrict --wlMode ap", true},
    {"wlwds enablerestrict --wlMode wds --wdsmode static --wlWds0 00:11:22:33:44:66", true},
    {"wladv show", false},
    {"wladv config --wlChannel 6 --wlBcnIntvl 100", true},
};
const int kNumRequests = sizeof(kRequests) / sizeof(kRequests[0]);
// The channel check alone (with its store and save), for the channel mode.
const Req kChannelRequest[] = {{"wladv config --wlChannel 6", true}};

// --- in-process exchange ---------------------------------------------------

struct Staged {
    int req_w = -1;
    int req_r = -1;
    int rep_r = -1;
};

// The request waiting in its FIFO and a reader on the reply FIFO, as when a
// front end has handed a request over.
Staged stage(const std::string &request)
{
    Staged s;
    std::string req = rp(REQUEST_PIPE), rep = rp(REPLY_PIPE);
    mkfifo(req.c_str(), 0666);
    mkfifo(rep.c_str(), 0666);
    s.req_r = open(req.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    s.req_w = open(req.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    s.rep_r = open(rep.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (s.req_r < 0 || s.req_w < 0 || s.rep_r < 0 ||
        write(s.req_w, request.c_str(), request.size() + 1) != (ssize_t)request.size() + 1) {
        fprintf(stderr, "cannot stage a request: %s\n", strerror(errno));
        exit(2);
    }
    // Closed, as a front end's: a request is taken once its writer is done.
    close(s.req_w);
    s.req_w = -1;
    return s;
}

std::string unstage(Staged &s)
{
    std::string reply;
    char buf[8192];
    ssize_t n;
    while ((n = read(s.rep_r, buf, sizeof(buf))) > 0)
        reply.append(buf, (size_t)n);
    close(s.rep_r);
    close(s.req_w);
    close(s.req_r);
    unlink(rp(REQUEST_PIPE).c_str());
    return reply;
}

// The view floor: the same bytes through the same FIFOs and nothing else.
void bare_exchange(const std::string &reply)
{
    std::string req = rp(REQUEST_PIPE), rep = rp(REPLY_PIPE);
    char buf[513];
    int fd = open(req.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ssize_t n = read(fd, buf, sizeof(buf) - 1);
    (void)n;
    close(fd);
    unlink(req.c_str());
    fd = open(rep.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    n = write(fd, reply.data(), reply.size());
    close(fd);
}

// The change floor: one atomic, durable replace of a file with these bytes.
void durable_replace(const std::string &path, const std::string &bytes)
{
    std::string tmp = path + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ssize_t n = write(fd, bytes.data(), bytes.size());
    (void)n;
    fsync(fd);
    close(fd);
    rename(tmp.c_str(), path.c_str());
    std::string dir = path.substr(0, path.rfind('/'));
    fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    fsync(fd);
    close(fd);
}

std::string g_base = "/tmp";
std::string g_only;  // only the requests that contain this text

int cmd_service(int reps, const Req *requests = kRequests, int count = kNumRequests)
{
    make_root(g_base, true);
    fprintf(out, "| request | kind | median µs | p90 µs | floor median µs | ratio | target | saves |\n");
    fprintf(out, "|---|---|---:|---:|---:|---:|---:|---|\n");
    int failed = 0;
    for (const Req &r : std::vector<Req>(requests, requests + count)) {
        if (strstr(r.text, g_only.c_str()) == nullptr)
            continue;
        std::vector<double> t, floor_t;
        std::string reply, bad;
        bool saved = false;
        std::string mdm;
        std::string floor_file = rp("/var/dorvan/floor.db");
        // Request and floor alternate, so both meet the same disk and load.
        for (int i = 0; i < reps + 3; i++) {
            if (r.prep != nullptr) {
                Staged p = stage(r.prep);
                process_wlCLI_PIPE();
                unstage(p);
            }
            std::string flash_before = identity_of(rp(DORVAN_FLASH_FILE));
            Staged s = stage(r.text);
            long long t0 = now_ns();
            process_wlCLI_PIPE();
            long long t1 = now_ns();
            std::string got = unstage(s);
            if (i >= 3)  // the first few warm caches
                t.push_back((double)(t1 - t0) / 1000.0);
            if (identity_of(rp(DORVAN_FLASH_FILE)) != flash_before)
                saved = true;
            if (i == 0) {
                reply = got;
                mdm = read_all(rp(DORVAN_MDM_FILE));
            } else if (got != reply) {
                bad = got;
            }
            if (r.change) {
                t0 = now_ns();
                durable_replace(floor_file, mdm);
                t1 = now_ns();
            } else {
                Staged f = stage(r.text);
                t0 = now_ns();
                bare_exchange(reply);
                t1 = now_ns();
                unstage(f);
            }
            if (i >= 3)
                floor_t.push_back((double)(t1 - t0) / 1000.0);
        }
        double med = pct(t, 50), fmed = pct(floor_t, 50);
        double ratio = med / fmed;
        double target = r.change ? 1.5 : 5.0;
        // A reply that is a help keyword or missing means the request was refused.
        bool ok_reply = reply.size() > 12 && reply.back() == '\0' && bad.empty();
        if (!ok_reply || saved != r.change)
            failed++;
        fprintf(out, "| `%s` | %s | %.1f | %.1f | %.1f | %.2f | %s %.1f | %s%s |\n", r.text,
                r.change ? "change" : "view", med, pct(t, 90), fmed, ratio,
                ratio <= target ? "≤" : "**>**", target, saved ? "yes" : "no",
                ok_reply ? "" : " (REPLY WRONG)");
    }
    remove_root();
    return failed == 0 ? 0 : 1;
}

// Runs one request after a marker write (write(-1, "MARK", 4)), so an strace
// of this process can tell the request's system calls from the set-up's.
int cmd_one(const char *request)
{
    make_root(g_base, true);
    Staged s = stage(request);
    ssize_t m = write(-1, "MARK", 4);
    (void)m;
    process_wlCLI_PIPE();
    m = write(-1, "DONE", 4);
    std::string reply = unstage(s);
    fprintf(out, "%s\n", reply.c_str());
    remove_root();
    return 0;
}

// --- Google Benchmark: save scaling and the idle pass ----------------------

// A change's write path with n names added to the working copy.
void BM_Commit(benchmark::State &state)
{
    make_root(g_base, true);
    const int n = (int)state.range(0);
    if (wla_begin("bench", WLA_RELEASE_FIRST) != 0) {
        state.SkipWithError("lock not had");
        return;
    }
    char name[64], value[64];
    for (int i = 0; i < n; i++) {
        snprintf(name, sizeof(name), "benchName%05d", i);
        snprintf(value, sizeof(value), "value-of-setting-%05d", i);
        wlmgr_setVar(name, value);
    }
    for (auto _ : state)
        wla_commit();
    wla_release();
    state.counters["names"] = (double)dorvan_working_copy().vars.size();
    state.counters["bytes"] = (double)read_all(rp(DORVAN_FLASH_FILE)).size();
    state.SetComplexityN(n);
    remove_root();
}
BENCHMARK(BM_Commit)->Arg(100)->Arg(1000)->Arg(10000)->Complexity()->Unit(benchmark::kMicrosecond);

// One main-loop pass with no request and no button held.
void BM_IdlePass(benchmark::State &state)
{
    make_root(g_base, true);
    // Past the first wireless sync (passes 9 and 10), which writes.
    for (int i = 0; i < 20; i++)
        main_loop_pass();
    for (auto _ : state)
        main_loop_pass();
    remove_root();
}
BENCHMARK(BM_IdlePass);

// Its floor: the same system calls on the same files and nothing else.
void BM_IdlePassFloor(benchmark::State &state)
{
    make_root(g_base, true);
    std::string req = rp(REQUEST_PIPE);
    std::string board[3] = {rp(DORVAN_BOARD_DIR "/reset_button"),
                            rp(DORVAN_BOARD_DIR "/wireless_switch"),
                            rp(DORVAN_BOARD_DIR "/wps_button")};
    char buf[64];
    for (auto _ : state) {
        for (const std::string &b : board) {
            int fd = open(b.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            struct stat st;
            benchmark::DoNotOptimize(fstat(fd, &st)); // board files must be regular
            benchmark::DoNotOptimize(read(fd, buf, sizeof(buf)));
            close(fd);
        }
        benchmark::DoNotOptimize(open(req.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    }
    remove_root();
}
BENCHMARK(BM_IdlePassFloor);

// The channel-list query behind `wladv config --wlChannel`, for the stored
// country (US), as the check asks it.
void BM_ChannelQuery(benchmark::State &state)
{
    make_root(g_base, true);
    wlmgr_loadWorkingCopy();
    char a0[] = "", a1[] = "wlChannelList", a2[] = "n", a3[] = "b", a4[] = "20";
    char *argv[] = {a0, a1, a2, a3, a4, nullptr};
    static char result[WLMGR_VAREX_SIZE];
    for (auto _ : state)
        benchmark::DoNotOptimize(wlmgr_getVarEx(5, argv, result));
    remove_root();
}
BENCHMARK(BM_ChannelQuery);

struct Capture : benchmark::ConsoleReporter {
    std::vector<Run> runs;
    void ReportRuns(const std::vector<Run> &r) override
    {
        runs.insert(runs.end(), r.begin(), r.end());
        ConsoleReporter::ReportRuns(r);
    }
};

int cmd_gbench(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    Capture cap;
    cap.SetOutputStream(&std::cerr);
    cap.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&cap);
    fprintf(out, "| benchmark | wall µs | CPU µs | names | bytes |\n|---|---:|---:|---:|---:|\n");
    for (const auto &r : cap.runs) {
        double mul = 1.0;  // to µs
        if (r.time_unit == benchmark::kNanosecond)
            mul = 1e-3;
        else if (r.time_unit == benchmark::kMillisecond)
            mul = 1e3;
        auto c = [&](const char *k) {
            auto it = r.counters.find(k);
            return it == r.counters.end() ? 0.0 : (double)it->second;
        };
        if (r.report_big_o || r.report_rms) {
            fprintf(out, "| %s | %.3g | %.3g | | |\n", r.benchmark_name().c_str(),
                    r.GetAdjustedRealTime(), r.GetAdjustedCPUTime());
            continue;
        }
        fprintf(out, "| %s | %.3f | %.3f | %.0f | %.0f |\n", r.benchmark_name().c_str(),
                r.GetAdjustedRealTime() * mul, r.GetAdjustedCPUTime() * mul, c("names"),
                c("bytes"));
    }
    benchmark::Shutdown();
    return 0;
}

// --- a real daemon ---------------------------------------------------------

pid_t spawn(const std::vector<std::string> &args, const std::vector<std::string> &env_add,
            const std::string &out_file)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; e++)
        env.push_back(*e);
    for (const auto &e : env_add)
        env.push_back(e);
    std::vector<char *> argv, envp;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) != 0) {
        fprintf(stderr, "cannot start %s\n", argv[0]);
        exit(2);
    }
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

long smaps_kb(pid_t pid, const char *field)
{
    std::string s = read_all("/proc/" + std::to_string(pid) + "/smaps_rollup");
    size_t at = s.find(std::string(field) + ":");
    return at == std::string::npos ? -1 : atol(s.c_str() + at + strlen(field) + 1);
}

// CPU time (ns, from schedstat) and voluntary context switches: a pass
// that sleeps once switches once.
void cpu_and_switches(pid_t pid, long long *cpu_ns, long long *switches)
{
    std::string p = "/proc/" + std::to_string(pid);
    *cpu_ns = atoll(read_all(p + "/schedstat").c_str());
    std::string st = read_all(p + "/status");
    size_t at = st.find("voluntary_ctxt_switches:");
    *switches = at == std::string::npos ? 0 : atoll(st.c_str() + at + 24);
}

// Private_Dirty over five samples 100 ms apart, "min-max KB": a sample that
// meets the LAN scan's fork sees pages in flux.
std::string dirty_kb(pid_t pid)
{
    long lo = -1, hi = -1;
    for (int i = 0; i < 5; i++) {
        if (i > 0)
            usleep(100000);
        long v = smaps_kb(pid, "Private_Dirty");
        lo = lo < 0 || v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    return std::to_string(lo) + "-" + std::to_string(hi) + " KB";
}

void on_alarm(int) {}

// One exchange as the front end makes it, but opening the request pipe
// blocking (woken by the daemon's open) instead of retrying every 10 ms,
// so that short passes are not dominated by the retry naps.
std::string exchange(const std::string &request)
{
    std::string req = rp(REQUEST_PIPE), rep = rp(REPLY_PIPE);
    mkfifo(rep.c_str(), 0666);
    int r = open(rep.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    mkfifo(req.c_str(), 0666);
    alarm(5);
    int w = open(req.c_str(), O_WRONLY | O_CLOEXEC);
    alarm(0);
    std::string reply;
    if (w < 0) {
        close(r);
        unlink(req.c_str());
        return reply;
    }
    ssize_t n = write(w, request.c_str(), request.size() + 1);
    (void)n;
    close(w);
    long long deadline = now_ns() + 5000000000LL;
    char buf[8192];
    while (now_ns() < deadline) {
        struct pollfd p = {r, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        n = read(r, buf, sizeof(buf));
        if (n > 0) {
            reply.append(buf, (size_t)n);
            if (reply.back() == '\0')
                break;
        } else {
            usleep(200);
        }
    }
    close(r);
    return reply;
}

std::string g_bin = ".";

int cmd_daemon(int requests)
{
    struct sigaction sa = {};
    sa.sa_handler = on_alarm;
    sigaction(SIGALRM, &sa, nullptr);
    make_root(g_base, false);
    pid_t pid = spawn({g_bin + "/dorvand"}, {"DORVAN_PASS_MS=1"}, g_root + "/dorvand.out");
    // Past start-up, the first wireless sync (pass 10) and the first scan (15).
    usleep(500000);
    std::string start_dirty = dirty_kb(pid);
    long start_rss = smaps_kb(pid, "Rss");
    long long c0, s0, c1, s1;
    cpu_and_switches(pid, &c0, &s0);
    usleep(3000000);
    cpu_and_switches(pid, &c1, &s1);
    double idle_us = (double)(c1 - c0) / 1000.0 / (double)(s1 - s0);
    fprintf(out, "| idle pass CPU (daemon, DORVAN_PASS_MS=1, %lld passes) | %.2f µs |\n", s1 - s0,
            idle_us);
    // Its floor: a process making the same calls, 1 ms sleep included.
    pid_t floor_pid = fork();
    if (floor_pid == 0) {
        const std::string req = rp(REQUEST_PIPE);
        const std::string board[3] = {rp(DORVAN_BOARD_DIR "/reset_button"),
                                      rp(DORVAN_BOARD_DIR "/wireless_switch"),
                                      rp(DORVAN_BOARD_DIR "/wps_button")};
        char buf[64];
        struct timespec nap = {0, 1000000L};
        for (;;) {
            for (const std::string &b : board) {
                int fd = open(b.c_str(), O_RDONLY | O_CLOEXEC);
                if (read(fd, buf, sizeof(buf)) < 0)
                    _exit(1);
                close(fd);
            }
            if (open(req.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC) >= 0)
                _exit(1);
            nanosleep(&nap, nullptr);
        }
    }
    usleep(200000);
    cpu_and_switches(floor_pid, &c0, &s0);
    usleep(3000000);
    cpu_and_switches(floor_pid, &c1, &s1);
    kill(floor_pid, SIGKILL);
    waitpid(floor_pid, nullptr, 0);
    double floor_us = (double)(c1 - c0) / 1000.0 / (double)(s1 - s0);
    fprintf(out, "| its floor: the same calls and 1 ms sleep in a bare loop (%lld passes) | %.2f µs (ratio %.2f) |\n",
            s1 - s0, floor_us, idle_us / floor_us);
    fprintf(out, "| Private_Dirty after start-up (5 samples) | %s |\n| Rss after start-up | %ld KB |\n",
            start_dirty.c_str(), start_rss);
    int failures = 0;
    long long t0 = now_ns();
    for (int i = 1; i <= requests; i++) {
        std::string reply = exchange(kRequests[i % kNumRequests].text);
        if (reply.size() < 12 || reply.back() != '\0') {
            if (failures++ < 5)
                fprintf(stderr, "request %d (%s): reply \"%s\"\n", i,
                        kRequests[i % kNumRequests].text, reply.c_str());
        }
        if (i == 1000 || i == requests / 2 || i == requests)
            fprintf(out, "| Private_Dirty after %d requests (5 samples) | %s |\n", i,
                    dirty_kb(pid).c_str());
    }
    double secs = (double)(now_ns() - t0) / 1e9;
    fprintf(out, "| Rss after %d requests | %ld KB |\n", requests, smaps_kb(pid, "Rss"));
    fprintf(out, "| requests failed / sent | %d / %d (%.1f s) |\n", failures, requests, secs);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    remove_root();
    return failures == 0 ? 0 : 1;
}

// Latency through the real `dorvan` at the daemon's one-second pass, for
// each request pickup mode at once (one child process and root per mode, the
// same random gaps), one table row per mode.
int latency_run(const std::string &mode, int requests)
{
    make_root(g_base, false);
    pid_t pid = spawn({g_bin + "/dorvand"}, {"DORVAN_PICKUP=" + mode}, g_root + "/dorvand.out");
    usleep(300000);
    std::mt19937 rng(2417);
    std::uniform_int_distribution<int> gap_us(0, 999999);
    std::vector<double> lat;
    int failures = 0;
    for (int i = 0; i < requests; i++) {
        usleep((useconds_t)gap_us(rng));
        std::vector<std::string> args = {g_bin + "/dorvan"};
        std::string text = kRequests[i % kNumRequests].text;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t sp = text.find(' ', pos);
            if (sp == std::string::npos)
                sp = text.size();
            args.push_back(text.substr(pos, sp - pos));
            pos = sp + 1;
        }
        long long t0 = now_ns();
        pid_t c = spawn(args, {}, "/dev/null");
        int st = 0;
        waitpid(c, &st, 0);
        lat.push_back((double)(now_ns() - t0) / 1e6);
        if (!WIFEXITED(st) || WEXITSTATUS(st) != 0)
            failures++;
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    remove_root();
    double sum = 0;
    for (double v : lat)
        sum += v;
    fprintf(out, "| %s | %d | %d | %.1f | %.1f | %.1f | %.1f | %.1f |\n", mode.c_str(), requests, failures,
            sum / (double)lat.size(), pct(lat, 50), pct(lat, 90), pct(lat, 99), pct(lat, 100));
    bool met = mode == "immediate" ? pct(lat, 50) < 5.0 && pct(lat, 99) < 20.0 : pct(lat, 100) < 1100.0;
    return failures == 0 && met ? 0 : 1;
}

int cmd_latency(int requests, const std::string &modes)
{
    fprintf(out, "| pickup | requests | failed | mean ms | p50 ms | p90 ms | p99 ms | max ms |\n");
    fprintf(out, "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    std::vector<pid_t> runs;
    for (size_t pos = 0; pos < modes.size();) {
        size_t comma = modes.find(',', pos);
        if (comma == std::string::npos)
            comma = modes.size();
        std::string mode = modes.substr(pos, comma - pos);
        pos = comma + 1;
        pid_t c = fork();
        if (c == 0)
            _exit(latency_run(mode, requests));
        runs.push_back(c);
    }
    int rc = 0;
    for (pid_t c : runs) {
        int st = 0;
        waitpid(c, &st, 0);
        if (!WIFEXITED(st) || WEXITSTATUS(st) != 0)
            rc = 1;
    }
    return rc;
}

// --- radio apply -----------------------------------------------------------

// How long one poll waits for hostapd's answer: a hostapd that is ending
// answers nothing, and a longer wait would be measured as apply time.
const int kPollWaitMs = 1;

// Polls hostapd's control socket until the reply to cmd holds want.
bool hostapd_shows(const char *ifname, const char *cmd, const std::string &want, double seconds)
{
    long long end = now_ns() + (long long)(seconds * 1e9);
    std::string reply;
    while (now_ns() < end) {
        if (radio_request(ifname, cmd, &reply, kPollWaitMs) == 0 && reply.find(want) != std::string::npos)
            return true;
        usleep(500);
    }
    return false;
}

pid_t start_hostapd(const std::string &conf)
{
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open("/dev/null", O_WRONLY);
        dup2(fd, 1);
        dup2(fd, 2);
        execl("/usr/sbin/hostapd", "hostapd", conf.c_str(), (char *)nullptr);
        _exit(127);
    }
    return pid;
}

void replace_file(const std::string &path, const std::string &bytes)
{
    write_all(path + ".tmp", bytes, 0600);
    rename((path + ".tmp").c_str(), path.c_str());
}

std::string with_line(std::string conf, const std::string &key, const std::string &value)
{
    size_t p = conf.find("\n" + key + "=");
    size_t e = conf.find('\n', p + 1);
    return conf.replace(p + 1, e - p - 1, key + "=" + value);
}

// From the request being read to hostapd showing the change, through the
// real handler, store and radio backend (this process owns the radio);
// against the floor of hostapd told directly: SIGHUP, or stop and start,
// on a file with the same change.
int cmd_radio(int reps)
{
    if (access("/usr/sbin/hostapd", X_OK) != 0) {
        fprintf(stderr, "no /usr/sbin/hostapd\n");
        return 2;
    }
    setenv("DORVAN_RADIO", "hostapd", 1);
    setenv("DORVAN_HOSTAPD_DRIVER", "none", 1);
    setenv("DORVAN_RADIO_IFNAME", "dvb0", 1);
    make_root(g_base, true);
    int sw = 0;
    boardCtl_getWirelessPWRStatus(&sw);  // the first pass starts hostapd
    if (!hostapd_shows("dvb0", "STATUS", "state=ENABLED", 15)) {
        fprintf(stderr, "hostapd did not come up\n");
        return 2;
    }
    // A started hostapd is signalled only once a pass has seen it answer,
    // as the daemon's next pass would.
    boardCtl_getWirelessPWRStatus(&sw);
    std::vector<double> reread, restart, reread_floor, restart_floor, psk, psk_floor, beacon, beacon_floor;
    auto serve = [](const std::string &req) {
        Staged s = stage(req);
        long long t0 = now_ns();
        process_wlCLI_PIPE();
        unstage(s);
        return t0;
    };
    int failed = 0;
    // A restart starts the new hostapd at the pass after the old one ended:
    // passes run back to back here, as a daemon's next pass would.
    auto passes_until = [&](const char *cmd, const std::string &want) {
        long long end = now_ns() + 15000000000LL;
        std::string reply;
        while (now_ns() < end) {
            boardCtl_getWirelessPWRStatus(&sw);
            if (radio_request("dvb0", cmd, &reply, kPollWaitMs) == 0 && reply.find(want) != std::string::npos)
                return true;
            usleep(500);
        }
        return false;
    };
    for (int i = 0; i < reps; i++) {
        std::string ssid = "bench-" + std::to_string(i);
        long long t0 = serve("wlinterface enable --interface wl0 --wlSsid " + ssid);
        failed += !hostapd_shows("dvb0", "GET_CONFIG", "ssid=" + ssid + "\n", 5);
        reread.push_back((double)(now_ns() - t0) / 1e6);
        // Taken on the BSS within the store: done when the reply is.
        t0 = serve("wlsecurity manualsetup --interface wl0 --wlAuthMode psk2 --wlWpaPsk bench-pass-" + std::to_string(i));
        psk.push_back((double)(now_ns() - t0) / 1e6);
        wlmgr_setVar("wlHide_wl0v0", i % 2 == 0 ? "1" : "0");
        t0 = now_ns();
        wlmgr_storeWorkingCopy();
        beacon.push_back((double)(now_ns() - t0) / 1e6);
        std::string ch = i % 2 == 0 ? "11" : "1";
        t0 = serve("wladv config --wlChannel " + ch);
        failed += !passes_until("STATUS", "\nchannel=" + ch + "\n");
        restart.push_back((double)(now_ns() - t0) / 1e6);
        passes_until("STATUS", "state=ENABLED");
        boardCtl_getWirelessPWRStatus(&sw);
    }
    // The floor: the same file, hostapd of our own, no dorvand in between.
    std::string conf = read_all(rp("/var/dorvan/radio/hostapd.conf"));
    serve("wlinterface disable --interface wl0");
    conf = with_line(conf, "interface", "dvf0");
    std::string path = rp("/var/dorvan/radio/floor.conf");
    replace_file(path, conf);
    pid_t h = start_hostapd(path);
    hostapd_shows("dvf0", "STATUS", "state=ENABLED", 15);
    for (int i = 0; i < reps; i++) {
        std::string ssid = "floor-" + std::to_string(i);
        long long t0 = now_ns();
        replace_file(path, conf = with_line(conf, "ssid", ssid));
        kill(h, SIGHUP);
        failed += !hostapd_shows("dvf0", "GET_CONFIG", "ssid=" + ssid + "\n", 5);
        reread_floor.push_back((double)(now_ns() - t0) / 1e6);
        // The same file change and hostapd's own commands for it.
        std::string reply, pass = "floor-pass-" + std::to_string(i);
        t0 = now_ns();
        replace_file(path, conf = with_line(conf, "wpa_passphrase", pass));
        failed += radio_request("dvf0", ("SET wpa_passphrase " + pass).c_str(), &reply, 200) != 0 ||
                  radio_request("dvf0", "RELOAD_WPA_PSK", &reply, 200) != 0 || reply.compare(0, 2, "OK") != 0;
        psk_floor.push_back((double)(now_ns() - t0) / 1e6);
        const char *hide = i % 2 == 0 ? "1" : "0";
        t0 = now_ns();
        replace_file(path, conf = with_line(conf, "ignore_broadcast_ssid", hide));
        failed += radio_request("dvf0", (std::string("SET ignore_broadcast_ssid ") + hide).c_str(), &reply, 200) != 0 ||
                  radio_request("dvf0", "UPDATE_BEACON", &reply, 200) != 0 || reply.compare(0, 2, "OK") != 0;
        beacon_floor.push_back((double)(now_ns() - t0) / 1e6);
        std::string ch = i % 2 == 0 ? "1" : "11";
        t0 = now_ns();
        replace_file(path, conf = with_line(conf, "channel", ch));
        kill(h, SIGTERM);
        waitpid(h, nullptr, 0);
        h = start_hostapd(path);
        failed += !hostapd_shows("dvf0", "STATUS", "\nchannel=" + ch + "\n", 15);
        restart_floor.push_back((double)(now_ns() - t0) / 1e6);
        hostapd_shows("dvf0", "STATUS", "state=ENABLED", 15);
    }
    kill(h, SIGTERM);
    waitpid(h, nullptr, 0);
    remove_root();
    fprintf(out, "| path | runs | median ms | p90 ms | floor median ms | floor p90 ms | ratio | target |\n");
    fprintf(out, "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    double r1 = pct(reread, 50) / pct(reread_floor, 50), r2 = pct(restart, 50) / pct(restart_floor, 50);
    fprintf(out, "| re-read (new SSID) | %d | %.2f | %.2f | %.2f | %.2f | %.2f | <= 1.2 |\n", reps,
            pct(reread, 50), pct(reread, 90), pct(reread_floor, 50), pct(reread_floor, 90), r1);
    fprintf(out, "| restart (new channel) | %d | %.2f | %.2f | %.2f | %.2f | %.2f | <= 1.2 |\n", reps,
            pct(restart, 50), pct(restart, 90), pct(restart_floor, 50), pct(restart_floor, 90), r2);
    fprintf(out, "| passphrase (SET, RELOAD_WPA_PSK) | %d | %.2f | %.2f | %.2f | %.2f | %.2f | <= 1.2 |\n", reps,
            pct(psk, 50), pct(psk, 90), pct(psk_floor, 50), pct(psk_floor, 90), pct(psk, 50) / pct(psk_floor, 50));
    fprintf(out, "| hidden SSID (SET, UPDATE_BEACON) | %d | %.2f | %.2f | %.2f | %.2f | %.2f | <= 1.2 |\n", reps,
            pct(beacon, 50), pct(beacon, 90), pct(beacon_floor, 50), pct(beacon_floor, 90),
            pct(beacon, 50) / pct(beacon_floor, 50));
    if (failed != 0)
        fprintf(out, "%d changes not seen\n", failed);
    return failed == 0 ? 0 : 1;
}

int usage()
{
    fprintf(stderr, "usage: dorvan_bench service|channel|gbench|one|daemon|latency|radio|smoke "
                    "[--root-base DIR] [--bin DIR] [--reps N] [--only TEXT] [--requests N] [--pickup MODE,...] [REQUEST]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    std::string mode = argv[1];
    std::string pickup = "pass";
    int reps = 200, requests = 10000;
    std::vector<char *> rest = {argv[0]};
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--root-base" && i + 1 < argc)
            g_base = argv[++i];
        else if (a == "--bin" && i + 1 < argc)
            g_bin = argv[++i];
        else if (a == "--only" && i + 1 < argc)
            g_only = argv[++i];
        else if (a == "--pickup" && i + 1 < argc)
            pickup = argv[++i];
        else if (a == "--reps" && i + 1 < argc)
            reps = atoi(argv[++i]);
        else if (a == "--requests" && i + 1 < argc)
            requests = atoi(argv[++i]);
        else
            rest.push_back(argv[i]);
    }
    // Keep the results apart from what the handlers print.
    int res = dup(STDOUT_FILENO);
    out = fdopen(res, "w");
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 2;
    setvbuf(out, nullptr, _IOLBF, 0);
    int rc;
    if (mode == "service")
        rc = cmd_service(reps);
    else if (mode == "channel")
        rc = cmd_service(reps, kChannelRequest, 1);
    else if (mode == "gbench")
        rc = cmd_gbench((int)rest.size(), rest.data());
    else if (mode == "one" && rest.size() == 2)
        rc = cmd_one(rest[1]);
    else if (mode == "daemon")
        rc = cmd_daemon(requests);
    else if (mode == "latency")
        rc = cmd_latency(requests, pickup);
    else if (mode == "radio")
        rc = cmd_radio(reps);
    else if (mode == "smoke")
        rc = cmd_service(2);
    else
        return usage();
    fclose(out);
    return rc;
}
