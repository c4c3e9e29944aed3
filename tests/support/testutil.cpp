#include "testutil.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "cfg_framework.h"
#include "dorvan_store.h"
#include "frontend.h"
#include "pipes.h"
#include "wlmgr.h"

namespace dt {

namespace {

// The environment as it was before the root; every DORVAN_* knob is unset
// while the root lives unless the root or the test sets it.
std::vector<std::string> saved_env;

long now_ms()
{
    using namespace std::chrono;
    return (long)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// fn on a freshly loaded working copy, under the lock and with tracing off,
// so the trace shows only the code under test.
template <typename F> void untraced(const char *who, F fn)
{
    const char *t = getenv("DORVAN_TRACE");
    std::string saved = t ? t : "";
    unsetenv("DORVAN_TRACE");
    if (cfgLck_acquireLockWithTimeoutTraced(who, 5) != 0)
        abort();
    wlmgr_loadWorkingCopy();
    fn();
    cfgLck_releaseLockTraced(who);
    if (t)
        setenv("DORVAN_TRACE", saved.c_str(), 1);
}

int open_reply_reader()
{
    char path[512];
    snprintf(path, sizeof(path), "%s%s", getenv("DORVAN_ROOT"), REPLY_PIPE);
    mkfifo(path, 0666);
    return open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// SIGKILL, as a crash would, and the exit status into *status.
void kill_and_reap(pid_t &pid, int *status)
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, status, 0);
        pid = -1;
    }
}

// "{TEXT*N}" stands for N copies of TEXT and a backslash-n for a line
// feed: long generated values and whole files in one line.
std::string expand(std::string line)
{
    static const std::regex rep("\\{([^{}*]+)\\*([0-9]+)\\}");
    for (std::smatch m; std::regex_search(line, m, rep);) {
        std::string copies;
        for (int k = std::stoi(m[2]); k > 0; k--)
            copies += m[1];
        line.replace((size_t)m.position(), (size_t)m.length(), copies);
    }
    for (size_t k = 0; (k = line.find("\\n", k)) != std::string::npos; k++)
        line.replace(k, 2, "\n");
    return line;
}

}  // namespace

void seed(const std::vector<std::pair<std::string, std::string>> &values)
{
    untraced("test-seed", [&] {
        for (const auto &kv : values)
            if (wlmgr_setVar(kv.first.c_str(), kv.second.c_str()) != 0)
                fprintf(stderr, "seed: %s refused\n", kv.first.c_str());
        wlmgr_storeWorkingCopy();
        cfgMgm_saveConfigToFlash();
    });
}

std::string stored(const std::string &name)
{
    char value[WLMGR_VALUE_SIZE] = "";
    untraced("test-read", [&] { wlmgr_getVar(name.c_str(), value); });
    return value;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write_file(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

Lines lines(const std::string &text)
{
    Lines out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TempRoot::TempRoot(bool bare, bool tmpfs)
{
    saved_env.clear();
    for (char **e = environ; *e; e++)
        saved_env.push_back(*e);
    for (const auto &kv : saved_env)
        if (kv.compare(0, 7, "DORVAN_") == 0)
            unsetenv(kv.substr(0, kv.find('=')).c_str());
    std::string tmpl = tmpfs && access("/dev/shm", W_OK) == 0 ? "/dev/shm/dorvan-test-XXXXXX" : "/tmp/dorvan-test-XXXXXX";
    path_ = mkdtemp(&tmpl[0]);
    setenv("DORVAN_ROOT", path_.c_str(), 1);
    setenv("DORVAN_TRACE", file("trace").c_str(), 1);
    setenv("DORVAN_LOG", file("log").c_str(), 1);
    dorvan_reset_process_state();
    if (bare)
        return;
    mkdir(file("var").c_str(), 0755);
    int mdm = -1;
    cfgMdm_init(14, nullptr, &mdm);
}

TempRoot::~TempRoot()
{
    dorvan_reset_process_state();
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    clearenv();
    for (const auto &kv : saved_env)
        setenv(kv.substr(0, kv.find('=')).c_str(), kv.c_str() + kv.find('=') + 1, 1);
}

std::string run_request(const std::string &text)
{
    int fd = open_reply_reader();
    std::string request = text.substr(0, 512);  // what process_wlCLI_PIPE hands on, NUL-ended
    cli_dispatch(&request[0]);
    return read_reply(fd, 0);  // sent already, if at all
}

std::string stdout_of(const std::function<void()> &fn)
{
    ::testing::internal::CaptureStdout();
    fn();
    return ::testing::internal::GetCapturedStdout();
}

LockHolder::LockHolder()
{
    if ((pid_ = fork()) == 0) {
        unsetenv("DORVAN_TRACE");
        if (cfgLck_acquireLockWithTimeoutTraced("test-holder", 5) != 0)
            _exit(1);
        for (;;)
            raise(SIGSTOP);  // stopped: the lock is held
    }
    int st = 0;
    if (waitpid(pid_, &st, WUNTRACED) != pid_ || !WIFSTOPPED(st)) {
        fprintf(stderr, "LockHolder: the lock was not taken\n");
        pid_ = -1;
    }
}

void LockHolder::kill_now() { kill_and_reap(pid_, nullptr); }

void install_stubs(const TempRoot &root, const std::vector<std::string> &names)
{
    std::string dir = root.file("stubs");
    mkdir(dir.c_str(), 0755);
    for (const auto &name : names) {
        std::string path = dir + "/" + name;
        write_file(path, "#!/bin/sh\necho \"" + name + " $*\" >> '" + root.file("stubs.log") +
                             "'\nexit 0\n");
        chmod(path.c_str(), 0755);
    }
    setenv("PATH", (dir + ":/usr/local/bin:/usr/bin:/bin").c_str(), 1);
}

int run_golden(const std::string &file)
{
    std::ifstream in(std::string(DORVAN_SOURCE_DIR) + "/tests/golden/" + file);
    EXPECT_TRUE(in.good()) << file;
    auto root = std::make_unique<TempRoot>();
    std::unique_ptr<LockHolder> holder;
    std::string line, request, reply, out, logged, want_text, want_out;
    Lines trace;
    int lineno = 0, request_line = 0, exchanges = 0;
    bool pending = false, given = false, none = false, partial = false;
    // The last request's reply and standard output against the lines given.
    auto finish = [&] {
        if (!pending)
            return;
        std::string at = file + ":" + std::to_string(request_line) + ": " + request;
        EXPECT_TRUE(given) << at << ": no reply given";
        EXPECT_EQ(reply, partial ? reply : none ? "" : R(want_text)) << at;
        EXPECT_EQ(out, want_out) << at;
        pending = false;
    };
    while (std::getline(in, line)) {
        lineno++;
        line = expand(line);
        std::string at = file + ":" + std::to_string(lineno);
        if (line.empty() || line[0] == '#')
            continue;
        size_t sp = line.find(' ');
        std::string verb = line.substr(0, sp), rest = sp == std::string::npos ? "" : line.substr(sp + 1);
        size_t sp2 = rest.find(' ');
        std::string name = rest.substr(0, sp2), value = sp2 == std::string::npos ? "" : rest.substr(sp2 + 1);
        if (verb == ">") {
            finish();
            request = rest, request_line = lineno, want_text = want_out = "";
            pending = true, given = none = partial = false;
            root->clear_trace();
            size_t log_size = root->log().size();
            out = stdout_of([&] { reply = run_request(request); });
            trace = root->trace();
            logged = root->log().substr(log_size);
            exchanges++;
            continue;
        }
        if (std::string(" @fresh @seed @peers @locked @unlocked @regdb ").find(" " + verb + " ") != std::string::npos)
            finish();
        else if (verb != "@stored" && !pending)
            ADD_FAILURE() << at << ": no request before " << verb;
        if (verb == "<" || verb == "<=") {
            EXPECT_FALSE(none) << at;
            want_text += verb == "<" ? rest + "\n" : rest;
            given = true;
        } else if (verb == "<*" || verb == "<!") {
            // One line of a long reply: there whole, or no line starts so.
            bool there = ("\n" + reply).find("\n" + rest + (verb == "<*" ? "\n" : "")) != std::string::npos;
            EXPECT_EQ(there, verb == "<*") << at << ": reply was: " << reply;
            given = partial = true;
        } else if (verb == "<none>") {
            EXPECT_FALSE(given) << at;
            given = none = true;
        } else if (verb == "@stdout") {
            want_out += rest + "\n";
        } else if (verb == "@sets" || verb == "@nosave") {
            // One command under NAME setting VALUE's name=value words, then
            // storing and saving when it wrote and @sets.
            Lines want{"lock\t" + name, "load"};
            std::istringstream writes(value);
            for (std::string w; writes >> w;)
                want.push_back("set\t" + w.substr(0, w.find('=')) + "\t" + w.substr(w.find('=') + 1));
            if (verb == "@sets" && want.size() > 2)
                want.insert(want.end(), {"store", "save"});
            want.push_back("unlock\t" + name);
            EXPECT_EQ(trace, want) << at;
        } else if (verb == "@untraced") {
            EXPECT_EQ(trace, Lines{}) << at;
        } else if (verb == "@log") {
            EXPECT_NE(logged.find(rest + "\n"), std::string::npos) << at << ": log was: " << logged;
        } else if (verb == "@stored") {
            EXPECT_EQ(stored(name), value) << at;
        } else if (verb == "@seed") {
            seed({{name, value}});
        } else if (verb == "@locked" || verb == "@unlocked") {
            holder.reset(verb == "@locked" ? new LockHolder : nullptr);
        } else if (verb == "@regdb") {
            setenv("DORVAN_REGDB", (std::string(DORVAN_SOURCE_DIR) + "/tests/golden/" + rest).c_str(), 1);
        } else if (verb == "@fresh") {
            root.reset();
            root = std::make_unique<TempRoot>();
        } else if (verb == "@peers") {
            write_file(root->file("var/dorvan/radio/wds_peers"), rest);
        } else {
            ADD_FAILURE() << at << " not understood: " << line;
        }
    }
    finish();
    return exchanges;
}

size_t occurrences(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size())
        n++;
    return n;
}

std::vector<double> pass_times(const Daemon &d, size_t n)
{
    auto held = [&] { return occurrences(d.out(), "wps_button_cnt="); };
    std::vector<double> at;
    const size_t before = held();
    const long start = now_ms();
    while (at.size() < n && now_ms() - start < 3000 + 2000 * (long)n) {
        for (size_t seen = held() - before; at.size() < seen && at.size() < n;)
            at.push_back((now_ms() - start) / 1000.0);
        usleep(2000);
    }
    return at;
}

double wait_for(const std::function<bool()> &ok, double seconds)
{
    long start = now_ms();
    while (!ok()) {
        if (now_ms() - start > seconds * 1000)
            return -1;
        usleep(10000);
    }
    return (now_ms() - start) / 1000.0;
}

int run(const std::string &cmdline, std::string *out)
{
    FILE *p = popen(cmdline.c_str(), "r");
    if (!p)
        return -1;
    std::string sink, &s = out ? *out : sink;
    s.clear();
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof(buf), p)) > 0;)
        s.append(buf, n);
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

FrontEndRun front_end(const std::string &args, const std::string &prefix)
{
    FrontEndRun r;
    r.status = run(prefix + " " + bin("dorvan") + " " + args + " 2>&1", &r.said);
    return r;
}

Daemon::Daemon(const TempRoot &root, const std::vector<std::string> &args,
               const std::vector<std::string> &prefix)
    : root_(root)
{
    std::vector<std::string> all(prefix);
    all.push_back(bin("dorvand"));
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    // Never let a test daemon reach a real nbtscan or nvram.
    if (!exists(root.file("stubs/nbtscan")))
        install_stubs(root, {"nvram", "nbtscan"});
    pid_ = fork();
    if (pid_ == 0) {
        int o = open(root.file("dorvand.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int e = open(root.file("dorvand.err").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(o, STDOUT_FILENO);
        dup2(e, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

bool Daemon::alive()
{
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_)
        pid_ = -1;
    return pid_ > 0;
}

int Daemon::wait_exit(int timeout_ms)
{
    if (wait_for([&] { return !alive(); }, timeout_ms / 1000.0) < 0)
        return -1;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

void Daemon::kill_now() { kill_and_reap(pid_, &status_); }

std::string ask(const std::string &request, int timeout_ms)
{
    std::string reply, error, bytes = R(request);
    fe_result r = fe_exchange(bytes.data(), bytes.size(), timeout_ms, &reply, &error);
    return r == FE_OK ? reply : r == FE_NO_REPLY ? "<timeout>" : "<error: " + error + ">";
}

std::string raw_exchange(const std::string &request_bytes, int timeout_ms)
{
    int rfd = open_reply_reader();
    std::string req = getenv("DORVAN_ROOT") + std::string(REQUEST_PIPE);
    mkfifo(req.c_str(), 0666);
    long deadline = now_ms() + timeout_ms;
    int wfd = -1;
    if (wait_for([&] { return (wfd = open(req.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; },
                 timeout_ms / 1000.0) < 0)
        return close(rfd), "";
    if (!request_bytes.empty() &&
        write(wfd, request_bytes.data(), request_bytes.size()) != (ssize_t)request_bytes.size())
        fprintf(stderr, "raw_exchange: short write\n");
    close(wfd);
    return read_reply(rfd, (int)(deadline - now_ms()));
}

std::string read_reply(int fd, int timeout_ms)
{
    std::string out;
    char buf[8192];
    wait_for([&] {
        ssize_t n = read(fd, buf, sizeof(buf));
        out.append(buf, n > 0 ? n : 0);
        return !out.empty() && out.back() == '\0';
    }, timeout_ms / 1000.0);
    close(fd);
    return out;
}

}  // namespace dt
