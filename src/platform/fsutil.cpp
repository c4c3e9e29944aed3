// File helpers: root-relative paths, atomic replacement, whole-file reads.
#include "cfg_framework.h"
#include "platform_internal.h"
#include "private_file.h"
#include "rootpath.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace dplat {

namespace {

void file_id_of(const struct stat &st, FileId *id)
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
const char kTmpTag[] = ".tmp.";

std::string temp_name(const std::string &path)
{
    return path + kTmpTag + std::to_string((long)getpid());
}

std::string dir_name(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}


int fsync_dir(const std::string &dir)
{
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int rc = fsync(fd);
    close(fd);
    return rc;
}

// Writes a fresh temp file, synced when durable, and reports its identity.
int write_temp(const std::string &tmp, const std::string &data, FileId *id, mode_t mode,
              bool durable)
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = open(tmp.c_str(), flags, mode);
    if (fd < 0 && errno == EEXIST) {
        // A stale temp file of a dead process with our pid may have another mode.
        unlink(tmp.c_str());
        fd = open(tmp.c_str(), flags, mode);
    }
    if (fd < 0 && errno == ENOENT && make_dirs(dir_name(tmp)) == 0)
        fd = open(tmp.c_str(), flags, mode);
    if (fd < 0)
        return -1;
    struct stat st;
    // The umask only narrows open()'s mode: a secret must never be wider,
    // a public file never narrower.
    if (fchmod(fd, mode) != 0 || give_to_owner(fd, tmp.c_str()) != 0 ||
        write_fully(fd, data.data(), data.size()) != 0 ||
        (durable && fsync(fd) != 0) || (id != nullptr && fstat(fd, &st) != 0)) {
        int e = errno;
        close(fd);
        unlink(tmp.c_str());
        errno = e;
        return -1;
    }
    close(fd);
    if (id != nullptr)
        file_id_of(st, id);
    return 0;
}

} // namespace

int write_fully(int fd, const char *p, size_t n)
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

std::string root_path(const char *abs)
{
    char buf[DORVAN_PATH_MAX];
    if (rootpath_make(buf, sizeof(buf), abs) != 0)
        return std::string();
    return std::string(buf);
}

int make_dirs(const std::string &path)
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
        if (make_folder(cur.c_str(), 0755) != 0 && errno != EEXIST)
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

bool same_file(const FileId &a, const FileId &b)
{
    return a.valid && b.valid && a.dev == b.dev && a.ino == b.ino &&
           a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec;
}

int stat_file_id(const std::string &path, FileId *id, mode_t *mode)
{
    struct stat st;
    id->valid = false;
    if (stat(path.c_str(), &st) != 0)
        return -1;
    file_id_of(st, id);
    if (mode != nullptr)
        *mode = st.st_mode;
    return 0;
}

int write_file_atomic(const std::string &path, const std::string &data, FileId *id,
                    mode_t mode, bool durable)
{
    std::string tmp = temp_name(path);
    if (data.size() > kStoreFileMax) {
        // Loading would refuse it: never write what cannot be read back.
        log_log(CFG_LOG_ERR, __func__, __LINE__, "not writing %s: %zu bytes, more than %zu",
                path.c_str(), data.size(), kStoreFileMax);
        errno = EFBIG;
        return -1;
    }
    if (write_temp(tmp, data, id, mode, durable) != 0) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot write %s: %s",
                tmp.c_str(), strerror(errno));
        return -1;
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        int e = errno;
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot rename %s: %s",
                tmp.c_str(), strerror(e));
        unlink(tmp.c_str());
        errno = e;
        return -1;
    }
    // Without this the rename itself may be lost on power failure.
    if (durable && fsync_dir(dir_name(path)) != 0)
        log_log(CFG_LOG_ERR, __func__, __LINE__, "cannot sync directory of %s: %s",
                path.c_str(), strerror(errno));
    return 0;
}

int create_file_if_missing(const std::string &path, const std::string &data, mode_t mode)
{
    // Every start-up asks: a file that is there costs one lstat, no syncs.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0)
        return 0;
    std::string tmp = temp_name(path);
    if (write_temp(tmp, data, nullptr, mode, true) != 0)
        return -1;
    // link() refuses to replace: a file someone else wrote meanwhile wins.
    int rc = link(tmp.c_str(), path.c_str());
    int e = errno;
    unlink(tmp.c_str());
    if (rc != 0 && e != EEXIST) {
        errno = e;
        return -1;
    }
    fsync_dir(dir_name(path));
    return 0;
}

int open_regular(const std::string &path, struct stat *st)
{
    // O_NONBLOCK: a FIFO planted here must not hold the caller in open().
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int e = fstat(fd, st) != 0 ? errno : S_ISREG(st->st_mode) ? 0 : kNotRegular;
    if (e != 0) {
        close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

const char *read_failure(int err)
{
    return err == kNotRegular ? "not a regular file" : strerror(err);
}

bool note_failure(FailNote *note, int err)
{
    bool changed = note->err != err;
    note->err = err;
    return changed && err != 0;
}

int read_whole_file(const std::string &path, std::string *out, FileId *id, size_t limit)
{
    out->clear();
    struct stat st;
    int fd = open_regular(path, &st);
    if (fd < 0)
        return -1;
    int err = 0;
    if ((uint64_t)st.st_size > limit) {
        err = EFBIG;
    } else {
        // One byte beyond the size seen, so a file that grew meanwhile is
        // noticed; never more than limit + 1 in all.
        out->resize((size_t)st.st_size + 1);
        size_t got = 0;
        for (;;) {
            ssize_t r = read(fd, &(*out)[got], out->size() - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                err = errno;
                break;
            }
            got += (size_t)r;
            if (r == 0 || got < out->size())
                break;
            if (got > limit) {
                err = EFBIG;
                break;
            }
            out->resize(std::min(got * 2, limit + 1));
        }
        out->resize(got);
    }
    close(fd);
    if (err != 0) {
        out->clear();
        errno = err;
        return -1;
    }
    if (id != nullptr)
        file_id_of(st, id);
    return 0;
}

ssize_t read_small_file(const char *path, char *buf, size_t size)
{
    if (size == 0) {
        errno = EFBIG;
        return -1;
    }
    buf[0] = '\0';
    struct stat st;
    int fd = open_regular(path, &st);
    if (fd < 0)
        return -1;
    ssize_t n;
    // One read: a regular file reads short only at its end.
    while ((n = read(fd, buf, size - 1)) < 0 && errno == EINTR) {
    }
    int e = n < 0 ? errno : (size_t)n == size - 1 ? EFBIG : 0;
    close(fd);
    if (e != 0) {
        buf[0] = '\0';
        errno = e;
        return -1;
    }
    buf[n] = '\0';
    return n;
}

void remove_stray_temps(const std::string &dir)
{
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
        if (pid != (long)getpid() && (kill((pid_t)pid, 0) == 0 || errno == EPERM))
            continue;
        std::string full = dir + "/" + e->d_name;
        if (unlink(full.c_str()) == 0)
            log_log(CFG_LOG_NOTICE, __func__, __LINE__, "removed stray %s",
                    full.c_str());
    }
    closedir(d);
}

bool equals_no_case(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool printable_ascii(const std::string &s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

std::vector<std::string> split_lines(const std::string &text)
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
