// hostapd's control socket: a datagram socket bound to our own name in the
// control folder, one request, one reply, a deadline on both.
#include "radio_internal.h"
#include "platform_internal.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>


namespace dplat {
namespace radio {

namespace {

unsigned g_seq = 0;

bool fill(struct sockaddr_un *a, const std::string &path)
{
    memset(a, 0, sizeof(*a));
    a->sun_family = AF_UNIX;
    if (path.size() >= sizeof(a->sun_path))
        return false;
    memcpy(a->sun_path, path.data(), path.size());
    return true;
}

} // namespace

int open_client(const std::string &ctrlDir, const std::string &ifname, std::string *self)
{
    struct sockaddr_un local;
    struct sockaddr_un remote;
    // Hidden name: never taken for an interface's socket.
    *self = ctrlDir + "/.dorvan-" + std::to_string((long)getpid()) + "-" + std::to_string(g_seq++);
    if (!fill(&local, *self) || !fill(&remote, ctrlDir + "/" + ifname)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    // The kernel tells each datagram's sender: a socket planted under the
    // interface's name is told from hostapd's own.
    int on = 1;
    unlink(self->c_str());
    if (setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof(on)) != 0 ||
        bind(fd, (struct sockaddr *)&local, sizeof(local)) != 0) {
        int e = errno;
        close(fd);
        errno = e;
        return -1;
    }
    if (connect(fd, (struct sockaddr *)&remote, sizeof(remote)) != 0) {
        int e = errno;
        close_client(fd, *self);
        errno = e;
        return -1;
    }
    return fd;
}

void close_client(int fd, const std::string &self)
{
    unlink(self.c_str());
    close(fd);
}

ssize_t receive(int fd, char *buf, size_t size, pid_t *sender)
{
    struct iovec iov = {buf, size};
    union {
        struct cmsghdr h;
        char b[CMSG_SPACE(sizeof(struct ucred))];
    } cm;
    struct msghdr mh;
    memset(&mh, 0, sizeof(mh));
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    mh.msg_control = &cm;
    mh.msg_controllen = sizeof(cm);
    ssize_t n = recvmsg(fd, &mh, MSG_DONTWAIT);
    *sender = -1;
    for (struct cmsghdr *c = n >= 0 ? CMSG_FIRSTHDR(&mh) : nullptr; c != nullptr; c = CMSG_NXTHDR(&mh, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
            struct ucred u;
            memcpy(&u, CMSG_DATA(c), sizeof(u));
            *sender = u.pid;
        }
    return n;
}

int exchange(int fd, const char *cmd, std::string *reply, int timeoutMs, pid_t *sender)
{
    reply->clear();
    *sender = -1;
    if (send(fd, cmd, strlen(cmd), 0) != (ssize_t)strlen(cmd))
        return -1;
    int64_t deadline = monotonic_ms() + timeoutMs;
    char buf[4096];
    for (;;) {
        int64_t left = deadline - monotonic_ms();
        if (left <= 0)
            return kSentNoReply;
        struct pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, (int)left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return kSentNoReply;
        ssize_t n = receive(fd, buf, sizeof(buf), sender);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0)
            return kSentNoReply;
        // Unsolicited events start with '<': never taken for the reply.
        if (n > 0 && buf[0] == '<')
            continue;
        reply->assign(buf, (size_t)n);
        return 0;
    }
}

int request(const std::string &ctrlDir, const std::string &ifname, const char *cmd,
            std::string *reply, int timeoutMs, pid_t *sender)
{
    pid_t from = -1;
    reply->clear();
    std::string self;
    int fd = open_client(ctrlDir, ifname, &self);
    if (fd < 0)
        return -1;
    int rc = exchange(fd, cmd, reply, timeoutMs, &from);
    int e = errno;
    close_client(fd, self);
    errno = e;
    if (sender != nullptr)
        *sender = from;
    return rc;
}

} // namespace radio
} // namespace dplat
