// Key and switch bitmaps as the kernel lays them out in memory, built here
// byte by byte for this CPU's byte order, read back through the platform's
// bit logic. Plain main(): the cross runs build just this file.
#include "bits.h"

#include <linux/input.h>

#include <stdio.h>
#include <string.h>

using dplat::board::bitmapBit;
using dplat::board::bitmapWords;

namespace {

const size_t kWords = bitmapWords(KEY_MAX);
int g_failures = 0;

void check(bool ok, const char *what, unsigned code)
{
    if (!ok && g_failures++ < 20)
        fprintf(stderr, "FAIL: %s (code %u)\n", what, code);
}

// Where the kernel's store of bit `code` lands: word code / bits-per-long,
// and within the word's bytes the order of the CPU.
void setKernelBit(unsigned long *bits, unsigned code)
{
    const size_t L = sizeof(unsigned long);
    size_t word = code / (8 * L), inWord = code % (8 * L);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    size_t byte = word * L + (L - 1 - inWord / 8);
#else
    size_t byte = word * L + inWord / 8;
#endif
    ((unsigned char *)bits)[byte] |= (unsigned char)(1u << (inWord % 8));
}

} // namespace

int main()
{
    unsigned long bits[kWords];
    const long full = (long)sizeof(bits);
    // Every code alone: it reads set, its neighbours and far bits clear.
    for (unsigned code = 0; code <= KEY_MAX; code++) {
        memset(bits, 0, sizeof(bits));
        setKernelBit(bits, code);
        check(bitmapBit(bits, kWords, full, code) == 1, "set bit not seen", code);
        for (unsigned other = 0; other <= KEY_MAX; other++)
            if (other != code && bitmapBit(bits, kWords, full, other) != 0)
                check(false, "clear bit seen as set", other);
    }
    // The codes boards use, together, as gpio-keys reports them.
    memset(bits, 0, sizeof(bits));
    const unsigned down[] = {63, 64, KEY_RESTART, KEY_WPS_BUTTON, KEY_RFKILL};
    for (unsigned c : down)
        setKernelBit(bits, c);
    for (unsigned c : down)
        check(bitmapBit(bits, kWords, full, c) == 1, "board key not seen", c);
    const unsigned up[] = {62, 65, KEY_RESTART - 1, KEY_RESTART + 1, KEY_WPS_BUTTON + 1};
    for (unsigned c : up)
        check(bitmapBit(bits, kWords, full, c) == 0, "neighbour seen", c);
    unsigned long sw[bitmapWords(SW_MAX)] = {};
    setKernelBit(sw, SW_RFKILL_ALL);
    check(bitmapBit(sw, bitmapWords(SW_MAX), (long)sizeof(sw), SW_RFKILL_ALL) == 1, "switch bit", SW_RFKILL_ALL);
    const unsigned past = (unsigned)(8 * sizeof(sw));
    check(bitmapBit(sw, bitmapWords(SW_MAX), (long)sizeof(sw), past) == -1, "past the switch map", past);
    // Fewer bytes than asked for: what was not copied is not known.
    check(bitmapBit(bits, kWords, 8, 63) == 1, "63 within 8 bytes", 63);
    check(bitmapBit(bits, kWords, 8, 64) == -1, "64 beyond 8 bytes", 64);
    check(bitmapBit(bits, kWords, 0, 0) == -1, "nothing copied", 0);
    check(bitmapBit(bits, kWords, -1, 0) == -1, "failed ioctl", 0);
    printf("%s: %d failure(s), %zu-bit words, %s-endian\n", g_failures ? "FAIL" : "ok", g_failures,
           8 * sizeof(unsigned long), __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? "big" : "little");
    return g_failures ? 1 : 0;
}
