// evdev source: a gpio-keys input device, asked for its key or switch state
// each pass (no events are read, so none can be missed or pile up).
#include "bits.h"
#include "board_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>

#include <linux/input.h>

namespace dplat {
namespace board {

int evdev_open(const char *path)
{
    // Non-blocking: something planted at the path must not hold the loop.
    return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

int evdev_level(int fd, const Entry &e, int *level)
{
    // Room for every key code; the switch map is far smaller.
    unsigned long bits[bitmap_words(KEY_MAX)];
    memset(bits, 0, sizeof(bits));
    int got = e.switchCode ? ioctl(fd, EVIOCGSW(sizeof(bits)), bits)
                           : ioctl(fd, EVIOCGKEY(sizeof(bits)), bits);
    if (got < 0)
        return errno;
    int bit = bitmap_bit(bits, bitmap_words(KEY_MAX), got, e.code);
    if (bit < 0)
        return kShortBitmap;
    *level = bit;
    return 0;
}

} // namespace board
} // namespace dplat
