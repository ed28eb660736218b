#include "hostprotocols/HostProtocolPanner.h"

#include <algorithm>
#include <iterator>

#include "hostprotocols/MidiValues.h"

namespace corvello {
namespace {

using namespace midivalues;

constexpr int kPannerStatus = 0xBE;  // control change, channel 15
constexpr int kLampOnController = 0x00;
constexpr int kLampOffController = 0x01;

// Lamp number n on the DAW side is kind kLampKinds[n]; lamp 6 does not exist
// and lamp 9 only goes towards the DAW.
constexpr std::uint16_t kLampKinds[] = {2001, 2003, 2005, 2006, 2002, 2004, 0, 2007, 2008, 2009};
constexpr std::size_t kLampsFromDaw = 9;

constexpr std::uint16_t kFirstLampKind = 2001;   // 2001-2009: lamps on or off
constexpr std::uint16_t kFirstLevelKind = 2010;   // 2010-2012: 0..1 levels
constexpr std::uint16_t kFirstStepKind = 2013;    // 2013-2017: signed steps
constexpr std::uint16_t kLastKind = 2017;
constexpr int kLevelControllers[] = {0x02, 0x03, 0x04};
constexpr int kStepControllers[] = {0x10, 0x13, 0x11, 0x12, 0x14};

int lampForKind(std::uint16_t kind)
{
    const auto* found = std::find(std::begin(kLampKinds), std::end(kLampKinds), kind);
    return found == std::end(kLampKinds) ? -1 : static_cast<int>(found - std::begin(kLampKinds));
}

int pannerStep(float value)
{
    return value >= 0.0f ? stepMagnitude(value) : stepMagnitude(value) | kStepSignBit;
}

}  // namespace

MessageRecord HostProtocolPanner::fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t port)
{
    MessageRecord record = MessageRecord::number(kNothingKind, port, 0.0f);
    const auto message = messageBytes(bytes, length);
    if (message.size() < 3 || (message[0] & 0xF0) != 0xB0)
        return record;
    const std::uint8_t controller = message[1];
    const std::uint8_t lamp = message[2];
    if (controller == kLampOnController)
        record.value = 1.0f;
    if (lamp < kLampsFromDaw && kLampKinds[lamp] != 0)
        record.kind = kLampKinds[lamp];
    return record;
}

int HostProtocolPanner::toHost(MessageRecord record)
{
    const std::uint16_t kind = record.kind;
    if (kind < kFirstLampKind || kind > kLastKind)
        return 0;
    if (record.index < 0 || record.index >= kInstances)
        return 1;
    const std::int32_t port = record.index;
    if (kind < kFirstLevelKind) {
        const int controller = record.value == 0.0f ? kLampOffController : kLampOnController;
        writeChannelMessage(port, kPannerStatus, controller, lampForKind(kind));
    } else if (kind < kFirstStepKind) {
        writeChannelMessage(port, kPannerStatus, kLevelControllers[kind - kFirstLevelKind],
                            sevenBitFraction(record.value));
    } else {
        const int step = pannerStep(record.value);
        writeChannelMessage(port, kPannerStatus, kStepControllers[kind - kFirstStepKind], step);
        // Kind 2013 moves kind 2014's control (0x13) along with its own.
        if (kind == kFirstStepKind)
            writeChannelMessage(port, kPannerStatus, kStepControllers[1], step);
    }
    return 1;
}

}  // namespace corvello
