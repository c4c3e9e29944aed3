// Key and switch bitmaps as the kernel lays them out in memory, built here
// byte by byte for this CPU's byte order, read back through the platform's
// bit logic. Plain main(): the cross runs build just this file.
#include "bits.h"

#include <linux/input.h>

#include <stdio.h>
#include <string.h>

using dplat::board::bitmap_bit;
using dplat::board::bitmap_words;

// Where the kernel's store of bit `code` lands: word code / bits-per-long,
// and within the word's bytes the order of the CPU.
static void setKernelBit(unsigned long *bits, unsigned code)
{
    const size_t L = sizeof(unsigned long), word = code / (8 * L), inWord = code % (8 * L);
    const size_t byte = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? L - 1 - inWord / 8 : inWord / 8;
    ((unsigned char *)bits)[word * L + byte] |= (unsigned char)(1u << (inWord % 8));
}

int main()
{
    const size_t kWords = bitmap_words(KEY_MAX);
    unsigned long bits[kWords], sw[bitmap_words(SW_MAX)] = {};
    int failures = 0;
    // Every code alone: it reads set, every other code clear.
    for (unsigned code = 0; code <= KEY_MAX; code++) {
        memset(bits, 0, sizeof(bits));
        setKernelBit(bits, code);
        for (unsigned other = 0; other <= KEY_MAX; other++)
            failures += bitmap_bit(bits, kWords, (long)sizeof(bits), other) != (other == code);
    }
    setKernelBit(sw, SW_RFKILL_ALL);
    failures += bitmap_bit(sw, bitmap_words(SW_MAX), (long)sizeof(sw), SW_RFKILL_ALL) != 1;
    failures += bitmap_bit(sw, bitmap_words(SW_MAX), (long)sizeof(sw), (unsigned)(8 * sizeof(sw))) != -1;
    // Fewer bytes than asked for: what was not copied is not known.
    setKernelBit(bits, 63);
    setKernelBit(bits, 64);
    failures += bitmap_bit(bits, kWords, 8, 63) != 1;
    failures += bitmap_bit(bits, kWords, 8, 64) != -1;
    failures += bitmap_bit(bits, kWords, 0, 0) != -1;
    failures += bitmap_bit(bits, kWords, -1, 0) != -1;
    printf("%s: %d failure(s), %zu-bit words, %s-endian\n", failures ? "FAIL" : "ok", failures,
           8 * sizeof(unsigned long), __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? "big" : "little");
    return failures ? 1 : 0;
}
