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

size_t regdb_table_offset(size_t country)
{
    return 8 + 4 * country;
}

size_t regdb_rule_offset(size_t countries, size_t rule)
{
    return regdb_table_offset(countries + 1) + 16 * rule;
}

std::string regdb_bytes(const std::vector<RegCountrySpec> &countries)
{
    size_t nrules = 0;
    for (const auto &c : countries)
        nrules += c.rules.size();
    std::string rules, colls;
    size_t collAt = regdb_rule_offset(countries.size(), nrules);
    std::string table;
    size_t rule = 0;
    for (const auto &c : countries) {
        while (colls.size() % 4 != 0)
            colls.push_back('\0');
        table += c.alpha2.substr(0, 2);
        put(&table, (uint32_t)((collAt + colls.size()) / 4), 2);
        colls += std::string{3, (char)c.rules.size(), (char)c.dfsRegion, '\0'};
        for (const auto &r : c.rules) {
            rules += std::string{16, (char)r.flags};
            put(&rules, (uint32_t)r.eirp, 2);
            for (double mhz : {r.startMhz, r.endMhz, r.maxBwMhz})
                put(&rules, (uint32_t)(mhz * 1000 + 0.5), 4);
            put(&colls, (uint32_t)(regdb_rule_offset(countries.size(), rule++) / 4), 2);
        }
    }
    std::string out;
    put(&out, 0x52474442, 4);
    put(&out, 20, 4);
    return out + table + std::string(4, '\0') + rules + colls;
}

}  // namespace dt
