#pragma once
// What stands in for the network's other DNS-SD participants in the
// discovery tests: on Linux a real avahi-daemon driven with avahi-publish and
// avahi-browse, under Wine a test-double dnssd.dll. Either way the program's
// binding is loaded against it.

#include <cstdint>
#include <memory>
#include <string>

namespace corvello::test {

inline constexpr const char* kOscPeerType = "_kestrosc._udp";

class ServicePublisher {
public:
    virtual ~ServicePublisher() = default;
    // Starts the service and loads the binding; false, saying why, when this
    // machine cannot.
    virtual bool start(std::string& whyNot) = 0;
    // Announces a "_kestrosc._udp" service on this machine; returns once it is visible.
    virtual void publish(const std::string& name, std::uint16_t port) = 0;
    virtual void withdraw(const std::string& name) = 0;
    // True when some registration of `type` on `port` can be seen.
    virtual bool seesRegistration(const std::string& type, std::uint16_t port) = 0;
    // True when no registration of `type` on `port` can be seen (any more).
    virtual bool seesNoRegistration(const std::string& type, std::uint16_t port) = 0;
};

// The platform's publisher, not yet started.
std::unique_ptr<ServicePublisher> makeServicePublisher();

// A started publisher, or null with `whyNot` set.
inline std::unique_ptr<ServicePublisher> startDnsSdService(std::string& whyNot)
{
    auto publisher = makeServicePublisher();
    if (!publisher->start(whyNot))
        return nullptr;
    return publisher;
}

}  // namespace corvello::test
