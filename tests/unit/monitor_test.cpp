// Button monitor, pass by pass against the board files. Its counters live for
// the process, so every scenario runs in a fresh child process.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>

#include "monitor.h"
#include "testutil.h"

namespace {

class Monitor : public ::testing::Test {
protected:
    dt::TempRoot root;
    void SetUp() override
    {
        dt::install_stubs(root, {"nvram", "nbtscan"});
        setenv("DORVAN_NO_REEXEC", "1", 1);
        idle();
        dt::seed({{"wlEnbl", "1"}, {"wlWscMode", "enabled"}});
        root.clear_trace();
    }
    void idle() const
    {
        root.board("reset_button", "1");
        root.board("wireless_switch", "0");
        root.board("wps_button", "1");
    }
    // Runs passes 1..n in a fresh process; before(i) sets the inputs for pass
    // i. Returns the output, each pass headed by "#i".
    std::string passes(int n, const std::function<void(int)> &before = [](int) {})
    {
        std::string out = root.file("monitor.out");
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            dt::write_file(out, dt::stdout_of([&] {
                for (int i = 1; i <= n; i++) {
                    before(i);
                    printf("#%d\n", i);
                    Varno_monitor();
                }
            }));
            _exit(0);
        }
        int st = -1;
        waitpid(pid, &st, 0);
        EXPECT_EQ(st, 0);
        return dt::read_file(out);
    }
    // Holds `button` ("0") on passes from..to, lets it up otherwise.
    std::function<void(int)> hold(const char *button, int from, int to) const
    {
        return [=](int i) { root.board(button, i >= from && i <= to ? "0" : "1"); };
    }
    long count(const std::string &line) const { return (long)dt::count_line(root.trace(), line); }
};

// n counter lines with counts 1..n, the first on pass `first`.
std::string counter_lines(const char *name, int line, int first, int n)
{
    std::string s;
    for (int k = 1; k <= n; k++)
        s += "#" + std::to_string(first + k - 1) + "\nvarno_monitor - Varno_monitor - " +
             std::to_string(line) + " " + name + "=" + std::to_string(k) + "\n";
    return s;
}

const char kRestore[] = "Restore default configuration and Reset the system!!!\n";

}  // namespace

TEST_F(Monitor, SwitchAlignsOnNinthPassThenFollows)
{
    // Off at start-up, moved around before the ninth pass: only the ninth
    // pass's position counts.
    const char *pos = "?01010100111011";  // switch position by pass, "0" on
    std::string out = passes(14, [&](int i) { root.board("wireless_switch", std::string(1, pos[i])); });
    EXPECT_EQ(out, "#1\n#2\n#3\n#4\n#5\n#6\n#7\n#8\n#9\nFirst Sync : Wireless disabled !!!\n"
                   "#10\n#11\n#12\nEnable Wireless !!!\n#13\nDisable Wireless !!!\n#14\n");
    EXPECT_EQ(dt::stored("wlEnbl"), "0");
    EXPECT_EQ(count("lock\tdisable_wireless"), 2);
    EXPECT_EQ(count("set\twlEnbl_wl0v0\t1"), 1);
    EXPECT_EQ(count("save"), 3);

    // On and already enabled: the line, but no write and no save.
    idle();
    dt::seed({{"wlEnbl", "1"}});
    root.clear_trace();
    // And a pass after it, with the switch still on, does nothing.
    EXPECT_NE(passes(10).find("#9\nFirst Sync : Wireless enabled !!!\n"), std::string::npos);
    EXPECT_EQ(root.trace(), (dt::Lines{"lock\tenable_wireless", "load", "unlock\tenable_wireless"}));
    // A switch that cannot be read counts as off.
    unlink(root.file("var/dorvan/board/wireless_switch").c_str());
    EXPECT_NE(passes(9).find("#9\nFirst Sync : Wireless disabled !!!\n"), std::string::npos);
}

// (A press under a lock held elsewhere is lost: the buttons under a busy
// lock, MonitorE2E.ScanGivesUpOnABusyLockAndTheButtonsComeBack.)
TEST_F(Monitor, WpsLongPressStartsPushButtonEnrolmentUnlessOffResetActsOnRelease)
{
    // Three passes: too short, no lock taken, and the next press counts anew.
    EXPECT_EQ(passes(8, [&](int i) { root.board("wps_button", i % 4 == 0 ? "1" : "0"); }),
              counter_lines("wps_button_cnt", 424, 1, 3) + "#4\n" +
                  counter_lines("wps_button_cnt", 424, 5, 3) + "#8\n");
    EXPECT_TRUE(root.trace().empty());

    EXPECT_EQ(passes(5, hold("wps_button", 1, 4)),
              counter_lines("wps_button_cnt", 424, 1, 4) +
                  "#5\nWPS (Wi-Fi Protected Setup) PBC setup wlEnbl=1 wlWscMode=enabled\n"
                  "WPS (Wi-Fi Protected Setup) PBC Activated!!!\n");
    dt::Lines cmds;
    for (const char *set : {"config=client-pbc", "config_state=1", "adder=0", "event=a", "force_restart=y",
                            "pbc_force=1", "sta_pin="})
        cmds.push_back(std::string("nvram set wps_") + set);
    EXPECT_EQ(dt::stub_calls(root), cmds);
    EXPECT_EQ(root.trace().size(), cmds.size() + 5) << "lock, load, each line, store, save, unlock";

    // With WPS off or wireless off: the line, nothing run.
    unlink(root.file("stubs.log").c_str());
    for (auto [enbl, mode] : {std::pair{"1", "disabled"}, {"0", "enabled"}}) {
        dt::seed({{"wlEnbl", enbl}, {"wlWscMode", mode}});
        root.clear_trace();
        std::string out = passes(5, hold("wps_button", 1, 4));
        EXPECT_EQ(out.substr(out.find("#5")), std::string("#5\nWPS (Wi-Fi Protected Setup) PBC setup wlEnbl=") +
                                                  enbl + " wlWscMode=" + mode + "\n");
        EXPECT_EQ(count("store") + count("save"), 0);
    }
    EXPECT_TRUE(dt::stub_calls(root).empty());

    // Reset, short press: counts 1..4, then cleared, nothing else.
    EXPECT_EQ(passes(6, hold("reset_button", 1, 4)),
              counter_lines("reset_button_cnt", 129, 1, 4) + "#5\n#6\n");

    // Five passes: restore on the release pass, and again on the next one
    // because the count is kept when the restore returns.
    dt::seed({{"wlSsid_wl0v0", "mine"}});
    EXPECT_EQ(passes(7, hold("reset_button", 1, 5)),
              counter_lines("reset_button_cnt", 129, 1, 5) + "#6\n" + kRestore + "#7\n" + kRestore);
    EXPECT_NE(dt::stored("wlSsid_wl0v0"), "mine");
}
