// The request and reply pipes and the dispatcher.
#ifndef DORVAN_PIPES_H
#define DORVAN_PIPES_H

#include "protocol.h"

void process_wlCLI_PIPE(void);
void send_wlCLI_PIPE(const char *text);
// Dispatches one request text (NUL-terminated, modifiable) on its command
// word, then flushes standard output.
void cli_dispatch(char *request);

#endif
