// Test support: private roots, the reply pipe, stdout capture, lock holders
// and a real dorvand process.
#ifndef DORVAN_TESTUTIL_H
#define DORVAN_TESTUTIL_H

#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace dt {

using Lines = std::vector<std::string>;

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &data);
bool exists(const std::string &path);
Lines lines(const std::string &text);  // split at line feeds, none kept

// A private DORVAN_ROOT with DORVAN_TRACE and DORVAN_LOG inside it, every other
// DORVAN_* knob unset and, unless bare, prepared like the daemon's start-up
// does. On tmpfs when asked and there is one (many quick writes, no real
// fsyncs). Restores the environment on destruction.
class TempRoot {
public:
    explicit TempRoot(bool bare = false, bool tmpfs = false);
    ~TempRoot();
    TempRoot(const TempRoot &) = delete;
    TempRoot &operator=(const TempRoot &) = delete;

    const std::string &path() const { return path_; }
    // rel with or without its leading '/'.
    std::string file(const std::string &rel) const
    {
        return path_ + (rel.compare(0, 1, "/") == 0 ? "" : "/") + rel;
    }
    Lines trace() const { return lines(read_file(file("trace"))); }
    void clear_trace() const { unlink(file("trace").c_str()); }
    std::string log() const { return read_file(file("log")); }  // the logger's lines
    // Writes a board input file under var/dorvan/board.
    void board(const std::string &name, const std::string &value) const
    {
        write_file(file("var/dorvan/board/" + name), value + "\n");
    }

private:
    std::string path_;
};

// Sets names in the data model and flash (lock, load, set, store, save),
// without tracing, as a provisioning step before the code under test runs.
void seed(const std::vector<std::pair<std::string, std::string>> &values);
// A value as stored in the data model now ("" when unset).
std::string stored(const std::string &name);


// The reply as sent: its text and the NUL. An empty result means no reply.
inline std::string R(const std::string &text) { return text + std::string(1, '\0'); }

// Runs one request through the dispatcher (as process_wlCLI_PIPE would after
// reading it) with a reader on the reply pipe; returns every byte sent.
std::string run_request(const std::string &text);

// What fn writes to standard output.
std::string stdout_of(const std::function<void()> &fn);

// Another process holding the configuration lock until destroyed.
class LockHolder {
public:
    LockHolder();
    ~LockHolder() { kill_now(); }
    void kill_now();  // SIGKILL, as a crashing holder

private:
    pid_t pid_ = -1;
};

// Executables written as stub programs on PATH; each records its arguments,
// one call a line, into <root>/stubs.log.
void install_stubs(const TempRoot &root, const std::vector<std::string> &names);
inline Lines stub_calls(const TempRoot &root) { return lines(read_file(root.file("stubs.log"))); }

// A real dorvand on the root, stdout/stderr into root files, with stub
// nvram and nbtscan first on PATH; prefix, if given, is the command line that
// runs it (another user, a private mount namespace).
class Daemon {
public:
    // prefix: a command the daemon runs under (setpriv, unshare, ...).
    explicit Daemon(const TempRoot &root, const std::vector<std::string> &args = {},
                    const std::vector<std::string> &prefix = {});
    ~Daemon() { kill_now(); }
    pid_t pid() const { return pid_; }
    bool alive();
    // Waits for exit; returns the exit status, or -1 on timeout.
    int wait_exit(int timeout_ms);
    void kill_now();
    std::string out() const { return read_file(root_.file("dorvand.out")); }

private:
    const TempRoot &root_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// One exchange through the front-end library: the request and its NUL.
// Returns the reply text, or "<timeout>" / "<error: ...>".
std::string ask(const std::string &request, int timeout_ms = 6000);
// The exchange done by hand: a reader on the reply pipe first, then the
// request pipe created and the bytes written; returns every reply byte (NUL
// included), or "" when none came within timeout_ms.
std::string raw_exchange(const std::string &request_bytes, int timeout_ms = 6000);
// Reads fd (non-blocking) until a reply's NUL or the timeout; closes fd.
std::string read_reply(int fd, int timeout_ms);

// Runs the golden transcript DORVAN_SOURCE_DIR/tests/golden/<file> (its
// little language is described at the top of each file) with gtest
// expectations; returns how many requests it ran.
int run_golden(const std::string &file);

size_t occurrences(const std::string &text, const std::string &what);
// How many of lines are line; whether text holds line as a whole line.
inline size_t count_line(const Lines &lines, const std::string &line) { return (size_t)std::count(lines.begin(), lines.end(), line); }
inline bool has_line(const std::string &text, const std::string &line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}
// A daemon whose WPS button is held prints one counter line a pass: when
// each of its next n passes showed up (seconds from the call), fewer when
// they stop coming.
std::vector<double> pass_times(const Daemon &d, size_t n);

// Polls ok until it holds, for at most `seconds`; returns the seconds it
// took, or -1 when it never held.
double wait_for(const std::function<bool()> &ok, double seconds);

// Path of a built executable.
inline std::string bin(const std::string &name) { return std::string(DORVAN_BIN_DIR) + "/" + name; }
// The dorvan front end run as a user would, prefix (a tracer) in front: exit
// status, standard output followed by standard error.
struct FrontEndRun {
    int status;
    std::string said;
};
FrontEndRun front_end(const std::string &args, const std::string &prefix = "");
// Runs a command line with /bin/sh, returns exit status; output into *out.
int run(const std::string &cmdline, std::string *out = nullptr);

// A root whose daemons pick requests up in the mode the test is instantiated
// with: "pass" (once a pass) or "immediate".
class PickupTest : public ::testing::TestWithParam<const char *> {
protected:
    PickupTest() { setenv("DORVAN_PICKUP", GetParam(), 1); }
    TempRoot root;
};

}  // namespace dt

// Runs every TEST_P of suite in both pickup modes (names end in /pass,
// /immediate).
#define DT_IN_BOTH_PICKUP_MODES(suite)                                                     \
    INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values("pass", "immediate"),              \
                             [](const ::testing::TestParamInfo<const char *> &i) {         \
                                 return std::string(i.param);                              \
                             })

#endif
