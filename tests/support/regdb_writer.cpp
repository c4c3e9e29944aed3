#include "regdb_writer.h"

namespace dt {

namespace {

// Big-endian, as the file stores every number.
void put(std::string *s, uint32_t v, int bytes)
{
    while (bytes-- > 0)
        s->push_back((char)(v >> (8 * bytes) & 0xff));
}

}  // namespace

std::string regdb_bytes(const std::vector<RegCountrySpec> &countries)
{
    size_t nrules = 0;
    for (const auto &c : countries)
        nrules += c.rules.size();
    // Rules and collections are addressed in 4-byte units from the start.
    const size_t rulesAt = 8 + 4 * (countries.size() + 1), collsAt = rulesAt + 16 * nrules;
    std::string out, rules, colls;
    put(&out, 0x52474442, 4);
    put(&out, 20, 4);
    for (const auto &c : countries) {
        colls.resize((colls.size() + 3) / 4 * 4, '\0');
        out += c.alpha2.substr(0, 2);
        put(&out, (uint32_t)((collsAt + colls.size()) / 4), 2);
        colls += std::string{3, (char)c.rules.size(), (char)c.dfsRegion, '\0'};
        for (const auto &r : c.rules) {
            put(&colls, (uint32_t)((rulesAt + rules.size()) / 4), 2);
            rules += std::string{16, (char)r.flags};
            put(&rules, (uint32_t)r.eirp, 2);
            for (double mhz : {r.startMhz, r.endMhz, r.maxBwMhz})
                put(&rules, (uint32_t)(mhz * 1000 + 0.5), 4);
        }
    }
    return out + std::string(4, '\0') + rules + colls;
}

}  // namespace dt
