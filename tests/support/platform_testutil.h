// Helpers for the platform tests: a private root and small file/process
// utilities.
#ifndef DORVAN_PLATFORM_TESTUTIL_H
#define DORVAN_PLATFORM_TESTUTIL_H

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ptest {

// A fresh mkdtemp root as DORVAN_ROOT, the platform's per-process state
// forgotten, every DORVAN_* knob unset; all undone afterwards.
class TempRoot : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // root + rel (rel starts with '/').
    std::string path(const std::string &rel) const { return root_ + rel; }
    const std::string &root() const { return root_; }

private:
    std::string root_;
};

bool readText(const std::string &path, std::string *out);
std::string readText(const std::string &path);
void writeText(const std::string &path, const std::string &text);
bool exists(const std::string &path);
std::vector<std::string> lines(const std::string &text);
void removeTree(const std::string &path);

// Bytes 0x01..0xff, length in [minLen, maxLen].
std::string randomBytes(std::mt19937 &rng, size_t minLen, size_t maxLen);

struct RunResult {
    int status = -1; // exit code, -1 when killed
    std::string out;
    std::string err;
};
// Runs argv with extra environment entries ("NAME=VALUE"); waits.
RunResult run(const std::vector<std::string> &argv,
              const std::vector<std::string> &env = {});

} // namespace ptest

#endif
