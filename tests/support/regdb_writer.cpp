#include "regdb_writer.h"

namespace dt {

namespace {

void put16(std::string *s, unsigned v)
{
    s->push_back((char)(v >> 8 & 0xff));
    s->push_back((char)(v & 0xff));
}

void put32(std::string *s, uint32_t v)
{
    put16(s, v >> 16);
    put16(s, v & 0xffff);
}

uint32_t khz(double mhz)
{
    return (uint32_t)(mhz * 1000 + 0.5);
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
        put16(&table, (unsigned)((collAt + colls.size()) / 4));
        colls.push_back(3);
        colls.push_back((char)c.rules.size());
        colls.push_back((char)c.dfsRegion);
        colls.push_back('\0');
        for (const auto &r : c.rules) {
            rules.push_back(16);
            rules.push_back((char)r.flags);
            put16(&rules, (unsigned)r.eirp);
            put32(&rules, khz(r.startMhz));
            put32(&rules, khz(r.endMhz));
            put32(&rules, khz(r.maxBwMhz));
            put16(&colls, (unsigned)(regdb_rule_offset(countries.size(), rule++) / 4));
        }
    }
    std::string out;
    put32(&out, 0x52474442);
    put32(&out, 20);
    return out + table + std::string(4, '\0') + rules + colls;
}

}  // namespace dt
