// The request and reply pipes and the dispatcher.
#ifndef DORVAN_PIPES_H
#define DORVAN_PIPES_H

#include "protocol.h"

// How long a request pipe may sit without data before it counts as stale.
#define REQUEST_WAIT_MS 2000
// How long a reply waits for the front end to open the reply pipe.
#define REPLY_WAIT_MS 5000

void process_wlCLI_PIPE(void);
void send_wlCLI_PIPE(const char *text);
// Dispatches one request text (NUL-terminated, modifiable) on its command
// word, then flushes standard output.
void cli_dispatch(char *request);

#endif
