// The board seam: where the three inputs are read from. The rest of the
// platform includes only this from board/.
#ifndef DORVAN_BOARD_H
#define DORVAN_BOARD_H

#include <string>

namespace dplat {
namespace board {

enum Input { kReset, kSwitch, kWps, kNumInputs };

// Status word as board control returns it (0: held / on); 0, or -1 with
// *status untouched.
int read_input(Input in, int *status);
// One line per input: NAME SOURCE WHERE WHAT POLARITY STATE; -1 when any
// input failed to read.
int report(std::string *out);
// Closes the devices and forgets the map (a process that changes root).
void forget();

} // namespace board
} // namespace dplat

#endif
