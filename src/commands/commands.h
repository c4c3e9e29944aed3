// The five command words: handlers, show and help routines.
#ifndef DORVAN_COMMANDS_H
#define DORVAN_COMMANDS_H

#include <stdint.h>

#include "protocol.h"

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

// The status that stops a setup whose arguments were refused.
#define CMD_REFUSED 9003

// How a stored 0/1 flag is shown.
inline constexpr const char *onoff_names[2] = {"disabled", "enabled"};

// Reply text every command uses when an interface option is missing.
#define IFACE_NEEDED_TEXT "--interface " WL_IFACE_CHOICE "  is needed\n"

#endif
