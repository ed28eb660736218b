#pragma once
// The link's command-line options: "--allow CIDR" (repeatable; the first
// replaces the default local ranges) and "--listen ADDRESS" (an IPv4 address
// of this computer). Each takes its value as the next argument or after "=".

#include <string>
#include <string_view>

#include "link/RemoteLink.h"

namespace corvello {

// Reads every argument into `settings`. False, with `error` saying why, on an
// unknown option, a missing value, a malformed range or an address that this
// computer cannot listen on.
bool readLinkOptions(int argc, const char* const* argv, LinkSettings& settings, std::string& error);

}  // namespace corvello
