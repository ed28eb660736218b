// Started with fork and exec through the shared test child-process helper.
#include "tests/virtmidi/ProgramRun.h"

#include <signal.h>

#include <sstream>

#include "tests/support/ChildProcess.h"

namespace corvello::test {

ProgramRun runProgram(const std::vector<std::string>& argv, const std::string& input,
                      std::chrono::milliseconds limit)
{
    ChildProcess child(argv);
    std::istringstream lines(input);
    for (std::string line; std::getline(lines, line);)
        child.writeLine(line);
    child.closeStdin();

    ProgramRun run;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    };
    while (auto line = child.readLine(left()))
        run.output += *line + "\n";
    while (auto line = child.readErrorLine(std::chrono::milliseconds(0)))
        run.errorOutput += *line + "\n";
    // Ends it if it is still running; an exited child only reports its code.
    run.exitCode = child.stop(SIGKILL, std::chrono::milliseconds(2000));
    run.debugOutput = run.errorOutput;
    return run;
}

}  // namespace corvello::test
