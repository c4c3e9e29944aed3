// What the main loop does besides serving commands.
#ifndef DORVAN_MONITOR_H
#define DORVAN_MONITOR_H

// The framework handle the daemon opens at start-up; a reset hands it back.
extern void *msgHandle;

void Varno_monitor(void);
void enable_wireless(void);
void disable_wireless(void);
void do_scan(void);

#endif
