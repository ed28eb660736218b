#pragma once
// The driver's devices as the JACK host uses them, on the host's main thread:
// it finds the server through the device count, opens every port's input and
// output device, feeds the DAW's events to the output devices and collects the
// input devices' callbacks into the rings.
//
// Corvello may start before or after the host, and may restart. While it is
// absent the host polls the device count (0, with the driver's warning line),
// at growing intervals up to 2 s; once it is found the JACK ports appear and
// every device is opened. When it goes away (the count drops to 0, checked
// every second, or a write fails) every device is closed, the driver's only
// way back to a working connection, and reopened once it is there again.
// The JACK ports stay registered throughout, so the DAW's connections survive.

#include "driver/loader/DriverLibrary.h"
#include "driver/jack/HostedPort.h"
#include "driver/jack/JackClient.h"

#include <chrono>
#include <vector>

namespace corvello {

class DriverDevices {
public:
    DriverDevices(const DriverLibrary& driver, JackClient& jack, HostedPorts& ports,
                  Wakeup& wakeup)
        : driver_(driver), jack_(jack), ports_(ports), wakeup_(wakeup)
    {
    }
    ~DriverDevices() { closeAll(); }
    DriverDevices(const DriverDevices&) = delete;
    DriverDevices& operator=(const DriverDevices&) = delete;

    // Opens, checks or reopens the devices as the server comes and goes.
    void supervise();

    // Sends what the DAW wrote and gives returned input buffers back to the
    // driver.
    void service();

private:
    using Clock = std::chrono::steady_clock;

    bool openAll(std::uint32_t count);
    bool publishPort(std::uint32_t deviceId);
    bool openPort(HostedPort& port);
    void closeAll();
    void closePort(HostedPort& port);
    void queueInputBuffer(HostedPort& port, std::size_t index);
    void sendFromDaw(HostedPort& port);
    bool sendEvent(HostedPort& port, std::uint8_t* bytes, std::size_t size);
    void reportDrops(HostedPort& port);

    static void CALLBACK inputCallback(HMIDI device, UINT message, DWORD_PTR instance,
                                       DWORD_PTR param1, DWORD_PTR param2);
    void collectSysEx(HostedPort& port, const MIDIHDR& header);

    const DriverLibrary& driver_;
    JackClient& jack_;
    HostedPorts& ports_;
    Wakeup& wakeup_;
    std::vector<std::uint8_t> event_ = std::vector<std::uint8_t>(MidiEventRing::kMaxEventSize);
    bool open_ = false;
    bool writeFailed_ = false;
    bool openFailureReported_ = false;
    Clock::time_point nextCheck_ = Clock::now();
    std::chrono::milliseconds retryInterval_{500};
};

}  // namespace corvello
