// Board control: buttons and the wireless switch.
// Each call fills *status (0: held / on) and returns 0, or returns -1 and
// leaves *status untouched when the input cannot be read.
#ifndef DORVAN_BOARD_CTL_H
#define DORVAN_BOARD_CTL_H

#ifdef __cplusplus
extern "C" {
#endif

int boardCtl_getResetStatus(int *status);
int boardCtl_getWirelessPWRStatus(int *status);
int boardCtl_getWpsButtonStatus(int *status);

#ifdef __cplusplus
}
#endif

#endif
