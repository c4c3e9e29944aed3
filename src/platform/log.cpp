// Logger and event trace.
#include "cfg_framework.h"
#include "platform_internal.h"
#include "private_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>


namespace {

int g_level = CFG_LOG_ERR;

// Appends one complete line (a trace line may hold a passphrase: a file
// made here is the owner's only) with a single write() so that concurrent
// writers never interleave inside a line.
void append_line(const char *file, const char *data, size_t n)
{
    // Callers report errno after logging what went wrong.
    int saved = errno;
    int fd = -1;
    // O_NONBLOCK: a FIFO there that nobody reads (or that is full) must not
    // hold the daemon; its line goes to standard error (or is dropped).
    if (file != nullptr && file[0] != '\0')
        fd = open_private(file, O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    int out = fd >= 0 ? fd : STDERR_FILENO;
    while (n > 0) {
        ssize_t w = write(out, data, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        data += w;
        n -= (size_t)w;
    }
    if (fd >= 0)
        close(fd);
    errno = saved;
}

} // namespace

extern "C" {

void cfgLog_init(int entityId)
{
    (void)entityId;
}

void cfgLog_setLevel(int level)
{
    g_level = level;
}

void log_log(int level, const char *func, int line, const char *fmt, ...)
{
    if (level > g_level)
        return;
    char msg[1024];
    msg[0] = '\0';
    if (fmt != nullptr) {
        va_list ap;
        va_start(ap, fmt);
        if (vsnprintf(msg, sizeof(msg), fmt, ap) < 0)
            msg[0] = '\0';
        va_end(ap);
    }
    size_t mlen = strlen(msg);
    if (mlen > 0 && msg[mlen - 1] == '\n')
        msg[--mlen] = '\0';

    char buf[sizeof(msg) + 160];
    int h = snprintf(buf, sizeof(buf), "dorvand[%d] %.120s:%d: ", level,
                     func ? func : "?", line);
    if (h < 0)
        return;
    size_t len = (size_t)h;
    size_t room = sizeof(buf) - 1 - len; // keep one byte for '\n'
    if (mlen > room)
        mlen = room;
    memcpy(buf + len, msg, mlen);
    len += mlen;
    buf[len++] = '\n';
    append_line(getenv("DORVAN_LOG"), buf, len);
}

} // extern "C"

namespace dplat {

void escape_field(const char *s, size_t n, std::string *out)
{
    static const char hex[] = "0123456789abcdef";
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)s[i];
        if (c == '\\') {
            out->append("\\\\");
        } else if (c == '\t') {
            out->append("\\t");
        } else if (c == '\n') {
            out->append("\\n");
        } else if (c < 0x20) {
            char e[4] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
            out->append(e, 4);
        } else {
            out->push_back((char)c);
        }
    }
}

void trace(const char *event, const char *a, const char *b)
{
    // Re-read every time: the environment may change between events.
    const char *file = getenv("DORVAN_TRACE");
    if (file == nullptr || file[0] == '\0')
        return;
    std::string line(event);
    for (const char *f : {a, b}) {
        if (f == nullptr)
            break;
        line.push_back('\t');
        escape_field(f, strlen(f), &line);
    }
    line.push_back('\n');
    append_line(file, line.data(), line.size());
}

} // namespace dplat
