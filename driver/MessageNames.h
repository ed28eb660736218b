#pragma once
// Names of the multimedia layer's messages, for the trace: one table per
// entry point, looked up by number.

#include "driver/WinMMAbi.h"

#include <cstddef>

namespace corvello {

struct MessageName {
    UINT message;
    const char* name;
};

template <std::size_t N>
const char* messageName(const MessageName (&names)[N], UINT message)
{
    for (const MessageName& entry : names)
        if (entry.message == message)
            return entry.name;
    return nullptr;
}

}  // namespace corvello
