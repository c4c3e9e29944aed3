#include "monitor.h"

void do_scan(void) {}
