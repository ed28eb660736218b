// corvello-remote: the project's own remote. Connects to Corvello's remote
// link, sends records given as arguments or read from stdin (one per line),
// and prints every record received on either channel, one line each.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Log.h"
#include "tools/remote/RecordText.h"
#include "tools/remote/RemoteConnection.h"
#include "tools/remote/ServiceFinder.h"

namespace corvello::remote {
namespace {

constexpr char kUsage[] =
    "usage: corvello-remote [--drain MS] [--timeout MS] [HOST:PORT] [RECORD...]\n"
    "  Without HOST:PORT, finds Corvello by DNS-SD (_tamberlin._tcp) within --timeout.\n"
    "  Sends each RECORD, or else every line of stdin, then prints what arrives\n"
    "  for another MS milliseconds (--drain, default 500) and exits.\n"
    "  RECORD: [main|metering] KIND INDEX VALUE|\"TEXT\"|hex:BYTES; stdin may also say \"wait MS\".\n"
    "  Exit status: 0 done, 1 unreadable input, 2 no connection, 3 the link was closed.\n";

enum ExitStatus { kDone = 0, kBadInput = 1, kNoConnection = 2, kLinkClosed = 3 };

struct Options {
    Endpoint endpoint;
    bool findByDnsSd = false;
    std::chrono::milliseconds drain{500};
    std::chrono::milliseconds timeout{5000};
    std::vector<std::string> records;
};

// Prints every record and notes when the link goes away.
class PrintingFilter : public RemoteFilter {
public:
    int receive(const MessageRecord& record) override
    {
        auto* link = static_cast<RemoteLink*>(node);
        std::string line = formatRecord(link->receivingChannel(), record) + '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        return 1;
    }
    bool peerConnected(std::uint32_t, std::uint32_t) override { return false; }
    void peerDisconnected(std::intptr_t, std::int32_t) override { closed = true; }

    std::atomic<bool> closed{false};
};

bool readMilliseconds(const char* text, std::chrono::milliseconds& value)
{
    char* end = nullptr;
    long ms = std::strtol(text, &end, 10);
    if (!text[0] || *end || ms < 0)
        return false;
    value = std::chrono::milliseconds(ms);
    return true;
}

bool parseOptions(int argc, char** argv, Options& options)
{
    int i = 1;
    for (; i < argc && std::string_view(argv[i]).starts_with("--"); i += 2) {
        std::string_view name = argv[i];
        if (i + 1 >= argc)
            return false;
        if (name == "--drain" && readMilliseconds(argv[i + 1], options.drain))
            continue;
        if (name == "--timeout" && readMilliseconds(argv[i + 1], options.timeout))
            continue;
        return false;
    }
    if (i < argc && parseEndpoint(argv[i], options.endpoint))
        ++i;
    else
        options.findByDnsSd = true;
    options.records.assign(argv + i, argv + argc);
    return true;
}

// Carries out one input line; false when it could not be read.
bool perform(RemoteLink& node, const std::string& text, int lineNumber)
{
    ScriptLine line;
    std::string error;
    if (!parseScriptLine(text, line, error)) {
        log::error("corvello-remote: cannot read line %d (%s): %s", lineNumber, text.c_str(), error.c_str());
        return false;
    }
    if (line.type == ScriptLine::Type::Wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(line.waitMs));
    else if (line.type == ScriptLine::Type::Record && line.channel == RemoteLink::Channel::Main)
        node.sendMain(line.record);
    else if (line.type == ScriptLine::Type::Record)
        node.sendMetering(line.record);
    return true;
}

// Sends the argument records, or else stdin's lines; false if any was unreadable.
bool sendInput(RemoteLink& node, const Options& options, const PrintingFilter& filter)
{
    bool allRead = true;
    int lineNumber = 0;
    for (const std::string& record : options.records)
        allRead = perform(node, record, ++lineNumber) && allRead;
    if (!options.records.empty())
        return allRead;
    std::string text;
    while (!filter.closed && std::getline(std::cin, text))
        allRead = perform(node, text, ++lineNumber) && allRead;
    return allRead;
}

void drain(std::chrono::milliseconds period, const PrintingFilter& filter)
{
    auto deadline = std::chrono::steady_clock::now() + period;
    while (!filter.closed && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

int reportClosedLink()
{
    std::fflush(stdout);
    log::error("corvello-remote: the link was closed by Corvello");
    return kLinkClosed;
}

int run(const Options& options)
{
    PrintingFilter filter;
    RemoteLink node(false);
    node.addFilter(&filter);
    Endpoint endpoint = options.endpoint;
    if (options.findByDnsSd && !findCorvello(endpoint, options.timeout)) {
        log::error("corvello-remote: no _tamberlin._tcp service found");
        return kNoConnection;
    }
    if (!connectToCorvello(node, endpoint, options.timeout)) {
        log::error("corvello-remote: cannot connect to %s:%u", endpoint.host.c_str(), unsigned{endpoint.port});
        return kNoConnection;
    }
    // Input runs on its own thread so that a closed link ends the program
    // even while stdin stays open.
    std::atomic<int> inputStatus{-1};
    std::thread input([&] { inputStatus = sendInput(node, options, filter) ? kDone : kBadInput; });
    while (inputStatus < 0 && !filter.closed)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (inputStatus < 0)
        std::_Exit(reportClosedLink());  // the input thread may be blocked on stdin for good
    input.join();
    drain(options.drain, filter);
    return filter.closed ? reportClosedLink() : inputStatus.load();
}

}  // namespace
}  // namespace corvello::remote

int main(int argc, char** argv)
{
    corvello::remote::Options options;
    if (!corvello::remote::parseOptions(argc, argv, options)) {
        const std::string_view usage = corvello::remote::kUsage;
        corvello::log::error("%.*s", static_cast<int>(usage.size() - 1), usage.data());  // its newline is the log's
        return corvello::remote::kBadInput;
    }
    return corvello::remote::run(options);
}
