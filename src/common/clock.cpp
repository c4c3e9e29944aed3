#include "clock.h"

#include <stdlib.h>
#include <time.h>

namespace {

struct span_row {
    long milli;
    long floor_ms;
};

#define DORVAN_SPAN_ROW(name, milli, floor) {milli, floor},
const span_row kSpans[SPAN_COUNT] = {DORVAN_SPANS(DORVAN_SPAN_ROW)};
#undef DORVAN_SPAN_ROW

// Read at every call, so a test can change it between daemons it starts.
long pass_ms()
{
    const char *env = getenv("DORVAN_PASS_MS");
    int ms = env != NULL ? atoi(env) : 0;
    return ms > 0 && ms < 1000 ? ms : 1000;
}

}  // namespace

long span_ms(enum dorvan_span s)
{
    long ms = kSpans[s].milli * pass_ms() / 1000;
    return ms > kSpans[s].floor_ms ? ms : kSpans[s].floor_ms;
}

long span_passes(enum dorvan_span s)
{
    return kSpans[s].milli / 1000;
}

int64_t monotonic_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}
