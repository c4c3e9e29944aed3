// Start-up state and the main loop.
#ifndef DORVAN_DAEMON_H
#define DORVAN_DAEMON_H

#define DORVAN_ENTITY_ID 14

extern int wl_cnt;

// Log threshold for the -v value: 3 by default and for 0, 5 for 1, 7 else.
int loglevel_from_option(int v);
void scan_tick(void);
// One pass without the sleep's tick: monitor, then at most one request.
void main_loop_pass(void);
// Start-up and the endless loop; returns only when an allocation fails.
int dorvand_main(int argc, char **argv);

#endif
