#pragma once
// The driver's diagnostics. The driver lives inside the DAW, so it installs
// no process-wide log sink and never writes on the DAW's stderr. A problem
// (trace) goes to the debugger output on Windows; with tracing enabled (see
// TraceSettings.h) it also goes to the driver's own log file, together with
// the detail of every message and callback (traceDetail).

#include "platform/Log.h"  // CORVELLO_PRINTF

namespace corvello {

void trace(const char* format, ...) CORVELLO_PRINTF(1, 2);
void traceDetail(const char* format, ...) CORVELLO_PRINTF(1, 2);

// Lets a caller skip gathering what only the detail would show.
bool traceDetailEnabled();

}  // namespace corvello
