#pragma once
// The Windows half of virtmidisecurity.h: this process's user and the
// security attributes every named thing of the server is created with.

#include <windows.h>

#include <string>

namespace corvello {

// This process's user as a SID string, from its token; empty on failure.
std::string virtMidiCurrentUserSid();

// The attributes for virtMidiSecurityDescriptorSddl(this user), built once
// and kept for the process's life. Null, after a line in the log, when they
// cannot be built: the objects then get the default security.
SECURITY_ATTRIBUTES* virtMidiSecurityAttributes();

}  // namespace corvello
