// Arbitrary bytes as regulatory.db: the reader must refuse or accept them
// without reading outside them, and every list of every country it accepts
// must stay within the candidate channels.
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "regdb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    dplat::RegDb db;
    if (dplat::parse_reg_db(data, size, &db) != nullptr) {
        if (!db.countries.empty())
            abort();  // a refused file must leave nothing behind
        return 0;
    }
    std::vector<dplat::RegChannel> out;
    for (size_t i = 0; i <= db.countries.size() && i < 64; i++) {
        const char *code = i < db.countries.size() ? db.countries[i].alpha2 : "zz";
        // Every band, width and sideband; 802.11b alone too (five_ghz,
        // widthMhz, upper, ofdm).
        for (int k = 0; k < 9; k++) {
            const dplat::RegQuery q{(k & 1) != 0, (k & 2) != 0 ? 40 : 20, (k & 4) != 0, k != 8};
            dplat::reg_channels(dplat::regCountry(db, code), q, &out);
            for (const dplat::RegChannel &ch : out)
                if (ch.channel < 1 || ch.channel > 177 || out.size() > 28)
                    abort();
        }
    }
    return 0;
}
