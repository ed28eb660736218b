// Figures for the remote link: codec throughput and one-way loopback latency.
// Prints, asserts nothing. The latency is measured from a send through a
// client-mode node (the reference remote's own transport) to a server-mode
// node's filter, next to a raw TCP baseline measured in the same run.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "link/RemoteLink.h"
#include "link/Socket.h"
#include "link/WireFormat.h"

namespace corvello {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<MessageRecord> sampleRecords(std::size_t count)
{
    std::vector<MessageRecord> records;
    for (std::size_t i = 0; i < count; ++i) {
        auto index = static_cast<std::int32_t>(i % 64);
        if (i % 4 == 3)
            records.push_back(MessageRecord::withText(185, index, "Track name"));
        else
            records.push_back(MessageRecord::number(9, index, static_cast<float>(i % 100) / 100.0f));
    }
    return records;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void benchCodec()
{
    constexpr std::size_t kRecords = 200000;
    constexpr int kRounds = 10;
    std::vector<MessageRecord> records = sampleRecords(kRecords);

    std::vector<std::uint8_t> stream;
    auto start = Clock::now();
    for (int round = 0; round < kRounds; ++round) {
        stream.clear();
        wire::writeRecords(records, [&](std::span<const std::uint8_t> p) { stream.insert(stream.end(), p.begin(), p.end()); });
    }
    double writeSeconds = seconds(Clock::now() - start);

    std::size_t parsed = 0;
    start = Clock::now();
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::uint8_t> copy = stream;
        wire::parseStream(copy, [&](const MessageRecord&) { ++parsed; });
    }
    double parseSeconds = seconds(Clock::now() - start);

    std::printf("writeRecords: %.2f M records/s (%zu bytes per %zu records)\n",
                kRecords * kRounds / writeSeconds / 1e6, stream.size(), kRecords);
    std::printf("parseStream:  %.2f M records/s\n", parsed / parseSeconds / 1e6);
}

struct Latencies {
    std::vector<double> microseconds;
    double percentile(double p)
    {
        std::sort(microseconds.begin(), microseconds.end());
        return microseconds[static_cast<std::size_t>(p * (microseconds.size() - 1))];
    }
};

// The receiving side stamps `arrival` and raises `arrived`.
struct Arrival {
    std::atomic<Clock::rep> at{0};
    std::atomic<bool> arrived{false};
    void mark()
    {
        at = Clock::now().time_since_epoch().count();
        arrived = true;
    }
    double since(Clock::time_point sent)
    {
        while (!arrived)
            std::this_thread::yield();
        arrived = false;
        return std::chrono::duration<double, std::micro>(Clock::duration(at.load()) - sent.time_since_epoch()).count();
    }
};

Latencies rawBaseline(int samples)
{
    net::SocketHandle listener = net::openTcpSocket();
    net::bindToSystemPort(listener, net::loopbackAddress());
    net::listenWithMaximumBacklog(listener);
    net::SocketHandle client = net::openTcpSocket();
    net::connectSocket(client, {net::loopbackAddress(), net::networkPort(static_cast<std::uint16_t>(net::localPort(listener)))});
    net::setNoDelay(client, true);
    net::PeerAddress peer;
    net::SocketHandle server = net::acceptConnection(listener, peer);

    Arrival arrival;
    std::thread reader([&] {
        std::uint8_t packet[10];
        for (int i = 0; i < samples; ++i) {
            int got = 0;
            while (got < 10) {
                bool readable = false;
                net::waitReadable(std::span(&server, 1), 1000, std::span(&readable, 1));
                got += std::max(0, net::receiveBytes(server, packet + got, 10 - got));
            }
            arrival.mark();
        }
    });
    Latencies latencies;
    std::uint8_t packet[10] = {10, 0, 9, 0, 1, 0, 0, 0, 0x80, 0x3F};
    for (int i = 0; i < samples; ++i) {
        auto sent = Clock::now();
        net::sendBytes(client, packet, sizeof packet);
        latencies.microseconds.push_back(arrival.since(sent));
    }
    reader.join();
    for (net::SocketHandle s : {client, server, listener})
        net::closeSocket(s);
    return latencies;
}

class StampingFilter : public RemoteFilter {
public:
    explicit StampingFilter(Arrival& arrival) : arrival_(arrival) {}
    int receive(const MessageRecord&) override
    {
        arrival_.mark();
        return 1;
    }
    bool peerConnected(std::uint32_t, std::uint32_t) override { return false; }
    void peerDisconnected(std::intptr_t, std::int32_t) override {}

private:
    Arrival& arrival_;
};

Latencies throughTheLink(int samples)
{
    Arrival arrival;
    StampingFilter filter(arrival);
    RemoteLink server(true);
    server.addFilter(&filter);
    RemoteLink client(false);
    client.connectTo("127.0.0.1", server.listeningPort());
    while (!client.isConnected() || !server.isConnected())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    Latencies latencies;
    for (int i = 0; i < samples; ++i) {
        auto sent = Clock::now();
        client.sendMain(MessageRecord::number(9, 1, 1.0f));
        latencies.microseconds.push_back(arrival.since(sent));
    }
    return latencies;
}

void benchLatency()
{
    constexpr int kSamples = 2000;
    Latencies raw = rawBaseline(kSamples);
    Latencies link = throughTheLink(kSamples);
    double rawMedian = raw.percentile(0.5), linkMedian = link.percentile(0.5);
    std::printf("loopback one-way latency over %d records (microseconds):\n", kSamples);
    std::printf("  raw TCP socket:  median %.1f  p99 %.1f\n", rawMedian, raw.percentile(0.99));
    std::printf("  remote link:     median %.1f  p99 %.1f\n", linkMedian, link.percentile(0.99));
    std::printf("  ratio link/raw:  %.2f (median)\n", linkMedian / rawMedian);
}

}  // namespace
}  // namespace corvello

int main()
{
    corvello::net::startSockets();
    corvello::benchCodec();
    corvello::benchLatency();
}
