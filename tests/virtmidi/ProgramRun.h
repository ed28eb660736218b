#pragma once
// Runs another program to completion for a test: the given text on its
// stdin, its stdout and stderr collected, killed when it outlives the limit.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvello::test {

struct ProgramRun {
    std::optional<int> exitCode;  // nothing when it was killed
    std::string output;
    std::string errorOutput;
    // What it wrote to the debugger output: caught as a debug monitor does
    // on Windows; on POSIX that output is its stderr.
    std::string debugOutput;
};

ProgramRun runProgram(const std::vector<std::string>& argv, const std::string& input,
                      std::chrono::milliseconds limit);

}  // namespace corvello::test
