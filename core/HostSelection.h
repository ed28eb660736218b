#pragma once
// Which host protocol the remote's selector (a kind-186 record's index) asks for.

#include <cstdint>

namespace corvello {

// The values of a Translator's `protocolState`.
enum ProtocolState : std::int32_t {
    kNoProtocol = -1,
    kHUIProtocol = 0,
    kMackieControlProtocol = 1,
    kPannerProtocol = 4,
    kLogicOSCProtocol = 5,
};

constexpr ProtocolState protocolForSelector(std::int32_t selector)
{
    switch (selector) {
    case 0: case 4:
        return kHUIProtocol;
    case 1: case 2: case 5: case 6: case 7: case 8:
    case -999: case -998: case -997: case -996: case -995: case -994: case -992: case -991:
        return kMackieControlProtocol;
    case 3:
        return kLogicOSCProtocol;
    default:  // -993 included
        return kNoProtocol;
    }
}

}  // namespace corvello
