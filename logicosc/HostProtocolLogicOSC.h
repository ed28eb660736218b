#pragma once
// Drives Logic through its OSC control vocabulary: short names without a
// leading "/", one float argument each. Records from the remote become at
// most one OSC message for the DAW; what the DAW sends becomes records for
// the remote, keeps the bank state of the eight strips (pan, eight send
// slots), and builds the remote's time display.
//
// The remote link's thread (toHost, activate) and the OSC receive thread
// (fromHostOsc) share all of that state; one mutex serialises them. Records
// for the remote and messages for the DAW are sent while it is held, so the
// order the remote sees is the order the state changed in.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

#include "logicosc/FixedText.h"
#include "logicosc/HostProtocolOSC.h"

namespace corvello {

class HostProtocolLogicOSC : public HostProtocolOSC {
public:
    // A millisecond clock that wraps at 32 bits.
    using MillisecondClock = std::function<std::uint32_t()>;
    static std::uint32_t steadyMilliseconds();

    explicit HostProtocolLogicOSC(MillisecondClock clock = steadyMilliseconds);

    MessageRecord fromHostOsc(OscRecord record) override;
    // Always 1: every record is this protocol's, sent or not.
    int toHost(MessageRecord record) override;
    // Opens the OSC output for the DAW (see logicosc/OscReception.h), then sends
    // the bank state to the remote. Each later selection (kind 186 with a
    // value of at least 1) opens it again.
    void activate() override;

    static constexpr int kStrips = 8;
    static constexpr int kSendSlots = 8;
    static constexpr int kTrackNameLength = 8;
    // Knob values for the remote: position + base, as 32-bit floats.
    static constexpr float kPanKnobBase = 51010.0f;
    static constexpr float kSendKnobBase = 51020.0f;

    // The vocabulary's own types (logicosc/LogicOscWords.h): a message from
    // the DAW as the words read it, and one word.
    struct Incoming;
    struct Word;

private:
    using Display = std::array<char, 10>;

    // The OSC output opened for the DAW (see logicosc/OscReception.h).
    void openForDaw();
    void resetState();
    void refresh();
    // The vocabulary, both directions in one table (LogicOscVocabulary.cpp).
    static std::span<const Word> vocabulary();
    MessageRecord applyWord(const Incoming& in);
    const Word* wordFor(const MessageRecord& record) const;
    void translateToHost(const MessageRecord& record);
    void switchDisplay(std::int32_t displayMode);

    bool displayAllowed() const;
    MessageRecord smpteDisplay();
    MessageRecord beatsDisplay();
    MessageRecord showDisplay(const Display& display);
    void showTimeDisplay();
    void sendToRemote(const MessageRecord& record);
    bool isSendMode() const { return mode_ >= 1 && mode_ <= kSendSlots; }

    // Rules reading the address; each returns the record for the remote.
    MessageRecord meterPeak(const Incoming& in);
    MessageRecord meterOverload(const Incoming& in);
    MessageRecord meterLevel(const Incoming& in);
    MessageRecord modeFromHost(const Incoming& in);
    MessageRecord beatsFromHost(const Incoming& in);
    MessageRecord smpteFromHost(const Incoming& in);
    MessageRecord panDisplay(const Incoming& in);
    MessageRecord panFromHost(const Incoming& in);
    MessageRecord transportStop(const Incoming& in);
    struct SendAddress {
        std::int32_t slot, strip;  // both 1 to 8
    };
    // The send slot (digit 2) and strip (digit 3) of an address; nothing
    // unless both are 1 to 8.
    static std::optional<SendAddress> sendAddress(const Incoming& in);
    MessageRecord sendLevelFromHost(const Incoming& in);
    MessageRecord sendMuteFromHost(const Incoming& in);
    MessageRecord sendDisplayFromHost(const Incoming& in);
    MessageRecord pageSelect(const Incoming& in);
    MessageRecord jogState(const Incoming& in);

    std::mutex mutex_;
    MillisecondClock clock_;
    // Set by activate until the selection record that follows it; both on the
    // link thread.
    bool openedBySelection_ = false;

    bool transportMoving_ = false;
    Display lastDisplay_{};
    std::uint64_t lastDisplayTime_ = 0;
    FixedText<20> beatsText_{};
    FixedText<24> smpteText_{};
    std::int32_t displayMode_ = 0;  // 0 bars/beats, 1 SMPTE
    std::array<std::array<float, kStrips>, kSendSlots> sendLevel_{};
    std::array<std::array<FixedText<20>, kStrips>, kSendSlots> sendName_{};
    std::array<float, kStrips> pan_{};
    std::array<std::array<std::uint8_t, kStrips>, kSendSlots> sendMute_{};
    std::int32_t mode_ = 0;      // 0 pan, 1 to 8 the send slot
    std::int32_t lastMode_ = 0;  // the mode the DAW last confirmed
};

}  // namespace corvello
