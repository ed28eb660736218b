// corvello-pipeclient: the DAW's side of a virtual MIDI port, for people and
// end-to-end tests. Sends each hex line read on stdin as one pipe message and
// prints each message received as one hex line on stdout.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "tools/pipeclient/HexLine.h"
#include "virtmidi/virtmidiclient.h"
#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"

namespace {

using corvello::VirtMidiClientPipe;

constexpr char kUsage[] =
    "usage: corvello-pipeclient [--linger MS] <port name>\n"
    "       corvello-pipeclient --list\n"
    "Connects to a virtual MIDI port of a running Corvello. Each line on stdin\n"
    "(hex bytes, e.g. \"90 3C 7F\") is sent as one message; each message\n"
    "received is printed as one hex line. At the end of stdin it keeps\n"
    "printing until the connection ends, or for MS milliseconds with --linger.\n";

void complain(const std::string& text) { std::fprintf(stderr, "corvello-pipeclient: %s\n", text.c_str()); }

[[noreturn]] void finish(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    // The stdin thread may still sit in a read; end without waiting for it.
    std::_Exit(code);
}

int listPorts()
{
    if (!corvello::virtMidiServerRunning()) {
        complain("no virtual MIDI server is running");
        return 1;
    }
    for (const std::string& name : corvello::virtMidiReadPortList())
        std::printf("%s\n", name.c_str());
    return 0;
}

void sendLines(VirtMidiClientPipe& pipe, std::optional<int> lingerMs)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        const auto bytes = corvello::parseHexLine(line);
        if (!bytes)
            complain("not hex bytes: " + line);
        else if (!bytes->empty() && !pipe.write(bytes->data(), bytes->size()))
            complain("could not send: " + line);
    }
    if (lingerMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(*lingerMs));
        finish(0);
    }
}

[[noreturn]] void printMessages(VirtMidiClientPipe& pipe, const std::string& portName)
{
    std::uint8_t buffer[corvello::virtMidiClientReadSize];
    std::string endReason;
    while (const auto length = pipe.read(buffer, endReason)) {
        std::printf("%s\n", corvello::formatHexLine(buffer, *length).c_str());
        std::fflush(stdout);
    }
    complain(portName + ": " + endReason);
    finish(0);
}

std::optional<int> parseMilliseconds(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 3'600'000)
        return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0)
        return listPorts();
    std::optional<int> lingerMs;
    int first = 1;
    if (argc == 4 && std::strcmp(argv[1], "--linger") == 0) {
        lingerMs = parseMilliseconds(argv[2]);
        first = 3;
    }
    if (argc != first + 1 || (first == 3 && !lingerMs)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string portName = argv[first];
    std::string error;
    const auto pipe = VirtMidiClientPipe::connect(portName, error);
    if (!pipe) {
        complain(error);
        return 1;
    }
    complain("connected to " + portName);
    std::thread(sendLines, std::ref(*pipe), lingerMs).detach();
    printMessages(*pipe, portName);
}
