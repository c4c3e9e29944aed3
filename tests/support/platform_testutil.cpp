#include "platform_testutil.h"

#include "dorvan_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace ptest {

namespace {

const char *const kKnobs[] = {"DORVAN_TRACE", "DORVAN_LOG", "DORVAN_FAIL",
                              "DORVAN_LOCK_WAIT_MS", "DORVAN_NO_REEXEC"};

void drain(int fd, std::string *out)
{
    char buf[4096];
    ssize_t r;
    while ((r = read(fd, buf, sizeof(buf))) > 0)
        out->append(buf, (size_t)r);
}

} // namespace

void TempRoot::SetUp()
{
    const char *tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/dorvan-plat-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    root_ = buf.data();
    setenv("DORVAN_ROOT", root_.c_str(), 1);
    for (const char *k : kKnobs)
        unsetenv(k);
    dorvan_resetProcessState();
}

void TempRoot::TearDown()
{
    dorvan_resetProcessState();
    for (const char *k : kKnobs)
        unsetenv(k);
    unsetenv("DORVAN_ROOT");
    if (!root_.empty())
        removeTree(root_);
}

bool readText(const std::string &path, std::string *out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
    return true;
}

std::string readText(const std::string &path)
{
    std::string s;
    readText(path, &s);
    return s;
}

void writeText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> v;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            v.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        v.push_back(cur);
    return v;
}

void removeTree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR *d = opendir(path.c_str())) {
            while (struct dirent *e = readdir(d)) {
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                    removeTree(path + "/" + e->d_name);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::string randomBytes(std::mt19937 &rng, size_t minLen, size_t maxLen)
{
    std::uniform_int_distribution<size_t> len(minLen, maxLen);
    std::uniform_int_distribution<int> byte(1, 255);
    std::string s(len(rng), '\0');
    for (char &c : s)
        c = (char)byte(rng);
    return s;
}

RunResult run(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
    RunResult res;
    int outp[2], errp[2];
    if (pipe2(outp, O_CLOEXEC) != 0 || pipe2(errp, O_CLOEXEC) != 0)
        return res;
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outp[1], 1);
        dup2(errp[1], 2);
        for (const auto &e : env)
            putenv(const_cast<char *>(e.c_str()));
        execv(args[0], args.data());
        _exit(127);
    }
    close(outp[1]);
    close(errp[1]);
    // Outputs are small; reading one after the other cannot block the child.
    drain(outp[0], &res.out);
    drain(errp[0], &res.err);
    close(outp[0]);
    close(errp[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    res.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return res;
}

} // namespace ptest
