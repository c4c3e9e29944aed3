// gpio source: one line of a GPIO character device (uAPI v2), requested
// once as an input; each pass asks for its value.
#include "board_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/gpio.h>

namespace dplat {
namespace board {

int gpio_request(const char *chip, const Entry &e)
{
    int fd = open(chip, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct gpio_v2_line_request req;
    memset(&req, 0, sizeof(req));
    req.offsets[0] = e.code;
    req.num_lines = 1;
    strncpy(req.consumer, "dorvand", sizeof(req.consumer) - 1);
    // The kernel applies active-low, so other tools see the same wiring.
    req.config.flags = GPIO_V2_LINE_FLAG_INPUT | (e.activeLow ? GPIO_V2_LINE_FLAG_ACTIVE_LOW : 0);
    int rc = ioctl(fd, GPIO_V2_GET_LINE_IOCTL, &req);
    int err = errno;
    close(fd);
    if (rc < 0) {
        errno = err;
        return -1;
    }
    // The line fd is the one kept: shells we start must not inherit it.
    if (fcntl(req.fd, F_SETFD, FD_CLOEXEC) != 0) {
        err = errno;
        close(req.fd);
        errno = err;
        return -1;
    }
    return req.fd;
}

int gpio_level(int fd, int *level)
{
    struct gpio_v2_line_values v;
    memset(&v, 0, sizeof(v));
    v.mask = 1;
    if (ioctl(fd, GPIO_V2_LINE_GET_VALUES_IOCTL, &v) < 0)
        return errno;
    *level = (int)(v.bits & 1);
    return 0;
}

} // namespace board
} // namespace dplat
