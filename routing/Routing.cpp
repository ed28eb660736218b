#include "routing/Routing.h"

#include "core/MIDINode.h"
#include "core/RemoteNode.h"
#include "logicosc/OSCNode.h"

namespace corvello {

Routing::Routing(const RoutedNodes& nodes, std::unique_ptr<DesktopCommands> desktop)
    : panner_(Translator::Route::panner), host_(Translator::Route::host, std::move(desktop))
{
    nodes.link.addFilter(&panner_);
    nodes.pannerPorts.addFilter(&panner_);
    panner_.installPanner();

    nodes.link.addFilter(&host_);
    nodes.mainPort.addFilter(&host_);
    nodes.logicOsc.addFilter(&host_);
    nodes.browsedOsc.addFilter(&host_);
}

void Routing::close()
{
    panner_.close();
    host_.close();
}

}  // namespace corvello
