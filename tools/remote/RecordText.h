#pragma once
// The reference remote's text form of records, one per line:
//
//   [main|metering] KIND INDEX VALUE        a number record
//   [main|metering] KIND INDEX "TEXT"       a text record, taken literally up to the last quote
//   [main|metering] KIND INDEX hex:BYTES    a text record given as hex digit pairs
//
// The channel defaults to main on input and is always written on output.
// Output quotes text made only of printable ASCII and writes any other text
// as hex. Input also accepts "wait MS" (pause sending), blank lines and
// "#" comments.

#include <string>
#include <string_view>

#include "link/RemoteLink.h"

namespace corvello::remote {

struct ScriptLine {
    enum class Type { Record, Wait, Nothing };
    Type type = Type::Nothing;
    RemoteLink::Channel channel = RemoteLink::Channel::Main;
    MessageRecord record;
    int waitMs = 0;
};

std::string formatRecord(RemoteLink::Channel channel, const MessageRecord& record);

// False with `error` set when the line cannot be read.
bool parseScriptLine(std::string_view line, ScriptLine& parsed, std::string& error);

}  // namespace corvello::remote
