#pragma once
// oscpack's values as text for the log.

#include <stdexcept>
#include <string>

#include "ip/IpEndpointName.h"

namespace corvello {

// "a.b.c.d:port" and "a.b.c.d".
std::string endpointText(const IpEndpointName& endpoint);
std::string addressText(const IpEndpointName& endpoint);

// oscpack's error texts end in a newline; the log adds its own.
std::string errorText(const std::exception& e);

}  // namespace corvello
