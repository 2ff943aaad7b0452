// Test support: a fresh simulated board per test, and readers of what it saw.
#pragma once

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "board/sim/sim.h"

namespace testsupport {

// A new empty board root below the test's BOARD_ROOT (or /tmp), unique per call.
std::string fresh_root(const std::string &tag = "t");

// Writes board.conf of a root before the board starts on it.
void write_conf(const std::string &root, const std::string &text);

// Lines of events.log whose text contains `needle` (all lines when empty).
std::vector<std::string> events(const std::string &needle = "");

// Reads a whole host file; empty when missing.
std::string read_file(const std::string &host_path);
void write_file(const std::string &host_path, const std::string &bytes);

// The names of this process's threads (as /proc/self/task/*/comm holds
// them, at most 15 characters) that start with `prefix`, sorted; with a
// `pid`, that process's.
std::vector<std::string> thread_names(const std::string &prefix, int pid = 0);

// Runs `work` in a child process on this process's board, whose power goes
// right after the child's `n`th operation on a file of the card or the flash
// (n 0: once `work` is done), as `power cut` would; true when the power went
// (the child was killed), false when `work` ended first. The child's output
// goes nowhere.
bool run_until_cut(unsigned n, const std::function<void()> &work);

// How many times `what` occurs in `text`.
inline size_t occurrences(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// Runs `fn` with standard output captured and returns what it printed.
template <class Fn> std::string capture_stdout(Fn &&fn)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

template <class Fn> std::string capture_stderr(Fn &&fn)
{
    fflush(stderr);
    testing::internal::CaptureStderr();
    fn();
    fflush(stderr);
    return testing::internal::GetCapturedStderr();
}

// Waits until `done` holds, at most `seconds`; whether it did.
template <class Fn> bool wait_until(Fn &&done, double seconds = 10)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace testsupport

// Each test starts the board on a root of its own.
class BoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = testsupport::fresh_root(::testing::UnitTest::GetInstance()->current_test_info()->name());
        if (!conf_.empty())
            testsupport::write_conf(root_, conf_);
        sim::start(root_);
    }

    std::string root_;
    std::string conf_; // board.conf for the test, set before SetUp
};
