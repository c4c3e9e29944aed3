// Builds small regulatory.db files laid out as wireless-regdb's db2fw.py
// lays them out, for the channel-list tests and the fuzz seeds.
#ifndef DORVAN_REGDB_WRITER_H
#define DORVAN_REGDB_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

namespace dt {

struct RegRuleSpec {
    double startMhz, endMhz, maxBwMhz;
    int flags;       // as stored: 1 NO-OFDM, 2 NO-OUTDOOR, 4 DFS, 8 NO-IR, 16 AUTO-BW
    int eirp = 2000; // mBm
};

struct RegCountrySpec {
    std::string alpha2;
    int dfsRegion;
    std::vector<RegRuleSpec> rules;
};

// Header, country table in the order given, a zero entry, every rule (16
// bytes each), then one collection a country ({len 3, n, dfs, pad} and
// its rule pointers), the last one not padded.
std::string regdb_bytes(const std::vector<RegCountrySpec> &countries);
// Offsets in that layout: a country's table entry, the rule-th rule overall.
size_t regdb_table_offset(size_t country);
size_t regdb_rule_offset(size_t countries, size_t rule);

}  // namespace dt

#endif
