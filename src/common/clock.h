// The one clock: every duration the daemon and the platform wait is a share
// of the pass. The pass is 1000 ms; DORVAN_PASS_MS (1 to 999) shortens it,
// and everything below with it, so tests run the same logic at short passes.
#ifndef DORVAN_CLOCK_H
#define DORVAN_CLOCK_H

#include <stdint.h>

// NAME, thousandths of a pass (milliseconds at the default pass), floor in
// ms. A floor keeps a wait on another process (a front end, a lock holder,
// hostapd) long enough for it however short the pass; where the floor is
// the figure itself, that wait does not shrink at all.
#define DORVAN_SPANS(X)                                                     \
    X(SPAN_PASS, 1000, 0)                                                   \
    /* LAN scan: every 360th pass, the first on pass 15 */                  \
    X(SPAN_SCAN_PERIOD, 360000, 0)                                          \
    X(SPAN_SCAN_FIRST, 15000, 0)                                            \
    /* the configuration lock's default wait, and the second its API's */ \
    /* timeouts count (the scan's 15 tries of 2, dorvan-cfg's 5) */         \
    X(SPAN_LOCK_WAIT, 250, 250)                                             \
    X(SPAN_LOCK_SECOND, 1000, 100)                                          \
    /* a request pipe without data is stale; a reply waits for a reader */  \
    X(SPAN_REQUEST_WAIT, 2000, 500)                                         \
    X(SPAN_REPLY_WAIT, 5000, 500)                                           \
    /* a failed board device is reopened after 1 s, doubling to 30 s */     \
    X(SPAN_BOARD_RETRY, 1000, 0)                                            \
    X(SPAN_BOARD_RETRY_MAX, 30000, 0)                                       \
    /* hostapd restarts after 1 s, doubling to 60 s, reset by a minute's */ \
    /* run; an unwritten configuration is tried again likewise */           \
    X(SPAN_HOSTAPD_BACKOFF, 1000, 0)                                        \
    X(SPAN_HOSTAPD_BACKOFF_MAX, 60000, 0)                                   \
    X(SPAN_HOSTAPD_STEADY, 60000, 0)                                        \
    /* an interface whose events cannot be had yet is tried again */        \
    X(SPAN_HOSTAPD_ATTACH, 5000, 0)                                         \
    /* hostapd's own time: its end, its answers, its start for WPS */       \
    X(SPAN_HOSTAPD_STOP, 5000, 500)                                         \
    X(SPAN_HOSTAPD_CTRL, 300, 300)                                          \
    /* a BSS removed or added: the driver's work comes before the answer */ \
    X(SPAN_HOSTAPD_BSS, 3000, 3000)                                         \
    X(SPAN_HOSTAPD_PING, 100, 100)                                          \
    X(SPAN_WPS_KEEP, 30000, 10000)

#define DORVAN_SPAN_ENUM(name, milli, floor) name,
enum dorvan_span { DORVAN_SPANS(DORVAN_SPAN_ENUM) SPAN_COUNT };
#undef DORVAN_SPAN_ENUM

// The span in milliseconds at the current pass.
long span_ms(enum dorvan_span s);
// The span in passes (for those counted in whole passes).
long span_passes(enum dorvan_span s);
// Milliseconds on the monotonic clock.
int64_t monotonic_ms(void);

#endif
