// The system's regulatory database (wireless-regdb's regulatory.db, the file
// the kernel loads) and the channels an access point may use under it.
// C++ only: the channel-list query, dorvan-cfg and the tests use it.
//
//   DORVAN_REGDB   path of the database, used as given (not under the root);
//                  unset or empty: /lib/firmware/regulatory.db
#ifndef DORVAN_REGDB_H
#define DORVAN_REGDB_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#define DORVAN_REGDB_DEFAULT "/lib/firmware/regulatory.db"

namespace dplat {

// Rule flags as the file stores them.
enum : uint8_t {
    kRegNoOfdm = 1,
    kRegNoOutdoor = 2,
    kRegDfs = 4,
    kRegNoIr = 8,
    kRegAutoBw = 16,
};

struct RegRule {
    uint32_t startKhz = 0, endKhz = 0, maxBwKhz = 0;
    uint16_t maxEirp = 0;  // mBm (dBm * 100)
    uint8_t flags = 0;
};

struct RegCountry {
    char alpha2[3] = {0, 0, 0};
    uint8_t dfsRegion = 0;  // 0 unset, 1 FCC, 2 ETSI, 3 JP
    std::vector<RegRule> rules;  // database order
};

struct RegDb {
    std::vector<RegCountry> countries;
};

// nullptr when size bytes at data are a valid database (then in *out), else
// why not. Reads nothing outside [data, data + size).
const char *parse_reg_db(const uint8_t *data, size_t size, RegDb *out);

// The database in force: read on first use and again only when the file
// (path, inode, size, mtime) changes. Without a usable file, the world rules
// compiled in, and one log line says why. *source, if given: the path read,
// or "" for the compiled-in rules.
const RegDb &currentRegDb(std::string *source = nullptr);

// The entry for the first two characters of country (any case); a code the
// database lacks, and "00", give its world entry ("00"), and a database
// without one the compiled-in world rules.
const RegCountry &regCountry(const RegDb &db, const char *country);

// One channel-list query: band, width and sideband, and whether 802.11b
// alone is asked (then NO-OFDM channels count too).
struct RegQuery {
    bool five_ghz = false;
    int widthMhz = 20;
    bool upper = false;  // 40 MHz: the partner channel lies below
    bool ofdm = true;
};
// The query words after "wlChannelList": "b", "a", "n b|a 20",
// "n b|a 40 lower|upper". False for anything else.
bool reg_query_from_words(const std::vector<std::string> &words, RegQuery *q);

struct RegChannel {
    int channel = 0;
    int centreMhz = 0;
    RegRule rule;  // the rule that allows the channel
};
// The channels of country usable for q, in ascending order.
void reg_channels(const RegCountry &country, const RegQuery &q, std::vector<RegChannel> *out);

} // namespace dplat

#endif
