// Trace helpers for the wlinterface and wlsecurity tests.
#ifndef DORVAN_INTFSEC_TEST_UTIL_H
#define DORVAN_INTFSEC_TEST_UTIL_H

#include <sstream>
#include <string>
#include <vector>

namespace intfsec {

using Lines = std::vector<std::string>;

inline const std::string kIfaceNeeded = "--interface <wl0|wl0.1|wl0.2|wl0.3>  is needed\n";

inline Lines cat(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Trace lines of writes given as "name=value name=value ...".
inline Lines W(const std::string &writes)
{
    Lines out;
    std::istringstream in(writes);
    for (std::string w; in >> w;)
        out.push_back("set\t" + w.substr(0, w.find('=')) + "\t" + w.substr(w.find('=') + 1));
    return out;
}

// The trace of `times` commands under `who`, each making `writes` and then,
// when it wrote and `saved`, storing and saving.
inline Lines bracket(const std::string &who, const std::string &writes = "", bool saved = true,
                     int times = 1)
{
    Lines all;
    for (int i = 0; i < times; i++) {
        all.push_back("lock\t" + who);
        all.push_back("load");
        for (const auto &w : W(writes))
            all.push_back(w);
        if (saved && !writes.empty())
            all.insert(all.end(), {"store", "save"});
        all.push_back("unlock\t" + who);
    }
    return all;
}

}  // namespace intfsec

#endif
