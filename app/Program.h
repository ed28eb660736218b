#pragma once
// What the program does between its platform entry point and its exit: it
// builds the object graph (the remote link, the MIDI ports, the routing),
// starts the virtual MIDI server, the advertisement and the browser, and
// shuts down in an order that never pulls an object from under a thread.
// Windows' tray shell and the POSIX daemon both drive it in the same order.

#include <cstdint>
#include <memory>

#include "link/RemoteLink.h"

namespace corvello {

class RemoteFilter;
class RemoteLink;
class Routing;
class ServiceBrowser;
struct ProgramPorts;

class Program {
public:
    // Loads the DNS-SD library.
    Program();
    // Stops the virtual MIDI server, then releases the DNS-SD library.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the remote link in server mode with `link`, builds the routing,
    // starts the virtual MIDI server, advertises the link and starts the
    // service browser. Returns the link's TCP listening port, or 0 (and
    // nothing else started) when the link cannot listen. A `watch` joins the
    // link before the translators, so it hears every record and notification.
    std::uint16_t start(const LinkSettings& link = {}, RemoteFilter* watch = nullptr);
    // Stops the service browser (waiting for its thread), closes the routing
    // (its protocols and desktop worker go), then destroys the OSC nodes.
    void shutdown();

    // The protocol the remote selected (kNoProtocol before start).
    std::int32_t hostProtocolState() const;

private:
    // Never destroyed: the link, MIDI server and queue threads may deliver
    // into them until the process ends.
    RemoteLink* link_ = nullptr;
    ProgramPorts* ports_ = nullptr;
    Routing* routing_ = nullptr;
    std::unique_ptr<ServiceBrowser> browser_;
};

}  // namespace corvello
