// The five command words: handlers, show and help routines.
#ifndef DORVAN_COMMANDS_H
#define DORVAN_COMMANDS_H

#include <stdint.h>

void processWlIntfCmd(char *args);
void cmdWlIntfView(void);
void cmdWlIntfHelp(void);

void processWlSecurityCmd(char *args);
void cmdWlSecView(void);
void cmdWlSecHelp(void);

void processWlMacfilterCmd(char *args);
void cmdWlMacfilterView(void);
void cmdWlMacfilterHelp(void);
uint8_t verifyMacAddress(const char *mac);

void processWlWDSCmd(char *args);
void cmdWlWDSView(void);
void cmdWlWDSHelp(void);
void convertmac(char *mac);

void processWlAdvCmd(char *args);
void cmdWlAdvView(void);
void cmdWlAdvHelp(void);

// Reply text every command uses when an interface option is missing.
#define IFACE_NEEDED_TEXT "--interface <wl0|wl0.1|wl0.2|wl0.3>  is needed\n"

#endif
