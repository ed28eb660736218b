#pragma once
// What the program does between its platform entry point and its exit:
// program-wide initialisation, start-up of the link, advertisement, browser
// and routing, and the orderly shutdown. Windows' tray shell and the POSIX
// daemon both drive it in the same order.

#include <cstdint>
#include <memory>

#include "link/RemoteLink.h"

namespace corvello {

class ServiceBrowser;

class Program {
public:
    // Loads the DNS-SD library and gives both translators their desktop controllers.
    Program();
    // Stops the virtual MIDI server, then releases the desktop controllers and
    // the DNS-SD library.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the remote link, advertises it, starts the service browser and
    // builds the routing. Returns the link's TCP listening port, or 0 (and
    // nothing else started) when the link cannot listen.
    std::uint16_t start(const LinkSettings& link = {});
    // Stops the service browser (waiting for its thread), then destroys the
    // first and the second OSC node.
    void shutdown();

private:
    std::unique_ptr<ServiceBrowser> browser_;
};

}  // namespace corvello
