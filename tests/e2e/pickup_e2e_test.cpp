// Requests picked up between passes: served at once, passes kept on time, the
// fall-back to one pickup a pass. The WPS button is held throughout, so every
// pass prints one counter line: that is the pass clock. Short passes: every
// figure below is a share of one.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "clock.h"
#include "testutil.h"

TEST(ImmediatePickup, ServedBetweenPassesOnceTheFolderCanBeWatched)
{
    dt::TempRoot root;
    setenv("DORVAN_PICKUP", "immediate", 1);
    setenv("DORVAN_PASS_MS", "200", 1);
    root.board("wps_button", "0");
    const double period = span_ms(SPAN_PASS) / 1000.0;  // seconds
    // Writable and searchable but not readable: nothing can watch it. Only
    // by its owner: a daemon serves no root that others may change.
    ASSERT_EQ(chmod(root.file("var").c_str(), 0300), 0);
    // Root keeps its uid but loses its override of file modes.
    dt::Daemon d(root, {}, geteuid() != 0 ? dt::Lines{} : dt::Lines{"setpriv", "--bounding-set", "-dac_override,-dac_read_search"});
    // Waits for the next pass and for its own pickup to be over (the daemon
    // sleeps): a request made now is one that pass could not take. Returns
    // the passes so far.
    auto next_pass = [&] {
        EXPECT_EQ(dt::pass_times(d, 1).size(), 1u);
        const std::string stat = "/proc/" + std::to_string(d.pid()) + "/stat";
        EXPECT_GE(dt::wait_for([&] {
            std::string s = dt::read_file(stat);
            return s.size() > s.rfind(')') + 2 && s[s.rfind(')') + 2] == 'S';
        }, 2), 0);
        return dt::occurrences(d.out(), "wps_button_cnt=");
    };
    const std::string line = "cannot watch " + root.file("var") + " (Permission denied): requests picked up once a pass";
    ASSERT_GE(dt::wait_for([&] { return root.log().find(line) != std::string::npos; }, 3), 0) << root.log();
    size_t pass = next_pass();
    EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");
    EXPECT_GT(dt::occurrences(d.out(), "wps_button_cnt="), pass) << "served by a pass, as by default";

    ASSERT_EQ(chmod(root.file("var").c_str(), 0755), 0);
    next_pass();  // whose end sets the watch up
    pass = next_pass();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");
    EXPECT_EQ(dt::occurrences(d.out(), "wps_button_cnt="), pass) << "five served before the next pass was due";
    EXPECT_EQ(dt::occurrences(root.log(), "cannot watch"), 1u) << root.log();

    // A request pipe nobody writes holds the loop its wait; the passes after
    // it come a period apart again, none made up.
    ASSERT_EQ(mkfifo(root.file("var/param_fifo1").c_str(), 0666), 0);
    std::vector<double> at = dt::pass_times(d, 3);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_GT(at[0], 0.75 * span_ms(SPAN_REQUEST_WAIT) / 1000.0);
    EXPECT_GT(at[1] - at[0], 0.75 * period);
    EXPECT_GT(at[2] - at[1], 0.75 * period);
}
