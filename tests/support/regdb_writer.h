// Builds small regulatory.db files laid out as wireless-regdb's db2fw.py
// lays them out, for the radio plan tests (it also made
// tests/golden/lists-regulatory.db and the fuzz seeds).
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
// A country's table entry is at 8 + 4 * its index, the rules follow the
// table's zero entry.
std::string regdb_bytes(const std::vector<RegCountrySpec> &countries);

}  // namespace dt

#endif
