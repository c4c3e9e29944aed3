// Trace helpers for the wlinterface and wlsecurity tests.
#ifndef DORVAN_INTFSEC_TEST_UTIL_H
#define DORVAN_INTFSEC_TEST_UTIL_H

#include <string>
#include <vector>

#include "testutil.h"

namespace intfsec {

inline const std::string kIfaceNeeded = "--interface <wl0|wl0.1|wl0.2|wl0.3>  is needed\n";

inline std::string set(const std::string &name, const std::string &value)
{
    return "set\t" + name + "\t" + value;
}

inline std::vector<std::string> cat(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The writes of the trace, in order.
inline std::vector<std::string> sets(const dt::TempRoot &root)
{
    std::vector<std::string> out;
    for (const auto &line : root.trace())
        if (line.rfind("set\t", 0) == 0)
            out.push_back(line);
    return out;
}

// The whole trace of a command under `who` that wrote `writes`, stored and
// saved (by default whenever it wrote).
inline std::vector<std::string> bracket(const std::string &who,
                                        std::vector<std::string> writes = {},
                                        bool saved = true)
{
    std::vector<std::string> t{"lock\t" + who, "load"};
    t.insert(t.end(), writes.begin(), writes.end());
    if (saved && !writes.empty()) {
        t.push_back("store");
        t.push_back("save");
    }
    t.push_back("unlock\t" + who);
    return t;
}

}  // namespace intfsec

#endif
