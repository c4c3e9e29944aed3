// Faults found by trying to break the system as a hostile local user or a
// careless integrator would: each case here failed before its mend.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "monitor.h"
#include "testutil.h"

namespace {

// Passes of the button monitor in a child (its counters live for the
// process); before(i) sets the inputs of pass i. Returns what it printed.
std::string monitor_passes(const dt::TempRoot &root, int n, const std::function<void(int)> &before)
{
    std::string out = root.file("monitor.out");
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "w", stdout))
            _exit(1);
        for (int i = 1; i <= n; i++) {
            before(i);
            Varno_monitor();
        }
        fflush(stdout);
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
    return dt::read_file(out);
}

}  // namespace

// A guest network switched off stays off through the switch, and the WPS
// button looks at wl0, whichever interface a command selected last.
TEST(Hardening, SwitchAndWpsButtonAddressWl0)
{
    dt::TempRoot root;
    dt::install_stubs(root, {"nvram", "nbtscan"});
    dt::seed({{"wlSsidIdx", "2"}, {"wlEnbl_wl0v0", "1"}, {"wlEnbl_wl0v2", "0"},
              {"wlWscMode_wl0v0", "enabled"}, {"wlWscMode_wl0v2", "disabled"}});
    disable_wireless();
    EXPECT_EQ(dt::stored("wlEnbl_wl0v0") + dt::stored("wlEnbl_wl0v2"), "00");
    enable_wireless();
    EXPECT_EQ(dt::stored("wlEnbl_wl0v0") + dt::stored("wlEnbl_wl0v2"), "10");
    std::string out = monitor_passes(root, 5, [&](int i) { root.board("wps_button", i < 5 ? "0" : "1"); });
    EXPECT_NE(out.find("PBC setup wlEnbl=1 wlWscMode=enabled\n"), std::string::npos) << out;
    EXPECT_EQ(dt::stub_calls(root).size(), 7u);
}
