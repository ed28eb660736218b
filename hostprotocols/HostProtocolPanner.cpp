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

// How a kind's value becomes the message's data byte.
enum class Shape : std::uint8_t {
    Lamp,   // on or off: controller 0 or 1, the lamp number as data
    Level,  // 0..1 as seven bits, on its own controller
    Step,   // signed steps, on its own controller
};

struct Control {
    std::uint16_t kind;
    Shape shape;
    int number;            // the lamp, or the controller
    bool toDawOnly = false;  // a lamp the DAW never lights
};

constexpr Control kTable[] = {
    {2001, Shape::Lamp, 0}, {2002, Shape::Lamp, 4}, {2003, Shape::Lamp, 1}, {2004, Shape::Lamp, 5},
    {2005, Shape::Lamp, 2}, {2006, Shape::Lamp, 3}, {2007, Shape::Lamp, 7}, {2008, Shape::Lamp, 8},
    {2009, Shape::Lamp, 9, true},
    {2010, Shape::Level, 0x02}, {2011, Shape::Level, 0x03}, {2012, Shape::Level, 0x04},
    {2013, Shape::Step, 0x10}, {2014, Shape::Step, 0x13}, {2015, Shape::Step, 0x11}, {2016, Shape::Step, 0x12},
    {2017, Shape::Step, 0x14},
};

// Kind 2013 moves kind 2014's control along with its own.
constexpr std::uint16_t kCoupledStepKind = 2013;
constexpr int kCoupledController = 0x13;

const Control* controlForKind(std::uint16_t kind)
{
    const auto* found = std::find_if(std::begin(kTable), std::end(kTable), [&](const Control& c) { return c.kind == kind; });
    return found == std::end(kTable) ? nullptr : found;
}

std::uint16_t kindForLamp(int lamp)
{
    for (const Control& c : kTable)
        if (c.shape == Shape::Lamp && !c.toDawOnly && c.number == lamp)
            return c.kind;
    return kNothingKind;
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
    if (message[1] == kLampOnController)
        record.value = 1.0f;
    record.kind = kindForLamp(message[2]);
    return record;
}

int HostProtocolPanner::toHost(MessageRecord record)
{
    const Control* control = controlForKind(record.kind);
    if (!control)
        return 0;
    if (record.index < 0 || record.index >= kInstances)
        return 1;
    const std::int32_t port = record.index;
    switch (control->shape) {
    case Shape::Lamp:
        writeChannelMessage(port, kPannerStatus, record.value == 0.0f ? kLampOffController : kLampOnController,
                            control->number);
        break;
    case Shape::Level:
        writeChannelMessage(port, kPannerStatus, control->number, sevenBitFraction(record.value));
        break;
    case Shape::Step:
        writeChannelMessage(port, kPannerStatus, control->number, pannerStep(record.value));
        if (record.kind == kCoupledStepKind)
            writeChannelMessage(port, kPannerStatus, kCoupledController, pannerStep(record.value));
        break;
    }
    return 1;
}

}  // namespace corvello
