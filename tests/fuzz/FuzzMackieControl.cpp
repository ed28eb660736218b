// Arbitrary messages from the DAW into Mackie Control, and into its LCD decoder.

#include "hostprotocols/HostProtocolMC.h"
#include "tests/fuzz/FuzzMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvello;
    fuzzFromHostMidi<HostProtocolMC>(data, size, [](HostProtocolMC& mc, const Bytes& message) {
        const auto block = std::make_unique<std::uint8_t[]>(message.size());
        std::copy(message.begin(), message.end(), block.get());
        MessageRecord record;
        mc.decodeLcd(block.get(), static_cast<std::int32_t>(message.size()), record);
    });
    return 0;
}
