#pragma once
// The link's command-line options: "--allow CIDR" (repeatable; the first
// replaces the default local ranges) and "--listen ADDRESS" (an IPv4 address
// of this computer). Each takes its value as the next argument or after "=".

#include <string>
#include <vector>

#include "link/RemoteLink.h"

namespace corvello {

// Reads the link's options from the arguments into `settings`; every other
// argument is left in `others`, in order, for the program to judge. False,
// with `error` saying why, on a missing value, a malformed range or an
// address that this computer cannot listen on.
bool readLinkOptions(int argc, const char* const* argv, LinkSettings& settings, std::vector<std::string>& others,
                     std::string& error);

}  // namespace corvello
