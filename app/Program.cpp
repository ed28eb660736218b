#include "app/Program.h"

#include "desktop/DesktopController.h"
#include "link/DnsSd.h"
#include "link/RemoteLink.h"
#include "link/ServiceAdvertiser.h"
#include "link/ServiceBrowser.h"
#include "logicosc/OSCNode.h"
#include "logicosc/OscDiscovery.h"
#include "platform/Log.h"
#include "routing/MIDIPortTable.h"
#include "routing/Routing.h"
#include "virtmidi/virtmidiserver.h"

namespace corvello {

Program::Program() { dnssd().load(); }

Program::~Program()
{
    virtMidiServerStop();
    dnssd().release();
}

std::uint16_t Program::start(const LinkSettings& link, RemoteFilter* watch)
{
    link_ = new RemoteLink(/*serverMode=*/true, link);
    const std::uint16_t port = link_->listeningPort();
    if (port == 0)
        return 0;
    link_->setNoDelay();
    if (watch)
        link_->addFilter(watch);

    // Everything is wired before the MIDI server and the advertisement let
    // traffic in: the nodes' filter lists are not locked.
    ports_ = new ProgramPorts();
    routing_ = new Routing({*link_, ports_->panner, ports_->main, logicOscNode(), browsedOscNode()},
                           makeDesktopController());
    ports_->table.startServer();

    announceRemoteLink(port, link.listenAddress);
    browser_ = startOscPeerBrowser();
    log::debug("start-up: routing built; the remote link listens on TCP port %u", unsigned{port});
    return port;
}

std::int32_t Program::hostProtocolState() const
{
    return routing_ ? routing_->host().protocolState() : kNoProtocol;
}

void Program::shutdown()
{
    if (browser_) {
        browser_->stop();
        browser_.reset();
    }
    if (routing_)
        routing_->close();
    destroyOscNodes();
}

}  // namespace corvello
