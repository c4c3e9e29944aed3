// Inside the board seam: the map of inputs and the three kinds of source.
#ifndef DORVAN_BOARD_INTERNAL_H
#define DORVAN_BOARD_INTERNAL_H

#include "board.h"

#include <string>

namespace dplat {
namespace board {

#define DORVAN_BOARD_CONF "/etc/dorvan/board.conf"
// A larger map is refused whole (ample for three lines and their comments).
const size_t kBoardConfMax = 65536;

enum class Source { File, Evdev, Gpio, Broken };

struct Entry {
    Source source = Source::File;
    bool raw = false;       // a default board file: its value is the status word
    bool activeLow = false;
    bool switchCode = false; // evdev: an EV_SW code, else EV_KEY
    unsigned code = 0;      // evdev code or GPIO line offset
    int line = 0;           // where board.conf gave it; 0 for the defaults
    std::string where;      // as written
    std::string what;       // as written ("-" for files)
    std::string path;       // where, under the root
    std::string why;        // Broken: the reason, for dorvan-cfg
};

extern const char *const kInputNames[kNumInputs];

// Failures that have no errno of their own.
const int kNotRegular = -2;
const int kNotDecimal = -3;
const int kShortBitmap = -4;
const int kBadEntry = -5;
const char *failure_text(int err);

// The three files under var/dorvan/board.
void default_entries(Entry out[kNumInputs]);
// Applies board.conf's text over out; each bad line is logged with file
// and line number, and the input it names (if any) becomes Broken.
void parse_board_conf(const char *file, const std::string &text, Entry out[kNumInputs]);

// file: the decimal value; 0 or an error code.
int file_value(const char *path, long *value);
// evdev: open (fd or -1, errno set), then 0 or an error code and *level
// 1 for a key down / switch bit set.
int evdev_open(const char *path);
int evdev_level(int fd, const Entry &e, int *level);
// gpio: the line request (line fd or -1, errno set), then 0 or an error
// code and *level 1 for active.
int gpio_request(const char *chip, const Entry &e);
int gpio_level(int fd, int *level);

} // namespace board
} // namespace dplat

#endif
