#include "logicosc/HostProtocolLogicOSC.h"

#include <algorithm>
#include <chrono>

#include "logicosc/FixedText.h"
#include "logicosc/LogicOscWords.h"
#include "logicosc/OscReception.h"

namespace corvello {

std::uint32_t HostProtocolLogicOSC::steadyMilliseconds()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

HostProtocolLogicOSC::HostProtocolLogicOSC(MillisecondClock clock) : clock_(std::move(clock))
{
    pan_.fill(0.5f);
    assignText(beatsText_, "   ");
    assignText(smpteText_, "   ");
}

void HostProtocolLogicOSC::activate()
{
    openForDaw();
    openedBySelection_ = true;
    std::lock_guard lock(mutex_);
    refresh();
}

void HostProtocolLogicOSC::openForDaw()
{
    if (oscOut)
        corvello::openForDaw(*oscOut);
}

void HostProtocolLogicOSC::resetState()
{
    mode_ = 0;
    lastMode_ = 0;
    lastDisplayTime_ = 0;
    transportMoving_ = false;
    pan_.fill(0.5f);
    for (auto& slot : sendLevel_)
        slot.fill(0.0f);
    for (auto& slot : sendMute_)
        slot.fill(0);
    lastDisplay_.fill('\0');
    beatsText_.fill('\0');
    smpteText_.fill('\0');
}

void HostProtocolLogicOSC::sendToRemote(const MessageRecord& record)
{
    if (!record.isNothing())
        HostProtocol::sendToRemote(record);
}

void HostProtocolLogicOSC::refresh()
{
    for (int strip = 0; strip < kStrips; ++strip) {
        if (isSendMode()) {
            const int slot = mode_ - 1;
            const float muted = sendMute_[slot][strip] ? 1.0f : 0.0f;
            sendToRemote(MessageRecord::number(kVPotKind, strip, sendLevel_[slot][strip] + kSendKnobBase));
            sendToRemote(MessageRecord::number(kVPotPressKind, strip, muted));
            std::string_view name = textOf(sendName_[slot][strip]);
            sendToRemote({kSendNameKind, strip, muted, std::string(name.empty() ? " " : name), 0});
        } else {
            sendToRemote(MessageRecord::number(kVPotKind, strip, pan_[strip] + kPanKnobBase));
            sendToRemote(MessageRecord::number(kVPotPressKind, strip, 1.0f));
        }
    }
    for (int lamp = 0; lamp <= kSendSlots; ++lamp)
        sendToRemote(MessageRecord::number(kModeLampKind, lamp, lamp == mode_ ? 1.0f : 0.0f));
    sendToRemote(MessageRecord::number(kTimeFormatKind, 8, displayMode_ == 1 ? 1.0f : 2.0f));
}

bool HostProtocolLogicOSC::displayAllowed() const
{
    if (!transportMoving_)
        return true;
    const std::uint64_t elapsed = std::uint64_t{clock_()} - lastDisplayTime_;
    return static_cast<float>(elapsed / 1000.0) > 0.049;
}

MessageRecord HostProtocolLogicOSC::smpteDisplay()
{
    const auto& t = smpteText_;
    const auto point = [](char c) { return static_cast<char>(c | 0x80); };
    return showDisplay({' ', ' ', t[0], point(t[1]), t[3], point(t[4]), t[6], point(t[7]), t[9], t[10]});
}

MessageRecord HostProtocolLogicOSC::beatsDisplay()
{
    constexpr std::size_t kBuildLimit = 31;
    const std::string_view t = textOf(beatsText_);
    std::string built;
    if (t.size() < 13)
        built.assign(13 - t.size(), ' ');
    int spacesToDrop = 3;
    for (char c : t) {
        if (built.size() == kBuildLimit)
            break;
        if (c == ' ' && spacesToDrop > 0) {
            --spacesToDrop;
            continue;
        }
        built.push_back(c);
    }
    Display d{};
    std::copy_n(built.begin(), std::min(built.size(), d.size()), d.begin());
    for (std::size_t i : {2, 4, 6})
        d[i] = static_cast<char>(d[i] | 0x80);
    return showDisplay(d);
}

// Only the characters from the first change on travel, and nothing when
// nothing changed.
MessageRecord HostProtocolLogicOSC::showDisplay(const Display& display)
{
    lastDisplayTime_ = clock_();
    MessageRecord out;
    const auto changed = std::mismatch(display.begin(), display.end(), lastDisplay_.begin());
    if (changed.first != display.end()) {
        const auto position = static_cast<std::int32_t>(changed.first - display.begin());
        out = MessageRecord::withText(kTimeDisplayKind, position, std::string(changed.first, display.end()));
    }
    lastDisplay_ = display;
    return out;
}

void HostProtocolLogicOSC::showTimeDisplay()
{
    sendToRemote(displayMode_ == 0 ? beatsDisplay() : smpteDisplay());
}

void HostProtocolLogicOSC::switchDisplay(std::int32_t displayMode)
{
    displayMode_ = displayMode;
    sendToRemote(MessageRecord::number(kTimeFormatKind, 8, displayMode == 1 ? 1.0f : 2.0f));
    showTimeDisplay();
}

}  // namespace corvello
