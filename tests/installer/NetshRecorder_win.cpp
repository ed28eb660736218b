// Stands in for netsh.exe in the installer test's Wine prefix, where Wine's
// own netsh accepts everything and does nothing: it appends its arguments as
// one line to the file named by CORVELLO_NETSH_LOG and succeeds, so the test
// can read which firewall rules the setup program asked for.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main()
{
    const char* logPath = std::getenv("CORVELLO_NETSH_LOG");
    if (!logPath)
        return 1;
    // The arguments as the caller wrote them, quotes included.
    const char* line = GetCommandLineA();
    const bool quoted = *line == '"';
    for (++line; *line && (quoted ? *line != '"' : *line != ' '); ++line) {
    }
    if (*line == '"')
        ++line;
    while (*line == ' ')
        ++line;
    FILE* log = std::fopen(logPath, "a");
    if (!log)
        return 1;
    std::fprintf(log, "%s\n", line);
    std::fclose(log);
    return 0;
}
