// Requests picked up between passes: served at once, passes kept on time, the
// fall-back to one pickup a pass. The WPS button is held throughout, so every
// pass prints one counter line: that is the pass clock. Short passes: every
// figure below is a share of one.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "clock.h"
#include "testutil.h"

namespace {

class ImmediatePickup : public dt::PickupTest {
protected:
    ImmediatePickup()
    {
        root.board("wps_button", "0");
        setenv("DORVAN_PASS_MS", "200", 1);
        period = span_ms(SPAN_PASS) / 1000.0;
    }
    double period;  // seconds
    // Waits for the next pass and for its own pickup to be over (the daemon
    // sleeps): a request made now is one that pass could not take. Returns
    // the passes so far.
    size_t next_pass(const dt::Daemon &d)
    {
        EXPECT_EQ(dt::pass_times(d, 1).size(), 1u);
        const std::string stat = "/proc/" + std::to_string(d.pid()) + "/stat";
        EXPECT_GE(dt::wait_for([&] {
            std::string s = dt::read_file(stat);
            return s.size() > s.rfind(')') + 2 && s[s.rfind(')') + 2] == 'S';
        }, 2), 0);
        return dt::occurrences(d.out(), "wps_button_cnt=");
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(, ImmediatePickup, ::testing::Values("immediate"));

TEST_P(ImmediatePickup, ServedBetweenPassesOnceTheFolderCanBeWatched)
{
    // Writable and searchable but not readable: nothing can watch it. Only
    // by its owner: a daemon serves no root that others may change.
    ASSERT_EQ(chmod(root.file("var").c_str(), 0300), 0);
    // Root keeps its uid but loses its override of file modes.
    dt::Daemon d(root, {}, geteuid() != 0 ? dt::Lines{} : dt::Lines{"setpriv", "--bounding-set", "-dac_override,-dac_read_search"});
    const std::string line = "cannot watch " + root.file("var") + " (Permission denied): requests picked up once a pass";
    ASSERT_GE(dt::wait_for([&] { return root.log().find(line) != std::string::npos; }, 3), 0) << root.log();
    size_t pass = next_pass(d);
    EXPECT_EQ(dt::ask("wlwds"), "wlwdshelp");
    EXPECT_GT(dt::occurrences(d.out(), "wps_button_cnt="), pass) << "served by a pass, as by default";

    ASSERT_EQ(chmod(root.file("var").c_str(), 0755), 0);
    next_pass(d);  // whose end sets the watch up
    pass = next_pass(d);
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

TEST_P(ImmediatePickup, FloodOfRequestsKeepsEveryPassOnTime)
{
    // The real pass: a loaded machine's hiccups (an eighth of a second
    // under emulation) stay well within a quarter of it.
    unsetenv("DORVAN_PASS_MS");
    period = span_ms(SPAN_PASS) / 1000.0;
    dt::Daemon d(root);
    std::atomic<bool> stop{false};
    std::atomic<int> asked{0}, answered{0};
    std::thread flood([&] {
        for (auto slot = std::chrono::steady_clock::now(); !stop; std::this_thread::sleep_until(slot += std::chrono::microseconds(span_ms(SPAN_PASS) * 50)))
            answered += dt::ask("wlwds") == "wlwdshelp", asked++;  // 20 a pass
    });
    const size_t n = 20;
    std::vector<double> at = dt::pass_times(d, n);
    stop = true;
    flood.join();
    EXPECT_EQ(answered, asked);
    EXPECT_GE(asked, (int)(19 * (n - 1)));
    ASSERT_EQ(at.size(), n);
    for (size_t i = 1; i < at.size(); i++)
        EXPECT_NEAR(at[i] - at[i - 1], period, 0.25 * period) << "pass " << i;
    // An absolute schedule: n - 1 periods, whatever the requests added.
    EXPECT_NEAR(at[n - 1] - at[0], (n - 1) * period, 0.25 * period);
}
