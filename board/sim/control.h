// Between the control commands (control.cpp) and the socket that serves them
// (control_socket.cpp).
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace sim::control_line {

// What a command leaves to do besides its answer. A held key's release
// comes `delay` after the press and its answer after the release; the
// socket serves other clients meanwhile. The power cut comes once the
// answer is out.
struct Followup {
    std::chrono::milliseconds delay{0};
    std::function<void()> before_answer;
    std::function<void()> after_answer;
};

// Runs one command line: its answer line (without the newline) and what
// follows it.
std::string run(const std::string &line, Followup &followup);

} // namespace sim::control_line
