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

int request(const std::string &ctrlDir, const std::string &ifname, const char *cmd,
            std::string *reply, int timeoutMs)
{
    reply->clear();
    struct sockaddr_un local;
    struct sockaddr_un remote;
    // Hidden name: never taken for an interface's socket.
    std::string self = ctrlDir + "/.dorvan-" + std::to_string((long)getpid()) + "-" +
                       std::to_string(g_seq++);
    if (!fill(&local, self) || !fill(&remote, ctrlDir + "/" + ifname))
        return -1;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    unlink(self.c_str());
    int rc = -1;
    int64_t deadline = monotonic_ms() + timeoutMs;
    if (bind(fd, (struct sockaddr *)&local, sizeof(local)) == 0) {
        if (connect(fd, (struct sockaddr *)&remote, sizeof(remote)) == 0 &&
            send(fd, cmd, strlen(cmd), 0) == (ssize_t)strlen(cmd)) {
            rc = kSentNoReply;
            char buf[4096];
            for (;;) {
                int64_t left = deadline - monotonic_ms();
                if (left <= 0)
                    break;
                struct pollfd p = {fd, POLLIN, 0};
                int r = poll(&p, 1, (int)left);
                if (r < 0 && errno == EINTR)
                    continue;
                if (r <= 0)
                    break;
                ssize_t n = recv(fd, buf, sizeof(buf), 0);
                if (n < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                if (n < 0)
                    break;
                // Unsolicited events start with '<'; we never attach, but
                // skip them rather than take one for the reply.
                if (n > 0 && buf[0] == '<')
                    continue;
                reply->assign(buf, (size_t)n);
                rc = 0;
                break;
            }
        }
        unlink(self.c_str());
    }
    close(fd);
    return rc;
}

} // namespace radio
} // namespace dplat
