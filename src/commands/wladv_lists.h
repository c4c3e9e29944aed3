// wladv: the channel and rate lists that "config" checks values against.
#ifndef DORVAN_WLADV_LISTS_H
#define DORVAN_WLADV_LISTS_H

// Query words for the channel list: at most 6 slots of 16 bytes.
#define WLADV_QUERY_SLOTS 6
#define WLADV_QUERY_SLOT_SIZE 16

enum wladv_rate_kind { WLADV_RATE, WLADV_MCASTRATE, WLADV_BASICRATE };

// Fills the channel query words (slot 0 "", slot 1 "wlChannelList", ...) and
// returns their count; 0 when no channel list applies to the band.
int wladv_channel_query(const char *bands, const char *phy, const char *nbwcap,
                        const char *nctrlsb,
                        char args[WLADV_QUERY_SLOTS][WLADV_QUERY_SLOT_SIZE]);

// Reads the channel (third number) of one result line in the line form;
// 0 on success, -1 for a line not in that form.
int wladv_channel_line(const char *line, int *channel);

// The checks. 0: the value passes. Otherwise the refusal text is in sendbuf,
// ready to send.
int wladv_check_channel(const char *bands, const char *phy, const char *nbwcap,
                        const char *nctrlsb, const char *channel);
int wladv_check_rate(enum wladv_rate_kind kind, const char *bands, const char *phy,
                     const char *value);

#endif
