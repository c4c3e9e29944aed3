// File helpers: root-relative paths, atomic replacement, whole-file reads.
#include "cfg_framework.h"
#include "platform_internal.h"
#include "rootpath.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace dplat {

namespace {

void fileIdOf(const struct stat &st, FileId *id)
{
    id->valid = true;
    id->dev = st.st_dev;
    id->ino = st.st_ino;
    id->size = st.st_size;
    id->mtime = st.st_mtim;
}

} // namespace

namespace {

// Writers in one process share the temp name "<file>.tmp.<pid>".
std::mutex g_writeMutex;

const char kTmpTag[] = ".tmp.";

// 0 until asked, and again in a forked child.
std::atomic<pid_t> g_pid{0};

std::string tempName(const std::string &path)
{
    return path + kTmpTag + std::to_string((long)selfPid());
}

std::string dirName(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

int writeAll(int fd, const char *p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

int fsyncDir(const std::string &dir)
{
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int rc = fsync(fd);
    close(fd);
    return rc;
}

// Writes a fresh temp file, synced when durable, and reports its identity.
int writeTemp(const std::string &tmp, const std::string &data, FileId *id, mode_t mode,
              bool durable)
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = open(tmp.c_str(), flags, mode);
    if (fd < 0 && errno == EEXIST) {
        // A stale temp file of a dead process with our pid may have another mode.
        unlink(tmp.c_str());
        fd = open(tmp.c_str(), flags, mode);
    }
    if (fd < 0 && errno == ENOENT && makeDirs(dirName(tmp)) == 0)
        fd = open(tmp.c_str(), flags, mode);
    if (fd < 0)
        return -1;
    struct stat st;
    if (writeAll(fd, data.data(), data.size()) != 0 || (durable && fsync(fd) != 0) ||
        (id != nullptr && fstat(fd, &st) != 0)) {
        int e = errno;
        close(fd);
        unlink(tmp.c_str());
        errno = e;
        return -1;
    }
    close(fd);
    if (id != nullptr)
        fileIdOf(st, id);
    return 0;
}

} // namespace

pid_t selfPid()
{
    // getpid() is a system call; the daemon asks on every lock and write.
    static int registered = pthread_atfork(nullptr, nullptr, [] { g_pid.store(0); });
    (void)registered;
    pid_t p = g_pid.load(std::memory_order_relaxed);
    if (p == 0) {
        p = getpid();
        g_pid.store(p, std::memory_order_relaxed);
    }
    return p;
}

std::string rootPath(const char *abs)
{
    char buf[DORVAN_PATH_MAX];
    if (rootpath_make(buf, sizeof(buf), abs) != 0)
        return std::string();
    return std::string(buf);
}

int makeDirs(const std::string &path)
{
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    std::string cur;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        cur = path.substr(0, next);
        pos = next + 1;
        if (cur.empty())
            continue;
        if (mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST)
            return -1;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return -1;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    return 0;
}

bool sameFile(const FileId &a, const FileId &b)
{
    return a.valid && b.valid && a.dev == b.dev && a.ino == b.ino &&
           a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec;
}

int statFileId(const std::string &path, FileId *id)
{
    struct stat st;
    id->valid = false;
    if (stat(path.c_str(), &st) != 0)
        return -1;
    fileIdOf(st, id);
    return 0;
}

int writeFileAtomic(const std::string &path, const std::string &data, FileId *id,
                    mode_t mode, bool durable)
{
    std::lock_guard<std::mutex> guard(g_writeMutex);
    std::string tmp = tempName(path);
    if (writeTemp(tmp, data, id, mode, durable) != 0) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot write %s: %s",
                tmp.c_str(), strerror(errno));
        return -1;
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot rename %s: %s",
                tmp.c_str(), strerror(errno));
        unlink(tmp.c_str());
        return -1;
    }
    // Without this the rename itself may be lost on power failure.
    if (durable && fsyncDir(dirName(path)) != 0)
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot sync directory of %s: %s",
                path.c_str(), strerror(errno));
    return 0;
}

int createFileIfMissing(const std::string &path, const std::string &data, mode_t mode)
{
    // Every start-up asks: a file that is there costs one lstat, no syncs.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0)
        return 0;
    std::lock_guard<std::mutex> guard(g_writeMutex);
    std::string tmp = tempName(path);
    if (writeTemp(tmp, data, nullptr, mode, true) != 0)
        return -1;
    // link() refuses to replace: a file someone else wrote meanwhile wins.
    int rc = link(tmp.c_str(), path.c_str());
    int e = errno;
    unlink(tmp.c_str());
    if (rc != 0 && e != EEXIST) {
        errno = e;
        return -1;
    }
    fsyncDir(dirName(path));
    return 0;
}

int readFile(const std::string &path, std::string *out, FileId *id, size_t sizeHint)
{
    out->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // A store file larger than this is not ours.
    const size_t kMax = 64UL * 1024 * 1024;
    struct stat st;
    if (id != nullptr) {
        if (fstat(fd, &st) != 0) {
            int e = errno;
            close(fd);
            errno = e;
            return -1;
        }
        if ((size_t)st.st_size > kMax) {
            close(fd);
            errno = EFBIG;
            return -1;
        }
        sizeHint = (size_t)st.st_size;
    }
    // Room beyond the expected size, so one short read shows the end.
    out->resize(std::min(sizeHint, kMax) + 4096);
    size_t got = 0;
    for (;;) {
        ssize_t r = read(fd, &(*out)[got], out->size() - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            int e = errno;
            close(fd);
            out->clear();
            errno = e;
            return -1;
        }
        got += (size_t)r;
        // A regular file reads short only at its end.
        if (r == 0 || got < out->size())
            break;
        if (got > kMax) {
            close(fd);
            out->clear();
            errno = EFBIG;
            return -1;
        }
        out->resize(got * 2);
    }
    out->resize(got);
    close(fd);
    if (id != nullptr)
        fileIdOf(st, id);
    return 0;
}

void removeStrayTemps(const std::string &dir)
{
    std::lock_guard<std::mutex> guard(g_writeMutex);
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    while (struct dirent *e = readdir(d)) {
        const char *tag = strstr(e->d_name, kTmpTag);
        if (tag == nullptr || tag == e->d_name)
            continue;
        const char *digits = tag + sizeof(kTmpTag) - 1;
        char *end = nullptr;
        errno = 0;
        long pid = strtol(digits, &end, 10);
        bool ours = end != digits && *end == '\0' && errno == 0 && pid > 0;
        if (!ours)
            continue;
        // A writer that still runs owns its temp file.
        if (pid != (long)selfPid() && (kill((pid_t)pid, 0) == 0 || errno == EPERM))
            continue;
        std::string full = dir + "/" + e->d_name;
        if (unlink(full.c_str()) == 0)
            log_log(CFG_LOG_NOTICE, __func__, __LINE__, "removed stray %s",
                    full.c_str());
    }
    closedir(d);
}

int64_t monotonicMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

bool equalsNoCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool printableAscii(const std::string &s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> out;
    size_t p = 0;
    while (p < text.size()) {
        size_t nl = text.find('\n', p);
        if (nl == std::string::npos)
            nl = text.size();
        out.push_back(text.substr(p, nl - p));
        p = nl + 1;
    }
    return out;
}

} // namespace dplat
