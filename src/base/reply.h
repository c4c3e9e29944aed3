// The one reply buffer and its bounded builder. Handlers only build the
// reply; the dispatcher sends it, once.
#ifndef DORVAN_REPLY_H
#define DORVAN_REPLY_H

#include "protocol.h"

extern char sendbuf[SENDBUF_SIZE];

// Empties sendbuf.
void reply_clear(void);
// Replaces sendbuf with a fixed text. Returns 0, or -1 if it does not fit
// (sendbuf is then empty).
int reply_set(const char *text);
// Appends printf-style at the end of sendbuf. All or nothing: when the text
// does not fit, sendbuf keeps what it had and -1 is returned, so a reply
// never ends with half an entry.
int reply_append(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
