// Request pickup between passes (DORVAN_PICKUP=immediate): the loop waits
// for the request pipe to appear instead of sleeping, and serves it at once.
#ifndef DORVAN_PICKUP_H
#define DORVAN_PICKUP_H

// 1 when DORVAN_PICKUP is "immediate"; unset or "pass": 0 (one pickup a
// pass). Anything else is logged and counts as "pass". Starts the pass
// schedule when it returns 1.
int pickup_init(void);
// Stands in for a pass's sleep: until the next pass is due on the absolute
// schedule (period_ms apart), serves each request pipe that appears. A pass
// that overran leaves at once and the schedule restarts from now. Without a
// watch on the pipe's folder it only sleeps, and tries the watch again on
// the next pass.
void pickup_wait(long period_ms);

#endif
