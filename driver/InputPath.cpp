#include "driver/InputPath.h"

namespace corvello {

namespace {

void appendSysExByte(PortSide& input, std::uint8_t byte, bool complete)
{
    if (MIDIHDR* filled = input.queue.append(byte, complete))
        input.notify(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(filled), input.elapsedMs());
}

}  // namespace

void runInputPath(PortRecord& record, const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t result = record.parser.parse(bytes[i]);
        switch (result) {
        case MidiStreamParser::kNothing:
            break;
        case MidiStreamParser::kSysExByte:
            appendSysExByte(record.input, bytes[i], false);
            break;
        case MidiStreamParser::kSysExLastByte:
            appendSysExByte(record.input, bytes[i], true);
            break;
        default:
            record.input.notify(MIM_DATA, result, record.input.elapsedMs());
            break;
        }
    }
}

}  // namespace corvello
