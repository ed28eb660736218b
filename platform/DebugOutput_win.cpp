#include "platform/DebugOutput.h"

#include <windows.h>

namespace corvello {

void debugOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace corvello
