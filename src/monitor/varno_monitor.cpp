#include "monitor.h"

void Varno_monitor(void) {}
void enable_wireless(void) {}
void disable_wireless(void) {}
