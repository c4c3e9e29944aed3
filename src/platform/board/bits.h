// Reading the bitmaps the input layer hands out. Kept free of everything
// else so that the cross runs can check it on their own.
#ifndef DORVAN_BOARD_BITS_H
#define DORVAN_BOARD_BITS_H

#include <stddef.h>

namespace dplat {
namespace board {

const unsigned kBitsPerWord = 8 * sizeof(unsigned long);

// Words a bitmap needs for codes 0..maxCode.
constexpr size_t bitmap_words(unsigned maxCode)
{
    return maxCode / kBitsPerWord + 1;
}

// Bit `code` of a bitmap filled by EVIOCGKEY or EVIOCGSW. The kernel copies
// an array of unsigned long in the CPU's byte order, so the bit lives in
// word code / kBitsPerWord: byte code / 8 is another bit on big-endian
// boards. got is what the ioctl returned (bytes written). 1 set, 0 clear,
// -1 when the kernel did not deliver that word.
inline int bitmap_bit(const unsigned long *bits, size_t words, long got, unsigned code)
{
    size_t w = code / kBitsPerWord;
    if (w >= words || got < 0 || (unsigned long)got < (w + 1) * sizeof(unsigned long))
        return -1;
    return (int)((bits[w] >> (code % kBitsPerWord)) & 1UL);
}

} // namespace board
} // namespace dplat

#endif
