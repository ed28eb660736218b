#pragma once
// What the read thread does with the bytes of one received pipe message:
// parse them and hand short messages and filled system-exclusive buffers to
// the application that opened the port's input device.

#include "driver/PortRecord.h"

#include <cstddef>
#include <cstdint>

namespace corvello {

void runInputPath(PortRecord& record, const std::uint8_t* bytes, std::size_t count);

}  // namespace corvello
