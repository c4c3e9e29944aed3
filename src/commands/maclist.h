// Helpers shared by the wlmacfilter and wlwds commands.
#ifndef DORVAN_MACLIST_H
#define DORVAN_MACLIST_H

#include <stddef.h>

#include "reply.h"

// Longest entry a list view appends: as long as the reply itself, so that
// an entry that fits the reply is never dropped for its length.
#define MACLIST_ENTRY_SIZE SENDBUF_SIZE
// A list line ends in a blank and a line feed.
#define MACLIST_LINE_END " \n"
#define MACLIST_LINE_END_SIZE 2

// Appends one whole entry to the reply only when `reserve` more bytes still
// fit after it, so a long list stops at its last whole entry and the line
// can still be ended. Returns 0, or -1 when nothing was appended.
int maclist_append(size_t reserve, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

#endif
