// Arbitrary bytes as regulatory.db: the reader must refuse or accept them
// without reading outside them, and every list of every country it accepts
// must derive within the candidate channels.
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "regdb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    dplat::RegDb db;
    if (dplat::parseRegDb(data, size, &db) != nullptr) {
        if (!db.countries.empty())
            abort();  // a refused file must leave nothing behind
        return 0;
    }
    static const char *const kQueries[][4] = {
        {"b"}, {"a"}, {"n", "b", "20"}, {"n", "a", "20"}, {"n", "b", "40", "lower"},
        {"n", "b", "40", "upper"}, {"n", "a", "40", "lower"}, {"n", "a", "40", "upper"},
    };
    std::vector<dplat::RegChannel> out;
    for (size_t i = 0; i <= db.countries.size() && i < 64; i++) {
        const char *code = i < db.countries.size() ? db.countries[i].alpha2 : "zz";
        const dplat::RegCountry &c = dplat::regCountry(db, code);
        for (const auto &words : kQueries) {
            std::vector<std::string> w;
            for (const char *word : words)
                if (word != nullptr)
                    w.push_back(word);
            dplat::RegQuery q;
            if (!dplat::regQueryFromWords(w, &q))
                abort();
            dplat::regChannels(c, q, &out);
            for (const dplat::RegChannel &ch : out)
                if (ch.channel < 1 || ch.channel > 177 || out.size() > 28)
                    abort();
        }
    }
    return 0;
}
