#include "routing/OscService.h"

#include "link/DnsSd.h"
#include "logicosc/OSCNode.h"

namespace corvello {

namespace {
void withdraw(OSCNode& node)
{
    if (node.serviceRef) {
        dnssd().refDeallocate(node.serviceRef);
        node.serviceRef = nullptr;
    }
}
}  // namespace

void withdrawOscServices()
{
    withdraw(logicOscNode());
    withdraw(browsedOscNode());
}

}  // namespace corvello
