#pragma once
// Withdrawing the OSC side: the DNS-SD registrations tied to the two OSC nodes.

namespace corvello {

// For the first and then the second OSC node (each created if missing):
// releases its DNS-SD registration, if any, and forgets it.
void withdrawOscServices();

}  // namespace corvello
