#include "app/Program.h"

#include "desktop/DesktopController.h"
#include "link/DnsSd.h"
#include "link/RemoteLink.h"
#include "link/ServiceAdvertiser.h"
#include "link/ServiceBrowser.h"
#include "logicosc/OSCNode.h"
#include "logicosc/OscDiscovery.h"
#include "routing/RoutingSetup.h"
#include "routing/Translator.h"
#include "virtmidi/virtmidiserver.h"

namespace corvello {

Program::Program()
{
    dnssd().load();
    pannerTranslator().setDesktop(makeDesktopController());
    mainTranslator().setDesktop(makeDesktopController());
}

Program::~Program()
{
    // The server thread delivers MIDI into the translators: stop it before
    // anything they use goes away.
    virtMidiServerStop();
    pannerTranslator().setDesktop(nullptr);
    mainTranslator().setDesktop(nullptr);
    dnssd().release();
}

std::uint16_t Program::start(const LinkSettings& link)
{
    const std::uint16_t port = startRemoteLink(link);
    if (port == 0)
        return 0;
    announceRemoteLink(port, link.listenAddress);
    browser_ = startOscPeerBrowser();
    setUpRouting();
    return port;
}

void Program::shutdown()
{
    if (browser_) {
        browser_->stop();
        browser_.reset();
    }
    destroyOscNodes();
}

}  // namespace corvello
