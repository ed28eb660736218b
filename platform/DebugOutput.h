#pragma once
// The debugger output: OutputDebugStringA on Windows, stderr elsewhere.

namespace corvello {

void debugOutput(const char* text);

}  // namespace corvello
