#pragma once
// The second OSC node follows the "_kestrosc._udp" service that DNS-SD finds
// under this computer's name: resolved, it becomes the node's peer; lost,
// the node forgets its peer.

#include <memory>

#include "link/ServiceBrowser.h"

namespace corvello {

std::unique_ptr<ServiceBrowser> startOscPeerBrowser();

}  // namespace corvello
